#include "schema/Schema.h"


namespace tessera {

namespace {

using enum ValueKind;

std::vector<TableLayout> buildLayouts()
{
    // Event rows carry their time stamp in three columns.
    const Column aDate{QStringLiteral("ADate"), Date};
    const Column aTime{QStringLiteral("ATime"), Time};
    const Column miniSecond{QStringLiteral("MiniSecond"), Integer};
    auto text = [](const char* name) { return Column{QString::fromLatin1(name), Text}; };
    auto integer = [](const char* name) { return Column{QString::fromLatin1(name), Integer}; };
    auto real = [](const char* name) { return Column{QString::fromLatin1(name), Real}; };
    auto single = [](const char* name) { return Column{QString::fromLatin1(name), RealSingle}; };
    auto keys = [](std::initializer_list<const char*> names) {
        QStringList list;
        for (const char* n : names)
            list << QString::fromLatin1(n);
        return list;
    };

    std::vector<TableLayout> layouts;
    layouts.reserve(allSchemaTables().size());

    layouts.push_back({QStringLiteral("EqpTagInfo"),
                       {text("StationName"), text("SwitchName"), text("TagType"), text("TagName"),
                        integer("TagID")},
                       {},
                       {}});

    const QStringList eventKey = keys({"ADate", "ATime", "MiniSecond"});
    layouts.push_back({QStringLiteral("Event"),
                       {integer("AType"), aDate, aTime, miniSecond, text("Contents"),
                        text("RunSystem"), text("Operator"), text("UserNote")},
                       eventKey,
                       eventKey});

    layouts.push_back({QStringLiteral("LimitAlarm"),
                       {aDate, aTime, miniSecond, text("StationName"), text("SwitchName"),
                        text("LineName"), text("PointName"), text("AlarmName"), text("AlarmStatus"),
                        single("AlarmValue"), single("AlarmLimit"), text("Operator")},
                       keys({"ADate", "ATime", "MiniSecond", "StationName", "SwitchName", "LineName",
                             "PointName"}),
                       keys({"ADate", "ATime", "MiniSecond", "StationName", "SwitchName", "PointName",
                             "AlarmName"})});

    const QStringList signalKey = keys({"ADate", "ATime", "MiniSecond", "StationName", "SwitchName",
                                        "LineName", "SignalName"});
    layouts.push_back({QStringLiteral("RSChange"),
                       {aDate, aTime, miniSecond, text("StationName"), text("SwitchName"),
                        text("LineName"), text("SignalName"), text("SignalStatus"), integer("nValue"),
                        text("Operator")},
                       signalKey,
                       signalKey});

    layouts.push_back({QStringLiteral("SOE"),
                       {aDate, aTime, miniSecond, text("StationName"), text("SwitchName"),
                        text("LineName"), text("SOEType"), text("SOEReason"), text("Status"),
                        integer("nValue"), text("Operator")},
                       keys({"ADate", "ATime", "MiniSecond", "StationName", "SwitchName"}),
                       keys({"ADate", "ATime", "MiniSecond", "StationName", "SwitchName", "LineName",
                             "SOEReason"})});

    // The electrical values are text in quotes, as the SCADA writes them.
    layouts.push_back({QStringLiteral("Fault"),
                       {aDate, aTime, miniSecond, text("StationName"), text("SwitchName"),
                        text("LineName"), text("Action"), integer("nValue"), text("ProtectName"),
                        text("FaultType"), text("Operator"), text("GenerateType"), text("FaultDist"),
                        text("PreFaultI"), text("PreFaultV"), text("FaultI"), text("FaultV")},
                       {},
                       {}});

    layouts.push_back({QStringLiteral("SDaySummary"),
                       {aDate, text("StationName"), text("SwitchName"), text("LineName"),
                        single("PeakKwh"), single("NormalKwh"), single("BottomKwh"), single("VAGood"),
                        single("VBGood"), single("VCGood"), single("RFactor"), single("MinP"),
                        single("MaxP"), single("MeanP"), single("MinQ"), single("MaxQ"),
                        single("MeanQ"), single("OffTime")},
                       {},
                       {}});

    layouts.push_back({QStringLiteral("RSSummary"),
                       {aDate, text("StationName"), text("SwitchName"), text("SignalName"),
                        real("OnTime"), integer("OffTime"), integer("OnCount")},
                       {},
                       {}});

    const QStringList sampleKey = keys({"ATime", "TagID"});
    layouts.push_back({QString(),
                       {Column{QStringLiteral("ATime"), DateTime}, integer("TagID"),
                        integer("DataType"), real("nValue"), real("nValueChange")},
                       sampleKey,
                       sampleKey});
    return layouts;
}

} // namespace

const std::vector<SchemaTable>& allSchemaTables()
{
    static const std::vector<SchemaTable> tables{
        SchemaTable::EqpTagInfo, SchemaTable::Event,       SchemaTable::LimitAlarm,
        SchemaTable::RSChange,   SchemaTable::SOE,         SchemaTable::Fault,
        SchemaTable::SDaySummary, SchemaTable::RSSummary,  SchemaTable::Telemetry,
    };
    return tables;
}

const TableLayout& tableLayout(SchemaTable table)
{
    static const std::vector<TableLayout> layouts = buildLayouts();
    return layouts.at(static_cast<std::size_t>(table));
}

QStringList TableLayout::columnNames() const
{
    QStringList names;
    names.reserve(qsizetype(columns.size()));
    for (const Column& c : columns)
        names << c.name;
    return names;
}

int TableLayout::columnIndex(const QString& columnName) const
{
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name.compare(columnName, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

} // namespace tessera
