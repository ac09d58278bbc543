#pragma once

// Command ids of menus, toolbar buttons and context menus. The numbers are
// the program's own and stay as they are: stored layouts and peers know them.
namespace tessera::cmd {

enum Id : int {
    // File
    DataSourceSettings = 32820,
    UserMaintenance = 32822,
    DataCopy = 32823,
    OperationJournal = 32824,
    UndoLastOperation = 32825,
    JournalUndo = 32826, // the journal window's undo; no menu item issues it
    ExportList = 32827,  // the list as CSV, or the trend chart as PNG
    DataVerify = 32828,  // the copy dialog's 核对 and tessera-copy --verify, for the journal
    DataRepair = 32829,  // the copy dialog's 修复 and tessera-copy --repair
    Exit = 57665,
    // Operation events
    EventQuery = 32771,
    EventModify = 32772,
    EventAdd = 32773,
    EventDelete = 32774,
    // Limit alarms
    LimitAlarmQuery = 32775,
    LimitAlarmDelete = 32776,
    LimitAlarmAdd = 32777,
    LimitAlarmModify = 32778,
    // Remote-signal changes
    SignalChangeQuery = 32779,
    SignalChangeDelete = 32780,
    SignalChangeAdd = 32781,
    SignalChangeModify = 32782,
    // SOE events
    SoeQuery = 32783,
    SoeAdd = 32784,
    SoeModify = 32785,
    SoeDelete = 32786,
    // Telemetry
    TelemetryQuery = 32787,
    TelemetryReplace = 32788,
    TelemetryBatchSet = 32792,
    TelemetryZero = 32793,
    TelemetrySingleValue = 32794,
    TelemetryDelete = 32815,
    DataCheck = 32830,          // 数据校验: the scan and its worklist
    TelemetryReserved1 = 32816, // enabled with the telemetry group; nothing issues it
    TelemetryReserved2 = 32818,
    // Generic record commands, routed by what the list shows
    GenericQuery = 32809,
    GenericAdd = 32810,
    GenericDelete = 32812,
    GenericModify = 32813,
    // View switches (no menu item issues them)
    ShowOperationEvents = 32796,
    ShowSignalChanges = 32797,
    ShowSoeEvents = 32798,
    ShowTelemetry = 32799,
    ShowLimitAlarms = 32802,
    // View and help
    ToggleToolBar = 59392,
    ToggleStatusBar = 59393,
    ToggleTrendChart = 32828,
    ToggleOriginalValues = 32831, // the trend's "原值" line
    About = 57664,
};

} // namespace tessera::cmd
