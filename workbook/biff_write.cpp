// Writing BIFF8: the record sequence that Excel's documents describe and that xlrd,
// LibreOffice and Gnumeric accept, with one worksheet whose texts sit in the shared
// string table.
#include <algorithm>
#include <unordered_map>

#include "text/bytes.h"
#include "text/codepage.h"
#include "workbook/biff.h"
#include "workbook/biff_records.h"
#include "workbook/compound.h"

namespace workbook {
namespace {

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kGeneralXf = 15;
constexpr std::uint16_t kTextXf = 16;

class Out {
  public:
    std::string bytes;
    void u8(unsigned v) { bytes += static_cast<char>(v & 0xFF); }
    void u16(unsigned v) { le::append16(bytes, static_cast<std::uint16_t>(v)); }
    void u32(std::uint32_t v) { le::append32(bytes, v); }
    void record(std::uint16_t type, const std::string& data) {
        u16(type);
        u16(static_cast<unsigned>(data.size()));
        bytes += data;
    }
    // A record of fixed-size fields (value, size in bytes), written in place: the cell
    // and row records are most of a file, and a string each would cost an allocation.
    void record(std::uint16_t type, std::initializer_list<std::pair<std::uint32_t, int>> fields) {
        unsigned size = 0;
        for (auto [value, width] : fields) size += static_cast<unsigned>(width);
        u16(type);
        u16(size);
        for (auto [value, width] : fields) {
            if (width == 1)
                u8(value);
            else if (width == 2)
                u16(value);
            else
                u32(value);
        }
    }
    void patch32(std::size_t at, std::uint32_t v) { le::set32(bytes, at, v); }
};

std::string data(std::initializer_list<std::pair<std::uint32_t, int>> fields) {
    Out o;
    for (auto [value, size] : fields) {
        if (size == 1)
            o.u8(value);
        else if (size == 2)
            o.u16(value);
        else
            o.u32(value);
    }
    return o.bytes;
}

// A short name (FONT, BOUNDSHEET): 1-byte count, 8-bit characters.
std::string shortName(std::string_view ascii) {
    std::string s;
    s += static_cast<char>(ascii.size());
    s += '\0';
    s += ascii;
    return s;
}

std::string bof(unsigned type) {
    return data({{biff::kBiff8, 2}, {type, 2}, {0x0DBB, 2}, {0x07CC, 2}, {0, 4}, {6, 4}});
}

std::string xf(unsigned font, unsigned format, unsigned typeProtection, unsigned used) {
    return data({{font, 2},
                 {format, 2},
                 {typeProtection, 2},
                 {0x20, 1},  // bottom aligned
                 {0, 1},
                 {0, 1},
                 {used, 1},
                 {0, 4},
                 {0, 4},
                 {0x20C0, 2}});
}

// A shared string as it is stored: 8-bit when every character is below 0x100.
struct StoredString {
    std::u16string text;
    bool wide;
};

StoredString stored(const std::string& utf8) {
    StoredString s;
    bool ascii = std::all_of(utf8.begin(), utf8.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    s.text = ascii ? std::u16string(utf8.begin(), utf8.end()) : codepage::utf8ToUtf16(utf8);
    // The character count is 16 bits: a longer text would break the records after it.
    if (s.text.size() > kCellCharacters) {
        s.text.resize(kCellCharacters);
        if (s.text.back() >= 0xD800 && s.text.back() <= 0xDBFF) s.text.pop_back();
    }
    s.wide = std::any_of(s.text.begin(), s.text.end(), [](char16_t c) { return c > 0xFF; });
    return s;
}

// The shared string table as SST plus CONTINUE records, and the EXTSST index to it.
class SstWriter {
  public:
    SstWriter(Out& out, std::uint32_t total, const std::vector<StoredString>& strings)
        : out_(out), strings_(strings) {
        perBucket_ = std::max<std::size_t>(strings.size() / 128 + 1, 8);
        current_.reserve(kMaxRecordData);
        Out head;
        head.u32(total);
        head.u32(static_cast<std::uint32_t>(strings.size()));
        current_ = head.bytes;
        for (std::size_t i = 0; i < strings.size(); ++i) put(i);
        flush();
    }

    std::string extsst() const {
        Out o;
        o.u16(static_cast<unsigned>(perBucket_));
        for (auto [position, offset] : buckets_) {
            o.u32(position);
            o.u16(offset);
            o.u16(0);
        }
        return o.bytes;
    }

  private:
    void flush() {
        out_.record(first_ ? biff::kSst : biff::kContinue, current_);
        first_ = false;
        current_.clear();
    }

    void put(std::size_t index) {
        const StoredString& s = strings_[index];
        const std::size_t unit = s.wide ? 2 : 1;
        // The count, the options and the first character stay together.
        if (current_.size() + 3 + (s.text.empty() ? 0 : unit) > kMaxRecordData) flush();
        if (index % perBucket_ == 0) {
            // Where the record being built will start: after what is written so far.
            const std::size_t recordStart = out_.bytes.size();
            buckets_.push_back({static_cast<std::uint32_t>(recordStart + 4 + current_.size()),
                                static_cast<std::uint16_t>(4 + current_.size())});
        }
        Out head;
        head.u16(static_cast<unsigned>(s.text.size()));
        head.u8(s.wide ? 1 : 0);
        current_ += head.bytes;
        std::size_t done = 0;
        while (done < s.text.size()) {
            std::size_t room = (kMaxRecordData - current_.size()) / unit;
            if (room == 0) {
                flush();
                current_ += static_cast<char>(s.wide ? 1 : 0);
                continue;
            }
            const std::size_t take = std::min(room, s.text.size() - done);
            for (std::size_t i = 0; i < take; ++i) {
                const char16_t c = s.text[done + i];
                current_ += static_cast<char>(c & 0xFF);
                if (s.wide) current_ += static_cast<char>(c >> 8);
            }
            done += take;
        }
    }

    Out& out_;
    const std::vector<StoredString>& strings_;
    std::size_t perBucket_;
    std::string current_;
    bool first_ = true;
    std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets_;
};

}  // namespace

std::string writeWorkbook(std::string_view sheetName, std::vector<CellToWrite> cells) {
    cells.erase(std::remove_if(cells.begin(), cells.end(),
                               [](const CellToWrite& c) {
                                   return c.row >= kSheetRows || c.column >= kSheetColumns;
                               }),
                cells.end());
    // A cell set twice keeps its last value. Cells mostly come in order already.
    const auto before = [](const CellToWrite& a, const CellToWrite& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(cells.begin(), cells.end(), before))
        std::stable_sort(cells.begin(), cells.end(), before);
    auto kept =
        std::unique(cells.rbegin(), cells.rend(), [](const CellToWrite& a, const CellToWrite& b) {
            return a.row == b.row && a.column == b.column;
        });
    cells.erase(cells.begin(), kept.base());

    // Shared strings, each text once; the keys view the cells' own texts.
    std::unordered_map<std::string_view, std::uint32_t> index;
    index.reserve(cells.size());
    std::vector<StoredString> strings;
    std::vector<std::uint32_t> cellString(cells.size(), UINT32_MAX);
    std::uint32_t total = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].text.empty()) continue;
        auto [it, added] =
            index.try_emplace(cells[i].text, static_cast<std::uint32_t>(strings.size()));
        if (added) strings.push_back(stored(cells[i].text));
        cellString[i] = it->second;
        ++total;
    }

    Out g;
    std::size_t textBytes = 0;
    for (const StoredString& text : strings) textBytes += 3 + text.text.size() * 2;
    // About 14 bytes a cell and 20 a row, beside the texts.
    g.bytes.reserve(4096 + textBytes + cells.size() * 34);
    g.record(biff::kBof, bof(biff::kGlobals));
    g.record(biff::kCodePage, data({{1200, 2}}));  // UTF-16
    g.record(biff::kWindow1, data({{0, 2},
                                   {0, 2},
                                   {0x3000, 2},
                                   {0x1E00, 2},
                                   {0x38, 2},
                                   {0, 2},
                                   {0, 2},
                                   {1, 2},
                                   {600, 2}}));
    // Five fonts: the reader's index 4 does not exist, so record 5 is index 5.
    const std::string font =
        data({{200, 2}, {0, 2}, {0x7FFF, 2}, {400, 2}, {0, 2}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}) +
        shortName("Arial");
    for (int i = 0; i < 5; ++i) g.record(biff::kFont, font);
    // XF 0-14 style records, 15 the default cell format, 16 the text format "@" (49).
    g.record(biff::kXf, xf(0, 0, 0xFFF5, 0));
    for (int i = 1; i < 15; ++i)
        g.record(biff::kXf, xf(i < 3 ? 1 : (i < 5 ? 2 : 0), 0, 0xFFF5, 0xF4));
    g.record(biff::kXf, xf(0, 0, 0x0001, 0));
    g.record(biff::kXf, xf(0, 49, 0x0001, 0x04));
    g.record(biff::kStyle, data({{0x8000, 2}, {0, 1}, {0xFF, 1}}));  // Normal
    const std::size_t boundSheetAt = g.bytes.size() + 4;
    g.record(biff::kBoundSheet, data({{0, 4}, {0, 1}, {0, 1}}) + shortName(sheetName));
    SstWriter sst(g, total, strings);
    g.record(biff::kExtSst, sst.extsst());
    g.record(biff::kEof, {});
    g.patch32(boundSheetAt, static_cast<std::uint32_t>(g.bytes.size()));

    Out& s = g;
    s.record(biff::kBof, bof(biff::kWorksheet));
    s.record(biff::kWsBool, data({{0x04C1, 2}}));
    std::uint32_t firstRow = 0, lastRow = 0;
    std::uint16_t firstCol = 0, lastCol = 0;
    if (!cells.empty()) {
        firstRow = cells.front().row;
        lastRow = cells.back().row + 1;
        firstCol = kSheetColumns;
        for (const CellToWrite& c : cells) {
            firstCol = std::min(firstCol, c.column);
            lastCol = std::max<std::uint16_t>(lastCol, c.column + 1);
        }
    }
    s.record(biff::kDimensions,
             data({{firstRow, 4}, {lastRow, 4}, {firstCol, 2}, {lastCol, 2}, {0, 2}}));
    // Rows in blocks of 32: the ROW records of a block, then its cells.
    std::size_t at = 0;
    while (at < cells.size()) {
        const std::uint32_t blockEnd = (cells[at].row / 32 + 1) * 32;
        std::size_t end = at;
        while (end < cells.size() && cells[end].row < blockEnd) ++end;
        for (std::size_t i = at; i < end;) {
            std::size_t j = i;
            while (j < end && cells[j].row == cells[i].row) ++j;
            s.record(biff::kRow, {{cells[i].row, 2},
                                  {cells[i].column, 2},
                                  {static_cast<std::uint32_t>(cells[j - 1].column + 1), 2},
                                  {0xFF, 2},
                                  {0, 2},
                                  {0, 2},
                                  {0x100, 4}});
            i = j;
        }
        for (std::size_t i = at; i < end; ++i) {
            const CellToWrite& c = cells[i];
            const std::uint16_t format = c.textFormat ? kTextXf : kGeneralXf;
            if (cellString[i] == UINT32_MAX)
                s.record(biff::kBlank, {{c.row, 2}, {c.column, 2}, {format, 2}});
            else
                s.record(biff::kLabelSst,
                         {{c.row, 2}, {c.column, 2}, {format, 2}, {cellString[i], 4}});
        }
        at = end;
    }
    s.record(biff::kWindow2,
             data({{0x06B6, 2}, {0, 2}, {0, 2}, {0x40, 2}, {0, 2}, {0, 2}, {0, 2}, {0, 4}}));
    s.record(biff::kEof, {});
    return writeCompoundFile("Workbook", std::move(g.bytes));
}

}  // namespace workbook
