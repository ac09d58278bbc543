#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/Scope.h"
#include "text/DateTexts.h"
#include "view/ViewMode.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

// The four event-record kinds (operation events, limit alarms, remote-signal
// changes, SOE events) as data: table, columns, keys, texts, query levels and
// dialog fields. One engine (statements here, commands and dialogs in the UI
// library) serves all four; what differs between them lives in these
// descriptions only.
namespace tessera {

namespace db {
class Connection;
}

namespace records {

// How a column's value is written into a statement.
enum class ColumnType {
    Integer, // bare decimal
    Real,    // quoted "%f" text: the columns take it, and the copy writes bare numbers
    Date,    // date literal of the database kind
    Time,    // time literal of the database kind
    Text,    // quoted, single quotes doubled
};

struct EventColumn {
    QString name; // as the statements spell it
    ColumnType type;
};

// A record as the list shows it: one text per column, by position; dates
// yyyy-mm-dd, times hh:mm:ss, integers decimal, reals as stored or "%f".
using Record = QStringList;

// A message box: owned by the frame or dialog with a caption, or the
// application's standard box when the caption is empty.
struct Message {
    QString text;
    QString caption;
};

// One way of narrowing a query: the catalogue columns it filters on (station,
// then switch, then tag) and its ORDER BY (empty: database order).
struct QueryLevel {
    QStringList filters;
    QString orderBy;
};

enum class FieldWidget {
    Integer,       // line edit, integer in [min, max]
    Real,          // line edit, single-precision real in [min, max]
    Text,          // line edit
    MultiLineText, // plain text edit
    Date,          // date picker
    Time,          // time picker
    Station,       // catalogue picker
    Switch,        // catalogue picker, filtered by the kind's tag type
    Tag,           // catalogue picker, filtered by the kind's tag type
    AlarmName,     // the four alarm names
    HeldList,      // a list that stays empty; the value is the one held from the row
};

// How one of the leading cells of a list row is made from its column.
enum class CellRead {
    Text,        // the driver's text
    Date,        // a date value as yyyy-mm-dd; empty when there is none
    Time,        // the hh:mm:ss of a date-time text (characters 11 to 18)
    TrimmedTime, // the same, trailing blanks removed first
};

// How the record list shows a kind's rows.
struct ListCells {
    std::array<CellRead, 3> leading; // cells 0..2 from columns 0..2; later cells are texts
    int lastColumn = 0;              // cells beyond it stay empty
    Message failure;                 // the message when the rows cannot be read
};

// One field of an edit dialog; the fields are laid out and checked in order.
struct EditField {
    int column = 0;
    QString label;
    QString objectName;
    FieldWidget widget = FieldWidget::Text;
    double minimum = 0;
    double maximum = 0;
    int maxLength = 0;       // 0: open
    QString requiredMessage; // empty: may stay empty (pickers: must have a selection)
    bool editableInModify = true;
    bool trimmed = false; // trailing blanks go before the check and the statement
};

struct EventKind {
    ViewMode mode;
    QString table;
    ListCells list;
    std::vector<EventColumn> columns;
    int dateColumn = 0;
    int timeColumn = 1;
    int millisecondColumn = 2;

    QList<int> updateSet;        // columns a modify rewrites, in statement order
    QList<int> updateKey;        // columns an UPDATE addresses a record by
    QList<int> deleteKey;        // columns a DELETE addresses a record by
    QList<int> deleteKeyAsShown; // text key columns used as shown (the rest lose trailing blanks)
    QList<int> clearedOnAdd;     // prefill columns an add from a selected row leaves empty

    // Captions of the commands' own boxes: the query's view check, and the
    // view check, selection and confirmation of add, modify and delete.
    QString queryCaption;
    QString commandCaption;
    QString viewCheckText;
    QString noSelectionForModify;
    QString noSelectionForDelete;
    Message deleteFailure;

    // Query.
    QString queryDialogCaption;
    QString dateOrderCaption; // the "start later than end" box of the query dialog
    Message queryFailure;
    bool queryHasStation = false;
    bool queryHasTag = false;
    QString queryTagLabel;
    QString querySwitchAlias; // the switch query's column alias in the query dialog
    std::vector<QueryLevel> queryLevels;
    bool queryRowsAtTop = false; // every result row goes to the top (the list shows the reverse order)
    bool queryTrimsTime = false; // trailing blanks of the time text go before the cut

    // Edit dialog.
    QString addCaption;
    QString modifyCaption;
    QString requiredCaption;
    Message addFailure;
    Message modifyFailure;
    QString tagType; // catalogue TagType of switches and tags; empty: no catalogue pickers
    bool stationChangeSelectsLastSwitch = false;
    // Shown when another switch (or line name) is chosen with no station
    // chosen; empty: the kind does not check.
    Message noStationChosen;
    std::vector<EditField> fields;

    int columnCount() const { return int(columns.size()); }
    const EditField* field(int column) const;
};

// The four kinds in the order of their view codes.
const std::vector<EventKind>& eventKinds();
const EventKind* eventKind(ViewMode mode);

// The alarm names of the limit-alarm dialog, in list order.
const QStringList& alarmNames();

// The "all" entries of the query pickers.
inline const QString kAllStations = QStringLiteral("所有厂站");
inline const QString kAllSwitches = QStringLiteral("所有回路");
inline const QString kAllTags = QStringLiteral("所有变量");

// The literal of one column's value as a statement takes it.
QString valueLiteral(DatabaseKind db, ColumnType type, const QString& value);

QString insertSql(const EventKind& kind, DatabaseKind db, const Record& record);
// Sets the kind's update columns from `record` and addresses the record by
// the update key of the same record.
QString updateSql(const EventKind& kind, DatabaseKind db, const Record& record);
// The DELETE of a list row: key texts lose trailing blanks unless kept as shown.
QString deleteSql(const EventKind& kind, DatabaseKind db, const Record& row);
// The conditions those statements address a record by, as typed clauses
// (the journal keeps the rows they select) and as SQL. An added record is
// addressed as a modified one.
journal::ScopeClause updateClause(const EventKind& kind, const Record& record);
journal::ScopeClause deleteClause(const EventKind& kind, const Record& row);
QString updateCondition(const EventKind& kind, DatabaseKind db, const Record& record);
QString deleteCondition(const EventKind& kind, DatabaseKind db, const Record& row);

// What the user narrowed a query to; texts with trailing blanks removed.
struct QueryChoice {
    QDate start;
    QDate end;
    QString station = kAllStations;
    QString switchName = kAllSwitches;
    QString tag = kAllTags;
};
// The SELECT of the first level that fits the choice: "all" stations, then
// "all" switches, then "all" tags, then fully narrowed.
QString querySql(const EventKind& kind, DatabaseKind db, const QueryChoice& choice);

// Reads a query's rows as list cells in result order. Throws db::DbError
// after delivering the rows read before the failure.
void readQuery(db::Connection& connection, const EventKind& kind, const QString& sql,
               const std::function<void(const Record&)>& row);

// Runs an UPDATE; false when no record has its key (deleted meanwhile, or a
// key that never matched). Databases that count changed rather than matched
// rows report 0 for an unchanged record, so a 0 is confirmed by a count.
// Throws db::DbError.
bool updateRecord(db::Connection& connection, const EventKind& kind, DatabaseKind db, const Record& record);

// The catalogue behind the pickers. Values lose trailing blanks. Throw db::DbError.
QString stationsSql();
QString switchesSql(const QString& station, const QString& tagType, const QString& alias = QStringLiteral("Switch"));
QString tagsSql(const QString& station, const QString& switchName, const QString& tagType);
QStringList catalogueValues(db::Connection& connection, const QString& sql);

} // namespace records
} // namespace tessera
