#include "app/cli/fields.h"

namespace cli {

std::array<std::string_view, kRecordFields> FieldReader::fields(const ipdata::Range& range) const {
    const ipdata::Fields& f = range.fields;
    return {f.country, f.region, f.city, f.district, f.owner, f.isp, f.countryCode};
}

}  // namespace cli
