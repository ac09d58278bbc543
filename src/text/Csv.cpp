#include "text/Csv.h"

#include <QByteArray>
#include <QIODevice>

namespace tessera {

namespace {

// Rows between two progress reports, and bytes gathered before a write.
constexpr qint64 kProgressRows = 8192;
constexpr qsizetype kWriteBytes = 1 << 20;
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

bool looksLikeFormula(const QString& text)
{
    if (text.isEmpty() || !QStringLiteral("=+-@\t\r").contains(text.front()))
        return false;
    bool number = false;
    text.toDouble(&number);
    return !number;
}

bool needsQuotes(const QString& text)
{
    for (const QChar c : text)
        if (c == u',' || c == u'"' || c == u'\n' || c == u'\r')
            return true;
    return false;
}

// One cell: a text a spreadsheet would run as a formula gets a leading
// apostrophe; quotes where the cell needs them.
QString csvCell(QString text)
{
    if (looksLikeFormula(text))
        text.prepend(u'\'');
    if (!needsQuotes(text))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

// Cells joined by commas, with CRLF, as UTF-8.
void appendCsvLine(QByteArray& out, const QStringList& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i)
            out += ',';
        const QString& cell = cells[i];
        // Most cells are plain numbers and times: no copy for those.
        if (looksLikeFormula(cell) || needsQuotes(cell))
            out += csvCell(cell).toUtf8();
        else
            out += cell.toUtf8();
    }
    out += "\r\n";
}

} // namespace

CsvWriter::CsvWriter(QIODevice& device, const QStringList& headers)
    : m_device(device)
{
    QByteArray bytes(kUtf8ByteOrderMark);
    appendCsvLine(bytes, headers);
    m_ok = m_device.write(bytes) == bytes.size();
}

bool CsvWriter::write(const QStringList& cells)
{
    QByteArray bytes;
    appendCsvLine(bytes, cells);
    m_ok = m_ok && m_device.write(bytes) == bytes.size();
    return m_ok;
}

CsvResult writeCsv(QIODevice& device, const CsvTable& table, const std::function<bool(qint64)>& progress)
{
    QByteArray bytes(kUtf8ByteOrderMark);
    bytes.reserve(kWriteBytes + 4096);
    appendCsvLine(bytes, table.headers);
    for (qint64 row = 0; row < table.rowCount; ++row) {
        appendCsvLine(bytes, table.row(row));
        if (bytes.size() >= kWriteBytes) {
            if (device.write(bytes) != bytes.size())
                return CsvResult::WriteFailed;
            bytes.clear();
        }
        if (progress && (row + 1) % kProgressRows == 0 && !progress(row + 1))
            return CsvResult::Cancelled;
    }
    if (device.write(bytes) != bytes.size())
        return CsvResult::WriteFailed;
    if (progress)
        progress(table.rowCount);
    return CsvResult::Written;
}

} // namespace tessera
