// The import/export buttons, 按钮_复制 and the list's copy and paste through the presenter and
// its engine, against the fake window and operating system: the texts the user sees.
#include <gtest/gtest.h>

#include "io/formats.h"
#include "tests/io/io_world.h"
#include "text/text.h"
#include "ui/file_texts.h"
#include "workbook/zip.h"

using io_test::Rows;

namespace {

struct Presenter : ::testing::Test, io_test::World {};

// The two formats of old first, as they always were, then the newer ones.
const std::string kFilter =
    "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt|Excel工作簿(*.xlsx)|*.xlsx|CSV文件(*.csv)|*.csv|"
    "所有文件(*.*)|*.*";

Rows cellRows(const std::vector<RowCells>& cells) {
    Rows out;
    for (const RowCells& r : cells) out.push_back({r[0], r[1]});
    return out;
}

}  // namespace

// The content tells a workbook from text; the name's ending, without case, then tells
// lines (.txt) from CSV (.csv) from any other text, whose addresses are taken out of it.
TEST_F(Presenter, ImportTellsTheFormatByContentThenByEnding) {
    const std::string book = io_test::sheetFile({{"1.1.1.1"}, {"2.2.2.2"}});
    const std::string xlsx =
        io::xlsxFile(io_test::storeOf({{"1.1.1.1", "北京"}}), io_test::titles()).bytes;
    struct Case {
        const char* path;
        std::string bytes;
        Rows rows;
        const char* importing;
        const char* status;
    } cases[] = {
        {"D:\\LIST.TXT",
         book,
         {{"1.1.1.1", ""}, {"2.2.2.2", ""}},
         "正在导入txt...",
         "导入Excel完毕!"},
        {"D:\\book.XLSX",  // our own export: its header is no row, its locations come back
         xlsx,
         {{"1.1.1.1", "北京"}},
         "正在导入Excel...",
         "导入Excel完毕!"},
        {"D:\\hosts.txt",
         "example.com\r\n 1.2.3.4 ",
         {{"example.com", ""}, {" 1.2.3.4 ", ""}},
         "正在导入txt...",
         "导入txt完毕!"},
        {"D:\\list.csv",
         "\"1.1.1.1\",a\r\n5.5.5.5",
         {{"1.1.1.1", ""}, {"5.5.5.5", ""}},
         "正在导入csv...",
         "导入csv完毕!"},
        {"D:\\server.log",
         "at 10.0.0.1: x\r\n[2001:DB8::1]:443 from 10.0.0.1",
         {{"10.0.0.1", ""}, {"2001:db8::1", ""}},
         "正在导入txt...",
         "导入txt完毕!共找到2个IP地址"},
        {"D:\\plain.xls",
         "3.3.3.3\r\n",
         {{"3.3.3.3", ""}},
         "正在导入Excel...",
         "导入txt完毕!共找到1个IP地址"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        fill({{"9.9.9.9", "old"}});
        files.put(c.path, c.bytes);
        view.statusHistory.clear();
        importFile(c.path);
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(view.statusHistory, (std::vector<std::string>{c.importing, c.status}));
    }
}

TEST_F(Presenter, TwoImportsInARowGiveTheFileRowsOnce) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + "\r\n";
    files.put("D:\\list.txt", text);
    files.put("D:\\list.xls", io_test::sheetFile({{"1.1.1.1"}, {"2.2.2.2"}}));
    int changes = 0;
    view.table().setListener([&changes](const QueryTable::Change& change) {
        EXPECT_TRUE(change.allRows);
        ++changes;
    });
    // A second click while the first import is at its file only says so, and so does an
    // export; a click after it ends replaces the list again.
    view.setText(Box::FileLocation, "D:\\list.txt");
    view.setText(Box::SaveLocation, "D:\\out.txt");
    presenter.importAddressList();
    presenter.importAddressList();
    presenter.exportResults();
    const platform::Path dropped = fake::path("D:\\dropped.txt");
    presenter.importDropped({&dropped, 1});
    EXPECT_EQ(view.statusHistory,
              (std::vector<std::string>{file_text::kImportingTxt, "正在导入或导出,请稍候",
                                        "正在导入或导出,请稍候", "正在导入或导出,请稍候"}));
    EXPECT_EQ(view.text(Box::FileLocation), "D:\\list.txt");
    finish();
    importFile("D:\\list.txt");
    EXPECT_EQ(view.table().size(), 3000u);
    EXPECT_EQ(view.table().cell(2999, 0), "10.0.11.183");
    EXPECT_EQ(changes, 2);  // one replacement per import, not one change per row
    EXPECT_FALSE(files.has("D:\\out.txt"));
    EXPECT_TRUE(dialogs.calls.empty());
    importFile("D:\\list.xls");
    importFile("D:\\list.xls");
    EXPECT_EQ(rows(), Rows({{"1.1.1.1", ""}, {"2.2.2.2", ""}}));
}

TEST_F(Presenter, TextImportKeepsCharactersGbkLacksAndTheTxtExportCountsThem) {
    // UTF-8 with a BOM, as Notepad saves it: one character outside GBK.
    files.put("D:\\u.txt",
              "\xEF\xBB\xBF"
              "1.1.1.1 \xF0\x9F\x98\x80\r\n");
    importFile("D:\\u.txt");
    EXPECT_EQ(rows(), Rows({{"1.1.1.1 \xF0\x9F\x98\x80", ""}}));
    EXPECT_EQ(status(), "导入txt完毕!");
    fill({{"1.1.1.1", "\xF0\x9F\x98\x80 18ª Regiao"}});
    exportFile("D:\\out.txt");
    EXPECT_EQ(files.get("D:\\out.txt"), "1.1.1.1  ?? 18? Regiao\r\n");
    EXPECT_EQ(status(), "导出txt完毕!其中2个字符无法转换为GBK,已替换为?");
}

TEST_F(Presenter, FailedImportsKeepTheListAndSaySo) {
    std::string broken = io_test::sheetFile({{"1.1.1.1"}});
    broken.resize(broken.size() / 2);
    files.put("D:\\broken.xls", broken);
    files.put("D:\\other.xls", workbook::writeWorkbook("Data", {{0, 0, "1.1.1.1", true}}));
    for (const char* path : {"D:\\locked.txt", "D:\\locked.xls"}) {
        files.put(path, "1.1.1.1\r\n");
        files.unreadable.insert(path);
    }
    struct Case {
        const char* path;
        const char* status;
    } cases[] = {
        {"D:\\missing.txt", file_text::kTxtUnreadable},
        {"D:\\locked.txt", file_text::kTxtUnreadable},
        {"D:\\missing.xls", file_text::kExcelUnreadable},
        {"D:\\locked.xls", file_text::kExcelUnreadable},
        {"D:\\broken.xls", file_text::kExcelNotWorkbook},
        {"D:\\other.xls", file_text::kExcelNoSheet},
    };
    fill({{"9.9.9.9", "kept"}});
    for (const Case& c : cases) {
        importFile(c.path);
        EXPECT_EQ(rows(), Rows({{"9.9.9.9", "kept"}})) << c.path;
        EXPECT_EQ(status(), c.status) << c.path;
    }
    importFile("");
    EXPECT_EQ(status(), file_text::kNoFileLocation);
    EXPECT_EQ(rows(), Rows({{"9.9.9.9", "kept"}}));
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(Presenter, ExportAsksWhenTheLastRowHasNoLocation) {
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
            fill(c.list);
            dialogs.calls.clear();
            dialogs.answerYes = c.answerYes;
            files.clear();
            view.setStatus("就绪");
            exportFile(path);
            ASSERT_EQ(dialogs.calls.size(), c.asked ? 1u : 0u) << c.name << path;
            if (c.asked) {
                EXPECT_EQ(dialogs.calls[0].kind, "question");
                EXPECT_EQ(dialogs.calls[0].text, file_text::kUnfinishedQuestion);
                EXPECT_EQ(dialogs.calls[0].caption, "警告");
            }
            EXPECT_EQ(files.has(path), c.written) << c.name << path;
            EXPECT_EQ(files.writes, c.written ? 1 : 0) << c.name << path;
            if (!c.written) {
                EXPECT_EQ(status(), "就绪") << c.name;
            }
        }
    }
    exportFile("");
    EXPECT_EQ(status(), file_text::kSaveLocationEmpty);
}

TEST_F(Presenter, ExportWritesTheFormatTheNameSaysAndReportsTheEnd) {
    fill({{"1.10.100.200", "北京 电信"}, {"2.2.2.2", ""}, {"3.3.3.3", "广州"}});
    files.put("D:\\ro.txt", "old");
    files.put("D:\\ro.xls", "old");
    files.unwritable = {"D:\\ro.txt", "D:\\ro.xls"};
    dialogs.answerYes = true;
    // By the name's ending, without case; anything else is an .xls.
    struct Case {
        const char* path;
        const char* exporting;
        const char* status;
    } cases[] = {
        {"D:\\OUT.TXT", "正在导出txt...", "导出txt完毕!"},
        {"D:\\out.txt.xls", "正在导出Excel...", "导出Excel完毕!"},
        {"D:\\out.csv", "正在导出csv...", "导出csv完毕!"},
        {"D:\\out.Xlsx", "正在导出Excel...", "导出Excel完毕!"},
        {"D:\\out.jsonl", "正在导出json...", "导出json完毕!"},
        {"D:\\out.JSON", "正在导出json...", "导出json完毕!"},
        {"D:\\ro.txt", "正在导出txt...", "无法写入文件,导出txt失败!"},
        {"D:\\ro.xls", "正在导出Excel...", "无法写入文件,导出Excel失败!"},
    };
    for (const Case& c : cases) {
        view.statusHistory.clear();
        exportFile(c.path);
        EXPECT_EQ(view.statusHistory, (std::vector<std::string>{c.exporting, c.status})) << c.path;
    }
    // The list file stays GBK.
    EXPECT_EQ(files.get("D:\\OUT.TXT"), utf8ToGbk("1.10.100.200  北京 电信\r\n3.3.3.3  广州\r\n"));
    // Our formats write every row; .txt and .xls leave out later rows without a location.
    EXPECT_EQ(
        files.get("D:\\out.csv"),
        "\xEF\xBB\xBF" +
            std::string("IP,来自,国家,省份,城市,区县,所有者,运营商,ASN,AS名称,纬度,经度,时区,邮编,"
                        "大洲,次数,来源\r\n"
                        "1.10.100.200,北京 电信,,,,,,,,,,,,,,1,\r\n2.2.2.2,,,,,,,,,,,,,,,1,\r\n"
                        "3.3.3.3,广州,,,,,,,,,,,,,,1,\r\n"));
    std::vector<RowCells> read;
    ASSERT_EQ(io::workbookRows(files.get("D:\\out.txt.xls"), read), workbook::WorkbookStatus::Ok);
    EXPECT_EQ(cellRows(read),
              (Rows{{"IP", "来自"}, {"1.10.100.200", "北京 电信"}, {"", ""}, {"3.3.3.3", "广州"}}));
    std::optional<RowStore> own;
    ASSERT_EQ(io::xlsxRows(files.get("D:\\out.Xlsx"), read, &own), workbook::XlsxStatus::Ok);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->size(), 3u);
    EXPECT_EQ(own->address(1), "2.2.2.2");
    EXPECT_EQ(own->text(2), "广州");
    EXPECT_EQ(files.get("D:\\ro.txt"), "old");

    // List rows 0..65534 fill sheet rows 2..65536; three more, one without location.
    Rows many;
    for (int i = 0; i < 65538; ++i) many.push_back({std::to_string(i), i == 65536 ? "" : "loc"});
    fill(many);
    exportFile("D:\\big.xls");
    EXPECT_EQ(status(), "导出Excel完毕,超出工作表行数的2条数据未导出!");
    std::vector<RowCells> sheet;
    ASSERT_EQ(io::workbookRows(files.get("D:\\big.xls"), sheet), workbook::WorkbookStatus::Ok);
    ASSERT_EQ(sheet.size(), 65536u);
    EXPECT_EQ(sheet.back(), (RowCells{"65534", "loc"}));
}

// A location longer than a workbook cell is cut there, and the end says how many were; a
// text exactly as long as a cell, with two-byte characters, is not counted.
TEST_F(Presenter, ExcelExportSaysHowManyCellsWereCut) {
    auto repeat = [](const std::string& piece, std::size_t times) {
        std::string out;
        for (std::size_t i = 0; i < times; ++i) out += piece;
        return out;
    };
    fill({{"1.1.1.1", std::string(40000, 'a')},
          {"2.2.2.2", repeat("中", workbook::kCellCharacters)},
          {"3.3.3.3", repeat("中", workbook::kCellCharacters + 1)},
          {"4.4.4.4", "北京"}});
    dialogs.answerYes = true;
    const struct {
        const char* path;
        const char* status;
    } cases[] = {
        {"D:\\long.xls", "导出Excel完毕!其中2个单元格超过32767个字符,已截断"},
        {"D:\\long.xlsx", "导出Excel完毕!其中2个单元格超过32767个字符,已截断"},
        {"D:\\long.csv", "导出csv完毕!"},  // a text file holds any length
    };
    for (const auto& c : cases) {
        exportFile(c.path);
        EXPECT_EQ(status(), c.status) << c.path;
    }
    std::vector<RowCells> sheet;
    ASSERT_EQ(io::workbookRows(files.get("D:\\long.xls"), sheet), workbook::WorkbookStatus::Ok);
    ASSERT_EQ(sheet.size(), 5u);
    EXPECT_EQ(sheet[3][1], repeat("中", workbook::kCellCharacters));
}

TEST_F(Presenter, DialogExportAndTheSharedDialog) {
    presenter.exportWithDialog();
    finish();
    EXPECT_EQ(status(), file_text::kNothingToExport);
    EXPECT_TRUE(dialogs.calls.empty());

    fill({{"1.1.1.1", ""}});
    view.setText(Box::SaveLocation, "D:\\box.txt");
    dialogs.nextPath = {};  // cancelled
    presenter.exportWithDialog();
    finish();
    EXPECT_EQ(status(), file_text::kNothingToExport);
    EXPECT_EQ(files.writes, 0);
    dialogs.nextPath = fake::path("D:\\chosen.txt");
    presenter.exportWithDialog();  // no question, even with the row unfinished
    finish();
    EXPECT_EQ(status(), file_text::kExportedTxt);
    EXPECT_EQ(files.get("D:\\chosen.txt"), "1.1.1.1  \r\n");
    EXPECT_EQ(view.text(Box::SaveLocation), "D:\\box.txt");
    ASSERT_EQ(dialogs.calls.size(), 2u);
    for (const auto& call : dialogs.calls) {
        EXPECT_EQ(call.kind, "save");
        EXPECT_EQ(call.request.filter, kFilter);
        EXPECT_EQ(call.request.defaultExtension, "*.txt|*.xls");
    }

    // Both browse buttons fill their box on a choice and leave it on a cancel.
    presenter.startDirectory = fake::path("C:\\start");
    const std::pair<void (ui::FilePresenter::*)(), Box> browses[] = {
        {&ui::FilePresenter::browseSaveLocation, Box::SaveLocation},
        {&ui::FilePresenter::browseImportFile, Box::FileLocation}};
    for (auto [browse, box] : browses) {
        dialogs.nextPath = fake::path("D:\\picked.txt");
        (presenter.*browse)();
        dialogs.nextPath = {};
        (presenter.*browse)();
        EXPECT_EQ(view.text(box), "D:\\picked.txt");
    }
    const auto& open = dialogs.calls.back();
    EXPECT_EQ(open.kind, "open");
    EXPECT_EQ(open.request.filter, kFilter);
    EXPECT_EQ(open.request.initialDirectory, fake::path("C:\\start"));
    // One dialog: what the save set and the open does not is still there.
    EXPECT_EQ(open.request.defaultExtension, "*.txt|*.xls");
}

// A name GBK cannot hold (Hangul, a CJK Extension B character) reaches the file calls as
// the dialog, the box or the drop gave it; through GBK it would name "?" files instead.
TEST_F(Presenter, PathsOutsideGbkReachTheFilesUnchanged) {
    const std::u16string folder = u"D:\\목록 \U00020000\\";
    const platform::Path list(folder + u"주소.TXT"), dropped(folder + u"끌어놓기.csv"),
        result(folder + u"결과.csv");
    files.put(list, "1.1.1.1\r\n");
    files.put(dropped, "2.2.2.2\r\n");

    dialogs.nextPath = list;
    presenter.browseImportFile();
    presenter.importAddressList();
    finish();
    EXPECT_EQ(status(), file_text::kImportedTxt);
    EXPECT_EQ(rows(), (Rows{{"1.1.1.1", ""}}));

    presenter.importDropped({&dropped, 1});
    finish();
    EXPECT_EQ(view.path(Box::FileLocation), dropped);
    EXPECT_EQ(rows(), (Rows{{"2.2.2.2", ""}}));

    fill({{"2.2.2.2", "北京"}});
    dialogs.nextPath = result;
    presenter.browseSaveLocation();
    presenter.exportResults();
    finish();
    EXPECT_EQ(files.get(result),
              "\xEF\xBB\xBF" + std::string("IP,来自,国家,省份,城市,区县,所有者,运营商,ASN,AS名称,"
                                           "纬度,经度,时区,邮编,大洲,次数,来源\r\n"
                                           "2.2.2.2,北京,,,,,,,,,,,,,,1,\r\n"));
    EXPECT_EQ(files.writes, 1);
}

TEST_F(Presenter, CopyPutsTheResultOnTheClipboard) {
    presenter.copyResult();
    EXPECT_EQ(status(), file_text::kNothingToCopy);
    EXPECT_EQ(clipboard.sets, 0);

    view.setText(Box::Result, "中国 北京 电信\r\n1.2.3.4");
    presenter.copyResult();
    EXPECT_EQ(status(), file_text::kCopied);
    EXPECT_EQ(clipboard.content, "中国 北京 电信\r\n1.2.3.4");

    clipboard.busy = true;
    presenter.copyResult();
    EXPECT_EQ(status(), file_text::kCopyFailed);
}

TEST_F(Presenter, ListCopyAndPaste) {
    fill({{"1.1.1.1", "北京"}});
    for (std::optional<std::size_t> index : {std::optional<std::size_t>(), {1}}) {
        presenter.copyRow(index);
        EXPECT_EQ(status(), "没有选中的行!");
    }
    presenter.copyRow(0);
    EXPECT_EQ(status(), "已成功复制到剪切板中!");
    EXPECT_EQ(clipboard.content, "1.1.1.1\t北京");

    clipboard.hasText = false;
    presenter.pasteAddresses();
    EXPECT_EQ(status(), "剪切板中没有文本!");
    clipboard.hasText = true;
    clipboard.content = "at 10.0.0.1: x, 10.0.0.1 and 10.0.0.2";
    presenter.pasteAddresses();
    EXPECT_EQ(status(), "粘贴完毕!共找到2个IP地址");
    EXPECT_EQ(rows(), Rows({{"1.1.1.1", "北京"}, {"10.0.0.1", ""}, {"10.0.0.2", ""}}));
}

// Why an .xlsx could not be read, as the window says it.
TEST_F(Presenter, XlsxFailuresAreNamed) {
    using F = io::Failure;
    const std::pair<F, const char*> cases[] = {
        {F::NotXlsx, "不是有效的xlsx文件,导入Excel失败!"},
        {F::BrokenZip, "xlsx文件已损坏(压缩数据有误),导入Excel失败!"},
        {F::UnsupportedZip, "xlsx文件已加密或使用了不支持的压缩方式,导入Excel失败!"},
        {F::TooLarge, "xlsx文件中的数据过大或压缩比异常,导入Excel失败!"},
        {F::BrokenXml, "xlsx文件内容格式有误,导入Excel失败!"},
        {F::BadCell, "xlsx文件中有超出工作表范围的单元格,导入Excel失败!"},
        {F::BadSharedString, "xlsx文件中的共享字符串索引超出范围,导入Excel失败!"},
        {F::NoWorksheet, "xlsx文件中没有工作表,导入Excel失败!"},
        {F::Encrypted, "文件已加密,导入Excel失败!"},
    };
    for (const auto& [reason, text] : cases) {
        presenter.importFailed(io::FormatId::Xlsx, reason);
        EXPECT_EQ(status(), text);
    }
    // A zip that holds no workbook, through the engine.
    files.put("D:\\a.zip", workbook::ZipWriter().finish());
    importFile("D:\\a.zip");
    EXPECT_EQ(status(), "不是有效的xlsx文件,导入Excel失败!");
}

// A format added to the table without texts of its own would be worded as another one.
TEST(FormatTable, EveryFormatHasItsTextsAndOneFallbackEachWay) {
    int otherText = 0, otherName = 0;
    for (const io::ListFormat& format : io::listFormats()) {
        const file_text::FormatTexts& texts = file_text::textsOf(format.id);
        EXPECT_EQ(texts.format, format.id);
        EXPECT_TRUE(texts.importing && texts.imported && texts.unreadable);
        if (format.write) {
            EXPECT_TRUE(texts.exporting && texts.exported && texts.unwritable);
        }
        EXPECT_EQ(&io::listFormat(format.id), &format);
        otherText += format.otherText;
        otherName += format.otherName && format.write;
    }
    EXPECT_EQ(otherText, 1);
    EXPECT_EQ(otherName, 1);
}

TEST(DialogFilter, OperatingSystemForm) {
    static const char kOsForm[] = "Excel文件(*.xls)\0*.xls\0文本文件(*.txt)\0*.txt\0";
    EXPECT_EQ(platform::osFilterText("Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt"),
              std::string(kOsForm, sizeof kOsForm));
    // The texts are UTF-8: a "|" after an odd number of Chinese characters separates too.
    EXPECT_EQ(platform::osFilterText("文|*"), std::string("文\0*\0\0", 7));
    EXPECT_EQ(platform::osFilterText(""), std::string("\0\0", 2));
    EXPECT_EQ(platform::firstDefaultExtension("*.txt|*.xls"), "txt");
    EXPECT_EQ(platform::firstDefaultExtension("xls"), "xls");
    EXPECT_EQ(platform::firstDefaultExtension("*.*"), "");
    EXPECT_EQ(platform::firstDefaultExtension(""), "");
}
