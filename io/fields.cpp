#include "io/fields.h"

#include <algorithm>

#include "text/codepage.h"
#include "text/text.h"

namespace io {
namespace {

// A 128-bit address value as two halves, for the block arithmetic.
struct Wide {
    std::uint64_t high = 0, low = 0;
    bool operator<=(const Wide& o) const {
        return high < o.high || (high == o.high && low <= o.low);
    }
};

Wide valueOf(const ip::Address& a) {
    return a.isV4() ? Wide{0, a.low() & 0xFFFFFFFFu} : Wide{a.high(), a.low()};
}

int trailingZeros(const Wide& v, int bits) {
    if (v.low != 0) return std::min(bits, std::countr_zero(v.low));
    if (v.high != 0) return std::min(bits, 64 + std::countr_zero(v.high));
    return bits;
}

// The block of 2^k addresses from `first` ends at or before `last`:
// last - first >= 2^k - 1.
bool fits(const Wide& first, const Wide& last, int k) {
    const Wide diff{last.high - first.high - (last.low < first.low ? 1 : 0), last.low - first.low};
    const Wide span = k == 128  ? Wide{~0ull, ~0ull}
                      : k >= 64 ? Wide{(1ull << (k - 64)) - 1, ~0ull}
                                : Wide{0, (1ull << k) - 1};
    return span <= diff;
}

// v += 2^k; false when it wraps past the end.
bool advance(Wide& v, int k) {
    if (k >= 64) {
        const std::uint64_t step = k == 128 ? 0 : 1ull << (k - 64);
        if (step == 0) return false;
        v.high += step;
        return v.high >= step;
    }
    const std::uint64_t before = v.low;
    v.low += 1ull << k;
    if (v.low < before && ++v.high == 0) return false;
    return true;
}

}  // namespace

std::size_t extraColumn(FieldId id) {
    std::size_t column = 0;
    while (column + 1 < kExtraColumns && extraField(column) != id) ++column;
    return column;
}

bool hasRanges(const RowStore& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows.source(i) == Source::RangeSearch) return true;
    return false;
}

std::string cidrBlocks(std::string_view range) {
    std::string_view from = range, to = range;
    int prefix = -1;
    if (const std::size_t dash = range.find('-'); dash != std::string_view::npos) {
        from = range.substr(0, dash);
        to = range.substr(dash + 1);
    } else if (const std::size_t slash = range.find('/'); slash != std::string_view::npos) {
        // Already one prefix: as it stands, once its address parses.
        from = to = range.substr(0, slash);
        prefix = 0;
    }
    const std::optional<ip::Address> first = ip::parseAddress(from);
    const std::optional<ip::Address> last = ip::parseAddress(to);
    if (!first || !last || first->family != last->family) return {};
    if (prefix == 0) return std::string(range);
    const int bits = first->isV4() ? 32 : 128;
    Wide at = valueOf(*first);
    const Wide end = valueOf(*last);
    std::string out;
    while (at <= end) {
        int k = trailingZeros(at, bits);
        while (k > 0 && !fits(at, end, k)) --k;
        const ip::Address block = first->isV4()
                                      ? ip::Address::v4(static_cast<std::uint32_t>(at.low))
                                      : ip::Address::v6(at.high, at.low);
        if (!out.empty()) out += ' ';
        out += ip::formatAddress(block) + "/" + std::to_string(bits - k);
        if (!advance(at, k) || (first->isV4() && at.low > 0xFFFFFFFFu)) break;
    }
    return out;
}

std::string ExtraCells::asnText(std::uint32_t asn) {
    return asn == 0 ? std::string() : "AS" + std::to_string(asn);
}

std::string_view ExtraCells::kept(std::string text) {
    return made_.emplace_back(std::move(text));
}

std::array<std::string_view, kExtraColumns> ExtraCells::of(std::size_t index) {
    std::array<std::string_view, kExtraColumns> cells{};
    const RowView row = rows_[index];
    for (std::size_t c = 0; c < kExtraColumns; ++c) {
        const FieldInfo& field = fieldInfo(extraField(c));
        std::string_view& cell = cells[c];
        if (field.from == FieldFrom::Record) {
            if (row.fields) cell = (*row.fields)[static_cast<std::size_t>(field.record)];
            continue;
        }
        switch (field.id) {
            case FieldId::Asn:
                if (row.asn != 0) {
                    auto [at, fresh] = asns_.try_emplace(row.asn);
                    if (fresh) at->second = asnText(row.asn);
                    cell = at->second;
                }
                break;
            case FieldId::AsName:
                cell = row.organisation;
                break;
            case FieldId::Hits: {
                auto [hits, fresh] = hits_.try_emplace(row.hits);
                if (fresh) hits->second = std::to_string(row.hits);
                cell = hits->second;
                break;
            }
            case FieldId::Source:
                if (row.source == Source::Web)
                    cell = titles_.sources[0];
                else if (row.source == Source::DataFile)
                    cell = titles_.sources[1];
                break;
            case FieldId::Cidr:
                if (ranges_ && row.source == Source::RangeSearch) {
                    made_.clear();  // one row's at a time
                    cell = kept(cidrBlocks(row.address));
                }
                break;
            default:
                break;  // a field the exports have no reader for yet stays empty
        }
    }
    return cells;
}

bool isOwnHeader(const std::vector<std::string>& cells) {
    return cells.size() >= kRowColumns && cells[0] == fieldInfo(FieldId::Ip).title &&
           cells[QueryTable::kColumns + extraColumn(FieldId::Asn)] == fieldInfo(FieldId::Asn).title;
}

void pushOwnRow(RowStore& rows, std::vector<std::string>& cells) {
    cells.resize(kRowColumns);
    for (std::string& cell : cells) {
        if (cell.size() >= 2 && cell[0] == '\'' &&
            (cell[1] == '=' || cell[1] == '+' || cell[1] == '-' || cell[1] == '@'))
            cell.erase(0, 1);
    }
    auto extra = [&cells](FieldId id) -> std::string& {
        return cells[QueryTable::kColumns + extraColumn(id)];
    };
    Answer answer{cells[1]};
    // The mark is the data file's decoration of the location: a service's answer may end
    // with the same text and keeps it.
    const std::string& source = extra(FieldId::Source);
    const std::string_view mark = kDataFileMark;
    if (source == kSourceWords[0]) {
        answer.source = Source::Web;
    } else if (source == kSourceWords[1]) {
        answer.source = Source::DataFile;
        if (answer.text.ends_with(mark)) answer.text.resize(answer.text.size() - mark.size());
    }
    bool anyField = false;
    Fields fields{};
    for (std::size_t c = 0; c < kExtraColumns; ++c) {
        const FieldInfo& field = fieldInfo(extraField(c));
        if (field.from != FieldFrom::Record) continue;
        std::string& value = fields[static_cast<std::size_t>(field.record)];
        value = cells[QueryTable::kColumns + c];
        anyField = anyField || !value.empty();
    }
    if (anyField) answer.fields = std::move(fields);
    const std::string& asn = extra(FieldId::Asn);
    if (asn.size() > 2 && asn.starts_with("AS")) {
        std::uint32_t number = 0;
        bool digits = asn.size() <= 12;
        for (std::size_t i = 2; i < asn.size() && digits; ++i) {
            digits = asn[i] >= '0' && asn[i] <= '9';
            number = number * 10 + static_cast<std::uint32_t>(asn[i] - '0');
        }
        if (digits && number != 0)
            answer.network = Network{number, std::string(extra(FieldId::AsName))};
    }
    rows.push(cells[0], answer);
    const std::string& hits = extra(FieldId::Hits);
    std::uint64_t count = 0;
    for (const char c : hits) {
        if (c < '0' || c > '9' || count > 0xFFFFFFFFu) {
            count = 1;
            break;
        }
        count = count * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (count > 1 && count <= 0xFFFFFFFFu)
        rows.setHits(rows.size() - 1, static_cast<std::uint32_t>(count));
}

}  // namespace io
