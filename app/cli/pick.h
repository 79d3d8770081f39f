// Which address of a line counts, for the lookup's answer and the summary's count alike:
// the first (as always), the N-th or the last, public ones only, in one column (whitespace-
// or comma-separated) or in one key of a JSON line; a W3C extended log's client address
// (c-ip) by itself.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/cli/lines.h"
#include "text/address.h"

namespace cli {

struct AddressChoice {
    std::size_t nth = 1;      // the N-th address (from 1) of what is searched
    bool last = false;        // the last one instead
    bool publicOnly = false;  // special-purpose addresses (ipdata/special.h) skipped
    std::size_t column = 0;   // 0: the whole line; else the N-th column (from 1)
    bool csv = false;         // columns are CSV fields (RFC 4180), not whitespace-separated
    std::string jsonKey;      // not empty: the string value of that key of a JSON line

    // No option given: the first address of the line, and a W3C header is followed.
    bool isDefault() const {
        return nth == 1 && !last && !publicOnly && column == 0 && jsonKey.empty();
    }
    // Whether a W3C header names the column: no column or key was chosen.
    bool followsW3c() const { return column == 0 && jsonKey.empty(); }
};

// What a W3C extended log's header line starts with.
inline constexpr std::string_view kW3cFields = "#Fields:";
// The column of c-ip (from 1) a W3C extended log's "#Fields:" line names; 0 when `line` is
// no such line or names none.
std::size_t w3cClientColumn(std::string_view line);
// The c-ip column in effect after `text`'s lines, `before` the one in effect before them.
std::size_t w3cColumnAfter(std::string_view text, std::size_t before);

class AddressPicker {
  public:
    explicit AddressPicker(AddressChoice choice) : choice_(std::move(choice)) {}
    // The address of `line` that counts; `w3c` the c-ip column in effect (0: none), which
    // a "#Fields:" line changes. A W3C directive line has none.
    std::optional<ip::Address> pick(std::string_view line, Encoding encoding, std::size_t& w3c);

  private:
    AddressChoice choice_;
    std::string scan_, value_;
};

// The column-th whitespace-separated (or CSV) field of `line`, as it lies there (a CSV
// field with its quotes); empty when the line has fewer.
std::string_view columnOf(std::string_view line, std::size_t column, bool csv);
// The string value of the top-level `key` of the JSON object `line`, unescaped (a
// character past ASCII written as \u becomes a space: no address holds one); nullopt when
// there is none or the value is no string.
std::optional<std::string> jsonValue(std::string_view line, std::string_view key);

}  // namespace cli
