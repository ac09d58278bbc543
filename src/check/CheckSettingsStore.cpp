#include "check/CheckSettingsStore.h"

#include <QSettings>

namespace tessera::check {

namespace {

// The parameters that belong to a scope rather than to every check.
bool isPerScope(const RuleDescription& rule)
{
    return rule.id == RuleId::OutOfRange;
}

QString keyOf(const RuleDescription& rule, const QString& name, const QString& scopeKey)
{
    QString key = QStringLiteral("check/%1.%2").arg(rule.key, name);
    if (isPerScope(rule) && name != QLatin1String("enabled"))
        key += u'@' + QString::fromLatin1(scopeKey.toUtf8().toHex());
    return key;
}

} // namespace

CheckSettings CheckSettingsStore::load(const QString& scopeKey) const
{
    const QSettings ini(m_path, QSettings::IniFormat);
    CheckSettings settings = defaultCheckSettings();
    const auto& rules = checkRules();
    for (size_t r = 0; r < rules.size(); ++r) {
        const QVariant enabled = ini.value(keyOf(rules[r], QStringLiteral("enabled"), scopeKey));
        if (enabled.isValid())
            settings[r].enabled = enabled.toBool();
        for (size_t p = 0; p < rules[r].parameters.size(); ++p) {
            const RuleParameter& parameter = rules[r].parameters[p];
            bool ok = false;
            const double value = ini.value(keyOf(rules[r], parameter.key, scopeKey)).toDouble(&ok);
            if (ok && value >= parameter.minimum && value <= parameter.maximum)
                settings[r].values[p] = value;
        }
    }
    return settings;
}

void CheckSettingsStore::save(const QString& scopeKey, const CheckSettings& settings) const
{
    QSettings ini(m_path, QSettings::IniFormat);
    const auto& rules = checkRules();
    for (size_t r = 0; r < rules.size() && r < settings.size(); ++r) {
        ini.setValue(keyOf(rules[r], QStringLiteral("enabled"), scopeKey), settings[r].enabled);
        for (size_t p = 0; p < rules[r].parameters.size() && p < settings[r].values.size(); ++p)
            ini.setValue(keyOf(rules[r], rules[r].parameters[p].key, scopeKey), settings[r].values[p]);
    }
}

std::pair<QDate, QDate> CheckSettingsStore::dates() const
{
    const QSettings ini(m_path, QSettings::IniFormat);
    QDate first = QDate::fromString(ini.value(QStringLiteral("check/first")).toString(), Qt::ISODate);
    QDate last = QDate::fromString(ini.value(QStringLiteral("check/last")).toString(), Qt::ISODate);
    if (!first.isValid() || !last.isValid() || last < first || first.daysTo(last) >= 31)
        first = last = QDate::currentDate().addDays(-1);
    return {first, last};
}

void CheckSettingsStore::saveDates(const QDate& first, const QDate& last) const
{
    QSettings ini(m_path, QSettings::IniFormat);
    ini.setValue(QStringLiteral("check/first"), first.toString(Qt::ISODate));
    ini.setValue(QStringLiteral("check/last"), last.toString(Qt::ISODate));
}

} // namespace tessera::check
