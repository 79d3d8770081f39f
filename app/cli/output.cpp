#include "app/cli/output.h"

#include <algorithm>
#include <charconv>

#include "text/codepage.h"

namespace cli {
namespace {

constexpr std::string_view kColumnNames[] = {"ip",       "answer",       "range",    "country",
                                             "region",   "city",         "district", "owner",
                                             "operator", "country_code", "asn",      "as_name"};
static_assert(std::size(kColumnNames) == kColumns);

// Enough for the records a day of logs keeps coming back to, small beside the data.
constexpr std::size_t kCachedRecords = 1 << 16;
constexpr std::size_t kRecentAddresses = 1 << 16;

}  // namespace

std::optional<int> columnNamed(std::string_view name) {
    for (int c = 0; c < static_cast<int>(std::size(kColumnNames)); ++c)
        if (kColumnNames[c] == name) return c;
    return std::nullopt;
}

std::string_view columnName(int column) {
    return kColumnNames[column];
}

std::vector<int> defaultColumns() {
    std::vector<int> columns = {kIpColumn, kAnswerColumn};
    for (int f = 0; f < kRecordFields; ++f) columns.push_back(kFieldColumn + f);
    columns.push_back(kAsnColumn);
    columns.push_back(kAsNameColumn);
    return columns;
}

bool needsAsn(const std::vector<int>& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [](int c) { return c == kAsnColumn || c == kAsNameColumn; });
}

Answers::Answers(const ipdata::Database& data, const FieldReader& fields,
                 const ipdata::AsnDatabase* asn)
    : data_(data), fields_(fields), asn_(asn), recent_(kRecentAddresses) {}

const Answer* Answers::find(const ip::Address& address, std::optional<ipdata::Range>* range,
                            Network* network) {
    const std::uint64_t h = (address.high() ^ address.low()) * 0x9E3779B97F4A7C15ull;
    Recent& slot = recent_[static_cast<std::size_t>(h >> 48) & (kRecentAddresses - 1)];
    if (slot.used && slot.address == address) {
        if (range && slot.answer) *range = ipdata::Range{slot.first, slot.last, {}, {}, {}};
        if (network) *network = slot.network;
        return slot.answer;
    }
    std::optional<ipdata::Range> found = data_.find(address);
    slot.used = true;
    slot.address = address;
    slot.answer = nullptr;
    slot.network = {};
    if (asn_) {
        if (const auto a = asn_->find(address)) slot.network = {true, a->number, a->organisation};
    }
    if (network) *network = slot.network;
    if (!found) return nullptr;
    auto at = byRecord_.find(found->region);
    if (at == byRecord_.end()) {
        if (byRecord_.size() >= kCachedRecords) {
            // The answers the recent addresses point to go with it.
            byRecord_.clear();
            for (Recent& r : recent_) r.used = false;
            slot.used = true;
        }
        Answer answer;
        answer.text = found->display;
        const auto fields = fields_.fields(*found);
        for (int f = 0; f < kRecordFields; ++f) answer.fields[f] = fields[f];
        at = byRecord_.emplace(found->region, std::move(answer)).first;
    }
    slot.answer = &at->second;
    slot.first = found->first;
    slot.last = found->last;
    if (range) *range = std::move(found);
    return slot.answer;
}

void LookupWriter::block(std::string_view text, Encoding encoding, std::string& out) {
    out.reserve(text.size() + text.size() / 2);
    forEachLine(text, [&](std::string_view l) { line(l, encoding, out); });
}

void LookupWriter::line(std::string_view line, Encoding encoding, std::string& out) {
    if (format_ == Format::Annotate) {
        annotate(line, encoding, out);
    } else {
        std::optional<ip::Address> first;
        forEachAddressRun(scanText(line, encoding, scan_),
                          [&](std::size_t, std::span<const ip::Address> found) {
                              first = found.front();
                              return false;
                          });
        record(first ? &*first : nullptr, out);
    }
    out += '\n';
}

void LookupWriter::record(const ip::Address* address, std::string& out) {
    std::optional<ipdata::Range> range;
    Network network;
    const Answer* answer = nullptr;
    if (address) answer = answers_.find(*address, &range, &network);
    if (format_ == Format::Jsonl) out += '{';
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const int column = columns_[i];
        std::string_view value;
        std::string text;
        char digits[16];
        if (address && column == kIpColumn) {
            text = ip::formatAddress(*address);
            value = text;
        } else if (answer && column == kAnswerColumn) {
            value = answer->text;
        } else if (range && column == kRangeColumn) {
            text = ipdata::rangeDisplay(*range);
            value = text;
        } else if (network.known && column == kAsnColumn) {
            value = std::string_view(
                digits, std::to_chars(digits, digits + sizeof digits, network.number).ptr);
        } else if (network.known && column == kAsNameColumn) {
            value = network.organisation;
        } else if (answer && column >= kFieldColumn && column < kAsnColumn) {
            value = answer->fields[static_cast<std::size_t>(column - kFieldColumn)];
        }
        switch (format_) {
            case Format::Tsv:
                if (i > 0) out += '\t';
                appendTsv(out, value);
                break;
            case Format::Csv:
                if (i > 0) out += ',';
                appendCsv(out, value);
                break;
            default:
                if (i > 0) out += ',';
                appendJson(out, columnName(column));
                out += ':';
                appendJson(out, value);
                break;
        }
    }
    if (format_ == Format::Jsonl) out += '}';
}

void LookupWriter::annotate(std::string_view line, Encoding encoding, std::string& out) {
    std::size_t written = 0;
    forEachAddressRun(scanText(line, encoding, scan_),
                      [&](std::size_t runEnd, std::span<const ip::Address> found) {
                          out += lineUtf8(line.substr(written, runEnd - written), encoding);
                          written = runEnd;
                          for (const ip::Address& address : found) {
                              const Answer* answer = answers_.find(address);
                              if (!answer || answer->text.empty()) continue;
                              out += " [";
                              out += answer->text;
                              out += ']';
                          }
                          return true;
                      });
    out += lineUtf8(line.substr(written), encoding);
}

void appendTsv(std::string& out, std::string_view value) {
    // One pass over the value (find_first_of looks up each character in the set).
    if (std::none_of(value.begin(), value.end(),
                     [](char c) { return c == '\t' || c == '\n' || c == '\r'; })) {
        out += value;
        return;
    }
    for (char c : value) out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
}

void appendCsv(std::string& out, std::string_view value) {
    if (std::none_of(value.begin(), value.end(),
                     [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
        out += value;
        return;
    }
    out += '"';
    for (char c : value) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void appendJson(std::string& out, std::string_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace cli
