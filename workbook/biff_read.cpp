// Reading BIFF8. Every record, string and index is checked against the bytes there are;
// counts in the file are never trusted for allocation.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "text/bytes.h"
#include "text/codepage.h"
#include "workbook/biff.h"
#include "workbook/biff_records.h"
#include "workbook/compound.h"

namespace workbook {
namespace {

using namespace biff;  // the record numbers

double f64(std::string_view d, std::size_t at) {
    const std::uint64_t bits = le::u64(d, at);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

struct Record {
    std::uint16_t type;
    std::string_view data;
};

// Walks the records of a stream from an offset; a record running past the end stops it.
class Records {
  public:
    Records(std::string_view stream, std::size_t at) : stream_(stream), at_(at) {}
    bool next(Record& r) {
        if (at_ + 4 > stream_.size()) return false;
        const std::uint16_t length = le::u16(stream_, at_ + 2);
        if (at_ + 4 + length > stream_.size()) {
            truncated_ = true;
            return false;
        }
        r.type = le::u16(stream_, at_);
        r.data = stream_.substr(at_ + 4, length);
        at_ += 4 + length;
        return true;
    }
    // The type of the next record without taking it (0 when none).
    std::uint16_t peek() const { return at_ + 4 <= stream_.size() ? le::u16(stream_, at_) : 0; }
    bool truncated() const { return truncated_; }

  private:
    std::string_view stream_;
    std::size_t at_;
    bool truncated_ = false;
};

// A string's bytes spread over a record and its CONTINUE records. Character data that
// crosses into the next piece starts there with a fresh option byte.
class Pieces {
  public:
    explicit Pieces(std::vector<std::string_view> pieces) : pieces_(std::move(pieces)) {}

    bool atEnd() {
        while (piece_ < pieces_.size() && pos_ >= pieces_[piece_].size()) {
            ++piece_;
            pos_ = 0;
        }
        return piece_ >= pieces_.size();
    }
    bool byte(std::uint8_t& b) {
        if (atEnd()) return false;
        b = static_cast<std::uint8_t>(pieces_[piece_][pos_++]);
        return true;
    }
    bool word(std::uint16_t& w) {
        std::uint8_t lo, hi;
        if (!byte(lo) || !byte(hi)) return false;
        w = static_cast<std::uint16_t>(lo | hi << 8);
        return true;
    }
    bool dword(std::uint32_t& d) {
        std::uint16_t lo, hi;
        if (!word(lo) || !word(hi)) return false;
        d = lo | static_cast<std::uint32_t>(hi) << 16;
        return true;
    }
    bool skip(std::uint64_t n) {
        while (n > 0) {
            if (atEnd()) return false;
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, pieces_[piece_].size() - pos_));
            pos_ += take;
            n -= take;
        }
        return true;
    }
    bool characters(std::uint32_t count, bool wide, std::u16string& out) {
        out.reserve(std::min<std::size_t>(count, remainingHere()));
        while (count > 0) {
            if (pos_ >= pieces_[piece_].size()) {
                if (piece_ + 1 >= pieces_.size()) return false;
                ++piece_;
                pos_ = 0;
                std::uint8_t flags;
                if (!byte(flags)) return false;
                wide = flags & 1;
            }
            std::string_view here = pieces_[piece_].substr(pos_);
            const std::size_t unit = wide ? 2 : 1;
            const std::size_t fit = std::min<std::size_t>(count, here.size() / unit);
            if (fit == 0) return false;  // half a UTF-16 unit before the break
            for (std::size_t i = 0; i < fit; ++i)
                out += wide ? static_cast<char16_t>(le::u16(here, 2 * i))
                            : static_cast<char16_t>(static_cast<unsigned char>(here[i]));
            pos_ += fit * unit;
            count -= static_cast<std::uint32_t>(fit);
        }
        return true;
    }

  private:
    std::size_t remainingHere() const {
        return piece_ < pieces_.size() ? pieces_[piece_].size() - pos_ : 0;
    }
    std::vector<std::string_view> pieces_;
    std::size_t piece_ = 0;
    std::size_t pos_ = 0;
};

// A BIFF8 unicode string: count (2 bytes, or 1), options, optional run and extended
// sizes, characters, runs, extended data.
bool readString(Pieces& p, bool shortCount, std::u16string& out) {
    out.clear();
    std::uint16_t count;
    if (shortCount) {
        std::uint8_t c;
        if (!p.byte(c)) return false;
        count = c;
    } else if (!p.word(count)) {
        return false;
    }
    std::uint8_t flags;
    if (!p.byte(flags)) return false;
    std::uint16_t runs = 0;
    std::uint32_t extended = 0;
    if ((flags & 0x08) && !p.word(runs)) return false;
    if ((flags & 0x04) && !p.dword(extended)) return false;
    if (!p.characters(count, flags & 1, out)) return false;
    return p.skip(4ull * runs) && p.skip(extended);
}

bool readString(std::string_view data, bool shortCount, std::u16string& out) {
    Pieces p({data});
    return readString(p, shortCount, out);
}

std::string toUtf8(const std::u16string& text) {
    if (text.empty()) return {};
    bool ascii = true;
    for (char16_t c : text)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) return std::string(text.begin(), text.end());
    return codepage::utf16ToUtf8(text);
}

double rkValue(std::uint32_t rk) {
    double v;
    if (rk & 2) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 1) ? v / 100 : v;
}

}  // namespace

std::string numberText(double value) {
    if (!std::isfinite(value)) return {};
    if (value == 0) return "0";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

WorkbookStatus parseWorkbook(std::string_view file, ParsedWorkbook& book) {
    book = ParsedWorkbook{};
    CompoundStatus cs = readCompoundStream(file, "Workbook", book.stream);
    if (cs == CompoundStatus::NoStream) {
        std::string old;
        if (readCompoundStream(file, "Book", old) == CompoundStatus::Ok)
            return WorkbookStatus::OldFormat;
        // A password-protected .xlsx is a compound file holding the encrypted package.
        if (readCompoundStream(file, "EncryptedPackage", old) == CompoundStatus::Ok)
            return WorkbookStatus::Encrypted;
        return WorkbookStatus::NotWorkbook;
    }
    if (cs == CompoundStatus::NotCompound) return WorkbookStatus::NotWorkbook;
    if (cs != CompoundStatus::Ok) return WorkbookStatus::Malformed;

    std::string_view stream(book.stream);
    Records records(stream, 0);
    Record r;
    if (!records.next(r) || r.type != kBof || r.data.size() < 4) return WorkbookStatus::Malformed;
    if (le::u16(r.data, 0) != kBiff8) return WorkbookStatus::OldFormat;
    if (le::u16(r.data, 2) != kGlobals) return WorkbookStatus::Malformed;

    bool sawEof = false;
    while (records.next(r)) {
        if (r.type == kEof) {
            sawEof = true;
            break;
        }
        switch (r.type) {
            case kFilePass:
                return WorkbookStatus::Encrypted;
            case kBoundSheet: {
                if (r.data.size() < 8) return WorkbookStatus::Malformed;
                std::u16string name;
                if (!readString(r.data.substr(6), true, name)) return WorkbookStatus::Malformed;
                book.sheets.push_back(
                    {toUtf8(name), le::u32(r.data, 0), static_cast<std::uint8_t>(r.data[5])});
                break;
            }
            case kSst: {
                if (r.data.size() < 8) return WorkbookStatus::Malformed;
                const std::uint32_t unique = le::u32(r.data, 4);
                std::vector<std::string_view> pieces{r.data.substr(8)};
                while (records.peek() == kContinue && records.next(r)) pieces.push_back(r.data);
                Pieces p(std::move(pieces));
                std::u16string text;
                // The count may lie: strings are taken only while there are bytes for them.
                for (std::uint32_t i = 0; i < unique; ++i) {
                    if (!readString(p, false, text)) return WorkbookStatus::Malformed;
                    book.sharedStrings.push_back(toUtf8(text));
                }
                break;
            }
            default:
                break;
        }
    }
    if (!sawEof && records.truncated()) return WorkbookStatus::Malformed;
    return WorkbookStatus::Ok;
}

namespace {

class SheetReader {
  public:
    SheetReader(const ParsedWorkbook& book, std::vector<SheetCell>& cells)
        : book_(book), cells_(cells) {}

    WorkbookStatus read(std::uint32_t offset) {
        std::string_view stream(book_.stream);
        if (offset >= stream.size()) return WorkbookStatus::Malformed;
        Records records(stream, offset);
        Record r;
        if (!records.next(r) || r.type != kBof || r.data.size() < 4)
            return WorkbookStatus::Malformed;
        if (le::u16(r.data, 0) != kBiff8 || le::u16(r.data, 2) != kWorksheet)
            return WorkbookStatus::Malformed;
        int depth = 0;  // charts embedded in a sheet come as BOF ... EOF blocks of their own
        while (records.next(r)) {
            if (r.type == kBof) {
                ++depth;
                continue;
            }
            if (r.type == kEof) {
                if (depth == 0) return WorkbookStatus::Ok;
                --depth;
                continue;
            }
            if (depth > 0) continue;
            if (!cell(r, records)) return WorkbookStatus::Malformed;
        }
        // A sheet without its EOF is taken as far as it goes, unless a record was cut.
        return records.truncated() ? WorkbookStatus::Malformed : WorkbookStatus::Ok;
    }

  private:
    void add(std::string_view d, std::string text) {
        add(le::u16(d, 0), le::u16(d, 2), std::move(text));
    }
    // A BIFF8 sheet has 256 columns; cells beyond them are no part of it.
    void add(std::uint16_t row, std::uint32_t column, std::string text) {
        if (text.empty() || column >= kSheetColumns) return;
        cells_.push_back({row, static_cast<std::uint16_t>(column), std::move(text)});
    }

    bool cell(const Record& r, Records& records) {
        const std::string_view d = r.data;
        switch (r.type) {
            case kLabelSst: {
                if (d.size() < 10) return false;
                const std::uint32_t index = le::u32(d, 6);
                if (index >= book_.sharedStrings.size()) return false;
                add(d, book_.sharedStrings[index]);
                return true;
            }
            case kLabel:
            case kRString: {
                if (d.size() < 9) return false;
                std::u16string text;
                if (!readString(d.substr(6), false, text)) return false;
                add(d, toUtf8(text));
                return true;
            }
            case kNumber:
                if (d.size() < 14) return false;
                add(d, numberText(f64(d, 6)));
                return true;
            case kRk:
                if (d.size() < 10) return false;
                add(d, numberText(rkValue(le::u32(d, 6))));
                return true;
            case kMulRk: {
                if (d.size() < 6 || (d.size() - 6) % 6 != 0) return false;
                const std::size_t n = (d.size() - 6) / 6;
                const std::uint16_t first = le::u16(d, 2);
                if (le::u16(d, d.size() - 2) != first + n - 1) return false;
                for (std::size_t i = 0; i < n; ++i)
                    add(le::u16(d, 0), static_cast<std::uint32_t>(first + i),
                        numberText(rkValue(le::u32(d, 4 + 6 * i + 2))));
                return true;
            }
            case kBoolErr:
                if (d.size() < 8) return false;
                if (d[7] == 0) add(d, d[6] ? "TRUE" : "FALSE");
                return true;
            case kFormula:
                return formula(d, records);
            default:
                return true;
        }
    }

    bool formula(std::string_view d, Records& records) {
        if (d.size() < 20) return false;
        if (le::u16(d, 12) != 0xFFFF) {
            add(d, numberText(f64(d, 6)));
            return true;
        }
        switch (static_cast<unsigned char>(d[6])) {
            case 0: {  // a text: in the STRING record that follows
                Record r;
                while (true) {
                    const std::uint16_t next = records.peek();
                    if (next != kShrFmla && next != kArray && next != kTable) break;
                    records.next(r);
                }
                if (records.peek() != kString) return true;
                records.next(r);
                std::vector<std::string_view> pieces{r.data};
                while (records.peek() == kContinue && records.next(r)) pieces.push_back(r.data);
                Pieces p(std::move(pieces));
                std::u16string text;
                if (!readString(p, false, text)) return false;
                add(d, toUtf8(text));
                return true;
            }
            case 1:
                add(d, d[8] ? "TRUE" : "FALSE");
                return true;
            default:  // an error value or an empty text
                return true;
        }
    }

    const ParsedWorkbook& book_;
    std::vector<SheetCell>& cells_;
};

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        // Bytes of UTF-8 characters are never ASCII letters, so they compare as they are.
        if (x != y) return false;
    }
    return true;
}

}  // namespace

WorkbookStatus readSheet(const ParsedWorkbook& book, std::string_view name,
                         std::vector<SheetCell>& cells) {
    cells.clear();
    for (const ParsedWorkbook::SheetEntry& sheet : book.sheets) {
        if (sheet.type != 0 || !sameNameIgnoringCase(sheet.name, name)) continue;
        SheetReader reader(book, cells);
        const WorkbookStatus status = reader.read(sheet.offset);
        if (status != WorkbookStatus::Ok) {
            cells.clear();
            return status;
        }
        orderCells(cells);
        return WorkbookStatus::Ok;
    }
    return WorkbookStatus::NoSheet;
}

// Stable, so a cell written twice keeps its last value at the end of its run. Writers
// store cells in order, so the sort is mostly not needed.
void orderCells(std::vector<SheetCell>& cells) {
    const auto before = [](const SheetCell& a, const SheetCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(cells.begin(), cells.end(), before))
        std::stable_sort(cells.begin(), cells.end(), before);
    auto last =
        std::unique(cells.rbegin(), cells.rend(), [](const SheetCell& a, const SheetCell& b) {
            return a.row == b.row && a.column == b.column;
        });
    cells.erase(cells.begin(), last.base());
}

}  // namespace workbook
