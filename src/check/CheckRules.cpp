#include "check/CheckRules.h"

namespace tessera::check {

const std::vector<RuleDescription>& checkRules()
{
    static const std::vector<RuleDescription> rules {
        {RuleId::Gap, QStringLiteral("gap"), QStringLiteral("数据缺失"), true,
         {{QStringLiteral("factor"), QStringLiteral("超过通常间隔的倍数"), 3, 1.5, 1000, 1}},
         detectGaps, false, false},
        {RuleId::Spike, QStringLiteral("spike"), QStringLiteral("突变"), true,
         {{QStringLiteral("factor"), QStringLiteral("超过相邻差值离散度的倍数"), 5, 1, 1000, 1},
          {QStringLiteral("absolute"), QStringLiteral("绝对阈值(0:按倍数)"), 0, 0, 1e12, 2},
          {QStringLiteral("width"), QStringLiteral("最多连续点数"), 2, 1, 10, 0}},
         detectSpikes, false, false},
        {RuleId::FlatLine, QStringLiteral("flat"), QStringLiteral("死值"), true,
         {{QStringLiteral("minutes"), QStringLiteral("最短持续时间(分钟)"), 60, 1, 1440, 0}},
         detectFlatLines, false, true},
        {RuleId::OutOfRange, QStringLiteral("range"), QStringLiteral("越界"), false,
         {{QStringLiteral("low"), QStringLiteral("下限"), 0, -1e12, 1e12, 2},
          {QStringLiteral("high"), QStringLiteral("上限"), 1000, -1e12, 1e12, 2}},
         detectOutOfRange, false, false},
        {RuleId::CounterBackwards, QStringLiteral("counter"), QStringLiteral("遥脉倒走"), true, {},
         detectCounterBackwards, true, false},
    };
    return rules;
}

const RuleDescription& ruleOf(RuleId id)
{
    for (const RuleDescription& rule : checkRules())
        if (rule.id == id)
            return rule;
    return checkRules().front();
}

CheckSettings defaultCheckSettings()
{
    CheckSettings settings;
    for (const RuleDescription& rule : checkRules()) {
        RuleChoice choice {rule.enabledByDefault, {}};
        for (const RuleParameter& p : rule.parameters)
            choice.values.push_back(p.defaultValue);
        settings.push_back(std::move(choice));
    }
    return settings;
}

} // namespace tessera::check
