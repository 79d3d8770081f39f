// A record's fields from the address data, in the order the command line names them.
#pragma once

#include <array>
#include <string_view>

#include "ipdata/ipdata.h"

namespace cli {

enum RecordField {
    kCountry,
    kRegion,
    kCity,
    kDistrict,
    kOwner,
    kOperator,
    kCountryCode,
    kRecordFields
};

class FieldReader {
  public:
    // The range's fields, GBK, as views into range.fields; empty where unknown.
    std::array<std::string_view, kRecordFields> fields(const ipdata::Range& range) const;
};

}  // namespace cli
