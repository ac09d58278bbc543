#pragma once

#include "records/EventKind.h"

class QComboBox;
class QWidget;

// The station, switch and tag pickers of the record dialogs, filled from the
// tag catalogue.
namespace tessera {

inline const records::Message kStationPickerFailure{QStringLiteral("查询厂站信息时出错!"), QStringLiteral("厂站信息")};
inline const records::Message kSwitchPickerFailure{QStringLiteral("查询回路信息时出错!"), QStringLiteral("回路信息")};
inline const records::Message kTagPickerFailure{QStringLiteral("查询变量信息时出错!"), QStringLiteral("变量信息")};

// Adds the catalogue's answer to `sql` to the picker. False without a
// connection, or when the read failed and the dialog's box said `failure`.
bool addCatalogueItems(QWidget* dialog, QComboBox* picker, const QString& sql, const records::Message& failure);

} // namespace tessera
