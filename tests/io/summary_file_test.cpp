// The summary's files: the ending picks the format, and each holds the summary's table,
// read back by our own readers (the CSV's first column, every cell of the workbook).
#include "io/summary_file.h"

#include <gtest/gtest.h>

#include "io/formats.h"
#include "text/text.h"
#include "workbook/xlsx.h"

namespace {

summary::Summary sample() {
    RowStore rows;
    Fields cq{"中国", "重庆", "", "", "", "=电信,\"x\"", ""};
    rows.push("1.1.1.1", {"a", Source::DataFile, cq});
    rows.push("1.1.1.2", {"a", Source::DataFile, cq});
    rows.push("1.1.1.3");
    return summary::summarise(rows, summary::GroupBy::Operator);
}

TEST(SummaryFile, TheEndingPicksTheFormat) {
    for (const auto& [name, csv] : {std::pair{"a.csv", true},
                                    {"A.CSV", true},
                                    {"a.xlsx", false},
                                    {"a.xls", false},
                                    {"a", false}})
        EXPECT_EQ(io::summaryAsCsv(platform::Path::fromUtf8(name)), csv) << name;
}

TEST(SummaryFile, BothFormatsHoldTheTable) {
    const summary::Summary s = sample();
    const std::vector<summary::TableLine> table = summary::tableOf(s);
    ASSERT_EQ(table.size(), 4u);  // titles, two groups, 合计

    const std::string csv = io::summaryCsv(s);
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    // The awkward name comes back whole from the quotes, behind its formula guard.
    const io::TextRows back = io::csvRows(csv);
    ASSERT_EQ(back.rows.size(), table.size());
    EXPECT_EQ(back.rows[1][0], "'=电信,\"x\"");
    EXPECT_EQ(back.rows[2][0], "未知");
    EXPECT_NE(csv.substr(3).find("\r\n未知,1,33.3%,1\r\n合计,3,100.0%,3\r\n"), std::string::npos);

    std::vector<workbook::SheetCell> cells;
    ASSERT_EQ(workbook::readXlsx(io::summaryXlsx(s), cells), workbook::XlsxStatus::Ok);
    ASSERT_EQ(cells.size(), table.size() * 4);
    for (const workbook::SheetCell& c : cells) EXPECT_EQ(c.text, table[c.row][c.column]);
}

}  // namespace
