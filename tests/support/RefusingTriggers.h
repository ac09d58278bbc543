#pragma once

#include "dialect/DatabaseKind.h"
#include "db/Connection.h"

#include <QString>

// Faults injected into an archive table: rows the database refuses, at once
// or only at the commit.
namespace tessera::test {

// A trigger that refuses to INSERT, UPDATE or DELETE (`event`) a row whose
// values meet `condition` (for example "NEW.nValue=20" or "OLD.Contents='x'").
inline void refuseRows(db::Connection& c, DatabaseKind kind, const QString& table, const QString& event,
                       const QString& condition)
{
    const QString name = QStringLiteral("refuse_%1_%2").arg(table, event).toLower();
    switch (kind) {
    case DatabaseKind::SQLite:
        c.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 WHEN %4 BEGIN SELECT RAISE(ABORT,'refused'); END")
                      .arg(name, event, table, condition));
        break;
    case DatabaseKind::PostgreSQL:
        c.execute(QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger AS $$ BEGIN "
                                 "IF %2 THEN RAISE EXCEPTION 'refused'; END IF; "
                                 "IF TG_OP='DELETE' THEN RETURN OLD; END IF; RETURN NEW; END $$ LANGUAGE plpgsql")
                      .arg(name, condition));
        c.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION %1()")
                      .arg(name, event, table));
        break;
    default:
        c.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW BEGIN IF %4 THEN "
                                 "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='refused'; END IF; END")
                      .arg(name, event, table, condition));
    }
}

// Makes every later commit on `writer` that holds a newly inserted row of the
// table fail at the commit itself, as a deferred constraint does: PostgreSQL
// through a deferred constraint trigger, SQLite through a deferred foreign
// key to an empty table (the table is made anew with its rows for that).
// False for MariaDB, which checks nothing at commit.
inline bool refuseAtCommit(db::Connection& c, db::Connection& writer, DatabaseKind kind, const QString& table)
{
    switch (kind) {
    case DatabaseKind::PostgreSQL:
        c.execute(QStringLiteral("CREATE OR REPLACE FUNCTION refuse_at_commit() RETURNS trigger AS $$ "
                                 "BEGIN RAISE EXCEPTION 'refused at commit'; END $$ LANGUAGE plpgsql"));
        c.execute(QStringLiteral("CREATE CONSTRAINT TRIGGER refuse_at_commit AFTER INSERT ON %1 "
                                 "DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE FUNCTION refuse_at_commit()")
                      .arg(table));
        return true;
    case DatabaseKind::SQLite:
        c.execute(QStringLiteral("CREATE TABLE IF NOT EXISTS NoTags (TagID INTEGER PRIMARY KEY)"));
        c.execute(QStringLiteral("DROP TABLE IF EXISTS %1_old").arg(table));
        c.execute(QStringLiteral("ALTER TABLE %1 RENAME TO %1_old").arg(table));
        c.execute(QStringLiteral("CREATE TABLE %1 (ATime DATETIME, TagID INTEGER REFERENCES NoTags(TagID) "
                                 "DEFERRABLE INITIALLY DEFERRED, DataType INTEGER, nValue DOUBLE, nValueChange DOUBLE)")
                      .arg(table));
        c.execute(QStringLiteral("INSERT INTO %1 SELECT * FROM %1_old").arg(table));
        c.execute(QStringLiteral("DROP TABLE %1_old").arg(table));
        writer.execute(QStringLiteral("PRAGMA foreign_keys=ON"));
        return true;
    default:
        return false;
    }
}

} // namespace tessera::test
