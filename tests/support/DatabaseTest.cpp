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
    if (!rs.next())
        return -1;
    return rs.string(0).toLongLong();
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
    QString idQuery;
    QString killSql;
    switch (kind()) {
    case DatabaseKind::PostgreSQL:
        idQuery = QStringLiteral("SELECT pg_backend_pid()");
        killSql = QStringLiteral("SELECT pg_terminate_backend(%1, 10000)"); // waits until it is gone
        break;
    case DatabaseKind::MySql:
        idQuery = QStringLiteral("SELECT CONNECTION_ID()");
        killSql = QStringLiteral("KILL %1");
        break;
    default:
        return false;
    }
    QString id;
    {
        auto rs = victim.query(idQuery);
        if (!rs.next())
            return false;
        id = rs.string(0);
    }
    db::Connection killer = openConnection();
    auto rs = killer.query(killSql.arg(id));
    while (rs.next()) {
    }
    return true;
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
