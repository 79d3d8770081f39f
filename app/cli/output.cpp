#include "app/cli/output.h"

#include <algorithm>
#include <charconv>

#include "io/escape.h"
#include "ipdata/special.h"
#include "text/codepage.h"

namespace cli {
namespace {

// Enough for the records a day of logs keeps coming back to, small beside the data.
constexpr std::size_t kCachedRecords = 1 << 16;
constexpr std::size_t kRecentAddresses = 1 << 17;

}  // namespace

Columns defaultColumns() {
    Columns columns;
    for (const FieldInfo& f : allFields())
        if (f.cliDefault) columns.push_back(f.id);
    return columns;
}

bool needsAsn(const Columns& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [](FieldId c) { return fieldInfo(c).from == FieldFrom::Network; });
}

Answers::Answers(const ipdata::Database& data, const ipdata::Networks* asn, bool extras)
    : data_(data), asn_(asn), extras_(extras && data.hasExtras()), recent_(kRecentAddresses) {}

void Answers::forgetRendered() {
    for (auto& [key, answer] : byRecord_) answer.renderedFor = nullptr;
    for (auto& [key, answer] : special_) answer.renderedFor = nullptr;
}

std::uint32_t Answers::networkOf(const Network& found) {
    auto [at, fresh] = networkAt_.try_emplace({found.organisation.data(), found.number}, 0);
    if (fresh) {
        at->second = static_cast<std::uint32_t>(networks_.size());
        networks_.push_back(found);
    }
    return at->second + 1;
}

const Answer* Answers::find(const ip::Address& address, std::optional<ipdata::Range>* range,
                            Network* network) {
    const std::uint64_t high = address.high(), low = address.low();
    const std::uint64_t h = (high ^ low) * 0x9E3779B97F4A7C15ull;
    Recent& slot = recent_[static_cast<std::size_t>(h >> 40) & (kRecentAddresses - 1)];
    if (!range && slot.used && slot.low == low && slot.high == high &&
        slot.family == address.family) {
        if (network) *network = slot.network ? networks_[slot.network - 1] : Network{};
        return slot.answer;
    }
    // An IPv4-mapped address is its IPv4 address, for the answer and the network alike.
    const ip::Address asked = ip::unmapped(address);
    const std::optional<ipdata::Place> found = data_.locate(asked);
    slot = {high, low, nullptr, 0, address.family, true};
    Network announced;
    if (asn_) {
        if (const auto a = asn_->find(asked)) {
            announced = {true, a->number, a->organisation};
            slot.network = networkOf(announced);
        }
    }
    if (network) *network = announced;
    if (found) {
        RecordKey key{found->record.data()};
        ipdata::Extras more;
        if (extras_) {
            more = data_.extras(asked, *found);
            if (more.hasCoordinates()) {
                key.latitude = *more.latitude;
                key.longitude = *more.longitude;
            }
            key.where = more.postalCode.empty() ? more.timeZone.data() : more.postalCode.data();
        }
        auto at = byRecord_.find(key);
        if (at == byRecord_.end()) {
            if (byRecord_.size() >= kCachedRecords) {
                // The answers the recent addresses point to go with it.
                byRecord_.clear();
                for (Recent& r : recent_) r.used = false;
                slot.used = true;
                // The networks are few (one per announcing AS): kept.
            }
            Answer answer;
            ipdata::appendDisplay(*found, answer.text);
            const FieldViews fields = recordFields(found->fields);
            for (std::size_t f = 0; f < kFieldCount; ++f) answer.fields[f] = fields[f];
            addExtras(more, answer.fields);
            at = byRecord_.emplace(key, std::move(answer)).first;
        }
        // A record without a text is no answer (the special table may still have one).
        if (!at->second.text.empty()) {
            slot.answer = &at->second;
            if (range) *range = ipdata::Range{found->first, found->last, {}, {}, {}};
            return slot.answer;
        }
    }
    // Where the data has no real record, a special-purpose block still says what the
    // address is.
    const std::optional<ipdata::SpecialAddress> s = ipdata::special(asked);
    if (!s) return nullptr;
    auto [at, fresh] = special_.try_emplace(s->answer);
    if (fresh) at->second.text = s->answer;
    slot.answer = &at->second;
    if (range) *range = ipdata::Range{s->first, s->last, {}, std::string(s->answer), {}};
    return slot.answer;
}

void LookupWriter::block(std::string_view text, Encoding encoding, std::string& out,
                         std::size_t w3c) {
    w3c_ = w3c;
    out.reserve(text.size() + text.size() / 2);
    forEachLine(text, [&](std::string_view l) { line(l, encoding, out); });
}

void LookupWriter::line(std::string_view line, Encoding encoding, std::string& out) {
    if (format_ == Format::Annotate) {
        annotate(line, encoding, out);
    } else {
        const std::optional<ip::Address> chosen = picker_.pick(line, encoding, w3c_);
        record(chosen ? &*chosen : nullptr, out);
    }
    out += '\n';
}

void LookupWriter::findRuns() {
    runEnd_.assign(columns_.size(), 0);
    runIndex_.assign(columns_.size(), 0);
    const auto fromAnswer = [&](std::size_t i) {
        const FieldInfo& field = fieldInfo(columns_[i]);
        return field.id == FieldId::Answer || field.from == FieldFrom::Record;
    };
    for (std::size_t i = 0; i < columns_.size();) {
        if (!fromAnswer(i)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < columns_.size() && fromAnswer(end)) ++end;
        runEnd_[i] = end;
        runIndex_[i] = runs_++;
        i = end;
    }
}

void LookupWriter::appendColumn(std::size_t i, std::string_view value, std::string& out) const {
    switch (format_) {
        case Format::Tsv:
            if (i > 0) out += '\t';
            io::appendTsvField(out, value);
            break;
        case Format::Csv:
            if (i > 0) out += ',';
            io::appendCsvField(out, value, io::Formulas::AsIs);
            break;
        default:
            if (i > 0) out += ',';
            io::appendJsonString(out, fieldInfo(columns_[i]).key);
            out += ':';
            io::appendJsonString(out, value);
            break;
    }
}

void LookupWriter::record(const ip::Address* address, std::string& out) {
    std::optional<ipdata::Range> range;
    Network network;
    const Answer* answer = nullptr;
    if (address) answer = answers_.find(*address, needsRange_ ? &range : nullptr, &network);
    if (answer && answer->renderedFor != this) {
        answer->rendered.assign(runs_, std::string());
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (runEnd_[i] == 0) continue;
            std::string& text = answer->rendered[runIndex_[i]];
            for (std::size_t j = i; j < runEnd_[i]; ++j) {
                const FieldInfo& field = fieldInfo(columns_[j]);
                appendColumn(j,
                             field.id == FieldId::Answer
                                 ? std::string_view(answer->text)
                                 : answer->fields[static_cast<std::size_t>(field.record)],
                             text);
            }
        }
        answer->renderedFor = this;
    }
    if (format_ == Format::Jsonl) out += '{';
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (answer && runEnd_[i] != 0) {
            out += answer->rendered[runIndex_[i]];
            i = runEnd_[i] - 1;
            continue;
        }
        const FieldInfo& field = fieldInfo(columns_[i]);
        std::string_view value;
        std::string text;
        char digits[16];
        if (address && field.id == FieldId::Ip) {
            text = ip::formatAddress(*address);
            value = text;
        } else if (range && field.id == FieldId::Range) {
            text = ipdata::rangeDisplay(*range);
            value = text;
        } else if (network.known && field.id == FieldId::Asn) {
            value = std::string_view(
                digits, std::to_chars(digits, digits + sizeof digits, network.number).ptr);
        } else if (network.known && field.id == FieldId::AsName) {
            value = network.organisation;
        }
        appendColumn(i, value, out);
    }
    if (format_ == Format::Jsonl) out += '}';
}

void appendAnnotation(std::string& out, std::string_view answer) {
    out += " [";
    for (const char c : answer) {
        if (c == '\\' || c == '[' || c == ']') out += '\\';
        out += c;
    }
    out += ']';
}

void LookupWriter::annotate(std::string_view line, Encoding encoding, std::string& out) {
    std::size_t written = 0;
    forEachAddressToken(scanText(line, encoding, scan_),
                        [&](std::size_t tokenEnd, std::span<const ip::Address> found) {
                            out += lineUtf8(line.substr(written, tokenEnd - written), encoding);
                            written = tokenEnd;
                            for (const ip::Address& address : found) {
                                const Answer* answer = answers_.find(address);
                                appendAnnotation(out, answer ? answer->text : std::string_view());
                            }
                            return true;
                        });
    out += lineUtf8(line.substr(written), encoding);
}

}  // namespace cli
