#pragma once

#include "check/CheckRules.h"

#include <QDate>
#include <QString>

namespace tessera::check {

// What the check dialog remembers in Tessera.ini: the rules with their
// parameters, the last date range, and the bounds of 越界 per scope (a
// station's bounds are not a tag's). Values that do not read back as a
// number within the parameter's range fall back to its default.
class CheckSettingsStore {
public:
    // `iniPath` is the path of Tessera.ini.
    explicit CheckSettingsStore(QString iniPath) : m_path(std::move(iniPath)) {}

    CheckSettings load(const QString& scopeKey) const;
    void save(const QString& scopeKey, const CheckSettings& settings) const;

    std::pair<QDate, QDate> dates() const;
    void saveDates(const QDate& first, const QDate& last) const;

private:
    QString m_path;
};

} // namespace tessera::check
