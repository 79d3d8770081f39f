// One name per operator, for counting and grouping answers: the data names one operator in
// several ways (its IPv4 ranges "电信", its IPv6 ranges "中国电信"; Latin names in some
// records), and a summary must count those as one.
#pragma once

#include <string_view>

namespace table {

// The group `name` (UTF-8, an operator as a data file gives it) belongs to, by its first
// name ("电信", "China Telecom" and "CHINANET" give "中国电信"); `name` itself when it names
// no operator we group. Latin letters match in either case and '_' as a space ("China_Unicom").
// Only whole names match: "电信通" and "中华电信" are other operators.
std::string_view operatorGroup(std::string_view name);

}  // namespace table
