#pragma once

#include "journal/ImageRows.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the operation journal records about one writing command.
namespace tessera::journal {

enum class EntryState { Pending = 0, Done = 1, Failed = 2 };

// Rows counted by a command; -1 where it does not know.
struct RowCounts {
    qint64 removed = -1;
    qint64 written = -1;
    qint64 failed = 0;
};

// After-states of at most this many rows are kept row by row, so that a
// refused undo can name the rows that changed; larger ones as a digest.
inline constexpr qsizetype kKeptAfterRows = 1000;

// One table the command changes, within one scope.
struct UnitDraft {
    QString table;
    // The scope as a condition over the table in the archive's dialect. It
    // must take in every row the command may touch, as it was before and as
    // the command leaves it (a changed key: both keys), because an undo
    // deletes what it selects and writes the before-image back.
    QString whereSql;
    QString scopeText; // the scope for people ("2026-01-02 00:00:00 至 23:59:59, TagID 1")
    // Columns that name a row in a refused undo ("ATime", "TagID"); optional.
    QStringList keyColumns;
    // The rows in scope before the command (captureRows). nullopt when they
    // are not kept (a copy into a large target range): not undoable then.
    std::optional<RowSet> before;
};

struct EntryDraft {
    QDateTime at;       // invalid: now
    QString osUser;     // empty: the operating-system user running the program
    QString login;      // Tessera's login name
    QString dataSource; // the DSN
    int kind = -1;      // DatabaseKind as its integer
    int commandId = 0;
    QString commandName; // the command's caption ("批量设置", ...)
    QString scopeText;
    QString reason; // "修改原因"
    std::vector<UnitDraft> units;
    qint64 undoOf = 0; // set by an undo: the entry it reverses
};

struct UnitInfo {
    int index = 0;
    QString table;
    QString whereSql;
    QString scopeText;
    QStringList keyColumns;
    QStringList columns;
    std::vector<ValueType> types;
    bool beforeKept = false;
    qint64 beforeRows = 0;
    // Known once recordAfterState ran for the unit.
    std::optional<qint64> afterRows;
    QByteArray afterDigest;
    bool afterRowsKept = false;
    QString status; // per-unit outcome (a copied table's status)
    std::optional<qint64> statusRows;
};

struct EntrySummary {
    qint64 id = 0;
    QDateTime startedLocal; // wall clock of the machine, as the user read it
    QDateTime startedUtc;
    QDateTime finishedUtc; // invalid while pending
    QString osUser;
    QString login;
    QString dataSource;
    int kind = -1;
    int commandId = 0;
    QString commandName;
    QString scopeText;
    QString reason;
    EntryState state = EntryState::Pending;
    QString outcome;
    RowCounts counts;
    qint64 undoOf = 0;   // this entry reversed that one
    qint64 undoneBy = 0; // that entry reversed this one
    int unitCount = 0;
};

struct EntryDetails : EntrySummary {
    std::vector<UnitInfo> units;
};

// entries(): the newest first; an unset bound or command takes in all.
struct EntryFilter {
    QDate from;                    // local date, inclusive
    QDate to;                      // local date, inclusive
    std::optional<int> commandId;
    int limit = 0;                 // 0: no limit
};

struct JournalSettings {
    bool reasonRequired = false; // a command asks for "修改原因" and refuses an empty one
    int retentionDays = 180;     // entries older than this are removed at start-up
};

// The state a command left in one unit's scope: the number of rows, their
// digest and, when small, the rows themselves.
struct AfterState {
    qint64 rowCount = 0;
    QByteArray digest;
    std::optional<std::vector<Row>> rows;
};

AfterState afterStateOf(const std::vector<Row>& rows, qsizetype keepAtMost = kKeptAfterRows);

QString entryStateText(EntryState state); // "进行中", "完成", "失败"

} // namespace tessera::journal
