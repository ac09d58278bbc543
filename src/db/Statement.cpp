#include "db/Statement.h"

#include "db/WideText.h"

#include <sqlext.h>

namespace tessera::db {

namespace {

SQL_TIMESTAMP_STRUCT timestampOf(const QDateTime& t)
{
    const QDate date = t.date();
    const QTime time = t.time();
    return {SQLSMALLINT(date.year()), SQLUSMALLINT(date.month()), SQLUSMALLINT(date.day()), SQLUSMALLINT(time.hour()),
            SQLUSMALLINT(time.minute()), SQLUSMALLINT(time.second()), 0};
}

// How a Value alternative is bound: its C and SQL types, the column size and,
// for fixed-size values, the size of one value. Texts (and NULLs) get their
// sizes from their buffers.
struct BoundType {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    SQLULEN columnSize;
    SQLLEN valueSize;
};

BoundType boundType(size_t kind, bool utf8Text)
{
    switch (kind) {
    case 2:
        return {SQL_C_SBIGINT, SQL_BIGINT, 0, sizeof(SQLBIGINT)};
    case 3:
        return {SQL_C_DOUBLE, SQL_DOUBLE, 0, sizeof(double)};
    case 4:
        return {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, sizeof(SQL_TIMESTAMP_STRUCT)};
    default:
        return utf8Text && kind == 1 ? BoundType {SQL_C_CHAR, SQL_VARCHAR, 0, 0} : BoundType {SQL_C_WCHAR, SQL_WVARCHAR, 0, 0};
    }
}

} // namespace

struct Statement::Parameter {
    size_t kind = size_t(-1); // index of the Value alternative bound last
    size_t boundCapacity = 0; // characters bound for text
    std::vector<SQLWCHAR> text;
    std::vector<char> bytes; // the text as UTF-8, for connections that take it so
    SQLBIGINT integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp {};
    SQLLEN indicator = SQL_NULL_DATA;
    bool needsBind = true;
};

Statement::Statement(StatementHandle statement, const QString& sql, bool dateTimesAsText, bool utf8Text)
    : m_statement(std::move(statement))
    , m_dateTimesAsText(dateTimesAsText)
    , m_utf8Text(utf8Text)
{
    auto text = toWide(sql);
    check(SQLPrepareW(m_statement.get(), text.data(), SQL_NTS), SQL_HANDLE_STMT, m_statement.get(), nullptr);
}

Statement::Statement(Statement&&) noexcept = default;
Statement& Statement::operator=(Statement&&) noexcept = default;
Statement::~Statement() = default;

void Statement::set(int index, const Value& value)
{
    if (index < 0)
        return;
    if (m_dateTimesAsText) {
        if (auto* t = std::get_if<QDateTime>(&value)) {
            set(index, Value(t->toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
            return;
        }
    }
    while (m_parameters.size() <= size_t(index))
        m_parameters.push_back(std::make_unique<Parameter>());
    Parameter& p = *m_parameters[size_t(index)];
    if (p.kind != value.index())
        p.needsBind = true;
    p.kind = value.index();
    if (std::holds_alternative<std::monostate>(value)) {
        p.indicator = SQL_NULL_DATA;
    } else if (auto* s = std::get_if<QString>(&value); s && m_utf8Text) {
        const QByteArray utf8 = s->toUtf8();
        const size_t n = size_t(utf8.size());
        if (n + 1 > p.bytes.size()) {
            p.bytes.resize(std::max<size_t>(n + 1, 64));
            p.needsBind = true;
        }
        std::copy(utf8.begin(), utf8.end(), p.bytes.begin());
        p.bytes[n] = 0;
        p.indicator = SQLLEN(n);
    } else if (auto* s = std::get_if<QString>(&value)) {
        const size_t n = size_t(s->size());
        if (n + 1 > p.text.size()) {
            p.text.resize(std::max<size_t>(n + 1, 64));
            p.needsBind = true;
        }
        std::copy(s->utf16(), s->utf16() + n, p.text.begin());
        p.text[n] = 0;
        p.indicator = SQLLEN(n * sizeof(SQLWCHAR));
    } else if (auto* i = std::get_if<qint64>(&value)) {
        p.integer = *i;
        p.indicator = 0;
    } else if (auto* d = std::get_if<double>(&value)) {
        p.real = *d;
        p.indicator = 0;
    } else if (auto* t = std::get_if<QDateTime>(&value)) {
        p.timestamp = timestampOf(*t);
        p.indicator = 0;
    }
}

void Statement::bind(int index, Parameter& p)
{
    const BoundType type = boundType(p.kind, m_utf8Text);
    SQLULEN columnSize = type.columnSize;
    SQLPOINTER buffer = nullptr;
    SQLLEN bufferLength = type.valueSize;
    switch (p.kind) {
    case 0: // NULL: bound as text, which every driver converts to any column type
    case 1:
        if (type.cType == SQL_C_CHAR) {
            buffer = p.bytes.data();
            bufferLength = SQLLEN(p.bytes.size());
            columnSize = std::max<SQLULEN>(p.bytes.size() - 1, 1);
            break;
        }
        if (p.text.empty())
            p.text.resize(64);
        buffer = p.text.data();
        bufferLength = SQLLEN(p.text.size() * sizeof(SQLWCHAR));
        columnSize = std::max<SQLULEN>(p.text.size() - 1, 1);
        break;
    case 2:
        buffer = &p.integer;
        break;
    case 3:
        buffer = &p.real;
        break;
    case 4:
        buffer = &p.timestamp;
        break;
    }
    check(SQLBindParameter(m_statement.get(), SQLUSMALLINT(index + 1), SQL_PARAM_INPUT, type.cType, type.sqlType,
                           columnSize, 0, buffer, bufferLength, &p.indicator),
          SQL_HANDLE_STMT, m_statement.get(), "binding a parameter");
    p.needsBind = false;
}

qint64 Statement::execute()
{
    for (size_t i = 0; i < m_parameters.size(); ++i)
        if (m_parameters[i]->needsBind)
            bind(int(i), *m_parameters[i]);
    const SQLRETURN rc = SQLExecute(m_statement.get());
    if (rc == SQL_NO_DATA)
        return 0;
    check(rc, SQL_HANDLE_STMT, m_statement.get(), nullptr);
    return affectedRows(m_statement.get());
}

namespace {

// One column of a batch: the values of all rows in one buffer, as the driver
// reads column-wise bound parameter arrays.
struct BatchColumn {
    size_t kind = 0; // the Value alternative of the column's non-null values
    size_t width = 1; // characters per text element, with the terminator
    std::vector<SQLWCHAR> text;
    std::vector<char> bytes; // UTF-8 texts, for connections that take them so
    std::vector<SQLBIGINT> integers;
    std::vector<double> reals;
    std::vector<SQL_TIMESTAMP_STRUCT> timestamps;
    std::vector<SQLLEN> indicators;
};

} // namespace

Statement::BatchResult Statement::executeBatch(const Value* values, int columns, size_t rows)
{
    if (rows == 0 || columns <= 0 || m_dateTimesAsText)
        return BatchResult::Unsupported;
    std::vector<BatchColumn> batch(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
        BatchColumn& col = batch[size_t(c)];
        col.kind = 0;
        for (size_t r = 0; r < rows; ++r) {
            const Value& v = values[r * size_t(columns) + size_t(c)];
            if (v.index() == 0)
                continue;
            if (col.kind != 0 && col.kind != v.index())
                return BatchResult::Unsupported; // mixed types: row by row
            col.kind = v.index();
            if (auto* text = std::get_if<QString>(&v))
                col.width = std::max(col.width, size_t(m_utf8Text ? text->toUtf8().size() : text->size()) + 1);
        }
        if (col.kind == 0)
            col.kind = 1; // all NULL: bound as text
        col.indicators.assign(rows, SQL_NULL_DATA);
        switch (col.kind) {
        case 1:
            if (m_utf8Text)
                col.bytes.assign(rows * col.width, 0);
            else
                col.text.assign(rows * col.width, 0);
            break;
        case 2:
            col.integers.assign(rows, 0);
            break;
        case 3:
            col.reals.assign(rows, 0);
            break;
        case 4:
            col.timestamps.assign(rows, SQL_TIMESTAMP_STRUCT {});
            break;
        }
        for (size_t r = 0; r < rows; ++r) {
            const Value& v = values[r * size_t(columns) + size_t(c)];
            if (auto* text = std::get_if<QString>(&v); text && m_utf8Text) {
                const QByteArray utf8 = text->toUtf8();
                std::copy(utf8.begin(), utf8.end(), col.bytes.begin() + qsizetype(r * col.width));
                col.indicators[r] = SQLLEN(utf8.size());
            } else if (text) {
                std::copy(text->utf16(), text->utf16() + text->size(), col.text.begin() + qsizetype(r * col.width));
                col.indicators[r] = SQLLEN(text->size() * qsizetype(sizeof(SQLWCHAR)));
            } else if (auto* i = std::get_if<qint64>(&v)) {
                col.integers[r] = *i;
                col.indicators[r] = 0;
            } else if (auto* d = std::get_if<double>(&v)) {
                col.reals[r] = *d;
                col.indicators[r] = 0;
            } else if (auto* t = std::get_if<QDateTime>(&v)) {
                col.timestamps[r] = timestampOf(*t);
                col.indicators[r] = 0;
            }
        }
    }

    SQLHSTMT stmt = m_statement.get();
    std::vector<SQLUSMALLINT> status(rows, SQL_PARAM_UNUSED);
    SQLULEN processed = 0;
    // Whatever happens below, the statement goes back to single rows and its
    // single-row buffers are bound anew before their next use.
    struct Restore {
        Statement& s;
        ~Restore()
        {
            SQLHSTMT h = s.m_statement.get();
            SQLFreeStmt(h, SQL_RESET_PARAMS);
            SQLSetStmtAttrW(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
            SQLSetStmtAttrW(h, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
            SQLSetStmtAttrW(h, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
            for (auto& p : s.m_parameters)
                p->needsBind = true;
        }
    } restore {*this};

    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_BIND_TYPE,
                                       reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_PARAM_BIND_BY_COLUMN)), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(rows)), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0)))
        return BatchResult::Unsupported;
    SQLULEN size = 0;
    if (!SQL_SUCCEEDED(SQLGetStmtAttrW(stmt, SQL_ATTR_PARAMSET_SIZE, &size, 0, nullptr)) || size != rows)
        return BatchResult::Unsupported; // the driver quietly kept single rows

    for (int c = 0; c < columns; ++c) {
        BatchColumn& col = batch[size_t(c)];
        const BoundType type = boundType(col.kind, m_utf8Text);
        SQLULEN columnSize = type.columnSize;
        SQLLEN elementLength = type.valueSize;
        SQLPOINTER buffer = nullptr;
        switch (col.kind) {
        case 1:
            buffer = m_utf8Text ? static_cast<SQLPOINTER>(col.bytes.data()) : static_cast<SQLPOINTER>(col.text.data());
            elementLength = SQLLEN(col.width * (m_utf8Text ? 1 : sizeof(SQLWCHAR)));
            columnSize = std::max<SQLULEN>(col.width - 1, 1);
            break;
        case 2:
            buffer = col.integers.data();
            break;
        case 3:
            buffer = col.reals.data();
            break;
        case 4:
            buffer = col.timestamps.data();
            break;
        }
        if (!SQL_SUCCEEDED(SQLBindParameter(stmt, SQLUSMALLINT(c + 1), SQL_PARAM_INPUT, type.cType, type.sqlType,
                                            columnSize, 0, buffer, elementLength, col.indicators.data())))
            return BatchResult::Unsupported;
    }

    m_batchError.reset();
    const SQLRETURN rc = SQLExecute(stmt);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        m_batchError = std::make_unique<DbError>(diagnosticsOf(SQL_HANDLE_STMT, stmt, QString()));
        return BatchResult::Failed;
    }
    // Some drivers report a refused row only in its status.
    for (SQLUSMALLINT s : status)
        if (s == SQL_PARAM_ERROR || s == SQL_PARAM_DIAG_UNAVAILABLE)
            return BatchResult::Failed;
    if (processed != 0 && processed != rows)
        return BatchResult::Failed;
    return BatchResult::Done;
}

} // namespace tessera::db
