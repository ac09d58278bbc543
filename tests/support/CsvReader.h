#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace tessera::test {

// A CSV file's records as a spreadsheet reads them (RFC 4180: quoted cells
// may hold commas, quotes doubled and line ends), after the UTF-8 byte-order
// mark, which must be there.
inline QList<QStringList> readCsv(const QByteArray& bytes, bool* hadByteOrderMark = nullptr)
{
    const bool mark = bytes.startsWith("\xEF\xBB\xBF");
    if (hadByteOrderMark)
        *hadByteOrderMark = mark;
    const QString text = QString::fromUtf8(mark ? bytes.mid(3) : bytes);
    QList<QStringList> records;
    QStringList record;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                cell += text[++i];
            else if (c == u'"')
                quoted = false;
            else
                cell += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record << cell;
            cell.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << cell;
            records << record;
            record.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    if (!cell.isEmpty() || !record.isEmpty())
        records << (record << cell);
    return records;
}

} // namespace tessera::test
