// The copy between generations through tessera-copy: telemetry samples and
// event rows per second, beside the database's own INSERT ... SELECT of the
// same rows, PostgreSQL's client-side bulk load (psql \copy) and one literal
// statement per row with a pause before it (2 ms per sample, 1 ms per event
// row; measured on a sample of rows), all in the same run. On servers also
// four days copied with --jobs 1, 2 and 4. First of all, the peak memory of
// tessera-copy for one day of five million samples. SQLite always;
// PostgreSQL and MariaDB when the test servers' variables are set
// (scripts/test-servers env).
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

#include <algorithm>
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

// The samples of a March day of 2008 into the older calendar-day table
// (one a second per tag).
void addSamples(sqlite3* db, int day, int samples)
{
    const QByteArray table = QString::asprintf("Tag03%02d", day).toLatin1();
    exec(db, ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Older).toUtf8().constData());
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO " + table + " VALUES(?,?,1,?,?)", -1, &st, nullptr);
    for (int i = 0; i < samples; ++i) {
        const int s = i % 86400;
        const QByteArray at
            = QString::asprintf("2008-03-%02d %02d:%02d:%02d", day, s / 3600, s / 60 % 60, s % 60).toLatin1();
        sqlite3_bind_text(st, 1, at.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(st, 2, i / 86400 + 1);
        sqlite3_bind_double(st, 3, 100 + (i % 1000) * 0.25);
        sqlite3_bind_double(st, 4, 0.125);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}

// The older database: Tag0305 with the samples of 5 March 2008, a quarter of
// as many in each of Tag0301 to Tag0304, and Event with rows spread over
// January 2008.
void makeOlder(const QString& path, const Sizes& n)
{
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
        exec(db, sql.toUtf8().constData());
    exec(db, "BEGIN");
    addSamples(db, 5, n.samples);
    for (int day = 1; day <= 4; ++day)
        addSamples(db, day, n.samples / 4);
    sqlite3_stmt* st = nullptr;
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
    const char* before; // the figures of the first version on this machine, without block reads, array writes and lanes
};

QString connectString(const QString& dsn, const Target& t)
{
    return QStringLiteral("DSN=%1;UID=%2;PWD=%3").arg(dsn, t.user, t.password);
}

const QStringList kTargetTables{
    "Event", "Tag20080301", "Tag20080302", "Tag20080303", "Tag20080304", "Tag20080305", "EventRef", "TagRef"};

void prepareTarget(db::Connection& c, const Target& t)
{
    for (const QString& table : kTargetTables)
        c.execute(ddl::dropTableSql(table));
    c.execute(ddl::createTableSql(t.kind, tableLayout(SchemaTable::Event), "Event"));
    for (int day = 1; day <= 5; ++day)
        c.execute(
            ddl::createTelemetryTableSql(t.kind, QString::asprintf("Tag200803%02d", day), ddl::Generation::Newer));
}

// tessera-copy for the tables, N at once, with more arguments (--verify);
// seconds, or a negative number on failure. `peak` gets the child's peak memory in kB.
double runCopy(const QString& odbcIni, const Target& t, const QString& tables, int jobs = 1,
               const QStringList& more = {}, long* peak = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ODBCINI", odbcIni);
    p.setProcessEnvironment(env);
    Stopwatch watch;
    p.start(QCoreApplication::applicationDirPath() + "/tessera-copy",
        QStringList{"--target-dsn", "BenchNew" + t.name, "--target-user", t.user, "--target-password", t.password,
            "--source-dsn", "BenchOld", "--source-user", "", "--source-password", "", "--start", "2008-01-01", "--end",
            "2008-12-31", "--tables", tables, "--jobs", QString::number(jobs)}
            + more);
    const qint64 pid = p.processId();
    long highest = 0;
    // VmHWM only grows: its last reading before the end is the peak.
    while (!p.waitForFinished(50))
        highest = std::max(highest, peakKilobytes(QString::number(pid)));
    if (peak)
        *peak = highest;
    const double seconds = watch.seconds();
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "tessera-copy failed (%d): %s%s\n", p.exitCode(), p.readAllStandardOutput().constData(),
                     p.readAllStandardError().constData());
        return -1;
    }
    if (jobs == 1)
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

// The floor of a verify: each database counting and summing its own side of
// the day, one after the other; rows per second of both.
double countAndSum(db::Connection& c, const Target& t, const QString& olderPath, int rows)
{
    sqlite3* db = nullptr;
    sqlite3_open(olderPath.toUtf8().constData(), &db);
    Stopwatch watch;
    exec(db, "SELECT count(*), sum(nValue), sum(TagID) FROM Tag0305");
    sqlite3_close(db);
    db::ResultSet rs = c.query("SELECT count(*), sum(nValue), sum(TagID) FROM Tag20080305");
    while (rs.next()) {
    }
    return rows / watch.seconds();
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
    const double verifySeconds = runCopy(odbcIni, t, "Tag0305", 1, {"--verify"});
    const double floorRate = countAndSum(c, t, olderPath, n.samples);
    const double eventSeconds = runCopy(odbcIni, t, "Event");
    // Four days of a quarter of the samples each, one table after the other
    // and several at once (a SQLite target always takes one).
    const bool server = t.kind != DatabaseKind::SQLite;
    const QString fourDays = "Tag0301,Tag0302,Tag0303,Tag0304";
    const int daySamples = n.samples / 4 * 4;
    const double daysSeconds1 = server ? runCopy(odbcIni, t, fourDays, 1) : 0;
    const double daysSeconds2 = server ? runCopy(odbcIni, t, fourDays, 2) : 0;
    const double daysSeconds4 = server ? runCopy(odbcIni, t, fourDays, 4) : 0;
    const int sample = 1000;
    const double tagOwn = ownInsertSelect(c, t, true, n.samples, olderPath, newerPath);
    const double eventOwn = ownInsertSelect(c, t, false, n.events, olderPath, newerPath);
    const double tagBulk = t.kind == DatabaseKind::PostgreSQL ? psqlBulkLoad(c, t, n.samples, olderPath, dir) : 0;
    const double tagPerRow = perRow(c, t, true, sample);
    const double eventPerRow = perRow(c, t, false, sample);
    auto rate = [](long long rows, double seconds) { return seconds > 0 ? rows / seconds : 0; };
    printRate("telemetry: tessera-copy (whole process)", n.samples, rate(n.samples, tagSeconds));
    printRate("telemetry: tessera-copy --verify, equal", n.samples, rate(n.samples, verifySeconds));
    printRate("telemetry: the databases' count and sum, both", n.samples, floorRate);
    if (tagSeconds > 0 && verifySeconds > 0)
        std::printf("  verify / copy: %.2fx (goal: %s)\n", tagSeconds / verifySeconds,
                    t.kind == DatabaseKind::SQLite ? "at least 2x" : "at least 1x");
    if (server) {
        printRate("telemetry, 4 days: tessera-copy --jobs 1", daySamples, rate(daySamples, daysSeconds1));
        printRate("telemetry, 4 days: tessera-copy --jobs 2", daySamples, rate(daySamples, daysSeconds2));
        printRate("telemetry, 4 days: tessera-copy --jobs 4", daySamples, rate(daySamples, daysSeconds4));
        if (daysSeconds1 > 0 && daysSeconds2 > 0)
            std::printf("  --jobs 2 / --jobs 1: %.2fx\n", daysSeconds1 / daysSeconds2);
    }
    printRate("telemetry: database's INSERT ... SELECT", n.samples, tagOwn);
    if (tagBulk > 0)
        printRate("telemetry: psql \\copy of them (bulk load)", n.samples, tagBulk);
    printRate("telemetry: a statement per row, 2 ms pause", sample, tagPerRow);
    printRate("events: tessera-copy (whole process)", n.events, rate(n.events, eventSeconds));
    printRate("events: database's INSERT ... SELECT", n.events, eventOwn);
    printRate("events: a statement per row, 1 ms pause", sample, eventPerRow);
    std::printf("  the first, row-by-row version (same machine): %s\n", t.before);
    if (tagSeconds > 0 && eventSeconds > 0)
        std::printf("  tessera-copy / per-row statements: telemetry %.0fx, events %.0fx\n",
                    n.samples / tagSeconds / tagPerRow, n.events / eventSeconds / eventPerRow);
    for (const QString& table : kTargetTables)
        c.execute(ddl::dropTableSql(table));
}

// Prints the peak memory of tessera-copy for one day of `samples` samples
// into SQLite: the first child this process waits for, so the children's
// peak is its own.
void peakMemoryOfADay(int samples, QTemporaryDir& dir)
{
    const QString older = dir.filePath("older-peak.db");
    const QString newer = dir.filePath("newer-peak.db");
    sqlite3* db = nullptr;
    sqlite3_open(older.toUtf8().constData(), &db);
    exec(db, "BEGIN");
    addSamples(db, 6, samples);
    exec(db, "COMMIT");
    sqlite3_close(db);
    sqlite3_open(newer.toUtf8().constData(), &db);
    exec(db,
        ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag20080306", ddl::Generation::Newer).toUtf8().constData());
    sqlite3_close(db);
    const QString odbcIni = dir.filePath("odbc-peak.ini");
    QFile f(odbcIni);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("[BenchOld]\nDriver=SQLite3\nDatabase=%1\n\n[BenchNewPeak]\nDriver=SQLite3\nDatabase=%2\n")
                .arg(older, newer)
                .toUtf8());
    f.close();
    const Target target{"Peak", DatabaseKind::SQLite, {}, {}, {}, ""};
    long copyPeak = 0;
    long verifyPeak = 0;
    const double seconds = runCopy(odbcIni, target, "Tag0306", 1, {}, &copyPeak);
    const double verifySeconds = runCopy(odbcIni, target, "Tag0306", 1, {"--verify"}, &verifyPeak);
    QFile::remove(older);
    QFile::remove(newer);
    std::printf("  %d samples in %.1f s: peak memory %ld MB (goal: under 200 MB)\n", samples, seconds, copyPeak / 1024);
    std::printf("  verified in %.1f s: peak memory %ld MB (goal: under 100 MB)\n", verifySeconds, verifyPeak / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QTemporaryDir dir;
    std::printf("Copy between generations (goals: into SQLite 300,000 samples/s and 200,000 event rows/s, into "
                "PostgreSQL 200,000 samples/s, into MariaDB 250,000 samples/s)\n\nOne day into SQLite:\n");
    peakMemoryOfADay(5000000, dir);

    const Sizes full{1000000, 200000};
    const QString olderPath = dir.filePath("older.db");
    makeOlder(olderPath, full);
    benchTargetSafely(
        {"SQLite", DatabaseKind::SQLite, QStringLiteral("Driver=SQLite3\nDatabase=%1\n").arg(dir.filePath("newer.db")),
            "", "", "100,000-140,000 samples/s"},
        full, olderPath, dir);

    if (!testServersConfigured())
        return 0;
    // The servers get a fifth of the rows: the same rates, a shorter run.
    const Sizes servers{200000, 40000};
    const QString serverOlder = dir.filePath("older-servers.db");
    makeOlder(serverOlder, servers);
    benchTargetSafely(
        {"PostgreSQL", DatabaseKind::PostgreSQL,
            QStringLiteral("Driver=PostgreSQL Unicode\nServername=%1\nPort=%2\nDatabase=%3\n")
                .arg(env("TESSERA_TEST_PG_HOST"), env("TESSERA_TEST_PG_PORT"), env("TESSERA_TEST_PG_DATABASE")),
            env("TESSERA_TEST_PG_USER"), env("TESSERA_TEST_PG_PASSWORD"), "48,000-59,000 samples/s"},
        servers, serverOlder, dir);
    benchTargetSafely(
        {"MariaDB", DatabaseKind::MySql,
            QStringLiteral("Driver=MariaDB Unicode\nServer=%1\nPort=%2\nDatabase=%3\n")
                .arg(env("TESSERA_TEST_MARIADB_HOST"), env("TESSERA_TEST_MARIADB_PORT"),
                    env("TESSERA_TEST_MARIADB_DATABASE")),
            env("TESSERA_TEST_MARIADB_USER"), env("TESSERA_TEST_MARIADB_PASSWORD"), "126,000-160,000 samples/s"},
        servers, serverOlder, dir);
    return 0;
}
