#pragma once

#include <QString>

class QWidget;

namespace tessera {

class CIniFile;

// Loads DataSource.ini before a change. A missing file is fine (it will be
// created); one that exists but cannot be read is never replaced, since it
// holds other settings too: the message is shown and false returned.
bool loadSettingsForUpdate(CIniFile& ini, QWidget* owner, const QString& caption);
// Saves the changed file; a failure is shown with the file's path.
void saveSettings(CIniFile& ini, QWidget* owner, const QString& caption);

} // namespace tessera
