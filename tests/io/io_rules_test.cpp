// The import and export rules against in-memory windows, files, dialogs and clipboard.
#include <gtest/gtest.h>

#include "io/io.h"
#include "io/messages.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_view.h"
#include "xls/biff.h"
#include "xls/recordset.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

struct IoTest : ::testing::Test {
    fake::MainWindow window;
    fake::Files files;
    fake::Dialogs dialogs;
    fake::Clipboard clipboard;
    view::MainViews& views = window.views;

    void SetUp() override {
        platform::setFiles(&files);
        platform::setDialogs(&dialogs);
        platform::setClipboard(&clipboard);
    }
    void TearDown() override {
        platform::setFiles(nullptr);
        platform::setDialogs(nullptr);
        platform::setClipboard(nullptr);
    }
    std::string status() { return window.status.panel(1); }
    void fill(const Rows& rows) {
        for (const auto& r : rows) window.list.addRow(r);
    }
    // What the list holds before an import, so a failed one can be seen to keep it.
    void seedList() { fill({{"9.9.9.9", "kept"}}); }
};

std::string sheetFile(const std::vector<std::vector<std::string>>& rows) {
    std::vector<xls::CellToWrite> cells;
    for (std::uint32_t r = 0; r < rows.size(); ++r)
        for (std::uint16_t c = 0; c < rows[r].size(); ++c)
            cells.push_back({r, c, rows[r][c], true});
    return xls::writeWorkbook("Sheet1", cells);
}

Rows readSheet(const std::string& file) {
    xls::ParsedWorkbook book;
    EXPECT_EQ(xls::parseWorkbook(file, book), xls::WorkbookStatus::Ok);
    std::vector<xls::SheetCell> cells;
    EXPECT_EQ(xls::readSheet(book, "Sheet1", cells), xls::WorkbookStatus::Ok);
    Rows rows;
    for (const auto& c : cells) {
        if (rows.size() <= c.row) rows.resize(c.row + 1);
        if (rows[c.row].size() <= c.column) rows[c.row].resize(c.column + 1);
        rows[c.row][c.column] = c.text;
    }
    return rows;
}

}  // namespace

TEST_F(IoTest, TextImportSplitsAtCrLfOnly) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> rows;
    } cases[] = {
        {"two lines", "1.1.1.1\r\n2.2.2.2\r\n", {"1.1.1.1", "2.2.2.2"}},
        {"no final CR LF", "1.1.1.1\r\n2.2.2.2", {"1.1.1.1", "2.2.2.2"}},
        {"LF only is one row", "1.1.1.1\n2.2.2.2\n", {"1.1.1.1\n2.2.2.2\n"}},
        {"blank line kept", "1.1.1.1\r\n\r\n2.2.2.2\r\n", {"1.1.1.1", "", "2.2.2.2"}},
        {"leading CR LF", "\r\n1.1.1.1", {"", "1.1.1.1"}},
        {"spaces kept", " 1.1.1.1 \r\n", {" 1.1.1.1 "}},
        {"GBK text", "中国\r\n北京\r\n", {"中国", "北京"}},
        {"UTF-16 cut at the first NUL",
         std::string("\xFF\xFE"
                     "1\0.\0"
                     "1\0",
                     8),
         {"\xFF\xFE"
          "1"}},
        {"empty file", "", {}},
    };
    for (const Case& c : cases) {
        window.list.deleteAllRows();
        seedList();
        files.put("D:\\list.txt", c.bytes);
        window.fileBox.setText("D:\\list.txt");
        importAddressList(views);
        Rows want;
        for (const auto& r : c.rows) want.push_back({r, ""});
        EXPECT_EQ(window.list.rows(), want) << c.name;
        EXPECT_EQ(status(), io_text::kImportedTxt) << c.name;
    }
    EXPECT_GE(window.pump.calls, 9);
}

TEST_F(IoTest, ImportChoosesTheFormatByExactTxtInThePath) {
    const std::string book = sheetFile({{"1.1.1.1"}, {"2.2.2.2"}});
    struct Case {
        const char* path;
        std::string bytes;
        Rows rows;
        const char* status;
    } cases[] = {
        {"D:\\list.txt.xls", "3.3.3.3\r\n", {{"3.3.3.3", ""}}, io_text::kImportedTxt},
        {"D:\\a.txtfile", "4.4.4.4", {{"4.4.4.4", ""}}, io_text::kImportedTxt},
        {"D:\\LIST.TXT", book, {{"1.1.1.1", ""}, {"2.2.2.2", ""}}, io_text::kImportedExcel},
        {"D:\\list.xls", book, {{"1.1.1.1", ""}, {"2.2.2.2", ""}}, io_text::kImportedExcel},
        // A workbook under a .txt name is read as text: its bytes up to the first NUL.
        {"D:\\book.txt", book, {{book.substr(0, book.find('\0')), ""}}, io_text::kImportedTxt},
    };
    for (const Case& c : cases) {
        window.list.deleteAllRows();
        files.put(c.path, c.bytes);
        window.fileBox.setText(c.path);
        importAddressList(views);
        EXPECT_EQ(window.list.rows(), c.rows) << c.path;
        EXPECT_EQ(status(), c.status) << c.path;
    }
}

TEST_F(IoTest, ExcelImportTakesTheHeaderRowFromTheFirstSheetRow) {
    struct Case {
        const char* name;
        Rows sheet;
        Rows list;
    } cases[] = {
        {"addresses, no title", {{"1.1.1.1"}, {"2.2.2.2"}}, {{"1.1.1.1", ""}, {"2.2.2.2", ""}}},
        {"a title row comes in as a row",
         {{"地址"}, {"1.10.100.200"}},
         {{"地址", ""}, {"1.10.100.200", ""}}},
        {"a title holding # comes back with .", {{"a#b"}}, {{"a.b", ""}}},
        // Titles on a diagonal, one row each; data rows whole; a third column is dropped.
        {"three columns",
         {{"h1", "h2", "h3"}, {"1.1.1.1", "北京", "x"}},
         {{"h1", ""}, {"", "h2"}, {"", ""}, {"1.1.1.1", "北京"}}},
        {"one row", {{"8.8.8.8"}}, {{"8.8.8.8", ""}}},
    };
    for (const Case& c : cases) {
        window.list.deleteAllRows();
        files.put("D:\\in.xls", sheetFile(c.sheet));
        window.fileBox.setText("D:\\in.xls");
        importAddressList(views);
        EXPECT_EQ(window.list.rows(), c.list) << c.name;
        EXPECT_EQ(status(), io_text::kImportedExcel) << c.name;
    }
    EXPECT_EQ(window.status.history(1).front(), io_text::kImportingExcel);
}

TEST_F(IoTest, FailedImportsKeepTheListAndSaySo) {
    std::string broken = sheetFile({{"1.1.1.1"}});
    broken.resize(broken.size() / 2);
    files.put("D:\\broken.xls", broken);
    files.put("D:\\plain.xls", "1.1.1.1\r\n");
    files.put("D:\\other.xls", xls::writeWorkbook("Data", {{0, 0, "1.1.1.1", true}}));
    files.put("D:\\locked.txt", "1.1.1.1\r\n");
    files.unreadable.insert("D:\\locked.txt");
    files.put("D:\\locked.xls", sheetFile({{"1.1.1.1"}}));
    files.unreadable.insert("D:\\locked.xls");
    struct Case {
        const char* path;
        const char* status;
    } cases[] = {
        {"D:\\missing.txt", io_text::kTxtUnreadable},
        {"D:\\locked.txt", io_text::kTxtUnreadable},
        {"D:\\missing.xls", io_text::kExcelUnreadable},
        {"D:\\locked.xls", io_text::kExcelUnreadable},
        {"D:\\broken.xls", io_text::kExcelNotWorkbook},
        {"D:\\plain.xls", io_text::kExcelNotWorkbook},
        {"D:\\other.xls", io_text::kExcelNoSheet},
    };
    for (const Case& c : cases) {
        window.list.deleteAllRows();
        seedList();
        window.fileBox.setText(c.path);
        importAddressList(views);
        EXPECT_EQ(window.list.rows(), Rows({{"9.9.9.9", "kept"}})) << c.path;
        EXPECT_EQ(status(), c.status) << c.path;
    }
    EXPECT_TRUE(dialogs.calls.empty());

    window.fileBox.setText("");
    importAddressList(views);
    EXPECT_EQ(status(), io_text::kNoFileLocation);
    EXPECT_EQ(window.list.rowCount(), 1);
}

TEST_F(IoTest, ExcelImportWithoutItsObjectsShowsTheConnectionMessage) {
    files.put("D:\\in.xls", sheetFile({{"1.1.1.1"}}));
    seedList();
    xls::Connection connection;
    EXPECT_EQ(importFromExcel("D:\\in.xls", views, &connection, nullptr),
              ImportResult::AttachFailed);
    xls::RecordSet recordSet;
    EXPECT_EQ(importFromExcel("D:\\in.xls", views, nullptr, &recordSet),
              ImportResult::AttachFailed);
    ASSERT_EQ(dialogs.calls.size(), 2u);
    EXPECT_EQ(dialogs.calls[0].kind, "message");
    EXPECT_EQ(dialogs.calls[0].text, "D:\\in.xls连接失败!");
    EXPECT_EQ(dialogs.calls[0].caption, "信息：");
    EXPECT_EQ(window.list.rows(), Rows({{"9.9.9.9", "kept"}}));
}

TEST_F(IoTest, ExportAsksWhenTheLastRowHasNoLocation) {
    struct Case {
        const char* name;
        Rows list;
        bool answerYes;
        bool asked;
        bool written;
    } cases[] = {
        {"finished", {{"1.1.1.1", "北京"}}, false, false, true},
        {"last row open, No", {{"1.1.1.1", "北京"}, {"2.2.2.2", ""}}, false, true, false},
        {"last row open, Yes", {{"1.1.1.1", "北京"}, {"2.2.2.2", ""}}, true, true, true},
        {"empty list, No", {}, false, true, false},
        {"empty list, Yes", {}, true, true, true},
    };
    for (const Case& c : cases) {
        for (const char* path : {"D:\\out.txt", "D:\\out.xls"}) {
            window.list.deleteAllRows();
            fill(c.list);
            dialogs.calls.clear();
            dialogs.answerYes = c.answerYes;
            files.clear();
            window.status.setPanel(1, "就绪");
            window.saveBox.setText(path);
            exportResults(views);
            EXPECT_EQ(!dialogs.calls.empty(), c.asked) << c.name << path;
            if (c.asked) {
                EXPECT_EQ(dialogs.calls[0].kind, "question");
                EXPECT_EQ(dialogs.calls[0].text, io_text::kUnfinishedQuestion);
                EXPECT_EQ(dialogs.calls[0].caption, "警告");
            }
            EXPECT_EQ(files.has(path), c.written) << c.name << path;
            if (!c.written) {
                EXPECT_EQ(status(), "就绪") << c.name;
            }
        }
    }
    window.saveBox.setText("");
    exportResults(views);
    EXPECT_EQ(status(), io_text::kSaveLocationEmpty);
}

TEST_F(IoTest, TextExportLeavesOutRowsWithoutLocationButNeverTheFirst) {
    struct Case {
        const char* name;
        Rows list;
        std::string bytes;
    } cases[] = {
        {"two rows",
         {{"1.1.1.1", "北京 电信"}, {"2.2.2.2", "上海"}},
         "1.1.1.1  北京 电信\r\n2.2.2.2  上海\r\n"},
        {"rows without location left out",
         {{"1.1.1.1", "北京"}, {"2.2.2.2", ""}, {"3.3.3.3", "广州"}, {"4.4.4.4", ""}},
         "1.1.1.1  北京\r\n3.3.3.3  广州\r\n"},
        {"first row always",
         {{"1.1.1.1", ""}, {"2.2.2.2", "上海"}},
         "1.1.1.1  \r\n2.2.2.2  上海\r\n"},
        {"later rows without location: the first line alone",
         {{"1.1.1.1", "北京"}, {"2.2.2.2", ""}},
         "1.1.1.1  北京\r\n"},
        {"one row", {{"1.1.1.1", "北京"}}, "1.1.1.1  北京\r\n"},
        {"empty list: an empty file", {}, ""},
    };
    for (const Case& c : cases) {
        window.list.deleteAllRows();
        fill(c.list);
        files.clear();
        ExportResult result = exportToText("D:\\out.txt", views);
        EXPECT_TRUE(result.written);
        EXPECT_EQ(files.get("D:\\out.txt"), c.bytes) << c.name;
        EXPECT_EQ(files.writes, 1) << c.name;  // once, not once per row
    }
}

TEST_F(IoTest, WorkbookExportLeavesRowsWithoutLocationBlank) {
    fill({{"1.10.100.200", "北京 电信"}, {"2.2.2.2", ""}, {"3.3.3.3", "广州"}});
    window.saveBox.setText("D:\\OUT.TXT");  // exact ".txt" only: this is a workbook
    dialogs.answerYes = true;
    exportResults(views);
    EXPECT_EQ(status(), io_text::kExportedExcel);
    const Rows want = {{"IP", "来自"}, {"1.10.100.200", "北京 电信"}, {}, {"3.3.3.3", "广州"}};
    EXPECT_EQ(readSheet(files.get("D:\\OUT.TXT")), want);

    window.saveBox.setText("D:\\out.txt.xls");
    exportResults(views);
    EXPECT_EQ(status(), io_text::kExportedTxt);
    EXPECT_EQ(files.get("D:\\out.txt.xls"), "1.10.100.200  北京 电信\r\n3.3.3.3  广州\r\n");
}

TEST_F(IoTest, WorkbookExportWritesWhatFitsAndCountsTheRest) {
    // List rows 0..65534 fill sheet rows 2..65536; three more rows, one without location.
    for (int i = 0; i < 65538; ++i)
        window.list.addRow({"r" + std::to_string(i), i == 65536 ? "" : "loc" + std::to_string(i)});
    window.saveBox.setText("D:\\big.xls");
    exportResults(views);
    EXPECT_EQ(status(), "导出Excel完毕,超出工作表行数的2条数据未导出!");
    const Rows sheet = readSheet(files.get("D:\\big.xls"));
    ASSERT_EQ(sheet.size(), 65536u);
    EXPECT_EQ(sheet.back(), (std::vector<std::string>{"r65534", "loc65534"}));
}

TEST_F(IoTest, ExportsThatCannotWriteSaySo) {
    fill({{"1.1.1.1", "北京"}});
    for (auto [path, message] : {std::pair{"D:\\ro.txt", io_text::kTxtUnwritable},
                                 std::pair{"D:\\ro.xls", io_text::kExcelUnwritable}}) {
        files.put(path, "old");
        files.unwritable.insert(path);
        window.saveBox.setText(path);
        exportResults(views);
        EXPECT_EQ(status(), message);
        EXPECT_EQ(files.get(path), "old");
    }
}

TEST_F(IoTest, DialogExportAndTheSharedDialog) {
    exportWithDialog(views);
    EXPECT_EQ(status(), io_text::kNothingToExport);
    EXPECT_TRUE(dialogs.calls.empty());

    fill({{"1.1.1.1", ""}});
    window.saveBox.setText("D:\\box.txt");
    dialogs.nextPath = "";  // cancelled
    exportWithDialog(views);
    EXPECT_EQ(status(), io_text::kNothingToExport);
    dialogs.nextPath = "D:\\chosen.txt";
    exportWithDialog(views);  // no question, even with the row unfinished
    EXPECT_EQ(status(), io_text::kExportedTxt);
    EXPECT_EQ(files.get("D:\\chosen.txt"), "1.1.1.1  \r\n");
    EXPECT_EQ(window.saveBox.text(), "D:\\box.txt");
    ASSERT_EQ(dialogs.calls.size(), 2u);
    for (const auto& call : dialogs.calls) {
        EXPECT_EQ(call.kind, "save");
        EXPECT_EQ(call.request.filter, "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt");
        EXPECT_EQ(call.request.defaultExtension, "*.txt|*.xls");
    }

    dialogs.nextPath = "D:\\picked.xls";
    browseSaveLocation(views);
    EXPECT_EQ(window.saveBox.text(), "D:\\picked.xls");
    dialogs.nextPath = "";
    browseSaveLocation(views);
    EXPECT_EQ(window.saveBox.text(), "D:\\picked.xls");

    dialogs.nextPath = "D:\\in.txt";
    browseImportFile(views);
    EXPECT_EQ(window.fileBox.text(), "D:\\in.txt");
    dialogs.nextPath = "";
    browseImportFile(views);
    EXPECT_EQ(window.fileBox.text(), "D:\\in.txt");
    const auto& open = dialogs.calls.back();
    EXPECT_EQ(open.kind, "open");
    EXPECT_EQ(open.request.filter, "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt");
    EXPECT_EQ(open.request.initialDirectory, g_startDirectory);
    // One dialog component: what the save set and the open does not is still there.
    EXPECT_EQ(open.request.defaultExtension, "*.txt|*.xls");
}

TEST_F(IoTest, CopyPutsTheResultOnTheClipboard) {
    copyResult(views);
    EXPECT_EQ(status(), io_text::kNothingToCopy);
    EXPECT_EQ(clipboard.sets, 0);

    window.resultBox.setText("中国 北京 电信\r\n1.2.3.4");
    copyResult(views);
    EXPECT_EQ(status(), io_text::kCopied);
    EXPECT_EQ(clipboard.content, "中国 北京 电信\r\n1.2.3.4");

    clipboard.busy = true;
    copyResult(views);
    EXPECT_EQ(status(), io_text::kCopyFailed);
}

TEST(DialogFilter, OperatingSystemForm) {
    static const char kOsForm[] = "Excel文件(*.xls)\0*.xls\0文本文件(*.txt)\0*.txt\0";
    EXPECT_EQ(platform::osFilterText("Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt"),
              std::string(kOsForm, sizeof kOsForm));
    // A GBK character whose second byte is 0x7C ("|") stays whole.
    EXPECT_EQ(platform::osFilterText("\x81\x7C|*"), std::string("\x81\x7C\0*\0\0", 6));
    EXPECT_EQ(platform::osFilterText(""), std::string("\0\0", 2));
    EXPECT_EQ(platform::firstDefaultExtension("*.txt|*.xls"), "txt");
    EXPECT_EQ(platform::firstDefaultExtension("xls"), "xls");
    EXPECT_EQ(platform::firstDefaultExtension("*.*"), "");
    EXPECT_EQ(platform::firstDefaultExtension(""), "");
}
