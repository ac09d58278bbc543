#include "journal/JournalError.h"

namespace tessera::journal {

JournalError::JournalError(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toStdString())
{
}

} // namespace tessera::journal
