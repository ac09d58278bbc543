#include "journal/Journal.h"

#include "journal/JournalStorage.h"

#include <sqlite3.h>

// Entries and their images: what a command records and what the list of
// entries and an undo read back.
namespace tessera::journal {

namespace {

enum class Side { Before = 0, After = 1 };
constexpr size_t kRowsPerChunk = 1000;

const QString kLocalFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz");

const QString kSummaryColumns = QStringLiteral(
    "id, started_local, started_utc, finished_utc, os_user, login, data_source, kind, command_id, command_name,"
    " scope, reason, state, outcome, rows_removed, rows_written, rows_failed, undo_of, undone_by,"
    " (SELECT COUNT(*) FROM unit u WHERE u.entry_id = entry.id)");

QByteArray encodeNames(const QStringList& names)
{
    Row row;
    for (const QString& name : names)
        row.emplace_back(name);
    return encodeRow(row);
}

QStringList decodeNames(const QByteArray& bytes)
{
    QStringList names;
    if (const auto row = decodeRow(bytes.constData(), bytes.size()))
        for (const Value& v : *row)
            names << displayText(v);
    return names;
}

QByteArray encodeTypes(const std::vector<ValueType>& types)
{
    QByteArray bytes;
    for (ValueType t : types)
        bytes.append(char(t));
    return bytes;
}

std::vector<ValueType> decodeTypes(const QByteArray& bytes)
{
    std::vector<ValueType> types;
    for (char c : bytes)
        types.push_back(ValueType(c));
    return types;
}

QDateTime parseLocal(const QString& text)
{
    return QDateTime::fromString(text, kLocalFormat);
}

QDateTime parseUtc(const QString& text)
{
    QDateTime t = QDateTime::fromString(text, kUtcFormat);
    t.setTimeSpec(Qt::UTC);
    return t;
}

void writeImage(SqliteDatabase& db, qint64 entryId, int unit, Side side, const std::vector<Row>& rows)
{
    SqliteStatement insert = db.prepare(
        QStringLiteral("INSERT INTO image_chunk(entry_id, unit_no, side, chunk_no, data) VALUES(?,?,?,?,?)"));
    for (size_t from = 0, chunk = 0; from < rows.size(); from += kRowsPerChunk, ++chunk) {
        insert.bind(1, entryId);
        insert.bind(2, qint64(unit));
        insert.bind(3, qint64(side));
        insert.bind(4, qint64(chunk));
        insert.bindBlob(5, encodeRows(rows, from, from + kRowsPerChunk));
        insert.run();
    }
}

std::vector<Row> readImage(SqliteDatabase& db, qint64 entryId, int unit, Side side, qint64 expected)
{
    std::vector<Row> rows;
    rows.reserve(size_t(std::max<qint64>(expected, 0)));
    SqliteStatement query = db.prepare(
        QStringLiteral("SELECT data FROM image_chunk WHERE entry_id=? AND unit_no=? AND side=? ORDER BY chunk_no"));
    query.bind(1, entryId);
    query.bind(2, qint64(unit));
    query.bind(3, qint64(side));
    while (query.step()) {
        qsizetype size = 0;
        const char* data = query.blobData(0, size);
        if (!decodeRows(data, size, rows))
            throw SqliteError(SQLITE_CORRUPT, QStringLiteral("damaged rows in entry %1").arg(entryId));
    }
    return rows;
}

} // namespace

qint64 Journal::beginEntry(const EntryDraft& draft)
{
    const QDateTime at = draft.at.isValid() ? draft.at : QDateTime::currentDateTime();
    try {
        SqliteTransaction transaction(m_db);
        SqliteStatement insert = m_db.prepare(QStringLiteral(
            "INSERT INTO entry(started_local, started_utc, os_user, login, data_source, kind, command_id,"
            " command_name, scope, reason, state, undo_of) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)"));
        insert.bind(1, at.toLocalTime().toString(kLocalFormat));
        insert.bind(2, at.toUTC().toString(kUtcFormat));
        insert.bind(3, draft.osUser.isEmpty() ? osUserName() : draft.osUser);
        insert.bind(4, draft.login);
        insert.bind(5, draft.dataSource);
        insert.bind(6, qint64(draft.kind));
        insert.bind(7, qint64(draft.commandId));
        insert.bind(8, draft.commandName);
        insert.bind(9, draft.scopeText);
        insert.bind(10, draft.reason);
        insert.bind(11, qint64(EntryState::Pending));
        insert.bind(12, draft.undoOf);
        insert.run();
        const qint64 id = m_db.lastInsertId();

        SqliteStatement unit = m_db.prepare(QStringLiteral(
            "INSERT INTO unit(entry_id, unit_no, table_name, where_sql, scope, key_columns, columns, types,"
            " before_kept, before_rows) VALUES(?,?,?,?,?,?,?,?,?,?)"));
        for (size_t u = 0; u < draft.units.size(); ++u) {
            const UnitDraft& d = draft.units[u];
            unit.bind(1, id);
            unit.bind(2, qint64(u));
            unit.bind(3, d.table);
            unit.bind(4, d.whereSql);
            unit.bind(5, d.scopeText);
            unit.bindBlob(6, encodeNames(d.keyColumns));
            if (d.before) {
                unit.bindBlob(7, encodeNames(d.before->columns));
                unit.bindBlob(8, encodeTypes(d.before->types));
            }
            unit.bind(9, qint64(d.before.has_value()));
            unit.bind(10, d.before ? qint64(d.before->rows.size()) : qint64(0));
            unit.run();
            if (d.before)
                writeImage(m_db, id, int(u), Side::Before, d.before->rows);
        }
        transaction.commit();
        return id;
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
}

void Journal::recordAfterState(qint64 entryId, int unit, const RowSet& rows)
{
    writeAfterState(entryId, unit, afterStateOf(rows.rows), &rows);
}

void Journal::recordAfterState(qint64 entryId, int unit, const AfterState& after)
{
    writeAfterState(entryId, unit, after, nullptr);
}

void Journal::writeAfterState(qint64 entryId, int unit, const AfterState& after, const RowSet* shape)
{
    try {
        SqliteTransaction transaction(m_db);
        SqliteStatement update = m_db.prepare(QStringLiteral(
            "UPDATE unit SET after_rows=?, after_digest=?, after_kept=?, columns=coalesce(columns, ?),"
            " types=coalesce(types, ?) WHERE entry_id=? AND unit_no=?"));
        update.bind(1, after.rowCount);
        update.bindBlob(2, after.digest);
        update.bind(3, qint64(after.rows.has_value()));
        // The columns come with the before-image; a unit without one learns
        // them here.
        if (shape) {
            update.bindBlob(4, encodeNames(shape->columns));
            update.bindBlob(5, encodeTypes(shape->types));
        }
        update.bind(6, entryId);
        update.bind(7, qint64(unit));
        update.run();
        if (m_db.changes() != 1)
            throw SqliteError(SQLITE_NOTFOUND, QStringLiteral("no unit %1 in entry %2").arg(unit).arg(entryId));
        SqliteStatement clear = m_db.prepare(
            QStringLiteral("DELETE FROM image_chunk WHERE entry_id=? AND unit_no=? AND side=?"));
        clear.bind(1, entryId);
        clear.bind(2, qint64(unit));
        clear.bind(3, qint64(Side::After));
        clear.run();
        if (after.rows)
            writeImage(m_db, entryId, unit, Side::After, *after.rows);
        transaction.commit();
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
}

void Journal::setUnitOutcome(qint64 entryId, int unit, const QString& status, std::optional<qint64> rows)
{
    try {
        SqliteStatement update =
            m_db.prepare(QStringLiteral("UPDATE unit SET status=?, status_rows=? WHERE entry_id=? AND unit_no=?"));
        update.bind(1, status);
        update.bind(2, rows);
        update.bind(3, entryId);
        update.bind(4, qint64(unit));
        update.run();
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
}

void Journal::finishEntry(qint64 entryId, EntryState state, const QString& outcome, const RowCounts& counts)
{
    try {
        SqliteTransaction transaction(m_db);
        SqliteStatement update = m_db.prepare(
            QStringLiteral("UPDATE entry SET state=?, outcome=?, finished_utc=?, rows_removed=?, rows_written=?,"
                           " rows_failed=? WHERE id=?"));
        update.bind(1, qint64(state));
        update.bind(2, outcome);
        update.bind(3, QDateTime::currentDateTimeUtc().toString(kUtcFormat));
        update.bind(4, counts.removed < 0 ? std::nullopt : std::optional<qint64>(counts.removed));
        update.bind(5, counts.written < 0 ? std::nullopt : std::optional<qint64>(counts.written));
        update.bind(6, counts.failed);
        update.bind(7, entryId);
        update.run();
        if (state == EntryState::Done) {
            SqliteStatement mark = m_db.prepare(QStringLiteral(
                "UPDATE entry SET undone_by=?1 WHERE id=(SELECT undo_of FROM entry WHERE id=?1)"));
            mark.bind(1, entryId);
            mark.run();
        }
        transaction.commit();
    } catch (const SqliteError& error) {
        throw writeError(m_path, error);
    }
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
    try {
        SqliteStatement query = m_db.prepare(sql);
        for (size_t i = 0; i < values.size(); ++i)
            query.bind(int(i + 1), values[i]);
        while (query.step()) {
            EntrySummary e;
            e.id = query.integer(0);
            e.startedLocal = parseLocal(query.text(1));
            e.startedUtc = parseUtc(query.text(2));
            if (!query.isNull(3))
                e.finishedUtc = parseUtc(query.text(3));
            e.osUser = query.text(4);
            e.login = query.text(5);
            e.dataSource = query.text(6);
            e.kind = int(query.integer(7));
            e.commandId = int(query.integer(8));
            e.commandName = query.text(9);
            e.scopeText = query.text(10);
            e.reason = query.text(11);
            e.state = EntryState(query.integer(12));
            e.outcome = query.text(13);
            e.counts.removed = query.optionalInteger(14).value_or(-1);
            e.counts.written = query.optionalInteger(15).value_or(-1);
            e.counts.failed = query.optionalInteger(16).value_or(0);
            e.undoOf = query.integer(17);
            e.undoneBy = query.integer(18);
            e.unitCount = int(query.integer(19));
            result.push_back(std::move(e));
        }
    } catch (const SqliteError& error) {
        throw readError(m_path, error);
    }
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
    try {
        SqliteStatement query = m_db.prepare(QStringLiteral(
            "SELECT unit_no, table_name, where_sql, scope, key_columns, columns, types, before_kept, before_rows,"
            " after_rows, after_digest, after_kept, status, status_rows FROM unit WHERE entry_id=? ORDER BY unit_no"));
        query.bind(1, entryId);
        while (query.step()) {
            UnitInfo u;
            u.index = int(query.integer(0));
            u.table = query.text(1);
            u.whereSql = query.text(2);
            u.scopeText = query.text(3);
            u.keyColumns = decodeNames(query.blob(4));
            u.columns = decodeNames(query.blob(5));
            u.types = decodeTypes(query.blob(6));
            u.beforeKept = query.integer(7) != 0;
            u.beforeRows = query.integer(8);
            u.afterRows = query.optionalInteger(9);
            u.afterDigest = query.blob(10);
            u.afterRowsKept = query.integer(11) != 0;
            u.status = query.text(12);
            u.statusRows = query.optionalInteger(13);
            details.units.push_back(std::move(u));
        }
    } catch (const SqliteError& error) {
        throw readError(m_path, error);
    }
    return details;
}

RowSet Journal::beforeRows(qint64 entryId, int unit)
{
    RowSet set;
    try {
        SqliteStatement query = m_db.prepare(
            QStringLiteral("SELECT columns, types, before_rows FROM unit WHERE entry_id=? AND unit_no=?"));
        query.bind(1, entryId);
        query.bind(2, qint64(unit));
        if (!query.step())
            return set;
        set.columns = decodeNames(query.blob(0));
        set.types = decodeTypes(query.blob(1));
        set.rows = readImage(m_db, entryId, unit, Side::Before, query.integer(2));
    } catch (const SqliteError& error) {
        throw readError(m_path, error);
    }
    return set;
}

std::optional<std::vector<Row>> Journal::afterRows(qint64 entryId, int unit)
{
    try {
        SqliteStatement query =
            m_db.prepare(QStringLiteral("SELECT after_kept, after_rows FROM unit WHERE entry_id=? AND unit_no=?"));
        query.bind(1, entryId);
        query.bind(2, qint64(unit));
        if (!query.step() || query.integer(0) == 0)
            return std::nullopt;
        return readImage(m_db, entryId, unit, Side::After, query.integer(1));
    } catch (const SqliteError& error) {
        throw readError(m_path, error);
    }
}

AfterState afterStateOf(const std::vector<Row>& rows, qsizetype keepAtMost)
{
    AfterState after;
    after.rowCount = qint64(rows.size());
    after.digest = digestOf(rows);
    if (qsizetype(rows.size()) <= keepAtMost)
        after.rows = rows;
    return after;
}

} // namespace tessera::journal
