#include "copy/CopyRun.h"

#include "app/DecimalText.h"
#include "db/BulkWriter.h"
#include "db/DataSourceCatalogue.h"
#include "db/DbError.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"

#include <cmath>
#include <optional>

namespace tessera::copy {

namespace {

const QString kNoticeCaption = QStringLiteral("系统提示");
constexpr qint64 kProgressIntervalMs = 100;
constexpr int kRowsBetweenPulses = 64;

// printf's "%f" and "%0.2f" as the value the target receives: the literal
// text would have been parsed back into the nearest double of its digits.
double roundedTo(double value, int decimals)
{
    const double scale = decimals == 2 ? 1e2 : 1e6;
    if (!std::isfinite(value) || std::fabs(value) * scale > 9e15)
        return value;
    return std::round(value * scale) / scale;
}

double asSingle(const db::TypedNumber& n)
{
    return n.isNull() ? 0.0 : double(float(n.value));
}

QString withoutLeadingBlanks(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    return i == 0 ? text : text.mid(i);
}

// "yyyy-mm-dd hh:mm:ss" with digits where digits belong.
bool isCanonicalDateTime(const QString& text)
{
    if (text.size() != 19)
        return false;
    for (qsizetype i = 0; i < 19; ++i) {
        const QChar c = text[i];
        const bool ok = i == 4 || i == 7 ? c == u'-' : i == 10 ? c == u' ' : i == 13 || i == 16 ? c == u':'
                                                                                          : c.isDigit();
        if (!ok)
            return false;
    }
    return true;
}

// hh:mm:ss of an event time: the eight characters from position 11 of a
// date-time rendering; a bare time of day is taken as it is.
db::Value eventTime(const std::optional<QString>& text, bool targetTakesText)
{
    if (!text)
        return std::monostate{};
    QString hms = *text;
    if (hms.size() >= 19)
        hms = hms.mid(11, 8);
    else if (hms.size() > 8 && hms[2] == u':')
        hms = hms.left(8);
    if (targetTakesText && isCanonicalDateTime(QStringLiteral("1899-12-30 ") + hms))
        return QStringLiteral("1899-12-30 ") + hms;
    const QTime time = QTime::fromString(hms, QStringLiteral("hh:mm:ss"));
    if (!time.isValid())
        return hms; // the target judges it, as it would judge the literal
    return QDateTime(QDate(1899, 12, 30), time);
}

// Telemetry instants: leading blanks go, and a fraction of a second when
// there is one (older servers render ".000"). A target that keeps
// date-times as text takes the canonical text as it is: no parse, no format.
db::Value sampleTime(const QString& rendered, bool targetTakesText)
{
    QString text = withoutLeadingBlanks(rendered);
    const qsizetype dot = text.indexOf(u'.', 10);
    if (dot > 0)
        text.truncate(dot);
    if (targetTakesText && isCanonicalDateTime(text))
        return text;
    if (auto parsed = db::parseOdbcDateTime(text); parsed && text.size() >= 19)
        return *parsed;
    return text;
}

QString connectString(const CopyDataSource& side)
{
    auto value = [](QString v) {
        if (v.contains(u';') || v.contains(u'{') || v.contains(u'}') || v.startsWith(u' ') || v.endsWith(u' '))
            return QLatin1Char('{') + v.replace(QLatin1String("}"), QLatin1String("}}")) + QLatin1Char('}');
        return v;
    };
    return QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(value(side.dsn), value(side.user), value(side.password));
}

std::vector<EventTableCopy> makeEventTableCopies()
{
    auto describe = [](SchemaTable schemaTable, const QString& statusAtStart, const QString& statusAfterDelete,
                       const QString& insertFailure) {
        const TableLayout& layout = tableLayout(schemaTable);
        EventTableCopy t{layout.name, statusAtStart, statusAfterDelete, insertFailure, layout.columnNames(), {}};
        for (const Column& c : layout.columns) {
            switch (c.kind) {
            case ValueKind::Date:
                t.conversions.push_back(Conversion::Date);
                break;
            case ValueKind::Time:
                t.conversions.push_back(Conversion::Time);
                break;
            case ValueKind::Integer:
                t.conversions.push_back(Conversion::Integer);
                break;
            case ValueKind::RealSingle:
                t.conversions.push_back(Conversion::Single);
                break;
            case ValueKind::Real:
                t.conversions.push_back(Conversion::SingleFromText);
                break;
            default:
                t.conversions.push_back(Conversion::Text);
                break;
            }
        }
        return t;
    };
    const QString noTable = QStringLiteral("不能处理%1数据表!");
    std::vector<EventTableCopy> tables;
    tables.push_back(describe(SchemaTable::SOE, kStatusStarted, {}, noTable.arg(QStringLiteral("SOE"))));
    tables.push_back(describe(SchemaTable::Fault, {}, kStatusBegun, noTable.arg(QStringLiteral("Fault"))));
    EventTableCopy alarms =
        describe(SchemaTable::LimitAlarm, kStatusStarted, {}, noTable.arg(QStringLiteral("LimitAlarm")));
    // Alarm values go with two decimals; the operator keeps its leading blanks.
    alarms.conversions[9] = alarms.conversions[10] = Conversion::SingleTwo;
    alarms.conversions[11] = Conversion::TextAsIs;
    tables.push_back(alarms);
    tables.push_back(describe(SchemaTable::RSChange, kStatusStarted, {}, noTable.arg(QStringLiteral("RSChange"))));
    tables.push_back(describe(SchemaTable::RSSummary, kStatusFailed, {}, noTable.arg(QStringLiteral("RSSummary"))));
    tables.push_back(
        describe(SchemaTable::SDaySummary, kStatusFailed, {}, noTable.arg(QStringLiteral("SDaySummary"))));
    tables.push_back(describe(SchemaTable::Event, kStatusStarted, {}, QStringLiteral("不能处理Event据表!")));
    return tables;
}

QString placeholders(int n)
{
    QStringList marks;
    for (int i = 0; i < n; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1Char(','));
}

// Rows per committed chunk: SQLite commits are cheap to batch big; a server
// keeps the chunk short so that the window is never frozen for long.
int chunkRowsFor(DatabaseKind kind)
{
    return kind == DatabaseKind::SQLite ? 4000 : 1000;
}

} // namespace

const std::vector<EventTableCopy>& eventTableCopies()
{
    static const std::vector<EventTableCopy> tables = makeEventTableCopies();
    return tables;
}

const EventTableCopy* eventTableCopy(const QString& table)
{
    for (const EventTableCopy& t : eventTableCopies())
        if (t.table == table)
            return &t;
    return nullptr;
}

std::vector<db::Value> convertEventRow(const EventTableCopy& table, db::ResultSet& row, bool targetTakesText)
{
    std::vector<db::Value> values;
    values.reserve(table.conversions.size());
    for (int i = 0; i < int(table.conversions.size()); ++i) {
        switch (table.conversions[size_t(i)]) {
        case Conversion::Date: {
            if (targetTakesText) {
                const std::optional<QString> text = row.text(i);
                if (text && text->size() >= 10) {
                    const QString midnight = text->left(10) + QStringLiteral(" 00:00:00");
                    if (isCanonicalDateTime(midnight)) {
                        values.emplace_back(midnight);
                        break;
                    }
                }
            }
            const auto day = row.dateTime(i);
            if (day)
                values.emplace_back(QDateTime(day->date(), QTime(0, 0)));
            else
                values.emplace_back(std::monostate{});
            break;
        }
        case Conversion::Time:
            values.push_back(eventTime(row.text(i), targetTakesText));
            break;
        case Conversion::Integer:
            values.emplace_back(qint64(decimalInteger(row.string(i))));
            break;
        case Conversion::Text:
            values.emplace_back(withoutLeadingBlanks(row.string(i)));
            break;
        case Conversion::TextAsIs:
            values.emplace_back(row.string(i));
            break;
        case Conversion::Single:
            values.emplace_back(roundedTo(asSingle(row.number(i)), 6));
            break;
        case Conversion::SingleTwo:
            values.emplace_back(roundedTo(asSingle(row.number(i)), 2));
            break;
        case Conversion::SingleFromText:
            values.emplace_back(roundedTo(double(float(decimalReal(row.string(i)))), 6));
            break;
        }
    }
    return values;
}

CopyRun::CopyRun(CopySettings& settings, const QDateTime& start, const QDateTime& end, CopyReport& report)
    : m_settings(settings)
    , m_start(start)
    , m_end(end)
    , m_report(report)
{
}

bool CopyRun::LookUpConnectionKinds()
{
    auto lookUp = [this](const CopyDataSource& side, const QString& missing, DatabaseKind& kind) {
        std::optional<QString> driver;
        int unreadable = 0;
        for (auto scope : {db::DataSourceScope::System, db::DataSourceScope::User}) {
            try {
                driver = db::driverOfDataSource(side.dsn, scope);
            } catch (const db::DbError&) {
                ++unreadable;
            }
            if (driver)
                break;
        }
        if (!driver) {
            m_report.message(unreadable == 2 ? QStringLiteral("错误:无法读取注册表中的信息") : missing);
            return false;
        }
        const auto found = kindOfDriverName(*driver);
        if (!found) {
            m_report.message(QStringLiteral("错误:数据源“%1”的驱动程序“%2”不是可识别的数据库类型!")
                                 .arg(side.dsn, *driver));
            return false;
        }
        kind = *found;
        return true;
    };
    return lookUp(m_settings.target, QStringLiteral("错误：无法查询备数据源的注册信息"), m_settings.target.kind)
        && lookUp(m_settings.source, QStringLiteral("错误：无法查询主数据源的注册信息"), m_settings.source.kind);
}

bool CopyRun::OpenCopyConnections()
{
    auto open = [this](const CopyDataSource& side, db::Connection& connection, const QString& cannotOpen,
                       const QString& accessFailed) {
        connection.close();
        try {
            connection = db::Connection::open(connectString(side));
            return true;
        } catch (const db::DbError& error) {
            // The driver manager's own errors: the data source or its driver is unknown.
            m_report.message(error.isDriverManagerError() ? cannotOpen : accessFailed, kNoticeCaption);
            connection.close();
            return false;
        }
    };
    return open(m_settings.target, m_target, QStringLiteral("新版本数据源不能打开,请正确配置数据源"),
                QStringLiteral("访问新版本数据源失败,请正确配置数据源"))
        && open(m_settings.source, m_source, QStringLiteral("旧版本数据库不能打开,请正确配置数据源"),
                QStringLiteral("访问旧版本数据库失败,请正确配置数据源"));
}

bool CopyRun::RunCopy(const QStringList& chosenTables)
{
    if (!OpenCopyConnections())
        return false;
    return copyTables(chosenTables);
}

void CopyRun::closeConnections()
{
    m_target.close();
    m_source.close();
}

void CopyRun::attach(db::Connection target, DatabaseKind targetKind, db::Connection source, DatabaseKind sourceKind)
{
    m_target = std::move(target);
    m_source = std::move(source);
    m_settings.target.kind = targetKind;
    m_settings.source.kind = sourceKind;
}

bool CopyRun::copyTables(const QStringList& chosenTables)
{
    m_runClock = QDateTime::currentDateTime();
    m_tablesTotal = int(chosenTables.size());
    m_tablesDone = 0;
    m_stopped = false;
    m_report.progress(0, m_tablesTotal, 0);
    m_sinceProgress.start();
    // The last chosen first: of a full selection Event first, Tag0101 last.
    for (qsizetype i = chosenTables.size() - 1; i >= 0; --i) {
        const QString& name = chosenTables[i];
        if (name.contains(QLatin1String("Tag"))) {
            if (CopyTelemetryDay(name) == TelemetryOutcome::Abort)
                return false;
        } else if (const EventTableCopy* table = eventTableCopy(name)) {
            copyEventTable(*table);
            if (m_stopped)
                return false;
        }
        ++m_tablesDone;
        m_report.progress(m_tablesDone, m_tablesTotal, 0);
        m_sinceProgress.restart();
    }
    return true;
}

bool CopyRun::pulse(int row, qint64 count, double fraction)
{
    if (!m_sinceProgress.isValid() || m_sinceProgress.elapsed() >= kProgressIntervalMs) {
        m_sinceProgress.restart();
        m_report.setCell(row, CopyColumn::Count, QString::number(count));
        m_report.progress(m_tablesDone, m_tablesTotal, std::clamp(fraction, 0.0, 1.0));
    }
    if (m_report.stopRequested()) {
        m_stopped = true;
        return false;
    }
    return true;
}

qint64 CopyRun::countRows(const QString& sql)
{
    try {
        db::ResultSet rs = m_source.query(sql);
        return rs.next() ? rs.string(0).toLongLong() : -1;
    } catch (const db::DbError&) {
        return -1; // only the progress estimate suffers
    }
}

void CopyRun::copyEventTable(const EventTableCopy& t)
{
    const int row = copyTableRow(t.table);
    struct Ended {
        CopyReport& report;
        int row;
        ~Ended() { report.tableEnded(row); }
    } ended{m_report, row};
    auto setStatus = [&](const QString& status) { m_report.setCell(row, CopyColumn::Status, status); };

    if (!t.statusAtStart.isEmpty())
        setStatus(t.statusAtStart);
    auto day = [](const QDate& d) { return QString::asprintf("%04d-%02d-%02d", d.year(), d.month(), d.day()); };
    try {
        m_target.execute(QStringLiteral("DELETE FROM %1 WHERE ADate>=%2 AND ADate<=%3")
                             .arg(t.table, targetLiteral(day(m_start.date())), targetLiteral(day(m_end.date()))));
    } catch (const db::DbError&) {
        m_report.message(QStringLiteral("删除重复导入的%1数据失败!").arg(t.table));
        return;
    }
    if (!t.statusAfterDelete.isEmpty())
        setStatus(t.statusAfterDelete);

    // Only the range just cleared is read, so no run duplicates a row.
    const QString where = QStringLiteral(" WHERE ADate>=%1 AND ADate<=%2")
                              .arg(sourceLiteral(day(m_start.date())), sourceLiteral(day(m_end.date())));
    const qint64 expected = countRows(QStringLiteral("SELECT COUNT(*) FROM ") + t.table + where);
    const int columns = int(t.columns.size());
    const QString insertSql = QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                  .arg(t.table, t.columns.join(QLatin1Char(',')), placeholders(columns));

    std::optional<db::BulkWriter> writer;
    bool insertFailed = false;
    auto finishWriter = [&] {
        if (!writer)
            return;
        try {
            writer->finish();
        } catch (const db::DbError&) {
            insertFailed = true;
        }
        insertFailed = insertFailed || writer->stopped();
        writer.reset();
    };

    qint64 count = 0;
    try {
        db::ResultSet rs = m_source.query(QStringLiteral("SELECT * FROM ") + t.table + where);
        while (rs.next()) {
            std::vector<db::Value> values = convertEventRow(t, rs, m_target.bindsDateTimesAsText());
            if (!writer) {
                if (!m_target.isOpen()) {
                    m_report.message(QStringLiteral("目的数据库没有打开!"));
                    setStatus(kStatusFailed);
                    return;
                }
                try {
                    writer.emplace(m_target, insertSql, columns, chunkRowsFor(m_settings.target.kind));
                    writer->setFailureHandler(
                        [](qint64, const db::DbError&) { return db::BulkWriter::OnFailure::Stop; });
                } catch (const db::DbError&) {
                    insertFailed = true;
                    break;
                }
            }
            ++count;
            try {
                if (!writer->addRow(std::move(values))) {
                    insertFailed = true;
                    break;
                }
            } catch (const db::DbError&) {
                insertFailed = true;
                break;
            }
            if (count % kRowsBetweenPulses == 0
                && !pulse(row, count, expected > 0 ? double(count) / double(expected) : 0.0))
                break;
        }
    } catch (const db::DbError& error) {
        finishWriter();
        m_report.message(QStringLiteral("处理%1表出错:%2").arg(t.table, error.message()));
        m_report.setCell(row, CopyColumn::Count, QString::number(count));
        setStatus(kStatusFailed);
        return;
    }
    finishWriter();
    m_report.setCell(row, CopyColumn::Count, QString::number(count));
    if (insertFailed) {
        m_report.message(t.insertFailureText);
        setStatus(kStatusFailed);
        return;
    }
    setStatus(m_stopped ? kStatusFailed : kStatusDone);
}

TelemetryOutcome CopyRun::CopyTelemetryDay(const QString& dayName)
{
    const QString monthDay = dayName.right(4);
    const int month = decimalInteger(monthDay.left(2));
    const int dayOfMonth = decimalInteger(monthDay.right(2));
    const int row = calendarDayRow(month, dayOfMonth);
    bool success = true;
    bool readFailed = false;
    qint64 count = 0;

    m_report.setCell(row, CopyColumn::Status, kStatusStarted);
    m_report.setCell(row, CopyColumn::Started, copyTimeText(m_runClock));
    auto abort = [&](const QString& text) {
        m_report.message(text);
        m_report.tableEnded(row);
        return TelemetryOutcome::Abort;
    };

    const int firstYear = m_start.date().year();
    const int lastYear = m_end.date().year();
    const int years = std::max(1, lastYear - firstYear + 1);
    const QString insertSql =
        QStringLiteral("INSERT INTO %1(ATime,TagID,DataType,nValue,nValueChange) VALUES(?,?,?,?,?)");
    const bool textTimes = m_target.bindsDateTimesAsText();

    for (int year = firstYear; year <= lastYear && !readFailed && !m_stopped; ++year) {
        const QString newTable = QString::asprintf("TAG%04d", year) + monthDay;
        const QString from = QString::asprintf("%d-%d-%d 00:00:00", year, month, dayOfMonth);
        const QString to = QString::asprintf("%d-%d-%d 23:59:59", year, month, dayOfMonth);

        bool exists = false;
        try {
            db::ResultSet probe = m_target.query(tableProbeSql(m_settings.target.kind, newTable));
            exists = probe.next();
        } catch (const db::DbError& error) {
            return abort(QStringLiteral("查询是否存在新表(%1)时失败!原因:%2").arg(newTable, error.message()));
        }
        if (!exists)
            continue;
        try {
            m_target.execute(QStringLiteral("DELETE FROM %1 WHERE ATime>=%2 AND ATime<=%3")
                                 .arg(newTable, targetLiteral(from), targetLiteral(to)));
        } catch (const db::DbError&) {
            return abort(QStringLiteral("删除重复导入的数据失败!"));
        }

        const QString where =
            QStringLiteral(" WHERE ATime>=%1 AND ATime<=%2").arg(sourceLiteral(from), sourceLiteral(to));
        const qint64 expected = countRows(QStringLiteral("SELECT COUNT(*) FROM ") + dayName + where);
        const qint64 countBefore = count;
        const double yearIndex = year - firstYear;

        auto insertFailed = [&](const db::DbError& error) {
            m_report.message(QStringLiteral("插入数据出错,出错信息:%1").arg(error.message()));
            success = false;
        };
        std::optional<db::BulkWriter> writer;
        try {
            writer.emplace(m_target, insertSql.arg(newTable), 5, chunkRowsFor(m_settings.target.kind));
            writer->setFailureHandler([&](qint64, const db::DbError& error) {
                insertFailed(error);
                return db::BulkWriter::OnFailure::Continue;
            });
        } catch (const db::DbError& error) {
            insertFailed(error);
        }
        auto finishWriter = [&] {
            if (!writer)
                return;
            try {
                writer->finish();
            } catch (const db::DbError& error) {
                insertFailed(error);
            }
            writer.reset();
        };

        try {
            db::ResultSet rs = m_source.query(
                QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM ") + dayName + where);
            while (rs.next()) {
                const db::TypedNumber value = rs.number(3);
                const db::TypedNumber change = rs.number(4);
                const double nValue = value.kind == db::TypedNumber::Kind::Single   ? value.value
                                      : value.kind == db::TypedNumber::Kind::Double ? double(float(value.value))
                                                                                    : 0.0;
                const double nValueChange = change.kind == db::TypedNumber::Kind::Single
                                                    || change.kind == db::TypedNumber::Kind::Double
                                                ? change.value
                                                : 0.0;
                std::vector<db::Value> sample{sampleTime(rs.string(0), textTimes), qint64(decimalInteger(rs.string(1))),
                                              qint64(decimalInteger(rs.string(2))), roundedTo(nValue, 6),
                                              roundedTo(nValueChange, 6)};
                ++count;
                if (writer) {
                    try {
                        writer->addRow(std::move(sample));
                    } catch (const db::DbError& error) {
                        insertFailed(error);
                        writer.reset();
                    }
                }
                if (count % kRowsBetweenPulses == 0) {
                    const double within = expected > 0 ? double(count - countBefore) / double(expected) : 0.0;
                    if (!pulse(row, count, (yearIndex + std::min(within, 1.0)) / years))
                        break;
                }
            }
        } catch (const db::DbError& error) {
            finishWriter();
            m_report.message(QStringLiteral("查询数据出错,出错信息:%1").arg(error.message()));
            m_report.setCell(row, CopyColumn::Status, kStatusFailed);
            readFailed = true;
            break;
        }
        finishWriter();
    }

    if (!readFailed)
        m_report.setCell(row, CopyColumn::Status, success && !m_stopped ? kStatusDone : kStatusFailed);
    m_runClock = QDateTime::currentDateTime();
    m_report.setCell(row, CopyColumn::Ended, copyTimeText(m_runClock));
    m_report.setCell(row, CopyColumn::Count, QString::number(count));
    m_report.tableEnded(row);
    return m_stopped ? TelemetryOutcome::Abort : TelemetryOutcome::Done;
}

} // namespace tessera::copy
