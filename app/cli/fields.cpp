#include "app/cli/fields.h"

#include <cstdint>

#include "ipdata/json.h"

namespace cli {

FieldReader::FieldReader(std::string_view bytes) {
    // An ipdb record holds the fields its metadata names, in that order, tab-separated.
    if (bytes.size() > 4 && bytes[0] == 0 && bytes[4] == '{') {
        const std::uint32_t length =
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[0])) << 24 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[1])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2])) << 8 |
            static_cast<unsigned char>(bytes[3]);
        if (length <= bytes.size() - 4) {
            const auto meta = ipdata::json::parse(bytes.substr(4, length));
            const ipdata::json::Value* names = meta ? meta->member("fields") : nullptr;
            if (names) {
                static constexpr std::string_view kNames[kRecordFields] = {
                    "country_name", "region_name", "city_name",   "district_name",
                    "owner_domain", "isp_domain",  "country_code"};
                for (const ipdata::json::Value& name : names->items) {
                    int field = -1;
                    for (int f = 0; f < kRecordFields; ++f)
                        if (name.text == kNames[f]) field = f;
                    fieldAt_.push_back(field);
                }
                return;
            }
        }
    }
    // ip2region: "country|area|province|city|operator".
    separator_ = '|';
    zeroIsEmpty_ = true;
    fieldAt_ = {kCountry, -1, kRegion, kCity, kOperator};
}

std::array<std::string_view, kRecordFields> FieldReader::fields(const ipdata::Range& range) const {
    std::array<std::string_view, kRecordFields> out{};
    const std::string_view text = range.region;
    std::size_t from = 0;
    for (std::size_t position = 0; position < fieldAt_.size() && from <= text.size(); ++position) {
        std::size_t end = text.find(separator_, from);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view value = text.substr(from, end - from);
        if (fieldAt_[position] >= 0 && !(zeroIsEmpty_ && value == "0"))
            out[static_cast<std::size_t>(fieldAt_[position])] = value;
        from = end + 1;
    }
    return out;
}

}  // namespace cli
