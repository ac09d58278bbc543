#include "records/ui/RecordQueryDialog.h"

#include "app/DialogForm.h"
#include "app/SharedConnection.h"
#include "records/ui/CataloguePickers.h"
#include "text/Trimming.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>

namespace tessera {

using namespace records;

RecordQueryDialog::RecordQueryDialog(const EventKind& kind, QWidget* parent) : QDialog(parent), m_kind(kind)
{
    setWindowTitle(kind.queryDialogCaption);
    auto* form = new QFormLayout;
    if (kind.queryHasStation) {
        m_station = addLabelled(form, QStringLiteral("厂站名称:"), QStringLiteral("station"), new QComboBox);
        m_switch = addLabelled(form, QStringLiteral("回路名称:"), QStringLiteral("switch"), new QComboBox);
        m_station->addItem(kAllStations);
        m_switch->addItem(kAllSwitches);
        if (kind.queryHasTag) {
            m_tag = addLabelled(form, kind.queryTagLabel, QStringLiteral("tag"), new QComboBox);
            m_tag->addItem(kAllTags);
        }
        addCatalogueItems(this, m_station, stationsSql(), kStationPickerFailure);
        connect(m_station, &QComboBox::activated, this, &RecordQueryDialog::stationChosen);
        connect(m_switch, &QComboBox::activated, this, &RecordQueryDialog::switchChosen);
    }
    // Both pickers open on the same moment; only their dates go into the query.
    const QDate today = QDate::currentDate();
    m_start = addLabelledDate(form, QStringLiteral("开始时间:"), QStringLiteral("start"), today);
    m_end = addLabelledDate(form, QStringLiteral("结束时间:"), QStringLiteral("end"), today);
    layOutWithOkCancel(this, form, DialogSize::Resizable);
}

void RecordQueryDialog::stationChosen()
{
    const QString station = m_station->currentText().trimmed();
    m_switch->clear();
    m_switch->addItem(kAllSwitches);
    if (station != kAllStations)
        addCatalogueItems(this, m_switch, switchesSql(station, m_kind.tagType, m_kind.querySwitchAlias),
                          kSwitchPickerFailure);
    m_switch->setCurrentIndex(0);
    if (m_tag) {
        m_tag->clear();
        m_tag->addItem(kAllTags);
        m_tag->setCurrentIndex(0);
    }
}

void RecordQueryDialog::switchChosen()
{
    if (!m_tag)
        return;
    m_tag->clear();
    m_tag->addItem(kAllTags);
    const QString station = m_station->currentText();
    if (station != kAllStations && m_switch->currentText() != kAllSwitches)
        addCatalogueItems(this, m_tag, tagsSql(station, m_switch->currentText(), m_kind.tagType), kTagPickerFailure);
    m_tag->setCurrentIndex(0);
}

QueryChoice RecordQueryDialog::choice() const
{
    QueryChoice c;
    c.start = m_start->date();
    c.end = m_end->date();
    if (m_station) {
        c.station = withoutTrailingWhiteSpace(m_station->currentText());
        c.switchName = withoutTrailingWhiteSpace(m_switch->currentText());
    }
    if (m_tag)
        c.tag = withoutTrailingWhiteSpace(m_tag->currentText());
    return c;
}

void RecordQueryDialog::accept()
{
    if (m_start->date() > m_end->date()) {
        refuseField(this, m_start, QStringLiteral("开始时间不能大于结束时间!"), m_kind.dateOrderCaption);
        return;
    }
    m_sql = querySql(m_kind, sharedDatabaseKind(), choice());
    QDialog::accept();
}

} // namespace tessera
