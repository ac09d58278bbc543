#include "db/Statement.h"

#include "db/WideText.h"

#include <sqlext.h>

#include <QScopeGuard>

#include <cstring>

namespace tessera::db {

namespace {

// How one kind of value is bound: its C and SQL types and how it fills an
// element of a parameter buffer. Texts size their elements to the longest
// value; the others have one fixed size.
struct BoundType {
    SQLSMALLINT cType;
    SQLSMALLINT sqlType;
    SQLULEN columnSize; // fixed-size values; a text's is the characters its element holds
    size_t charSize;    // texts: bytes per character; 0 for fixed-size values
    size_t (*bytesOf)(const Value& value); // element bytes the value needs
    SQLLEN (*fill)(const Value& value, char* element); // returns the indicator
};

template <typename C>
SQLLEN copyFixed(const C& value, char* element)
{
    std::memcpy(element, &value, sizeof(C));
    return 0;
}

// A text carries a terminator as well as its length, for drivers that look
// for one.
template <typename Char>
SQLLEN copyText(const Char* text, size_t length, char* element)
{
    std::memcpy(element, text, length * sizeof(Char));
    std::memset(element + length * sizeof(Char), 0, sizeof(Char));
    return SQLLEN(length * sizeof(Char));
}

QString textOf(const Value& value)
{
    const auto* text = std::get_if<QString>(&value);
    return text ? *text : QString();
}

// SQLite keeps date-times as text, and compares them as text: always the
// full zero-padded form.
QString dateTimeText(const Value& value)
{
    return std::get<QDateTime>(value).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

SQL_TIMESTAMP_STRUCT timestampOf(const QDateTime& t)
{
    const QDate date = t.date();
    const QTime time = t.time();
    return {SQLSMALLINT(date.year()), SQLUSMALLINT(date.month()), SQLUSMALLINT(date.day()), SQLUSMALLINT(time.hour()),
            SQLUSMALLINT(time.minute()), SQLUSMALLINT(time.second()), 0};
}

const BoundType kWideText {
    SQL_C_WCHAR, SQL_WVARCHAR, 0, sizeof(SQLWCHAR),
    [](const Value& v) { return (size_t(textOf(v).size()) + 1) * sizeof(SQLWCHAR); },
    [](const Value& v, char* e) {
        const QString& s = std::get<QString>(v);
        return copyText(s.utf16(), size_t(s.size()), e);
    }};
// MySQL and MariaDB drivers take narrow text as UTF-8 more reliably than wide text.
const BoundType kUtf8Text {
    SQL_C_CHAR, SQL_VARCHAR, 0, 1, [](const Value& v) { return size_t(textOf(v).toUtf8().size()) + 1; },
    [](const Value& v, char* e) {
        const QByteArray utf8 = std::get<QString>(v).toUtf8();
        return copyText(utf8.constData(), size_t(utf8.size()), e);
    }};
const BoundType kInteger {SQL_C_SBIGINT, SQL_BIGINT, 0, 0, [](const Value&) { return sizeof(SQLBIGINT); },
                          [](const Value& v, char* e) { return copyFixed(SQLBIGINT(std::get<qint64>(v)), e); }};
const BoundType kReal {SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, [](const Value&) { return sizeof(double); },
                       [](const Value& v, char* e) { return copyFixed(std::get<double>(v), e); }};
const BoundType kTimestamp {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0,
                            [](const Value&) { return sizeof(SQL_TIMESTAMP_STRUCT); },
                            [](const Value& v, char* e) { return copyFixed(timestampOf(std::get<QDateTime>(v)), e); }};
const BoundType kDateTimeText {
    SQL_C_WCHAR, SQL_WVARCHAR, 0, sizeof(SQLWCHAR),
    [](const Value& v) { return (size_t(dateTimeText(v).size()) + 1) * sizeof(SQLWCHAR); },
    [](const Value& v, char* e) {
        const QString s = dateTimeText(v);
        return copyText(s.utf16(), size_t(s.size()), e);
    }};

// By Value alternative; NULL is bound as text, which every driver converts
// to any column type.
const BoundType& boundTypeOf(const Value& value, bool dateTimesAsText, bool utf8Text)
{
    const BoundType& text = utf8Text ? kUtf8Text : kWideText;
    const BoundType* const byAlternative[] = {&text, &text, &kInteger, &kReal,
                                              dateTimesAsText ? &kDateTimeText : &kTimestamp};
    static_assert(std::size(byAlternative) == std::variant_size_v<Value>);
    return *byAlternative[value.index()];
}

// Texts start with room for this many characters, so that short texts that
// follow one another are not rebound each time.
constexpr size_t kInitialTextCharacters = 64;

} // namespace

// One parameter's buffer: an element per row, the rows one after another as
// column-wise parameter arrays want them; a single-row statement has one.
struct Statement::Parameter {
    const BoundType* type = nullptr;
    size_t elementBytes = 0;
    std::vector<char> elements; // the allocator aligns it for any element type
    std::vector<SQLLEN> indicators;
    bool needsBind = true;

    void reserve(const BoundType* bound, size_t bytes, size_t rows)
    {
        type = bound;
        elementBytes = bytes;
        elements.assign(rows * bytes, 0);
        indicators.assign(rows, SQL_NULL_DATA);
        needsBind = true;
    }
    void put(size_t row, const Value& value)
    {
        indicators[row] = value.index() == 0 ? SQLLEN(SQL_NULL_DATA)
                                             : type->fill(value, elements.data() + row * elementBytes);
    }
    SQLRETURN bind(SQLHSTMT statement, int index)
    {
        const SQLULEN columnSize
            = type->charSize ? std::max<SQLULEN>(elementBytes / type->charSize - 1, 1) : type->columnSize;
        needsBind = false;
        return SQLBindParameter(statement, SQLUSMALLINT(index + 1), SQL_PARAM_INPUT, type->cType, type->sqlType,
                                columnSize, 0, elements.data(), SQLLEN(elementBytes), indicators.data());
    }
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
    while (m_parameters.size() <= size_t(index))
        m_parameters.push_back(std::make_unique<Parameter>());
    Parameter& p = *m_parameters[size_t(index)];
    const BoundType& type = boundTypeOf(value, m_dateTimesAsText, m_utf8Text);
    const size_t bytes = type.bytesOf(value);
    if (p.type != &type || bytes > p.elementBytes)
        p.reserve(&type, std::max(bytes, kInitialTextCharacters * type.charSize), 1);
    p.put(0, value);
}

qint64 Statement::execute()
{
    for (size_t i = 0; i < m_parameters.size(); ++i)
        if (m_parameters[i]->needsBind)
            check(m_parameters[i]->bind(m_statement.get(), int(i)), SQL_HANDLE_STMT, m_statement.get(),
                  "binding a parameter");
    const SQLRETURN rc = SQLExecute(m_statement.get());
    if (rc == SQL_NO_DATA)
        return 0;
    check(rc, SQL_HANDLE_STMT, m_statement.get(), nullptr);
    return affectedRows(m_statement.get());
}

namespace {

// A column-wise parameter array of the rows' values; false when a column
// mixes types (the rows then go one at a time).
bool fillColumns(std::vector<Statement::Parameter>& batch, const Value* values, int columns, size_t rows,
                 bool dateTimesAsText, bool utf8Text)
{
    for (int c = 0; c < columns; ++c) {
        const BoundType* type = nullptr;
        size_t bytes = 0;
        for (size_t r = 0; r < rows; ++r) {
            const Value& v = values[r * size_t(columns) + size_t(c)];
            if (v.index() == 0)
                continue;
            const BoundType& own = boundTypeOf(v, dateTimesAsText, utf8Text);
            if (type && type != &own)
                return false;
            type = &own;
            bytes = std::max(bytes, own.bytesOf(v));
        }
        if (!type)
            type = &boundTypeOf(Value(), dateTimesAsText, utf8Text); // all NULL
        batch[size_t(c)].reserve(type, std::max(bytes, type->bytesOf(Value())), rows);
        for (size_t r = 0; r < rows; ++r)
            batch[size_t(c)].put(r, values[r * size_t(columns) + size_t(c)]);
    }
    return true;
}

// Asks for arrays of `rows` parameters; false when the driver would not take them.
bool askForParameterArrays(SQLHSTMT stmt, size_t rows, SQLUSMALLINT* status, SQLULEN* processed)
{
    if (!SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_BIND_TYPE,
                                       reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_PARAM_BIND_BY_COLUMN)), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(rows)), 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0))
        || !SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, processed, 0)))
        return false;
    SQLULEN size = 0;
    // A driver may quietly keep single rows.
    return SQL_SUCCEEDED(SQLGetStmtAttrW(stmt, SQL_ATTR_PARAMSET_SIZE, &size, 0, nullptr)) && size == rows;
}

} // namespace

Statement::BatchResult Statement::executeBatch(const Value* values, int columns, size_t rows)
{
    if (rows == 0 || columns <= 0 || m_dateTimesAsText)
        return BatchResult::Unsupported;
    std::vector<Parameter> batch(static_cast<size_t>(columns));
    if (!fillColumns(batch, values, columns, rows, m_dateTimesAsText, m_utf8Text))
        return BatchResult::Unsupported;

    SQLHSTMT stmt = m_statement.get();
    std::vector<SQLUSMALLINT> status(rows, SQL_PARAM_UNUSED);
    SQLULEN processed = 0;
    // Whatever happens below, the statement goes back to single rows and its
    // single-row buffers are bound anew before their next use.
    const auto restore = qScopeGuard([this] {
        SQLHSTMT h = m_statement.get();
        SQLFreeStmt(h, SQL_RESET_PARAMS);
        SQLSetStmtAttrW(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
        SQLSetStmtAttrW(h, SQL_ATTR_PARAM_STATUS_PTR, nullptr, 0);
        SQLSetStmtAttrW(h, SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr, 0);
        for (auto& p : m_parameters)
            p->needsBind = true;
    });
    if (!askForParameterArrays(stmt, rows, status.data(), &processed))
        return BatchResult::Unsupported;
    for (int c = 0; c < columns; ++c)
        if (!SQL_SUCCEEDED(batch[size_t(c)].bind(stmt, c)))
            return BatchResult::Unsupported;

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
