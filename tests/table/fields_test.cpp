// The table of fields: every name and place once, the record's members where a row keeps
// them, and the command line's names found back.
#include "table/fields.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FieldTable, EveryKeyTitleAndPlaceOnce) {
    std::set<std::string_view> keys, exportKeys, titles;
    std::set<int> places;
    for (const FieldInfo& f : allFields()) {
        EXPECT_TRUE(keys.insert(f.key).second) << f.key;
        // A column of the exports has its key and its title, or neither.
        EXPECT_EQ(f.exportKey.empty(), f.title == nullptr) << f.key;
        if (!f.exportKey.empty()) EXPECT_TRUE(exportKeys.insert(f.exportKey).second) << f.key;
        if (f.title) EXPECT_TRUE(titles.insert(f.title).second) << f.key;
        // The summary's box and the exports name a grouping by its title.
        if (f.grouping) EXPECT_NE(f.title, nullptr) << f.key;
        EXPECT_EQ(f.from == FieldFrom::Record, f.member != nullptr) << f.key;
        if (f.from == FieldFrom::Record) EXPECT_TRUE(places.insert(f.record).second) << f.key;
        if (f.cliDefault) EXPECT_TRUE(f.cli) << f.key;
        const FieldInfo* named = fieldKeyed(f.key);
        EXPECT_EQ(named ? named->id : f.id, f.id) << f.key;
        EXPECT_EQ(named != nullptr, f.cli) << f.key;
    }
    EXPECT_EQ(places.size(), kFieldCount);
    EXPECT_EQ(*places.rbegin(), static_cast<int>(kFieldCount) - 1);
    EXPECT_EQ(exportFields().size(), kExportColumns);
}

TEST(FieldTable, TheRecordsMembersLandInTheirPlaces) {
    const ipdata::Fields record{"country", "region", "city", "district", "owner", "isp", "code"};
    const FieldViews got = recordFields(record);
    const std::pair<Field, std::string_view> cases[] = {
        {Field::Country, "country"},   {Field::Region, "region"}, {Field::City, "city"},
        {Field::District, "district"}, {Field::Owner, "owner"},   {Field::Operator, "isp"},
        {Field::CountryCode, "code"}};
    for (const auto& [field, value] : cases) EXPECT_EQ(got[static_cast<std::size_t>(field)], value);
}

}  // namespace

// Degrees read back as the file's number, in the fewest digits: a single-precision value as
// the float it was, a double as itself; extras fill only what they say.
TEST(FieldTable, ExtrasBecomeFieldsInTheFewestDigits) {
    const std::pair<double, std::string_view> degrees[] = {
        {static_cast<double>(37.422f), "37.422"},
        {static_cast<double>(-122.085f), "-122.085"},
        {29.5628, "29.5628"},
        {106.5510025, "106.5510025"},  // a double no float holds
        {0, "0"},
        {-90, "-90"},
    };
    for (const auto& [value, text] : degrees) EXPECT_EQ(degreesText(value), text) << value;

    ipdata::Extras extras;
    extras.latitude = 29.5628;
    extras.longitude = 106.5528;
    extras.continent = "亚洲";
    Fields fields;
    fields[static_cast<std::size_t>(Field::TimeZone)] = "kept";
    addExtras(extras, fields);
    EXPECT_EQ(fields[static_cast<std::size_t>(Field::Latitude)], "29.5628");
    EXPECT_EQ(fields[static_cast<std::size_t>(Field::Longitude)], "106.5528");
    EXPECT_EQ(fields[static_cast<std::size_t>(Field::Continent)], "亚洲");
    EXPECT_EQ(fields[static_cast<std::size_t>(Field::TimeZone)], "kept");
    // Half a pair of coordinates is none.
    Fields half;
    ipdata::Extras latitudeOnly;
    latitudeOnly.latitude = 1.5;
    addExtras(latitudeOnly, half);
    EXPECT_EQ(half[static_cast<std::size_t>(Field::Latitude)], "");
}
