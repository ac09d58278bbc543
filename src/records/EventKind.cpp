#include "records/EventKind.h"

#include "text/DecimalText.h"
#include "text/Trimming.h"
#include "db/Connection.h"
#include "db/ResultSet.h"
#include "schema/Schema.h"

// The field descriptions name only the members that differ from their
// defaults; GCC 12 warns about every member a designated initializer leaves
// to its default initializer.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tessera::records {

namespace {

using enum ColumnType;
using W = FieldWidget;

EditField dateField(int column, const QString& label)
{
    return {.column = column,
        .label = label,
        .objectName = QStringLiteral("date"),
        .widget = W::Date,
        .editableInModify = false};
}

EditField timeField(int column, const QString& label)
{
    return {.column = column,
        .label = label,
        .objectName = QStringLiteral("time"),
        .widget = W::Time,
        .editableInModify = false};
}

EditField millisecondField(int column, const QString& label)
{
    return {.column = column,
        .label = label,
        .objectName = QStringLiteral("milliseconds"),
        .widget = W::Integer,
        .maximum = 1000,
        .editableInModify = false};
}

EditField stationField()
{
    return {.column = 3,
        .label = QStringLiteral("厂站名称:"),
        .objectName = QStringLiteral("station"),
        .widget = W::Station,
        .requiredMessage = QStringLiteral("请选择厂站名称!"),
        .editableInModify = false};
}

EditField switchField()
{
    return {.column = 4,
        .label = QStringLiteral("回路名称:"),
        .objectName = QStringLiteral("switch"),
        .widget = W::Switch,
        .requiredMessage = QStringLiteral("请选择回路名称!"),
        .editableInModify = false};
}

const QString kTimeOrder = QStringLiteral("ADate DESC,ATime DESC");

ColumnType columnTypeOf(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Integer:
        return Integer;
    case ValueKind::Real:
    case ValueKind::RealSingle:
        return Real;
    case ValueKind::Date:
    case ValueKind::DateTime:
        return Date;
    case ValueKind::Time:
        return Time;
    case ValueKind::Text:
        break;
    }
    return Text;
}

// The columns of an event table as the schema describes them, named as the
// statements spell them.
std::vector<EventColumn> columnsOf(SchemaTable table, const QString& miniSecondSpelling = QStringLiteral("MiniSecond"))
{
    std::vector<EventColumn> columns;
    for (const Column& c : tableLayout(table).columns) {
        const bool miniSecond = c.name.compare(QLatin1String("MiniSecond"), Qt::CaseInsensitive) == 0;
        columns.push_back({miniSecond ? miniSecondSpelling : c.name, columnTypeOf(c.kind)});
    }
    return columns;
}

// Positions of the key columns the schema gives for a table.
QList<int> positionsOf(SchemaTable table, const QStringList& names)
{
    QList<int> positions;
    for (const QString& name : names)
        positions << tableLayout(table).columnIndex(name);
    return positions;
}

void takeSchema(EventKind& k, SchemaTable table, const QString& miniSecondSpelling = QStringLiteral("MiniSecond"))
{
    k.table = tableLayout(table).name;
    k.columns = columnsOf(table, miniSecondSpelling);
    k.updateKey = positionsOf(table, tableLayout(table).updateKey);
    k.deleteKey = positionsOf(table, tableLayout(table).deleteKey);
}

EventKind operationEvents()
{
    EventKind k;
    k.mode = ViewMode::OperationEvents;
    // Operation events lead with their type; the other kinds with the date.
    k.list = {{CellRead::Text, CellRead::Date, CellRead::TrimmedTime}, 7, {QStringLiteral("读取操作事件表失败!"), {}}};
    takeSchema(k, SchemaTable::Event, QStringLiteral("Minisecond"));
    k.dateColumn = 1;
    k.timeColumn = 2;
    k.millisecondColumn = 3;
    k.updateSet = {0, 4, 5, 6, 7};
    k.queryCaption = QStringLiteral("操作事件");
    k.commandCaption = QStringLiteral("操作事件");
    k.viewCheckText = QStringLiteral("请将视图切换到事件显示窗口!");
    k.noSelectionForModify = QStringLiteral("请选择要修改的事件项!");
    k.noSelectionForDelete = QStringLiteral("请选择要删除的事件项!");
    k.deleteFailure = {QStringLiteral("事件删除失败!"), QStringLiteral("事件提示")};
    k.queryDialogCaption = QStringLiteral("操作事件查询");
    k.dateOrderCaption = QStringLiteral("事件查询");
    k.queryFailure = {QStringLiteral("读取操作事件表失败!"), {}};
    k.queryLevels = {{{}, QStringLiteral("ADate DESC,ATime DESC,Minisecond DESC")}};
    k.queryTrimsTime = true;
    k.addCaption = QStringLiteral("事件添加");
    k.modifyCaption = QStringLiteral("事件修改");
    k.requiredCaption = QStringLiteral("操作事件");
    k.addFailure = {QStringLiteral("事件添加失败!"), QStringLiteral("事件添加")};
    k.modifyFailure = {QStringLiteral("事件修改失败!"), QStringLiteral("事件修改")};
    k.fields = {
        {.column = 0,
            .label = QStringLiteral("类型:"),
            .objectName = QStringLiteral("type"),
            .widget = W::Integer,
            .maximum = 100},
        dateField(1, QStringLiteral("日期:")),
        timeField(2, QStringLiteral("时间:")),
        millisecondField(3, QStringLiteral("毫秒:")),
        {.column = 4,
            .label = QStringLiteral("内容:"),
            .objectName = QStringLiteral("content"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写事件内容!")},
        {.column = 5,
            .label = QStringLiteral("运行系统:"),
            .objectName = QStringLiteral("runSystem"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写运行系统!")},
        {.column = 6,
            .label = QStringLiteral("操 作 员:"),
            .objectName = QStringLiteral("operator"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写操作员!")},
        {.column = 7,
            .label = QStringLiteral("备注:"),
            .objectName = QStringLiteral("note"),
            .widget = W::MultiLineText},
    };
    return k;
}

EventKind limitAlarms()
{
    EventKind k;
    k.mode = ViewMode::LimitAlarms;
    k.list = {{CellRead::Date, CellRead::Time, CellRead::Text}, 11,
              {QStringLiteral("查询越限事件表失败!"), QStringLiteral("越限事件")}};
    takeSchema(k, SchemaTable::LimitAlarm);
    k.updateSet = {7, 8, 9, 10, 11};
    k.deleteKeyAsShown = {7};
    k.clearedOnAdd = {11};
    k.queryCaption = QStringLiteral("越限提示");
    k.commandCaption = QStringLiteral("越限提示");
    k.viewCheckText = QStringLiteral("请将视图切换到越限事件显示窗口!");
    k.noSelectionForModify = QStringLiteral("请选择要修改的事件项!");
    k.noSelectionForDelete = QStringLiteral("请选择要修改的事件项!");
    k.deleteFailure = {QStringLiteral("删除遥测越限失败!"), QStringLiteral("遥测越限")};
    k.queryDialogCaption = QStringLiteral("越限查询");
    k.dateOrderCaption = QStringLiteral("越限提示");
    k.queryFailure = {QStringLiteral("查询遥测越限表失败!"), QStringLiteral("越限查询")};
    k.queryHasStation = true;
    k.queryHasTag = true;
    k.queryTagLabel = QStringLiteral("变量名称:");
    k.querySwitchAlias = QStringLiteral("Switch");
    const QString station = QStringLiteral("StationName");
    const QString sw = QStringLiteral("SwitchName");
    k.queryLevels = {{{}, {}}, {{station}, {}}, {{station, sw}, {}}, {{station, sw, QStringLiteral("PointName")}, {}}};
    k.addCaption = QStringLiteral("越限事件添加");
    k.modifyCaption = QStringLiteral("越限事件修改");
    k.requiredCaption = QStringLiteral("遥测越限");
    k.addFailure = {QStringLiteral("添加遥测越限失败!"), QStringLiteral("遥测越限")};
    k.modifyFailure = {QStringLiteral("修改遥测越限失败!"), QStringLiteral("遥测越限")};
    k.tagType = kTagTypeTelemetry;
    k.stationChangeSelectsLastSwitch = true;
    k.fields = {
        stationField(),
        switchField(),
        {.column = 5,
            .label = QStringLiteral("线路名称:"),
            .objectName = QStringLiteral("lineName"),
            .widget = W::Text,
            .editableInModify = false},
        {.column = 6,
            .label = QStringLiteral("变量名称:"),
            .objectName = QStringLiteral("tag"),
            .widget = W::Tag,
            .requiredMessage = QStringLiteral("请选择变量名称!"),
            .editableInModify = false},
        {.column = 7,
            .label = QStringLiteral("告警名称:"),
            .objectName = QStringLiteral("alarmName"),
            .widget = W::AlarmName,
            .editableInModify = false},
        {.column = 8,
            .label = QStringLiteral("告警状态:"),
            .objectName = QStringLiteral("alarmStatus"),
            .widget = W::Text,
            .trimmed = true},
        {.column = 9,
            .label = QStringLiteral("告警数值:"),
            .objectName = QStringLiteral("alarmValue"),
            .widget = W::Real,
            .maximum = 10000000},
        {.column = 10,
            .label = QStringLiteral("越限数值:"),
            .objectName = QStringLiteral("limitValue"),
            .widget = W::Real,
            .maximum = 10000000},
        {.column = 11,
            .label = QStringLiteral("操 作 员:"),
            .objectName = QStringLiteral("operator"),
            .widget = W::Text,
            .maxLength = 50},
        dateField(0, QStringLiteral("日 期:")),
        timeField(1, QStringLiteral("时 间:")),
        millisecondField(2, QStringLiteral("毫 秒:")),
    };
    return k;
}

EventKind signalChanges()
{
    EventKind k;
    k.mode = ViewMode::SignalChanges;
    k.list = {{CellRead::Date, CellRead::Time, CellRead::Text}, 9, {QStringLiteral("读取遥信变位表失败!"), {}}};
    takeSchema(k, SchemaTable::RSChange);
    k.updateSet = {7, 8, 9};
    k.queryCaption = QStringLiteral("越限提示");
    k.commandCaption = QStringLiteral("遥信变位");
    k.viewCheckText = QStringLiteral("请将视图切换到遥信变位显示窗口!");
    k.noSelectionForModify = QStringLiteral("请选择要修改的事件项!");
    k.noSelectionForDelete = QStringLiteral("请选择要修改的事件项!");
    k.deleteFailure = {QStringLiteral("遥信变位删除失败!"), QStringLiteral("遥信变位")};
    k.queryDialogCaption = QStringLiteral("遥信变位查询");
    k.dateOrderCaption = QStringLiteral("越限提示");
    k.queryFailure = {QStringLiteral("查询遥信信息表失败!"), QStringLiteral("越限查询")};
    k.queryHasStation = true;
    k.queryHasTag = true;
    k.queryTagLabel = QStringLiteral("变量名称:");
    k.querySwitchAlias = QStringLiteral("Switch");
    const QString station = QStringLiteral("StationName");
    const QString sw = QStringLiteral("SwitchName");
    // Station and switch list the oldest change first; the other levels the newest.
    k.queryLevels = {{{}, kTimeOrder},
                     {{station}, kTimeOrder},
                     {{station, sw}, QStringLiteral("ADate,ATime")},
                     {{station, sw, QStringLiteral("SignalName")}, kTimeOrder}};
    k.addCaption = QStringLiteral("遥信变位添加");
    k.modifyCaption = QStringLiteral("遥信变位修改");
    k.requiredCaption = QStringLiteral("遥信变位");
    k.addFailure = {QStringLiteral("添加遥信变位失败!"), QStringLiteral("遥信变位")};
    k.modifyFailure = {QStringLiteral("修改遥信变位失败!"), QStringLiteral("遥信变位")};
    k.tagType = kTagTypeSignal;
    k.stationChangeSelectsLastSwitch = true;
    k.noStationChosen = {QStringLiteral("请选择厂站信息!"), QStringLiteral("遥信变位")};
    k.fields = {
        stationField(),
        switchField(),
        {.column = 5,
            .label = QStringLiteral("线路名称:"),
            .objectName = QStringLiteral("lineName"),
            .widget = W::HeldList,
            .editableInModify = false},
        {.column = 6,
            .label = QStringLiteral("信号名称:"),
            .objectName = QStringLiteral("signal"),
            .widget = W::Tag,
            .requiredMessage = QStringLiteral("请选择信号名称!"),
            .editableInModify = false},
        {.column = 7,
            .label = QStringLiteral("信号状态:"),
            .objectName = QStringLiteral("signalStatus"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请选择信号状态!")},
        {.column = 8,
            .label = QStringLiteral("信号数值:"),
            .objectName = QStringLiteral("signalValue"),
            .widget = W::Integer,
            .maximum = 20},
        {.column = 9,
            .label = QStringLiteral("操 作 员:"),
            .objectName = QStringLiteral("operator"),
            .widget = W::Text},
        dateField(0, QStringLiteral("日 期:")),
        timeField(1, QStringLiteral("时 间:")),
        millisecondField(2, QStringLiteral("毫 秒:")),
    };
    return k;
}

EventKind soeEvents()
{
    EventKind k;
    k.mode = ViewMode::SoeEvents;
    k.list = {{CellRead::Date, CellRead::Time, CellRead::Text}, 10, {QStringLiteral("查询SOE信息表失败!"), {}}};
    takeSchema(k, SchemaTable::SOE);
    k.updateSet = {5, 6, 7, 8, 9, 10};
    k.queryCaption = QStringLiteral("越限提示");
    k.commandCaption = QStringLiteral("SOE事件");
    k.viewCheckText = QStringLiteral("请将视图切换到SOE显示窗口!");
    k.noSelectionForModify = QStringLiteral("请选择要修改的事件项!");
    k.noSelectionForDelete = QStringLiteral("请选择要修改的事件项!");
    k.deleteFailure = {QStringLiteral("SOE删除失败!"), QStringLiteral("SOE事件")};
    k.queryDialogCaption = QStringLiteral("SOE查询");
    k.dateOrderCaption = QStringLiteral("SOE事件");
    k.queryFailure = {QStringLiteral("查询SOE信息表失败!"), QStringLiteral("SOE查询")};
    k.queryHasStation = true;
    k.querySwitchAlias = QStringLiteral("SwitchName");
    const QString station = QStringLiteral("StationName");
    k.queryLevels = {{{}, kTimeOrder}, {{station}, kTimeOrder}, {{station, QStringLiteral("SwitchName")}, kTimeOrder}};
    k.queryRowsAtTop = true;
    k.addCaption = QStringLiteral("SOE事件添加");
    k.modifyCaption = QStringLiteral("SOE事件修改");
    k.requiredCaption = QStringLiteral("SOE事件");
    k.addFailure = {QStringLiteral("添加SOE事件失败!"), QStringLiteral("SOE事件")};
    k.modifyFailure = {QStringLiteral("修改SOE事件失败!"), QStringLiteral("SOE事件")};
    k.tagType = kTagTypeSignal;
    k.fields = {
        stationField(),
        switchField(),
        {.column = 5,
            .label = QStringLiteral("线路名称:"),
            .objectName = QStringLiteral("lineName"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写线路名称"),
            .trimmed = true},
        {.column = 6,
            .label = QStringLiteral("SOE类型:"),
            .objectName = QStringLiteral("soeType"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写SOE类型!")},
        {.column = 7,
            .label = QStringLiteral("SOE原因:"),
            .objectName = QStringLiteral("soeReason"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写SOE原因!")},
        {.column = 8,
            .label = QStringLiteral("状  态:"),
            .objectName = QStringLiteral("status"),
            .widget = W::Text,
            .requiredMessage = QStringLiteral("请填写SOE状态!")},
        {.column = 9,
            .label = QStringLiteral("数  值:"),
            .objectName = QStringLiteral("value"),
            .widget = W::Integer,
            .maximum = 20},
        {.column = 10,
            .label = QStringLiteral("操 作 员:"),
            .objectName = QStringLiteral("operator"),
            .widget = W::Text},
        dateField(0, QStringLiteral("日  期:")),
        timeField(1, QStringLiteral("时  间:")),
        millisecondField(2, QStringLiteral("毫  秒:")),
    };
    return k;
}

journal::Value keyValue(ColumnType type, const QString& text)
{
    switch (type) {
    case Integer:
        return qint64(decimalInteger(text));
    case Date:
    case Time:
        return journal::DateTimeText{text};
    case Real:
    case Text:
        break;
    }
    return text;
}

journal::ScopeClause clauseOf(const EventKind& kind, const Record& record, const QList<int>& key, bool trimTexts)
{
    journal::ScopeClause clause;
    for (int c : key) {
        const EventColumn& column = kind.columns[size_t(c)];
        QString value = record.value(c);
        if (trimTexts && column.type == Text && !kind.deleteKeyAsShown.contains(c))
            value = withoutTrailingWhiteSpace(value);
        clause.terms.push_back(journal::equalTo(column.name, keyValue(column.type, value)));
    }
    return clause;
}

} // namespace

const EditField* EventKind::field(int column) const
{
    for (const EditField& f : fields)
        if (f.column == column)
            return &f;
    return nullptr;
}

const std::vector<EventKind>& eventKinds()
{
    static const std::vector<EventKind> kinds{operationEvents(), limitAlarms(), signalChanges(), soeEvents()};
    return kinds;
}

const EventKind* eventKind(ViewMode mode)
{
    for (const EventKind& k : eventKinds())
        if (k.mode == mode)
            return &k;
    return nullptr;
}

const QStringList& alarmNames()
{
    static const QStringList names{QStringLiteral("越上上限"), QStringLiteral("越上限"), QStringLiteral("越下限"),
                                   QStringLiteral("越下下限")};
    return names;
}

QString valueLiteral(DatabaseKind db, ColumnType type, const QString& value)
{
    switch (type) {
    case Integer:
        return QString::number(decimalInteger(value));
    case Real:
    case Text:
        return quotedSqlText(value);
    case Date:
    case Time:
        return FormatDateLiteral(db, value);
    }
    return QString();
}

QString insertSql(const EventKind& kind, DatabaseKind db, const Record& record)
{
    QStringList names;
    QStringList values;
    for (int c = 0; c < kind.columnCount(); ++c) {
        const EventColumn& column = kind.columns[size_t(c)];
        names << column.name;
        values << valueLiteral(db, column.type, record.value(c));
    }
    return QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
        .arg(kind.table, names.join(QLatin1Char(',')), values.join(QLatin1Char(',')));
}

QString updateSql(const EventKind& kind, DatabaseKind db, const Record& record)
{
    QStringList assignments;
    for (int c : kind.updateSet) {
        const EventColumn& column = kind.columns[size_t(c)];
        assignments << column.name + QLatin1Char('=') + valueLiteral(db, column.type, record.value(c));
    }
    return QStringLiteral("UPDATE %1 SET %2 WHERE %3")
        .arg(kind.table, assignments.join(QLatin1Char(',')), updateCondition(kind, db, record));
}

QString deleteSql(const EventKind& kind, DatabaseKind db, const Record& row)
{
    return QStringLiteral("DELETE FROM %1 WHERE %2").arg(kind.table, deleteCondition(kind, db, row));
}

journal::ScopeClause updateClause(const EventKind& kind, const Record& record)
{
    return clauseOf(kind, record, kind.updateKey, false);
}

journal::ScopeClause deleteClause(const EventKind& kind, const Record& row)
{
    return clauseOf(kind, row, kind.deleteKey, true);
}

QString updateCondition(const EventKind& kind, DatabaseKind db, const Record& record)
{
    return journal::clauseSql(db, updateClause(kind, record));
}

QString deleteCondition(const EventKind& kind, DatabaseKind db, const Record& row)
{
    return journal::clauseSql(db, deleteClause(kind, row));
}

QString querySql(const EventKind& kind, DatabaseKind db, const QueryChoice& choice)
{
    size_t level = 3;
    if (choice.station == kAllStations)
        level = 0;
    else if (choice.switchName == kAllSwitches)
        level = 1;
    else if (choice.tag == kAllTags)
        level = 2;
    level = std::min(level, kind.queryLevels.size() - 1);
    const QueryLevel& q = kind.queryLevels[level];
    QString sql = QStringLiteral("SELECT * FROM %1 WHERE ADate>=%2 AND ADate<=%3")
                      .arg(kind.table, FormatDateLiteral(db, dateText(choice.start)),
                           FormatDateLiteral(db, dateText(choice.end)));
    const QStringList values{choice.station, choice.switchName, choice.tag};
    for (qsizetype i = 0; i < q.filters.size(); ++i)
        sql += QStringLiteral(" AND %1=%2").arg(q.filters[i], quotedSqlText(values[i]));
    if (!q.orderBy.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + q.orderBy;
    return sql;
}

void readQuery(db::Connection& connection, const EventKind& kind, const QString& sql,
               const std::function<void(const Record&)>& row)
{
    db::ResultSet rs = connection.query(sql);
    Record cells;
    while (rs.next()) {
        cells.clear();
        for (int c = 0; c < kind.columnCount(); ++c) {
            switch (kind.columns[size_t(c)].type) {
            case Date:
                cells << dateCell(rs.dateTime(c));
                break;
            case Time: {
                const QString text = rs.string(c);
                cells << (kind.queryTrimsTime ? withoutTrailingWhiteSpace(text) : text).mid(11, 8);
                break;
            }
            default:
                cells << rs.string(c);
            }
        }
        row(cells);
    }
}

bool updateRecord(db::Connection& connection, const EventKind& kind, DatabaseKind db, const Record& record)
{
    const qint64 changed = connection.execute(updateSql(kind, db, record));
    if (changed != 0)
        return true;
    db::ResultSet rs = connection.query(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2")
                                            .arg(kind.table, updateCondition(kind, db, record)));
    return rs.next() && decimalInteger(rs.string(0)) > 0;
}

QString stationsSql()
{
    return QStringLiteral("SELECT DISTINCT(StationName) AS Station FROM EqpTagInfo");
}

QString switchesSql(const QString& station, const QString& tagType, const QString& alias)
{
    return QStringLiteral("SELECT DISTINCT(SwitchName) AS %1 FROM EqpTagInfo WHERE StationName=%2 AND TagType=%3")
        .arg(alias, quotedSqlText(station), quotedSqlText(tagType));
}

QString tagsSql(const QString& station, const QString& switchName, const QString& tagType)
{
    return QStringLiteral("SELECT TagName FROM EqpTagInfo WHERE StationName=%1 AND SwitchName=%2 AND TagType=%3")
        .arg(quotedSqlText(station), quotedSqlText(switchName), quotedSqlText(tagType));
}

QStringList catalogueValues(db::Connection& connection, const QString& sql)
{
    QStringList values;
    db::ResultSet rs = connection.query(sql);
    while (rs.next())
        values << withoutTrailingWhiteSpace(rs.string(0));
    return values;
}

} // namespace tessera::records
