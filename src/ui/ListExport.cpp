#include "ui/ListExport.h"

#include "app/GuiSeam.h"
#include "app/WaitCursor.h"
#include "ui/CTesseraView.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QPixmap>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStandardPaths>

#include <functional>

namespace tessera {

namespace {

const QString kCaption = QStringLiteral("导出");
const QString kCsvFilter = QStringLiteral("CSV 文件 (*.csv)");
const QString kPngFilter = QStringLiteral("PNG 图片 (*.png)");

// The file the user chose and whether it is to be the chart's picture;
// an empty path when the dialog was cancelled.
struct Target {
    QString path;
    bool picture = false;
};

Target askForTarget(QWidget* owner, bool chartOffered, const QString& fileStem = QStringLiteral("列表"))
{
    QFileDialog chooser(
        owner, QStringLiteral("导出列表"), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    chooser.setObjectName(QStringLiteral("listExportFileDialog"));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setNameFilters(chartOffered ? QStringList{kCsvFilter, kPngFilter} : QStringList{kCsvFilter});
    chooser.setDefaultSuffix(QStringLiteral("csv"));
    QObject::connect(&chooser, &QFileDialog::filterSelected, &chooser, [&chooser](const QString& filter) {
        chooser.setDefaultSuffix(filter == kPngFilter ? QStringLiteral("png") : QStringLiteral("csv"));
    });
    chooser.selectFile(
        QStringLiteral("%1_%2.csv").arg(fileStem, QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    if (execDialog(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return {};
    Target target{chooser.selectedFiles().constFirst()};
    target.picture = chartOffered && target.path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive);
    return target;
}

bool writePicture(QSaveFile& file, QWidget& chart)
{
    return chart.grab().save(&file, "PNG");
}

CsvResult writeTable(QSaveFile& file, QWidget* owner, const CsvTable& table)
{
    QProgressDialog progress(QStringLiteral("正在导出 %1 行...").arg(table.rowCount), QStringLiteral("取消"), 0,
        int(std::min<qint64>(table.rowCount, INT_MAX)), owner);
    progress.setObjectName(QStringLiteral("exportProgress"));
    progress.setWindowTitle(kCaption);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    WaitCursor wait;
    return writeCsv(file, table, [&progress](qint64 rows) {
        progress.setValue(int(std::min<qint64>(rows, progress.maximum())));
        return !progress.wasCanceled();
    });
}

} // namespace

CsvTable shownTable(const CTesseraView& list)
{
    const QAbstractItemModel& shown = *list.model();
    const RecordListModel& rows = list.GetRows();
    CsvTable table;
    for (int column = 0; column < shown.columnCount(); ++column)
        table.headers << shown.headerData(column, Qt::Horizontal).toString();
    table.rowCount = shown.rowCount();
    // rowCells gives the shown cells only.
    table.row = [&list, &rows](qint64 row) { return rows.rowCells(list.GetModelRow(int(row))); };
    return table;
}

namespace {

// Writes the table, or the chart's picture, to the target; says why when it fails.
void writeTarget(QWidget* owner, const Target& target, const std::function<CsvTable()>& table, QWidget* chart)
{
    QSaveFile file(target.path);
    bool written = false;
    if (file.open(QIODevice::WriteOnly)) {
        if (target.picture) {
            written = writePicture(file, *chart);
        } else {
            const CsvResult result = writeTable(file, owner, table());
            if (result == CsvResult::Cancelled) {
                file.cancelWriting();
                return;
            }
            written = result == CsvResult::Written;
        }
    }
    if (written && file.commit())
        return;
    const QString why = file.errorString();
    file.cancelWriting();
    warningMessage(owner, QStringLiteral("导出失败!\n%1:%2").arg(QDir::toNativeSeparators(target.path), why), kCaption);
}

} // namespace

void runListExport(QWidget* owner, const CTesseraView& list, QWidget* chart)
{
    const Target target = askForTarget(owner, chart != nullptr);
    if (!target.path.isEmpty())
        writeTarget(owner, target, [&list] { return shownTable(list); }, chart);
}

void runTableExport(QWidget* owner, const CsvTable& table, const QString& fileStem)
{
    const Target target = askForTarget(owner, false, fileStem);
    if (!target.path.isEmpty())
        writeTarget(owner, target, [&table] { return table; }, nullptr);
}

} // namespace tessera
