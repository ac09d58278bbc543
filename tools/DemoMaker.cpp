// tessera-demo: makes or refreshes the two demo databases (SQLite) and
// registers them as the user's data sources "TesseraDemo" (newer generation)
// and "TesseraDemoOld" (older generation).
#include "DemoContent.h"
#include "SchemaDdl.h"

#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/TableNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <odbcinst.h>

#include <cstdio>

using namespace tessera;

namespace {

constexpr int kDaysBack = 7;
const DatabaseKind kKind = DatabaseKind::SQLite;

db::Connection openFile(const QString& path)
{
    return db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
}

bool tableExists(db::Connection& c, const QString& table)
{
    auto rs = c.query(tableProbeSql(kKind, table));
    return rs.next();
}

void ensureSchema(db::Connection& c)
{
    if (tableExists(c, QStringLiteral("EqpTagInfo")))
        return;
    for (const QString& sql : ddl::createSchemaSql(kKind))
        c.execute(sql);
    demo::writeCatalogue(c, kKind);
}

// A day is there when its telemetry table is: the table is made last.
int refreshNewer(const QString& path, const QDate& today)
{
    db::Connection c = openFile(path);
    ensureSchema(c);
    int added = 0;
    for (int back = kDaysBack; back >= -1; --back) {
        const QDate day = today.addDays(-back);
        const QString table = TelemetryTableName(day);
        if (tableExists(c, table))
            continue;
        if (back >= 0) { // tomorrow gets its (empty) table only
            db::Transaction transaction(c);
            demo::writeEventsOfDay(c, kKind, day);
            transaction.commit();
        }
        c.execute(ddl::createTelemetryTableSql(kKind, table, ddl::Generation::Newer));
        if (back >= 0)
            demo::writeSamplesOfDay(c, table, day);
        ++added;
    }
    // Empty tables of the same days last year: the older demo's samples of
    // that year have somewhere to go when it is copied into this one.
    for (int back = kDaysBack; back >= 0; --back) {
        const QString table = TelemetryTableName(today.addDays(-back).addYears(-1));
        if (!tableExists(c, table))
            c.execute(ddl::createTelemetryTableSql(kKind, table, ddl::Generation::Newer));
    }
    return added;
}

// The older generation: last year's events and calendar-day tables that hold
// the same days of last year and of the year before.
int refreshOlder(const QString& path, const QDate& today)
{
    db::Connection c = openFile(path);
    ensureSchema(c);
    int added = 0;
    for (int back = kDaysBack; back >= 0; --back) {
        const QDate day = today.addDays(-back);
        const int slot = day.month() * 31 + day.day() - 31;
        const QString table = CalendarDayTableName(slot);
        if (tableExists(c, table))
            continue;
        {
            db::Transaction transaction(c);
            for (int years = 2; years >= 1; --years)
                demo::writeEventsOfDay(c, kKind, day.addYears(-years));
            transaction.commit();
        }
        c.execute(ddl::createTelemetryTableSql(kKind, table, ddl::Generation::Older));
        for (int years = 2; years >= 1; --years)
            demo::writeSamplesOfDay(c, table, day.addYears(-years));
        ++added;
    }
    return added;
}

bool registerUserDataSource(const QString& name, const QString& path, const QString& description)
{
    SQLSetConfigMode(ODBC_USER_DSN);
    const QByteArray n = name.toUtf8();
    bool ok = SQLWritePrivateProfileString(n.constData(), "Driver", "SQLite3", "odbc.ini")
        && SQLWritePrivateProfileString(n.constData(), "Description", description.toUtf8().constData(), "odbc.ini")
        && SQLWritePrivateProfileString(n.constData(), "Database", QFile::encodeName(path).constData(), "odbc.ini")
        && SQLWritePrivateProfileString(n.constData(), "Timeout", "5000", "odbc.ini");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    return ok;
}

int printDdl(const QString& kindName)
{
    const auto kind = kindOfDsnTypeText(kindName == QLatin1String("mariadb") ? QStringLiteral("MYSQL") : kindName);
    if (!kind) {
        std::fprintf(stderr, "unknown kind %s (sqlite, postgresql, mariadb)\n", qPrintable(kindName));
        return 2;
    }
    std::printf("-- Newer and older generation: catalogue, event and summary tables\n");
    for (const QString& sql : ddl::createSchemaSql(*kind))
        std::printf("%s;\n", sql.toUtf8().constData());
    std::printf("-- Newer generation: one telemetry table per day, e.g.\n%s;\n",
                ddl::createTelemetryTableSql(*kind, QStringLiteral("Tag20260101"), ddl::Generation::Newer)
                    .toUtf8()
                    .constData());
    std::printf("-- Older generation: one telemetry table per calendar day (Tag0101 ... Tag1231), e.g.\n%s;\n",
                ddl::createTelemetryTableSql(*kind, QStringLiteral("Tag0101"), ddl::Generation::Older)
                    .toUtf8()
                    .constData());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes or refreshes the Tessera demo databases and registers them as the user's data sources "
                       "TesseraDemo (newer generation) and TesseraDemoOld (older generation)."));
    parser.addHelpOption();
    QCommandLineOption dirOption(QStringLiteral("dir"), QStringLiteral("Folder of the demo databases."),
                                 QStringLiteral("folder"),
                                 QDir::home().filePath(QStringLiteral(".local/share/Tessera/demo")));
    QCommandLineOption todayOption(QStringLiteral("today"), QStringLiteral("The day taken as today (yyyy-mm-dd)."),
                                   QStringLiteral("date"));
    QCommandLineOption fresh(QStringLiteral("fresh"), QStringLiteral("Delete the databases and make them anew."));
    QCommandLineOption noRegister(QStringLiteral("no-register"), QStringLiteral("Do not register the data sources."));
    QCommandLineOption ddlOption(QStringLiteral("print-ddl"),
                                 QStringLiteral("Print the test DDL of a kind (sqlite, postgresql, mariadb) and exit."),
                                 QStringLiteral("kind"));
    parser.addOptions({dirOption, todayOption, fresh, noRegister, ddlOption});
    parser.process(app);

    if (parser.isSet(ddlOption))
        return printDdl(parser.value(ddlOption).toLower());

    QDate today = QDate::currentDate();
    if (parser.isSet(todayOption)) {
        today = QDate::fromString(parser.value(todayOption), QStringLiteral("yyyy-MM-dd"));
        if (!today.isValid()) {
            std::fprintf(stderr, "tessera-demo: --today wants yyyy-mm-dd\n");
            return 2;
        }
    }
    const QDir dir(parser.value(dirOption));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "tessera-demo: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }
    const QString newer = dir.absoluteFilePath(QStringLiteral("TesseraDemo.db"));
    const QString older = dir.absoluteFilePath(QStringLiteral("TesseraDemoOld.db"));
    if (parser.isSet(fresh)) {
        QFile::remove(newer);
        QFile::remove(older);
    }

    try {
        const int newerDays = refreshNewer(newer, today);
        const int olderDays = refreshOlder(older, today);
        std::printf("demo databases in %s: %d new day(s) in TesseraDemo, %d in TesseraDemoOld\n",
                    qPrintable(dir.path()), newerDays, olderDays);
    } catch (const db::DbError& e) {
        std::fprintf(stderr, "tessera-demo: %s\n", e.what());
        return 1;
    }
    if (!parser.isSet(noRegister)) {
        if (!registerUserDataSource(QStringLiteral("TesseraDemo"), newer, QStringLiteral("Tessera demo (newer)"))
            || !registerUserDataSource(QStringLiteral("TesseraDemoOld"), older,
                                       QStringLiteral("Tessera demo (older)"))) {
            std::fprintf(stderr, "tessera-demo: cannot register the data sources in the user's odbc.ini\n");
            return 1;
        }
        std::printf("user data sources TesseraDemo and TesseraDemoOld registered\n");
    }
    return 0;
}
