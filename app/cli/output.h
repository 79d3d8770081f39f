// The lines `lookup` writes: for each input line, its first address with the answer and
// fields (TSV, CSV or JSON Lines), or the line itself with each address annotated.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cli/fields.h"
#include "app/cli/lines.h"
#include "ipdata/asn.h"
#include "ipdata/ipdata.h"

namespace cli {

enum class Format { Tsv, Csv, Jsonl, Annotate };

// What a column shows: the address, the answer text, the range that holds the address, one
// of the record's fields (kFieldColumn + RecordField), or the network that announces the
// address (from the ASN file: its number, its organisation).
enum Column {
    kIpColumn,
    kAnswerColumn,
    kRangeColumn,
    kFieldColumn,
    kAsnColumn = kFieldColumn + kRecordFields,
    kAsNameColumn,
    kColumns
};
// Names as --fields takes them and JSON keys: "ip", "answer", "range", "country", ...,
// "asn", "as_name".
std::optional<int> columnNamed(std::string_view name);
std::string_view columnName(int column);
// ip, answer, the record's fields, asn and as_name.
std::vector<int> defaultColumns();
bool needsAsn(const std::vector<int>& columns);

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
    std::array<std::string, kRecordFields> fields;
};

// Answers by address, for one thread: recent records are kept converted (a log repeats
// its records far more often than it holds new ones), at most a bounded number of them.
class Answers {
  public:
    // `asn` may be null: networks are then never known.
    Answers(const ipdata::Database& data, const FieldReader& fields,
            const ipdata::AsnDatabase* asn = nullptr);
    // Null when the data has no answer; `range` gets the range that holds the address,
    // `network` the network that announces it (the ASN file may place an address the
    // location data does not).
    const Answer* find(const ip::Address& address, std::optional<ipdata::Range>* range = nullptr,
                       Network* network = nullptr);

  private:
    // The answers of recent addresses, by a hash of the address: a log's visitors come
    // back line after line, and this spares them the walk through the data.
    struct Recent {
        ip::Address address;
        bool used = false;
        const Answer* answer = nullptr;  // null: the data has none
        ip::Address first, last;
        Network network;
    };

    const ipdata::Database& data_;
    const FieldReader& fields_;
    const ipdata::AsnDatabase* asn_;
    std::unordered_map<std::string, Answer> byRecord_;
    std::vector<Recent> recent_;
};

class LookupWriter {
  public:
    LookupWriter(Answers& answers, Format format, std::vector<int> columns)
        : answers_(answers), format_(format), columns_(std::move(columns)) {}
    // The output of one block: one line for each of its lines.
    void block(std::string_view text, Encoding encoding, std::string& out);
    void line(std::string_view line, Encoding encoding, std::string& out);

  private:
    void record(const ip::Address* address, std::string& out);
    void annotate(std::string_view line, Encoding encoding, std::string& out);

    Answers& answers_;
    Format format_;
    std::vector<int> columns_;
    std::string scan_, storage_;
};

// A TSV field: tabs and line breaks inside become spaces, so columns stay columns.
void appendTsv(std::string& out, std::string_view value);
// RFC 4180: quoted when it holds a comma, a quote or a line break.
void appendCsv(std::string& out, std::string_view value);
// A JSON string with its quotes.
void appendJson(std::string& out, std::string_view value);

}  // namespace cli
