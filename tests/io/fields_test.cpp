// The columns of our own formats: CIDR blocks of a range, the .jsonl lines, hits of a text.
#include "io/fields.h"

#include <gtest/gtest.h>

#include "io/formats.h"
#include "text/text.h"

namespace {

TEST(CidrBlocks, TheFewestPrefixesThatCoverARangeExactly) {
    const struct {
        const char* range;
        const char* blocks;
    } cases[] = {
        {"1.0.0.0-1.0.0.255", "1.0.0.0/24"},
        {"1.0.0.0-1.0.1.0", "1.0.0.0/24 1.0.1.0/32"},
        {"1.0.0.1-1.0.0.6", "1.0.0.1/32 1.0.0.2/31 1.0.0.4/31 1.0.0.6/32"},
        {"10.0.0.0-10.0.0.0", "10.0.0.0/32"},
        {"0.0.0.0-255.255.255.255", "0.0.0.0/0"},
        {"255.255.255.254-255.255.255.255", "255.255.255.254/31"},
        {"2001:db8::/32", "2001:db8::/32"},
        {"2001:db8::-2001:db8::1:0", "2001:db8::/112 2001:db8::1:0/128"},
        {"::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::/0"},
        {"2001:db8:0:0:8000::-2001:db8:0:1:7fff:ffff:ffff:ffff",
         "2001:db8:0:0:8000::/65 2001:db8:0:1::/65"},
        {"1.2.3.4", "1.2.3.4/32"},
        {"重庆", ""},
        {"1.0.0.5-1.0.0.1", ""},
        {"1.0.0.0-::1", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(io::cidrBlocks(c.range), c.blocks) << c.range;
}

TEST(JsonlFile, OneObjectALineEveryRowUtf8Escaped) {
    RowStore rows;
    rows.push("9.9.9.9");
    Answer placed{
        "重庆 \"电信\"", Source::DataFile,
        Fields{"中国", "重庆", "", "", "", "电信", "CN", "29.5628", "-1e-05", "", "", "亚洲"}};
    placed.network = Network{4134, "Chinanet\\\x01"};
    rows.push("218.70.0.1", placed);
    rows.setHits(1, 3);
    rows.push("1.0.0.0-1.0.0.255", {"北京", Source::RangeSearch, std::nullopt});
    EXPECT_EQ(
        io::jsonlFile(rows),
        "{\"ip\":\"9.9.9.9\",\"location\":\"\",\"country\":\"\",\"region\":\"\",\"city\":\"\","
        "\"district\":\"\",\"owner\":\"\",\"isp\":\"\",\"asn\":null,\"as_name\":\"\","
        "\"latitude\":null,\"longitude\":null,\"time_zone\":\"\",\"postal_code\":\"\","
        "\"continent\":\"\",\"hits\":1,\"source\":\"\",\"cidr\":\"\"}\n" +
            std::string("{\"ip\":\"218.70.0.1\",\"location\":\"重庆 \\\"电信\\\"\","
                        "\"country\":\"中国\",\"region\":\"重庆\",\"city\":\"\",\"district\":\"\","
                        "\"owner\":\"\",\"isp\":\"电信\",\"asn\":4134,"
                        "\"as_name\":\"Chinanet\\\\\\u0001\",\"latitude\":29.5628,"
                        "\"longitude\":-1e-05,\"time_zone\":\"\",\"postal_code\":\"\","
                        "\"continent\":\"亚洲\",\"hits\":3,\"source\":\"data\","
                        "\"cidr\":\"\"}\n"
                        "{\"ip\":\"1.0.0.0-1.0.0.255\",\"location\":\"北京\",\"country\":\"\","
                        "\"region\":\"\",\"city\":\"\",\"district\":\"\",\"owner\":\"\","
                        "\"isp\":\"\",\"asn\":null,\"as_name\":\"\",\"latitude\":null,"
                        "\"longitude\":null,\"time_zone\":\"\",\"postal_code\":\"\","
                        "\"continent\":\"\",\"hits\":1,\"source\":\"\","
                        "\"cidr\":\"1.0.0.0/24\"}\n"));
    EXPECT_EQ(io::jsonlFile(RowStore()), "");
}

// The header is the table of fields' titles, and a file read back puts each column in the
// field it came from.
TEST(CsvFile, HeaderFromTheTableOfFieldsAndEveryFieldBackInPlace) {
    RowStore rows;
    Answer placed{"重庆 电信", Source::Web, Fields{"中国", "重庆", "渝中", "区", "主", "电信", ""}};
    placed.network = Network{4134, "Chinanet"};
    rows.push("218.70.0.1", placed);
    rows.setHits(0, 7);
    io::Titles titles{{"IP", "来自"}, {}, {"网络", "离线库"}};
    for (std::size_t c = 0; c < io::kExtraColumns; ++c)
        titles.extra[c] = fieldInfo(io::extraField(c)).title;
    const std::string csv = io::csvFile(rows, titles);

    std::string header;
    for (const FieldId id : exportFields()) {
        if (id == FieldId::Cidr) break;  // only with a reverse search's rows
        header += (header.empty() ? "" : ",") + std::string(fieldInfo(id).title);
    }
    ASSERT_EQ(csv.substr(0, csv.find("\r\n")), "\xEF\xBB\xBF" + header);

    const io::CsvList back = io::csvList(csv);
    ASSERT_TRUE(back.own);
    ASSERT_EQ(back.own->size(), 1u);
    const RowView row = (*back.own)[0];
    ASSERT_TRUE(row.fields);
    // The country code is no column of the exports.
    for (std::size_t f = 0; f + 1 < kFieldCount; ++f)
        EXPECT_EQ((*row.fields)[f], (*placed.fields)[f]) << f;
    EXPECT_EQ(row.asn, 4134u);
    EXPECT_EQ(row.organisation, "Chinanet");
    EXPECT_EQ(row.hits, 7u);
    EXPECT_EQ(row.source, Source::Web);
}

TEST(TextImport, EachAddressOnceWithItsHitsAListRowOnce) {
    const io::ReadList log = io::listFormat(io::FormatId::Addresses)
                                 .read("a 10.0.0.1 b 10.0.0.2\r\n10.0.0.1 [10.0.0.1]:80 10.0.0.2");
    ASSERT_TRUE(log.store);
    ASSERT_EQ(log.store->size(), 2u);
    EXPECT_EQ(log.store->address(0), "10.0.0.1");
    EXPECT_EQ(log.store->hits(0), 3u);
    EXPECT_EQ(log.store->hits(1), 2u);
    // A list's rows are rows, repeated or not.
    const io::ReadList list = io::listFormat(io::FormatId::Lines).read("1.1.1.1\r\n1.1.1.1\r\n");
    EXPECT_FALSE(list.store);
    EXPECT_EQ(list.rows.size(), 2u);
}

}  // namespace
