// Which format a file is in, CSV both ways, and the rows of .xlsx files.
#include "io/formats.h"

#include <gtest/gtest.h>

#include "tests/io/io_world.h"
#include "workbook/zip.h"

using io_test::Rows;

namespace {

std::string u8s(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

RowStore tableRows(const Rows& rows) {
    return io_test::storeOf(rows);
}

Rows fromCells(const std::vector<RowCells>& cells) {
    Rows out;
    for (const RowCells& r : cells) out.push_back({r[0], r[1]});
    return out;
}

std::string xlsxOf(const Rows& rows, std::uint32_t firstRow = 0, std::uint16_t firstColumn = 0) {
    std::vector<workbook::TextCell> cells;
    for (std::uint32_t r = 0; r < rows.size(); ++r)
        for (std::uint16_t c = 0; c < rows[r].size(); ++c)
            cells.push_back(
                {firstRow + r, static_cast<std::uint16_t>(firstColumn + c), rows[r][c]});
    return workbook::writeXlsx("Sheet1", cells);
}

}  // namespace

TEST(Formats, ImportByContentThenNameExportByName) {
    const std::string xls = io_test::sheetFile({{"1.1.1.1"}});
    const std::string xlsx = xlsxOf({{"1.1.1.1"}});
    using I = io::FormatId;
    struct Case {
        const char* path;
        std::string bytes;
        I format;
    } cases[] = {
        {"D:\\a.xls", xls, I::Xls},
        {"D:\\a.txt", xls, I::Xls},  // the content wins over the name
        {"D:\\a.xlsx", xlsx, I::Xlsx},
        {"D:\\a.xls", xlsx, I::Xlsx},
        {"D:\\a.zip", workbook::ZipWriter().finish(), I::Xlsx},  // an empty zip
        {"D:\\a.txt", "1.1.1.1\r\n", I::Lines},
        {"D:\\A.TXT", "1.1.1.1\r\n", I::Lines},
        {"D:\\a.Csv", "1.1.1.1\r\n", I::Csv},
        {"D:\\a.xls", "<table><tr><td>1.1.1.1</td></tr></table>", I::Addresses},
        {"D:\\a.txt.log", "1.1.1.1", I::Addresses},
        {"D:\\txt", "1.1.1.1", I::Addresses},
        {"D:\\a.txt", "", I::Lines},
        {"D:\\a.txt", "PK", I::Lines},
    };
    for (const Case& c : cases)
        EXPECT_EQ(io::importFormat(fake::path(c.path), c.bytes).id, c.format) << c.path;

    using E = io::FormatId;
    const std::pair<const char*, E> exports[] = {
        {"D:\\r.txt", E::Lines},   {"D:\\r.TXT", E::Lines}, {"D:\\r.csv", E::Csv},
        {"D:\\r.XLSX", E::Xlsx},   {"D:\\r.xls", E::Xls},   {"D:\\r", E::Xls},
        {"D:\\r.txt.bak", E::Xls}, {"D:\\r.xlsm", E::Xls},
    };
    for (const auto& [path, format] : exports)
        EXPECT_EQ(io::exportFormat(fake::path(path)).id, format) << path;

    // What the name claims before the content is read: the import's progress text.
    const std::pair<const char*, I> named[] = {
        {"D:\\a.XLS", I::Xls}, {"D:\\a.xlsx", I::Xlsx},     {"D:\\a.txt", I::Lines},
        {"D:\\a.csv", I::Csv}, {"D:\\a.log", I::Addresses}, {"D:\\a.xlsm", I::Addresses},
    };
    for (const auto& [path, format] : named)
        EXPECT_EQ(io::namedFormat(fake::path(path)).id, format) << path;
}

// Endings of names as the system gives them: units outside ASCII never pass for ASCII
// letters, and dots and spaces the system drops from a name do not hide its ending.
TEST(Formats, EndingsOfWidePaths) {
    using E = io::FormatId;
    using I = io::FormatId;
    const struct {
        const char16_t* path;
        E exported;
        I imported;
    } cases[] = {
        {u"D:\\목록 \U00020000\\결과.TXT", E::Lines, I::Lines},
        {u"D:\\목록\\주소.Csv", E::Csv, I::Csv},
        {u"D:\\한국어.xlsx", E::Xlsx, I::Addresses},
        {u"D:\\r.txt. .", E::Lines, I::Lines},
        {u"\\\\?\\D:\\r.txt.", E::Xls, I::Addresses},  // kept as it is
        // 丮乴乸乴: code units whose low bytes read ".txt"
        {u"D:\\r\u4E2E\u4E74\u4E78\u4E74", E::Xls, I::Addresses},
        {u"D:\\r\uFF0E\uFF54\uFF58\uFF54", E::Xls, I::Addresses},  // full-width ".txt"
        {u"D:\\r.txt\U00020000", E::Xls, I::Addresses},
        {u"\U00020000", E::Xls, I::Addresses},
        {u"", E::Xls, I::Addresses},
    };
    for (const auto& c : cases) {
        const platform::Path path{std::u16string(c.path)};
        SCOPED_TRACE(path.utf8());
        EXPECT_EQ(io::exportFormat(path).id, c.exported);
        EXPECT_EQ(io::importFormat(path, "1.1.1.1\r\n").id, c.imported);
    }
}

TEST(CsvRows, FirstFieldOfEachRecord) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> rows;
    } cases[] = {
        {"plain", "1.1.1.1,北京\r\n2.2.2.2,上海\r\n", {"1.1.1.1", "2.2.2.2"}},
        {"one column, LF, no final line end", "1.1.1.1\n2.2.2.2", {"1.1.1.1", "2.2.2.2"}},
        {"CR only, blank lines kept", "a\r\rb\r", {"a", "", "b"}},
        {"quoted comma and doubled quotes",
         "\"1,2\",x\n\"say \"\"hi\"\"\",y\n",
         {"1,2", "say \"hi\""}},
        {"a quoted line break stays in the field", "\"a\r\nb\",\"c\nd\"\r\ne\n", {"a\r\nb", "e"}},
        {"later fields may hold line breaks too", "a,\"x\ny\"\nb\n", {"a", "b"}},
        {"spaces kept, text after a closing quote kept", " a ,b\n\"q\"r,s\n", {" a ", "qr"}},
        {"a quote never closed takes the rest", "\"a,b\nc", {"a,b\nc"}},
        {"empty fields", ",x\n\"\",y\n", {"", ""}},
        {"NULs dropped", "a\0\r\nb\r\n\0\0"s, {"a", "b"}},
        {"UTF-8 with BOM",
         "\xEF\xBB\xBF" + u8s(u8"IP,来自\r\n1.1.1.1,北京\r\n"),
         {"IP", "1.1.1.1"}},
        {"UTF-8 without BOM", u8s(u8"\"北京,市\",x\n"), {"北京,市"}},
        {"GBK", utf8ToGbk("\"北京,市\",x\n上海\n"), {"北京,市", "上海"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (const RowCells& r : io::csvRows(c.bytes).rows) got.push_back(r[0]);
        EXPECT_EQ(got, c.rows) << c.name;
    }
}

TEST(CsvFile, EveryRowEveryFieldQuotedAndOurOwnFileReadsBack) {
    RowStore rows = tableRows({{"1.1.1.1", "北京 电信"},
                               {"2.2.2.2", ""},
                               {"3.3.3.3", "a,b \"c\"\r\nd"},
                               {"4.4.4.4", "=HYPERLINK(\"x\")"},
                               {"5.5.5.5", "-1"},
                               {"6.6.6.6", "18ª Regiao"}});
    Answer placed{"重庆 电信", Source::DataFile,
                  Fields{"中国", "重庆", "重庆", "", "", "电信", "CN"}};
    placed.network = Network{4134, "Chinanet, \"CN\""};
    rows.push("218.70.0.1", placed);
    rows.setHits(6, 7);
    rows.push("8.8.8.8", {"美国 谷歌", Source::Web, std::nullopt});
    const std::string file = io::csvFile(rows, io_test::titles());
    const std::string title =
        "IP,来自,国家,省份,城市,区县,所有者,运营商,ASN,AS名称,纬度,经度,时区,邮编,大洲,次数,"
        "来源\r\n";
    EXPECT_EQ(file, "\xEF\xBB\xBF" + std::string(title) +
                        std::string("1.1.1.1,北京 电信,,,,,,,,,,,,,,1,\r\n") +
                        "2.2.2.2,,,,,,,,,,,,,,,1,\r\n"
                        "3.3.3.3,\"a,b \"\"c\"\"\r\nd\",,,,,,,,,,,,,,1,\r\n"
                        "4.4.4.4,\"'=HYPERLINK(\"\"x\"\")\",,,,,,,,,,,,,,1,\r\n"
                        "5.5.5.5,'-1,,,,,,,,,,,,,,1,\r\n"
                        "6.6.6.6,18ª Regiao,,,,,,,,,,,,,,1,\r\n" +
                        std::string("218.70.0.1,重庆 电信 (离线库),中国,重庆,重庆,,,电信,AS4134,") +
                        "\"Chinanet, \"\"CN\"\"\",,,,,,7," + std::string("离线库\r\n") +
                        std::string("8.8.8.8,美国 谷歌,,,,,,,,,,,,,,1,网络\r\n"));
    // Every row, answered or not, the header always.
    EXPECT_EQ(io::csvFile(tableRows({{"9.9.9.9", ""}, {"8.8.8.8", ""}}), io_test::titles()),
              "\xEF\xBB\xBF" + std::string(title) +
                  "9.9.9.9,,,,,,,,,,,,,,,1,\r\n8.8.8.8,,,,,,,,,,,,,,,1,\r\n");
    EXPECT_EQ(io::csvFile(RowStore(), io_test::titles()), "\xEF\xBB\xBF" + std::string(title));

    // Read back: no header row, the "'" gone, locations, sources, fields, network, hits back.
    const io::CsvList back = io::csvList(file);
    ASSERT_TRUE(back.own);
    const RowStore& got = *back.own;
    ASSERT_EQ(got.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got.address(i), rows.address(i));
        if (i != 5) {
            EXPECT_EQ(got.text(i), rows.text(i));  // the stray byte is a "?" now
        }
        EXPECT_EQ(got.source(i), rows.source(i));
        EXPECT_EQ(got.asn(i), rows.asn(i));
        EXPECT_EQ(got.organisation(i), rows.organisation(i));
        EXPECT_EQ(got.hits(i), rows.hits(i));
        EXPECT_EQ(got[i].fields.has_value(), rows[i].fields.has_value());
    }
    EXPECT_EQ((*got[6].fields)[1], "重庆");
    // Anyone else's CSV: the first field of each record, its first record a row.
    EXPECT_FALSE(io::csvList("IP,x\r\n1.1.1.1,B\r\n").own);
}

TEST(XlsxRows, FirstRowAndColumnsAsTheImportTakesThem) {
    struct Case {
        const char* name;
        std::string file;
        Rows rows;
    } cases[] = {
        {"a title comes in as a row, # made . in it only",
         xlsxOf({{"a#b", "地址"}, {"1.10.100.200", "c#d"}}),
         {{"a.b", ""}, {"1.10.100.200", ""}}},
        {"column B is no location", xlsxOf({{"1.2.3.4", "B"}}), {{"1.2.3.4", ""}}},
        {"the used range starts at C5, blank rows inside kept",
         xlsxOf({{"head"}, {"1.2.3.4"}, {}, {"", "d"}}, 4, 2),
         {{"head", ""}, {"1.2.3.4", ""}, {"", ""}, {"", ""}}},
        {"a first row with column A empty",
         xlsxOf({{"", "t"}, {"5.5.5.5"}}),
         {{"", ""}, {"5.5.5.5", ""}}},
        {"the last row of the sheet", xlsxOf({{"x"}}, workbook::kXlsxRows - 1, 100), {{"x", ""}}},
        {"an empty sheet", xlsxOf({}), {}},
    };
    for (const Case& c : cases) {
        std::vector<RowCells> rows;
        EXPECT_EQ(io::xlsxRows(c.file, rows), workbook::XlsxStatus::Ok) << c.name;
        EXPECT_EQ(fromCells(rows), c.rows) << c.name;
    }
    std::vector<RowCells> rows = {{"left", "over"}};
    EXPECT_EQ(io::xlsxRows(io_test::sheetFile({{"1.1.1.1"}}), rows), workbook::XlsxStatus::NotZip);
    EXPECT_TRUE(rows.empty());
}

TEST(XlsxFile, EveryRowEveryFieldTheHeaderAlwaysAndTheSheetsLastRow) {
    const auto sheet = [](const io::WorkbookFile& file) {
        std::vector<workbook::SheetCell> cells;
        EXPECT_EQ(workbook::readXlsx(file.bytes, cells), workbook::XlsxStatus::Ok);
        Rows out;
        for (const workbook::SheetCell& c : cells) {
            if (out.size() <= c.row) out.resize(c.row + 1);
            if (out[c.row].size() <= c.column) out[c.row].resize(c.column + 1);
            out[c.row][c.column] = c.text;
        }
        return out;
    };
    const Rows header = {{"IP", "来自", "国家", "省份", "城市", "区县", "所有者", "运营商", "ASN",
                          "AS名称", "纬度", "经度", "时区", "邮编", "大洲", "次数", "来源"}};
    RowStore rows = tableRows({{"9.9.9.9", ""}, {"8.8.8.8", ""}});
    Answer placed{"重庆 电信", Source::Web,
                  Fields{"中国", "重庆", "", "", "", "电信", "CN", "29.5628", "106.5528",
                         "Asia/Shanghai", "", "亚洲"}};
    placed.network = Network{4134, "Chinanet"};
    rows.push("218.70.0.1", placed);
    Rows expected = header;
    const std::vector<std::string> unanswered(15, "");
    for (const char* address : {"9.9.9.9", "8.8.8.8"}) {
        expected.push_back({address});
        expected.back().insert(expected.back().end(), unanswered.begin(), unanswered.end());
        expected.back().back() = "1";
    }
    expected.push_back({"218.70.0.1", "重庆 电信", "中国", "重庆", "", "", "", "电信", "AS4134",
                        "Chinanet", "29.5628", "106.5528", "Asia/Shanghai", "", "亚洲", "1",
                        "网络"});
    EXPECT_EQ(sheet(io::xlsxFile(rows, io_test::titles())), expected);
    EXPECT_EQ(sheet(io::xlsxFile(RowStore(), io_test::titles())), header);

    // Our own .xlsx reads back as it was, header left out.
    std::vector<RowCells> plain;
    std::optional<RowStore> own;
    ASSERT_EQ(io::xlsxRows(io::xlsxFile(rows, io_test::titles()).bytes, plain, &own),
              workbook::XlsxStatus::Ok);
    ASSERT_TRUE(own);
    ASSERT_EQ(own->size(), 3u);
    EXPECT_EQ(own->address(2), "218.70.0.1");
    EXPECT_EQ(own->text(2), "重庆 电信");
    EXPECT_EQ(own->source(2), Source::Web);
    EXPECT_EQ(own->asn(2), 4134u);
    EXPECT_EQ(own->organisation(2), "Chinanet");
    // The coordinates and what comes with them come back in their fields.
    const RowView back = (*own)[2];
    ASSERT_TRUE(back.fields);
    EXPECT_EQ((*back.fields)[static_cast<std::size_t>(Field::Latitude)], "29.5628");
    EXPECT_EQ((*back.fields)[static_cast<std::size_t>(Field::Longitude)], "106.5528");
    EXPECT_EQ((*back.fields)[static_cast<std::size_t>(Field::TimeZone)], "Asia/Shanghai");
    EXPECT_EQ((*back.fields)[static_cast<std::size_t>(Field::Continent)], "亚洲");
    EXPECT_EQ(own->text(0), "");

    // List row 1 048 574 is the sheet's last row; the two after it are counted, not written.
    RowStore many;
    for (std::size_t i = 0; i < workbook::kXlsxRows + 1; ++i) many.push("10.0.0.1");
    EXPECT_EQ(io::xlsxFile(many, io_test::titles()).rowsLeftOut, 2u);
}

// Our own export read back takes each row's source from its 来源 column; " (离线库)" is the
// data file's mark only on the data file's rows, and any other row keeps its text whole.
TEST(OwnExport, TheSourceColumnSaysWhoseTheMarkIs) {
    struct Case {
        const char* location;
        const char* source;
        std::string text;
        Source read;
    };
    const Case cases[] = {
        {"谷歌 (离线库)", "网络", "谷歌 (离线库)", Source::Web},
        {"重庆 电信 (离线库)", "离线库", "重庆 电信", Source::DataFile},
        {"重庆 电信", "离线库", "重庆 电信", Source::DataFile},
        {"", "网络", "", Source::Web},  // a failed request
        {"1.0.0.0/24 (离线库)", "", "1.0.0.0/24 (离线库)", Source::None},
        {"甲 (离线库)", "别处", "甲 (离线库)", Source::None},
    };
    Rows sheet = {{"IP", "来自", "国家", "省份", "城市", "区县", "所有者", "运营商", "ASN",
                   "AS名称", "纬度", "经度", "时区", "邮编", "大洲", "次数", "来源"}};
    for (const Case& c : cases)
        sheet.push_back({"1.1.1.1", c.location, "", "", "", "", "", "", "", "", "", "", "", "", "",
                         "1", c.source});
    std::string csv;
    for (const auto& row : sheet) {
        for (const std::string& cell : row) csv += cell + ",";
        csv.back() = '\n';
    }
    const std::optional<RowStore> own = io::csvList(csv).own;
    ASSERT_TRUE(own);
    ASSERT_EQ(own->size(), std::size(cases));
    for (std::size_t i = 0; i < own->size(); ++i) {
        EXPECT_EQ(own->text(i), cases[i].text) << i;
        EXPECT_EQ(own->source(i), cases[i].read) << i;
    }
}

TEST(Exports, MarkAnswersFromTheDataInEveryFormat) {
    RowStore rows;
    rows.push("1.0.1.9", {"重庆 电信", Source::DataFile, Fields{"中国", "重庆"}});
    rows.push("5.5.5.5", {"重庆 电信", Source::Web, std::nullopt});
    rows.push("1.0.0.0-1.0.0.255", {"重庆 电信", Source::RangeSearch, Fields{"中国", "重庆"}});
    const std::string marked = "重庆 电信 (离线库)";
    EXPECT_EQ(io::textFile(rows), utf8ToGbk("1.0.1.9  " + marked + "\r\n5.5.5.5  重庆 电信\r\n" +
                                            "1.0.0.0-1.0.0.255  重庆 电信\r\n"));
    // The reverse search's rows add their range as CIDR blocks.
    EXPECT_EQ(
        io::csvFile(rows, io_test::titles()),
        "\xEF\xBB\xBF" +
            std::string("IP,来自,国家,省份,城市,区县,所有者,运营商,ASN,AS名称,纬度,经度,时区,邮编,"
                        "大洲,次数,来源,CIDR\r\n"
                        "1.0.1.9," +
                        marked +
                        ",中国,重庆,,,,,,,,,,,,1,离线库,\r\n"
                        "5.5.5.5,重庆 电信,,,,,,,,,,,,,,1,网络,\r\n"
                        "1.0.0.0-1.0.0.255,重庆 电信,中国,重庆,,,,,,,,,,,,1,,1.0.0.0/24\r\n"));
    const Rows expected = {{"IP", "来自"},
                           {"1.0.1.9", marked},
                           {"5.5.5.5", "重庆 电信"},
                           {"1.0.0.0-1.0.0.255", "重庆 电信"}};
    std::vector<RowCells> read;
    ASSERT_EQ(io::workbookRows(io::workbookFile(rows, io_test::titles()).bytes, read),
              workbook::WorkbookStatus::Ok);
    EXPECT_EQ(fromCells(read), expected);
}

// Texts GBK lacks stay whole in every format that can hold them: the AS name and the
// location of our own .csv and .xlsx read back, the .jsonl's string, the .xls's cell; the
// .txt, GBK by its nature, counts each as a "?".
TEST(Exports, CharactersGbkLacksSurviveEveryFormatThatHoldsThem) {
    const std::string name = "18ª Regiao ☃", where = "Brasília ☃";
    RowStore rows;
    Answer placed{where, Source::DataFile, Fields{"巴西", "", "", "", "", "", "BR"}};
    placed.network = Network{28573, name};
    rows.push("177.0.0.1", placed);

    const std::optional<RowStore> csv = io::csvList(io::csvFile(rows, io_test::titles())).own;
    std::vector<RowCells> plain;
    std::optional<RowStore> xlsx;
    ASSERT_EQ(io::xlsxRows(io::xlsxFile(rows, io_test::titles()).bytes, plain, &xlsx),
              workbook::XlsxStatus::Ok);
    for (const std::optional<RowStore>* back :
         {&csv, static_cast<const std::optional<RowStore>*>(&xlsx)}) {
        ASSERT_TRUE(*back);
        ASSERT_EQ((*back)->size(), 1u);
        EXPECT_EQ((*back)->organisation(0), name);
        EXPECT_EQ((*back)->text(0), where);
        EXPECT_EQ((*back)->source(0), Source::DataFile);
    }
    const std::string jsonl = io::jsonlFile(rows);
    EXPECT_NE(jsonl.find("\"as_name\":\"" + name + "\""), std::string::npos) << jsonl;
    EXPECT_NE(jsonl.find("\"location\":\"" + where + "\""), std::string::npos) << jsonl;

    std::vector<RowCells> xls;
    ASSERT_EQ(io::workbookRows(io::workbookFile(rows, io_test::titles()).bytes, xls),
              workbook::WorkbookStatus::Ok);
    EXPECT_EQ(fromCells(xls), (Rows{{"IP", "来自"}, {"177.0.0.1", where + " (离线库)"}}));

    io::TextOut txt;
    EXPECT_EQ(io::textFile(rows, txt), 1u);  // the snowman; GBK has í
    EXPECT_EQ(txt.text, utf8ToGbk("177.0.0.1  Brasília ? (离线库)\r\n"));
}
