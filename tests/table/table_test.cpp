// The query table's ids: an answer finds its row for as long as that row exists, and
// never another row, whatever replaced or grew the list meanwhile.
#include "table/table.h"

#include <gtest/gtest.h>

namespace {

QueryTable makeTable(std::initializer_list<const char*> addresses) {
    QueryTable table({"IP", "来自"});
    std::vector<RowCells> rows;
    for (const char* a : addresses) rows.push_back({a, ""});
    table.replace(std::move(rows));
    return table;
}

TEST(QueryTable, AnswersLandByIdAndNeverInAReplacedList) {
    QueryTable table = makeTable({"1.1.1.1", "2.2.2.2", "3.3.3.3"});
    const std::vector<PendingRow> asked = table.pending();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_TRUE(table.setLocation(asked[1].id, "B"));
    EXPECT_EQ(table.cell(1, 1), "B");

    // The same addresses imported again: the old ids must not reach the new rows.
    std::vector<RowCells> again{{"1.1.1.1", ""}, {"2.2.2.2", ""}, {"3.3.3.3", ""}, {"4.4.4.4", ""}};
    table.replace(std::move(again));
    for (const PendingRow& old : asked) EXPECT_FALSE(table.setLocation(old.id, "stale"));
    for (size_t i = 0; i < table.size(); ++i) EXPECT_EQ(table.cell(i, 1), "");

    // Appended rows continue the ids; a cleared list knows none of them.
    const RowId added = table.append({"5.5.5.5", ""});
    EXPECT_EQ(table.indexOf(added), std::optional<size_t>(4));
    EXPECT_EQ(table.indexOf(table.row(0).id), std::optional<size_t>(0));
    table.clear();
    EXPECT_FALSE(table.setLocation(added, "x"));
    const RowId first = table.append({"6.6.6.6", ""});
    EXPECT_EQ(table.indexOf(first), std::optional<size_t>(0));
    EXPECT_FALSE(table.indexOf(added).has_value());
}

TEST(QueryTable, PendingSkipsAnsweredRowsAndCellsOutsideReadEmpty) {
    QueryTable table({"IP", "来自"});
    table.replace({{"a", "done"}, {"b", ""}, {"", ""}});
    const std::vector<PendingRow> pending = table.pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].address, "b");
    EXPECT_EQ(pending[1].address, "");
    EXPECT_EQ(table.cell(3, 0), "");
    EXPECT_EQ(table.cell(0, 2), "");
    EXPECT_EQ(table.header(1), "来自");
    EXPECT_EQ(table.header(2), "");
}

TEST(QueryTable, ASnapshotKeepsTheRowsOfItsMoment) {
    QueryTable table = makeTable({"1.1.1.1", "2.2.2.2"});
    const auto before = table.snapshot();
    table.setLocation(table.row(0).id, "A");
    const auto answered = table.snapshot();
    table.append({"3.3.3.3", ""});
    table.setLocations({{table.row(1).id, "B"}});
    // Rows made as the table holds them get fresh ids too.
    const RowId old = table.row(0).id;
    table.replaceRows({{0, "9.9.9.9", ""}});
    EXPECT_EQ((*before)[0].location + "|" + (*before)[1].location, "|");
    EXPECT_EQ(answered->size(), 2u);
    EXPECT_EQ((*answered)[0].location + "|" + (*answered)[1].location, "A|");
    EXPECT_FALSE(table.setLocation(old, "stale"));
    EXPECT_TRUE(table.setLocation(table.row(0).id, "C"));
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(table.cell(0, 0) + " " + table.cell(0, 1), "9.9.9.9 C");
}

TEST(QueryTable, EveryChangeIsReportedForTheView) {
    QueryTable table({"IP", "来自"});
    std::vector<std::pair<bool, size_t>> seen;
    table.setListener([&](const QueryTable::Change& c) { seen.push_back({c.allRows, c.index}); });
    table.replace({{"a", ""}, {"b", ""}});
    table.setLocation(table.row(1).id, "x");
    table.setLocation(12345, "gone");
    table.append({"c", ""});
    // Many answers at once are one change; an id that is gone is no row written.
    EXPECT_EQ(table.setLocations({{table.row(0).id, "y"}, {12345, "gone"}, {table.row(2).id, "z"}}),
              2u);
    EXPECT_EQ(table.cell(0, 1) + table.cell(1, 1) + table.cell(2, 1), "yxz");
    EXPECT_EQ(table.setLocations({{12345, "gone"}}), 0u);
    const std::vector<std::pair<bool, size_t>> expected{
        {true, 0}, {false, 1}, {true, 2}, {true, 0}};
    EXPECT_EQ(seen, expected);
}

}  // namespace
