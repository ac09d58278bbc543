#pragma once

#include "view/FillSink.h"

#include <QStringList>

#include <vector>

#include <gtest/gtest.h>

namespace tessera::test {

// Keeps what a fill delivers, in the order delivered, and fails the test when
// the columns come twice or after a row.
struct FillRecorder : FillSink {
    void columns(const QStringList& names) override
    {
        EXPECT_FALSE(columnsSeen) << "columns delivered twice";
        EXPECT_TRUE(rows.empty()) << "columns after rows";
        columnsSeen = true;
        columnNames = names;
    }
    void row(const QStringList& cells) override
    {
        EXPECT_TRUE(columnsSeen) << "a row before the columns";
        rows.push_back(cells);
    }

    bool columnsSeen = false;
    QStringList columnNames;
    std::vector<QStringList> rows;
};

} // namespace tessera::test
