#include "table/fields.h"

#include <algorithm>
#include <charconv>

#include "text/codepage.h"

namespace {

using F = FieldId;
using From = FieldFrom;
using R = ipdata::Fields;

// The titles are what the exports' header has always said; "isp" and "location" are the
// .jsonl export's keys from before the command line named them.
constexpr FieldInfo kFields[] = {
    {F::Ip, "ip", "ip", "IP", From::Row, -1, false, true, true, nullptr},
    {F::Answer, "answer", "location", "来自", From::Row, -1, false, true, true, nullptr},
    {F::Range, "range", "", nullptr, From::Range, -1, false, true, false, nullptr},
    {F::Country, "country", "country", "国家", From::Record, 0, true, true, true, &R::country},
    {F::Region, "region", "region", "省份", From::Record, 1, true, true, true, &R::region},
    {F::City, "city", "city", "城市", From::Record, 2, true, true, true, &R::city},
    {F::District, "district", "district", "区县", From::Record, 3, false, true, true, &R::district},
    {F::Owner, "owner", "owner", "所有者", From::Record, 4, false, true, true, &R::owner},
    {F::Operator, "operator", "isp", "运营商", From::Record, 5, true, true, true, &R::isp},
    {F::CountryCode, "country_code", "", nullptr, From::Record, 6, false, true, true,
     &R::countryCode},
    {F::Asn, "asn", "asn", "ASN", From::Network, -1, true, true, true, nullptr},
    {F::AsName, "as_name", "as_name", "AS名称", From::Network, -1, false, true, true, nullptr},
    {F::Latitude, "latitude", "latitude", "纬度", From::Record, 7, false, true, false,
     &R::latitude},
    {F::Longitude, "longitude", "longitude", "经度", From::Record, 8, false, true, false,
     &R::longitude},
    {F::TimeZone, "time_zone", "time_zone", "时区", From::Record, 9, false, true, false,
     &R::timeZone},
    {F::PostalCode, "postal_code", "postal_code", "邮编", From::Record, 10, false, true, false,
     &R::postalCode},
    {F::Continent, "continent", "continent", "大洲", From::Record, 11, false, true, false,
     &R::continent},
    {F::Hits, "hits", "hits", "次数", From::Row, -1, false, false, false, nullptr},
    {F::Source, "source", "source", "来源", From::Row, -1, false, false, false, nullptr},
    {F::Cidr, "cidr", "cidr", "CIDR", From::Range, -1, false, false, false, nullptr},
};

constexpr bool inIdOrder() {
    for (std::size_t i = 0; i < std::size(kFields); ++i)
        if (static_cast<std::size_t>(kFields[i].id) != i) return false;
    return true;
}

static_assert(inIdOrder());

constexpr bool exported(const FieldInfo& f) {
    return f.title != nullptr;
}
constexpr bool grouped(const FieldInfo& f) {
    return f.grouping;
}

// The ids of the fields `keep` takes, in order, as a fixed array.
template <bool (*Keep)(const FieldInfo&)>
constexpr auto idsWhere() {
    constexpr std::size_t n = [] {
        std::size_t count = 0;
        for (const FieldInfo& f : kFields) count += Keep(f) ? 1 : 0;
        return count;
    }();
    std::array<FieldId, n> ids{};
    std::size_t at = 0;
    for (const FieldInfo& f : kFields)
        if (Keep(f)) ids[at++] = f.id;
    return ids;
}
constexpr auto kExportIds = idsWhere<exported>();
constexpr auto kGroupingIds = idsWhere<grouped>();
static_assert(kExportIds.size() == kExportColumns && kExportIds[0] == F::Ip &&
              kExportIds[1] == F::Answer && kExportIds.back() == F::Cidr);

}  // namespace

std::span<const FieldInfo> allFields() {
    return kFields;
}

const FieldInfo& fieldInfo(FieldId id) {
    return kFields[static_cast<std::size_t>(id)];
}

const FieldInfo* fieldKeyed(std::string_view key) {
    const auto at = std::find_if(std::begin(kFields), std::end(kFields),
                                 [key](const FieldInfo& f) { return f.cli && f.key == key; });
    return at == std::end(kFields) ? nullptr : at;
}

std::string cliFieldNames() {
    std::string names;
    for (const FieldInfo& f : kFields) {
        if (!f.cli) continue;
        if (!names.empty()) names += ' ';
        names += f.key;
    }
    return names;
}

std::span<const FieldId> exportFields() {
    return kExportIds;
}

std::span<const FieldId> groupings() {
    return kGroupingIds;
}

FieldViews recordFields(const ipdata::FieldViews& place) {
    // The order ipdata::FieldViews lists a record's fields in.
    using R = ipdata::Fields;
    static constexpr std::string R::*kPlaceOrder[] = {
        &R::country, &R::region, &R::city, &R::district, &R::owner, &R::isp, &R::countryCode};
    static_assert(std::size(kPlaceOrder) == ipdata::kRecordFields);
    FieldViews views;
    for (const FieldInfo& f : kFields) {
        if (f.from != FieldFrom::Record) continue;
        const auto at = std::find(std::begin(kPlaceOrder), std::end(kPlaceOrder), f.member);
        if (at == std::end(kPlaceOrder)) continue;
        views[static_cast<std::size_t>(f.record)] =
            place[static_cast<std::size_t>(at - std::begin(kPlaceOrder))];
    }
    return views;
}

FieldViews recordFields(const ipdata::Fields& fields) {
    FieldViews views;
    for (const FieldInfo& f : kFields)
        if (f.from == FieldFrom::Record)
            views[static_cast<std::size_t>(f.record)] = fields.*f.member;
    return views;
}

std::string degreesText(double degrees) {
    char text[32];
    // A file that stores single precision (DB-IP's) says 37.422, not the 37.422000885009766
    // the same bits spell as a double: a number a float holds exactly is written as one.
    const auto single = static_cast<float>(degrees);
    const auto [end, error] = static_cast<double>(single) == degrees
                                  ? std::to_chars(text, text + sizeof text, single)
                                  : std::to_chars(text, text + sizeof text, degrees);
    return error == std::errc() ? std::string(text, end) : std::string();
}

void addExtras(const ipdata::Extras& extras, Fields& fields) {
    const auto put = [&fields](Field field, std::string_view value) {
        // A damaged file's bytes that are no UTF-8 become U+FFFD, as the other fields'.
        if (!value.empty()) fields[static_cast<std::size_t>(field)] = codepage::validUtf8(value);
    };
    if (extras.hasCoordinates()) {
        put(Field::Latitude, degreesText(*extras.latitude));
        put(Field::Longitude, degreesText(*extras.longitude));
    }
    put(Field::TimeZone, extras.timeZone);
    put(Field::PostalCode, extras.postalCode);
    put(Field::Continent, extras.continent);
}
