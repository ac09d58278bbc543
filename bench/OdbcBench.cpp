// Rows per second of the ODBC layer on SQLite: one autocommitted INSERT per
// row, the chunked bulk path, and reading as text; beside SQLite's own
// INSERT ... SELECT between two attached files, measured in the same run.
#include "BenchSupport.h"

#include "db/BulkWriter.h"
#include "db/Connection.h"
#include "db/ResultSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

using namespace tessera;
using namespace tessera::bench;

namespace {

const QString kTable = QStringLiteral("CREATE TABLE Tag20260101(ATime DATETIME, TagID INTEGER, DataType INTEGER, "
                                      "nValue DOUBLE, nValueChange DOUBLE)");

db::Connection openSqlite(const QString& path)
{
    return db::Connection::open(QStringLiteral("Driver=SQLite3;Database=%1").arg(path));
}

QDateTime sampleTime(int i)
{
    return QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC).addSecs(i % 86400);
}

double singleInserts(const QString& path, int rows)
{
    db::Connection c = openSqlite(path);
    c.execute(kTable);
    Stopwatch watch;
    for (int i = 0; i < rows; ++i)
        c.execute(QStringLiteral("INSERT INTO Tag20260101(ATime,TagID,DataType,nValue,nValueChange) "
                                 "VALUES('%1',%2,6,%3,%4)")
                      .arg(sampleTime(i).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")))
                      .arg(i / 86400 + 1)
                      .arg(i * 0.5, 0, 'f', 2)
                      .arg(0.5, 0, 'f', 2));
    return rows / watch.seconds();
}

double bulkInserts(const QString& path, int rows)
{
    db::Connection c = openSqlite(path);
    c.execute(kTable);
    Stopwatch watch;
    db::BulkWriter writer(c, QStringLiteral("INSERT INTO Tag20260101(ATime,TagID,DataType,nValue,nValueChange) "
                                            "VALUES(?,?,?,?,?)"),
                          5);
    for (int i = 0; i < rows; ++i)
        writer.addRow({sampleTime(i), qint64(i / 86400 + 1), qint64(6), i * 0.5, 0.5});
    const auto summary = writer.finish();
    const double rate = summary.written / watch.seconds();
    if (summary.written != rows)
        std::fprintf(stderr, "bulk path wrote %lld of %d rows\n", static_cast<long long>(summary.written), rows);
    return rate;
}

double readAsText(const QString& path, int expected)
{
    db::Connection c = openSqlite(path);
    Stopwatch watch;
    auto rs = c.query(QStringLiteral("SELECT ATime,TagID,DataType,nValue,nValueChange FROM Tag20260101"));
    qint64 rows = 0, characters = 0;
    while (rs.next()) {
        for (int col = 0; col < 5; ++col)
            characters += rs.string(col).size();
        ++rows;
    }
    if (rows != expected || characters == 0)
        std::fprintf(stderr, "read %lld of %d rows\n", static_cast<long long>(rows), expected);
    return rows / watch.seconds();
}

double sqliteInsertSelect(const QString& from, const QString& to, int rows)
{
    sqlite3* db = nullptr;
    sqlite3_open(to.toUtf8().constData(), &db);
    sqlite3_exec(db, kTable.toUtf8().constData(), nullptr, nullptr, nullptr);
    const QByteArray attach = QStringLiteral("ATTACH DATABASE '%1' AS src").arg(from).toUtf8();
    sqlite3_exec(db, attach.constData(), nullptr, nullptr, nullptr);
    Stopwatch watch;
    char* error = nullptr;
    sqlite3_exec(db, "INSERT INTO main.Tag20260101 SELECT * FROM src.Tag20260101", nullptr, nullptr, &error);
    const double seconds = watch.seconds();
    if (error) {
        std::fprintf(stderr, "sqlite3: %s\n", error);
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return rows / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const int singleRows = 3000;
    const int bulkRows = 200000;

    std::printf("ODBC layer on SQLite (rows per second, higher is better)\n");
    const double single = singleInserts(dir.filePath(QStringLiteral("single.db")), singleRows);
    const double bulk = bulkInserts(dir.filePath(QStringLiteral("bulk.db")), bulkRows);
    const double read = readAsText(dir.filePath(QStringLiteral("bulk.db")), bulkRows);
    const double reference = sqliteInsertSelect(dir.filePath(QStringLiteral("bulk.db")),
                                                dir.filePath(QStringLiteral("reference.db")), bulkRows);
    printRate("one autocommitted INSERT per row", singleRows, single);
    printRate("bulk path (prepared, chunked)", bulkRows, bulk);
    printRate("read as text", bulkRows, read);
    printRate("reference: sqlite3 INSERT ... SELECT", bulkRows, reference);
    std::printf("bulk path / single INSERT: %.0fx (goal: at least 50x and 100,000 rows/s)\n", bulk / single);
    return 0;
}
