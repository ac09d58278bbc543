#include "copy/RowSpool.h"

#include <QDir>

#include <stdexcept>

namespace tessera::copy {

namespace {

enum Tag : quint8 { Null, Text, Integer, Real, Moment };

void writeValue(QDataStream& out, const db::Value& value)
{
    switch (value.index()) {
    case 1:
        out << quint8(Text) << std::get<QString>(value);
        break;
    case 2:
        out << quint8(Integer) << std::get<qint64>(value);
        break;
    case 3:
        out << quint8(Real) << std::get<double>(value);
        break;
    case 4:
        out << quint8(Moment) << std::get<QDateTime>(value);
        break;
    default:
        out << quint8(Null);
    }
}

db::Value readValue(QDataStream& in)
{
    quint8 tag = Null;
    in >> tag;
    switch (tag) {
    case Text: {
        QString text;
        in >> text;
        return text;
    }
    case Integer: {
        qint64 integer = 0;
        in >> integer;
        return integer;
    }
    case Real: {
        double real = 0;
        in >> real;
        return real;
    }
    case Moment: {
        QDateTime moment;
        in >> moment;
        return moment;
    }
    default:
        return std::monostate{};
    }
}

} // namespace

RowSpool::RowSpool(size_t rowsInMemory)
    : m_rowsInMemory(rowsInMemory)
{
}

RowSpool::~RowSpool() = default;

void RowSpool::add(Row row)
{
    ++m_count;
    if (m_memory.size() < m_rowsInMemory) {
        m_memory.push_back(std::move(row));
        return;
    }
    spill(row);
}

void RowSpool::spill(const Row& row)
{
    if (!m_file) {
        // Qt names no folder when TMPDIR names one that does not exist.
        const QString folder = QDir::tempPath();
        if (folder.isEmpty())
            throw std::runtime_error("no folder for temporary files (TMPDIR names none that exists)");
        m_file = std::make_unique<QTemporaryFile>(QDir(folder).filePath(QStringLiteral("tessera-copy-XXXXXX")));
        if (!m_file->open())
            throw std::runtime_error("cannot create a temporary file for the rows of the unit: "
                                     + m_file->errorString().toStdString());
        m_stream = std::make_unique<QDataStream>(m_file.get());
    }
    *m_stream << quint32(row.size());
    for (const db::Value& value : row)
        writeValue(*m_stream, value);
    if (m_stream->status() != QDataStream::Ok)
        throw std::runtime_error("cannot write the rows of the unit to a temporary file: "
                                 + m_file->errorString().toStdString());
}

RowSpool::Row RowSpool::unspill()
{
    quint32 columns = 0;
    *m_stream >> columns;
    Row row;
    row.reserve(columns);
    for (quint32 i = 0; i < columns; ++i)
        row.push_back(readValue(*m_stream));
    if (m_stream->status() != QDataStream::Ok)
        throw std::runtime_error("cannot read the rows of the unit back from a temporary file");
    return row;
}

std::optional<RowSpool::Row> RowSpool::next()
{
    if (!m_reading) {
        m_reading = true;
        if (m_file) {
            m_file->flush();
            m_file->seek(0);
            m_stream->resetStatus();
        }
    }
    if (m_read >= m_count)
        return std::nullopt;
    const qint64 index = m_read++;
    if (index < qint64(m_memory.size()))
        return std::move(m_memory[size_t(index)]);
    return unspill();
}

} // namespace tessera::copy
