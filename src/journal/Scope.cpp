#include "journal/Scope.h"
#include "text/DateTexts.h"

#include "schema/Schema.h"

#include <QDateTime>
#include <QRegularExpression>

namespace tessera::journal {

namespace {

bool isDateTimeText(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}( \\d{2}:\\d{2}:\\d{2})?|\\d{2}:\\d{2}:\\d{2})$"));
    return pattern.match(text).hasMatch();
}

bool isComparable(const Value& v)
{
    if (const auto* t = std::get_if<DateTimeText>(&v))
        return isDateTimeText(t->text);
    return std::holds_alternative<qint64>(v) || std::holds_alternative<QString>(v);
}

QString termProblem(const ScopeTerm& term)
{
    if (!isSqlName(term.column))
        return QStringLiteral("列名“%1”无效").arg(term.column);
    const size_t n = term.values.size();
    switch (term.comparison) {
    case Comparison::Equal:
    case Comparison::AtLeast:
    case Comparison::Below:
    case Comparison::AtMost:
        if (n != 1 || !isComparable(term.values[0]))
            return QStringLiteral("列%1的比较值无效").arg(term.column);
        return QString();
    case Comparison::AnyOf:
        if (n == 0)
            return QStringLiteral("列%1的取值列表为空").arg(term.column);
        for (const Value& v : term.values)
            if (!isComparable(v))
                return QStringLiteral("列%1的取值无效").arg(term.column);
        return QString();
    case Comparison::InTelemetryCatalogue:
        if (n > 1 || (n == 1 && !std::holds_alternative<QString>(term.values[0])))
            return QStringLiteral("列%1的厂站无效").arg(term.column);
        return QString();
    }
    return QStringLiteral("列%1的比较方式无效").arg(term.column);
}

QString literal(DatabaseKind kind, const Value& v)
{
    if (const auto* i = std::get_if<qint64>(&v))
        return QString::number(*i);
    if (const auto* t = std::get_if<DateTimeText>(&v))
        return FormatDateLiteral(kind, t->text);
    return quotedSqlText(std::get<QString>(v));
}

QString termSql(DatabaseKind kind, const ScopeTerm& term)
{
    switch (term.comparison) {
    case Comparison::Equal:
        return term.column + u'=' + literal(kind, term.values[0]);
    case Comparison::AtLeast:
        return term.column + QStringLiteral(">=") + literal(kind, term.values[0]);
    case Comparison::Below:
        return term.column + u'<' + literal(kind, term.values[0]);
    case Comparison::AtMost:
        return term.column + QStringLiteral("<=") + literal(kind, term.values[0]);
    case Comparison::AnyOf: {
        QStringList each;
        for (const Value& v : term.values)
            each << term.column + u'=' + literal(kind, v);
        return u'(' + each.join(QStringLiteral(" OR ")) + u')';
    }
    case Comparison::InTelemetryCatalogue:
        if (term.values.empty())
            return QStringLiteral("%1 IN(SELECT TagID FROM EqpTagInfo WHERE TagType='%2')")
                .arg(term.column, kTagTypeTelemetry);
        return QStringLiteral("%1 IN(SELECT TagID FROM EqpTagInfo WHERE StationName=%2 AND TagType='%3')")
            .arg(term.column, quotedSqlText(std::get<QString>(term.values[0])), kTagTypeTelemetry);
    }
    return QString();
}

QString joined(DatabaseKind kind, const std::vector<ScopeClause>& clauses, size_t from, size_t to)
{
    if (to - from == 1)
        return clauseSql(kind, clauses[from]);
    QStringList parts;
    for (size_t i = from; i < to; ++i)
        parts << u'(' + clauseSql(kind, clauses[i]) + u')';
    return parts.join(QStringLiteral(" OR "));
}

// ---- Reading in parts -------------------------------------------------------

QString textOf(const Value& v)
{
    if (const auto* t = std::get_if<DateTimeText>(&v))
        return t->text;
    const auto* s = std::get_if<QString>(&v);
    return s ? *s : QString();
}

std::optional<QDateTime> wallClockOf(const Value& v)
{
    const QString text = textOf(v);
    QDateTime at = QDateTime::fromString(text, dateTimeFormat());
    if (!at.isValid() && text.size() == 10)
        at = QDateTime(QDate::fromString(text, QStringLiteral("yyyy-MM-dd")), QTime(0, 0));
    if (!at.isValid())
        return std::nullopt;
    at.setTimeSpec(Qt::UTC); // wall-clock arithmetic: no daylight saving in between
    return at;
}

// A bound at another instant, in the form of `like` (a date, or a date and
// time; a date-time value or a text).
Value boundLike(const Value& like, const QDateTime& at)
{
    const QString text = at.toString(textOf(like).size() == 10 ? QStringLiteral("yyyy-MM-dd")
                                                                : dateTimeFormat());
    return std::holds_alternative<DateTimeText>(like) ? Value(DateTimeText{text}) : Value(text);
}

// The clause cut along its range [from, until) of one column into hours, or
// days for a column of dates; the clause itself when it has no such range
// or a short one.
std::vector<ScopeClause> slices(const ScopeClause& clause)
{
    std::optional<size_t> from, until;
    for (size_t i = 0; i < clause.terms.size(); ++i) {
        if (clause.terms[i].comparison == Comparison::AtLeast)
            from = i;
        else if (clause.terms[i].comparison == Comparison::Below)
            until = i;
    }
    if (!from || !until || clause.terms[*from].column.compare(clause.terms[*until].column, Qt::CaseInsensitive) != 0)
        return {clause};
    const Value& first = clause.terms[*from].values[0];
    const auto start = wallClockOf(first);
    const auto end = wallClockOf(clause.terms[*until].values[0]);
    const qint64 step = textOf(first).size() == 10 ? 86400 : 3600;
    if (!start || !end || start->secsTo(*end) <= step)
        return {clause};
    std::vector<ScopeClause> parts;
    for (QDateTime at = *start; at < *end; at = at.addSecs(step)) {
        ScopeClause part = clause;
        part.terms[*from].values = {boundLike(first, at)};
        if (at.addSecs(step) < *end)
            part.terms[*until].values = {boundLike(first, at.addSecs(step))};
        parts.push_back(std::move(part));
    }
    return parts;
}

// ---- The journal's encoding ----------------------------------------------------

// The scope flattened into one row: table, clause count, and per clause its
// term count and per term column, comparison, value count, values.
Row flattened(const UnitScope& scope)
{
    Row row{scope.table, qint64(scope.clauses.size())};
    for (const ScopeClause& clause : scope.clauses) {
        row.emplace_back(qint64(clause.terms.size()));
        for (const ScopeTerm& term : clause.terms) {
            row.emplace_back(term.column);
            row.emplace_back(qint64(term.comparison));
            row.emplace_back(qint64(term.values.size()));
            row.insert(row.end(), term.values.begin(), term.values.end());
        }
    }
    return row;
}

class FlatReader {
public:
    explicit FlatReader(const Row& row) : m_row(row) {}
    // A count can never exceed the values left: a damaged one is refused
    // before anything is reserved for it.
    std::optional<qint64> count() { return integer(qint64(m_row.size() - m_at - 1)); }
    std::optional<qint64> integer(qint64 atMost)
    {
        if (m_at >= m_row.size())
            return std::nullopt;
        const auto* n = std::get_if<qint64>(&m_row[m_at++]);
        if (!n || *n < 0 || *n > atMost)
            return std::nullopt;
        return *n;
    }
    std::optional<QString> text()
    {
        if (m_at >= m_row.size() || !std::holds_alternative<QString>(m_row[m_at]))
            return std::nullopt;
        return std::get<QString>(m_row[m_at++]);
    }
    std::optional<Value> value()
    {
        if (m_at >= m_row.size())
            return std::nullopt;
        return m_row[m_at++];
    }
    bool atEnd() const { return m_at == m_row.size(); }

private:
    const Row& m_row;
    size_t m_at = 0;
};

std::optional<ScopeTerm> readTerm(FlatReader& in)
{
    ScopeTerm term;
    const auto column = in.text();
    const auto comparison = in.integer(qint64(Comparison::InTelemetryCatalogue));
    const auto values = comparison ? in.count() : std::nullopt;
    if (!column || !values)
        return std::nullopt;
    term.column = *column;
    term.comparison = Comparison(*comparison);
    for (qint64 v = 0; v < *values; ++v)
        term.values.push_back(*in.value());
    return term;
}

} // namespace

bool isSqlName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,127}$"));
    return pattern.match(name).hasMatch();
}

ScopeTerm equalTo(const QString& column, Value value)
{
    return {column, Comparison::Equal, {std::move(value)}};
}

ScopeClause rangeClause(const QString& column, Value from, Value until)
{
    return {{{column, Comparison::AtLeast, {std::move(from)}}, {column, Comparison::Below, {std::move(until)}}}};
}

QString scopeProblem(const UnitScope& scope)
{
    if (!isSqlName(scope.table))
        return QStringLiteral("数据表名“%1”无效").arg(scope.table);
    for (const ScopeClause& clause : scope.clauses)
        for (const ScopeTerm& term : clause.terms)
            if (QString problem = termProblem(term); !problem.isEmpty())
                return problem;
    return QString();
}

QString clauseSql(DatabaseKind kind, const ScopeClause& clause)
{
    if (clause.terms.empty())
        return QStringLiteral("1=1");
    QStringList parts;
    for (const ScopeTerm& term : clause.terms)
        parts << termSql(kind, term);
    return parts.join(QStringLiteral(" AND "));
}

std::vector<QString> scopeConditions(DatabaseKind kind, const UnitScope& scope, size_t clausesPerCondition)
{
    std::vector<QString> conditions;
    const size_t per = std::max<size_t>(clausesPerCondition, 1);
    for (size_t from = 0; from < scope.clauses.size(); from += per)
        conditions.push_back(joined(kind, scope.clauses, from, std::min(from + per, scope.clauses.size())));
    return conditions;
}

std::vector<QString> readingConditions(DatabaseKind kind, const UnitScope& scope)
{
    UnitScope parts{scope.table, {}};
    for (const ScopeClause& clause : scope.clauses)
        for (ScopeClause& part : slices(clause))
            parts.clauses.push_back(std::move(part));
    // A sliced range is read a slice at a time; selected rows in groups.
    const bool sliced = parts.clauses.size() > scope.clauses.size();
    return scopeConditions(kind, parts, sliced ? 1 : 100);
}

QByteArray encodeScope(const UnitScope& scope)
{
    return encodeRow(flattened(scope));
}

std::optional<UnitScope> decodeScope(const QByteArray& bytes)
{
    const std::optional<Row> row = decodeRow(bytes.constData(), bytes.size());
    if (!row)
        return std::nullopt;
    FlatReader in(*row);
    UnitScope scope;
    const auto table = in.text();
    const auto clauses = in.count();
    if (!table || !clauses)
        return std::nullopt;
    scope.table = *table;
    for (qint64 c = 0; c < *clauses; ++c) {
        const auto terms = in.count();
        if (!terms)
            return std::nullopt;
        ScopeClause clause;
        for (qint64 t = 0; t < *terms; ++t) {
            auto term = readTerm(in);
            if (!term)
                return std::nullopt;
            clause.terms.push_back(std::move(*term));
        }
        scope.clauses.push_back(std::move(clause));
    }
    if (!in.atEnd() || !scopeProblem(scope).isEmpty())
        return std::nullopt;
    return scope;
}

} // namespace tessera::journal
