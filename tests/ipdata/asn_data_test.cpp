// The real asn.db the build packed from data/asn/ (skipped when the data was not fetched),
// checked against the CSVs themselves, read here by a reading of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ipdata/asn.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string under(const char* variable, const std::string& path) {
    const char* root = std::getenv(variable);
    return root ? std::string(root) + "/" + path : path;
}

struct CsvRow {
    std::string first, last, organisation;
    std::uint32_t number;
};

// The rows as the package writes them: three plain fields, then the name, quoted when it
// holds a comma or a quote.
std::vector<CsvRow> readCsv(const std::string& text) {
    std::vector<CsvRow> rows;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t a = line.find(','), b = line.find(',', a + 1), c = line.find(',', b + 1);
        std::string name = line.substr(c + 1);
        if (name.size() >= 2 && name.front() == '"') {
            name = name.substr(1, name.size() - 2);
            for (std::size_t at = 0; (at = name.find("\"\"", at)) != std::string::npos; ++at)
                name.erase(at, 1);
        }
        rows.push_back({line.substr(0, a), line.substr(a + 1, b - a - 1), name,
                        static_cast<std::uint32_t>(std::stoul(line.substr(b + 1, c - b - 1)))});
    }
    return rows;
}

class AsnData : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes_ = readAll(under("VERDALO_BINARY_DIR", "data/asn.db"));
        if (bytes_.empty()) GTEST_SKIP() << "no data/asn.db: run scripts/install-deps.sh";
        ipdata::AsnError error;
        db_ = ipdata::AsnDatabase::open(bytes_, nullptr, error);
        ASSERT_TRUE(db_) << ipdata::asnErrorName(error);
    }
    std::string bytes_;
    std::unique_ptr<ipdata::AsnDatabase> db_;
};

TEST_F(AsnData, EachPackedRangeReadsAsItselfAtBothEnds) {
    for (const ip::Family family : {ip::Family::V4, ip::Family::V6}) {
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < db_->rangeCount(family); ++i) {
            const ipdata::AsnAnswer range = db_->rangeAt(family, i);
            for (const ip::Address& end : {range.first, range.last}) {
                const auto found = db_->find(end);
                if (!found || found->first != range.first || found->last != range.last ||
                    found->number != range.number || found->organisation != range.organisation)
                    ++wrong;
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

TEST_F(AsnData, EachCsvRowGivesItsOwnNumberAndName) {
    // The one overlap of this data: 214.95.0.0-215.0.255.255 (AS749) runs into
    // 215.0.0.0-215.1.3.255 (AS721), which takes the shared part.
    const struct {
        const char* file;
        std::size_t rows;
        std::vector<std::string> notOwn;
    } files[] = {{"data/asn/asn-ipv4.csv", 411961, {"215.0.255.255"}},
                 {"data/asn/asn-ipv6.csv", 103197, {}}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.file);
        const std::vector<CsvRow> rows = readCsv(readAll(under("VERDALO_SOURCE_DIR", file.file)));
        ASSERT_EQ(rows.size(), file.rows);
        std::vector<std::string> notOwn;
        for (const CsvRow& row : rows) {
            for (const std::string& end : {row.first, row.last}) {
                const auto found = db_->find(*ip::parseAddress(end));
                if (!found || found->number != row.number ||
                    found->organisation != row.organisation)
                    notOwn.push_back(end);
            }
        }
        EXPECT_EQ(notOwn, file.notOwn);
    }
}

TEST_F(AsnData, KnownAddressesAndTheFilesOrigin) {
    const struct {
        const char* address;
        std::uint32_t number;
        const char* organisation;
    } cases[] = {{"218.70.0.1", 4134, "Chinanet"},
                 {"8.8.8.8", 15169, "Google LLC"},
                 {"1.0.0.1", 13335, "Cloudflare, Inc."},
                 {"2001:200:1ba::53", 24047, "Internet Systems Consortium, Inc."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const auto found = db_->find(*ip::parseAddress(c.address));
        ASSERT_TRUE(found);
        EXPECT_EQ(found->number, c.number);
        EXPECT_EQ(found->organisation, c.organisation);
    }
    EXPECT_FALSE(db_->find(*ip::parseAddress("10.0.0.1")));
    EXPECT_EQ(db_->date(), 20260617u);
    EXPECT_EQ(db_->source(), "@ip-location-db/asn 2.3.2026061719");
}

}  // namespace
