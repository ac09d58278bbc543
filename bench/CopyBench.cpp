// The copy between generations through tessera-copy: telemetry samples and
// event rows per second, beside the database's own INSERT ... SELECT of the
// same rows and beside one literal statement per row with a pause before it
// (2 ms per sample, 1 ms per event row; measured on a sample of rows), all
// in the same run. SQLite always; PostgreSQL and MariaDB when the test
// servers' variables are set (scripts/test-servers env).
#include "BenchSupport.h"

#include "SchemaDdl.h"
#include "dialect/DatabaseKind.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/ResultSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <cstdio>

using namespace tessera;
using namespace tessera::bench;

namespace {

struct Sizes {
    int samples;
    int events;
};

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite3: %s\n", error);
        sqlite3_free(error);
    }
}

// The older database: Tag0305 with the samples of 5 March 2008 (one a second
// per tag) and Event with rows spread over January 2008.
void makeOlder(const QString& path, const Sizes& n)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
        exec(db, sql.toUtf8().constData());
    exec(db, ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag0305", ddl::Generation::Older).toUtf8().constData());
    exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Tag0305 VALUES(?,?,1,?,?)", -1, &st, nullptr);
    for (int i = 0; i < n.samples; ++i) {
        const int s = i % 86400;
        const QByteArray at = QString::asprintf("2008-03-05 %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60).toLatin1();
        sqlite3_bind_text(st, 1, at.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, i / 86400 + 1);
        sqlite3_bind_double(st, 3, 100 + (i % 1000) * 0.25);
        sqlite3_bind_double(st, 4, 0.125);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_prepare_v2(db, "INSERT INTO Event VALUES(?,?,?,?,?,?,?,?)", -1, &st, nullptr);
    for (int i = 0; i < n.events; ++i) {
        const int s = i * 7 % 86400;
        const QByteArray day = QString::asprintf("2008-01-%02d 00:00:00", i % 31 + 1).toLatin1();
        const QByteArray at = QString::asprintf("1899-12-30 %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60).toLatin1();
        const QByteArray contents = QStringLiteral("遥控执行: 城北变电站 10kV城关线 %1").arg(i).toUtf8();
        sqlite3_bind_int(st, 1, i % 5 + 1);
        sqlite3_bind_text(st, 2, day.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, at.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 4, i % 1000);
        sqlite3_bind_text(st, 5, contents.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 6, "SCADA主站", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 7, "值班员", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 8, "", -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

struct Target {
    QString name;
    DatabaseKind kind;
    QString dsnEntry; // odbc.ini lines after the section header
    QString user;
    QString password;
};

QString connectString(const QString& dsn, const Target& t)
{
    return QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(dsn, t.user, t.password);
}

void prepareTarget(db::Connection& c, const Target& t)
{
    for (const QString& table : {QStringLiteral("Event"), QStringLiteral("Tag20080305"),
                                 QStringLiteral("EventRef"), QStringLiteral("TagRef")})
        c.execute(ddl::dropTableSql(table));
    c.execute(ddl::createTableSql(t.kind, tableLayout(SchemaTable::Event), "Event"));
    c.execute(ddl::createTelemetryTableSql(t.kind, "Tag20080305", ddl::Generation::Newer));
}

// tessera-copy for one table; seconds, or a negative number on failure.
double runCopy(const QString& odbcIni, const Target& t, const QString& table)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ODBCINI", odbcIni);
    p.setProcessEnvironment(env);
    Stopwatch watch;
    p.start(QCoreApplication::applicationDirPath() + "/tessera-copy",
            {"--target-dsn", "BenchNew" + t.name, "--target-user", t.user, "--target-password", t.password,
             "--source-dsn", "BenchOld", "--source-user", "", "--source-password", "", "--start", "2008-01-01",
             "--end", "2008-12-31", "--tables", table});
    p.waitForFinished(-1);
    const double seconds = watch.seconds();
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "tessera-copy failed (%d): %s%s\n", p.exitCode(), p.readAllStandardOutput().constData(),
                     p.readAllStandardError().constData());
        return -1;
    }
    std::printf("  tessera-copy: %s", p.readAllStandardOutput().constData());
    return seconds;
}

// One literal statement per row, each after its pause, as the procedures did.
double perRow(db::Connection& c, const Target& t, bool telemetry, int rows)
{
    const QString table = telemetry ? "TagRef" : "EventRef";
    c.execute(ddl::dropTableSql(table));
    c.execute(telemetry ? ddl::createTelemetryTableSql(t.kind, table, ddl::Generation::Newer)
                        : ddl::createTableSql(t.kind, tableLayout(SchemaTable::Event), table));
    Stopwatch watch;
    for (int i = 0; i < rows; ++i) {
        const int s = i % 86400;
        const QString time = QString::asprintf("%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
        QThread::msleep(telemetry ? 2 : 1);
        if (telemetry)
            c.execute(QString::asprintf("INSERT INTO %s(ATime,TagID,DataType,nValue,nValueChange) VALUES(",
                                        qPrintable(table)) +
                      FormatDateLiteral(t.kind, "2008-3-5 " + time) +
                      QString::asprintf(",%d,%d,%f,%f)", i / 86400 + 1, 1, 100 + (i % 1000) * 0.25, 0.125));
        else
            c.execute(QStringLiteral("INSERT INTO %1(AType,ADate,ATime,MiniSecond,Contents,RunSystem,Operator,UserNote) "
                                     "VALUES(%2,%3,%4,%5,'%6','SCADA主站','值班员','')")
                          .arg(table)
                          .arg(i % 5 + 1)
                          .arg(FormatDateLiteral(t.kind, QString::asprintf("2008-1-%d", i % 31 + 1)),
                               FormatDateLiteral(t.kind, time))
                          .arg(i % 1000)
                          .arg(QStringLiteral("遥控执行: 城北变电站 10kV城关线 %1").arg(i)));
    }
    return rows / watch.seconds();
}

// The database's own copy of the rows tessera-copy wrote.
double ownInsertSelect(db::Connection& c, const Target& t, bool telemetry, int rows, const QString& olderPath,
                       const QString& newerPath)
{
    if (t.kind == DatabaseKind::SQLite) {
        sqlite3* db = nullptr;
        sqlite3_open(newerPath.toUtf8().constData(), &db);
        const QByteArray attach = QStringLiteral("ATTACH DATABASE '%1' AS src").arg(olderPath).toUtf8();
        exec(db, attach.constData());
        exec(db, telemetry ? "DELETE FROM main.Tag20080305" : "DELETE FROM main.Event");
        Stopwatch watch;
        exec(db, telemetry ? "INSERT INTO main.Tag20080305 SELECT * FROM src.Tag0305"
                           : "INSERT INTO main.Event SELECT * FROM src.Event");
        const double seconds = watch.seconds();
        sqlite3_close(db);
        return rows / seconds;
    }
    const QString table = telemetry ? "TagRef" : "EventRef";
    c.execute(ddl::dropTableSql(table));
    c.execute(telemetry ? ddl::createTelemetryTableSql(t.kind, table, ddl::Generation::Newer)
                        : ddl::createTableSql(t.kind, tableLayout(SchemaTable::Event), table));
    Stopwatch watch;
    c.execute(QStringLiteral("INSERT INTO %1 SELECT * FROM %2").arg(table, telemetry ? "Tag20080305" : "Event"));
    return rows / watch.seconds();
}

// A client-side bulk load of the same samples into PostgreSQL: psql's \copy
// of them as CSV (made beforehand, not timed). 0 when psql is not at hand.
double psqlBulkLoad(db::Connection& c, const Target& t, int rows, const QString& olderPath, QTemporaryDir& dir)
{
    const QString csv = dir.filePath("samples.csv");
    QProcess sqlite;
    sqlite.setStandardOutputFile(csv);
    sqlite.start("sqlite3", {"-csv", olderPath, "SELECT ATime,TagID,DataType,nValue,nValueChange FROM Tag0305"});
    if (!sqlite.waitForFinished(120000) || sqlite.exitCode() != 0)
        return 0;
    c.execute(ddl::dropTableSql("TagLoadRef"));
    c.execute(ddl::createTelemetryTableSql(t.kind, "TagLoadRef", ddl::Generation::Newer));
    QProcess psql;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PGPASSWORD", t.password);
    psql.setProcessEnvironment(environment);
    Stopwatch watch;
    psql.start("psql", {"-h", env("TESSERA_TEST_PG_HOST"), "-p", env("TESSERA_TEST_PG_PORT"), "-U", t.user, "-d",
                        env("TESSERA_TEST_PG_DATABASE"), "-q", "-c",
                        QStringLiteral("\\copy TagLoadRef FROM '%1' WITH (FORMAT csv)").arg(csv)});
    const bool loaded = psql.waitForFinished(300000) && psql.exitCode() == 0;
    const double seconds = watch.seconds();
    c.execute(ddl::dropTableSql("TagLoadRef"));
    return loaded ? rows / seconds : 0;
}

void benchTarget(const Target& t, const Sizes& n, const QString& olderPath, QTemporaryDir& dir);

// A server shared with running tests may lose a table under us: say so, go on.
void benchTargetSafely(const Target& t, const Sizes& n, const QString& olderPath, QTemporaryDir& dir)
{
    try {
        benchTarget(t, n, olderPath, dir);
    } catch (const db::DbError& error) {
        std::printf("  %s: failed: %s\n", qPrintable(t.name), error.what());
    }
}

void benchTarget(const Target& t, const Sizes& n, const QString& olderPath, QTemporaryDir& dir)
{
    const QString newerPath = dir.filePath("newer.db");
    const QString odbcIni = dir.filePath("odbc-" + t.name + ".ini");
    {
        QFile f(odbcIni);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("[BenchOld]\nDriver=SQLite3\nDatabase=%1\n\n[BenchNew%2]\n%3\n")
                    .arg(olderPath, t.name, t.dsnEntry)
                    .toUtf8());
    }
    qputenv("ODBCINI", QFile::encodeName(odbcIni));
    db::Connection c = db::Connection::open(connectString("BenchNew" + t.name, t));
    prepareTarget(c, t);

    std::printf("\n%s target: %d telemetry samples, %d event rows (rows per second, higher is better)\n",
                qPrintable(t.name), n.samples, n.events);
    const double tagSeconds = runCopy(odbcIni, t, "Tag0305");
    const double eventSeconds = runCopy(odbcIni, t, "Event");
    const int sample = 1000;
    const double tagOwn = ownInsertSelect(c, t, true, n.samples, olderPath, newerPath);
    const double eventOwn = ownInsertSelect(c, t, false, n.events, olderPath, newerPath);
    const double tagBulk = t.kind == DatabaseKind::PostgreSQL ? psqlBulkLoad(c, t, n.samples, olderPath, dir) : 0;
    const double tagPerRow = perRow(c, t, true, sample);
    const double eventPerRow = perRow(c, t, false, sample);
    printRate("telemetry: tessera-copy (whole process)", n.samples, tagSeconds > 0 ? n.samples / tagSeconds : 0);
    printRate("telemetry: database's INSERT ... SELECT", n.samples, tagOwn);
    if (tagBulk > 0)
        printRate("telemetry: psql \\copy of them (bulk load)", n.samples, tagBulk);
    printRate("telemetry: a statement per row, 2 ms pause", sample, tagPerRow);
    printRate("events: tessera-copy (whole process)", n.events, eventSeconds > 0 ? n.events / eventSeconds : 0);
    printRate("events: database's INSERT ... SELECT", n.events, eventOwn);
    printRate("events: a statement per row, 1 ms pause", sample, eventPerRow);
    if (tagSeconds > 0 && eventSeconds > 0)
        std::printf("  tessera-copy / per-row statements: telemetry %.0fx, events %.0fx\n",
                    n.samples / tagSeconds / tagPerRow, n.events / eventSeconds / eventPerRow);
    for (const char* table : {"Event", "Tag20080305", "EventRef", "TagRef"})
        c.execute(ddl::dropTableSql(table));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir dir;
    const Sizes full{1000000, 200000};
    const QString olderPath = dir.filePath("older.db");
    makeOlder(olderPath, full);

    std::printf("Copy between generations (goal on SQLite: 100,000 samples/s and 50,000 event rows/s)\n");
    benchTargetSafely({"SQLite", DatabaseKind::SQLite,
                 QStringLiteral("Driver=SQLite3\nDatabase=%1\n").arg(dir.filePath("newer.db")), "", ""},
                full, olderPath, dir);

    if (!testServersConfigured())
        return 0;
    // The servers get a fifth of the rows: the same rates, a shorter run.
    const Sizes servers{200000, 40000};
    const QString serverOlder = dir.filePath("older-servers.db");
    makeOlder(serverOlder, servers);
    benchTargetSafely({"PostgreSQL", DatabaseKind::PostgreSQL,
                 QStringLiteral("Driver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n")
                     .arg(env("TESSERA_TEST_PG_HOST"), env("TESSERA_TEST_PG_PORT"), env("TESSERA_TEST_PG_DATABASE")),
                 env("TESSERA_TEST_PG_USER"), env("TESSERA_TEST_PG_PASSWORD")},
                servers, serverOlder, dir);
    benchTargetSafely({"MariaDB", DatabaseKind::MySql,
                 QStringLiteral("Driver=MariaDB Unicode\nServer=%1\nPort=%2\nDatabase=%3\n")
                     .arg(env("TESSERA_TEST_MARIADB_HOST"), env("TESSERA_TEST_MARIADB_PORT"),
                          env("TESSERA_TEST_MARIADB_DATABASE")),
                 env("TESSERA_TEST_MARIADB_USER"), env("TESSERA_TEST_MARIADB_PASSWORD")},
                servers, serverOlder, dir);
    return 0;
}
