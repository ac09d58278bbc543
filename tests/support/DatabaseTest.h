#pragma once

#include "OdbcTestEnvironment.h"
#include "SchemaDdl.h"
#include "db/Connection.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace tessera::test {

// Base of test bodies written once and run against every test database kind:
// INSTANTIATE_TEST_SUITE_P(Kinds, MyTest, allDatabaseKinds(), kindName);
class DatabaseTest : public ::testing::TestWithParam<DatabaseKind> {
protected:
    void SetUp() override;
    void TearDown() override;

    const TestDatabase& database() const { return testDatabase(GetParam()); }
    DatabaseKind kind() const { return GetParam(); }
    db::Connection& connection() { return m_connection; }
    db::Connection openConnection() const;

    // Drops the table when it exists and remembers to drop it again at the end.
    void dropTable(const QString& table);
    void createTable(const QString& table, const QString& columns);
    qint64 countRows(const QString& table);
    // The catalogue, event and summary tables, made anew (and dropped at the end).
    void createSchema();
    void createTelemetryTable(const QString& name, ddl::Generation generation = ddl::Generation::Newer);
    // Kills the server session of `victim` from another connection, as an
    // administrator or a dying server would (PostgreSQL pg_terminate_backend,
    // MariaDB KILL). False for SQLite, which has no server to lose.
    bool killServerSession(db::Connection& victim);

private:
    db::Connection m_connection;
    QStringList m_tables;
};

// The server's own id of a connection's session (empty for SQLite), and the
// end of that session from another connection.
QString serverSessionId(db::Connection& c, DatabaseKind kind);
void endServerSession(DatabaseKind kind, const QString& id);

::testing::internal::ParamGenerator<DatabaseKind> allDatabaseKinds();
std::string kindName(const ::testing::TestParamInfo<DatabaseKind>& info);

} // namespace tessera::test
