#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// CSV as spreadsheets read it: UTF-8 with a byte-order mark (so the Chinese
// texts open right), CRLF line ends, quotes only where a cell needs them.
namespace tessera {

// A table to write: the header row and the rows in the order wanted.
struct CsvTable {
    QStringList headers;
    qint64 rowCount = 0;
    std::function<QStringList(qint64 row)> row;
};

enum class CsvResult { Written, Cancelled, WriteFailed };

// Writes the byte-order mark, the header and the rows. `progress` hears of
// the rows written now and then and returns false to cancel.
CsvResult writeCsv(
    QIODevice& device, const CsvTable& table, const std::function<bool(qint64 rowsWritten)>& progress = {});

// The same, a row at a time as the rows come: the byte-order mark and the
// header at once, each row when given. False once the device refused a write.
class CsvWriter {
public:
    CsvWriter(QIODevice& device, const QStringList& headers);
    bool write(const QStringList& cells);
    bool ok() const { return m_ok; }

private:
    QIODevice& m_device;
    bool m_ok = true;
};

} // namespace tessera
