// The address data read where it lies under Wine: a file mapped through the wide calls, a
// Chinese path, the database over the mapping, and the file kept from writers meanwhile.
#include <gtest/gtest.h>
#include <windows.h>

#include "ipdata/ipdata.h"
#include "platform/win32/files.h"
#include "tests/ipdata/ipdb_file.h"
#include "text/codepage.h"

namespace {

platform::Path tempPath(const std::string& name) {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    const std::u16string b(base, base + wcslen(base));
    return platform::Path(b + codepage::gbkToUtf16(name + std::to_string(GetCurrentProcessId())));
}

TEST(Win32Map, TheDatabaseReadsTheMappedFile) {
    platform::win32::FileSystem files;
    const platform::Path path = tempPath("地址库_测试_");
    const std::string bytes =
        ipdata_test::buildIpdb({{"1.0.1.0/24", "中国\t重庆\t重庆\t\t\t电信\tCN\tAS"}}).bytes;
    ASSERT_TRUE(files.writeAll(path, bytes));
    {
        auto view = files.map(path);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->bytes(), bytes);
        auto owner = std::make_shared<const platform::FileView>(std::move(*view));
        ipdata::OpenFailure reason;
        auto checked = ipdata::openDatabase(owner->bytes(), owner, reason);
        ASSERT_TRUE(checked) << static_cast<int>(reason.error);
        // Another view of the same mapping, elsewhere: the database moves there and the
        // view it was opened on goes.
        auto again = owner->again();
        ASSERT_TRUE(again);
        EXPECT_NE(again->bytes().data(), owner->bytes().data());
        EXPECT_EQ(again->bytes(), bytes);
        auto kept = std::make_shared<const platform::FileView>(std::move(*again));
        const auto db = checked->at(kept->bytes(), kept);
        ASSERT_TRUE(db);
        checked.reset();
        owner.reset();  // the first view is unmapped
        kept.reset();   // the database keeps the mapping
        EXPECT_EQ(db->find(*ip::parseAddress("1.0.1.7"))->display, "重庆 电信");
        // Nobody writes what was checked once and is trusted since.
        EXPECT_FALSE(files.writeAll(path, "changed"));
    }
    EXPECT_TRUE(files.writeAll(path, ""));
    const auto empty = files.map(path);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->bytes().empty());
    EXPECT_FALSE(files.map(platform::Path(path.units() + u"_无此文件")));
    EXPECT_FALSE(files.map(platform::Path()));
    DeleteFileW(std::wstring(path.units().begin(), path.units().end()).c_str());
}

}  // namespace
