// The names come from the real data file's isp_domain values (IPv4 ranges name the Chinese
// operators short, "电信", "联通", "移动", "中移铁通"; IPv6 ranges in full, "中国电信") and
// the Latin names other files use. Product and network names that only one operator has
// ("中国电信CN2", "联通骨干网", "长城宽带") join their operator; regional companies
// ("河南广电") and names of one place ("电信机房") stay as they are.
#include "table/operators.h"

#include <cstddef>

namespace table {
namespace {

// UTF-8 whatever the compiler's execution character set: u8 literals, read as bytes.
std::string_view utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// Each group: its name first, then the other names of it.
constexpr std::u8string_view kTelecom[] = {u8"中国电信",     u8"电信",     u8"China Telecom",
                                           u8"ChinaTelecom", u8"Chinanet", u8"中国电信CN2",
                                           u8"CN2"};
// China Netcom joined China Unicom in 2008; older files still say 网通.
constexpr std::u8string_view kUnicom[] = {u8"中国联通",    u8"联通",        u8"China Unicom",
                                          u8"ChinaUnicom", u8"联通骨干网",  u8"中国网通",
                                          u8"网通",        u8"China Netcom"};
constexpr std::u8string_view kMobile[] = {u8"中国移动",    u8"移动",  u8"China Mobile",
                                          u8"ChinaMobile", u8"CMNET", u8"移动宽带"};
// China Mobile owns Tietong since 2008 and renamed it 中移铁通; the data and its users still
// tell the two apart, so it is a group of its own.
constexpr std::u8string_view kTietong[] = {u8"中国铁通", u8"铁通", u8"中移铁通", u8"China Tietong",
                                           u8"China Railcom"};
constexpr std::u8string_view kBroadnet[] = {u8"中国广电", u8"广电", u8"广电网", u8"广电网络",
                                            u8"China Broadnet"};
constexpr std::u8string_view kCernet[] = {u8"中国教育网",
                                          u8"教育网",
                                          u8"CERNET",
                                          u8"CERNET2",
                                          u8"中国教育和科研计算机网",
                                          u8"中国教育和科研计算机网(CERNET)",
                                          u8"教育网(CERNET)"};
constexpr std::u8string_view kCstnet[] = {u8"中国科技网", u8"科技网", u8"CSTNET"};
constexpr std::u8string_view kDrPeng[] = {u8"鹏博士",     u8"长城宽带",
                                          u8"鹏博士宽带", u8"鹏博士长城宽带",
                                          u8"鹏博士BGP",  u8"Great Wall Broadband",
                                          u8"GWBN",       u8"Dr.Peng"};
constexpr std::u8string_view kWasu[] = {u8"华数", u8"华数宽带"};
constexpr std::u8string_view kGehua[] = {u8"歌华有线", u8"歌华宽带"};

struct Group {
    const std::u8string_view* names;
    std::size_t count;
};
template <std::size_t N>
constexpr Group group(const std::u8string_view (&names)[N]) {
    return {names, N};
}
constexpr Group kGroups[] = {group(kTelecom),  group(kUnicom), group(kMobile), group(kTietong),
                             group(kBroadnet), group(kCernet), group(kCstnet), group(kDrPeng),
                             group(kWasu),     group(kGehua)};

char folded(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    return c == '_' ? ' ' : c;
}

// Bytes of a UTF-8 character beyond ASCII never fold, so this compares Chinese exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (folded(a[i]) != folded(b[i])) return false;
    return true;
}

}  // namespace

std::string_view operatorGroup(std::string_view name) {
    for (const Group& g : kGroups)
        for (std::size_t i = 0; i < g.count; ++i)
            if (sameName(name, utf8(g.names[i]))) return utf8(g.names[0]);
    return name;
}

}  // namespace table
