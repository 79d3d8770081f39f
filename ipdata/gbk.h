// UTF-8 to GBK for the many short records of the address data. The platform converters
// cost more per call than a record takes to read, so each database keeps its own table of
// the characters GBK holds, made once through those converters; whatever the table cannot
// answer alone (a character it does not hold, a combining mark, bytes that are no UTF-8)
// goes through utf8ToGbk, so the results are always utf8ToGbk's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ipdata {

class GbkEncoder {
  public:
    GbkEncoder();
    // As utf8ToGbk(utf8): a character GBK cannot hold becomes "?".
    std::string operator()(std::string_view utf8) const;
    // Appends instead; false (and nothing appended) when only utf8ToGbk can say.
    bool append(std::string_view utf8, std::string& out) const;

  private:
    // By code point from U+0080: a GBK pair as lead << 8 | trail, a single byte as itself,
    // 0 where the table does not know.
    std::vector<std::uint16_t> table_;
};

}  // namespace ipdata
