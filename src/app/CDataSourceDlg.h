#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tessera {

// Data-source settings ("数据源设置"): name, database user and password of
// the working database. OK opens a connection with them and classifies the
// data source; only when both succeed does that connection replace the
// application's shared one and are the values stored in section
// DATASOURCEINI of DataSource.ini. Otherwise the dialog stays open, the
// shared connection stays as it was and the file untouched.
class CDataSourceDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDataSourceDlg(QWidget* parent = nullptr);

    void setValues(const QString& dataSourceName, const QString& user, const QString& password);
    QString dataSourceName() const;
    QString databaseUser() const;
    QString databasePassword() const;

    void accept() override;

private:
    // "...": picks a data source from the driver manager's lists.
    void pickDataSource();
    // The first field whose value DataSource.ini could not give back as typed.
    QLineEdit* firstUnstorableField() const;

    QLineEdit* m_dataSourceName = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_pick = nullptr;
};

} // namespace tessera
