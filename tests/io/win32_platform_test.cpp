// The Win32 files and clipboard under Wine: paths GBK cannot hold through the wide calls,
// files held by another handle, both clipboard formats.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/win32/clipboard.h"
#include "platform/win32/files.h"
#include "text/codepage.h"

namespace {

std::wstring wide(const platform::Path& path) {
    return std::wstring(path.units().begin(), path.units().end());
}

// A folder whose name holds Chinese, Hangul and a character beyond the BMP.
struct TempDir {
    platform::Path path;
    TempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = platform::Path(std::u16string(base, base + wcslen(base)) + u"verdalo_io_测试_목록_" +
                              u"\U00020000_" +
                              codepage::utf8ToUtf16(std::to_string(GetCurrentProcessId())));
        CreateDirectoryW(wide(path).c_str(), nullptr);
    }
    ~TempDir() {
        WIN32_FIND_DATAW found;
        const std::wstring dir = wide(path);
        HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileW((dir + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(h, &found));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }
    platform::Path operator/(const std::u16string& name) const {
        return platform::Path(path.units() + u"\\" + name);
    }
};

}  // namespace

TEST(Win32Files, PathsOutsideGbkRoundTripThroughTheWideCalls) {
    platform::win32::FileSystem files;
    TempDir dir;
    const platform::Path path = dir / u"주소_地址列表.txt";
    const std::string bytes = std::string("1.1.1.1\r\n中国\r\n\0tail", 20);
    ASSERT_TRUE(files.writeAll(path, bytes));
    // The file carries the Unicode name on disk, not a name made through another code page.
    EXPECT_NE(GetFileAttributesW(
                  (wide(dir.path) + L"\\\xC8FC\xC18C_\x5730\x5740\x5217\x8868.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(files.exists(path));
    std::string back;
    ASSERT_TRUE(files.readAll(path, back));
    EXPECT_EQ(back, bytes);
    EXPECT_TRUE(files.map(path));
    // Through GBK the name would be another, missing, one.
    EXPECT_FALSE(
        files.exists(platform::Path(codepage::gbkToUtf16(codepage::utf16ToGbk(path.units())))));

    ASSERT_TRUE(files.writeAll(path, "short"));
    ASSERT_TRUE(files.readAll(path, back));
    EXPECT_EQ(back, "short");  // truncated, not overwritten in place

    ASSERT_TRUE(files.writeAll(path, ""));
    ASSERT_TRUE(files.readAll(path, back));
    EXPECT_EQ(back, "");

    // Written in pieces: each lands in order, and a writer that cannot write says so.
    const std::string big(3 << 20, 'x');
    ASSERT_TRUE(files.writePieces(path, [&](const platform::Files::PieceWriter& write) {
        EXPECT_TRUE(write("first|"));
        EXPECT_TRUE(write(big));
        EXPECT_TRUE(write(""));
        EXPECT_TRUE(write("|last"));
    }));
    ASSERT_TRUE(files.readAll(path, back));
    EXPECT_EQ(back, "first|" + big + "|last");
    bool called = false;
    EXPECT_FALSE(
        files.writePieces(dir.path, [&](const platform::Files::PieceWriter&) { called = true; }));
    EXPECT_FALSE(called);  // a directory is never opened for writing
}

TEST(Win32Files, MissingLockedAndUnwritableFilesFail) {
    platform::win32::FileSystem files;
    TempDir dir;
    std::string back = "stale";
    EXPECT_FALSE(files.readAll(dir / u"无此文件.txt", back));
    EXPECT_EQ(back, "");
    EXPECT_FALSE(files.exists(dir / u"无此文件.txt"));
    EXPECT_FALSE(files.readAll(platform::Path(), back));
    // A NUL would end the name early, at a file that may well exist.
    ASSERT_TRUE(files.writeAll(dir / u"a", "a"));
    EXPECT_FALSE(files.exists(platform::Path((dir / u"a").units() + u'\0' + u"b")));
    EXPECT_FALSE(files.writeAll(platform::Path((dir / u"a").units() + u'\0' + u"b"), "b"));

    const platform::Path path = dir / u"locked.xls";
    ASSERT_TRUE(files.writeAll(path, "data"));
    HANDLE holder = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(files.readAll(path, back));
    EXPECT_FALSE(files.writeAll(path, "new"));
    CloseHandle(holder);
    ASSERT_TRUE(files.readAll(path, back));
    EXPECT_EQ(back, "data");

    // Device names open a device whatever the folder or ending: nothing is read or kept.
    EXPECT_FALSE(files.writeAll(dir / u"nul.csv", "lost"));
    EXPECT_FALSE(files.writeAll(dir / u"AUX.xls", "lost"));
    EXPECT_FALSE(files.readAll(dir / u"nul.txt", back));
    EXPECT_FALSE(files.map(dir / u"nul.db"));

    EXPECT_FALSE(files.writeAll(dir.path, "a directory"));
    EXPECT_FALSE(files.writeAll(dir / u"无此目录\\x.txt", "x"));
}

TEST(Win32Clipboard, PutsUnicodeBesideGbk) {
    platform::win32::SystemClipboard clipboard;
    const std::string text = "中国 北京 电信\r\n1.2.3.4";
    ASSERT_TRUE(clipboard.setText(text));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE unicode = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(unicode, nullptr);
    const std::wstring got(static_cast<const wchar_t*>(GlobalLock(unicode)));
    GlobalUnlock(unicode);
    EXPECT_EQ(got, L"\x4E2D\x56FD \x5317\x4EAC \x7535\x4FE1\r\n1.2.3.4");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
    CloseClipboard();

    std::string back;
    ASSERT_TRUE(clipboard.getText(back));
    EXPECT_EQ(back, text);
    ASSERT_TRUE(clipboard.setText("second"));
    ASSERT_TRUE(clipboard.getText(back));
    EXPECT_EQ(back, "second");
}
