#pragma once

#include "check/CheckFinding.h"
#include "check/SampleSeries.h"

#include <QString>

#include <vector>

// The rules of the data check as data: each is a name, its parameters with
// their defaults, and the function that finds its defects in a tag's day.
// A new rule is one entry in checkRules() and one detector.
namespace tessera::check {

// What a detector sees: one tag's samples of one day, sorted by time.
struct TagDay {
    const ScanTag& tag;
    QDate day;
    const SampleSeries& samples;
    bool tableMissing = false; // the day has no telemetry table at all
};

using Parameters = std::vector<double>; // in the order of the rule's parameters
using Detector = void (*)(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);

struct RuleParameter {
    QString key;   // in Tessera.ini
    QString label; // in the dialog
    double defaultValue = 0;
    double minimum = 0;
    double maximum = 0;
    int decimals = 0;
};

struct RuleDescription {
    RuleId id;
    QString key;  // in Tessera.ini
    QString name; // as the worklist names it
    bool enabledByDefault = true;
    std::vector<RuleParameter> parameters;
    Detector detect = nullptr;
    bool countersOnly = false;   // only tags that count pulses
    bool onlyVaryingTags = false; // only tags whose values over the scanned days are not all equal
};

const std::vector<RuleDescription>& checkRules();
const RuleDescription& ruleOf(RuleId id);

// A rule as the user set it up.
struct RuleChoice {
    bool enabled = true;
    Parameters values;
};
// In the order of checkRules().
using CheckSettings = std::vector<RuleChoice>;
CheckSettings defaultCheckSettings();

// The detectors, also on their own for the tests of their edges.
void detectGaps(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);
void detectSpikes(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);
void detectFlatLines(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);
void detectOutOfRange(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);
void detectCounterBackwards(const TagDay& day, const Parameters& parameters, std::vector<Finding>& out);

// The median of the spacings of sorted samples, 0 with fewer than two.
qint32 medianSpacing(const SampleSeries& samples);
// 1.4826 times the median absolute deviation of the differences between
// neighbours: their spread, which a few spikes do not move.
double robustSpread(const SampleSeries& samples);

} // namespace tessera::check
