#pragma once

#include "OdbcTestEnvironment.h"
#include "SchemaDdl.h"

#include "copy/CopyRun.h"
#include "db/Connection.h"
#include "db/ResultSet.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace tessera::test {

// Keeps what a copy reports, for the tests to look at.
class RecordingReport : public copy::CopyReport {
public:
    void setCell(int row, copy::CopyColumn column, const QString& text) override { cells[{row, int(column)}] = text; }
    void message(const QString& text, const QString& caption) override { messages.push_back({text, caption}); }
    void progress(int done, int total, double fraction) override
    {
        progressCalls.push_back({done, total});
        ++progressCount;
    }
    // The run asks before every table, before every delete and after every
    // row: the count of these checks places a fault exactly.
    bool stopRequested() override
    {
        ++checks;
        if (onCheck)
            onCheck(checks);
        return stopAfterChecks >= 0 && checks > stopAfterChecks;
    }
    void tableEnded(int row) override
    {
        endedRows.push_back(row);
        if (onTableEnded)
            onTableEnded(row);
    }

    QString cell(int row, copy::CopyColumn column) const
    {
        const auto found = cells.find({row, int(column)});
        return found == cells.end() ? QString() : found->second;
    }
    QString status(int row) const { return cell(row, copy::CopyColumn::Status); }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto& m : messages)
            texts << m.first;
        return texts;
    }

    std::map<std::pair<int, int>, QString> cells;
    std::vector<std::pair<QString, QString>> messages;
    std::vector<std::pair<int, int>> progressCalls;
    std::vector<int> endedRows;
    int progressCount = 0;
    int stopAfterChecks = -1; // -1: never stop
    int checks = 0;
    std::function<void(int check)> onCheck;  // e.g. kills a connection at a given check
    std::function<void(int row)> onTableEnded;
};

inline QString sqliteConnectString(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1").arg(path);
}

// An older-generation SQLite database: the event and summary tables, and the
// calendar-day tables asked for.
inline db::Connection makeOlderDatabase(const QString& path, const QStringList& calendarDayTables = {})
{
    QFile::remove(path);
    db::Connection c = db::Connection::open(sqliteConnectString(path));
    for (const QString& sql : ddl::createSchemaSql(DatabaseKind::SQLite))
        c.execute(sql);
    for (const QString& table : calendarDayTables)
        c.execute(ddl::createTelemetryTableSql(DatabaseKind::SQLite, table, ddl::Generation::Older));
    return c;
}

// Adds a user data source to the test's user odbc.ini.
// Every row of a query as texts joined by '|', in the query's order.
inline QStringList rowsOf(db::Connection& c, const QString& sql)
{
    QStringList rows;
    db::ResultSet rs = c.query(sql);
    while (rs.next()) {
        QStringList cells;
        for (int i = 0; i < rs.columnCount(); ++i)
            cells << rs.string(i);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace tessera::test
