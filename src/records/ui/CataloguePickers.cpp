#include "records/ui/CataloguePickers.h"

#include "app/GuardedRun.h"
#include "app/SharedConnection.h"

#include <QComboBox>

namespace tessera {

bool addCatalogueItems(QWidget* dialog, QComboBox* picker, const QString& sql, const records::Message& failure)
{
    db::Connection* connection = openSharedConnection();
    return connection
        && runWaiting([&] { picker->addItems(records::catalogueValues(*connection, sql)); },
                      {dialog, failure.text, failure.caption});
}

} // namespace tessera
