#include "CopyTestSupport.h"
#include "FileBytes.h"

#include "copy/CopyRun.h"
#include "copy/CopySettings.h"
#include "copy/CopyTables.h"

#include "journal/Journal.h"
#include <QDeadlineTimer>

#include <QProcess>
#include <QThread>

#include <csignal>

using namespace tessera;
using namespace tessera::copy;
using namespace tessera::test;

namespace {

class CopyDataSourceTest : public ::testing::Test, protected CopyDataSources {
protected:
    void SetUp() override
    {
        makeDataSources(dir, {"0305"});
        source.execute("INSERT INTO Event VALUES(1,'2008-03-05 00:00:00','1899-12-30 08:00:00',0,'复制','','','')");
        for (int i = 0; i < 5; ++i)
            source.execute(QString("INSERT INTO Tag0305 VALUES('2008-03-05 0%1:00:00',%1,1,1.5,0)").arg(i));
    }
    void TearDown() override { restoreOdbcIniFiles(); }

    static CopySettings settingsFor(const QString& targetName, const QString& sourceName)
    {
        CopySettings s;
        s.target.dsn = targetName;
        s.source.dsn = sourceName;
        return s;
    }

    QTemporaryDir dir;
};

TEST_F(CopyDataSourceTest, LooksUpBothKindsAndNamesTheMissingSide)
{
    RecordingReport report;
    CopySettings found = settingsFor(targetDsn, sourceDsn);
    EXPECT_TRUE(CopyRun(found, {}, {}, report).LookUpConnectionKinds());
    EXPECT_EQ(found.target.kind, DatabaseKind::SQLite);
    EXPECT_EQ(found.source.kind, DatabaseKind::SQLite);

    addUserDataSource("Odd" + targetDsn, "Some Other Driver", "x");
    for (const auto& [targetName, sourceName] : {std::pair{"NoSuch" + targetDsn, sourceDsn},
             std::pair{targetDsn, "NoSuch" + sourceDsn}, std::pair{"Odd" + targetDsn, sourceDsn}}) {
        CopySettings missing = settingsFor(targetName, sourceName);
        EXPECT_FALSE(CopyRun(missing, {}, {}, report).LookUpConnectionKinds()) << targetName.toStdString();
    }
    EXPECT_EQ(report.messageTexts(),
        (QStringList{"错误：无法查询备数据源的注册信息", "错误：无法查询主数据源的注册信息",
            "错误:数据源“Odd" + targetDsn + "”的驱动程序“Some Other Driver”不是可识别的数据库类型!"}));
    EXPECT_TRUE(report.messages[0].second.isEmpty());
}

TEST_F(CopyDataSourceTest, OpensBothConnectionsOrSaysWhichFailed)
{
    // unixODBC takes an empty name for its data source "Default".
    addUserDataSource("Default", "SQLite3", dir.filePath("newer.db"));
    RecordingReport report;
    for (const auto& [targetName, sourceName, targetOpen] : {std::tuple{"NoSuch" + targetDsn, sourceDsn, false},
             {targetDsn, "NoSuch" + sourceDsn, true}, {QString(), sourceDsn, false}}) {
        CopySettings settings = settingsFor(targetName, sourceName);
        CopyRun run(settings, {}, {}, report);
        EXPECT_FALSE(run.OpenCopyConnections());
        EXPECT_EQ(run.Target().isOpen(), targetOpen); // an open one is closed by the caller after the run
        EXPECT_FALSE(run.Source().isOpen());
    }
    const std::pair<QString, QString> noNewer{"新版本数据源不能打开,请正确配置数据源", "系统提示"};
    EXPECT_EQ(report.messages,
        (std::vector<std::pair<QString, QString>>{
            noNewer, {"旧版本数据库不能打开,请正确配置数据源", "系统提示"}, noNewer}));
}

TEST_F(CopyDataSourceTest, AProbeErrorEndsTheWholeRun)
{
    RecordingReport report;
    CopySettings settings;
    CopyRun run(
        settings, QDateTime(QDate(2008, 1, 1), QTime(9, 0)), QDateTime(QDate(2008, 12, 1), QTime(9, 0)), report);
    // The Access probe asks MSysObjects, which SQLite lacks.
    run.Attach(db::Connection::open(sqliteConnectString(dir.filePath("newer.db"))), DatabaseKind::Access,
        db::Connection::open(sqliteConnectString(dir.filePath("older.db"))), DatabaseKind::SQLite);
    EXPECT_FALSE(run.CopyTables({"Tag0101", "Tag0305"}));
    EXPECT_TRUE(saidExactly(report.messageTexts(), {"查询是否存在新表(Tag20080305)时失败!原因:"}));
    EXPECT_EQ(report.statuses({66, 0}), (QStringList{kStatusStarted, ""})); // Tag0101 never reached
    EXPECT_EQ(report.cell(66, CopyColumn::Ended), QString());
    EXPECT_EQ(report.lastProgress, std::make_pair(0, 2));
}

// tessera-copy as a user runs it.
class CopyProgramTest : public CopyDataSourceTest {
protected:
    void start(QProcess& process, const QStringList& arguments, const QStringList& variables = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSERA_CONFIG_DIR", dir.path());
        for (const QString& variable : variables)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        process.setProcessEnvironment(env);
        process.start(TESSERA_COPY_PROGRAM, arguments);
    }
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Result run(const QStringList& arguments, const QStringList& variables = {})
    {
        QProcess process;
        start(process, arguments, variables);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }
    // Both data sources; the target another one where named.
    QStringList dataSources(const QString& target = {}, const QString& user = {}, const QString& password = {}) const
    {
        return {"--target-dsn", target.isEmpty() ? targetDsn : target, "--target-user", user, "--target-password",
            password, "--source-dsn", sourceDsn, "--source-user", "", "--source-password", ""};
    }
    // Both data sources and March 2008.
    QStringList options(const QString& target = {}) const { return dataSources(target) + march; }

    // Starts a copy of the tables whose long day of 300,000 samples is being
    // written once the call returns (its delete ran; the target's journal file
    // is there), Event done before it; what it printed so far goes to `out`.
    void startLongDayCopy(QProcess& process, const QStringList& tables, QByteArray& out)
    {
        source.execute("WITH RECURSIVE n(i) AS (SELECT 5 UNION ALL SELECT i+1 FROM n WHERE i<300000) "
                       "INSERT INTO Tag0305 SELECT datetime('2008-03-05 00:00:00', '+'||(i % 86400)||' seconds'),"
                       "i,1,1.5,0 FROM n");
        target.execute("INSERT INTO Tag20080305 VALUES('2008-03-05 06:00:00',99,1,9.5,0)");
        start(process, options() + QStringList{"--tables", tables.join(',')});
        ASSERT_TRUE(process.waitForStarted());
        while (!out.contains('\n') && process.waitForReadyRead(30000))
            out += process.readAllStandardOutput();
        ASSERT_EQ(QString::fromUtf8(out), "Event\t处理成功完成\n");
        const QString journal = dir.filePath("newer.db-journal");
        QDeadlineTimer deadline(30000);
        while (!QFile::exists(journal) && process.state() == QProcess::Running && !deadline.hasExpired())
            QThread::usleep(500);
        ASSERT_TRUE(QFile::exists(journal));
    }

    // --resume after a copy that was stopped or killed gives the target of one
    // whole run: the long day complete, its old sample gone, Event not redone.
    void expectResumedToAWholeRun()
    {
        const Result resumed = run(options() + QStringList{"--resume"});
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
        EXPECT_TRUE(resumed.out.startsWith("Tag0305\t处理成功完成\t")) << resumed.out.toStdString();
        EXPECT_FALSE(resumed.out.contains("Event")) << resumed.out.toStdString();
        const QString day = "SELECT COUNT(*) FROM %1 WHERE ATime>='2008-03-05' AND ATime<'2008-03-06'";
        EXPECT_EQ(rowsOf(target, day.arg("Tag20080305")), rowsOf(source, day.arg("Tag0305")));
        EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305 WHERE nValue=9.5"), QStringList{"0"});
        EXPECT_EQ(rowsOf(target, "SELECT Contents FROM Event"), QStringList{"复制"});
    }

    const QStringList march{"--start", "2008-03-01", "--end", "2008-03-31"};
};

TEST_F(CopyProgramTest, CopiesTheNamedTablesAndPrintsOneLineEach)
{
    // --jobs is taken, though a SQLite target copies one table at a time.
    const Result r = run(
        options() + QStringList{"--tables", "Tag0305,Event", "--reason", "月度补录", "--progress", "--jobs", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Event\t处理成功完成\nTag0305\t处理成功完成\t5\n");
    // --progress off a terminal: lines of their own on standard error.
    EXPECT_TRUE(r.err.startsWith("0/2 表    0.0%  0 行/秒\n")) << r.err.toStdString();
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});
    // The run is in the journal beside DataSource.ini, each table with its outcome.
    {
        journal::Journal journal = journal::Journal::open(dir.filePath("OperationJournal.sqlite"));
        const auto entries = journal.entries();
        ASSERT_EQ(entries.size(), 1u);
        const auto entry = journal.entry(entries[0].id);
        EXPECT_EQ(entry->commandName, "数据复制");
        EXPECT_EQ(entry->dataSource, targetDsn);
        EXPECT_EQ(entry->state, journal::EntryState::Done);
        EXPECT_EQ(entry->reason, "月度补录");
        ASSERT_EQ(entry->units.size(), 2u);
        EXPECT_EQ(entry->units[0].table, "Tag0305");
        EXPECT_EQ(entry->units[0].status, kStatusDone);
        EXPECT_EQ(entry->units[0].statusRows, 5);
        EXPECT_TRUE(entry->units[1].beforeKept); // Event's small range: undoable
    }
    // The run is in the log beside DataSource.ini too; with --verbose also on standard error.
    EXPECT_TRUE(QString::fromUtf8(readBytes(dir.filePath("Tessera.log"))).contains("Tag0305: 处理成功完成, 5 rows"));
    const Result verbose = run(options() + QStringList{"--tables", "Tag0305", "--verbose"});
    EXPECT_TRUE(verbose.err.contains("Tag0305: 处理成功完成, 5 rows")) << verbose.err.toStdString();

    // From DataSource.ini, a table failing: exit status 1, its message on standard error.
    ASSERT_TRUE(writeCopySettings(dir.filePath("DataSource.ini"), settingsFor(targetDsn, sourceDsn)));
    source.execute("DROP TABLE Tag0305");
    const Result failed = run({"--start", "2008-03-05", "--end", "2008-03-05", "--range"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "Tag0305\t处理失败\t0\n");
    EXPECT_TRUE(failed.err.contains("查询数据出错,出错信息:")) << failed.err.toStdString();

    // An event table the target lacks fails alone, journal or not.
    target.execute("DROP TABLE SOE");
    const Result noTable = run(options() + QStringList{"--tables", "SOE,Event"});
    EXPECT_EQ(noTable.exitCode, 1);
    EXPECT_EQ(noTable.out, "Event\t处理成功完成\nSOE\t处理失败\n");
    EXPECT_TRUE(noTable.err.contains("删除重复导入的SOE数据失败!")) << noTable.err.toStdString();
}

// --resume continues the last run of the same data sources and range with
// the tables it did not finish, and only those: after a failed table, and
// after a stop (Ctrl+C) that left tables unreached.
TEST_F(CopyProgramTest, ResumeCopiesOnlyTheTablesNotFinished)
{
    EXPECT_EQ(run(options() + QStringList{"--resume"}).exitCode, 2); // no such run yet

    source.execute("ALTER TABLE Tag0305 RENAME TO Tag0305Away");
    const Result first = run(options() + QStringList{"--tables", "Tag0305,Event"});
    EXPECT_EQ(first.out, "Event\t处理成功完成\nTag0305\t处理失败\t0\n");
    // A later run of another table set hides nothing the first left undone.
    EXPECT_EQ(run(options() + QStringList{"--tables", "Event"}).exitCode, 0);
    source.execute("ALTER TABLE Tag0305Away RENAME TO Tag0305");
    // The same name led to another database: another target, nothing to resume.
    ASSERT_TRUE(QFile::copy(dir.filePath("newer.db"), dir.filePath("elsewhere.db")));
    restoreOdbcIniFiles();
    addUserDataSource(targetDsn, "SQLite3", dir.filePath("elsewhere.db"));
    addUserDataSource(sourceDsn, "SQLite3", dir.filePath("older.db"));
    const Result elsewhere = run(options() + QStringList{"--resume"});
    EXPECT_EQ(elsewhere.exitCode, 2);
    EXPECT_TRUE(elsewhere.err.contains("没有可以继续的复制")) << elsewhere.err.toStdString();
    restoreOdbcIniFiles();
    addUserDataSource(targetDsn, "SQLite3", dir.filePath("newer.db"));
    addUserDataSource(sourceDsn, "SQLite3", dir.filePath("older.db"));
    target.execute("DELETE FROM Event"); // a table done is not copied again

    const Result resumed = run(options() + QStringList{"--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_EQ(resumed.out, "Tag0305\t处理成功完成\t5\n");
    EXPECT_TRUE(resumed.err.startsWith("继续第1号复制(")) << resumed.err.toStdString();
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Event"), QStringList{"0"});

    const Result nothingLeft = run(options() + QStringList{"--resume"});
    EXPECT_EQ(nothingLeft.exitCode, 0);
    EXPECT_EQ(nothingLeft.out, "");

    // Another range is another run.
    EXPECT_EQ(run(dataSources() + QStringList{"--start", "2008-03-01", "--end", "2008-03-30", "--resume"}).exitCode, 2);
}

// A damaged journal never crashes a resume: a unit that names no table of a
// copy is passed over, the others are resumed.
TEST_F(CopyProgramTest, AResumeReadsADamagedJournalWithoutCrashing)
{
    source.execute("ALTER TABLE Tag0305 RENAME TO Tag0305Away");
    EXPECT_EQ(run(options() + QStringList{"--tables", "Tag0305,Event"}).exitCode, 1);
    source.execute("ALTER TABLE Tag0305Away RENAME TO Tag0305");
    db::Connection::open(sqliteConnectString(dir.filePath("OperationJournal.sqlite")))
        .execute("UPDATE unit SET table_name='NoSuchTable', status='处理失败' WHERE table_name='Event'");
    const Result resumed = run(options() + QStringList{"--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
    EXPECT_EQ(resumed.out, "Tag0305\t处理成功完成\t5\n");
}

// Two copies into one target: the second is refused at once, naming the
// first, and so is --resume of the first while it goes; no row arrives twice.
TEST_F(CopyProgramTest, ASecondRunIntoABusyTargetIsRefusedAndNoRowArrivesTwice)
{
    source.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag0304", ddl::Generation::Older));
    source.execute("INSERT INTO Tag0304 VALUES('2008-03-04 01:00:00',1,1,2.5,0)");
    for (DatabaseKind kind : {DatabaseKind::PostgreSQL, DatabaseKind::MySql}) {
        const TestDatabase& server = testDatabase(kind);
        SKIP_WITHOUT_SERVER(server);
        SCOPED_TRACE(server.name.toStdString());
        db::Connection serverTarget = db::Connection::open(server.connectString());
        for (const QString table : {"Tag20080304", "Tag20080305"}) {
            serverTarget.execute(ddl::dropTableSql(table));
            serverTarget.execute(ddl::createTelemetryTableSql(kind, table, ddl::Generation::Newer));
            insertSample(serverTarget, kind, table, "2008-03-0" + table.right(1) + " 06:00:00", 99, 9.5);
        }
        const QStringList intoServer = dataSources(server.dsn, server.user, server.password) + march;
        QProcess first;
        {
            // The first run copies 5 March, then waits for the rows of 4 March.
            db::Connection blocker = db::Connection::open(server.connectString());
            db::Transaction holding(blocker);
            blocker.execute("DELETE FROM Tag20080304");
            start(first, intoServer + QStringList{"--tables", "Tag0304,Tag0305"});
            QByteArray out;
            while (!out.contains('\n') && first.waitForReadyRead(30000))
                out += first.readAllStandardOutput();
            ASSERT_EQ(QString::fromUtf8(out), "Tag0305\t处理成功完成\t5\n");

            const Result second = run(intoServer + QStringList{"--tables", "Tag0305"});
            EXPECT_EQ(second.exitCode, 2);
            EXPECT_EQ(second.out, QString());
            EXPECT_TRUE(second.err.contains(QString("目的数据库%1正由另一个复制写入(").arg(server.dsn)))
                << second.err.toStdString();
            const Result resumed = run(intoServer + QStringList{"--resume"});
            EXPECT_EQ(resumed.exitCode, 2);
            EXPECT_TRUE(resumed.err.contains("仍在进行")) << resumed.err.toStdString();
        } // the blocker rolls back: the first run goes on
        ASSERT_TRUE(first.waitForFinished(60000));
        EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
        EXPECT_EQ(rowsOf(serverTarget, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});
        EXPECT_EQ(rowsOf(serverTarget, "SELECT TagID FROM Tag20080304"), QStringList{"1"});
        for (const QString table : {"Tag20080304", "Tag20080305"})
            serverTarget.execute(ddl::dropTableSql(table));
    }
}

// A target that refuses every sample: ten of them are told, the others
// counted, and the journal keeps as little.
TEST_F(CopyProgramTest, ATargetRefusingEverySampleSaysTenAndCountsTheRest)
{
    source.execute("WITH RECURSIVE n(i) AS (SELECT 10 UNION ALL SELECT i+1 FROM n WHERE i<2004) "
                   "INSERT INTO Tag0305 SELECT datetime('2008-03-05 01:00:00', '+'||i||' seconds'),i,1,1.5,0 FROM n");
    target.execute("CREATE TRIGGER refuse BEFORE INSERT ON Tag20080305 BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const Result r = run(options() + QStringList{"--tables", "Tag0305"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Tag0305\t处理失败\t2000\n");
    EXPECT_EQ(r.err.count("插入数据出错,出错信息:"), 10) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("另有1990行插入出错")) << r.err.toStdString();
    journal::Journal journal = journal::Journal::open(dir.filePath("OperationJournal.sqlite"));
    EXPECT_LT(journal.entries().at(0).outcome.size(), 4000);
}

// Passwords need not be on the command line, where every user sees them.
TEST_F(CopyProgramTest, PasswordsComeFromTheEnvironmentOrAnOwnerOnlyFile)
{
    const TestDatabase& server = testDatabase(DatabaseKind::PostgreSQL);
    SKIP_WITHOUT_SERVER(server);
    db::Connection serverTarget = db::Connection::open(server.connectString());
    serverTarget.execute(ddl::dropTableSql("Tag20080305"));
    serverTarget.execute(ddl::createTelemetryTableSql(DatabaseKind::PostgreSQL, "Tag20080305", ddl::Generation::Newer));
    const QStringList arguments = QStringList{"--target-dsn", server.dsn, "--target-user", server.user, "--source-dsn",
                                      sourceDsn, "--tables", "Tag0305"}
        + march;
    auto passwordFile = [&](const QString& name, const QByteArray& text, QFile::Permissions permissions) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        file.setPermissions(permissions);
        return file.fileName();
    };
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QString right = passwordFile("right", "# copy into the server\ntarget=" + server.password.toUtf8() + "\nsource=\n", ownerOnly);
    const QString open = passwordFile("open", "target=" + server.password.toUtf8() + "\n", ownerOnly | QFile::ReadOther);
    const QString wrong = passwordFile("wrong", "target=wrong\n", ownerOnly);
    const QString variable = QString("TESSERA_TARGET_PASSWORD=") + server.password;
    struct Case {
        const char* name;
        QStringList extraArguments;
        QStringList variables;
        int exitCode;
        QString said;
    };
    const std::vector<Case> cases = {
        {"none", {}, {}, 2, "访问新版本数据源失败"},
        {"environment", {}, {variable}, 0, ""},
        {"owner-only file", {"--password-file", right}, {}, 0, ""},
        {"file others may read", {"--password-file", open}, {variable}, 2, "chmod 600"},
        {"the file over the environment", {"--password-file", wrong}, {variable}, 2, "访问新版本数据源失败"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = run(arguments + c.extraArguments, c.variables);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
    }
    serverTarget.execute(ddl::dropTableSql("Tag20080305"));
}

// tessera-copy's verify and repair: a line per table, the differing rows on
// standard error and in the CSV file, exit 4 for differences, and the runs in
// the journal; a copy verified after it ran.
TEST_F(CopyProgramTest, VerifiesRepairsAndVerifiesAfterACopy)
{
    const Result copied = run(options() + QStringList{"--tables", "Tag0305,Event", "--verify-after"});
    EXPECT_EQ(copied.exitCode, 0) << copied.err.toStdString();
    EXPECT_EQ(copied.out, "Event\t处理成功完成\nTag0305\t处理成功完成\t5\nEvent\t一致\nTag0305\t一致\n");

    target.execute("DELETE FROM Tag20080305 WHERE TagID=2");
    target.execute("UPDATE Tag20080305 SET nValue=9 WHERE TagID=3");
    const QString csv = dir.filePath("differences.csv");
    const Result verified = run(options() + QStringList{"--tables", "Tag0305,Event", "--verify", "--diff-csv", csv});
    EXPECT_EQ(verified.exitCode, 4) << verified.err.toStdString();
    EXPECT_EQ(verified.out, "Event\t一致\nTag0305\t不一致\t缺1 多0 异1\n");
    EXPECT_TRUE(verified.err.contains("Tag0305 2008-03-05 缺  源: ATime=2008-03-05 02:00:00 TagID=2")) << verified.err.toStdString();
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF表名,单元,差异,源,目的\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 3) << bytes.toStdString();

    const Result repaired = run(options() + QStringList{"--tables", "Tag0305,Event", "--repair"});
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err.toStdString();
    EXPECT_EQ(repaired.out, "Event\t一致\nTag0305\t一致\n");
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"5"});

    journal::Journal journal = journal::Journal::open(dir.filePath("OperationJournal.sqlite"));
    QStringList commands;
    for (const journal::EntrySummary& entry : journal.entries())
        commands.prepend(entry.commandName);
    EXPECT_EQ(commands, (QStringList{"数据复制", "数据核对", "数据核对", "数据修复"}));
}

TEST_F(CopyProgramTest, RefusesBadArgumentsAndUnknownDataSources)
{
    const Result help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--target-dsn", "--range", "--tables", "HOSTSOURCE", "DESTSOURCE", "Exit status",
             "TESSERA_TARGET_PASSWORD", "--password-file", "partly written"})
        EXPECT_TRUE(help.out.contains(word)) << word;

    const QStringList refused[] = {
        options(), // no tables
        options() + QStringList{"--range", "--tables", "SOE"},
        options() + QStringList{"--tables", "Tag0332"},
        options() + QStringList{"--tables", "event"}, // names are compared exactly
        dataSources() + QStringList{"--start", "2008-03-31", "--end", "2008-03-01", "--range"},
        dataSources() + QStringList{"--start", "2008-3-1", "--end", "2008-03-31", "--range"},
        dataSources() + QStringList{"--start", "9999-12-30", "--end", "9999-12-31", "--range"},
        march + QStringList{"--range"}, // no data sources, and no DataSource.ini either
        options() + QStringList{"--range", "--jobs", "0"},
        options() + QStringList{"--range", "--verify", "--repair"},
        options() + QStringList{"--resume", "--verify"},
        options() + QStringList{"--range", "--verify", "--verify-after"},
        options() + QStringList{"--range", "--verify", "--tolerance", "-1"},
    };
    for (const QStringList& arguments : refused)
        EXPECT_EQ(run(arguments).exitCode, 2) << arguments.join(' ').toStdString();

    const Result missing = run(options("NoSuch" + targetDsn) + QStringList{"--tables", "Event"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains("错误：无法查询备数据源的注册信息")) << missing.err.toStdString();
    EXPECT_EQ(missing.out, QString());
}

// Nothing is copied without its journal entry.
TEST_F(CopyProgramTest, AJournalThatCannotBeOpenedStopsTheRunBeforeAnyTable)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("OperationJournal.sqlite"));
    const Result r = run(options() + QStringList{"--tables", "Tag0305,Event"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("无法打开操作日志")) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(rowsOf(target, "SELECT COUNT(*) FROM Tag20080305"), QStringList{"0"});
}

TEST_F(CopyProgramTest, ATableThatEndsTheRunStillGetsItsLineAndTheOthersSayTheyWereNotReached)
{
    // The target refuses to clear the day: the run ends at that table.
    target.execute("INSERT INTO Tag20080305 VALUES('2008-03-05 06:00:00',99,1,9.5,0)");
    target.execute("CREATE TRIGGER keep BEFORE DELETE ON Tag20080305 BEGIN SELECT RAISE(ABORT, 'kept'); END");
    const Result r = run(options() + QStringList{"--tables", "Tag0304,Tag0305,Event"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.out, "Event\t处理成功完成\nTag0305\t处理开始\t\nTag0304\t未处理\t\n");
    EXPECT_TRUE(r.err.contains("删除重复导入的数据失败!")) << r.err.toStdString();
    EXPECT_EQ(rowsOf(target, "SELECT TagID FROM Tag20080305"), QStringList{"99"});
}

// Four days into a server, two at a time, stopped by Ctrl+C once the first
// ended: every day is complete or as it was, and --resume, again two at a
// time, gives the target of one whole run.
TEST_F(CopyProgramTest, AParallelRunIntoAServerStopsAndResumesToTheTargetOfAWholeRun)
{
    const QStringList days{"0301", "0302", "0303", "0304"};
    for (DatabaseKind kind : {DatabaseKind::PostgreSQL, DatabaseKind::MySql}) {
        const TestDatabase& server = testDatabase(kind);
        SKIP_WITHOUT_SERVER(server);
        SCOPED_TRACE(server.name.toStdString());
        db::Connection serverTarget = db::Connection::open(server.connectString());
        QStringList tables;
        for (const QString& day : days) {
            source.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, "Tag" + day, ddl::Generation::Older));
            source.execute(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<60000) "
                                   "INSERT INTO Tag%1 SELECT datetime('2008-%2-%3 00:00:00', '+'||(i % 86400)||"
                                   "' seconds'),i,1,1.5,0 FROM n")
                               .arg(day, day.left(2), day.right(2)));
            const QString newTable = "TAG2008" + day;
            serverTarget.execute(ddl::dropTableSql(newTable));
            serverTarget.execute(ddl::createTelemetryTableSql(kind, newTable, ddl::Generation::Newer));
            insertSample(
                serverTarget, kind, newTable, "2008-" + day.left(2) + "-" + day.right(2) + " 06:00:00", 99, 9.5);
            tables.prepend("Tag" + day);
        }
        const QStringList intoServer
            = dataSources(server.dsn, server.user, server.password) + march + QStringList{"--jobs", "2"};
        // Each day holds the source's 60,000 samples, or its own one sample.
        auto dayState = [&](const QString& day) -> QString {
            const QString sql = "SELECT COUNT(*), COUNT(CASE WHEN nValue=9.5 THEN 1 END) FROM TAG2008" + day;
            const QString counts = rowsOf(serverTarget, sql).value(0);
            return counts == "60000|0" ? "copied" : counts == "1|1" ? "as it was" : "mixed";
        };

        QProcess process;
        start(process, intoServer + QStringList{"--tables", tables.join(',')});
        ASSERT_TRUE(process.waitForStarted());
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(30000))
            out += process.readAllStandardOutput();
        ::kill(pid_t(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(60000));
        out += process.readAllStandardOutput();
        EXPECT_EQ(process.exitCode(), 3); // stopped
        EXPECT_TRUE(QString::fromUtf8(out).startsWith("Tag0304\t处理成功完成\t60000\n")) << out.toStdString();
        for (const QString& day : days)
            EXPECT_NE(dayState(day), "mixed") << day.toStdString();

        const Result resumed = run(intoServer + QStringList{"--resume"});
        EXPECT_EQ(resumed.exitCode, 0) << resumed.err.toStdString();
        for (const QString& day : days)
            EXPECT_EQ(dayState(day), "copied") << day.toStdString();
        for (const QString& day : days) {
            serverTarget.execute(ddl::dropTableSql("TAG2008" + day));
            source.execute(ddl::dropTableSql("Tag" + day));
        }
    }
}

// Killed outright (SIGKILL) in the middle of a six-table run: the day being
// written is rolled back by the database, and --resume finishes the run.
TEST_F(CopyProgramTest, AKilledRunResumesToTheTargetOfAWholeRun)
{
    QProcess process;
    QByteArray out;
    startLongDayCopy(process, {"Tag0301", "Tag0302", "Tag0303", "Tag0304", "Tag0305", "Event"}, out);
    process.kill();
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
    expectResumedToAWholeRun();
}

} // namespace
