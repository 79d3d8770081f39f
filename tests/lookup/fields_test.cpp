// Every answered row keeps what the local files know of its address, whatever answered it;
// a damaged asn.db is said and the program goes on without it.
#include "ipdata/pack/pack.h"
#include "support.h"
#include "tests/ipdata/data_file.h"

namespace lookup_test {
namespace {

const std::string kDataPath = "C:\\Verdalo\\ipdata.db";
const std::string kAsnPath = "C:\\Verdalo\\asn.db";

std::string dataFile() {
    return ipdata_test::buildFile({
        {"1.0.1.0", "1.0.3.255", "中国|0|重庆|重庆市|电信"},
        {"5.5.5.0", "5.5.5.255", "中国|0|北京|北京市|联通"},
    });
}

std::string asnFile() {
    asnpack::Report report;
    return asnpack::pack("1.0.0.0,1.0.3.255,4134,Chinanet\n9.9.9.0,9.9.9.255,19281,Quad9\n", "",
                         "test", 20260617, report);
}

class FieldsTest : public LookupTest {
  protected:
    void start(const std::string& asn) {
        net.handler = [](const std::string&, int, const std::string& object) {
            const std::string address = getTextBetween(object, "ip=", "&action=2");
            if (address.rfind("1.", 0) == 0) return failed();
            return gbkPage("<ul><li>本站主数据：网" + address + "</li><li>参考：x</li></ul>");
        };
        lookups.reset();
        window.dropQueued();
        files.put(kDataPath, dataFile());
        if (!asn.empty()) files.put(kAsnPath, asn);
        lookups = std::make_unique<ui::LookupPresenter>(
            os, executor, window.table(), window, window, platform::Path::fromUtf8(kDataPath));
    }
};

TEST_F(FieldsTest, WebAndDataAnswersBothGetTheFieldsAndTheNetwork) {
    start(asnFile());
    setRows({{"1.0.2.3", ""}, {"5.5.5.5", ""}, {"9.9.9.9", ""}, {"7.7.7.7", ""}});
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    const RowStore& store = window.table().rows();
    struct Want {
        Source source;
        const char* region;  // nullptr: no fields
        std::uint32_t asn;
        const char* organisation;
    } want[] = {
        {Source::DataFile, "重庆", 4134, "Chinanet"},  // the page failed, the data answered
        {Source::Web, "北京", 0, ""},                  // the page answered, the data placed it
        {Source::Web, nullptr, 19281, "Quad9"},        // only asn.db knows it
        {Source::Web, nullptr, 0, ""},
    };
    for (std::size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        const RowView row = store[i];
        EXPECT_EQ(row.source, want[i].source);
        ASSERT_EQ(row.fields.has_value(), want[i].region != nullptr);
        if (row.fields) {
            EXPECT_EQ((*row.fields)[1], want[i].region);
        }
        EXPECT_EQ(row.asn, want[i].asn);
        EXPECT_EQ(row.organisation, want[i].organisation);
    }
    // The list's columns are as they were.
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"1.0.2.3", "重庆 重庆市 电信 (离线库)"},
                                             {"5.5.5.5", "网5.5.5.5"},
                                             {"9.9.9.9", "网9.9.9.9"},
                                             {"7.7.7.7", "网7.7.7.7"}}));
}

// The offline batch makes an answer once for rows that share a record and a network: rows
// of one record in two networks keep their own network each.
TEST_F(FieldsTest, OfflineRowsOfOneRecordKeepTheirOwnNetworks) {
    asnpack::Report report;
    start(asnpack::pack("5.5.5.0,5.5.5.127,100,Low\n5.5.5.128,5.5.5.255,200,High\n", "", "test",
                        20260617, report));
    setRows({{"5.5.5.1", ""}, {"5.5.5.200", ""}, {"5.5.5.2", ""}, {"1.0.2.3", ""}, {"x", ""}});
    lookups->setOfflineMode(true);
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    const RowStore& store = window.table().rows();
    const std::pair<std::uint32_t, const char*> want[] = {
        {100, "Low"}, {200, "High"}, {100, "Low"}, {0, ""}, {0, ""}};
    for (std::size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(store.asn(i), want[i].first);
        EXPECT_EQ(store.organisation(i), want[i].second);
    }
    EXPECT_EQ(store.text(0), "北京 北京市 联通");
    EXPECT_EQ(store.text(1), store.text(0));
    EXPECT_EQ(store.text(3), "重庆 重庆市 电信");
    EXPECT_EQ(store.text(4), "");
    EXPECT_EQ(status(), "查询完毕,共查询出4条数据!(离线查询,离线库中没有1条)");
}

TEST_F(FieldsTest, ADamagedAsnFileIsSaidAndTheLookupsGoOn) {
    start(std::string(4096, 'x'));
    ASSERT_TRUE(runUntil([this] { return status().find("asn.db") != std::string::npos; }));
    EXPECT_EQ(status(), "网络编号库(asn.db)无法使用:不是网络编号库文件");
    setRows({{"1.0.2.3", ""}});
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(window.table().rows().asn(0), 0u);
    EXPECT_TRUE(window.table().row(0).fields.has_value());
}

}  // namespace
}  // namespace lookup_test
