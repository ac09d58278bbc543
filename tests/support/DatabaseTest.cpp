#include "DatabaseTest.h"

#include "db/ResultSet.h"

namespace tessera::test {

void DatabaseTest::SetUp()
{
    SKIP_WITHOUT_SERVER(database());
    m_connection = openConnection();
}

void DatabaseTest::TearDown()
{
    if (!m_connection.isOpen())
        return;
    for (const QString& table : std::as_const(m_tables)) {
        try {
            m_connection.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
        } catch (const db::DbError&) {
        }
    }
    m_connection.close();
}

db::Connection DatabaseTest::openConnection() const
{
    return db::Connection::open(database().connectString());
}

void DatabaseTest::dropTable(const QString& table)
{
    m_connection.execute(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table));
    if (!m_tables.contains(table))
        m_tables << table;
}

void DatabaseTest::createTable(const QString& table, const QString& columns)
{
    dropTable(table);
    m_connection.execute(QStringLiteral("CREATE TABLE %1 (%2)").arg(table, columns));
}

qint64 DatabaseTest::countRows(const QString& table)
{
    auto rs = m_connection.query(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    return rs.next() ? rs.string(0).toLongLong() : -1;
}

void DatabaseTest::createSchema()
{
    for (const QString& table : ddl::schemaTableNames())
        dropTable(table);
    for (const QString& sql : ddl::createSchemaSql(kind()))
        m_connection.execute(sql);
}

void DatabaseTest::createTelemetryTable(const QString& name, ddl::Generation generation)
{
    dropTable(name);
    m_connection.execute(ddl::createTelemetryTableSql(kind(), name, generation));
}

bool DatabaseTest::killServerSession(db::Connection& victim)
{
    const QString id = serverSessionId(victim, kind());
    if (id.isEmpty())
        return false;
    endServerSession(kind(), id);
    return true;
}

QString serverSessionId(db::Connection& c, DatabaseKind kind)
{
    if (kind != DatabaseKind::PostgreSQL && kind != DatabaseKind::MySql)
        return {};
    auto rs = c.query(kind == DatabaseKind::PostgreSQL ? QStringLiteral("SELECT pg_backend_pid()")
                                                       : QStringLiteral("SELECT CONNECTION_ID()"));
    return rs.next() ? rs.string(0) : QString();
}

void endServerSession(DatabaseKind kind, const QString& id)
{
    db::Connection killer = db::Connection::open(testDatabase(kind).connectString());
    // pg_terminate_backend waits until the session is gone.
    auto rs = killer.query(kind == DatabaseKind::PostgreSQL
                               ? QStringLiteral("SELECT pg_terminate_backend(%1, 10000)").arg(id)
                               : QStringLiteral("KILL %1").arg(id));
    while (rs.next()) {
    }
}

::testing::internal::ParamGenerator<DatabaseKind> allDatabaseKinds()
{
    return ::testing::Values(DatabaseKind::SQLite, DatabaseKind::PostgreSQL, DatabaseKind::MySql);
}

std::string kindName(const ::testing::TestParamInfo<DatabaseKind>& info)
{
    return testDatabase(info.param).name.toStdString();
}

} // namespace tessera::test
