#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tessera::journal {

// The one exception of the operation journal. Its message is meant for the
// user as it stands: a command that gets it changes nothing in the archive.
class JournalError : public std::exception {
public:
    explicit JournalError(QString message);

    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_message;
    std::string m_what;
};

} // namespace tessera::journal
