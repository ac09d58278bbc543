#pragma once

#include <QString>

class QFormLayout;
class QLineEdit;
class QWidget;

namespace tessera {

class CIniFile;

// A labelled line edit in a form: the label is its buddy and its accessible
// name. maxLength 0 leaves the length open.
QLineEdit* addLabelledField(QFormLayout* form, const QString& label, const char* objectName, bool masked,
                            int maxLength = 0);

// Loads DataSource.ini before a change. A missing file is fine (it will be
// created); one that exists but cannot be read is never replaced, since it
// holds other settings too: the message is shown and false returned.
bool loadSettingsForUpdate(CIniFile& ini, QWidget* owner, const QString& caption);

} // namespace tessera
