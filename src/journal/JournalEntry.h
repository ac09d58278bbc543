#pragma once

#include "journal/ImageRows.h"
#include "journal/Scope.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
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

// The images of a unit: the rows before the command and the rows it left.
enum class Side { Before = 0, After = 1 };

// One table the command changes, within one scope.
struct UnitDraft {
    // The rows the command may touch, as they were before and as the command
    // leaves them (a changed key: both keys), because an undo deletes what
    // the scope holds and writes the before-image back.
    UnitScope scope;
    QString scopeText; // the scope for people ("2026-01-02 00:00:00 至 23:59:59, TagID 1")
    // Columns that name a row in a refused undo ("ATime", "TagID"); optional.
    QStringList keyColumns;
    // A small before-image taken whole (the copy's); a command streams its
    // image into the entry instead (ImageWriter). nullopt: none given here.
    std::optional<RowSet> before;
};

struct EntryDraft {
    QDateTime at;       // invalid: now
    QString osUser;     // empty: the operating-system account running the program
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
    // The scope rebuilt from the journal's typed fields (or an old entry's
    // condition); nullopt when they do not make one: then it cannot be undone.
    std::optional<UnitScope> scope;
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
    bool sortedDigest = false; // the after digest is SortedRowDigest's (first schema)
    QString status; // per-unit outcome (a copied table's status)
    std::optional<qint64> statusRows;
    QString problem; // what the checks on reading found wrong; empty when nothing
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
    // The process that ran the command (Journal::isAlive).
    qint64 pid = 0;
    QString host;
    QString processStart;
    // What the checks on reading found wrong: the entry is listed as
    // unreadable and cannot be undone. Empty when nothing.
    QString problem;
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
    // "单条记录上限": above this many rows a command asks whether to keep
    // its before-image at all.
    qint64 imageLimit = 2000000;
};

// The state a command left in one unit's scope: the number of rows, their
// digest (RowDigest) and, when small, the rows themselves.
struct AfterState {
    qint64 rowCount = 0;
    QByteArray digest;
    std::optional<std::vector<Row>> rows;
};

AfterState afterStateOf(const std::vector<Row>& rows, qsizetype keepAtMost = kKeptAfterRows);

// An after-state made a row at a time, keeping the rows while they are few.
class AfterStateBuilder {
public:
    explicit AfterStateBuilder(qsizetype keepAtMost = kKeptAfterRows) : m_keepAtMost(keepAtMost) {}
    void add(const Row& row);
    // A row in the journal's encoding.
    void addEncoded(QByteArrayView bytes);
    AfterState result() const;

private:
    void keep(const std::function<Row()>& row);

    qsizetype m_keepAtMost;
    RowDigest m_digest;
    std::vector<Row> m_rows;
    bool m_keeping = true;
};

QString entryStateText(EntryState state); // "进行中", "完成", "失败"

} // namespace tessera::journal
