#pragma once

#include "schema/TableNames.h"

#include <QString>
#include <QStringList>

#include <vector>

// The historical database as the program sees it: the tables, their columns
// in the order a SELECT * returns them (readers take columns by position),
// the value kind of each column and the columns that address a row. The
// SCADA owns the schema; the program never creates or alters a table, so
// this description drives reading, writing, copying and the test DDL.
namespace tessera {

// How a column's value is read and written.
enum class ValueKind {
    Text,
    Integer,
    Real,       // double precision
    RealSingle, // single precision in the older generation; read as such by the copy
    Date,       // date-time column read as a date (ADate)
    Time,       // date-time column whose date part is ignored (ATime of events)
    DateTime,   // an instant to the second (ATime of telemetry)
};

struct Column {
    QString name;
    ValueKind kind;
};

struct TableLayout {
    QString name; // empty for the telemetry tables, named per day
    std::vector<Column> columns;
    QStringList updateKey; // columns an UPDATE of one row addresses it by
    QStringList deleteKey; // columns a DELETE of one row addresses it by

    QStringList columnNames() const;
    // Position of a column, any letter case (the databases ignore it); -1 if absent.
    int columnIndex(const QString& columnName) const;
};

enum class SchemaTable {
    EqpTagInfo,  // tag catalogue
    Event,       // operation events
    LimitAlarm,  // limit-violation alarms
    RSChange,    // remote-signal changes
    SOE,         // sequence-of-events records
    Fault,       // protection faults (copy only)
    SDaySummary, // daily line summary (copy only)
    RSSummary,   // daily remote-signal summary (copy only)
    Telemetry,   // daily telemetry tables, see TelemetryTableName
};

const TableLayout& tableLayout(SchemaTable table);
// Every table in the order of SchemaTable.
const std::vector<SchemaTable>& allSchemaTables();

// TagType values of EqpTagInfo.
inline const QString kTagTypeTelemetry = QStringLiteral("遥测"); // analogue measurement
inline const QString kTagTypeSignal = QStringLiteral("遥信");    // two-state status
inline const QString kTagTypePulse = QStringLiteral("遥脉");     // energy pulse counter

// Pseudo-station of the SCADA's global variables; the tree leaves it out.
inline const QString kRealtimeDatabaseStation = QStringLiteral("实时数据库");

// The columns of a telemetry table as statements name them, in order:
// "ATime,TagID,DataType,nValue,nValueChange".
inline const QString kSampleColumns = QStringLiteral("ATime,TagID,DataType,nValue,nValueChange");

// DataType of telemetry samples set by hand through this program.
inline constexpr int kManualDataType = 6;

// The tag catalogue behind the navigation tree.
inline const QString kTagCatalogueTreeSql = QStringLiteral(
    "SELECT * FROM EqpTagInfo WHERE TagType IN('遥脉','遥测') AND (StationName<>'实时数据库') "
    "ORDER BY StationName,SwitchName,TagType,TagName");

} // namespace tessera
