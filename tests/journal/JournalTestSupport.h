#pragma once

#include "QtPrinters.h"

#include "journal/ImageRows.h"
#include "journal/Journal.h"

#include <QDir>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace tessera::test {

// A value with its type, so that 5 and '5' or 0 and -0 read differently.
inline QString typedText(const journal::Value& v)
{
    static const char* const tags[] = {"null", "int", "real", "text", "time"};
    return QStringLiteral("%1:%2").arg(QLatin1String(tags[v.index()]), journal::displayText(v));
}

inline QString rowText(const journal::Row& row)
{
    QStringList cells;
    for (const journal::Value& v : row)
        cells << typedText(v);
    return cells.join(QLatin1Char('|'));
}

// The rows as sorted lines: equal for the same multiset of rows, readable
// in a failure message.
inline QStringList rowLines(const std::vector<journal::Row>& rows)
{
    QStringList lines;
    for (const journal::Row& row : rows)
        lines << rowText(row);
    lines.sort();
    return lines;
}

inline std::vector<qint64> idsOf(const std::vector<journal::EntrySummary>& entries)
{
    std::vector<qint64> ids;
    for (const auto& e : entries)
        ids.push_back(e.id);
    return ids;
}

// A journal file in a folder of its own, removed with the fixture.
class TempJournal {
public:
    TempJournal() { EXPECT_TRUE(m_dir.isValid()); }
    QString path() const { return m_dir.filePath(QStringLiteral("journal.sqlite")); }
    QString folder() const { return m_dir.path(); }
    QStringList files() const { return QDir(m_dir.path()).entryList(QDir::Files, QDir::Name); }

private:
    QTemporaryDir m_dir;
};

// Runs SQL on a journal file as another program (or a hand editing it) would.
inline void execOn(const QString& path, const QString& sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "") << " in " << sql.toStdString();
    sqlite3_free(error);
    sqlite3_close(db);
}

inline journal::EntryDraft draftOf(const QString& command, std::vector<journal::UnitDraft> units = {})
{
    journal::EntryDraft draft;
    draft.login = QStringLiteral("wardenaccount");
    draft.dataSource = QStringLiteral("TesseraDemo");
    draft.kind = 4;
    draft.commandId = 32800;
    draft.commandName = command;
    draft.scopeText = QStringLiteral("2026-01-02 全天");
    draft.reason = QStringLiteral("补录缺失数据");
    draft.units = std::move(units);
    return draft;
}

} // namespace tessera::test
