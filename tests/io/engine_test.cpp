// The engine alone, through its events: what an import, an export, a paste and a copy
// report, with the fake files, clipboard and poster, and no presenter.
#include "io/engine.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "io/formats.h"
#include "tests/io/io_world.h"
#include "workbook/zip.h"

using io::Failure;
using io::FormatId;

namespace {

const char* name(FormatId format) {
    constexpr const char* kNames[] = {"Lines", "Csv", "Addresses", "Xls", "Xlsx", "Jsonl"};
    return kNames[static_cast<int>(format)];
}

// Every event as a line of text, in order.
struct Recorder final : io::FileEvents {
    std::vector<std::string> events;
    void add(std::string line) { events.push_back(std::move(line)); }
    void importStarted(FormatId named) override { add(std::string("importing ") + name(named)); }
    void imported(const io::Imported& d) override {
        add(std::string("imported ") + name(d.format) + " rows " + std::to_string(d.rows));
    }
    void importFailed(FormatId format, Failure reason) override {
        add(std::string("import failed ") + name(format) + " " +
            std::to_string(static_cast<int>(reason)));
    }
    void exportStarted(FormatId format) override { add(std::string("exporting ") + name(format)); }
    void exported(const io::Exported& d) override {
        add(std::string("exported ") + name(d.format) + " left out " +
            std::to_string(d.rowsLeftOut));
    }
    void exportFailed(FormatId format, Failure reason) override {
        add(std::string("export failed ") + name(format) + " " +
            std::to_string(static_cast<int>(reason)));
    }
    void pasted(std::size_t n) override { add("pasted " + std::to_string(n)); }
    void copied() override { add("copied"); }
    void copyFailed(Failure reason) override {
        add("copy failed " + std::to_string(static_cast<int>(reason)));
    }
};

std::string failed(const char* what, const char* format, Failure reason) {
    return std::string(what) + " failed " + format + " " + std::to_string(static_cast<int>(reason));
}

struct Engine : ::testing::Test {
    fake::Files files;
    fake::Clipboard clipboard;
    fake::Window window;
    platform::Executor executor;
    Recorder events;
    io::FileEngine engine{files, clipboard, executor, window.table(), window, events};

    void finish() {
        ASSERT_TRUE(window.runUntil([this] { return !engine.working(); }));
    }
    io_test::Rows rows() { return io_test::World::rowsOf(window.table()); }
};

}  // namespace

TEST_F(Engine, ImportReportsTheFormatAndCountsAndReplacesTheRows) {
    window.table().replace({{"9.9.9.9", "old"}});
    // UTF-8 with a BOM, one character GBK lacks.
    files.put("D:\\list.txt",
              "\xEF\xBB\xBF"
              "1.1.1.1\r\n\xF0\x9F\x98\x80\r\n");
    ASSERT_TRUE(engine.importFile(fake::path("D:\\list.txt")));
    EXPECT_FALSE(engine.importFile(fake::path("D:\\list.txt")));  // one file at a time
    finish();
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"importing Lines", "imported Lines rows 2"}));
    EXPECT_EQ(rows(), (io_test::Rows{{"1.1.1.1", ""}, {"\xF0\x9F\x98\x80", ""}}));
}

TEST_F(Engine, ExportWritesTheSnapshotItWasHanded) {
    window.table().replace({{"1.1.1.1", "北京"}, {"2.2.2.2", "上海"}});
    ASSERT_TRUE(
        engine.exportRows(fake::path("D:\\r.txt"), window.table().snapshot(), io_test::titles()));
    window.table().replace({{"3.3.3.3", "changed meanwhile"}});
    finish();
    EXPECT_EQ(events.events,
              (std::vector<std::string>{"exporting Lines", "exported Lines left out 0"}));
    EXPECT_EQ(files.get("D:\\r.txt"), utf8ToGbk("1.1.1.1  北京\r\n2.2.2.2  上海\r\n"));
}

// A text export is handed to the file in pieces as it is made, never whole; a piece that
// cannot be written fails the export.
TEST_F(Engine, TextExportsGoOutInPiecesAndAFailedPieceFailsThem) {
    struct PieceFiles final : fake::Files {
        std::vector<std::size_t> pieces;
        std::string written;
        bool failSecond = false;
        bool writePieces(const platform::Path&,
                         const std::function<void(const PieceWriter&)>& produce) override {
            bool ok = true;
            produce([&](std::string_view piece) {
                pieces.push_back(piece.size());
                written += piece;
                ok = ok && !(failSecond && pieces.size() == 2);
                return ok;
            });
            return true;
        }
    } pieceFiles;
    io::FileEngine pieced{pieceFiles, clipboard, executor, window.table(), window, events};
    std::vector<RowCells> list;
    for (int i = 0; i < 60000; ++i)
        list.push_back({"10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256),
                        "重庆 重庆市 渝中区 某某网络科技有限公司 电信"});
    window.table().replace(list);
    for (const char* path : {"D:\\r.txt", "D:\\r.csv", "D:\\r.jsonl"}) {
        SCOPED_TRACE(path);
        pieceFiles.pieces.clear();
        pieceFiles.written.clear();
        ASSERT_TRUE(
            pieced.exportRows(fake::path(path), window.table().snapshot(), io_test::titles()));
        ASSERT_TRUE(window.runUntil([&] { return !pieced.working(); }));
        EXPECT_GT(pieceFiles.pieces.size(), 2u);
        EXPECT_LT(*std::max_element(pieceFiles.pieces.begin(), pieceFiles.pieces.end()),
                  std::size_t{2} << 20);
        const RowStore& rows = window.table().rows();
        EXPECT_EQ(pieceFiles.written, std::string(path).ends_with("txt") ? io::textFile(rows)
                                      : std::string(path).ends_with("csv")
                                          ? io::csvFile(rows, io_test::titles())
                                          : io::jsonlFile(rows));
    }
    pieceFiles.failSecond = true;
    pieceFiles.pieces.clear();
    events.events.clear();
    pieced.exportRows(fake::path("D:\\r.txt"), window.table().snapshot(), io_test::titles());
    ASSERT_TRUE(window.runUntil([&] { return !pieced.working(); }));
    EXPECT_EQ(events.events.back(), failed("export", "Lines", Failure::Unwritable));
}

// A failure names the format as far as it is known (by the name until the file is read)
// and leaves the rows as they were.
TEST_F(Engine, FailuresNameTheFormatAndTheReason) {
    std::string xls = io_test::sheetFile({{"1.1.1.1"}});
    files.put("D:\\broken.txt", xls.substr(0, xls.size() / 2));
    files.put("D:\\empty.zip", workbook::ZipWriter().finish());
    files.put("D:\\locked.csv", "1.1.1.1");
    files.unreadable.insert("D:\\locked.csv");
    files.unwritable.insert("D:\\ro.xlsx");
    window.table().replace({{"9.9.9.9", "kept"}});
    const struct {
        const char* path;
        bool exported;
        std::string event;
    } cases[] = {
        {"D:\\missing.log", false, failed("import", "Addresses", Failure::Unreadable)},
        {"D:\\locked.csv", false, failed("import", "Csv", Failure::Unreadable)},
        {"D:\\broken.txt", false, failed("import", "Xls", Failure::NotXls)},
        {"D:\\empty.zip", false, failed("import", "Xlsx", Failure::NotXlsx)},
        {"D:\\ro.xlsx", true, failed("export", "Xlsx", Failure::Unwritable)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        events.events.clear();
        if (c.exported)
            engine.exportRows(fake::path(c.path), window.table().snapshot(), io_test::titles());
        else
            engine.importFile(fake::path(c.path));
        finish();
        ASSERT_EQ(events.events.size(), 2u);
        EXPECT_EQ(events.events[1], c.event);
        EXPECT_EQ(rows(), (io_test::Rows{{"9.9.9.9", "kept"}}));
    }
}

TEST_F(Engine, PasteAppendsTheAddressesAndCopyReportsABusyClipboard) {
    window.table().replace({{"9.9.9.9", "北京"}});
    engine.paste("from 10.0.0.1 and [2001:DB8::1]:443, again 10.0.0.1");
    engine.copyRow(window.table().row(0));
    clipboard.busy = true;
    engine.copy("text");
    EXPECT_EQ(rows(), (io_test::Rows{{"9.9.9.9", "北京"}, {"10.0.0.1", ""}, {"2001:db8::1", ""}}));
    // Each address once, with the times it appeared.
    EXPECT_EQ(window.table().rows().hits(1), 2u);
    EXPECT_EQ(window.table().rows().hits(2), 1u);
    EXPECT_EQ(clipboard.content, "9.9.9.9\t北京");
    EXPECT_EQ(events.events,
              (std::vector<std::string>{
                  "pasted 2", "copied",
                  "copy failed " + std::to_string(static_cast<int>(Failure::ClipboardBusy))}));
}
