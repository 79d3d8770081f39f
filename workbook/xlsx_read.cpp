// Reading .xlsx: the package's relationships lead from the root to the workbook and from
// the workbook to its first worksheet and its shared strings; each part is inflated with
// the checks of the zip reader and read with the bounded XML reader.
#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "text/codepage.h"
#include "workbook/xlsx.h"
#include "workbook/xml.h"
#include "workbook/zip.h"

namespace workbook {
namespace {

XlsxStatus fromZip(ZipStatus status) {
    switch (status) {
        case ZipStatus::Ok:
            return XlsxStatus::Ok;
        case ZipStatus::NotZip:
            return XlsxStatus::NotZip;
        case ZipStatus::Unsupported:
            return XlsxStatus::UnsupportedZip;
        case ZipStatus::TooLarge:
            return XlsxStatus::TooLarge;
        case ZipStatus::NoEntry:
            return XlsxStatus::NoWorkbook;
        default:
            return XlsxStatus::BrokenZip;
    }
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The part a relationship of `source` points at: targets are relative to the source's
// folder unless they start with "/"; "." and ".." steps are resolved.
std::string resolve(std::string_view source, std::string_view target) {
    std::vector<std::string_view> parts;
    auto add = [&parts](std::string_view path) {
        std::size_t at = 0;
        while (at <= path.size()) {
            std::size_t slash = path.find('/', at);
            if (slash == std::string_view::npos) slash = path.size();
            const std::string_view step = path.substr(at, slash - at);
            if (step == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!step.empty() && step != ".") {
                parts.push_back(step);
            }
            at = slash + 1;
        }
    };
    if (target.empty() || target[0] != '/') {
        const std::size_t slash = source.rfind('/');
        if (slash != std::string_view::npos) add(source.substr(0, slash));
    }
    add(target);
    std::string path;
    for (std::string_view step : parts) {
        if (!path.empty()) path += '/';
        path += step;
    }
    return path;
}

// "xl/workbook.xml" has its relationships in "xl/_rels/workbook.xml.rels"; the package
// (source "") in "_rels/.rels".
std::string relationshipsOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    const std::size_t nameAt = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(part.substr(0, nameAt)) + "_rels/" + std::string(part.substr(nameAt)) +
           ".rels";
}

struct Relationship {
    std::string id, type, target;
};

// The relationships of `part`; none when it has no relationships part.
XlsxStatus readRelationships(const ZipReader& zip, std::string_view part,
                             std::vector<Relationship>& out) {
    out.clear();
    std::string xmlText;
    const ZipStatus status = zip.read(relationshipsOf(part), xmlText);
    if (status == ZipStatus::NoEntry) return XlsxStatus::Ok;
    if (status != ZipStatus::Ok) return fromZip(status);
    xml::Reader reader(xmlText);
    for (xml::Token t; (t = reader.next()) != xml::Token::Done;) {
        if (t == xml::Token::Error) return XlsxStatus::BrokenXml;
        if (t != xml::Token::Start || reader.name() != "Relationship") continue;
        Relationship r;
        reader.attribute("Id", r.id);
        reader.attribute("Type", r.type);
        std::string target;
        reader.attribute("Target", target);
        std::string mode;
        if (reader.attribute("TargetMode", mode) && mode == "External") continue;
        r.target = resolve(part, target);
        out.push_back(std::move(r));
    }
    return XlsxStatus::Ok;
}

const Relationship* byType(const std::vector<Relationship>& rels, std::string_view type) {
    for (const Relationship& r : rels)
        if (endsWith(r.type, type)) return &r;
    return nullptr;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The workbook's own escape for characters XML cannot carry: "_x000D_" is a CR.
void unescapeUnits(std::string& text) {
    if (text.find("_x") == std::string::npos) return;
    std::u16string units;
    std::string out;
    auto unitAt = [&text](std::size_t at) -> int {
        if (at + 7 > text.size() || text[at] != '_' || text[at + 1] != 'x' || text[at + 6] != '_')
            return -1;
        int value = 0;
        for (std::size_t k = at + 2; k < at + 6; ++k) {
            const int d = hexDigit(text[k]);
            if (d < 0) return -1;
            value = value * 16 + d;
        }
        return value;
    };
    for (std::size_t i = 0; i < text.size();) {
        const int unit = unitAt(i);
        if (unit < 0) {
            out += text[i++];
            continue;
        }
        units.assign(1, static_cast<char16_t>(unit));
        i += 7;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            const int low = unitAt(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                units += static_cast<char16_t>(low);
                i += 7;
            }
        }
        out += codepage::utf16ToUtf8(units);
    }
    text = std::move(out);
}

// The text of a rich-text holder (<si>, <is>): its <t> elements, directly or inside runs
// (<r>); phonetic guides (<rPh>) are no part of the text.
bool richText(xml::Reader& reader, std::string& out) {
    const std::size_t depth = reader.depth();
    std::size_t textDepth = 0;  // inside a <t> at this depth
    while (true) {
        switch (reader.next()) {
            case xml::Token::Start:
                if (reader.name() == "rPh" || reader.name() == "phoneticPr") {
                    if (!reader.skipElement()) return false;
                } else if (reader.name() == "t" && textDepth == 0) {
                    textDepth = reader.depth();
                }
                break;
            case xml::Token::Text:
                if (textDepth != 0 && !reader.appendText(out)) return false;
                break;
            case xml::Token::End:
                if (reader.depth() < depth) {
                    unescapeUnits(out);
                    return true;
                }
                if (reader.depth() < textDepth) textDepth = 0;
                break;
            default:
                return false;
        }
    }
}

// The text of a simple element (<v>), read up to its end.
bool plainText(xml::Reader& reader, std::string& out) {
    const std::size_t depth = reader.depth();
    while (true) {
        switch (reader.next()) {
            case xml::Token::Text:
                if (!reader.appendText(out)) return false;
                break;
            case xml::Token::Start:
                if (!reader.skipElement()) return false;
                break;
            case xml::Token::End:
                if (reader.depth() < depth) return true;
                break;
            default:
                return false;
        }
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                             text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

XlsxStatus readSharedStrings(std::string_view xmlText, std::vector<std::string>& strings) {
    xml::Reader reader(xmlText);
    for (xml::Token t; (t = reader.next()) != xml::Token::Done;) {
        if (t == xml::Token::Error) return XlsxStatus::BrokenXml;
        if (t != xml::Token::Start || reader.name() != "si") continue;
        strings.emplace_back();
        if (!richText(reader, strings.back())) return XlsxStatus::BrokenXml;
    }
    return XlsxStatus::Ok;
}

// "C5" to column 2, row 4; false when it is no cell of a sheet.
bool cellReference(std::string_view ref, std::uint32_t& row, std::uint32_t& column) {
    std::size_t i = 0;
    std::uint32_t col = 0;
    for (; i < ref.size() && i < 4; ++i) {
        char c = ref[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (c < 'A' || c > 'Z') break;
        col = col * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
    }
    if (i == 0 || col > kXlsxColumns) return false;
    std::uint32_t r = 0;
    const auto [end, error] = std::from_chars(ref.data() + i, ref.data() + ref.size(), r);
    if (error != std::errc() || end != ref.data() + ref.size() || r == 0 || r > kXlsxRows)
        return false;
    row = r - 1;
    column = col - 1;
    return true;
}

class SheetReader {
  public:
    SheetReader(const std::vector<std::string>& shared, std::vector<SheetCell>& cells,
                std::uint32_t keep)
        : shared_(shared), cells_(cells), keep_(keep) {}

    XlsxStatus read(std::string_view xmlText) {
        xml::Reader reader(xmlText);
        bool inData = false;
        for (xml::Token t; (t = reader.next()) != xml::Token::Done;) {
            if (t == xml::Token::Error) return XlsxStatus::BrokenXml;
            if (t == xml::Token::End && inData && reader.name() == "sheetData") break;
            if (t != xml::Token::Start) continue;
            if (!inData) {
                inData = reader.name() == "sheetData";
                continue;
            }
            XlsxStatus status = XlsxStatus::Ok;
            if (reader.name() == "row")
                status = row(reader);
            else if (reader.name() == "c")
                status = cell(reader);
            else if (!reader.skipElement())
                status = XlsxStatus::BrokenXml;
            if (status != XlsxStatus::Ok) return status;
        }
        prune();
        return XlsxStatus::Ok;
    }

  private:
    XlsxStatus row(xml::Reader& reader) {
        if (reader.attribute("r", scratch_)) {
            std::uint32_t r = 0;
            const std::string_view ref = trimmed(scratch_);
            const auto [end, error] = std::from_chars(ref.data(), ref.data() + ref.size(), r);
            if (error != std::errc() || end != ref.data() + ref.size() || r == 0 || r > kXlsxRows)
                return XlsxStatus::BadCell;
            row_ = r - 1;
        } else {
            if (started_ && row_ + 1 >= kXlsxRows) return XlsxStatus::BadCell;
            row_ = started_ ? row_ + 1 : 0;
        }
        started_ = true;
        nextColumn_ = 0;
        return XlsxStatus::Ok;
    }

    XlsxStatus cell(xml::Reader& reader) {
        std::uint32_t r = row_, column = nextColumn_;
        if (reader.attribute("r", scratch_)) {
            if (!cellReference(trimmed(scratch_), r, column)) return XlsxStatus::BadCell;
        } else if (column >= kXlsxColumns) {
            return XlsxStatus::BadCell;
        }
        nextColumn_ = column + 1;
        std::string type;
        reader.attribute("t", type);

        std::string value, inlineText;
        bool hasValue = false, hasInline = false;
        const std::size_t depth = reader.depth();
        while (true) {
            const xml::Token t = reader.next();
            if (t == xml::Token::End && reader.depth() < depth) break;
            if (t == xml::Token::Error || t == xml::Token::Done) return XlsxStatus::BrokenXml;
            if (t != xml::Token::Start) continue;
            bool ok;
            if (reader.name() == "v") {
                hasValue = true;
                ok = plainText(reader, value);
            } else if (reader.name() == "is") {
                hasInline = true;
                ok = richText(reader, inlineText);
            } else {
                ok = reader.skipElement();
            }
            if (!ok) return XlsxStatus::BrokenXml;
        }

        std::string text;
        if (type == "s") {
            if (!hasValue) return XlsxStatus::Ok;
            const std::string_view digits = trimmed(value);
            std::uint64_t index = 0;
            const auto [end, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), index);
            if (error != std::errc() || end != digits.data() + digits.size() ||
                index >= shared_.size())
                return XlsxStatus::BadSharedString;
            text = shared_[static_cast<std::size_t>(index)];
        } else if (type == "e") {
            return XlsxStatus::Ok;
        } else if (type == "b") {
            const std::string_view v = trimmed(value);
            if (v.empty()) return XlsxStatus::Ok;
            text = v == "0" || v == "false" ? "FALSE" : "TRUE";
        } else if (hasInline) {
            text = std::move(inlineText);
        } else if (type.empty() || type == "n") {
            const std::string_view v = trimmed(value);
            double number = 0;
            const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), number);
            text = error == std::errc() && end == v.data() + v.size() && !v.empty()
                       ? numberText(number)
                       : std::string(v);
        } else {  // str (a formula's text), d (a date as written), and kinds we do not know
            unescapeUnits(value);
            text = std::move(value);
        }
        if (text.empty()) return XlsxStatus::Ok;
        add(r, column, std::move(text));
        return XlsxStatus::Ok;
    }

    void add(std::uint32_t r, std::uint32_t column, std::string text) {
        if (keep_ > 0) {
            if (column < firstColumn_) firstColumn_ = column;
            if (column - firstColumn_ >= keep_) return;
        }
        cells_.push_back({r, static_cast<std::uint16_t>(column), std::move(text)});
        // A column further left than any before makes earlier cells fall outside; they are
        // dropped now and then, so the cells held stay within twice the kept ones.
        if (keep_ > 0 && cells_.size() >= 2 * kept_ + 4096) prune();
    }

    void prune() {
        if (keep_ > 0)
            std::erase_if(cells_,
                          [this](const SheetCell& c) { return c.column - firstColumn_ >= keep_; });
        kept_ = cells_.size();
    }

    const std::vector<std::string>& shared_;
    std::vector<SheetCell>& cells_;
    const std::uint32_t keep_;
    std::uint32_t firstColumn_ = kXlsxColumns;
    std::size_t kept_ = 0;
    std::uint32_t row_ = 0, nextColumn_ = 0;
    bool started_ = false;
    std::string scratch_;
};

// Bytes of a cell that are no UTF-8 character become U+FFFD, as a converter would make them.
void keepValidUtf8(std::vector<SheetCell>& cells) {
    for (SheetCell& cell : cells) {
        if (!codepage::isValidUtf8(cell.text)) cell.text = codepage::validUtf8(cell.text);
    }
}

// The first worksheet of the workbook in tab order, the first visible one if any is.
XlsxStatus firstSheet(const ZipReader& zip, const std::string& workbook,
                      const std::vector<Relationship>& rels, std::string& part) {
    std::string xmlText;
    const ZipStatus status = zip.read(workbook, xmlText);
    if (status != ZipStatus::Ok) return fromZip(status);
    // Looked up by id, each sheet once: a workbook of many sheets costs no more than its size.
    std::unordered_map<std::string_view, const Relationship*> worksheets;
    for (const Relationship& r : rels)
        if (endsWith(r.type, "/worksheet") && zip.find(r.target)) worksheets.try_emplace(r.id, &r);
    const Relationship* hidden = nullptr;
    xml::Reader reader(xmlText);
    std::string id, state;
    for (xml::Token t; (t = reader.next()) != xml::Token::Done;) {
        if (t == xml::Token::Error) return XlsxStatus::BrokenXml;
        if (t != xml::Token::Start || reader.name() != "sheet") continue;
        if (!reader.attribute("id", true, id)) continue;
        const auto found = worksheets.find(id);
        if (found == worksheets.end()) continue;
        if (!reader.attribute("state", state) || state == "visible") {
            part = found->second->target;
            return XlsxStatus::Ok;
        }
        if (!hidden) hidden = found->second;
    }
    if (hidden) {
        part = hidden->target;
        return XlsxStatus::Ok;
    }
    // Relationships missing or pointing nowhere: the usual name, else the first sheet part
    // in name order beside the workbook.
    const std::string usual = resolve(workbook, "worksheets/sheet1.xml");
    if (zip.find(usual)) return part = usual, XlsxStatus::Ok;
    const std::string folder = resolve(workbook, "worksheets") + "/";
    const ZipReader::Entry* best = nullptr;
    for (const ZipReader::Entry& e : zip.entries()) {
        if (e.name.size() > folder.size() && e.name.compare(0, folder.size(), folder) == 0 &&
            e.name.find('/', folder.size()) == std::string::npos && endsWith(e.name, ".xml") &&
            (!best || e.name < best->name))
            best = &e;
    }
    if (!best) return XlsxStatus::NoSheet;
    part = best->name;
    return XlsxStatus::Ok;
}

XlsxStatus readCells(std::string_view file, std::vector<SheetCell>& cells,
                     std::uint32_t keepColumns) {
    ZipReader zip;
    ZipStatus zs = zip.open(file);
    if (zs != ZipStatus::Ok) return fromZip(zs);

    std::vector<Relationship> rels;
    XlsxStatus status = readRelationships(zip, "", rels);
    if (status != XlsxStatus::Ok) return status;
    const Relationship* office = byType(rels, "/officeDocument");
    std::string workbook = office && zip.find(office->target) ? office->target : "xl/workbook.xml";
    if (!zip.find(workbook)) return XlsxStatus::NoWorkbook;

    if ((status = readRelationships(zip, workbook, rels)) != XlsxStatus::Ok) return status;
    std::string sheet;
    if ((status = firstSheet(zip, workbook, rels, sheet)) != XlsxStatus::Ok) return status;

    std::vector<std::string> shared;
    const Relationship* strings = byType(rels, "/sharedStrings");
    const std::string stringsPart =
        strings ? strings->target : resolve(workbook, "sharedStrings.xml");
    std::string xmlText;
    zs = zip.read(stringsPart, xmlText);
    if (zs == ZipStatus::Ok) {
        if ((status = readSharedStrings(xmlText, shared)) != XlsxStatus::Ok) return status;
    } else if (zs != ZipStatus::NoEntry) {
        return fromZip(zs);
    }

    if ((zs = zip.read(sheet, xmlText)) != ZipStatus::Ok) return fromZip(zs);
    SheetReader reader(shared, cells, keepColumns);
    if ((status = reader.read(xmlText)) != XlsxStatus::Ok) return status;
    xmlText = std::string();
    shared = {};

    orderCells(cells);
    keepValidUtf8(cells);
    return XlsxStatus::Ok;
}

}  // namespace

XlsxStatus readXlsx(std::string_view file, std::vector<SheetCell>& cells,
                    std::uint32_t keepColumns) {
    cells.clear();
    const XlsxStatus status = readCells(file, cells, keepColumns);
    if (status != XlsxStatus::Ok) cells.clear();
    return status;
}

}  // namespace workbook
