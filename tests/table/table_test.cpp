// The query table's ids: an answer finds its row for as long as that row exists, and
// never another row, whatever replaced or grew the list meanwhile. Its compact storage
// gives back every answer as it was put in.
#include "table/table.h"

#include <gtest/gtest.h>

namespace {

QueryTable makeTable(std::initializer_list<const char*> addresses) {
    QueryTable table({"IP", "来自"});
    std::vector<RowCells> rows;
    for (const char* a : addresses) rows.push_back({a, ""});
    table.replace(rows);
    return table;
}

std::string texts(const QueryTable& table) {
    std::string out;
    for (std::size_t i = 0; i < table.size(); ++i)
        out += std::string(table.cell(i, 0)) + "=" + shownLocation(table.row(i)) + ";";
    return out;
}

TEST(QueryTable, AnswersLandByIdAndNeverInAReplacedList) {
    QueryTable table = makeTable({"1.1.1.1", "2.2.2.2", "3.3.3.3"});
    const std::vector<PendingRow> asked = table.pending();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_TRUE(table.setLocation(asked[1].id, "B"));
    EXPECT_EQ(table.cell(1, 1), "B");

    // The same addresses imported again: the old ids must not reach the new rows.
    table.replace({{"1.1.1.1", ""}, {"2.2.2.2", ""}, {"3.3.3.3", ""}, {"4.4.4.4", ""}});
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

// What a batch asks about: rows without a text, and the data's answers when asked for.
TEST(QueryTable, PendingIsDecidedByTextAndSource) {
    QueryTable table({"IP", "来自"});
    table.replace({{"a", "done"}, {"b", ""}, {"c", ""}, {"d", ""}, {"e", ""}});
    table.setAnswer(table.row(2).id, {"重庆 电信", Source::DataFile, std::nullopt});
    table.setAnswer(table.row(3).id, {"", Source::Web, std::nullopt});  // a failed request
    // An imported text that merely ends like a marked answer is no data answer.
    table.setAnswer(table.row(4).id, {std::string("x") + kDataFileMark, Source::None, {}});
    auto addresses = [](const std::vector<PendingRow>& rows) {
        std::string out;
        for (const PendingRow& r : rows) out += r.address;
        return out;
    };
    EXPECT_EQ(addresses(table.pending()), "bd");
    EXPECT_EQ(addresses(table.pending(true)), "bcd");
    EXPECT_EQ(table.cell(5, 0), "");
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
    table.setAnswers({{{"B", Source::Web, std::nullopt}}, {{table.row(1).id, 0}}});
    // Rows made as the table holds them get fresh ids too.
    const RowId old = table.row(0).id;
    RowStore fresh;
    fresh.push("9.9.9.9");
    table.replaceRows(std::move(fresh));
    EXPECT_EQ(std::string((*before)[0].text) + "|" + std::string((*before)[1].text), "|");
    EXPECT_EQ(answered->size(), 2u);
    EXPECT_EQ(std::string((*answered)[0].text) + "|" + std::string((*answered)[1].text), "A|");
    EXPECT_FALSE(table.setLocation(old, "stale"));
    EXPECT_TRUE(table.setLocation(table.row(0).id, "C"));
    EXPECT_EQ(texts(table), "9.9.9.9=C;");
}

// A view that redraws what each change names stays the table's picture, whatever the
// change: a replaced list, an answer, one for a row that is gone, appended rows, many
// answers at once.
TEST(QueryTable, AViewFollowingTheChangesShowsTheTable) {
    QueryTable table({"IP", "来自"});
    std::vector<std::string> shown;
    table.setListener([&](const QueryTable::Change& c) {
        shown.resize(table.size());
        const std::size_t from = c.allRows && !c.appended ? 0 : c.index;
        const std::size_t to = c.allRows ? table.size() : c.index + 1;
        for (std::size_t i = from; i < to; ++i) shown[i] = shownLocation(table.row(i));
    });
    auto picture = [&] {
        std::string out;
        for (const std::string& s : shown) out += s + ";";
        return out;
    };
    auto truth = [&] {
        std::string out;
        for (std::size_t i = 0; i < table.size(); ++i) out += shownLocation(table.row(i)) + ";";
        return out;
    };
    table.replace({{"a", ""}, {"b", ""}});
    EXPECT_EQ(picture(), truth());
    table.setLocation(table.row(1).id, "x");
    EXPECT_EQ(picture(), truth());
    table.setLocation(12345, "gone");
    table.append({"c", ""});
    EXPECT_EQ(picture(), truth());
    // One answer shared by two rows, one for a row that is gone, one out of range.
    const SharedAnswers shared{
        {{"y", Source::DataFile, std::nullopt}, {"gone", Source::Web, std::nullopt}},
        {{table.row(0).id, 0}, {12345, 1}, {table.row(2).id, 0}, {table.row(1).id, 7}}};
    EXPECT_EQ(table.setAnswers(shared), 2u);
    EXPECT_EQ(picture(), truth());
    EXPECT_EQ(picture(), std::string("y") + kDataFileMark + ";x;y" + kDataFileMark + ";");
    EXPECT_EQ(table.setAnswers({{{"gone", Source::Web, std::nullopt}}, {{12345, 0}}}), 0u);
}

// Texts and fields are stored once each: many rows, few distinct answers, and every row
// still reads back its own, through the storage's growth.
// Enough rows, and long and empty texts among them, that the storage crosses its pages.
TEST(QueryTable, CompactRowsReadBackWhatWasPutIn) {
    struct Kind {
        const char* text;  // null: a text of the row's own
        Source source;
        bool withFields;
    };
    const Kind kinds[] = {
        {"", Source::None, false},
        {"重庆 重庆市 电信", Source::DataFile, true},
        {"北京 联通", Source::Web, false},
        {"江苏省 南京市 电信", Source::RangeSearch, true},
        {"imported text", Source::None, false},
        {nullptr, Source::RangeSearch, true},
    };
    auto fieldsOf = [](std::size_t i) {
        Fields f{"中国",
                 "region" + std::to_string(i % 37),
                 "city" + std::to_string(i % 11),
                 "",
                 "",
                 "电信",
                 i % 2 ? "CN" : ""};
        return f;
    };
    const std::string longText(3 << 19, 'x');  // 1.5 MiB: longer than a page
    auto addressOf = [&](std::size_t i) {
        if (i % 1000 == 999) return std::string();
        if (i == 70001 || i == 70002) return longText;
        return "10." + std::to_string(i) + ".0.0/16";
    };
    auto textOf = [&](const Kind& k, std::size_t i) {
        if (k.text) return std::string(k.text);
        return i == 90005 ? longText + "!" : "某地 " + std::to_string(i);
    };
    QueryTable table({"IP", "来自"});
    RowStore rows;
    constexpr std::size_t kRows = 140000;
    for (std::size_t i = 0; i < kRows; ++i) {
        const Kind& k = kinds[i % std::size(kinds)];
        Answer a{textOf(k, i), k.source, std::nullopt};
        if (k.withFields) a.fields = fieldsOf(i);
        rows.push(addressOf(i), a);
    }
    table.replaceRows(std::move(rows));
    ASSERT_EQ(table.size(), kRows);
    for (std::size_t i = 0; i < kRows; ++i) {
        const Kind& k = kinds[i % std::size(kinds)];
        const RowView row = table.row(i);
        ASSERT_EQ(row.address, addressOf(i)) << i;
        ASSERT_EQ(row.text, textOf(k, i)) << i;
        ASSERT_EQ(row.source, k.source) << i;
        ASSERT_EQ(row.fields.has_value(), k.withFields) << i;
        if (k.withFields) {
            const Fields expected = fieldsOf(i);
            for (std::size_t f = 0; f < kFieldCount; ++f) ASSERT_EQ((*row.fields)[f], expected[f]);
        }
    }
    // An answer replaced in place reads back too, and the old one stays for a snapshot.
    const auto before = table.snapshot();
    table.setAnswer(table.row(1).id, {"新", Source::Web, std::nullopt});
    EXPECT_EQ(shownLocation(table.row(1)), "新");
    EXPECT_EQ(shownLocation((*before)[1]), std::string("重庆 重庆市 电信") + kDataFileMark);
    EXPECT_FALSE(table.row(1).fields.has_value());
}

}  // namespace

// The network and the hits ride beside the fields: a network alone is no fields, hits
// outlive a new answer, and a snapshot keeps the hits of its moment.
TEST(QueryTable, NetworksAndHitsReadBackAndHitsOutliveAnswers) {
    QueryTable table({"IP", "来自"});
    table.append("1.1.1.1", {}, 5);
    Answer networkOnly{"网", Source::Web, std::nullopt};
    networkOnly.network = Network{13335, "Cloudflare, Inc."};
    table.append("2.2.2.2", networkOnly, 1);
    Answer both{"北京", Source::Web, Fields{"中国", "北京", "", "", "", "", "CN"}};
    both.network = Network{4808, "China Unicom"};
    table.append("3.3.3.3", both);

    const auto before = table.snapshot();
    ASSERT_TRUE(table.setAnswer(table.row(0).id, both));
    const RowView first = table.row(0);
    EXPECT_EQ(first.hits, 5u);
    EXPECT_EQ(first.asn, 4808u);
    EXPECT_EQ(first.organisation, "China Unicom");
    ASSERT_TRUE(first.fields);
    EXPECT_EQ((*first.fields)[1], "北京");
    EXPECT_EQ(before->asn(0), 0u);
    EXPECT_EQ(before->hits(0), 5u);

    const RowView second = table.row(1);
    EXPECT_FALSE(second.fields);
    EXPECT_EQ(second.asn, 13335u);
    EXPECT_EQ(second.organisation, "Cloudflare, Inc.");
    EXPECT_EQ(table.rows().hits(1), 1u);
    // An answer without a network takes it away.
    ASSERT_TRUE(table.setAnswer(table.row(1).id, {"x", Source::Web}));
    EXPECT_EQ(table.rows().asn(1), 0u);
    EXPECT_EQ(table.rows().organisation(1), "");
}
