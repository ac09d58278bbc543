#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <ostream>

// Lets gtest print Qt texts readably in failure messages. Every test file of
// an executable must see these before it compares such values.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '{' << list.join(QStringLiteral(" | ")).toStdString() << '}';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* os)
{
    *os << "hex " << bytes.toHex(' ').toStdString();
}
