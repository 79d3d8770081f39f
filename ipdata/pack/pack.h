// Packs the network-number CSVs (start, end inclusive, AS number, organisation; one file
// per family) into asn.db (ipdata/asn_format.h). The rows are checked on the way; what
// the rule below mends or leaves out is counted, never silently.
//   - A row that does not parse (field count, an address of the other family, an AS
//     number that is not a 32-bit decimal, an organisation that is not UTF-8) is left out.
//   - A row whose start lies after its end is left out.
//   - Rows out of order are sorted by start.
//   - Where rows overlap, each address goes to the row that starts closest below it (the
//     narrower at equal starts, the later in the file for the same range): the more
//     specific announcement wins, as in routing. An earlier row is cut short, or split
//     round a row inside it; a row left with no address of its own is not packed.
//   - Control characters in an organisation become spaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace asnpack {

struct FamilyReport {
    std::size_t rows = 0;          // records read, header and empty lines aside
    std::size_t malformed = 0;     // left out: did not parse
    std::size_t reversed = 0;      // left out: start after end
    std::size_t unsorted = 0;      // starting below the row before them in the file
    std::size_t overlapping = 0;   // sharing addresses with a row before them, once sorted
    std::size_t hidden = 0;        // left with no address of their own
    std::size_t cleaned = 0;       // organisations with control characters replaced
    std::size_t firstBadLine = 0;  // the first malformed or reversed row's line, 0 if none
    std::size_t packed = 0;        // ranges written
};

struct Report {
    FamilyReport v4, v6;
    std::size_t entries = 0;      // distinct (AS number, organisation) pairs
    std::size_t stringBytes = 0;  // organisations once each, and the source
};

// The file's bytes. `source` says where the data comes from; `date` is yyyymmdd or 0.
std::string pack(std::string_view v4Csv, std::string_view v6Csv, std::string_view source,
                 std::uint32_t date, Report& report);

// "ipv4: 411961 rows, 411961 packed, ..." for the build's log and the README.
std::string describe(std::string_view family, const FamilyReport& report);

}  // namespace asnpack
