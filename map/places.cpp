#include "map/places.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

namespace geo {
namespace {

// Each province by its seat.
constexpr std::array<KnownPlace, 34> kProvinces{{
    {"北京", {116.407, 39.904}}, {"天津", {117.201, 39.084}},   {"河北", {114.515, 38.042}},
    {"山西", {112.549, 37.870}}, {"内蒙古", {111.749, 40.842}}, {"辽宁", {123.431, 41.805}},
    {"吉林", {125.324, 43.817}}, {"黑龙江", {126.535, 45.803}}, {"上海", {121.474, 31.230}},
    {"江苏", {118.797, 32.060}}, {"浙江", {120.155, 30.274}},   {"安徽", {117.227, 31.821}},
    {"福建", {119.296, 26.074}}, {"江西", {115.858, 28.682}},   {"山东", {117.120, 36.651}},
    {"河南", {113.625, 34.746}}, {"湖北", {114.305, 30.593}},   {"湖南", {112.939, 28.228}},
    {"广东", {113.264, 23.129}}, {"广西", {108.367, 22.817}},   {"海南", {110.199, 20.044}},
    {"重庆", {106.551, 29.563}}, {"四川", {104.066, 30.573}},   {"贵州", {106.630, 26.647}},
    {"云南", {102.718, 25.038}}, {"西藏", {91.172, 29.652}},    {"陕西", {108.940, 34.341}},
    {"甘肃", {103.834, 36.061}}, {"青海", {101.778, 36.617}},   {"宁夏", {106.231, 38.487}},
    {"新疆", {87.617, 43.825}},  {"香港", {114.169, 22.320}},   {"澳门", {113.544, 22.199}},
    {"台湾", {121.565, 25.033}},
}};

// Each country by its capital.
constexpr std::array<KnownPlace, 42> kCountries{{
    {"美国", {-77.037, 38.907}},      {"日本", {139.692, 35.690}},
    {"韩国", {126.978, 37.567}},      {"朝鲜", {125.763, 39.039}},
    {"俄罗斯", {37.617, 55.756}},     {"英国", {-0.128, 51.507}},
    {"法国", {2.352, 48.857}},        {"德国", {13.405, 52.520}},
    {"荷兰", {4.895, 52.370}},        {"新加坡", {103.820, 1.352}},
    {"印度", {77.209, 28.614}},       {"澳大利亚", {149.130, -35.281}},
    {"加拿大", {-75.697, 45.421}},    {"巴西", {-47.882, -15.794}},
    {"越南", {105.854, 21.028}},      {"泰国", {100.502, 13.756}},
    {"马来西亚", {101.687, 3.139}},   {"印度尼西亚", {106.846, -6.208}},
    {"菲律宾", {120.984, 14.600}},    {"蒙古", {106.906, 47.886}},
    {"哈萨克斯坦", {71.449, 51.169}}, {"巴基斯坦", {73.048, 33.684}},
    {"意大利", {12.496, 41.903}},     {"西班牙", {-3.704, 40.417}},
    {"南非", {28.229, -25.747}},      {"墨西哥", {-99.133, 19.433}},
    {"阿根廷", {-58.382, -34.604}},   {"埃及", {31.236, 30.044}},
    {"土耳其", {32.860, 39.934}},     {"乌克兰", {30.523, 50.450}},
    {"瑞典", {18.069, 59.329}},       {"波兰", {21.012, 52.230}},
    {"新西兰", {174.776, -41.287}},   {"阿联酋", {54.377, 24.454}},
    {"沙特阿拉伯", {46.675, 24.713}}, {"伊朗", {51.389, 35.689}},
    {"缅甸", {96.079, 19.763}},       {"老挝", {102.633, 17.975}},
    {"柬埔寨", {104.928, 11.556}},    {"尼泊尔", {85.324, 27.717}},
    {"瑞士", {7.447, 46.948}},        {"爱尔兰", {-6.260, 53.350}},
}};

// A province's name may carry its suffix ("广西壮族自治区", "重庆市") and no province's name
// starts another's; a country's must be whole ("印度尼西亚" is not "印度").
template <std::size_t N>
std::optional<KnownPlace> named(const std::array<KnownPlace, N>& places, std::string_view name,
                                bool whole) {
    const auto found = std::find_if(places.begin(), places.end(), [&](const KnownPlace& p) {
        return whole ? name == p.label : name.starts_with(p.label);
    });
    if (found == places.end()) return std::nullopt;
    return *found;
}

// The whole text as a number of degrees within `limit` either way.
std::optional<double> degrees(std::string_view text, double limit) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    if (!(value >= -limit && value <= limit)) return std::nullopt;  // NaN too
    return value;
}

}  // namespace

std::optional<Located> placeByCoordinates(const PlaceFields& fields) {
    const std::optional<double> lat = degrees(fields.latitude, 90);
    const std::optional<double> lon = degrees(fields.longitude, 180);
    if (!lat || !lon) return std::nullopt;
    // The place as a user reads it: its country, region and city, each once.
    std::string label;
    for (const std::string_view part : {fields.country, fields.region, fields.city}) {
        if (part.empty() || label.find(part) != std::string::npos) continue;
        if (!label.empty()) label += ' ';
        label += part;
    }
    if (label.empty()) label = fields.text;
    return Located{label, {*lon, *lat}};
}

std::optional<Located> placeByName(const PlaceFields& fields) {
    const auto known = knownPlace(fields.country, fields.region);
    if (!known) return std::nullopt;
    return Located{std::string(known->label), known->at};
}

std::optional<Located> placeOf(const PlaceFields& fields) {
    if (fields.latitude.empty() && fields.longitude.empty()) return placeByName(fields);
    return placeByCoordinates(fields);
}

std::optional<KnownPlace> knownPlace(std::string_view country, std::string_view region) {
    if (country == "中国" || country.empty()) return named(kProvinces, region, false);
    // Hong Kong, Macao and Taiwan sometimes come as the country.
    if (auto province = named(kProvinces, country, true)) return province;
    return named(kCountries, country, true);
}

}  // namespace geo
