#pragma once

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QStringList>
#include <QWidget>

namespace tessera::test {

// The visible controls below `root` that take the keyboard but have no name
// a screen reader can say, as "class objectName".
inline QStringList unnamedControls(QWidget& root)
{
    QStringList unnamed;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        // A spin box's line edit is heard as the spin box, which is checked itself.
        if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus || qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
    }
    return unnamed;
}

} // namespace tessera::test
