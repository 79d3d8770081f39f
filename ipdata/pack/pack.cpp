#include "ipdata/pack/pack.h"

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "ipdata/asn_format.h"
#include "text/address.h"
#include "text/codepage.h"

namespace asnpack {
namespace {

namespace f = ipdata::asnfile;
using U128 = unsigned __int128;

struct Row {
    U128 first = 0, last = 0;
    std::uint32_t number = 0;
    std::string organisation;
};

struct Piece {
    U128 first, last;
    std::uint32_t entry;
};

// One record of RFC 4180 CSV from `at`: fields, quotes doubled inside quotes, CR LF or LF.
// False at the end of the text.
bool nextRecord(std::string_view text, std::size_t& at, std::vector<std::string>& fields,
                std::size_t& line) {
    fields.clear();
    if (at >= text.size()) return false;
    std::string field;
    bool quoted = false, wasQuoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                field += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
        } else if (c == '"' && field.empty() && !wasQuoted) {
            quoted = wasQuoted = true;
        } else if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            wasQuoted = false;
        } else if (c == '\n') {
            ++line;
            break;
        } else if (c != '\r' || (at < text.size() && text[at] != '\n')) {
            field += c;
        }
    }
    fields.push_back(std::move(field));
    return true;
}

std::optional<std::uint32_t> parseNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

U128 valueOf(const ip::Address& a) {
    return a.isV4() ? U128{a.v4Value()} : (U128{a.high()} << 64 | a.low());
}

std::vector<Row> readRows(std::string_view csv, ip::Family family, FamilyReport& report) {
    if (const codepage::ByteOrderMark head = codepage::byteOrderMark(csv);
        head.mark == codepage::Mark::Utf8)
        csv.remove_prefix(head.length);
    std::vector<Row> rows;
    std::vector<std::string> fields;
    std::size_t at = 0, line = 1;
    auto bad = [&](std::size_t& count, std::size_t where) {
        ++count;
        if (report.firstBadLine == 0) report.firstBadLine = where;
    };
    for (std::size_t where = line; nextRecord(csv, at, fields, line); where = line) {
        if (fields.size() == 1 && fields[0].empty()) continue;
        ++report.rows;
        const auto first = fields.size() == 4 ? ip::parseAddress(fields[0]) : std::nullopt;
        const auto last = fields.size() == 4 ? ip::parseAddress(fields[1]) : std::nullopt;
        const auto number = fields.size() == 4 ? parseNumber(fields[2]) : std::nullopt;
        if (!first || !last || !number || first->family != family || last->family != family) {
            bad(report.malformed, where);
            continue;
        }
        Row row{valueOf(*first), valueOf(*last), *number, std::move(fields[3])};
        bool cleaned = false;
        for (char& c : row.organisation) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                c = ' ';
                cleaned = true;
            }
        }
        if (!f::isCleanText(row.organisation)) {
            bad(report.malformed, where);
            continue;
        }
        if (row.first > row.last) {
            bad(report.reversed, where);
            continue;
        }
        report.cleaned += cleaned;
        if (!rows.empty() && row.first < rows.back().first) ++report.unsorted;
        rows.push_back(std::move(row));
    }
    return rows;
}

// The rule of pack.h: rows sorted by start, the wider first at equal starts and the file's
// order for equal ranges, so that a row always wins over those before it in this order
// wherever it reaches. A stack holds the rows still open around the current address, each
// with the first address it has not yet given out.
std::vector<Piece> resolve(std::vector<Row>& rows, const std::vector<std::uint32_t>& entries,
                           FamilyReport& report) {
    std::vector<std::size_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (rows[a].first != rows[b].first) return rows[a].first < rows[b].first;
        return rows[a].last > rows[b].last;
    });
    struct Open {
        std::size_t row;
        U128 resume;
        bool done;  // nothing left to give: a row above reached its end
        bool gave;  // gave out an address
    };
    std::vector<Piece> pieces;
    std::vector<Open> open;
    auto give = [&](Open& o, U128 last) {
        if (o.done || o.resume > last) return;
        const std::uint32_t entry = entries[o.row];
        pieces.push_back({o.resume, last, entry});
        o.gave = true;
    };
    auto close = [&] {
        Open top = open.back();
        open.pop_back();
        give(top, rows[top.row].last);
        report.hidden += !top.gave;
        if (!open.empty()) {
            Open& below = open.back();
            const U128 end = rows[top.row].last;
            if (end == ~U128{0} || end >= rows[below.row].last) {
                below.done = true;
            } else {
                below.resume = std::max(below.resume, end + 1);
            }
        }
    };
    U128 reach = 0;  // the highest end so far
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Row& row = rows[order[k]];
        if (k > 0 && row.first <= reach) ++report.overlapping;
        reach = k == 0 ? row.last : std::max(reach, row.last);
        while (!open.empty() && rows[open.back().row].last < row.first) close();
        if (!open.empty()) {
            // The row below gives out up to here, and resumes when this one closes.
            Open& below = open.back();
            if (row.first > 0) give(below, row.first - 1);
            below.resume = std::max(below.resume, row.first);
        }
        open.push_back({order[k], row.first, false, false});
    }
    while (!open.empty()) close();
    return pieces;
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}

void put64(std::string& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}

void set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

}  // namespace

std::string pack(std::string_view v4Csv, std::string_view v6Csv, std::string_view source,
                 std::uint32_t date, Report& report) {
    report = {};
    std::string strings;
    std::map<std::string, std::uint32_t, std::less<>> stringAt;
    auto intern = [&](std::string_view text) {
        auto [it, added] = stringAt.try_emplace(std::string(text), 0);
        if (added) {
            it->second = static_cast<std::uint32_t>(strings.size());
            strings += text;
        }
        return it->second;
    };
    std::string entryTable;
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> entryAt;
    auto entryOf = [&](const Row& row) {
        auto [it, added] = entryAt.try_emplace({row.number, row.organisation}, 0);
        if (added) {
            it->second = static_cast<std::uint32_t>(entryAt.size() - 1);
            put32(entryTable, row.number);
            put32(entryTable, intern(row.organisation));
            put32(entryTable, static_cast<std::uint32_t>(row.organisation.size()));
        }
        return it->second;
    };
    std::string clean(source);
    for (char& c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    if (!f::isCleanText(clean)) clean.clear();
    const std::uint32_t sourceOffset = intern(clean);

    std::vector<Piece> pieces[2];
    for (int family = 0; family < 2; ++family) {
        FamilyReport& r = family == 0 ? report.v4 : report.v6;
        std::vector<Row> rows =
            readRows(family == 0 ? v4Csv : v6Csv, family == 0 ? ip::Family::V4 : ip::Family::V6, r);
        std::vector<std::uint32_t> entries;
        entries.reserve(rows.size());
        for (const Row& row : rows) entries.push_back(entryOf(row));
        pieces[family] = resolve(rows, entries, r);
        r.packed = pieces[family].size();
    }
    report.entries = entryAt.size();
    report.stringBytes = strings.size();

    std::string out(f::kHeaderSize, '\0');
    out.replace(0, f::kMagic.size(), f::kMagic);
    set32(out, f::kFormatVersion, f::kVersion);
    set32(out, f::kHeaderBytes, f::kHeaderSize);
    set32(out, f::kDate, date);
    set32(out, f::kV4Count, static_cast<std::uint32_t>(pieces[0].size()));
    set32(out, f::kV4Offset, static_cast<std::uint32_t>(out.size()));
    for (const Piece& p : pieces[0]) {
        put32(out, static_cast<std::uint32_t>(p.first));
        put32(out, static_cast<std::uint32_t>(p.last));
        put32(out, p.entry);
    }
    set32(out, f::kV6Count, static_cast<std::uint32_t>(pieces[1].size()));
    set32(out, f::kV6Offset, static_cast<std::uint32_t>(out.size()));
    for (const Piece& p : pieces[1]) {
        put64(out, static_cast<std::uint64_t>(p.first >> 64));
        put64(out, static_cast<std::uint64_t>(p.first));
        put64(out, static_cast<std::uint64_t>(p.last >> 64));
        put64(out, static_cast<std::uint64_t>(p.last));
        put32(out, p.entry);
    }
    set32(out, f::kEntryCount, static_cast<std::uint32_t>(entryAt.size()));
    set32(out, f::kEntryOffset, static_cast<std::uint32_t>(out.size()));
    out += entryTable;
    set32(out, f::kStringSize, static_cast<std::uint32_t>(strings.size()));
    set32(out, f::kStringOffset, static_cast<std::uint32_t>(out.size()));
    out += strings;
    set32(out, f::kSourceOffset, sourceOffset);
    set32(out, f::kSourceLength, static_cast<std::uint32_t>(clean.size()));
    set32(out, f::kFileSize, static_cast<std::uint32_t>(out.size()));
    return out;
}

std::string describe(std::string_view family, const FamilyReport& r) {
    auto n = [](std::size_t v) { return std::to_string(v); };
    std::string text = std::string(family) + ": " + n(r.rows) + " rows, " + n(r.packed) +
                       " ranges packed; malformed " + n(r.malformed) + ", start after end " +
                       n(r.reversed) + ", out of order " + n(r.unsorted) + ", overlapping " +
                       n(r.overlapping) + ", left with no address " + n(r.hidden) +
                       ", organisations with control characters " + n(r.cleaned);
    if (r.firstBadLine != 0) text += " (first left out at line " + n(r.firstBadLine) + ")";
    return text;
}

}  // namespace asnpack
