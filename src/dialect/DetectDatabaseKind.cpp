#include "dialect/DetectDatabaseKind.h"

#include "db/DataSourceCatalogue.h"

namespace tessera {

KindDetection DetectDatabaseKind(const QString& dataSourceName)
{
    KindDetection result;
    const db::DataSourceDriver found = db::findDataSourceDriver(dataSourceName);
    if (found.systemUnreadable)
        result.messages << QStringLiteral("错误:无法在读取机器注册表中的信息");
    if (!found.driver) {
        if (found.userUnreadable)
            result.messages << (found.systemUnreadable ? QStringLiteral("错误:无法读取用户注册表中的信息")
                                                       : QStringLiteral("错误:无法读取注册表中的信息"));
        else
            result.messages << QStringLiteral("错误:无法查询关键字的注册信息!");
        return result;
    }
    result.driver = *found.driver;

    result.kind = kindOfDriverName(result.driver);
    if (!result.kind)
        result.messages << QStringLiteral("错误:数据源“%1”的驱动程序“%2”不是可识别的数据库类型!")
                               .arg(dataSourceName, result.driver);
    return result;
}

} // namespace tessera
