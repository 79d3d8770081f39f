// A record's fields from the address data. The one place that reads them out of a range's
// raw region text; when ipdata::Database hands them out itself, only this file changes.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

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
// The AS number and name join these once the ASN file is read beside the address data.

class FieldReader {
  public:
    // For the data file `bytes` (the file the database was opened over).
    explicit FieldReader(std::string_view bytes);
    // The range's fields, GBK, as views into range.region; empty where unknown.
    std::array<std::string_view, kRecordFields> fields(const ipdata::Range& range) const;

  private:
    char separator_ = '\t';
    bool zeroIsEmpty_ = false;  // ip2region writes "0" for a field it does not know
    std::vector<int> fieldAt_;  // per position in the region text: its RecordField, or -1
};

}  // namespace cli
