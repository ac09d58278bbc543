#pragma once

#include "dialect/DatabaseKind.h"
#include "journal/Scope.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

// The small pieces every telemetry command shares: time texts, the random
// source of synthetic values, the tag lists of switches, and the rules that
// turn the tree's selection into the samples a command acts on.
namespace tessera {

struct CatalogueNode;

namespace telemetry {

// The literal of a day at a time of day, for the connection's kind.
QString instantLiteral(DatabaseKind kind, const QDate& day, const QTime& time);
// The exclusive end of a range whose last second is `end`: the literal of one
// second later, the next day's 00:00:00 for 23:59:59. A sample stored with a
// fraction of a second (23:59:59.500) then still lies inside the range.
QString rangeEndLiteral(DatabaseKind kind, const QDate& day, const QTime& end);

// Uniform integers 0 to 32767 from a seed, as the C library's rand() gives
// them; seeded from a millisecond clock in use, from a fixed seed in tests.
class RandomSource {
public:
    static constexpr int kMax = 32767;
    explicit RandomSource(quint32 seed) : m_state(seed) {}
    static RandomSource fromClock();
    int next();

private:
    quint32 m_state;
};

// minimum + r * (1/32767) * (maximum - minimum) in single precision: both
// bounds can be drawn.
float RandomBetween(RandomSource& random, float maximum, float minimum);

// The tags the tree shows under a switch, found by exact station and switch
// name (first match); none when either is not in the catalogue.
std::vector<int> tagIdsUnder(const CatalogueNode& catalogue, const QString& station, const QString& switchName);
// The same as "TagID=a OR TagID=b ...".
QString TagIdList(const CatalogueNode& catalogue, const QString& station, const QString& switchName);

// What the tree's selected item is, as far as the commands need to know.
struct TreeItemInfo {
    bool exists = false;
    int data = 0;
    QString text;
    bool hasParent = false;
    int parentData = 0;
    QString parentText;
    bool parentIsTop = false; // the parent is the tree's top item
};

// The samples a command acts on.
struct TelemetryScope {
    enum class Kind { Tag, Switch, Station, AllTelemetry };
    Kind kind = Kind::Tag;
    int tagId = 0;
    QString station;    // Station: the item's text; Switch: the parent's text
    QString switchName; // Switch: the item's text
};

// Why a selection cannot serve a command.
enum class SelectionRefusal {
    SwitchToTelemetry, // "请将视图切换到遥测数据根目录窗口后再进行该操作!", titled "遥测数据"
    WrongItem,         // "请选择要正确选择要修改的项!", titled "替换数据"
};

struct SelectionResult {
    std::optional<TelemetryScope> scope;
    SelectionRefusal refusal = SelectionRefusal::SwitchToTelemetry;
};

// Query, single value, batch setting: a tag only.
SelectionResult selectTag(const TreeItemInfo& item);
// Zeroing: a tag, a switch or a station.
SelectionResult selectForZeroing(const TreeItemInfo& item);
// Replacement: a tag, a switch, a station or every telemetry tag.
SelectionResult selectForReplacement(const TreeItemInfo& item);

QString refusalText(SelectionRefusal refusal);
QString refusalCaption(SelectionRefusal refusal);

} // namespace telemetry
} // namespace tessera
