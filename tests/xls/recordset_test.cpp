// The record set over a sheet: field names and records as the spreadsheet driver gives
// them, and the connection text's path.
#include "xls/recordset.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_files.h"
#include "xls/compound.h"
#include "tests/xls/biff_builder.h"

using namespace xls_test;

namespace {

struct Fixture : ::testing::Test {
    fake::Files files;
    void SetUp() override { platform::setFiles(&files); }
    void TearDown() override { platform::setFiles(nullptr); }

    bool openSheet(const std::string& body, xls::Connection& c, xls::RecordSet& rs) {
        files.put("D:\\book.xls",
                  xls::writeCompoundFile("Workbook", workbookStream({"Sheet1"}, {body})));
        c.open(
            "ODBC;DBQ=D:\\book.xls;DefaultDir=D:\\book.xls;Driver={Microsoft Excel Driver "
            "(*.xls)}; ",
            "", "", -1);
        EXPECT_TRUE(rs.setActiveConnection(&c));
        return rs.open("select * from [Sheet1$]", &c, 3, 3, 1);
    }
};

using RecordSetTest = Fixture;

std::vector<std::vector<std::string>> records(xls::RecordSet& rs) {
    std::vector<std::vector<std::string>> out;
    for (int j = 0; j < rs.recordCount(); ++j, rs.moveNext()) {
        out.emplace_back();
        for (int k = 0; k < rs.fieldCount(); ++k) out.back().push_back(rs.value(k));
    }
    return out;
}

}  // namespace

TEST(ConnectionText, PathIsTheValueOfDbq) {
    const std::pair<const char*, const char*> cases[] = {
        {"ODBC;DBQ=D:\\a.xls;DefaultDir=D:\\a.xls;Driver={Microsoft Excel Driver (*.xls)}; ",
         "D:\\a.xls"},
        {"ODBC;DBQ=D:\\x;y\\a.xls;DefaultDir=D:\\x;y\\a.xls;Driver={x}; ", "D:\\x;y\\a.xls"},
        {"dbq=C:\\b.xls", "C:\\b.xls"},
        {"ODBC;DBQ=C:\\中文\\表.xls;DefaultDir=C:\\; ", "C:\\中文\\表.xls"},
        {"ODBC;Driver={x}", ""},
    };
    for (auto [text, path] : cases) EXPECT_EQ(xls::connectionPath(text), path) << text;
}

TEST_F(RecordSetTest, FirstRowNamesTheFieldsAsTheDriverDoes) {
    xls::Connection c;
    xls::RecordSet rs;
    ASSERT_TRUE(openSheet(label8(0, 0, "1.1.1.1") + label8(0, 1, "") + number(0, 2, 2.5) +
                              label8(1, 0, "2.2.2.2") + number(1, 2, 7) +
                              label8(3, 1, "after a blank row"),
                          c, rs));
    ASSERT_EQ(rs.fieldCount(), 3);
    EXPECT_EQ(rs.fieldName(0), "1#1#1#1");
    EXPECT_EQ(rs.fieldName(1), "F2");  // an empty title: the driver's own name
    EXPECT_EQ(rs.fieldName(2), "2#5");
    EXPECT_EQ(rs.fieldName(3), "");
    const std::vector<std::vector<std::string>> want = {
        {"2.2.2.2", "", "7"}, {"", "", ""}, {"", "after a blank row", ""}};
    EXPECT_EQ(records(rs), want);
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(rs.value(0), "");
    rs.moveNext();
    EXPECT_EQ(rs.value(0), "");
}

TEST_F(RecordSetTest, TableIsTheUsedRangeOfTheSheet) {
    xls::Connection c;
    xls::RecordSet rs;
    // Data starting at C5: the header is row 5, the first field column C.
    ASSERT_TRUE(
        openSheet(label8(4, 2, "head") + label8(5, 2, "1.2.3.4") + label8(6, 3, "d"), c, rs));
    ASSERT_EQ(rs.fieldCount(), 2);
    EXPECT_EQ(rs.fieldName(0), "head");
    const std::vector<std::vector<std::string>> want = {{"1.2.3.4", ""}, {"", "d"}};
    EXPECT_EQ(records(rs), want);
}

TEST_F(RecordSetTest, EmptySheetAndFailures) {
    xls::Connection c;
    xls::RecordSet rs;
    ASSERT_TRUE(openSheet("", c, rs));
    EXPECT_EQ(rs.fieldCount(), 0);
    EXPECT_EQ(rs.recordCount(), 0);

    EXPECT_FALSE(rs.setActiveConnection(nullptr));
    struct Case {
        const char* source;
        int options;
        bool opens;
    } cases[] = {{"select * from [Sheet1$]", 1, true},
                 {"SELECT * FROM [sheet1$]", 1, true},
                 {"[Sheet1$]", 2, true},
                 {"Sheet1$", 2, true},
                 {"[Sheet1$]", 1, false},
                 {"select a from [Sheet1$]", 1, false},
                 {"[Sheet1]", 2, false},
                 {"[Sheet2$]", 2, false}};
    for (const Case& k : cases) {
        EXPECT_EQ(rs.open(k.source, &c, 3, 3, k.options), k.opens) << k.source;
        EXPECT_EQ(rs.isOpen(), k.opens);
    }
    EXPECT_EQ(rs.status(), xls::OpenStatus::NoSheet);

    files.unreadable.insert("D:\\book.xls");
    EXPECT_FALSE(c.open("ODBC;DBQ=D:\\book.xls;", "", "", -1));
    EXPECT_EQ(c.status(), xls::OpenStatus::Unreadable);
    EXPECT_FALSE(rs.open("[Sheet1$]", &c, 3, 3, 2));
    EXPECT_EQ(rs.status(), xls::OpenStatus::Unreadable);
    EXPECT_EQ(rs.fieldCount(), 0);
    EXPECT_EQ(rs.value(0), "");
}
