// asnpack's rule on generated CSVs, read back through the reader; and the reader's open
// against files damaged one field at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ipdata/asn.h"
#include "ipdata/asn_format.h"
#include "ipdata/pack/pack.h"

namespace {

namespace f = ipdata::asnfile;

// Every packed range as "first-last AS name", IPv4 then IPv6.
std::vector<std::string> rangesOf(const std::string& bytes) {
    ipdata::AsnError error;
    const auto db = ipdata::AsnDatabase::open(bytes, nullptr, error);
    if (!db) return {"refused " + std::string(ipdata::asnErrorName(error))};
    std::vector<std::string> out;
    for (const ip::Family family : {ip::Family::V4, ip::Family::V6}) {
        for (std::size_t i = 0; i < db->rangeCount(family); ++i) {
            const ipdata::AsnAnswer r = db->rangeAt(family, i);
            out.push_back(ip::formatAddress(r.first) + "-" + ip::formatAddress(r.last) + " " +
                          std::to_string(r.number) + " " + std::string(r.organisation));
        }
    }
    return out;
}

struct PackCase {
    const char* name;
    const char* v4;
    const char* v6;
    std::vector<std::string> ranges;
    // malformed, reversed, unsorted, overlapping, hidden, cleaned, first bad line (IPv4)
    std::vector<std::size_t> v4Counts;
};

TEST(AsnPack, RowsAreCheckedAndOverlapsResolved) {
    const std::vector<PackCase> cases = {
        {"clean rows, quoted names, CR LF and a byte-order mark",
         "\xEF\xBB\xBF"
         "1.0.0.0,1.0.0.255,13335,\"Cloudflare, Inc.\"\r\n"
         "1.0.4.0,1.0.7.255,38803,\"The \"\"Quoted\"\" One\"\r\n\r\n",
         "",
         {"1.0.0.0-1.0.0.255 13335 Cloudflare, Inc.", "1.0.4.0-1.0.7.255 38803 The \"Quoted\" One"},
         {0, 0, 0, 0, 0, 0, 0}},
        {"rows out of order are sorted",
         "9.0.0.0,9.0.0.9,3,C\n1.0.0.0,1.0.0.9,1,A\n5.0.0.0,5.0.0.9,2,B\n",
         "",
         {"1.0.0.0-1.0.0.9 1 A", "5.0.0.0-5.0.0.9 2 B", "9.0.0.0-9.0.0.9 3 C"},
         {0, 0, 1, 0, 0, 0, 0}},
        {"a later row cuts the one it overlaps short (the real data's one case)",
         "214.95.0.0,215.0.255.255,749,DoD\n215.0.0.0,215.1.3.255,721,DoD NIC\n",
         "",
         {"214.95.0.0-214.255.255.255 749 DoD", "215.0.0.0-215.1.3.255 721 DoD NIC"},
         {0, 0, 0, 1, 0, 0, 0}},
        {"a row inside another splits it; equal starts: the narrower first",
         "10.0.0.0,10.255.255.255,1,Wide\n10.0.0.0,10.0.0.255,2,Head\n"
         "10.1.0.0,10.1.255.255,3,Middle\n10.1.2.0,10.1.2.255,4,Deep\n",
         "",
         {"10.0.0.0-10.0.0.255 2 Head", "10.0.1.0-10.0.255.255 1 Wide",
          "10.1.0.0-10.1.1.255 3 Middle", "10.1.2.0-10.1.2.255 4 Deep",
          "10.1.3.0-10.1.255.255 3 Middle", "10.2.0.0-10.255.255.255 1 Wide"},
         {0, 0, 0, 3, 0, 0, 0}},
        {"the same range twice: the later row wins, the earlier is left with nothing",
         "1.2.3.0,1.2.3.255,1,Old\n1.2.3.0,1.2.3.255,2,New\n",
         "",
         {"1.2.3.0-1.2.3.255 2 New"},
         {0, 0, 0, 1, 1, 0, 0}},
        {"bad rows are left out and counted; a control character becomes a space",
         "1.0.0.0,1.0.0.9,1\n"               // line 1: three fields
         "::1,::2,1,Six\n"                   // the other family
         "1.0.1.0,1.0.1.9,AS5,Named\n"       // not a number
         "1.0.2.0,1.0.2.9,4294967296,Big\n"  // past 32 bits
         "1.0.3.9,1.0.3.0,6,Reversed\n"      // start after end
         "1.0.4.0,1.0.4.9,4294967295,\"Two\nLines\tTab\"\n"
         "1.0.5.0,1.0.5.9,7,\xFF\xFE\n",  // not UTF-8
         "",
         {"1.0.4.0-1.0.4.9 4294967295 Two Lines Tab"},
         {5, 1, 0, 0, 0, 1, 1}},
        {"IPv6 ends: the whole space, its last address, and one-address ranges",
         "0.0.0.0,0.0.0.0,1,Zero\n255.255.255.255,255.255.255.255,2,Top\n",
         "::,ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,10,All\n"
         "2001:db8::,2001:db8:0:0:ffff:ffff:ffff:ffff,11,Doc\n"
         "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ff00,ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff,12,End\n"
         "::ffff:1.2.3.4,::ffff:1.2.3.4,13,Mapped\n",
         {"0.0.0.0-0.0.0.0 1 Zero", "255.255.255.255-255.255.255.255 2 Top",
          "::-::ffff:1.2.3.3 10 All", "::ffff:1.2.3.4-::ffff:1.2.3.4 13 Mapped",
          "::ffff:1.2.3.5-2001:db7:ffff:ffff:ffff:ffff:ffff:ffff 10 All",
          "2001:db8::-2001:db8::ffff:ffff:ffff:ffff 11 Doc",
          "2001:db8:0:1::-ffff:ffff:ffff:ffff:ffff:ffff:ffff:feff 10 All",
          "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ff00-ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff 12 End"},
         {0, 0, 0, 0, 0, 0, 0}},
    };
    for (const PackCase& c : cases) {
        SCOPED_TRACE(c.name);
        asnpack::Report report;
        const std::string bytes = asnpack::pack(c.v4, c.v6, "test 1", 20260617, report);
        EXPECT_EQ(rangesOf(bytes), c.ranges);
        const asnpack::FamilyReport& r = report.v4;
        EXPECT_EQ((std::vector<std::size_t>{r.malformed, r.reversed, r.unsorted, r.overlapping,
                                            r.hidden, r.cleaned, r.firstBadLine}),
                  c.v4Counts);
    }
}

// A small sound file and the byte positions of its parts, to damage one at a time.
struct Sample {
    std::string bytes;
    std::size_t v4, v6, entries, strings;
};

Sample sample() {
    asnpack::Report report;
    Sample s;
    s.bytes = asnpack::pack("1.0.0.0,1.0.0.255,1,Ab\n2.0.0.0,2.0.0.255,2,\xC3\xA9t\xC3\xA9\n",
                            "2001:db8::,2001:db8::ff,3,Six\n", "src", 20260617, report);
    auto at = [&](std::size_t field) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s.bytes[field + i]);
        return static_cast<std::size_t>(v);
    };
    s.v4 = at(f::kV4Offset);
    s.v6 = at(f::kV6Offset);
    s.entries = at(f::kEntryOffset);
    s.strings = at(f::kStringOffset);
    return s;
}

void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

TEST(AsnOpen, DamagedFilesAreRefusedWithTheirReason) {
    const Sample good = sample();
    ipdata::AsnError error;
    const auto sound = ipdata::AsnDatabase::open(good.bytes, nullptr, error);
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->date(), 20260617u);
    EXPECT_EQ(sound->source(), "src");

    using E = ipdata::AsnError;
    struct Damage {
        const char* name;
        void (*apply)(std::string&, const Sample&);
        E expected;
    };
    const Damage damages[] = {
        {"empty", [](std::string& b, const Sample&) { b.clear(); }, E::kTooShort},
        {"cut in the header", [](std::string& b, const Sample&) { b.resize(63); }, E::kTooShort},
        {"an ipdb file", [](std::string& b, const Sample&) { b[0] = 0; }, E::kNotAsnFile},
        {"a text-mode copy", [](std::string& b, const Sample&) { b.erase(4, 1); }, E::kNotAsnFile},
        {"version 2", [](std::string& b, const Sample&) { put32(b, f::kFormatVersion, 2); },
         E::kUnknownVersion},
        {"cut at the end", [](std::string& b, const Sample&) { b.pop_back(); }, E::kBadHeader},
        {"bytes appended", [](std::string& b, const Sample&) { b += 'x'; }, E::kBadHeader},
        {"a count past the end",
         [](std::string& b, const Sample&) { put32(b, f::kV6Count, 0x10000000); },
         E::kSectionOutOfFile},
        {"a count that wraps in 32 bits",
         [](std::string& b, const Sample&) { put32(b, f::kEntryCount, 0x40000000); },
         E::kSectionOutOfFile},
        {"sections overlapping",
         [](std::string& b, const Sample& s) { put32(b, f::kV6Offset, s.v4 + 4); },
         E::kSectionOutOfFile},
        {"a section inside the header",
         [](std::string& b, const Sample&) { put32(b, f::kV4Offset, 8); }, E::kSectionOutOfFile},
        {"IPv4 ranges swapped",
         [](std::string& b, const Sample& s) {
             std::swap_ranges(&b[s.v4], &b[s.v4 + 12], &b[s.v4 + 12]);
         },
         E::kUnsortedRanges},
        {"an IPv4 range reversed", [](std::string& b, const Sample& s) { put32(b, s.v4 + 4, 0); },
         E::kUnsortedRanges},
        {"IPv4 ranges overlapping",
         [](std::string& b, const Sample& s) { put32(b, s.v4 + 12, 0x010000FF); },
         E::kUnsortedRanges},
        {"an IPv6 end below its start",
         [](std::string& b, const Sample& s) { b[s.v6 + 16 + 7] = 0; }, E::kUnsortedRanges},
        {"an entry past the table", [](std::string& b, const Sample& s) { put32(b, s.v6 + 32, 3); },
         E::kEntryOutOfTable},
        {"a name past the strings",
         [](std::string& b, const Sample& s) { put32(b, s.entries + 8, 0xFFFFFFF0); },
         E::kStringOutOfTable},
        {"a name splitting a character",
         [](std::string& b, const Sample& s) { put32(b, s.entries + 12 + 8, 1); },
         E::kStringOutOfTable},
        {"the source past the strings",
         [](std::string& b, const Sample&) { put32(b, f::kSourceLength, 1000); },
         E::kStringOutOfTable},
        {"a control character", [](std::string& b, const Sample& s) { b[s.strings] = '\t'; },
         E::kBadText},
        {"a byte that is no UTF-8", [](std::string& b, const Sample& s) { b[s.strings] = '\xC0'; },
         E::kBadText},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        std::string bytes = good.bytes;
        d.apply(bytes, good);
        EXPECT_FALSE(ipdata::AsnDatabase::open(bytes, nullptr, error));
        EXPECT_EQ(error, d.expected) << ipdata::asnErrorName(error);
    }
}

TEST(AsnFind, EveryAddressFindsTheRangeThatHoldsIt) {
    asnpack::Report report;
    // Ranges across 16-bit blocks (the lookup's first step), gaps, and the family ends.
    const std::string bytes = asnpack::pack(
        "0.0.0.0,0.0.0.255,1,A\n1.0.255.0,1.3.0.255,2,B\n1.3.1.0,1.3.1.0,3,C\n"
        "200.0.0.0,255.255.255.255,4,D\n",
        "::,::ff,5,E\n2001:db8::,2001:db9:1::,6,F\n", "src", 0, report);
    ipdata::AsnError error;
    std::string checked = bytes;
    const auto first = ipdata::AsnDatabase::open(checked, nullptr, error);
    ASSERT_TRUE(first) << ipdata::asnErrorName(error);
    // The same database at the second copy reads that one only, as it would a fresh view of
    // the mapping.
    const auto db = first->at(bytes, nullptr);
    ASSERT_TRUE(db);
    std::fill(checked.begin(), checked.end(), '\xFF');
    EXPECT_EQ(db->date(), 0u);
    EXPECT_EQ(db->source(), "src");
    EXPECT_EQ(db->find(*ip::parseAddress("1.3.1.0"))->organisation, "C");
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"0.0.0.0", 1},
        {"0.0.0.255", 1},
        {"0.0.1.0", 0},
        {"1.0.254.255", 0},
        {"1.0.255.0", 2},
        {"1.1.128.7", 2},
        {"1.2.0.0", 2},
        {"1.3.0.255", 2},
        {"1.3.1.0", 3},
        {"1.3.1.1", 0},
        {"199.255.255.255", 0},
        {"200.0.0.0", 4},
        {"255.255.255.255", 4},
        {"::", 5},
        {"::ff", 5},
        {"::100", 0},
        {"::ffff:0.0.0.0", 0},
        {"2001:db8::", 6},
        {"2001:db8:ffff::1", 6},
        {"2001:db9:1::", 6},
        {"2001:db9:1::1", 0},
        {"ffff::", 0},
    };
    for (const auto& [text, number] : cases) {
        SCOPED_TRACE(text);
        const auto answer = db->find(*ip::parseAddress(text));
        EXPECT_EQ(answer ? answer->number : 0, number);
    }
}

}  // namespace
