#include "records/ui/RecordEditDialog.h"

#include "app/DialogForm.h"
#include "app/GuiSeam.h"
#include "app/ReasonDialog.h"
#include "records/ui/CataloguePickers.h"
#include "text/DecimalText.h"
#include "text/Trimming.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimeEdit>

#include <charconv>

namespace tessera {

using namespace records;

namespace {

// What a failed switch list says when the user picked another station.
const Message kSwitchChangeFailure{QStringLiteral("查询回路信息出错!"), QStringLiteral("回路信息")};

QString numberText(double value)
{
    return QString::number(value, 'f', 0);
}

} // namespace

QString realFieldText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, float(value), std::chars_format::fixed);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

RecordEditDialog::RecordEditDialog(const EventKind& kind, QWidget* parent) : QDialog(parent), m_kind(kind)
{
    m_held = Record(kind.columnCount());
    auto* form = new QFormLayout;
    const QDateTime now = QDateTime::currentDateTime();
    for (const EditField& f : kind.fields) {
        QWidget* widget = nullptr;
        switch (f.widget) {
        case FieldWidget::Integer:
        case FieldWidget::Real: {
            auto* edit = new QLineEdit(QStringLiteral("0"));
            edit->setAlignment(Qt::AlignRight);
            widget = edit;
            break;
        }
        case FieldWidget::Text:
            widget = new QLineEdit;
            break;
        case FieldWidget::MultiLineText: {
            auto* edit = new QPlainTextEdit;
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setTabChangesFocus(true);
            widget = edit;
            break;
        }
        case FieldWidget::Date:
            widget = newDateEdit(now.date());
            break;
        case FieldWidget::Time:
            widget = newTimeEdit(now.time());
            break;
        case FieldWidget::Station:
        case FieldWidget::Switch:
        case FieldWidget::Tag:
        case FieldWidget::AlarmName:
        case FieldWidget::HeldList:
            widget = new QComboBox;
            break;
        }
        m_widgets[f.column] = addLabelled(form, f.label, f.objectName, widget);
    }
    if (QComboBox* station = picker(FieldWidget::Station))
        connect(station, &QComboBox::activated, this, &RecordEditDialog::stationChosen);
    if (QComboBox* sw = picker(FieldWidget::Switch))
        connect(sw, &QComboBox::activated, this, &RecordEditDialog::switchChosen);
    if (QComboBox* line = picker(FieldWidget::HeldList))
        connect(line, &QComboBox::activated, this, &RecordEditDialog::switchChosen);
    m_reason = addReasonField(form);
    layOutWithOkCancel(this, form, DialogSize::Resizable);
}

RecordEditDialog::~RecordEditDialog() = default;

QWidget* RecordEditDialog::widgetOf(int column) const
{
    const auto it = m_widgets.find(column);
    return it == m_widgets.end() ? nullptr : it->second;
}

QComboBox* RecordEditDialog::picker(FieldWidget widget) const
{
    for (const EditField& f : m_kind.fields)
        if (f.widget == widget)
            return qobject_cast<QComboBox*>(widgetOf(f.column));
    return nullptr;
}

QString RecordEditDialog::pickerText(FieldWidget widget) const
{
    QComboBox* box = picker(widget);
    return box && box->currentIndex() >= 0 ? box->currentText() : QString();
}

void RecordEditDialog::setRecord(const Record& record)
{
    m_held = record;
    while (m_held.size() < m_kind.columnCount())
        m_held << QString();
    for (const EditField& f : m_kind.fields) {
        const QString value = m_held.value(f.column);
        QWidget* w = widgetOf(f.column);
        switch (f.widget) {
        case FieldWidget::Integer:
            static_cast<QLineEdit*>(w)->setText(QString::number(decimalInteger(value)));
            break;
        case FieldWidget::Real:
            static_cast<QLineEdit*>(w)->setText(realFieldText(decimalReal(value)));
            break;
        case FieldWidget::Text:
            static_cast<QLineEdit*>(w)->setText(value);
            break;
        case FieldWidget::MultiLineText:
            static_cast<QPlainTextEdit*>(w)->setPlainText(value);
            break;
        case FieldWidget::Date: {
            const QDate date = QDate::fromString(value, QStringLiteral("yyyy-MM-dd"));
            if (date.isValid())
                static_cast<QDateEdit*>(w)->setDate(date);
            break;
        }
        case FieldWidget::Time: {
            const QTime time = QTime::fromString(value, QStringLiteral("HH:mm:ss"));
            if (time.isValid())
                static_cast<QTimeEdit*>(w)->setTime(time);
            break;
        }
        default:
            break; // pickers are filled on opening
        }
    }
}

void RecordEditDialog::showEvent(QShowEvent* event)
{
    if (!m_opened) {
        m_opened = true;
        prepareOnOpening();
    }
    QDialog::showEvent(event);
}

bool RecordEditDialog::fillPicker(QComboBox* box, const QString& sql, const Message& failure)
{
    box->clear();
    return addCatalogueItems(this, box, sql, failure);
}

// Add mode offers the held entry itself, else the first entry that begins
// with the held text (a row's "1号主变" must not become "1号主变低压侧" only
// because that one is listed first), else the first entry. Modify mode shows
// the record's own value, also when the catalogue no longer has it.
void RecordEditDialog::selectHeld(QComboBox* box, const QString& held)
{
    if (!m_addMode) {
        int index = box->findText(held, Qt::MatchExactly);
        if (index < 0) {
            box->addItem(held);
            index = box->count() - 1;
        }
        box->setCurrentIndex(index);
        return;
    }
    int index = -1;
    if (!held.isEmpty()) {
        index = box->findText(held, Qt::MatchExactly);
        for (int i = 0; i < box->count() && index < 0; ++i) {
            if (box->itemText(i).startsWith(held))
                index = i;
        }
    }
    if (index < 0)
        index = box->count() > 0 ? 0 : -1;
    box->setCurrentIndex(index);
}

void RecordEditDialog::prepareOnOpening()
{
    for (const EditField& f : m_kind.fields)
        if (f.widget == FieldWidget::HeldList)
            static_cast<QComboBox*>(widgetOf(f.column))->clear();

    if (QComboBox* station = picker(FieldWidget::Station)) {
        fillPicker(station, stationsSql(), kStationPickerFailure);
        selectHeld(station, withoutTrailingWhiteSpace(m_held.value(3)));
        const QString heldStation = pickerText(FieldWidget::Station);
        QString heldSwitch;
        if (QComboBox* sw = picker(FieldWidget::Switch)) {
            fillPicker(sw, switchesSql(heldStation, m_kind.tagType), kSwitchPickerFailure);
            selectHeld(sw, withoutTrailingWhiteSpace(m_held.value(4)));
            heldSwitch = pickerText(FieldWidget::Switch);
        }
        for (const EditField& f : m_kind.fields) {
            if (f.widget != FieldWidget::Tag)
                continue;
            auto* tag = static_cast<QComboBox*>(widgetOf(f.column));
            fillPicker(tag, tagsSql(heldStation, heldSwitch, m_kind.tagType), kTagPickerFailure);
            selectHeld(tag, withoutTrailingWhiteSpace(m_held.value(f.column)));
        }
    }
    for (const EditField& f : m_kind.fields) {
        if (f.widget != FieldWidget::AlarmName)
            continue;
        auto* box = static_cast<QComboBox*>(widgetOf(f.column));
        box->clear();
        box->addItems(alarmNames());
        const QString held = withoutTrailingWhiteSpace(m_held.value(f.column));
        if (held.isEmpty())
            box->setCurrentIndex(box->count() - 1);
        else
            selectHeld(box, held);
    }

    setWindowTitle(m_addMode ? m_kind.addCaption : m_kind.modifyCaption);
    if (!m_addMode)
        for (const EditField& f : m_kind.fields)
            widgetOf(f.column)->setEnabled(f.editableInModify);
}

void RecordEditDialog::stationChosen()
{
    QComboBox* sw = picker(FieldWidget::Switch);
    QComboBox* tag = picker(FieldWidget::Tag);
    const QString station = pickerText(FieldWidget::Station);
    if (tag)
        tag->clear();
    if (!sw)
        return;
    if (!fillPicker(sw, switchesSql(station, m_kind.tagType), kSwitchChangeFailure))
        return;
    sw->setCurrentIndex(m_kind.stationChangeSelectsLastSwitch ? sw->count() - 1 : 0);
    if (tag && sw->currentIndex() >= 0)
        switchChosen();
}

void RecordEditDialog::switchChosen()
{
    QComboBox* tag = picker(FieldWidget::Tag);
    if (!tag)
        return;
    if (!m_kind.noStationChosen.text.isEmpty() && pickerText(FieldWidget::Station).isEmpty()) {
        tag->clear();
        warningMessage(this, m_kind.noStationChosen.text, m_kind.noStationChosen.caption);
        if (QComboBox* station = picker(FieldWidget::Station))
            station->setFocus();
        return;
    }
    fillPicker(tag, tagsSql(pickerText(FieldWidget::Station), pickerText(FieldWidget::Switch), m_kind.tagType),
               kTagPickerFailure);
    tag->setCurrentIndex(tag->count() > 0 ? 0 : -1);
}

bool RecordEditDialog::checkRanges()
{
    for (const EditField& f : m_kind.fields) {
        auto* edit = qobject_cast<QLineEdit*>(widgetOf(f.column));
        if (!edit)
            continue;
        QString message;
        const QString text = edit->text().trimmed();
        bool ok = false;
        if (f.widget == FieldWidget::Integer) {
            const int value = text.toInt(&ok);
            if (!ok || value < f.minimum || value > f.maximum)
                message = QStringLiteral("请输入%1到%2之间的整数。").arg(numberText(f.minimum), numberText(f.maximum));
        } else if (f.widget == FieldWidget::Real) {
            const std::optional<float> value = typedSingle(text);
            if (!value || *value < f.minimum || *value > f.maximum)
                message = QStringLiteral("请输入%1到%2之间的数。").arg(numberText(f.minimum), numberText(f.maximum));
        } else if (f.maxLength > 0 && edit->text().size() > f.maxLength) {
            message = QStringLiteral("输入的内容不能超过%1个字符。").arg(f.maxLength);
        }
        if (!message.isEmpty()) {
            standardMessage(message);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

bool RecordEditDialog::checkRequired()
{
    for (const EditField& f : m_kind.fields) {
        QWidget* w = widgetOf(f.column);
        bool missing = false;
        if (auto* box = qobject_cast<QComboBox*>(w)) {
            missing = !f.requiredMessage.isEmpty() && box->currentIndex() < 0;
        } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit && !f.requiredMessage.isEmpty()) {
            missing = (f.trimmed ? withoutTrailingWhiteSpace(edit->text()) : edit->text()).isEmpty();
        }
        if (missing) {
            refuseField(this, w, f.requiredMessage, m_kind.requiredCaption);
            return false;
        }
    }
    return true;
}

QString RecordEditDialog::reason() const
{
    return reasonOf(m_reason);
}

void RecordEditDialog::accept()
{
    if (!checkRanges() || !checkRequired() || !acceptReason(this, m_reason, windowTitle()))
        return;
    Record record(m_kind.columnCount());
    for (const EditField& f : m_kind.fields) {
        QWidget* w = widgetOf(f.column);
        QString& value = record[f.column];
        switch (f.widget) {
        case FieldWidget::Integer:
            value = QString::number(static_cast<QLineEdit*>(w)->text().trimmed().toInt());
            break;
        case FieldWidget::Real:
            value = QString::asprintf("%f", double(typedSingle(static_cast<QLineEdit*>(w)->text()).value_or(0)));
            break;
        case FieldWidget::Text: {
            const QString text = static_cast<QLineEdit*>(w)->text();
            value = f.trimmed ? withoutTrailingWhiteSpace(text) : text;
            break;
        }
        case FieldWidget::MultiLineText:
            value = static_cast<QPlainTextEdit*>(w)->toPlainText();
            break;
        case FieldWidget::Date:
            value = dateText(static_cast<QDateEdit*>(w)->date());
            break;
        case FieldWidget::Time:
            value = static_cast<QTimeEdit*>(w)->time().toString(QStringLiteral("HH:mm:ss"));
            break;
        case FieldWidget::Station:
        case FieldWidget::Switch:
        case FieldWidget::Tag:
        case FieldWidget::AlarmName:
            value = withoutTrailingWhiteSpace(static_cast<QComboBox*>(w)->currentText());
            break;
        case FieldWidget::HeldList:
            value = m_held.value(f.column);
            break;
        }
    }
    m_record = record;
    if (m_submit && !m_submit(*this, record))
        return;
    QDialog::accept();
}

} // namespace tessera
