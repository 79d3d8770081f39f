// The fields of an answer, declared once. Every reader and writer walks this table: the
// exports (.xlsx, .csv, .jsonl) and our own files read back, the command line's --fields
// and its columns, the summaries and their groupings. A new field is a row here plus the
// readers that fill it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ipdata/ipdata.h"

// The record's fields: what the address data gives for an address, in the order a row
// stores them.
enum class Field {
    Country,
    Region,
    City,
    District,
    Owner,
    Operator,
    CountryCode,
    Latitude,
    Longitude,
    TimeZone,
    PostalCode,
    Continent
};
inline constexpr std::size_t kFieldCount = 12;
using Fields = std::array<std::string, kFieldCount>;
using FieldViews = std::array<std::string_view, kFieldCount>;

// Every field, in the order the outputs list them.
enum class FieldId : std::uint8_t {
    Ip,
    Answer,
    Range,
    Country,
    Region,
    City,
    District,
    Owner,
    Operator,
    CountryCode,
    Asn,
    AsName,
    Latitude,
    Longitude,
    TimeZone,
    PostalCode,
    Continent,
    Hits,
    Source,
    Cidr
};

// Where a field's value comes from.
enum class FieldFrom : std::uint8_t {
    Row,      // the row itself: its address, answer, hits or source
    Range,    // the range of the address data that holds the address
    Record,   // the record's fields (FieldInfo::record)
    Network,  // the network numbers file
};

struct FieldInfo {
    FieldId id;
    // The command line's name (--fields, --by) and its JSON key.
    std::string_view key;
    // The .jsonl export's key; empty: the field is no column of the exports.
    std::string_view exportKey;
    // The exports' header, and the summary's group title (GBK); null: no column.
    const char* title;
    FieldFrom from;
    int record;     // Fields' place for FieldFrom::Record, else -1
    bool grouping;  // a summary can group by it
    bool cli;       // the command line can write it
    bool cliDefault;
    // The record's value in the address data's own fields.
    std::string ipdata::Fields::*member;
};

// The table, in FieldId order.
std::span<const FieldInfo> allFields();
const FieldInfo& fieldInfo(FieldId id);
// The field the command line names `key`.
const FieldInfo* fieldKeyed(std::string_view key);
// The command line's field names, space-separated, in the table's order (its help).
std::string cliFieldNames();
// The exports' columns: the fields with a title, in order; the list's two first, the
// reverse search's CIDR blocks last.
inline constexpr std::size_t kExportColumns = 18;
std::span<const FieldId> exportFields();
// The fields a summary groups by, in the order the choices are offered.
std::span<const FieldId> groupings();
// The record's fields of the address data's record, in a row's order.
FieldViews recordFields(const ipdata::Fields& fields);
// The same of a place's views; the fields a place does not hold (coordinates …) empty.
FieldViews recordFields(const ipdata::FieldViews& place);
// What the data says beyond the place's fields, as text into `fields`: coordinates in
// decimal degrees (the shortest text that reads back as the file's number), the time zone,
// postal code and continent. Fields the extras leave empty are not touched.
void addExtras(const ipdata::Extras& extras, Fields& fields);
// A coordinate as addExtras writes it.
std::string degreesText(double degrees);
