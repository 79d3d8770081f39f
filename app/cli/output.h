// The lines `lookup` writes: for each input line, its first address with the answer and
// fields (TSV, CSV or JSON Lines), or the line itself with each address annotated.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cli/lines.h"
#include "app/cli/pick.h"
#include "ipdata/asn.h"
#include "ipdata/ipdata.h"
#include "table/fields.h"

namespace cli {

enum class Format { Tsv, Csv, Jsonl, Annotate };

// The fields a line holds, as --fields names them (the table of fields' keys, which are
// the JSON keys too).
using Columns = std::vector<FieldId>;
// Every field the command line writes but the range.
Columns defaultColumns();
bool needsAsn(const Columns& columns);

// The network that announces an address; `known` false where the ASN file has none (or
// there is no ASN file).
struct Network {
    bool known = false;
    std::uint32_t number = 0;
    std::string_view organisation;  // UTF-8, a view into the ASN file
};

// An address's answer as this program writes it: UTF-8.
struct Answer {
    std::string text;
    Fields fields;
    // What a LookupWriter wrote for the runs of columns this answer alone fills, made on
    // its first line and written as it is on the others (a log repeats its answers).
    mutable const void* renderedFor = nullptr;
    mutable std::vector<std::string> rendered;
};

// Answers by address, for one thread: recent records are kept converted (a log repeats
// its records far more often than it holds new ones), at most a bounded number of them.
class Answers {
  public:
    // `asn` may be null: networks are then never known.
    // With `extras`, answers carry coordinates and the like (a lookup more per new record
    // where the first file has none).
    explicit Answers(const ipdata::Database& data, const ipdata::Networks* asn = nullptr,
                     bool extras = false);
    // Null when the data has no answer; `range` gets the range that holds the address,
    // `network` the network that announces it (the ASN file may place an address the
    // location data does not).
    const Answer* find(const ip::Address& address, std::optional<ipdata::Range>* range = nullptr,
                       Network* network = nullptr);
    // Drops what writers wrote for the answers (Answer::rendered): a new writer may lie where
    // one that is gone did.
    void forgetRendered();

  private:
    // The answers of recent addresses, by a hash of the address: a log's visitors come
    // back line after line, and this spares them the walk through the data. Half a cache
    // line each, so that four times as many fit where the range was kept too: a hit that
    // asks for the range looks it up again.
    struct Recent {
        std::uint64_t high = 0, low = 0;  // the address's 128 bits
        const Answer* answer = nullptr;   // null: the data has none
        std::uint32_t network = 0;        // networks_'s place + 1; 0: none known
        ip::Family family = ip::Family::V4;
        bool used = false;
    };
    static_assert(sizeof(Recent) <= 32);
    // The network of `found`, kept once for the recent addresses that share it.
    std::uint32_t networkOf(const Network& found);

    const ipdata::Database& data_;
    const ipdata::Networks* asn_;
    bool extras_;
    // By where the record lies in its file (its bytes stay mapped while the data lives),
    // and, with extras, by the place the coordinates come from.
    struct RecordKey {
        const char* record;
        const char* where = nullptr;
        double latitude = 0, longitude = 0;
        bool operator==(const RecordKey&) const = default;
    };
    struct RecordHash {
        std::size_t operator()(const RecordKey& k) const {
            return (reinterpret_cast<std::uintptr_t>(k.record) * 0x9E3779B97F4A7C15ull >> 16) ^
                   reinterpret_cast<std::uintptr_t>(k.where) ^ std::hash<double>()(k.latitude) ^
                   std::hash<double>()(k.longitude) * 31;
        }
    };
    std::unordered_map<RecordKey, Answer, RecordHash> byRecord_;
    std::unordered_map<std::string_view, Answer> special_;  // by the table's own answers
    std::vector<Recent> recent_;
    std::vector<Network> networks_;
    // By the name's bytes (they lie once in the file) and the number.
    struct NetworkHash {
        std::size_t operator()(const std::pair<const char*, std::uint32_t>& k) const {
            return std::hash<const char*>()(k.first) ^ k.second * 0x9E3779B9u;
        }
    };
    std::unordered_map<std::pair<const char*, std::uint32_t>, std::uint32_t, NetworkHash>
        networkAt_;
};

// What --annotate writes after an address's token: a space and the answer in brackets, a
// backslash before each '\', '[' and ']' of it, so that the line comes back by taking off
// one such annotation for each address of each token (forEachAddressToken); "[]" where the
// data has no answer.
void appendAnnotation(std::string& out, std::string_view answer);

class LookupWriter {
  public:
    LookupWriter(Answers& answers, Format format, Columns columns, AddressChoice choice = {})
        : answers_(answers),
          format_(format),
          columns_(std::move(columns)),
          picker_(std::move(choice)) {
        for (const FieldId c : columns_) needsRange_ = needsRange_ || c == FieldId::Range;
        findRuns();
        answers_.forgetRendered();
    }
    // The output of one block: one line for each of its lines; `w3c` the c-ip column in
    // effect at its start (pick.h).
    void block(std::string_view text, Encoding encoding, std::string& out, std::size_t w3c = 0);
    void line(std::string_view line, Encoding encoding, std::string& out);

  private:
    void findRuns();
    void record(const ip::Address* address, std::string& out);
    // The column at `i` with `value`, escaped for the format, its separator before it.
    void appendColumn(std::size_t i, std::string_view value, std::string& out) const;
    void annotate(std::string_view line, Encoding encoding, std::string& out);

    Answers& answers_;
    Format format_;
    Columns columns_;
    bool needsRange_ = false;
    // For each column the answer alone fills: where its run of such columns ends (past
    // it), and which run it is; 0 in runEnd_ for the other columns.
    std::vector<std::size_t> runEnd_, runIndex_;
    std::size_t runs_ = 0;
    AddressPicker picker_;
    std::size_t w3c_ = 0;
    std::string scan_, storage_;
};

}  // namespace cli
