// Writing .xlsx: the fewest parts a workbook needs (content types, the package and
// workbook relationships, the workbook, a style sheet with the text format, one sheet).
// The sheet is made and deflated a batch of cells at a time.
#include <algorithm>

#include "text/codepage.h"
#include "workbook/xlsx.h"
#include "workbook/zip.h"

namespace workbook {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr char kMain[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kRelationships[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

const std::string kContentTypes =
    std::string(kDeclaration) +
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";

const std::string kPackageRelationships =
    std::string(kDeclaration) +
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"" +
    kRelationships +
    "/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";

const std::string kWorkbookRelationships =
    std::string(kDeclaration) +
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"" +
    kRelationships +
    "/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"" +
    kRelationships +
    "/styles\" Target=\"styles.xml\"/>"
    "</Relationships>";

// Style 1 is the text format "@" (built-in number format 49).
const std::string kStyles =
    std::string(kDeclaration) + "<styleSheet xmlns=\"" + kMain + "\">" +
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
    "</fonts><fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
    "</cellStyleXfs><cellXfs count=\"2\">"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "</styleSheet>";

void appendColumn(std::string& out, std::uint32_t column) {
    char letters[4];
    int n = 0;
    for (std::uint32_t c = column + 1; c > 0; c = (c - 1) / 26)
        letters[n++] = static_cast<char>('A' + (c - 1) % 26);
    while (n > 0) out += letters[--n];
}

void appendNumber(std::string& out, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0) out += digits[--n];
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Control characters other than tab and line ends are written as _xHHHH_.
bool escapedControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// A "_" that would begin "_xHHHH_" in the sheet, and so be read as an escaped character:
// "_x" and four hex digits, then a "_" or a control character (whose escape starts so).
bool escapeLike(std::string_view text, std::size_t at) {
    return at + 7 <= text.size() && text[at] == '_' && text[at + 1] == 'x' && isHex(text[at + 2]) &&
           isHex(text[at + 3]) && isHex(text[at + 4]) && isHex(text[at + 5]) &&
           (text[at + 6] == '_' || escapedControl(text[at + 6]));
}

// Whether a text goes into the sheet as it is: plain ASCII that XML takes unescaped.
bool plain(std::string_view text) {
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x80 || c == '<' || c == '>' || c == '&' || c == '_') return false;
    }
    return true;
}

// The UTF-8 text made fit for XML: markup escaped, characters XML cannot hold as _xHHHH_,
// and bytes that are no UTF-8 character as U+FFFD.
void escapeText(std::string_view text, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const codepage::Utf8Char u = codepage::decodeUtf8(text, i);
            if (u.valid)
                out.append(text, i, u.length);
            else
                out += "\xEF\xBF\xBD";
            i += u.length - 1;
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '\r') {
            out += "&#13;";  // a CR as it is would be read as a LF
        } else if (escapedControl(static_cast<char>(c))) {
            out += "_x00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            out += '_';
        } else if (c == '_' && escapeLike(text, i)) {
            out += "_x005F_";
        } else {
            out += static_cast<char>(c);
        }
    }
}

// The text cut to kCellCharacters UTF-16 units, as Excel counts a cell's characters; a
// character beyond the BMP is two of them and is never split.
std::string_view cut(std::string_view text) {
    if (text.size() <= kCellCharacters) return text;
    std::size_t at = 0, units = 0;
    while (at < text.size()) {
        const codepage::Utf8Char c = codepage::decodeUtf8(text, at);
        units += c.code > 0xFFFF ? 2 : 1;
        if (units > kCellCharacters) break;
        at += c.length;
    }
    return text.substr(0, at);
}

bool needsPreserve(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (space(text.front()) || space(text.back()));
}

class SheetWriter {
  public:
    explicit SheetWriter(ZipWriter& zip) : zip_(zip) {}

    // Cells sorted by row and column, each place once.
    void write(const std::vector<TextCell>& cells) {
        std::string head = std::string(kDeclaration) + "<worksheet xmlns=\"" + kMain + "\">";
        if (!cells.empty()) {
            std::uint32_t firstColumn = kXlsxColumns, lastColumn = 0;
            for (const TextCell& c : cells) {
                firstColumn = std::min<std::uint32_t>(firstColumn, c.column);
                lastColumn = std::max<std::uint32_t>(lastColumn, c.column);
            }
            head += "<dimension ref=\"";
            appendColumn(head, firstColumn);
            appendNumber(head, cells.front().row + 1);
            head += ':';
            appendColumn(head, lastColumn);
            appendNumber(head, cells.back().row + 1);
            head += "\"/>";
        }
        head += "<sheetData>";
        zip_.append(head);
        constexpr std::size_t kBatch = 8192;
        for (std::size_t from = 0; from < cells.size(); from += kBatch) {
            const std::size_t to = std::min(cells.size(), from + kBatch);
            convert(cells, from, to);
            emit(cells, from, to);
        }
        zip_.append(cells.empty() ? "</sheetData></worksheet>" : "</row></sheetData></worksheet>");
    }

  private:
    // Every text in [from, to) that is not plain, escaped, in one buffer.
    void convert(const std::vector<TextCell>& cells, std::size_t from, std::size_t to) {
        utf8_.clear();
        converted_.assign(to - from, std::string_view());
        for (std::size_t i = from; i < to; ++i) {
            if (plain(cells[i].text)) continue;
            escapeText(cells[i].text, utf8_);
            utf8_ += '\0';
        }
        std::size_t at = 0;
        for (std::size_t i = from; i < to; ++i) {
            if (plain(cells[i].text)) continue;
            const std::size_t nul = std::min(utf8_.find('\0', at), utf8_.size());
            converted_[i - from] = std::string_view(utf8_).substr(at, nul - at);
            at = std::min(nul + 1, utf8_.size());
        }
    }

    void emit(const std::vector<TextCell>& cells, std::size_t from, std::size_t to) {
        out_.clear();
        for (std::size_t i = from; i < to; ++i) {
            const TextCell& c = cells[i];
            if (i == 0 || c.row != cells[i - 1].row) {
                if (i > 0) out_ += "</row>";
                out_ += "<row r=\"";
                appendNumber(out_, c.row + 1);
                out_ += "\">";
            }
            const std::string_view text = plain(c.text) ? c.text : converted_[i - from];
            out_ += "<c r=\"";
            appendColumn(out_, c.column);
            appendNumber(out_, c.row + 1);
            out_ += needsPreserve(text)
                        ? "\" s=\"1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                        : "\" s=\"1\" t=\"inlineStr\"><is><t>";
            out_ += text;
            out_ += "</t></is></c>";
        }
        zip_.append(out_);
    }

    ZipWriter& zip_;
    std::string out_, utf8_;
    std::vector<std::string_view> converted_;
};

}  // namespace

std::string writeXlsx(std::string_view sheetName, std::vector<TextCell> cells) {
    std::erase_if(cells,
                  [](const TextCell& c) { return c.row >= kXlsxRows || c.column >= kXlsxColumns; });
    for (TextCell& c : cells) c.text = cut(c.text);
    const auto before = [](const TextCell& a, const TextCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(cells.begin(), cells.end(), before))
        std::stable_sort(cells.begin(), cells.end(), before);
    auto last = std::unique(cells.rbegin(), cells.rend(), [](const TextCell& a, const TextCell& b) {
        return a.row == b.row && a.column == b.column;
    });
    cells.erase(cells.begin(), last.base());

    std::string name;
    escapeText(sheetName, name);
    std::string workbook = std::string(kDeclaration) + "<workbook xmlns=\"" + kMain +
                           "\" xmlns:r=\"" + kRelationships + "\"><sheets><sheet name=\"" + name +
                           "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";

    ZipWriter zip;
    zip.add("[Content_Types].xml", kContentTypes);
    zip.add("_rels/.rels", kPackageRelationships);
    zip.add("xl/workbook.xml", workbook);
    zip.add("xl/_rels/workbook.xml.rels", kWorkbookRelationships);
    zip.add("xl/styles.xml", kStyles);
    zip.begin("xl/worksheets/sheet1.xml");
    SheetWriter(zip).write(cells);
    zip.end();
    return zip.finish();
}

}  // namespace workbook
