#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tessera {

// Data-source settings ("数据源设置"): name, database user and password of
// the working database. OK reopens the application's shared connection with
// them and, once it is open, stores them in section DATASOURCEINI of
// DataSource.ini. A connection that fails keeps the dialog open, the shared
// connection closed and the file untouched.
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
