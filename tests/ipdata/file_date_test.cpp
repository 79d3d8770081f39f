// A data file's date from its first bytes: the ipdb build time and the asn.db header, and
// nothing from a start that does not hold one.
#include "ipdata/file_date.h"

#include <gtest/gtest.h>

#include <string>

#include "ipdata/asn_format.h"

namespace {

std::string ipdbHead(const std::string& json) {
    std::string head(4, '\0');
    head[2] = static_cast<char>(json.size() >> 8);
    head[3] = static_cast<char>(json.size() & 0xFF);
    return head + json + "tree";
}

std::string asnHead(std::uint32_t date, std::size_t size = ipdata::asnfile::kHeaderSize) {
    std::string head(ipdata::asnfile::kMagic);
    head.resize(size, '\0');
    for (int i = 0; i < 4 && ipdata::asnfile::kDate + i < size; ++i)
        head[ipdata::asnfile::kDate + i] = static_cast<char>(date >> (8 * i));
    return head;
}

TEST(FileDate, ReadsTheDateEachFormatKeeps) {
    struct Case {
        std::string head;
        const char* date;
    } cases[] = {
        {ipdbHead(R"({"build":1789565555,"fields":[]})"), "2026-09-16"},  // the shipped file
        {ipdbHead(R"({"build":951782400})"), "2000-02-29"},
        {ipdbHead(R"({"build":0})"), "1970-01-01"},
        {ipdbHead(R"({"fields":[]})"), ""},
        {ipdbHead(R"({"build":"soon"})"), ""},
        {ipdbHead("not json"), ""},
        {std::string("\0\0\x10\0{", 5), ""},  // metadata past the bytes read
        {asnHead(20260617), "2026-06-17"},
        {asnHead(0), ""},
        {asnHead(20261340), ""},
        {asnHead(20260617, 16), ""},  // a cut header
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ipdata::fileDate(c.head), c.date) << c.head;
}

}  // namespace
