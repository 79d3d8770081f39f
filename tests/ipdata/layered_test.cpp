// Several location files as one: the first that places an address with a real record
// answers, coordinates come from the first that has them, a record that says nothing
// only bounds the range when nothing else places the address.
#include "ipdata/layered.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using ipdata::Place;

// A file of fixed answers by IPv4 address: fields (country, region) and, with `lat`,
// coordinates.
class Fixed final : public ipdata::Database {
  public:
    struct Entry {
        std::string country, region;
        std::optional<double> lat, lon;
    };
    explicit Fixed(std::map<std::uint32_t, Entry> entries) : entries_(std::move(entries)) {}

    std::optional<Place> locate(const ip::Address& a) const override {
        const auto at = entries_.find(a.v4Value());
        if (at == entries_.end()) return std::nullopt;
        Place p;
        p.first = p.last = a;
        p.fields[0] = at->second.country;
        p.fields[1] = at->second.region;
        p.record = at->second.country;
        p.handle = a.v4Value();
        return p;
    }
    ipdata::Extras extras(const ip::Address&, const Place& place) const override {
        ipdata::Extras e;
        const Entry& entry = entries_.at(place.handle);
        e.latitude = entry.lat;
        e.longitude = entry.lon;
        return e;
    }
    bool hasExtras() const override {
        for (const auto& [_, e] : entries_)
            if (e.lat) return true;
        return false;
    }
    void searchEach(const std::vector<std::string>&, const std::function<void(ipdata::Range&)>&,
                    const std::stop_token&) const override {}
    void searchWhere(const std::function<bool(const ipdata::FieldViews&)>&,
                     const std::function<void(ipdata::Range&)>&,
                     const std::stop_token&) const override {}
    std::size_t rangeCount() const override { return entries_.size(); }
    std::string_view formatName() const override { return "fixed"; }

  private:
    std::map<std::uint32_t, Entry> entries_;
};

TEST(Layered, TheFirstRealRecordAnswersAndCoordinatesComeFromTheFirstThatHasThem) {
    // 1: the first file names it, the second adds where; 2: only the second knows it;
    // 3: the first says nothing for it, the second names it; 4: nothing but an empty record.
    auto chinese = std::make_shared<Fixed>(std::map<std::uint32_t, Fixed::Entry>{
        {1, {"中国", "重庆", {}, {}}}, {3, {"", "", {}, {}}}, {4, {"", "", {}, {}}}});
    auto world = std::make_shared<Fixed>(
        std::map<std::uint32_t, Fixed::Entry>{{1, {"China", "Chongqing", 29.5, 106.5}},
                                              {2, {"Germany", "Hesse", 50.1, 8.7}},
                                              {3, {"Japan", "Tokyo", 35.7, 139.7}}});
    const ipdata::Layered both({chinese, world});
    EXPECT_TRUE(both.hasExtras());
    struct Case {
        std::uint32_t address;
        std::string_view country;
        std::uint8_t layer;
        std::optional<double> lat;
    } cases[] = {
        {1, "中国", 0, 29.5},
        {2, "Germany", 1, 50.1},
        {3, "Japan", 1, 35.7},
        {4, "", 0, std::nullopt},
    };
    for (const Case& c : cases) {
        const ip::Address a = ip::Address::v4(c.address);
        const std::optional<Place> place = both.locate(a);
        ASSERT_TRUE(place) << c.address;
        EXPECT_EQ(place->fields[0], c.country) << c.address;
        EXPECT_EQ(place->layer, c.layer) << c.address;
        EXPECT_EQ(both.extras(a, *place).latitude, c.lat) << c.address;
    }
    EXPECT_FALSE(both.locate(ip::Address::v4(5)));
    // The order is the user's: the world file first answers in its own words.
    const ipdata::Layered worldFirst({world, chinese});
    EXPECT_EQ(worldFirst.locate(ip::Address::v4(1))->fields[0], "China");
    EXPECT_EQ(worldFirst.rangeCount(), 3u);
}

}  // namespace
