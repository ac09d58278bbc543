#include "dialect/DatabaseKind.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <iterator>

namespace tessera {

namespace {

enum class Match {
    Exact,           // the whole name, case-sensitive
    Contains,        // anywhere in the name, case-sensitive
    ContainsAnyCase, // anywhere in the name, any letter case
};

struct DriverRule {
    const char* text = nullptr; // nullptr: no rule
    Match match = Match::Exact;
};

// Everything that differs between the kinds. Literal patterns take the
// value as %1; add-days patterns the column as %1, the days as %2 and the
// days with an explicit sign as %3; probes the table name as %s.
struct Dialect {
    DatabaseKind kind;
    std::array<DriverRule, 2> drivers;
    const char* dsnType;
    char16_t delimiter;  // what would end the literal early
    bool normalise;      // zero-pad: the value is compared as text or parsed strictly
    const char* dateLiteral;
    const char* timeLiteral;
    const char* dateTimeLiteral;
    const char* addDays;
    const char* tableProbe;
    // The catalogue keeps unquoted names in capitals (Oracle): the probe
    // asks for the name as the unquoted statements create and use it.
    bool probesInCapitals = false;
};

// Rows in kind order; the rules of the field's three kinds come first and are tried first.
constexpr Dialect kDialects[] = {
    {DatabaseKind::SqlServer,
     {{{"SQL Server", Match::Exact}, {}}},
     "SQL SERVER", u'\'', false,
     "'%1'", "'%1'", "'%1'",
     "%1%3",
     "SELECT name FROM sysobjects WHERE name ='%s' and info=5"},
    {DatabaseKind::Access,
     {{{"Microsoft Access Driver (*.mdb)", Match::Exact}, {}}},
     "ACCESS", u'#', false,
     "#%1#", "#%1#", "#%1#",
     "%1%3",
     "SELECT * FROM MSysObjects WHERE Name='%s' and Type=1"},
    {DatabaseKind::Oracle,
     {{{"Oracle", Match::Contains}, {}}},
     "ORACLE", u'\'', false,
     "TO_DATE('%1', 'YYYY-MM-DD')", "TO_DATE('%1', 'HH24:MI:SS')",
     "TO_DATE('%1', 'YYYY-MM-DD HH24:MI:SS')",
     "%1%3",
     "SELECT * FROM TAB WHERE TNAME='%s' AND TABTYPE='TABLE'", true},
    // SQLite keeps date-times as text: one zero-padded form keeps comparisons right.
    {DatabaseKind::SQLite,
     {{{"SQLite", Match::ContainsAnyCase}, {}}},
     "SQLITE", u'\'', true,
     "'%1 00:00:00'", "'1899-12-30 %1'", "'%1'",
     // '+-1 days' makes SQLite return NULL, so the sign is the number's own.
     "datetime(%1,'%3 days')",
     "SELECT name FROM sqlite_master WHERE type='table' AND name='%s' COLLATE NOCASE"},
    {DatabaseKind::PostgreSQL,
     {{{"PostgreSQL", Match::ContainsAnyCase}, {"psqlodbc", Match::ContainsAnyCase}}},
     "POSTGRESQL", u'\'', true,
     "'%1'", "'1899-12-30 %1'", "'%1'",
     "%1+(%2)*INTERVAL '1 day'",
     "SELECT table_name FROM information_schema.tables WHERE table_schema=current_schema() "
     "AND lower(table_name)=lower('%s')"},
    {DatabaseKind::MySql,
     {{{"MariaDB", Match::ContainsAnyCase}, {"MySQL", Match::ContainsAnyCase}}},
     "MYSQL", u'\'', true,
     "'%1'", "'1899-12-30 %1'", "'%1'",
     "%1+INTERVAL %2 DAY",
     "SELECT table_name FROM information_schema.tables WHERE table_schema=DATABASE() "
     "AND lower(table_name)=lower('%s')"},
};

const Dialect* dialectOf(DatabaseKind kind)
{
    const auto found = std::find_if(std::begin(kDialects), std::end(kDialects),
                                    [kind](const Dialect& d) { return d.kind == kind; });
    return found == std::end(kDialects) ? nullptr : found;
}

bool matches(const DriverRule& rule, const QString& driverName)
{
    const QString text = QString::fromLatin1(rule.text);
    switch (rule.match) {
    case Match::Exact:
        return driverName == text;
    case Match::Contains:
        return driverName.contains(text, Qt::CaseSensitive);
    case Match::ContainsAnyCase:
        return driverName.contains(text, Qt::CaseInsensitive);
    }
    return false;
}

// Fills %1..%9 with the arguments in one pass, so that an argument is
// never scanned for placeholders and absent numbers are simply missing
// (QString::arg() would renumber them).
QString substitute(const char* pattern, std::initializer_list<QString> args)
{
    const QString text = QString::fromLatin1(pattern);
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'%' && i + 1 < text.size() && text[i + 1] >= u'1' && text[i + 1] <= u'9') {
            const std::size_t n = std::size_t(text[i + 1].unicode() - u'1');
            if (n < args.size())
                out += *(args.begin() + n);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// "Holds" means the first occurrence is after position 0.
bool holds(const QString& text, QChar c)
{
    return text.indexOf(c) > 0;
}

bool isAsciiDigits(const QString& text)
{
    return !text.isEmpty()
        && std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Pads the three all-digit fields of "a-b-c" or "a:b:c" to their widths; a
// part of any other shape is left alone. A fraction after the seconds stays.
QString padFields(const QString& part, QChar separator, std::array<int, 3> widths)
{
    const qsizetype dot = separator == u':' ? part.indexOf(u'.') : -1;
    const QString fields = dot < 0 ? part : part.left(dot);
    const QString fraction = dot < 0 ? QString() : part.mid(dot);
    QStringList list = fields.split(separator);
    if (list.size() != 3)
        return part;
    for (qsizetype i = 0; i < 3; ++i) {
        QString& f = list[i];
        if (!isAsciiDigits(f))
            return part;
        f = f.rightJustified(widths[size_t(i)], u'0');
    }
    return list.join(separator) + fraction;
}

QString padDate(const QString& date)
{
    return padFields(date, u'-', {4, 2, 2});
}

QString padTime(const QString& time)
{
    return padFields(time, u':', {2, 2, 2});
}

// Keeps a malformed text inside its literal.
QString escaped(QString text, char16_t delimiter)
{
    if (delimiter == u'\'')
        return text.replace(u'\'', QStringLiteral("''"));
    // An Access #...# literal has no escape for '#'.
    return text.remove(QChar(delimiter));
}

} // namespace

std::optional<DatabaseKind> kindOfDriverName(const QString& driverName)
{
    for (const Dialect& d : kDialects) {
        for (const DriverRule& rule : d.drivers) {
            if (rule.text && matches(rule, driverName))
                return d.kind;
        }
    }
    return std::nullopt;
}

QString dsnTypeText(DatabaseKind kind)
{
    const Dialect* d = dialectOf(kind);
    return d ? QString::fromLatin1(d->dsnType) : QString();
}

std::optional<DatabaseKind> kindOfDsnTypeText(const QString& text)
{
    const QString wanted = text.trimmed();
    for (const Dialect& d : kDialects) {
        if (wanted.compare(QString::fromLatin1(d.dsnType), Qt::CaseInsensitive) == 0)
            return d.kind;
    }
    return std::nullopt;
}

QString FormatDateLiteral(DatabaseKind kind, const QString& text)
{
    const Dialect* d = dialectOf(kind);
    if (!d)
        return QString();

    const bool hasDash = holds(text, u'-');
    const bool hasColon = holds(text, u':');
    const char* pattern = nullptr;
    QString value = text;
    if (hasDash && hasColon) {
        pattern = d->dateTimeLiteral;
        if (d->normalise) {
            const qsizetype blank = text.indexOf(u' ');
            if (blank > 0)
                value = padDate(text.left(blank)) + u' ' + padTime(text.mid(blank + 1));
        }
    } else if (!hasDash) {
        pattern = d->timeLiteral;
        if (d->normalise)
            value = padTime(text);
    } else {
        pattern = d->dateLiteral;
        if (d->normalise)
            value = padDate(text);
    }
    return substitute(pattern, {escaped(value, d->delimiter)});
}

QString addDaysExpression(DatabaseKind kind, const QString& column, int days)
{
    const Dialect* d = dialectOf(kind);
    if (!d)
        return QString();
    const QString plain = QString::number(days);
    const QString withSign = days < 0 ? plain : u'+' + plain;
    return substitute(d->addDays, {column, plain, withSign});
}

QString tableProbeSql(DatabaseKind kind, const QString& tableName)
{
    const Dialect* d = dialectOf(kind);
    if (!d)
        return QString();
    QString name = d->probesInCapitals ? tableName.toUpper() : tableName;
    name.replace(u'\'', QStringLiteral("''"));
    return QString::fromLatin1(d->tableProbe).replace(QStringLiteral("%s"), name);
}

QString quotedSqlText(const QString& text)
{
    QString inner = text;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

} // namespace tessera
