#include "ipdata/file_date.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "ipdata/asn_format.h"
#include "ipdata/ipdata.h"
#include "ipdata/json.h"
#include "text/bytes.h"

namespace ipdata {

namespace {

std::string dayText(int year, unsigned month, unsigned day) {
    if (year < 1970 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", year, month, day);
    return text;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
std::string dayOf(std::uint64_t seconds) {
    const std::int64_t z = static_cast<std::int64_t>(seconds / 86400) + 719468;
    const std::int64_t era = z / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const auto y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    return dayText(y, m, d);
}

// The number of up to `most` digits at the start of `text`, which is moved past them and
// past `unit`; nullopt when either is not there.
std::optional<unsigned> numberBefore(std::string_view& text, std::size_t most,
                                     std::string_view unit) {
    std::size_t n = 0;
    unsigned value = 0;
    while (n < text.size() && n < most && text[n] >= '0' && text[n] <= '9')
        value = value * 10 + static_cast<unsigned>(text[n++] - '0');
    if (n == 0 || !text.substr(n).starts_with(unit)) return std::nullopt;
    text.remove_prefix(n + unit.size());
    return value;
}

}  // namespace

std::string versionDate(std::string_view text) {
    if (!isVersionStamp(text)) return {};
    // The stamp's date: four digits before "年", then the month and the day.
    for (std::size_t at = text.find("年"); at != std::string_view::npos;
         at = text.find("年", at + 1)) {
        if (at < 4) continue;
        std::string_view rest = text.substr(at - 4);
        const std::optional<unsigned> year = numberBefore(rest, 4, "年");
        const std::optional<unsigned> month = year ? numberBefore(rest, 2, "月") : std::nullopt;
        const std::optional<unsigned> day = month ? numberBefore(rest, 2, "日") : std::nullopt;
        if (day) return dayText(static_cast<int>(*year), *month, *day);
    }
    return {};
}

std::string versionDateOfFile(std::string_view bytes) {
    const std::optional<std::string> version = qqwryVersion(bytes);
    return version ? versionDate(*version) : std::string();
}

std::string fileDate(std::string_view head) {
    if (head.substr(0, asnfile::kMagic.size()) == asnfile::kMagic) {
        if (head.size() < asnfile::kHeaderSize) return {};
        const std::uint32_t date = le::u32(head, asnfile::kDate);
        return dayText(static_cast<int>(date / 10000), date / 100 % 100, date % 100);
    }
    // ipdb: a big-endian length, then that much JSON metadata.
    if (head.size() < 4) return {};
    const std::size_t length = be::u32(head, 0);
    if (length > head.size() - 4) return {};
    const std::optional<json::Value> meta = json::parse(head.substr(4, length));
    if (!meta || meta->kind != json::Value::Kind::Object) return {};
    const json::Value* build = meta->member("build");
    if (!build || !build->integer) return {};
    return dayOf(*build->integer);
}

}  // namespace ipdata
