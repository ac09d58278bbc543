#include "copy/CopySettings.h"

#include "settings/CIniFile.h"

#include <QFileInfo>

namespace tessera::copy {

namespace {

const QString kDsn = QStringLiteral("DSN");
const QString kUser = QStringLiteral("USERNAME");
const QString kPass = QStringLiteral("PASS");
const QString kType = QStringLiteral("DSNTYPE");

void read(const CIniFile& ini, const QString& section, CopyDataSource& side)
{
    side.dsn = ini.Get(section, kDsn);
    side.user = ini.Get(section, kUser);
    side.password = ini.Get(section, kPass);
    // Exact texts only: a value differing in letter case is not a kind.
    const QString type = ini.Get(section, kType);
    for (int k = int(DatabaseKind::SqlServer); k <= int(DatabaseKind::MySql); ++k) {
        const auto kind = DatabaseKind(k);
        if (kind != DatabaseKind::None && type == dsnTypeText(kind))
            side.kind = kind;
    }
}

bool write(CIniFile& ini, const QString& section, const CopyDataSource& side)
{
    bool ok = ini.Set(section, kDsn, side.dsn);
    ok = ini.Set(section, kUser, side.user) && ok;
    ok = ini.Set(section, kPass, side.password) && ok;
    ok = ini.Set(section, kType, dsnTypeText(side.kind)) && ok;
    return ok;
}

} // namespace

bool readCopySettings(const QString& path, CopySettings& settings)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    CIniFile ini;
    if (!ini.Load(path))
        return false;
    read(ini, kTargetSection, settings.target);
    read(ini, kSourceSection, settings.source);
    return true;
}

bool writeCopySettings(const QString& path, const CopySettings& settings)
{
    if (path.isEmpty())
        return false;
    CIniFile ini;
    // A file that exists but cannot be read holds other settings too: never replace it.
    if (!ini.Load(path) && QFileInfo::exists(path))
        return false;
    bool ok = write(ini, kTargetSection, settings.target);
    ok = write(ini, kSourceSection, settings.source) && ok;
    return ini.Save() && ok;
}

} // namespace tessera::copy
