#include "db/Statement.h"

#include "db/WideText.h"

#include <sqlext.h>

namespace tessera::db {

struct Statement::Parameter {
    size_t kind = size_t(-1); // index of the Value alternative bound last
    size_t boundCapacity = 0; // characters bound for text
    std::vector<SQLWCHAR> text;
    SQLBIGINT integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp {};
    SQLLEN indicator = SQL_NULL_DATA;
    bool needsBind = true;
};

Statement::Statement(StatementHandle statement, const QString& sql, bool dateTimesAsText)
    : m_statement(std::move(statement))
    , m_dateTimesAsText(dateTimesAsText)
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
        const QDate date = t->date();
        const QTime time = t->time();
        p.timestamp = {SQLSMALLINT(date.year()), SQLUSMALLINT(date.month()), SQLUSMALLINT(date.day()),
                       SQLUSMALLINT(time.hour()), SQLUSMALLINT(time.minute()), SQLUSMALLINT(time.second()), 0};
        p.indicator = 0;
    }
}

void Statement::bind(int index, Parameter& p)
{
    SQLSMALLINT cType = SQL_C_WCHAR, sqlType = SQL_WVARCHAR, digits = 0;
    SQLULEN columnSize = 0;
    SQLPOINTER buffer = nullptr;
    SQLLEN bufferLength = 0;
    switch (p.kind) {
    case 0: // NULL: bound as text, which every driver converts to any column type
    case 1:
        if (p.text.empty())
            p.text.resize(64);
        buffer = p.text.data();
        bufferLength = SQLLEN(p.text.size() * sizeof(SQLWCHAR));
        columnSize = std::max<SQLULEN>(p.text.size() - 1, 1);
        break;
    case 2:
        cType = SQL_C_SBIGINT;
        sqlType = SQL_BIGINT;
        buffer = &p.integer;
        break;
    case 3:
        cType = SQL_C_DOUBLE;
        sqlType = SQL_DOUBLE;
        buffer = &p.real;
        break;
    case 4:
        cType = SQL_C_TYPE_TIMESTAMP;
        sqlType = SQL_TYPE_TIMESTAMP;
        columnSize = 19;
        buffer = &p.timestamp;
        bufferLength = sizeof(p.timestamp);
        break;
    }
    check(SQLBindParameter(m_statement.get(), SQLUSMALLINT(index + 1), SQL_PARAM_INPUT, cType, sqlType, columnSize,
                           digits, buffer, bufferLength, &p.indicator),
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

} // namespace tessera::db
