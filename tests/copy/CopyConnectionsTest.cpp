#include "CopyTestSupport.h"
#include "OdbcTestEnvironment.h"

#include "settings/IniFile.h"
#include "copy/CopyRun.h"
#include "copy/CopySettings.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <QRegularExpression>
#include <QUuid>

#include <csignal>

#include <signal.h>

#include <gtest/gtest.h>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

// Two SQLite databases behind user data sources of their own: the driver
// manager caches a data source's entries for a while, so the names are new
// for every test.
class CopyDataSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString suffix = QUuid::createUuid().toString(QUuid::Id128).left(10);
        targetDsn = "CopyNew" + suffix;
        sourceDsn = "CopyOld" + suffix;
        source = makeOlderDatabase(dir.filePath("older.db"), {"Tag0305"});
        target = makeOlderDatabase(dir.filePath("newer.db"));
        target.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag20080305", ddl::Generation::Newer));
        addUserDataSource(targetDsn, "SQLite3", dir.filePath("newer.db"));
        addUserDataSource(sourceDsn, "SQLite3", dir.filePath("older.db"));
        source.execute("INSERT INTO Event VALUES(1,'2008-03-05 00:00:00','1899-12-30 08:00:00',0,'复制','','','')");
        for (int i = 0; i < 5; ++i)
            source.execute(QString("INSERT INTO Tag0305 VALUES('2008-03-05 0%1:00:00',%1,1,1.5,0)").arg(i));
    }
    void TearDown() override { restoreOdbcIniFiles(); }

    CopySettings settingsFor(const QString& targetName, const QString& sourceName)
    {
        CopySettings s;
        s.target.dsn = targetName;
        s.source.dsn = sourceName;
        return s;
    }

    QTemporaryDir dir;
    QString targetDsn;
    QString sourceDsn;
    db::Connection source;
    db::Connection target;
};

TEST_F(CopyDataSourceTest, LooksUpBothKindsAndNamesTheMissingSide)
{
    RecordingReport report;
    CopySettings found = settingsFor(targetDsn, sourceDsn);
    CopyRun run(found, QDateTime::currentDateTime(), QDateTime::currentDateTime(), report);
    EXPECT_TRUE(run.LookUpConnectionKinds());
    EXPECT_EQ(found.target.kind, DatabaseKind::SQLite);
    EXPECT_EQ(found.source.kind, DatabaseKind::SQLite);

    // A data source of the system list serves as well as one of the user's.
    CopySettings system = settingsFor(testDatabase(DatabaseKind::SQLite).dsn, sourceDsn);
    EXPECT_TRUE(CopyRun(system, {}, {}, report).LookUpConnectionKinds());
    EXPECT_TRUE(report.messages.empty());

    CopySettings noTarget = settingsFor("NoSuch" + targetDsn, sourceDsn);
    EXPECT_FALSE(CopyRun(noTarget, {}, {}, report).LookUpConnectionKinds());
    CopySettings noSource = settingsFor(targetDsn, "NoSuch" + sourceDsn);
    EXPECT_FALSE(CopyRun(noSource, {}, {}, report).LookUpConnectionKinds());
    addUserDataSource("Odd" + targetDsn, "Some Other Driver", "x");
    CopySettings odd = settingsFor("Odd" + targetDsn, sourceDsn);
    EXPECT_FALSE(CopyRun(odd, {}, {}, report).LookUpConnectionKinds());

    const QStringList texts = report.messageTexts();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "错误：无法查询备数据源的注册信息");
    EXPECT_EQ(texts[1], "错误：无法查询主数据源的注册信息");
    EXPECT_TRUE(texts[2].contains("Some Other Driver")) << texts[2].toStdString();
    EXPECT_TRUE(report.messages[0].second.isEmpty());
}

TEST_F(CopyDataSourceTest, OpensBothConnectionsOrSaysWhichFailed)
{
    RecordingReport report;
    CopySettings noTarget = settingsFor("NoSuch" + targetDsn, sourceDsn);
    CopyRun failing(noTarget, {}, {}, report);
    EXPECT_FALSE(failing.OpenCopyConnections());
    EXPECT_FALSE(failing.target().isOpen());
    CopySettings noSource = settingsFor(targetDsn, "NoSuch" + sourceDsn);
    CopyRun half(noSource, {}, {}, report);
    EXPECT_FALSE(half.OpenCopyConnections());
    EXPECT_TRUE(half.target().isOpen()); // closed by the caller after the run
    EXPECT_FALSE(half.source().isOpen());
    // unixODBC takes an empty name for its data source "Default".
    addUserDataSource("Default", "SQLite3", dir.filePath("newer.db"));
    CopySettings unnamed = settingsFor("", sourceDsn);
    CopyRun nameless(unnamed, {}, {}, report);
    EXPECT_FALSE(nameless.OpenCopyConnections());
    EXPECT_FALSE(nameless.target().isOpen());
    ASSERT_EQ(report.messages.size(), 3u);
    EXPECT_EQ(report.messages[0], std::make_pair(QString("新版本数据源不能打开,请正确配置数据源"), QString("系统提示")));
    EXPECT_EQ(report.messages[1], std::make_pair(QString("旧版本数据库不能打开,请正确配置数据源"), QString("系统提示")));
    EXPECT_EQ(report.messages[2], report.messages[0]);

    RecordingReport ok;
    CopySettings both = settingsFor(targetDsn, sourceDsn);
    CopyRun run(both, QDateTime(QDate(2008, 3, 1), QTime(8, 0)), QDateTime(QDate(2008, 3, 31), QTime(8, 0)), ok);
    ASSERT_TRUE(run.LookUpConnectionKinds());
    EXPECT_TRUE(run.RunCopy({"Tag0305", "Event"}));
    run.closeConnections();
    EXPECT_EQ(ok.status(378), "处理成功完成");
    EXPECT_EQ(ok.status(66), "处理成功完成");
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});
    EXPECT_EQ(rowsOf(target, "SELECT Contents FROM Event"), QStringList{"复制"});
}

// tessera-copy as a user runs it.
class CopyProgramTest : public CopyDataSourceTest {
protected:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Result runProgram(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSERA_CONFIG_DIR", dir.path());
        process.setProcessEnvironment(env);
        process.start(TESSERA_COPY_PROGRAM, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
    QStringList dataSourceOptions() const
    {
        return {"--target-dsn", targetDsn, "--target-user", "", "--target-password", "",
                "--source-dsn", sourceDsn, "--source-user", "", "--source-password", ""};
    }
};

TEST_F(CopyProgramTest, CopiesTheNamedTablesAndPrintsOneLineEach)
{
    const Result r = runProgram(dataSourceOptions() +
                                QStringList{"--start", "2008-03-01", "--end", "2008-03-31", "--tables", "Tag0305,Event"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Event\t处理成功完成\nTag0305\t处理成功完成\t5\n");
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});

    // From DataSource.ini, a table failing: exit status 1, its message on standard error.
    CopySettings settings = settingsFor(targetDsn, sourceDsn);
    ASSERT_TRUE(SaveCopySettings(dir.filePath("DataSource.ini"), settings));
    source.execute("DROP TABLE Tag0305");
    const Result failed = runProgram({"--start", "2008-03-05", "--end", "2008-03-05", "--range"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "Tag0305\t处理失败\t0\n");
    EXPECT_TRUE(failed.err.contains("查询数据出错,出错信息:")) << failed.err.toStdString();
}

TEST_F(CopyProgramTest, RefusesBadArgumentsAndUnknownDataSources)
{
    const Result help = runProgram({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--target-dsn", "--range", "--tables", "HOSTSOURCE", "DESTSOURCE", "Exit status"})
        EXPECT_TRUE(help.out.contains(word)) << word;

    const QStringList dates{"--start", "2008-03-01", "--end", "2008-03-31"};
    EXPECT_EQ(runProgram(dataSourceOptions() + dates).exitCode, 2);                                  // no tables
    EXPECT_EQ(runProgram(dataSourceOptions() + dates + QStringList{"--range", "--tables", "SOE"}).exitCode, 2);
    EXPECT_EQ(runProgram(dataSourceOptions() + dates + QStringList{"--tables", "Tag0332"}).exitCode, 2);
    EXPECT_EQ(runProgram(dataSourceOptions() + QStringList{"--start", "2008-03-31", "--end", "2008-03-01", "--range"})
                  .exitCode,
              2);
    EXPECT_EQ(runProgram(dataSourceOptions() + QStringList{"--start", "2008-3-1", "--end", "2008-03-31", "--range"})
                  .exitCode,
              2);
    EXPECT_EQ(runProgram(dates + QStringList{"--range"}).exitCode, 2); // no DataSource.ini either

    QStringList unknown = dataSourceOptions();
    unknown[1] = "NoSuch" + targetDsn;
    const Result missing = runProgram(unknown + dates + QStringList{"--tables", "Event"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("错误：无法查询备数据源的注册信息")) << missing.err.toStdString();
    EXPECT_TRUE(missing.out.isEmpty());
}

TEST_F(CopyProgramTest, ATableThatEndsTheRunStillGetsItsLineAndTheOthersSayTheyWereNotReached)
{
    // The target refuses to clear the day: the run ends at that table.
    target.execute("INSERT INTO Tag20080305 VALUES('2008-03-05 06:00:00',99,1,9.5,0)");
    target.execute("CREATE TRIGGER keep BEFORE DELETE ON Tag20080305 BEGIN SELECT RAISE(ABORT, 'kept'); END");
    const Result r = runProgram(dataSourceOptions() + QStringList{"--start", "2008-03-01", "--end", "2008-03-31",
                                                                  "--tables", "Tag0304,Tag0305,Event"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.out, "Event\t处理成功完成\nTag0305\t处理开始\t\nTag0304\t未处理\t\n");
    EXPECT_TRUE(r.err.contains("删除重复导入的数据失败!")) << r.err.toStdString();
    EXPECT_EQ(rowsOf(target, "SELECT TagID FROM Tag20080305"), QStringList{"99"});
}

TEST_F(CopyProgramTest, CtrlCUndoesTheTableBeingCopiedAndTouchesNoOther)
{
    // A day long enough to be copying when the signal comes.
    source.execute("WITH RECURSIVE n(i) AS (SELECT 5 UNION ALL SELECT i+1 FROM n WHERE i<300000) "
                   "INSERT INTO Tag0305 SELECT datetime('2008-03-05 00:00:00', '+'||(i % 86400)||' seconds'),i,1,1.5,0 "
                   "FROM n");
    target.execute("INSERT INTO Tag20080305 VALUES('2008-03-05 06:00:00',99,1,9.5,0)");

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TESSERA_CONFIG_DIR", dir.path());
    process.setProcessEnvironment(env);
    process.start(TESSERA_COPY_PROGRAM, dataSourceOptions() + QStringList{"--start", "2008-03-01", "--end",
                                                                          "2008-03-31", "--tables",
                                                                          "Tag0304,Tag0305,Event"});
    ASSERT_TRUE(process.waitForStarted());
    // The first table's line, then the target's journal: the long day's
    // delete has run and its rows are being written.
    QByteArray out;
    while (!out.contains('\n') && process.waitForReadyRead(30000))
        out += process.readAllStandardOutput();
    ASSERT_EQ(QString::fromUtf8(out), "Event\t处理成功完成\n");
    const QString journal = dir.filePath("newer.db-journal");
    QDeadlineTimer deadline(30000);
    while (!QFile::exists(journal) && process.state() == QProcess::Running && !deadline.hasExpired())
        QThread::usleep(500);
    ASSERT_TRUE(QFile::exists(journal));
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    out += process.readAllStandardOutput();

    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 3) << process.readAllStandardError().toStdString();
    const QString printed = QString::fromUtf8(out);
    EXPECT_TRUE(QRegularExpression("^Event\t处理成功完成\nTag0305\t处理失败\t\\d+\nTag0304\t未处理\t\n$")
                    .match(printed)
                    .hasMatch())
        << printed.toStdString();
    EXPECT_EQ(rowsOf(target, "SELECT TagID FROM Tag20080305"), QStringList{"99"});
    EXPECT_EQ(rowsOf(target, "SELECT Contents FROM Event"), QStringList{"复制"});
}

} // namespace
