// Our .xls files read by programs nobody here wrote (xlrd, LibreOffice), and files that
// LibreOffice writes imported as the import rules say.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/formats.h"
#include "tests/io/io_world.h"
#include "text/text.h"
#include "ui/file_texts.h"

namespace fs = std::filesystem;

namespace {

using io_test::Rows;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spit(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct PeersTest : ::testing::Test, io_test::WorldOf<fake::DiskFiles> {
    fs::path dir;

    void SetUp() override {
        char tmpl[] = "/tmp/verdalo-xls-peers-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        fs::create_directories(dir / "home");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    int run(const std::string& command) {
        // LibreOffice keeps its profile under HOME: a fresh one per test never meets
        // another instance's.
        const std::string full = "cd '" + dir.string() + "' && export HOME='" +
                                 (dir / "home").string() + "' && { " + command + " ; } >>'" +
                                 (dir / "log").string() + "' 2>&1";
        return std::system(full.c_str());
    }

    // Every sheet row as xlrd sees it, cells joined by tabs (UTF-8); then one line that
    // lists the number formats of the cells that hold something.
    std::string xlrdDump(const std::string& file) {
        spit(dir / "dump.py",
             "import sys, xlrd\n"
             "b = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
             "s = b.sheet_by_name('Sheet1')\n"
             "out, formats = [], set()\n"
             "for r in range(s.nrows):\n"
             "    row = []\n"
             "    for c in range(s.ncols):\n"
             "        cell = s.cell(r, c)\n"
             "        if cell.ctype != xlrd.XL_CELL_EMPTY and cell.ctype != xlrd.XL_CELL_BLANK:\n"
             "            formats.add('%d:%s' % (cell.ctype, "
             "b.format_map[b.xf_list[cell.xf_index].format_key].format_str))\n"
             "        row.append(str(cell.value))\n"
             "    out.append('\\t'.join(row).rstrip('\\t'))\n"
             "out.append('formats ' + ' '.join(sorted(formats)))\n"
             "open(sys.argv[2], 'w', encoding='utf-8').write('\\n'.join(out) + '\\n')\n");
        fs::remove(dir / "dump.txt");
        EXPECT_EQ(run("/usr/bin/python3 dump.py '" + file + "' dump.txt"), 0) << slurp(dir / "log");
        return slurp(dir / "dump.txt");
    }

    // Sheet 1 of each file as LibreOffice's CSV export (UTF-8).
    std::vector<std::string> libreOfficeCsv(const std::vector<std::string>& names) {
        std::string list;
        for (const auto& f : names) list += " '" + f + "'";
        EXPECT_EQ(
            run("timeout 180 soffice --headless --norestore --convert-to "
                "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,1'"
                " --outdir csv" +
                list),
            0)
            << slurp(dir / "log");
        std::vector<std::string> out;
        for (const auto& f : names)
            out.push_back(slurp(dir / "csv" / (fs::path(f).stem().string() + "-Sheet1.csv")));
        return out;
    }

    // Exports the rows through the export button to `name`.
    void exportRows(const Rows& rows, const std::string& name) {
        fill(rows);
        view.setText(Box::SaveLocation, (dir / name).string());
        dialogs.answerYes = true;
        presenter.exportResults();
        finish();
    }

    Rows importFile(const std::string& path) {
        fill({{"before", ""}});
        view.setText(Box::FileLocation, path);
        presenter.importAddressList();
        finish();
        return rows();
    }
};

// Rows as the peers show them: a title row, then each list row, blank without location.
std::string expectedDump(const Rows& rows, const char* separator, const std::string& end) {
    std::string out = std::string("IP") + separator + std::string("来自") + "\n";
    for (const auto& r : rows)
        out += r[1].empty() ? (std::string(separator) == "," ? ",\n" : "\n")
                            : std::string(r[0]) + separator + std::string(r[1]) + "\n";
    return out + end;
}

Rows sampleRows() {
    Rows rows = {{"1.10.100.200", "中国 北京 电信"},
                 {"1.1.1.1", "美国 APNIC&CloudFlare公共DNS服务器"},
                 {"2.2.2.2", ""},
                 {"001.002.003.004", "123"},
                 {"8.8.8.8", "美国 加利福尼亚州 圣克拉拉县山景市谷歌公司 ◆ ∑ 〓"}};
    // Enough distinct Chinese texts that the shared strings run over several records.
    for (int i = 0; i < 1500; ++i)
        rows.push_back({"10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256),
                        "广东省深圳市南山区 第" + std::to_string(i) + "号 电信ADSL"});
    return rows;
}

}  // namespace

TEST_F(PeersTest, XlrdReadsWhatWeWrite) {
    const Rows rows = sampleRows();
    exportRows(rows, "ours.xls");
    ASSERT_EQ(status(), file_text::kExportedExcel);
    EXPECT_EQ(xlrdDump((dir / "ours.xls").string()), expectedDump(rows, "\t", "formats 1:@\n"));
}

TEST_F(PeersTest, XlrdReadsTheLastRowASheetHolds) {
    Rows rows;
    for (int i = 0; i < 65535; ++i)
        rows.push_back({"10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) +
                            "." + std::to_string(i % 256),
                        i % 7 ? "北京" : "上海 联通"});
    exportRows(rows, "full.xls");
    ASSERT_EQ(status(), file_text::kExportedExcel);
    EXPECT_EQ(xlrdDump((dir / "full.xls").string()), expectedDump(rows, "\t", "formats 1:@\n"));
}

TEST_F(PeersTest, LibreOfficeReadsWhatWeWrite) {
    const Rows rows = sampleRows();
    exportRows(rows, "many.xls");
    exportRows({{"1.2.3.4", "北京"}}, "one.xls");
    const auto csv = libreOfficeCsv({"many.xls", "one.xls"});
    EXPECT_EQ(csv[0], expectedDump(rows, ",", ""));
    EXPECT_EQ(csv[1], expectedDump({{"1.2.3.4", "北京"}}, ",", ""));
}

TEST_F(PeersTest, WorkbooksLibreOfficeWritesImportAsTheRulesSay) {
    fs::create_directories(dir / "in");
    // The sheet takes the name of the CSV file.
    spit(dir / "in" / "Sheet1.csv", "1.1.1.1\n2.2.2.2\n1.10.100.200\n");
    spit(dir / "in" / "Addresses.csv", "1.1.1.1\n2.2.2.2\n");
    std::string numbers = "count,value\n123,1.5\n-7,0.25\n1000000,3.14159\n";
    std::string chinese = std::string("地址") + "\n" + std::string("1.2.3.4 上海") + "\n";
    for (int i = 0; i < 3000; ++i)
        chinese += std::string("北京市海淀区第" + std::to_string(i) + "号") + "\n";
    ASSERT_EQ(run("cd in && timeout 180 soffice --headless --norestore "
                  "--infilter='Text - txt - csv (StarCalc):44,34,76,1' "
                  "--convert-to 'xls:MS Excel 97' --outdir ../lo Sheet1.csv Addresses.csv"),
              0)
        << slurp(dir / "log");
    const std::string sheet1 = (dir / "lo" / "Sheet1.xls").string();
    EXPECT_EQ(importFile(sheet1), Rows({{"1.1.1.1", ""}, {"2.2.2.2", ""}, {"1.10.100.200", ""}}));
    EXPECT_EQ(status(), file_text::kImportedExcel);

    // A workbook whose first (and only) sheet is not Sheet1: the list stays.
    EXPECT_EQ(importFile((dir / "lo" / "Addresses.xls").string()), Rows({{"before", ""}}));
    EXPECT_EQ(status(), file_text::kExcelNoSheet);

    // A sheet with numbers, and one of 3002 Chinese rows, each named Sheet1 by its file.
    fs::create_directories(dir / "in2");
    spit(dir / "in2" / "Sheet1.csv", numbers);
    fs::create_directories(dir / "in3");
    spit(dir / "in3" / "Sheet1.csv", chinese);
    ASSERT_EQ(run("cd in2 && timeout 180 soffice --headless --norestore "
                  "--infilter='Text - txt - csv (StarCalc):44,34,76,1' "
                  "--convert-to 'xls:MS Excel 97' --outdir ../lo2 Sheet1.csv && cd ../in3 && "
                  "timeout 180 soffice --headless --norestore "
                  "--infilter='Text - txt - csv (StarCalc):44,34,76,1' "
                  "--convert-to 'xls:MS Excel 97' --outdir ../lo3 Sheet1.csv"),
              0)
        << slurp(dir / "log");
    EXPECT_EQ(importFile((dir / "lo2" / "Sheet1.xls").string()),
              Rows({{"count", "value"}, {"123", "1.5"}, {"-7", "0.25"}, {"1000000", "3.14159"}}));
    const Rows got = importFile((dir / "lo3" / "Sheet1.xls").string());
    ASSERT_EQ(got.size(), 3002u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"地址", ""}));
    EXPECT_EQ(got[1], (std::vector<std::string>{"1.2.3.4 上海", ""}));
    EXPECT_EQ(got[3001], (std::vector<std::string>{"北京市海淀区第2999号", ""}));
    EXPECT_EQ(status(), file_text::kImportedExcel);
}

// .xlsx, CSV and .jsonl: our files read by LibreOffice, openpyxl and Python's csv and json
// modules; files LibreOffice and openpyxl write imported by our reader (the first column
// only). The functions of bytes and rows are called directly.
namespace {

struct FormatPeersTest : PeersTest {
    void exportXlsx(const Rows& rows, const std::string& name) {
        spit(dir / name, io::xlsxFile(io_test::storeOf(rows), io_test::titles()).bytes);
    }

    // The first sheet as openpyxl sees it, as xlrdDump shows a sheet.
    std::string openpyxlDump(const std::string& file) {
        spit(dir / "dump_xlsx.py",
             "import sys, openpyxl\n"
             "s = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
             "out, formats = [], set()\n"
             "for row in s.iter_rows():\n"
             "    values = []\n"
             "    for c in row:\n"
             "        if c.value is not None:\n"
             "            formats.add(c.number_format)\n"
             "        values.append('' if c.value is None else str(c.value))\n"
             "    out.append('\\t'.join(values).rstrip('\\t'))\n"
             "out.append('formats ' + ' '.join(sorted(formats)))\n"
             "open(sys.argv[2], 'w', encoding='utf-8').write('\\n'.join(out) + '\\n')\n");
        fs::remove(dir / "dump.txt");
        EXPECT_EQ(run("/usr/bin/python3 dump_xlsx.py '" + file + "' dump.txt"), 0)
            << slurp(dir / "log");
        return slurp(dir / "dump.txt");
    }

    Rows importXlsx(const std::string& path) {
        std::vector<RowCells> rows;
        EXPECT_EQ(io::xlsxRows(slurp(path), rows), workbook::XlsxStatus::Ok) << path;
        Rows out;
        for (const RowCells& r : rows) out.push_back({r[0], r[1]});
        return out;
    }
};

// Rows as the peers show our own formats: the full header, then every row with its fields
// (none here), hits 1 and no source; `trim` drops the empty cells at a line's end, as the
// openpyxl dump does.
std::string fieldsDump(const Rows& rows, const char* separator, bool trim, const std::string& end) {
    const std::string sep = separator;
    auto line = [&](std::vector<std::string> cells) {
        if (trim)
            while (!cells.empty() && cells.back().empty()) cells.pop_back();
        std::string out;
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += (i ? sep : "") + std::string(cells[i]);
        return out + "\n";
    };
    std::string out = line({"IP", "来自", "国家", "省份", "城市", "区县", "所有者", "运营商", "ASN",
                            "AS名称", "纬度", "经度", "时区", "邮编", "大洲", "次数", "来源"});
    for (const auto& r : rows) {
        std::vector<std::string> cells(17);
        cells[0] = r[0];
        cells[1] = r[1];
        cells[15] = "1";
        out += line(cells);
    }
    return out + end;
}

Rows markupRows() {
    return {{"1.1.1.1", "<a & \"b\" 'c'>"},
            {"2.2.2.2", "  spaces at both ends  "},
            {"3.3.3.3", "_x0041_ as typed"},
            {"4.4.4.4", "é ü ◆ ∑ 〓 中文"}};
}

}  // namespace

TEST_F(FormatPeersTest, OpenpyxlReadsOurXlsx) {
    const Rows rows = sampleRows();
    exportXlsx(rows, "ours.xlsx");
    EXPECT_EQ(openpyxlDump((dir / "ours.xlsx").string()),
              fieldsDump(rows, "\t", true, "formats @\n"));
    // openpyxl leaves the workbook's _xHHHH_ escape as it stands, so "_x0041_" (written
    // _x005F_x0041_, as Excel writes it) is not among these.
    Rows markup = markupRows();
    markup.erase(markup.begin() + 2);
    exportXlsx(markup, "markup.xlsx");
    EXPECT_EQ(openpyxlDump((dir / "markup.xlsx").string()),
              fieldsDump(markup, "\t", true, "formats @\n"));
}

TEST_F(FormatPeersTest, LibreOfficeReadsOurXlsx) {
    const Rows rows = sampleRows();
    exportXlsx(rows, "many.xlsx");
    exportXlsx({{"1.2.3.4", "北京"}}, "one.xlsx");
    Rows markup = markupRows();
    markup.push_back({"5.5.5.5", "a\x01z"});  // written as _x0001_, which LibreOffice reads
    exportXlsx(markup, "markup.xlsx");
    const auto csv = libreOfficeCsv({"many.xlsx", "one.xlsx", "markup.xlsx"});
    EXPECT_EQ(csv[0], fieldsDump(rows, ",", false, ""));
    EXPECT_EQ(csv[1], fieldsDump({{"1.2.3.4", "北京"}}, ",", false, ""));
    std::string expected = fieldsDump({}, ",", false, "");
    const std::string tail = ",,,,,,,,,,,,,,1,\n";
    expected += "1.1.1.1,\"<a & \"\"b\"\" 'c'>\"" + tail + "2.2.2.2,  spaces at both ends  " + tail;
    expected +=
        "3.3.3.3,_x0041_ as typed" + tail + "4.4.4.4," + std::string("é ü ◆ ∑ 〓 中文") + tail;
    expected += "5.5.5.5,a\x01z" + tail;
    EXPECT_EQ(csv[2], expected);
}

TEST_F(FormatPeersTest, WorkbooksLibreOfficeAndOpenpyxlWriteImport) {
    fs::create_directories(dir / "in");
    std::string chinese = std::string("地址#1") + "\n" + std::string("1.2.3.4 上海") + "\n";
    for (int i = 0; i < 3000; ++i)
        chinese += std::string("北京市海淀区第" + std::to_string(i) + "号") + ",x\n";
    spit(dir / "in" / "Sheet1.csv", chinese);
    spit(dir / "in" / "Numbers.csv", "count,value\n123,1.5\n-7,0.25\n1000000,3.14159\n");
    ASSERT_EQ(run("cd in && timeout 180 soffice --headless --norestore "
                  "--infilter='Text - txt - csv (StarCalc):44,34,76,1' "
                  "--convert-to 'xlsx:Calc MS Excel 2007 XML' --outdir ../lo Sheet1.csv "
                  "Numbers.csv"),
              0)
        << slurp(dir / "log");
    const Rows got = importXlsx((dir / "lo" / "Sheet1.xlsx").string());
    ASSERT_EQ(got.size(), 3002u);
    EXPECT_EQ(got[0], (std::vector<std::string>{"地址.1", ""}));
    EXPECT_EQ(got[1], (std::vector<std::string>{"1.2.3.4 上海", ""}));
    // The second column is no location.
    EXPECT_EQ(got[3001], (std::vector<std::string>{"北京市海淀区第2999号", ""}));
    EXPECT_EQ(importXlsx((dir / "lo" / "Numbers.xlsx").string()),
              Rows({{"count", ""}, {"123", ""}, {"-7", ""}, {"1000000", ""}}));

    // openpyxl: the first sheet is not named Sheet1, its data starts at C3 with a gap row,
    // and a second sheet is no part of it.
    spit(dir / "write.py",
         "import sys, openpyxl\n"
         "b = openpyxl.Workbook()\n"
         "s = b.active\n"
         "s.title = 'Data'\n"
         "s['C3'] = 'IP#'\n"
         "s['D3'] = '" +
             std::string("来自") +
             "'\n"
             "s['C4'] = '1.1.1.1'\n"
             "s['D4'] = '" +
             std::string("北京 电信") +
             "'\n"
             "s['C6'] = 42\n"
             "s['D6'] = True\n"
             "s['E6'] = 'third column'\n"
             "s['C7'] = 0.1\n"
             "b.create_sheet('Other')['A1'] = 'not this'\n"
             "b.save(sys.argv[1])\n");
    ASSERT_EQ(run("/usr/bin/python3 write.py py.xlsx"), 0) << slurp(dir / "log");
    EXPECT_EQ(importXlsx((dir / "py.xlsx").string()),
              Rows({{"IP.", ""}, {"1.1.1.1", ""}, {"", ""}, {"42", ""}, {"0.1", ""}}));
}

TEST_F(FormatPeersTest, PythonsCsvReadsOurCsv) {
    Rows rows = sampleRows();
    rows.push_back({"9.9.9.9", "a,b \"c\"\r\nd"});
    spit(dir / "ours.csv", io::csvFile(io_test::storeOf(rows), io_test::titles()));
    spit(dir / "dump_csv.py",
         "import sys, csv\n"
         "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
         "open(sys.argv[2], 'w', encoding='utf-8').write("
         "'\\n'.join('\\t'.join(r) for r in rows) + '\\n')\n");
    ASSERT_EQ(run("/usr/bin/python3 dump_csv.py ours.csv dump.txt"), 0) << slurp(dir / "log");
    EXPECT_EQ(slurp(dir / "dump.txt"), fieldsDump(rows, "\t", false, ""));
}

// Every row with every field, through Python's json: the keys, the numbers, UTF-8 that
// GBK lacks (an organisation), quotes and control characters escaped.
TEST_F(FormatPeersTest, PythonsJsonReadsOurJsonl) {
    RowStore rows = io_test::storeOf({{"9.9.9.9", ""}, {"1.1.1.1", "a \"b\"\\ \x01"}});
    Answer placed{"重庆 电信", Source::DataFile,
                  Fields{"中国", "重庆", "", "", "", "电信", "CN", "29.5628", "106.5528"}};
    placed.network = Network{4134, std::string("Chinanet é ◆")};
    rows.push("218.70.0.1", placed);
    rows.setHits(2, 12);
    spit(dir / "ours.jsonl", io::jsonlFile(rows));
    spit(dir / "dump_json.py",
         "import sys, json\n"
         "out = []\n"
         "for line in open(sys.argv[1], encoding='utf-8'):\n"
         "    o = json.loads(line)\n"
         "    out.append(repr((o['ip'], o['location'], o['region'], o['isp'], o['asn'], "
         "o['as_name'], o['latitude'], o['longitude'], o['hits'], o['source'], len(o))))\n"
         "open(sys.argv[2], 'w', encoding='utf-8').write('\\n'.join(out) + '\\n')\n");
    ASSERT_EQ(run("/usr/bin/python3 dump_json.py ours.jsonl dump.txt"), 0) << slurp(dir / "log");
    EXPECT_EQ(slurp(dir / "dump.txt"),
              "('9.9.9.9', '', '', '', None, '', None, None, 1, '', 17)\n"
              "('1.1.1.1', 'a \"b\"\\\\ \\x01', '', '', None, '', None, None, 1, '', 17)\n" +
                  std::string(
                      "('218.70.0.1', '重庆 电信', '重庆', '电信', 4134, 'Chinanet é ◆', 29.5628, "
                      "106.5528, 12, 'data', 17)\n"));
}
