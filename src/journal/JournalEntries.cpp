#include "journal/Journal.h"

#include "journal/JournalStorage.h"
#include "platform/Processes.h"


#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Entries and their units: what a command records and what the list of
// entries and an undo read back, every stored value checked on reading.
namespace tessera::journal {

namespace {

const QString kLocalFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");
// Counts beyond this are damage, not rows.
constexpr qint64 kMostRows = qint64(1) << 40;

const QString kSummaryColumns = QStringLiteral(
    "id, started_local, started_utc, finished_utc, os_user, login, data_source, kind, command_id, command_name,"
    " scope, reason, state, outcome, rows_removed, rows_written, rows_failed, undo_of, undone_by,"
    " (SELECT COUNT(*) FROM unit u WHERE u.entry_id = entry.id), pid, host, process_start,"
    // Units whose counts no image can have: the list shows the entry damaged.
    " (SELECT COUNT(*) FROM unit u WHERE u.entry_id = entry.id AND (u.before_rows NOT BETWEEN 0 AND 1099511627776"
    "  OR coalesce(u.after_rows, 0) NOT BETWEEN 0 AND 1099511627776 OR u.unit_no NOT BETWEEN 0 AND 1048576))");

QByteArray encodeNames(const QStringList& names)
{
    Row row;
    for (const QString& name : names)
        row.emplace_back(name);
    return encodeRow(row);
}

std::optional<QStringList> decodeNames(const QByteArray& bytes)
{
    const auto row = decodeRow(bytes.constData(), bytes.size());
    if (!row)
        return std::nullopt;
    QStringList names;
    for (const Value& v : *row) {
        if (!std::holds_alternative<QString>(v))
            return std::nullopt;
        names << std::get<QString>(v);
    }
    return names;
}

QByteArray encodeTypes(const std::vector<ValueType>& types)
{
    QByteArray bytes;
    for (ValueType t : types)
        bytes.append(char(t));
    return bytes;
}

std::optional<std::vector<ValueType>> decodeTypes(const QByteArray& bytes)
{
    std::vector<ValueType> types;
    for (char c : bytes) {
        if (quint8(c) > quint8(ValueType::RealSingle))
            return std::nullopt;
        types.push_back(ValueType(c));
    }
    return types;
}

QDateTime parseUtc(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, kUtcFormat);
    t.setTimeSpec(Qt::UTC);
    return t;
}

void insertImageBlock(SQLite::Database& db, qint64 entryId, int unit, Side side, qint64 block, const QByteArray& data,
                      bool packed = false)
{
    SQLite::Statement insert(db,
        "INSERT INTO image_chunk(entry_id, unit_no, side, chunk_no, data, packed) VALUES(?,?,?,?,?,?)");
    bindInt(insert, 1, entryId);
    bindInt(insert, 2, unit);
    bindInt(insert, 3, qint64(side));
    bindInt(insert, 4, block);
    bindBlob(insert, 5, packed ? qCompress(data, 1) : data);
    bindInt(insert, 6, qint64(packed));
    insert.exec();
}

// A stored block's rows appended to `rows`; false for data that is not a block.
bool decodeBlock(const SQLite::Column& data, bool packed, std::vector<Row>& rows)
{
    const auto* bytes = static_cast<const char*>(data.getBlob());
    if (!packed)
        return decodeRows(bytes, data.getBytes(), rows);
    // qUncompress trusts the size in the data's first bytes: a damaged one
    // could ask for gigabytes, so it is checked against a block's bound.
    constexpr qsizetype kMostBlockBytes = 64 * 1024 * 1024;
    if (data.getBytes() < 4)
        return false;
    const quint32 size = (quint32(quint8(bytes[0])) << 24) | (quint32(quint8(bytes[1])) << 16)
        | (quint32(quint8(bytes[2])) << 8) | quint32(quint8(bytes[3]));
    if (size > kMostBlockBytes)
        return false;
    const QByteArray plain = qUncompress(reinterpret_cast<const uchar*>(bytes), data.getBytes());
    return !plain.isEmpty() && decodeRows(plain.constData(), plain.size(), rows);
}

void writeRows(SQLite::Database& db, qint64 entryId, int unit, Side side, const std::vector<Row>& rows)
{
    for (size_t from = 0, block = 0; from < rows.size(); from += size_t(kRowsPerBlock), ++block)
        insertImageBlock(db, entryId, unit, side, qint64(block), encodeRows(rows, from, from + size_t(kRowsPerBlock)));
}

// Reads an entry's summary columns, checking each; a value that cannot be
// right names the entry's problem.
EntrySummary summaryOf(SQLite::Statement& q)
{
    EntrySummary e;
    QStringList problems;
    auto count = [&](int column, qint64 otherwise) {
        const auto v = optionalOf(q.getColumn(column));
        if (v && (*v < 0 || *v > kMostRows)) {
            problems << QStringLiteral("行数%1无效").arg(*v);
            return otherwise;
        }
        return v.value_or(otherwise);
    };
    e.id = q.getColumn(0).getInt64();
    e.startedLocal = QDateTime::fromString(textOf(q.getColumn(1)), kLocalFormat);
    e.startedUtc = parseUtc(textOf(q.getColumn(2)));
    if (!e.startedLocal.isValid() || !e.startedUtc.isValid())
        problems << QStringLiteral("开始时间无效");
    if (!q.getColumn(3).isNull())
        e.finishedUtc = parseUtc(textOf(q.getColumn(3)));
    e.osUser = textOf(q.getColumn(4));
    e.login = textOf(q.getColumn(5));
    e.dataSource = textOf(q.getColumn(6));
    e.kind = int(std::clamp<qint64>(q.getColumn(7).getInt64(), -1, 99));
    e.commandId = int(std::clamp<qint64>(q.getColumn(8).getInt64(), 0, 1 << 30));
    e.commandName = textOf(q.getColumn(9));
    e.scopeText = textOf(q.getColumn(10));
    e.reason = textOf(q.getColumn(11));
    const qint64 state = q.getColumn(12).getInt64();
    if (state < 0 || state > qint64(EntryState::Failed))
        problems << QStringLiteral("状态%1无效").arg(state);
    e.state = state == qint64(EntryState::Done) ? EntryState::Done
        : state == qint64(EntryState::Pending) ? EntryState::Pending
                                               : EntryState::Failed;
    e.outcome = textOf(q.getColumn(13));
    e.counts.removed = count(14, -1);
    e.counts.written = count(15, -1);
    e.counts.failed = count(16, 0);
    e.undoOf = count(17, 0);
    e.undoneBy = count(18, 0);
    e.unitCount = int(std::min<qint64>(q.getColumn(19).getInt64(), 1 << 20));
    e.pid = count(20, 0);
    e.host = textOf(q.getColumn(21));
    e.processStart = textOf(q.getColumn(22));
    if (q.getColumn(23).getInt64() > 0)
        problems << QStringLiteral("数据表的行数或序号无效");
    e.problem = problems.join(QStringLiteral(", "));
    return e;
}

// One unit, its stored values checked and its scope rebuilt.
UnitInfo unitOf(SQLite::Statement& q, int position)
{
    UnitInfo u;
    QStringList problems;
    u.index = int(std::clamp<qint64>(q.getColumn(0).getInt64(), -1, 1 << 20));
    if (u.index != position)
        problems << QStringLiteral("序号%1无效").arg(q.getColumn(0).getInt64());
    u.table = textOf(q.getColumn(1));
    if (!q.getColumn(15).isNull())
        u.scope = decodeScope(blobOf(q.getColumn(15)));
    else
        u.scope = parseStoredCondition(u.table, textOf(q.getColumn(2)));
    if (!u.scope || u.scope->table != u.table)
        problems << QStringLiteral("数据表%1的范围无法读取").arg(u.table);
    if (u.scope && u.scope->table != u.table)
        u.scope.reset();
    u.scopeText = textOf(q.getColumn(3));
    const auto keys = decodeNames(blobOf(q.getColumn(4)));
    const auto columns = q.getColumn(5).isNull() ? std::optional<QStringList>(QStringList()) : decodeNames(blobOf(q.getColumn(5)));
    const auto types = decodeTypes(blobOf(q.getColumn(6)));
    if (!keys || !columns || !types || columns->size() != qsizetype(types->size()))
        problems << QStringLiteral("数据表%1的列无法读取").arg(u.table);
    if (columns && !std::all_of(columns->begin(), columns->end(), isSqlName))
        problems << QStringLiteral("数据表%1的列名无效").arg(u.table);
    u.keyColumns = keys.value_or(QStringList());
    u.columns = columns.value_or(QStringList());
    u.types = types.value_or(std::vector<ValueType>());
    u.beforeKept = q.getColumn(7).getInt64() != 0;
    u.beforeRows = q.getColumn(8).getInt64();
    u.afterRows = optionalOf(q.getColumn(9));
    if (u.beforeRows < 0 || u.beforeRows > kMostRows || (u.afterRows && (*u.afterRows < 0 || *u.afterRows > kMostRows)))
        problems << QStringLiteral("数据表%1的行数无效").arg(u.table);
    u.afterDigest = blobOf(q.getColumn(10));
    u.afterRowsKept = q.getColumn(11).getInt64() != 0;
    u.status = textOf(q.getColumn(12));
    u.statusRows = optionalOf(q.getColumn(13));
    u.sortedDigest = q.getColumn(14).getInt64() != 2;
    u.problem = problems.join(QStringLiteral(", "));
    return u;
}

} // namespace

qint64 Journal::beginEntry(const EntryDraft& draft)
{
    const QDateTime at = draft.at.isValid() ? draft.at : QDateTime::currentDateTime();
    const ProcessIdentity process = currentProcess();
    for (const UnitDraft& d : draft.units)
        if (const QString problem = scopeProblem(d.scope); !problem.isEmpty())
            throw JournalError(QStringLiteral("操作日志无法记录数据表%1的范围: %2").arg(d.scope.table, problem));
    return onJournalFile(m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement insert(*m_db,
            "INSERT INTO entry(started_local, started_utc, os_user, login, data_source, kind, command_id,"
            " command_name, scope, reason, state, undo_of, pid, host, process_start)"
            " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        bindText(insert, 1, at.toLocalTime().toString(kLocalFormat));
        bindText(insert, 2, at.toUTC().toString(kUtcFormat));
        bindText(insert, 3, draft.osUser.isEmpty() ? osUserName() : draft.osUser);
        bindText(insert, 4, draft.login);
        bindText(insert, 5, draft.dataSource);
        bindInt(insert, 6, draft.kind);
        bindInt(insert, 7, draft.commandId);
        bindText(insert, 8, draft.commandName);
        bindText(insert, 9, draft.scopeText);
        bindText(insert, 10, draft.reason);
        bindInt(insert, 11, qint64(EntryState::Pending));
        bindInt(insert, 12, draft.undoOf);
        bindInt(insert, 13, process.pid);
        bindText(insert, 14, process.host);
        bindText(insert, 15, process.startMark);
        insert.exec();
        const qint64 id = m_db->getLastInsertRowid();

        SQLite::Statement unit(*m_db,
            "INSERT INTO unit(entry_id, unit_no, table_name, where_sql, scope, key_columns, columns, types,"
            " before_kept, before_rows, typed_scope, digest_kind) VALUES(?,?,?,'',?,?,?,?,?,?,?,2)");
        for (size_t u = 0; u < draft.units.size(); ++u) {
            const UnitDraft& d = draft.units[u];
            bindInt(unit, 1, id);
            bindInt(unit, 2, qint64(u));
            bindText(unit, 3, d.scope.table);
            bindText(unit, 4, d.scopeText);
            bindBlob(unit, 5, encodeNames(d.keyColumns));
            if (d.before) {
                bindBlob(unit, 6, encodeNames(d.before->columns));
                bindBlob(unit, 7, encodeTypes(d.before->types));
            } else {
                unit.bind(6);
                bindBlob(unit, 7, QByteArray());
            }
            bindInt(unit, 8, qint64(d.before.has_value()));
            bindInt(unit, 9, d.before ? qint64(d.before->rows.size()) : 0);
            bindBlob(unit, 10, encodeScope(d.scope));
            unit.exec();
            unit.reset();
            if (d.before)
                writeRows(*m_db, id, int(u), Side::Before, d.before->rows);
        }
        transaction.commit();
        return id;
    });
}

void Journal::recordAfterState(qint64 entryId, int unit, const RowSet& rows)
{
    writeAfterState(entryId, unit, afterStateOf(rows.rows), &rows);
}

void Journal::recordAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape)
{
    writeAfterState(entryId, unit, after, shape);
}

void Journal::writeAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape)
{
    onJournalFile(m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement update(*m_db,
            "UPDATE unit SET after_rows=?, after_digest=?, after_kept=?, columns=coalesce(columns, ?),"
            " types=CASE WHEN length(types) > 0 THEN types ELSE ? END, digest_kind=2 WHERE entry_id=? AND unit_no=?");
        bindInt(update, 1, after.rowCount);
        bindBlob(update, 2, after.digest);
        bindInt(update, 3, qint64(after.rows.has_value()));
        // The columns come with the before-image; a unit without one learns
        // them here.
        if (shape) {
            bindBlob(update, 4, encodeNames(shape->columns));
            bindBlob(update, 5, encodeTypes(shape->types));
        } else {
            update.bind(4);
            bindBlob(update, 5, QByteArray());
        }
        bindInt(update, 6, entryId);
        bindInt(update, 7, unit);
        update.exec();
        if (m_db->getChanges() != 1)
            throw SQLite::Exception(QStringLiteral("no unit %1 in entry %2").arg(unit).arg(entryId).toStdString(), 12);
        SQLite::Statement clear(*m_db, "DELETE FROM image_chunk WHERE entry_id=? AND unit_no=? AND side=1");
        bindInt(clear, 1, entryId);
        bindInt(clear, 2, unit);
        clear.exec();
        if (after.rows)
            writeRows(*m_db, entryId, unit, Side::After, *after.rows);
        transaction.commit();
    });
}

void Journal::setUnitOutcome(qint64 entryId, int unit, const QString& status, std::optional<qint64> rows)
{
    onJournalFile(m_path, Access::Write, [&] {
        SQLite::Statement update(*m_db, "UPDATE unit SET status=?, status_rows=? WHERE entry_id=? AND unit_no=?");
        bindText(update, 1, status);
        bindOptional(update, 2, rows);
        bindInt(update, 3, entryId);
        bindInt(update, 4, unit);
        update.exec();
        if (m_db->getChanges() != 1)
            throw SQLite::Exception(QStringLiteral("no unit %1 in entry %2").arg(unit).arg(entryId).toStdString(), 12);
    });
}

void Journal::finishEntry(qint64 entryId, EntryState state, const QString& outcome, const RowCounts& counts)
{
    onJournalFile(m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement update(*m_db,
            "UPDATE entry SET state=?, outcome=?, finished_utc=?, rows_removed=?, rows_written=?,"
            " rows_failed=? WHERE id=?");
        bindInt(update, 1, qint64(state));
        bindText(update, 2, outcome);
        bindText(update, 3, QDateTime::currentDateTimeUtc().toString(kUtcFormat));
        bindOptional(update, 4, counts.removed < 0 ? std::nullopt : std::optional<qint64>(counts.removed));
        bindOptional(update, 5, counts.written < 0 ? std::nullopt : std::optional<qint64>(counts.written));
        bindInt(update, 6, counts.failed);
        bindInt(update, 7, entryId);
        update.exec();
        // An entry removed meanwhile (by hand) is no success to report.
        if (m_db->getChanges() != 1)
            throw SQLite::Exception(QStringLiteral("no entry %1").arg(entryId).toStdString(), 12);
        if (state == EntryState::Done) {
            SQLite::Statement mark(*m_db, "UPDATE entry SET undone_by=?1 WHERE id=(SELECT undo_of FROM entry WHERE id=?1)");
            bindInt(mark, 1, entryId);
            mark.exec();
        }
        transaction.commit();
    });
}

void Journal::discardEntry(qint64 entryId)
{
    onJournalFile(m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_db, SQLite::TransactionBehavior::IMMEDIATE);
        for (const char* sql : {"DELETE FROM image_chunk WHERE entry_id=?", "DELETE FROM unit WHERE entry_id=?",
                                "DELETE FROM entry WHERE id=? AND state=0"}) {
            SQLite::Statement remove(*m_db, sql);
            bindInt(remove, 1, entryId);
            remove.exec();
        }
        transaction.commit();
    });
}

std::vector<EntrySummary> Journal::querySummaries(const QString& condition, const std::vector<QString>& values,
                                                  int limit)
{
    QString sql = QStringLiteral("SELECT %1 FROM entry").arg(kSummaryColumns);
    if (!condition.isEmpty())
        sql += QStringLiteral(" WHERE ") + condition;
    sql += QStringLiteral(" ORDER BY id DESC");
    if (limit > 0)
        sql += QStringLiteral(" LIMIT %1").arg(limit);
    std::vector<EntrySummary> result;
    onJournalFile(m_path, Access::Read, [&] {
        SQLite::Statement query(*m_db, sql.toStdString());
        for (size_t i = 0; i < values.size(); ++i)
            bindText(query, int(i + 1), values[i]);
        while (query.executeStep())
            result.push_back(summaryOf(query));
    });
    return result;
}

std::vector<EntrySummary> Journal::entries(const EntryFilter& filter)
{
    QStringList conditions;
    std::vector<QString> values;
    if (filter.from.isValid()) {
        conditions << QStringLiteral("started_local >= ?");
        values.push_back(filter.from.toString(Qt::ISODate));
    }
    if (filter.to.isValid()) {
        conditions << QStringLiteral("started_local < ?");
        values.push_back(filter.to.addDays(1).toString(Qt::ISODate));
    }
    if (filter.commandId)
        conditions << QStringLiteral("command_id = %1").arg(*filter.commandId);
    return querySummaries(conditions.join(QStringLiteral(" AND ")), values, filter.limit);
}

std::vector<EntrySummary> Journal::pendingEntries()
{
    return querySummaries(QStringLiteral("state = %1").arg(int(EntryState::Pending)), {}, 0);
}

std::optional<EntryDetails> Journal::entry(qint64 entryId)
{
    auto found = querySummaries(QStringLiteral("id = %1").arg(entryId), {}, 1);
    if (found.empty())
        return std::nullopt;
    EntryDetails details;
    static_cast<EntrySummary&>(details) = std::move(found.front());
    onJournalFile(m_path, Access::Read, [&] {
        SQLite::Statement query(*m_db,
            "SELECT unit_no, table_name, where_sql, scope, key_columns, columns, types, before_kept, before_rows,"
            " after_rows, after_digest, after_kept, status, status_rows, digest_kind, typed_scope"
            " FROM unit WHERE entry_id=? ORDER BY unit_no");
        bindInt(query, 1, entryId);
        while (query.executeStep()) {
            details.units.push_back(unitOf(query, int(details.units.size())));
            const UnitInfo& u = details.units.back();
            if (!u.problem.isEmpty() && details.problem.isEmpty())
                details.problem = u.problem;
        }
    });
    return details;
}

void Journal::forEachImageRow(qint64 entryId, int unit, Side side, const std::function<bool(const Row&)>& row)
{
    onJournalFile(m_path, Access::Read, [&] {
        SQLite::Statement query(*m_db,
            "SELECT data, packed FROM image_chunk WHERE entry_id=? AND unit_no=? AND side=? ORDER BY chunk_no");
        bindInt(query, 1, entryId);
        bindInt(query, 2, unit);
        bindInt(query, 3, qint64(side));
        std::vector<Row> block;
        while (query.executeStep()) {
            block.clear();
            if (!decodeBlock(query.getColumn(0), query.getColumn(1).getInt64() != 0, block))
                throw JournalError(QStringLiteral("操作日志%1中第%2条记录的数据已损坏").arg(m_path).arg(entryId));
            for (const Row& r : block)
                if (!row(r))
                    return;
        }
    });
}

std::vector<Row> Journal::imageRows(qint64 entryId, int unit, Side side, qint64 offset, qint64 count)
{
    std::vector<Row> rows;
    if (offset < 0 || count <= 0)
        return rows;
    onJournalFile(m_path, Access::Read, [&] {
        // Blocks hold kRowsPerBlock rows each (the last fewer): a page is
        // found without decoding what lies before it.
        SQLite::Statement query(*m_db,
            "SELECT data, packed FROM image_chunk WHERE entry_id=? AND unit_no=? AND side=? AND chunk_no>=?"
            " ORDER BY chunk_no");
        bindInt(query, 1, entryId);
        bindInt(query, 2, unit);
        bindInt(query, 3, qint64(side));
        bindInt(query, 4, offset / kRowsPerBlock);
        qint64 skip = offset % kRowsPerBlock;
        std::vector<Row> block;
        while (qint64(rows.size()) < count && query.executeStep()) {
            block.clear();
            if (!decodeBlock(query.getColumn(0), query.getColumn(1).getInt64() != 0, block))
                throw JournalError(QStringLiteral("操作日志%1中第%2条记录的数据已损坏").arg(m_path).arg(entryId));
            for (Row& r : block) {
                if (skip > 0) {
                    --skip;
                } else if (qint64(rows.size()) < count) {
                    rows.push_back(std::move(r));
                }
            }
        }
    });
    return rows;
}

RowSet Journal::beforeRows(qint64 entryId, int unit)
{
    RowSet set;
    const auto details = entry(entryId);
    if (!details || unit < 0 || unit >= int(details->units.size()))
        return set;
    set.columns = details->units[size_t(unit)].columns;
    set.types = details->units[size_t(unit)].types;
    forEachImageRow(entryId, unit, Side::Before, [&set](const Row& row) {
        set.rows.push_back(row);
        return true;
    });
    return set;
}

std::optional<std::vector<Row>> Journal::afterRows(qint64 entryId, int unit)
{
    const auto details = entry(entryId);
    if (!details || unit < 0 || unit >= int(details->units.size()) || !details->units[size_t(unit)].afterRowsKept)
        return std::nullopt;
    std::vector<Row> rows;
    forEachImageRow(entryId, unit, Side::After, [&rows](const Row& row) {
        // Kept after-states are small; a damaged file cannot make this one large.
        if (qsizetype(rows.size()) > kKeptAfterRows)
            return false;
        rows.push_back(row);
        return true;
    });
    return rows;
}

// ---- ImageWriter ------------------------------------------------------------------

// The blocks on their way to the file, and the thread that writes them.
struct ImageWriter::Pipe {
    static constexpr size_t kWaiting = 8; // blocks read ahead of the writer, at most

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> blocks;
    bool ended = false;   // no more blocks will come
    bool stopped = false; // the writer gave up (error) or was told to
    QString error;
    std::thread thread;
};

ImageWriter::ImageWriter(Journal& journal, qint64 entryId, int unit, const QStringList& columns,
                         const std::vector<ValueType>& types)
    : m_journal(journal), m_entryId(entryId), m_unit(unit), m_columns(columns), m_types(types)
{
}

ImageWriter::~ImageWriter()
{
    if (!m_pipe)
        return;
    {
        std::lock_guard lock(m_pipe->mutex);
        m_pipe->stopped = true;
    }
    m_pipe->changed.notify_all();
    m_pipe->thread.join();
}

void ImageWriter::add(const Row& row)
{
    m_row.clear();
    for (const Value& v : row)
        m_row.append(v);
    add(m_row);
}

void ImageWriter::add(const EncodedRow& row)
{
    // A block holds each row after its length, as encodeRows writes it.
    const QByteArray& bytes = row.bytes();
    for (quint64 n = quint64(bytes.size());; n >>= 7) {
        if (n < 0x80) {
            m_block.append(char(n));
            break;
        }
        m_block.append(char((n & 0x7f) | 0x80));
    }
    m_block.append(bytes);
    ++m_rows;
    if (++m_rowsInBlock == kRowsPerBlock)
        flush();
}

void ImageWriter::flush()
{
    if (!m_pipe) {
        m_pipe = std::make_unique<Pipe>();
        m_pipe->thread = std::thread([this] { writeBlocks(); });
    }
    std::unique_lock lock(m_pipe->mutex);
    m_pipe->changed.wait(lock, [this] { return m_pipe->blocks.size() < Pipe::kWaiting || m_pipe->stopped; });
    if (m_pipe->stopped)
        throw JournalError(m_pipe->error);
    m_pipe->blocks.push_back(std::move(m_block));
    m_block = QByteArray();
    m_rowsInBlock = 0;
    lock.unlock();
    m_pipe->changed.notify_all();
}

// On the writer's thread: the blocks in order, a transaction a group.
void ImageWriter::writeBlocks()
{
    std::optional<SQLite::Transaction> group;
    qint64 block = 0;
    try {
        for (;;) {
            QByteArray data;
            {
                std::unique_lock lock(m_pipe->mutex);
                m_pipe->changed.wait(lock, [this] { return !m_pipe->blocks.empty() || m_pipe->ended || m_pipe->stopped; });
                if (m_pipe->stopped || (m_pipe->blocks.empty() && m_pipe->ended))
                    break;
                data = std::move(m_pipe->blocks.front());
                m_pipe->blocks.pop_front();
            }
            m_pipe->changed.notify_all();
            if (!group)
                group.emplace(*m_journal.m_db, SQLite::TransactionBehavior::IMMEDIATE);
            insertImageBlock(*m_journal.m_db, m_entryId, m_unit, Side::Before, block++, data, true);
            if (block % kBlocksPerCommit == 0) {
                group->commit();
                group.reset();
            }
        }
        if (group && !m_pipe->stopped)
            group->commit();
    } catch (const SQLite::Exception& error) {
        std::lock_guard lock(m_pipe->mutex);
        m_pipe->error = writeError(m_journal.m_path, error).message();
        m_pipe->stopped = true;
    }
    group.reset(); // rolls back what was not committed
    m_pipe->changed.notify_all();
}

void ImageWriter::finish()
{
    if (m_rowsInBlock > 0)
        flush();
    if (m_pipe) {
        {
            std::lock_guard lock(m_pipe->mutex);
            m_pipe->ended = true;
        }
        m_pipe->changed.notify_all();
        m_pipe->thread.join();
        const bool failed = m_pipe->stopped;
        const QString error = m_pipe->error;
        m_pipe.reset();
        if (failed)
            throw JournalError(error);
    }
    onJournalFile(m_journal.m_path, Access::Write, [&] {
        SQLite::Transaction transaction(*m_journal.m_db, SQLite::TransactionBehavior::IMMEDIATE);
        SQLite::Statement mark(*m_journal.m_db,
            "UPDATE unit SET columns=?, types=?, before_kept=1, before_rows=? WHERE entry_id=? AND unit_no=?");
        bindBlob(mark, 1, encodeNames(m_columns));
        bindBlob(mark, 2, encodeTypes(m_types));
        bindInt(mark, 3, m_rows);
        bindInt(mark, 4, m_entryId);
        bindInt(mark, 5, m_unit);
        mark.exec();
        transaction.commit();
    });
}

// ---- After-states -------------------------------------------------------------------

AfterState afterStateOf(const std::vector<Row>& rows, qsizetype keepAtMost)
{
    AfterStateBuilder builder(keepAtMost);
    for (const Row& row : rows)
        builder.add(row);
    return builder.result();
}

void AfterStateBuilder::add(const Row& row)
{
    m_digest.add(row);
    if (m_keeping)
        keep([&row] { return row; });
}

void AfterStateBuilder::addEncoded(QByteArrayView bytes)
{
    m_digest.addEncoded(bytes.data(), bytes.size());
    if (m_keeping)
        keep([bytes] { return decodeRow(bytes.data(), bytes.size()).value_or(Row()); });
}

void AfterStateBuilder::keep(const std::function<Row()>& row)
{
    if (!m_keeping)
        return;
    if (qsizetype(m_rows.size()) < m_keepAtMost) {
        m_rows.push_back(row());
    } else {
        m_keeping = false;
        m_rows = {};
    }
}

AfterState AfterStateBuilder::result() const
{
    AfterState after;
    after.rowCount = m_digest.count();
    after.digest = m_digest.result();
    if (m_keeping)
        after.rows = m_rows;
    return after;
}

} // namespace tessera::journal
