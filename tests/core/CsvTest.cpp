#include "CsvReader.h"

#include "text/Csv.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace tessera;
using namespace Qt::StringLiterals;

namespace {

CsvTable tableOf(QStringList headers, QList<QStringList> rows)
{
    auto shared = std::make_shared<QList<QStringList>>(std::move(rows));
    return {std::move(headers), shared->size(), [shared](qint64 row) { return shared->at(row); }};
}

} // namespace

// What a spreadsheet reads back is what was written, apart from the apostrophe
// that keeps a text from running as a formula; numbers stay numbers.
TEST(CsvTest, ReadsBackThroughACsvParser)
{
    const QList<QStringList> rows{
        {u"2026-12-07 10:00:00"_s, u"-1.500000"_s, u"+3"_s, u"遥测"_s},
        {u"逗号,引号\"与\r\n换行"_s, u"=SUM(A1)"_s, u"-x"_s, u"@me"_s},
        {u""_s, u"1e3"_s, u" 空格 "_s, u"全角　空格"_s},
    };
    const QStringList header{u"时间"_s, u"值"_s, u"变化"_s, u"说明"_s};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_EQ(writeCsv(buffer, tableOf(header, rows)), CsvResult::Written);

    bool mark = false;
    EXPECT_EQ(test::readCsv(buffer.data(), &mark),
        (QList<QStringList>{header, rows[0], {rows[1][0], u"'=SUM(A1)"_s, u"'-x"_s, u"'@me"_s}, rows[2]}));
    EXPECT_TRUE(mark);
    EXPECT_TRUE(buffer.data().endsWith("\r\n"));
}

TEST(CsvTest, ProgressCancelsAndARefusedWriteFails)
{
    QList<QStringList> many;
    for (int i = 0; i < 20000; ++i)
        many << QStringList{QString::number(i)};
    const CsvTable table = tableOf({u"n"_s}, many);

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    std::vector<qint64> heard;
    EXPECT_EQ(writeCsv(buffer, table,
                  [&](qint64 rows) {
                      heard.push_back(rows);
                      return heard.size() < 2;
                  }),
        CsvResult::Cancelled);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_LT(heard.back(), 20000);

    heard.clear();
    QBuffer all;
    all.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeCsv(all, table,
                  [&](qint64 rows) {
                      heard.push_back(rows);
                      return true;
                  }),
        CsvResult::Written);
    EXPECT_EQ(heard.back(), 20000); // the bar ends full
    EXPECT_EQ(test::readCsv(all.data()).size(), 20001);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_EQ(writeCsv(readOnly, table), CsvResult::WriteFailed);
}
