// The .xlsx reader and writer and what lies under them: the XML reader, the zip reader and
// writer. Parts are built here by hand, as other writers lay them out; broken ones are
// turned away with a status, never a crash or a huge allocation.
#include "workbook/xlsx.h"

#include <gtest/gtest.h>

#include <functional>

#include "workbook/xml.h"
#include "workbook/zip.h"

namespace {

using Parts = std::vector<std::pair<std::string, std::string>>;

std::string u8s(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

std::string zipOf(const Parts& parts, int level = 1) {
    workbook::ZipWriter zip(level);
    for (const auto& [name, bytes] : parts) zip.add(name, bytes);
    return zip.finish();
}

const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string relationships(const std::vector<std::array<std::string, 3>>& rels) {
    std::string xml =
        "<?xml version=\"1.0\"?>\r\n<Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (const auto& [id, type, target] : rels)
        xml += "<Relationship Id=\"" + id + "\" Type=\"" + kRel + "/" + type + "\" Target=\"" +
               target + "\"/>";
    return xml + "</Relationships>";
}

std::string workbookXml(const std::string& sheets) {
    return "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"" +
           kRel + "\"><sheets>" + sheets + "</sheets></workbook>";
}

std::string sheet(const std::string& data) {
    return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<dimension ref=\"A1\"/><sheetData>" +
           data + "</sheetData></worksheet>";
}

// One sheet at the usual places, with shared strings when given.
std::string book(const std::string& data, const std::string& shared = "") {
    Parts parts = {
        {"_rels/.rels", relationships({{"rId1", "officeDocument", "xl/workbook.xml"}})},
        {"xl/workbook.xml", workbookXml("<sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>")},
        {"xl/_rels/workbook.xml.rels",
         relationships({{"rId1", "worksheet", "worksheets/sheet1.xml"},
                        {"rId2", "sharedStrings", "sharedStrings.xml"}})},
        {"xl/worksheets/sheet1.xml", sheet(data)}};
    if (!shared.empty())
        parts.push_back({"xl/sharedStrings.xml", "<sst xmlns=\"x\">" + shared + "</sst>"});
    return zipOf(parts);
}

using Cells = std::vector<std::tuple<std::uint32_t, std::uint16_t, std::string>>;

Cells read(const std::string& file, workbook::XlsxStatus expected = workbook::XlsxStatus::Ok,
           std::uint32_t keep = 0) {
    std::vector<workbook::SheetCell> cells;
    EXPECT_EQ(workbook::readXlsx(file, cells, keep), expected);
    Cells out;
    for (const auto& c : cells) out.emplace_back(c.row, c.column, c.text);
    return out;
}

// Tokens as "<a", ">a", "'text'", "!" (error), "." (done).
std::string tokens(std::string_view doc) {
    workbook::xml::Reader reader(doc);
    std::string out;
    for (int guard = 0; guard < 1000; ++guard) {
        const workbook::xml::Token t = reader.next();
        if (t == workbook::xml::Token::Start) {
            out += '<';
            out += reader.name();
            std::string v;
            if (reader.attribute("v", v)) out += "[" + v + "]";
        } else if (t == workbook::xml::Token::End) {
            out += '>';
            out += reader.name();
        } else if (t == workbook::xml::Token::Text) {
            std::string text;
            out += reader.appendText(text) ? "'" + text + "'" : "!";
            if (!reader.appendText(text)) return out;
        } else {
            return out + (t == workbook::xml::Token::Done ? "." : "!");
        }
    }
    return out;
}

void put32(std::string& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
}
void put16(std::string& f, std::size_t at, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
}

}  // namespace

TEST(XmlReader, TakesWhatPartsUseAndRefusesTheRest) {
    struct Case {
        const char* doc;
        const char* tokens;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\r\n<!-- c --><a v='1&amp;2'><b/>x</a>", "<a[1&2]<b>b'x'>a."},
        {"\xEF\xBB\xBF<a>&lt;&gt;&amp;&quot;&apos;&#20013;&#x4E2D;</a>",
         "<a'<>&\"'\xE4\xB8\xAD\xE4\xB8\xAD'>a."},
        {"<a><![CDATA[<b>&amp;]]></a>", "<a'<b>&amp;'>a."},
        {"<a>1\r\n2\r3</a>", "<a'1\n2\n3'>a."},
        {"<x:a xmlns:x='u'><x:b v=\"2\"/></x:a>", "<a<b[2]>b>a."},
        {"<!DOCTYPE a [<!ENTITY e 'boom'>]><a>&e;</a>", "!"},
        {"<a>&e;</a>", "<a!"},
        {"<a>&#0;</a>", "<a!"},
        {"<a>&#xD800;</a>", "<a!"},
        {"<a>&#x110000;</a>", "<a!"},
        {"<a>&amp</a>", "<a!"},
        {"<a", "!"},
        {"<a v='1>", "!"},
        {"<a>text", "<a'text'!"},
        {"<a></b>", "<a!"},
        {"<a v='<'/>", "!"},
        {"</a>", "!"},
        {"<a/>junk", "<a>a!"},
        {"<a><!-- open", "<a!"},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens(c.doc), c.tokens) << c.doc;
    std::string nested;
    for (std::size_t i = 0; i <= workbook::xml::kMaxDepth; ++i) nested += "<a>";
    EXPECT_EQ(tokens(nested).back(), '!');
}

TEST(Zip, WhatWeWriteReadsBackAndBrokenArchivesAreRefused) {
    std::string big;
    for (int i = 0; i < 200000; ++i) big += std::to_string(i * 7919 % 100003) + ",";
    const std::string file = zipOf({{"a.xml", "<a/>"}, {"empty", ""}, {"big", big}});
    workbook::ZipReader zip;
    ASSERT_EQ(zip.open(file), workbook::ZipStatus::Ok);
    std::string out;
    EXPECT_EQ(zip.read("A.XML", out), workbook::ZipStatus::Ok);  // part names without case
    EXPECT_EQ(out, "<a/>");
    EXPECT_EQ(zip.read("empty", out), workbook::ZipStatus::Ok);
    EXPECT_EQ(out, "");
    EXPECT_EQ(zip.read("big", out), workbook::ZipStatus::Ok);
    EXPECT_EQ(out, big);
    EXPECT_EQ(zip.read("none", out), workbook::ZipStatus::NoEntry);

    // Patches to the directory entry of "big" (the third) or to the file.
    const std::size_t entry = [&file] {
        std::size_t at = file.find("PK\x01\x02");
        for (int i = 0; i < 2; ++i) at = file.find("PK\x01\x02", at + 1);
        return at;
    }();
    const std::size_t end = file.rfind("PK\x05\x06");
    struct Case {
        const char* name;
        std::function<void(std::string&)> patch;
        workbook::ZipStatus open, read;
    } cases[] = {
        {"cut short", [](std::string& f) { f.resize(f.size() / 2); }, workbook::ZipStatus::NotZip,
         workbook::ZipStatus::NotZip},
        {"checksum", [&](std::string& f) { f[entry + 16] ^= 1; }, workbook::ZipStatus::Ok,
         workbook::ZipStatus::Broken},
        {"size larger than the data",
         [&](std::string& f) { put32(f, entry + 24, static_cast<std::uint32_t>(big.size() + 1)); },
         workbook::ZipStatus::Ok, workbook::ZipStatus::Broken},
        {"size smaller than the data",
         [&](std::string& f) { put32(f, entry + 24, static_cast<std::uint32_t>(big.size() - 1)); },
         workbook::ZipStatus::Ok, workbook::ZipStatus::Broken},
        {"size past the cap", [&](std::string& f) { put32(f, entry + 24, 600u << 20); },
         workbook::ZipStatus::Ok, workbook::ZipStatus::TooLarge},
        {"packed size past the file", [&](std::string& f) { put32(f, entry + 20, 0x7FFFFFFF); },
         workbook::ZipStatus::Ok, workbook::ZipStatus::Broken},
        {"local header outside", [&](std::string& f) { put32(f, entry + 42, 0xFFFFFFF0u); },
         workbook::ZipStatus::Ok, workbook::ZipStatus::Broken},
        {"encrypted", [&](std::string& f) { put16(f, entry + 8, 1); }, workbook::ZipStatus::Ok,
         workbook::ZipStatus::Unsupported},
        {"method 12", [&](std::string& f) { put16(f, entry + 10, 12); }, workbook::ZipStatus::Ok,
         workbook::ZipStatus::Unsupported},
        {"entry count", [&](std::string& f) { put16(f, end + 10, 2); }, workbook::ZipStatus::Broken,
         workbook::ZipStatus::Broken},
        {"directory past its end", [&](std::string& f) { put32(f, end + 12, 0x10000); },
         workbook::ZipStatus::Broken, workbook::ZipStatus::Broken},
        {"zip64", [&](std::string& f) { put32(f, end + 16, 0xFFFFFFFF); },
         workbook::ZipStatus::Unsupported, workbook::ZipStatus::Unsupported},
        {"name length past the directory", [&](std::string& f) { put16(f, entry + 28, 0xFFFF); },
         workbook::ZipStatus::Broken, workbook::ZipStatus::Broken},
    };
    for (const Case& c : cases) {
        std::string broken = file;
        c.patch(broken);
        workbook::ZipReader r;
        EXPECT_EQ(r.open(broken), c.open) << c.name;
        if (c.open != workbook::ZipStatus::Ok) continue;
        EXPECT_EQ(r.read("big", out), c.read) << c.name;
        EXPECT_TRUE(out.empty()) << c.name;
    }

    // 20 MB of zeros deflate about 1030:1 at level 9, a ratio no workbook part has.
    const std::string zeros = zipOf({{"zeros", std::string(20u << 20, '\0')}}, 9);
    workbook::ZipReader bomb;
    ASSERT_EQ(bomb.open(zeros), workbook::ZipStatus::Ok);
    EXPECT_EQ(bomb.read("zeros", out), workbook::ZipStatus::TooLarge);
}

TEST(XlsxRead, CellKindsAsTheXlsImportShowsThem) {
    const std::string shared =
        "<si><t>1.1.1.1</t></si>"
        "<si><r><rPr><b/></rPr><t>" +
        u8s(u8"北京") + "</t></r><r><t xml:space=\"preserve\">" + u8s(u8" 电信") +
        "</t></r><rPh sb=\"0\" eb=\"1\"><t>" + u8s(u8"ペキン") +
        "</t></rPh></si>"
        "<si><t>a_x000D_b_x005F_x0041_</t></si>"
        "<si><t/></si>";
    const std::string data =
        "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
        "<row r=\"3\"><c r=\"C3\"><v>123</v></c><c r=\"D3\"><v>1.5</v></c><c r=\"E3\"><v>1E-3</v>"
        "</c><c r=\"F3\" s=\"1\"><v>3.0</v></c><c r=\"G3\"><v>-0.25</v></c></row>"
        "<row r=\"4\"><c r=\"A4\" t=\"b\"><v>1</v></c><c r=\"B4\" t=\"b\"><v>0</v></c>"
        "<c r=\"C4\" t=\"e\"><v>#N/A</v></c><c r=\"D4\" t=\"str\"><f>A1</f><v>f&amp;x</v></c>"
        "<c r=\"E4\" t=\"s\"><v>3</v></c><c r=\"F4\" s=\"2\"/><c r=\"G4\" "
        "t=\"s\"><v>2</v></c></row>"
        "<row r=\"5\"><c r=\"C5\" t=\"inlineStr\"><is><t>" +
        u8s(u8"上海") +
        "</t></is></c>"
        "<c t=\"inlineStr\"><is><r><t>x</t></r><r><t>y</t></r></is></c></row>"
        "<row><c><v>7</v></c></row>"
        "<row r=\"1048576\"><c r=\"XFD1048576\" t=\"inlineStr\"><is><t>last</t></is></c></row>";
    EXPECT_EQ(read(book(data, shared)), Cells({{0, 0, "1.1.1.1"},
                                               {0, 1, "北京 电信"},
                                               {2, 2, "123"},
                                               {2, 3, "1.5"},
                                               {2, 4, "0.001"},
                                               {2, 5, "3"},
                                               {2, 6, "-0.25"},
                                               {3, 0, "TRUE"},
                                               {3, 1, "FALSE"},
                                               {3, 3, "f&x"},
                                               {3, 6, "a\rb_x0041_"},
                                               {4, 2, "上海"},
                                               {4, 3, "xy"},
                                               {5, 0, "7"},
                                               {1048575, 16383, "last"}}));

    // Prefixed elements, as some writers make them; a place given twice keeps the last.
    EXPECT_EQ(read(book("<x:row xmlns:x=\"m\" r=\"2\"><x:c r=\"B2\" t=\"inlineStr\"><x:is><x:t>"
                        "p</x:t></x:is></x:c><x:c r=\"B2\"><x:v>9</x:v></x:c></x:row>"
                        "<row r=\"1\"><c r=\"C1\"><v>1</v></c></row>")),
              Cells({{0, 2, "1"}, {1, 1, "9"}}));

    // Only two columns from the leftmost that holds anything, even when it comes late.
    EXPECT_EQ(read(book("<row r=\"1\"><c r=\"C1\"><v>1</v></c><c r=\"D1\"><v>2</v></c>"
                        "<c r=\"E1\"><v>3</v></c></row><row r=\"2\"><c r=\"B2\"><v>4</v></c>"
                        "</row>"),
                   workbook::XlsxStatus::Ok, 2),
              Cells({{0, 2, "1"}, {1, 1, "4"}}));
}

TEST(XlsxRead, TheFirstSheetIsFoundThroughTheRelationships) {
    const auto withWorkbook = [](const std::string& sheets, const std::string& rels,
                                 Parts extra = {}) {
        Parts parts = {
            {"_rels/.rels", relationships({{"rId1", "officeDocument", "/book/main.xml"}})},
            {"book/main.xml", workbookXml(sheets)},
            {"book/_rels/main.xml.rels", rels},
            {"book/s/one.xml", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>")},
            {"book/s/two.xml", sheet("<row r=\"1\"><c r=\"A1\"><v>2</v></c></row>")}};
        parts.insert(parts.end(), extra.begin(), extra.end());
        return zipOf(parts);
    };
    const std::string rels = relationships({{"rId7", "worksheet", "s/one.xml"},
                                            {"rId8", "worksheet", "../book/s/two.xml"},
                                            {"rId9", "chartsheet", "s/two.xml"}});
    struct Case {
        const char* name;
        std::string file;
        std::string first;
    } cases[] = {
        {"tab order, not part names",
         withWorkbook("<sheet name=\"B\" r:id=\"rId8\"/><sheet name=\"A\" r:id=\"rId7\"/>", rels),
         "2"},
        {"a hidden first sheet is passed over",
         withWorkbook("<sheet name=\"B\" state=\"hidden\" r:id=\"rId8\"/>"
                      "<sheet name=\"A\" r:id=\"rId7\"/>",
                      rels),
         "1"},
        {"a chart sheet is no worksheet",
         withWorkbook("<sheet name=\"C\" r:id=\"rId9\"/><sheet name=\"A\" r:id=\"rId7\"/>", rels),
         "1"},
        {"no relationships: the first sheet part by name",
         withWorkbook(
             "<sheet name=\"B\" r:id=\"rId8\"/>", relationships({}),
             {{"book/worksheets/b.xml", sheet("<row r=\"1\"><c r=\"A1\"><v>3</v></c></row>")},
              {"book/worksheets/a.xml", sheet("<row r=\"1\"><c r=\"A1\"><v>4</v></c></row>")}}),
         "4"},
    };
    for (const Case& c : cases) {
        const Cells cells = read(c.file);
        ASSERT_EQ(cells.size(), 1u) << c.name;
        EXPECT_EQ(std::get<2>(cells[0]), c.first) << c.name;
    }
}

TEST(XlsxRead, BrokenWorkbooksAreRefusedWithTheirReason) {
    const std::string one = "<si><t>x</t></si>";
    struct Case {
        const char* name;
        std::string file;
        workbook::XlsxStatus status;
    } cases[] = {
        {"not a zip", "1.1.1.1\r\n", workbook::XlsxStatus::NotZip},
        {"a zip without a workbook", zipOf({{"word/document.xml", "<w/>"}}),
         workbook::XlsxStatus::NoWorkbook},
        {"a workbook without sheets",
         zipOf({{"xl/workbook.xml", workbookXml("")}, {"xl/styles.xml", "<s/>"}}),
         workbook::XlsxStatus::NoSheet},
        {"shared string past the table",
         book("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>", one),
         workbook::XlsxStatus::BadSharedString},
        {"shared string index not a number",
         book("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>-1</v></c></row>", one),
         workbook::XlsxStatus::BadSharedString},
        {"shared string without a table", book("<row><c t=\"s\"><v>0</v></c></row>"),
         workbook::XlsxStatus::BadSharedString},
        {"row 0", book("<row r=\"1\"><c r=\"A0\"><v>1</v></c></row>"),
         workbook::XlsxStatus::BadCell},
        {"column past XFD", book("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>"),
         workbook::XlsxStatus::BadCell},
        {"row past the sheet", book("<row r=\"1048577\"><c><v>1</v></c></row>"),
         workbook::XlsxStatus::BadCell},
        {"a row after the last", book("<row r=\"1048576\"/><row/>"), workbook::XlsxStatus::BadCell},
        {"a cell reference of letters only", book("<row><c r=\"AB\"><v>1</v></c></row>"),
         workbook::XlsxStatus::BadCell},
        {"an unterminated tag", book("<row><c r=\"A1\"><v>1</v></row>"),
         workbook::XlsxStatus::BrokenXml},
        {"an entity of its own",
         zipOf({{"xl/workbook.xml", workbookXml("")},
                {"xl/worksheets/sheet1.xml",
                 "<!DOCTYPE w [<!ENTITY a \"aaaa\">]><worksheet><sheetData><row><c t=\"str\">"
                 "<v>&a;</v></c></row></sheetData></worksheet>"}}),
         workbook::XlsxStatus::BrokenXml},
    };
    for (const Case& c : cases) EXPECT_TRUE(read(c.file, c.status).empty()) << c.name;
}

TEST(XlsxWrite, TextsComeBackExactlyAndTheSheetHasItsLimits) {
    const std::vector<std::string> texts = {
        "1.10.100.200",
        "中国 北京 电信",
        "<a & \"b\" 'c'>",
        "  spaces kept  ",
        "line\r\nbreaks\rand\ntabs\t",
        "control \x01\x1F chars",
        "_x0041_ stays as typed",
        "_x000D\x1F, before an escaped character too",
        "é ü ◆ ∑ 〓",
        "123",
    };
    std::vector<workbook::TextCell> cells;
    for (std::uint32_t i = 0; i < texts.size(); ++i) cells.push_back({i, 0, texts[i]});
    cells.push_back({1048575, 16383, "XFD1048576"});
    cells.push_back({1048576, 0, "past the last row"});
    cells.push_back({0, 16384, "past XFD"});
    cells.push_back({3, 1, "replaced"});
    cells.push_back({3, 1, "kept"});
    cells.push_back({4, 1, "a byte that is no UTF-8 \x81"});
    const std::string longText = std::string(40000, 'a');
    cells.push_back({5, 1, longText});
    Cells expected;
    for (std::uint32_t i = 0; i < texts.size(); ++i) {
        expected.emplace_back(i, 0, texts[i]);
        if (i == 3) expected.emplace_back(3, 1, "kept");
        if (i == 4) expected.emplace_back(4, 1, "a byte that is no UTF-8 \uFFFD");
        if (i == 5) expected.emplace_back(5, 1, std::string(workbook::kCellCharacters, 'a'));
    }
    expected.emplace_back(1048575, 16383, "XFD1048576");
    EXPECT_EQ(read(workbook::writeXlsx("Sheet1", cells)), expected);
    EXPECT_TRUE(read(workbook::writeXlsx("Sheet1", {})).empty());
}
