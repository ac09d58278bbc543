#pragma once

#include "journal/JournalError.h"

#include <QByteArray>
#include <QString>

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <optional>

// What the journal's source files share: the messages of a failing file,
// the form of its UTC times and the few conversions between Qt's types and
// SQLiteCpp's.
namespace tessera::journal {

inline const QString kUtcFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss.zzz'Z'");
// Blocks of image rows a commit takes while an image is written.
inline constexpr qint64 kBlocksPerCommit = 256;
inline constexpr qint64 kRowsPerBlock = 1000;

JournalError openError(const QString& path, const QString& detail);
JournalError writeError(const QString& path, const SQLite::Exception& error);
JournalError readError(const QString& path, const SQLite::Exception& error);
QString messageOf(const SQLite::Exception& error);

enum class Access { Open, Read, Write };

// Runs `body` on the journal file at `path`: an error of SQLite's becomes
// the journal's own, which names the file and what could not be done.
template <typename Body>
decltype(auto) onJournalFile(const QString& path, Access access, Body&& body)
{
    try {
        return body();
    } catch (const SQLite::Exception& error) {
        switch (access) {
        case Access::Open:
            throw openError(path, messageOf(error));
        case Access::Read:
            throw readError(path, error);
        case Access::Write:
            break;
        }
        throw writeError(path, error);
    }
}

// qint64 is long long, SQLiteCpp's 64-bit integer long: named, not overloaded.
inline void bindInt(SQLite::Statement& s, int index, qint64 value)
{
    s.bind(index, static_cast<int64_t>(value));
}

inline void bindText(SQLite::Statement& s, int index, const QString& text)
{
    s.bind(index, text.toStdString());
}

inline void bindBlob(SQLite::Statement& s, int index, const QByteArray& bytes)
{
    // An empty blob is still a value, not NULL.
    static const char empty = 0;
    s.bind(index, bytes.isEmpty() ? &empty : bytes.constData(), int(bytes.size()));
}

inline void bindOptional(SQLite::Statement& s, int index, const std::optional<qint64>& value)
{
    if (value)
        bindInt(s, index, *value);
    else
        s.bind(index);
}

inline QString textOf(const SQLite::Column& column)
{
    return QString::fromUtf8(column.getText(""), column.getBytes());
}

inline QByteArray blobOf(const SQLite::Column& column)
{
    return QByteArray(static_cast<const char*>(column.getBlob()), column.getBytes());
}

inline std::optional<qint64> optionalOf(const SQLite::Column& column)
{
    if (column.isNull())
        return std::nullopt;
    return column.getInt64();
}

} // namespace tessera::journal
