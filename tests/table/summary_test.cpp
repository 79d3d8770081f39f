// The summary: groups by the chosen field, shares of the whole list, a stable order for
// equal groups, the rest line past the shown groups, and an empty list.
#include "table/summary.h"

#include <gtest/gtest.h>

#include "table/operators.h"

namespace {

using summary::GroupBy;

// A row placed in (country, region, city, operator); "" for a row nobody placed.
struct Placed {
    const char* country;
    const char* region = "";
    const char* city = "";
    const char* op = "";
};

RowStore rowsOf(std::initializer_list<Placed> placed) {
    RowStore rows;
    int n = 0;
    for (const Placed& p : placed) {
        const std::string address = "10.0.0." + std::to_string(++n);
        if (std::string_view(p.country).empty()) {
            rows.push(address, {"", Source::None});
            continue;
        }
        Fields f{p.country, p.region, p.city, "", "", p.op, "CN"};
        rows.push(address, {"x", Source::DataFile, f});
    }
    return rows;
}

std::string linesOf(const summary::Summary& s) {
    std::string out;
    for (const summary::Line& l : s.lines)
        out += l.name + ":" + std::to_string(l.addresses) + "/" + std::to_string(l.hits) + " ";
    if (s.hasRest) out += "rest:" + std::to_string(s.rest.addresses);
    return out;
}

TEST(Summary, GroupsByTheChosenFieldLargestFirst) {
    const RowStore rows = rowsOf({{"中国", "重庆", "重庆", "电信"},
                                  {"中国", "北京", "北京", "联通"},
                                  {"中国", "重庆", "", "中国电信"},
                                  {"美国", "", "", ""},
                                  {""}});
    struct Case {
        GroupBy by;
        const char* lines;
    } cases[] = {
        {GroupBy::Country, "中国:3/3 未知:1/1 美国:1/1 "},
        {GroupBy::Region, "未知:2/2 重庆:2/2 北京:1/1 "},  // ties by name, bytes of UTF-8
        {GroupBy::City, "未知:3/3 北京:1/1 重庆:1/1 "},
        // One operator however the data spells it, under its one name.
        {GroupBy::Operator, "中国电信:2/2 未知:2/2 中国联通:1/1 "},
        // The rows carry no network yet: one unknown group.
        {GroupBy::Asn, "未知:5/5 "},
    };
    for (const Case& c : cases) {
        const summary::Summary s = summary::summarise(rows, c.by);
        EXPECT_EQ(linesOf(s), c.lines) << summary::groupTitle(c.by);
        EXPECT_EQ(s.addresses, 5u);
        EXPECT_EQ(s.unplaced, 1u);
        EXPECT_EQ(s.hits, 5u);
    }
}

TEST(Summary, TheRestLineHoldsEveryGroupPastTheShownOnes) {
    RowStore rows;
    // Group g has g + 1 rows: 20 groups, 210 rows.
    for (int g = 0; g < 20; ++g) {
        for (int i = 0; i <= g; ++i) {
            Fields f{"国" + std::to_string(g), "", "", "", "", "", ""};
            rows.push("1.1.1.1", {"x", Source::DataFile, f});
        }
    }
    const summary::Summary s = summary::summarise(rows, GroupBy::Country);
    ASSERT_EQ(s.lines.size(), summary::kShownLines);
    EXPECT_EQ(s.groups, 20u);
    EXPECT_EQ(s.lines.front().name, "国19");
    EXPECT_EQ(s.lines.back().name, "国5");
    ASSERT_TRUE(s.hasRest);
    EXPECT_EQ(s.rest.name, summary::kRestName);
    EXPECT_EQ(s.rest.addresses, 1u + 2 + 3 + 4 + 5);
    EXPECT_DOUBLE_EQ(s.lines.front().share, 20.0 / 210);
    double shares = s.rest.share;
    for (const summary::Line& l : s.lines) shares += l.share;
    EXPECT_NEAR(shares, 1.0, 1e-9);

    // Exactly as many groups as shown: no rest line.
    EXPECT_FALSE(summary::summarise(rows, GroupBy::Country, 20).hasRest);
}

TEST(Summary, EmptyListAndItsText) {
    const summary::Summary empty = summary::summarise(RowStore(), GroupBy::City);
    EXPECT_TRUE(empty.lines.empty());
    EXPECT_FALSE(empty.hasRest);
    EXPECT_EQ(empty.addresses, 0u);
    EXPECT_EQ(summary::tabText(empty), "城市\t地址数\t占比\t次数\r\n合计\t0\t0.0%\t0\r\n");

    const summary::Summary one =
        summary::summarise(rowsOf({{"中国"}, {"中国"}, {""}}), GroupBy::Country);
    EXPECT_EQ(summary::tabText(one),
              "国家\t地址数\t占比\t次数\r\n中国\t2\t66.7%\t2\r\n未知\t1\t33.3%\t1\r\n"
              "合计\t3\t100.0%\t3\r\n");
}

// The command line counts its distinct addresses through a Counter, name by name, with
// names it holds in its own strings: the same lines as the rows give.
TEST(Summary, AnySourceOfNamedAddressesGivesTheSameLines) {
    const RowStore rows = rowsOf({{"中国", "重庆", "", "电信"},
                                  {"中国", "北京", "", "联通"},
                                  {"美国"},
                                  {"中国", "重庆", "", "电信"},
                                  {""},
                                  {"日本"},
                                  {"中国", "", "", "移动"}});
    for (const GroupBy by : {GroupBy::Country, GroupBy::Region, GroupBy::Operator}) {
        for (const std::size_t shown : {std::size_t{2}, summary::kShownLines}) {
            std::vector<std::string> names;
            names.reserve(rows.size());  // the counter keeps views of them
            summary::Counter counter;
            for (std::size_t i = 0; i < rows.size(); ++i) {
                const RowView row = rows[i];
                if (!row.fields) counter.unplaced();
                const auto place = static_cast<std::size_t>(fieldInfo(by).record);
                std::string_view name = row.fields ? (*row.fields)[place] : "";
                if (by == GroupBy::Operator) name = table::operatorGroup(name);
                names.emplace_back(name);
                counter.add(names.back(), i + 1);  // hits differ, so order is not by name
            }
            RowStore hit = rows;
            for (std::size_t i = 0; i < hit.size(); ++i)
                hit.setHits(i, static_cast<std::uint32_t>(i + 1));
            const summary::Summary fromRows = summary::summarise(hit, by, shown);
            const summary::Summary counted = counter.summary(by, shown);
            EXPECT_EQ(summary::tabText(counted), summary::tabText(fromRows));
            EXPECT_EQ(counted.unplaced, fromRows.unplaced);
            EXPECT_EQ(counted.groups, fromRows.groups);
        }
    }
}

}  // namespace
