#include "records/ui/RecordQueryDialog.h"

#include "text/Trimming.h"
#include "app/CTesseraApp.h"
#include "app/GuiSeam.h"
#include "db/DbError.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tessera {

using namespace records;

namespace {

const Message kStationFailure{QStringLiteral("查询厂站信息时出错!"), QStringLiteral("厂站信息")};
const Message kSwitchFailure{QStringLiteral("查询回路信息时出错!"), QStringLiteral("回路信息")};
const Message kTagFailure{QStringLiteral("查询变量信息时出错!"), QStringLiteral("变量信息")};

template <class W>
W* addField(QFormLayout* form, const QString& label, const QString& objectName, W* widget)
{
    widget->setObjectName(objectName);
    widget->setAccessibleName(label);
    auto* caption = new QLabel(label);
    caption->setBuddy(widget);
    form->addRow(caption, widget);
    return widget;
}

QDateEdit* dateEdit(const QDate& date)
{
    auto* edit = new QDateEdit(date);
    edit->setDisplayFormat(QLocale().dateFormat(QLocale::LongFormat));
    edit->setCalendarPopup(true);
    return edit;
}

} // namespace

RecordQueryDialog::RecordQueryDialog(const EventKind& kind, QWidget* parent) : QDialog(parent), m_kind(kind)
{
    setWindowTitle(kind.queryDialogCaption);
    auto* form = new QFormLayout;
    if (kind.queryHasStation) {
        m_station = addField(form, QStringLiteral("厂站名称:"), QStringLiteral("station"), new QComboBox);
        m_switch = addField(form, QStringLiteral("回路名称:"), QStringLiteral("switch"), new QComboBox);
        m_station->addItem(kAllStations);
        m_switch->addItem(kAllSwitches);
        if (kind.queryHasTag) {
            m_tag = addField(form, kind.queryTagLabel, QStringLiteral("tag"), new QComboBox);
            m_tag->addItem(kAllTags);
        }
        addCatalogue(m_station, stationsSql(), kStationFailure);
        connect(m_station, &QComboBox::activated, this, &RecordQueryDialog::stationChosen);
        connect(m_switch, &QComboBox::activated, this, &RecordQueryDialog::switchChosen);
    }
    // Both pickers open on the same moment; only their dates go into the query.
    const QDate today = QDate::currentDate();
    m_start = addField(form, QStringLiteral("开始时间:"), QStringLiteral("start"), dateEdit(today));
    m_end = addField(form, QStringLiteral("结束时间:"), QStringLiteral("end"), dateEdit(today));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordQueryDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RecordQueryDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void RecordQueryDialog::addCatalogue(QComboBox* box, const QString& sql, const Message& failure)
{
    CTesseraApp* app = CTesseraApp::instance();
    if (!app || !app->connection().isOpen())
        return;
    try {
        box->addItems(catalogueValues(app->connection(), sql));
    } catch (const db::DbError&) {
        warningMessage(this, failure.text, failure.caption);
    }
}

void RecordQueryDialog::stationChosen()
{
    const QString station = m_station->currentText().trimmed();
    m_switch->clear();
    m_switch->addItem(kAllSwitches);
    if (station != kAllStations)
        addCatalogue(m_switch, switchesSql(station, m_kind.tagType, m_kind.querySwitchAlias), kSwitchFailure);
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
        addCatalogue(m_tag, tagsSql(station, m_switch->currentText(), m_kind.tagType), kTagFailure);
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
        warningMessage(this, QStringLiteral("开始时间不能大于结束时间!"), m_kind.dateOrderCaption);
        m_start->setFocus();
        return;
    }
    CTesseraApp* app = CTesseraApp::instance();
    m_sql = querySql(m_kind, app ? app->databaseKind() : DatabaseKind::SqlServer, choice());
    QDialog::accept();
}

CEventQueryDlg::CEventQueryDlg(QWidget* parent) : RecordQueryDialog(*eventKind(ViewMode::OperationEvents), parent) {}
CLimitAlarmQueryDlg::CLimitAlarmQueryDlg(QWidget* parent) : RecordQueryDialog(*eventKind(ViewMode::LimitAlarms), parent)
{
}
CSignalChangeQueryDlg::CSignalChangeQueryDlg(QWidget* parent)
    : RecordQueryDialog(*eventKind(ViewMode::SignalChanges), parent)
{
}
CSoeQueryDlg::CSoeQueryDlg(QWidget* parent) : RecordQueryDialog(*eventKind(ViewMode::SoeEvents), parent) {}

std::unique_ptr<RecordQueryDialog> makeQueryDialog(ViewMode mode, QWidget* parent)
{
    switch (mode) {
    case ViewMode::OperationEvents:
        return std::make_unique<CEventQueryDlg>(parent);
    case ViewMode::LimitAlarms:
        return std::make_unique<CLimitAlarmQueryDlg>(parent);
    case ViewMode::SignalChanges:
        return std::make_unique<CSignalChangeQueryDlg>(parent);
    case ViewMode::SoeEvents:
        return std::make_unique<CSoeQueryDlg>(parent);
    default:
        return nullptr;
    }
}

} // namespace tessera
