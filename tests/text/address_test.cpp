// Address parsing, canonical text and the addresses found in free text, one table per rule.
#include "text/address.h"

#include <gtest/gtest.h>

namespace {

using ip::Address;

std::string canonical(std::string_view text) {
    auto a = ip::parseAddress(text);
    return a ? ip::formatAddress(*a) : "refused";
}

TEST(Address, ParseAndFormat) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"1.2.3.4", "1.2.3.4"},
        {" \t001.020.255.0\r\n", "1.20.255.0"},
        {"0.0.0.0", "0.0.0.0"},
        {"256.1.1.1", "refused"},
        {"1.2.3", "refused"},
        {"1.2.3.4.", "refused"},
        {"1.2.3.0004", "refused"},
        {"1.2. 3.4", "refused"},
        {"", "refused"},
        {"::", "::"},
        {"::1", "::1"},
        {"1::", "1::"},
        {" 2001:DB8:0:0:0:0:2:1 ", "2001:db8::2:1"},
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group stays
        {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1"},           // the longer run
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},     // the first of equal runs
        {"0:0:0:0:0:0:0:0", "::"},
        {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0"},
        {"::ffff:1.2.3.4", "::ffff:1.2.3.4"},
        {"::FFFF:0102:0304", "::ffff:1.2.3.4"},
        {"::1.2.3.4", "::102:304"},
        {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304"},
        {"0001:00:000:0000::", "1::"},
        {"1:2:3:4:5:6:7:8:9", "refused"},
        {"1:2:3:4:5:6:7", "refused"},
        {"1:2:3:4:5:6:7::8", "refused"},  // "::" must stand for a group
        {"1::2::3", "refused"},
        {":1::", "refused"},
        {"1::2:", "refused"},
        {":::1", "refused"},
        {"12345::", "refused"},
        {"1:2:3:4:5:6:7:1.2.3.4", "refused"},
        {"::1.2.3", "refused"},
        {"::1.2.3.4:5", "refused"},
        {"fe80::1%eth0", "refused"},
        {"[::1]", "refused"},
        {"::g", "refused"},
        {":", "refused"},
    };
    for (const auto& c : cases) EXPECT_EQ(canonical(c.text), c.shown) << c.text;
}

TEST(Address, OrderAndBits) {
    const Address v4 = *ip::parseAddress("255.255.255.255");
    const Address v6 = *ip::parseAddress("::");
    EXPECT_LT(v4, v6);  // IPv4 first, whatever the numbers
    EXPECT_LT(*ip::parseAddress("1.2.3.4"), *ip::parseAddress("1.2.3.5"));
    EXPECT_LT(*ip::parseAddress("::ffff"), *ip::parseAddress("1::"));
    EXPECT_EQ(ip::parseAddress("128.0.0.1")->bit(0), 1);
    EXPECT_EQ(ip::parseAddress("128.0.0.1")->bit(31), 1);
    EXPECT_EQ(ip::parseAddress("128.0.0.1")->bit(30), 0);
    EXPECT_EQ(ip::parseAddress("8000::1")->bit(0), 1);
    EXPECT_EQ(ip::parseAddress("8000::1")->bit(127), 1);
    EXPECT_EQ(Address::v6(1, 2), *ip::parseAddress("0:0:0:1:0:0:0:2"));
}

TEST(Address, Ranges) {
    const struct {
        const char* first;
        const char* last;
        const char* shown;
    } cases[] = {
        {"1.0.1.0", "1.0.3.255", "1.0.1.0-1.0.3.255"},
        {"1.0.0.0", "1.0.0.255", "1.0.0.0-1.0.0.255"},
        {"240e:1::", "240e:1:ffff:ffff:ffff:ffff:ffff:ffff", "240e:1::/32"},
        {"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "::/0"},
        {"2001:db8::1", "2001:db8::1", "2001:db8::1/128"},
        {"2001:db8::", "2001:db8:0:0:8000::", "2001:db8::-2001:db8:0:0:8000::"},
        {"2001:db8::1", "2001:db8::2", "2001:db8::1-2001:db8::2"},
        {"2001:db8::1:0", "2001:db8::2:ffff", "2001:db8::1:0-2001:db8::2:ffff"},  // two /112s
        {"8000::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "8000::/1"},
        {"::", "::ffff:ffff:ffff", "::/80"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ip::formatRange(*ip::parseAddress(c.first), *ip::parseAddress(c.last)), c.shown)
            << c.first;
}

TEST(Address, MappedStandsForIpv4) {
    const struct {
        const char* text;
        const char* unmapped;
        bool v4;
    } cases[] = {
        {"::ffff:218.70.0.1", "218.70.0.1", true},
        {"::FFFF:0:0", "0.0.0.0", true},
        {"::ffff:ffff:ffff", "255.255.255.255", true},
        {"218.70.0.1", "218.70.0.1", true},
        {"::218.70.0.1", "::da46:1", false},  // IPv4-compatible: stays IPv6
        {"::fffe:ffff:ffff", "::fffe:ffff:ffff", false},
        {"0:0:0:1:0:ffff:1.2.3.4", "::1:0:ffff:102:304", false},
        {"::1:ffff:1.2.3.4", "::1:ffff:102:304", false},
        {"64:ff9b::1.2.3.4", "64:ff9b::102:304", false},
    };
    for (const auto& c : cases) {
        const Address a = ip::unmapped(*ip::parseAddress(c.text));
        EXPECT_EQ(ip::formatAddress(a), c.unmapped) << c.text;
        EXPECT_EQ(a.isV4(), c.v4) << c.text;
    }
}

TEST(Address, FoundInText) {
    using List = std::vector<std::string>;
    const struct {
        std::string text;
        List found;
    } cases[] = {
        {"from 1.2.3.4 to 5.6.7.8, again 1.2.3.4", {"1.2.3.4", "5.6.7.8"}},
        {"11.2.3.45", {"11.2.3.45"}},
        {"version 1.2.3.4.5 and v1.2.3.4 and 1.2.3.4x", {}},
        {"Server at 001.002.003.004.", {"1.2.3.4"}},
        {"1.2.3.4:8080 ip:5.6.7.8 [9.9.9.9]", {"1.2.3.4", "5.6.7.8", "9.9.9.9"}},
        {"range 1.0.0.0-1.0.0.255;", {"1.0.0.0", "1.0.0.255"}},
        {"1.2.3.4/24,\"5.6.7.8\"\t9.8.7.256", {"1.2.3.4", "5.6.7.8"}},
        {"[2001:db8::1]:443 2001:DB8::1, (2001:db8::2).", {"2001:db8::1", "2001:db8::2"}},
        {"host 2001:db8::3: down; fe80::1%eth0", {"2001:db8::3", "fe80::1"}},
        {"::ffff:1.2.3.4 and 1.2.3.4", {"::ffff:1.2.3.4", "1.2.3.4"}},
        {"at 12:30:45, mac 00:1a:2b:3c:4d:5e, std::string, a :: b", {}},
        {"abc::1 cafe:1.2.3.4", {"abc::1", "1.2.3.4"}},
        {"地址是1.2.3.4。下一个：2001:db8::9", {"1.2.3.4", "2001:db8::9"}},
        // 癮 is B0 61: its trail byte is the letter a, and a boundary all the same.
        {"\xB0\x61"
         "1.2.3.4",
         {"1.2.3.4"}},
        {"x1.2.3.4 1.2.3.4_ _1.2.3.4", {}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ip::findAddresses(c.text), c.found) << c.text;
}

}  // namespace
