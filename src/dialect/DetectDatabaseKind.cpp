#include "dialect/DetectDatabaseKind.h"

#include "db/DataSourceCatalogue.h"
#include "db/DbError.h"

namespace tessera {

namespace {

enum class Lookup { Found, Missing, Unreadable };

Lookup lookUp(const QString& name, db::DataSourceScope scope, QString& driver)
{
    try {
        const auto found = db::driverOfDataSource(name, scope);
        if (!found)
            return Lookup::Missing;
        driver = *found;
        return Lookup::Found;
    } catch (const db::DbError&) {
        return Lookup::Unreadable;
    }
}

} // namespace

KindDetection DetectDatabaseKind(const QString& dataSourceName)
{
    KindDetection result;
    const QString noSuchKey = QStringLiteral("错误:无法查询关键字的注册信息!");

    Lookup found = lookUp(dataSourceName, db::DataSourceScope::System, result.driver);
    if (found != Lookup::Found) {
        const bool systemUnreadable = found == Lookup::Unreadable;
        if (systemUnreadable)
            result.messages << QStringLiteral("错误:无法在读取机器注册表中的信息");
        found = lookUp(dataSourceName, db::DataSourceScope::User, result.driver);
        if (found == Lookup::Unreadable) {
            result.messages << (systemUnreadable ? QStringLiteral("错误:无法读取用户注册表中的信息")
                                                 : QStringLiteral("错误:无法读取注册表中的信息"));
            return result;
        }
        if (found == Lookup::Missing) {
            result.messages << noSuchKey;
            return result;
        }
    }

    result.kind = kindOfDriverName(result.driver);
    if (!result.kind)
        result.messages << QStringLiteral("错误:数据源“%1”的驱动程序“%2”不是可识别的数据库类型!")
                               .arg(dataSourceName, result.driver);
    return result;
}

} // namespace tessera
