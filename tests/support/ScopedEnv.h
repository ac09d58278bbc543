#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>

namespace tessera::test {

// Sets an environment variable, or without a value removes it, for one scope.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name, std::optional<QByteArray> value = std::nullopt)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace tessera::test
