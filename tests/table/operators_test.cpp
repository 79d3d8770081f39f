// One name per operator: the data's names of one operator group together, near names of
// other operators stay apart.
#include "table/operators.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

TEST(OperatorGroup, OneNamePerOperator) {
    const struct {
        std::u8string_view name;
        std::u8string_view group;
    } cases[] = {
        {u8"电信", u8"中国电信"},  // the IPv4 ranges' name
        {u8"中国电信", u8"中国电信"},
        {u8"CHINA TELECOM", u8"中国电信"},
        {u8"china_telecom", u8"中国电信"},
        {u8"ChinaNet", u8"中国电信"},
        {u8"联通", u8"中国联通"},
        {u8"网通", u8"中国联通"},
        {u8"China_Unicom", u8"中国联通"},
        {u8"移动", u8"中国移动"},
        {u8"中移铁通", u8"中国铁通"},
        {u8"铁通", u8"中国铁通"},
        {u8"广电网", u8"中国广电"},
        {u8"教育网", u8"中国教育网"},
        {u8"cernet", u8"中国教育网"},
        {u8"科技网", u8"中国科技网"},
        {u8"长城宽带", u8"鹏博士"},
        {u8"华数宽带", u8"华数"},
        // Other operators, and names that only start or end like one.
        {u8"电信通", u8"电信通"},
        {u8"中华电信", u8"中华电信"},
        {u8"电信机房", u8"电信机房"},
        {u8" 电信", u8" 电信"},
        {u8"China Telecom Global", u8"China Telecom Global"},
        {u8"河南广电", u8"河南广电"},
        {u8"Google LLC", u8"Google LLC"},
        {u8"", u8""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(table::operatorGroup(utf8(c.name)), utf8(c.group)) << utf8(c.name);
}

}  // namespace
