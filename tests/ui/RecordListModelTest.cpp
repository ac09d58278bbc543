#include "ModelCells.h"
#include "ui/RecordListModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <stdexcept>

using tessera::RecordListModel;
using tessera::test::shownRows;
using namespace Qt::StringLiterals;

namespace {

const QStringList kColumns {u"ATime"_s, u"TagID"_s, u"DataType"_s, u"nValue"_s, u"nValueChange"_s};

QStringList sample(int i)
{
    return {u"2026-12-06 00:00:%1"_s.arg(i, 2, 10, QLatin1Char('0')), u"17"_s, u"遥测"_s,
            QString::number(i * 1.5, 'f', 2), u"0.01"_s};
}

// The model is watched by the item-model tester from construction on, so
// every change below is also checked for consistent signals and indexes.
class RecordListModelTest : public ::testing::Test {
protected:
    void SetUp() override { model.setColumns(kColumns); }

    RecordListModel model;
    QAbstractItemModelTester tester {&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(RecordListModelTest, InsertPositionsAreClampedAndNeighboursKeepTheirOrder)
{
    // Read newest first and put at the top, as the fills do: the screen shows oldest first.
    for (int i = 3; i >= 1; --i)
        EXPECT_EQ(model.insertRow(0, sample(i)), 0);
    EXPECT_EQ(model.insertRow(99, sample(5)), 3);
    EXPECT_EQ(model.insertRow(3, sample(4)), 3);
    EXPECT_EQ(model.insertRow(-5, sample(0)), 0);
    ASSERT_EQ(model.rowCount(), 6);
    for (int r = 0; r < 6; ++r)
        EXPECT_EQ(model.rowCells(r), sample(r)) << "row " << r;
    // Cells are left-aligned, rows numbered from 1.
    EXPECT_EQ(model.data(model.index(0, 3), Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toInt(), 1);
}

TEST_F(RecordListModelTest, BatchFillEqualsOneRowAtATimeAtTheTop)
{
    // Rows of every shape: short, sparse, Chinese, characters that could pass
    // for a separator, and one cell longer than a one-character length.
    std::vector<QStringList> read;
    for (int i = 0; i < 40; ++i)
        read.push_back(sample(i));
    read.push_back({});
    read.push_back({QString(), QString(), u"遥信"_s});
    read.push_back({QString(QChar(0xFFFF)) + QChar(0) + QChar(0x1F), u"a\tb\nc"_s});
    read.push_back({QString(70000, QLatin1Char('x')), u"after the long one"_s});
    read.push_back(sample(99) << u"beyond the columns"_s);

    RecordListModel oneByOne;
    oneByOne.setColumns(kColumns);
    oneByOne.insertRow(0, {u"already there"_s});
    for (const QStringList& row : read)
        oneByOne.insertRow(0, row);

    model.insertRow(0, {u"already there"_s});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.beginFill();
    for (const QStringList& row : read)
        model.addAtTop(row);
    EXPECT_EQ(model.rowCount(), 1) << "rows of an open fill are not visible yet";
    model.endFill();

    EXPECT_EQ(inserted.count(), 1) << "the views hear of the batch once";
    EXPECT_EQ(shownRows(model), shownRows(oneByOne));
    EXPECT_EQ(model.cell(0, 4), u"0.01"_s);
    EXPECT_EQ(model.cell(1, 0).size(), 70000);
    EXPECT_EQ(model.cell(1, 1), u"after the long one"_s);
    EXPECT_EQ(model.cell(int(read.size()), 0), u"already there"_s);
}

// A fill ended by an error keeps the rows read so far; a change during a
// fill sees the rows added before it.
TEST_F(RecordListModelTest, FillKeepsTheRowsReadBeforeAnErrorAndChangesSeeThem)
{
    try {
        RecordListModel::TopFill fill(model);
        fill.add(sample(2));
        fill.add(sample(1));
        throw std::runtime_error("the read failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(model.filling());
    EXPECT_EQ(shownRows(model), (std::vector<QStringList>{sample(1), sample(2)}));

    model.removeAllRows();
    model.beginFill();
    model.addAtTop(sample(1));
    EXPECT_TRUE(model.setCell(0, 1, u"18"_s));
    model.addAtTop(sample(2));
    model.endFill();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.cell(0, 0), sample(2).at(0));
    EXPECT_EQ(model.cell(1, 1), u"18"_s);
}

// A fill left open is dropped with the rows, not committed later.
TEST_F(RecordListModelTest, RemovingAllRowsDropsAnOpenFill)
{
    model.beginFill();
    model.addAtTop(sample(4));
    model.removeAllRows();
    model.endFill();
    EXPECT_EQ(model.rowCount(), 0);
}

// Hidden cells ride with the rows: read and written by column, never shown,
// and cut with the rows when the columns narrow.
TEST_F(RecordListModelTest, HiddenCellsAreKeptButNotShown)
{
    model.setColumns(kColumns, 1);
    model.appendRows({sample(1) << u"6"_s << u"beyond"_s});
    EXPECT_EQ(model.cell(0, 5), u"6"_s);
    EXPECT_EQ(model.cell(0, 6), QString()) << "beyond the hidden cells";
    EXPECT_EQ(model.rowCells(0), sample(1));
    EXPECT_FALSE(model.headerData(5, Qt::Horizontal).isValid());
    EXPECT_EQ(shownRows(model), std::vector<QStringList> {sample(1)});

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    EXPECT_TRUE(model.setCell(0, 5, u"1"_s));
    EXPECT_EQ(model.cell(0, 5), u"1"_s);
    ASSERT_EQ(changed.size(), 1) << "a hidden change is still a change of the row";
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(0, 4));
    EXPECT_FALSE(model.setCell(0, 6, u"x"_s));

    model.setColumns(kColumns);
    EXPECT_EQ(model.cellView(0, 5), QString());
    model.setColumns(kColumns, 1);
    EXPECT_EQ(model.cell(0, 5), QString()) << "a cut cell does not come back";
}

} // namespace
