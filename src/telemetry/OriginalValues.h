#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <vector>

namespace tessera::journal {
class Journal;
}

// The values samples had before commands through Tessera changed them, from
// the journal's before-images: the trend's "原值".
namespace tessera::telemetry {

struct OriginalValue {
    qint64 msecsOfDay = 0;
    double value = 0;
    QDateTime changedAt; // local wall clock of the first command that changed it
    QString changedBy;   // Tessera's login, or the system account without one
    QString reason;
};

// A tag's samples of a day as the first command that still stands (not
// undone, not an undo itself) found them, on the given data source, by
// time. Throws journal::JournalError when the journal cannot be read.
std::vector<OriginalValue> originalValues(journal::Journal& journal, const QString& dataSource, int tagId,
                                          const QDate& day);

} // namespace tessera::telemetry
