#pragma once

#include "SchemaDdl.h"
#include "db/Connection.h"

#include <QDate>
#include <QString>

#include <vector>

// The content of the demo databases: a small SCADA with three stations, their
// switches and tags, a few days of events and 5-minute telemetry samples.
namespace tessera::demo {

struct Tag {
    QString station;
    QString switchName;
    QString type;
    QString name;
    int id = 0;
    double base = 0;      // typical value of a telemetry tag
    double amplitude = 0; // daily swing
};

const std::vector<Tag>& catalogue();

void writeCatalogue(db::Connection& c, DatabaseKind kind);
// The event and summary rows of one day; `dateText` as the target kind wants it.
void writeEventsOfDay(db::Connection& c, DatabaseKind kind, const QDate& day);
// One day of 5-minute samples of every telemetry and pulse tag into `table`.
// Samples whose instants fall on `day` but whose year differs (calendar-day
// tables hold every year) are written by calling this again with that day.
void writeSamplesOfDay(db::Connection& c, const QString& table, const QDate& day);

} // namespace tessera::demo
