// The map engine: projections of known places, the frame, dots by count, the hit test, the
// tally by place, the SVG and PNG writers, and the SVG as a real browser draws it.
#include "map/map.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <regex>
#include <string>

#include "map/list_map.h"
#include "map/places.h"
#include "map/raster.h"
#include "map/svg.h"
#include "map/tally.h"

namespace geo {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(MapProjection, KnownPlaces) {
    struct Case {
        const char* name;
        LonLat at;
        Point equirectangular, naturalEarth;
    };
    // Natural Earth: the equator 0.8707 of the equirectangular width, the poles lines at
    // y 1.4224 half as long as the equator.
    const Case cases[] = {
        {"Greenwich", {0, 51.4779}, {0, 0.898459}, {0, 0.904066}},
        {"Beijing", {116.407, 39.904}, {2.031685, 0.696456}, {1.632511, 0.704052}},
        {"Chongqing", {106.551, 29.563}, {1.859666, 0.515972}, {1.552060, 0.521410}},
        {"date line east", {180, 0}, {kPi, 0}, {2.735385, 0}},
        {"date line west", {-180, 0}, {-kPi, 0}, {-2.735385, 0}},
        {"north pole", {90, 90}, {kPi / 2, kPi / 2}, {0.752778, 1.422391}},
        {"south pole", {-90, -90}, {-kPi / 2, -kPi / 2}, {-0.752778, -1.422391}},
        {"past the pole clamps", {200, 95}, {kPi, kPi / 2}, {1.505556, 1.422391}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Point e = project(Projection::Equirectangular, c.at);
        EXPECT_NEAR(e.x, c.equirectangular.x, 1e-5);
        EXPECT_NEAR(e.y, c.equirectangular.y, 1e-5);
        const Point n = project(Projection::NaturalEarth, c.at);
        EXPECT_NEAR(n.x, c.naturalEarth.x, 1e-5);
        EXPECT_NEAR(n.y, c.naturalEarth.y, 1e-5);
    }
}

TEST(MapFrame, PlacesLandWhereTheyBelongInEachExtent) {
    struct Case {
        Extent extent;
        Projection projection;
    };
    for (const Case c : {Case{Extent::World, Projection::NaturalEarth},
                         Case{Extent::World, Projection::Equirectangular},
                         Case{Extent::China, Projection::NaturalEarth}}) {
        const Frame frame(c.extent, c.projection, 800);
        const Point beijing = frame.toPixel({116.407, 39.904});
        const Point chongqing = frame.toPixel({106.551, 29.563});
        EXPECT_TRUE(frame.contains(beijing));
        // North is up, east is right.
        EXPECT_LT(beijing.y, chongqing.y);
        EXPECT_GT(beijing.x, chongqing.x);
        const Box box = boxOf(c.extent);
        for (const LonLat corner : {LonLat{box.west, box.north}, LonLat{box.east, box.south}})
            EXPECT_TRUE(frame.contains(frame.toPixel(corner)));
    }
    const Frame world(Extent::World, Projection::Equirectangular, 736);
    EXPECT_EQ(world.height(), 376);  // 720 by 360 within an 8-pixel margin
    EXPECT_NEAR(world.toPixel({0, 0}).x, 368, 1e-9);
    EXPECT_NEAR(world.toPixel({-180, 90}).x, 8, 1e-9);
    EXPECT_NEAR(world.toPixel({-180, 90}).y, 8, 1e-9);
    const Frame tiny(Extent::World, Projection::NaturalEarth, 0);
    EXPECT_LT(tiny.toPixel({-10, 0}).x, tiny.toPixel({10, 0}).x);
    EXPECT_GT(tiny.height(), 0);
    const Frame china(Extent::China, Projection::NaturalEarth, 800);
    EXPECT_FALSE(china.contains(china.toPixel({-0.128, 51.507})));  // London
}

TEST(MapDots, AreaByCountLargestFirstSmallestAtLeastTheMinimum) {
    const Frame frame(Extent::World, Projection::NaturalEarth, 1000);
    const std::vector<Place> places{
        {{116.4, 39.9}, "北京", 100, 0}, {{106.5, 29.6}, "重庆", 25, 1},
        {{121.5, 31.2}, "上海", 1, 0},   {{-77.0, 38.9}, "美国", 0, 2},
        {{120, 30}, "杭州", 25, 1},
    };
    const std::vector<Dot> dots = layDots(frame, places);
    ASSERT_EQ(dots.size(), 4u);  // no dot for no addresses
    EXPECT_EQ(places[dots[0].place].label, "北京");
    EXPECT_DOUBLE_EQ(dots[0].radius, kMaxRadius);
    // Equal counts by name, so that the same list gives the same picture.
    EXPECT_EQ(places[dots[1].place].label, "杭州");
    EXPECT_EQ(places[dots[2].place].label, "重庆");
    EXPECT_NEAR(dots[2].radius * dots[2].radius / (dots[0].radius * dots[0].radius), 0.25, 1e-9);
    EXPECT_EQ(places[dots[3].place].label, "上海");
    EXPECT_DOUBLE_EQ(dots[3].radius, kMinRadius);

    const Frame china(Extent::China, Projection::NaturalEarth, 1000);
    const std::vector<Place> far{{{-0.1, 51.5}, "英国", 5, 0}, {{116.4, 39.9}, "北京", 1, 0}};
    const std::vector<Dot> near = layDots(china, far);
    ASSERT_EQ(near.size(), 1u);
    EXPECT_EQ(near[0].place, 1u);
    EXPECT_DOUBLE_EQ(near[0].radius, kMaxRadius * std::sqrt(0.2));
}

TEST(MapDots, HitTestFindsTheDotDrawnOnTop) {
    const std::vector<Dot> dots{{{100, 100}, 20, 0}, {{110, 100}, 5, 1}};
    struct Case {
        Point at;
        std::optional<std::size_t> dot;
    };
    for (const Case c :
         {Case{{110, 100}, 1}, Case{{114.9, 100}, 1}, Case{{116, 100}, 0}, Case{{100, 120}, 0},
          Case{{100, 120.1}, std::nullopt}, Case{{0, 0}, std::nullopt}}) {
        SCOPED_TRACE(c.at.x);
        EXPECT_EQ(hitTest(dots, c.at), c.dot);
    }
    EXPECT_EQ(hitTest({}, {0, 0}), std::nullopt);

    MapData data;
    data.places = {{{0, 0}, "北京", 3, 0}};
    data.addresses = 12;
    const Hover hover = hoverOf(data, dots[0]);
    EXPECT_EQ(hover.label, "北京");
    EXPECT_DOUBLE_EQ(hover.share, 0.25);
    EXPECT_EQ(hoverText(hover), "北京: 3 个地址 (25.0%)");
    data.addresses = 0;
    EXPECT_EQ(hoverOf(data, dots[0]).share, 0);
}

TEST(MapTally, EachPlaceTakesTheColourOfItsLargestGroup) {
    PlaceTally tally;
    const Located beijing{"北京", {116.4, 39.9}}, chongqing{"重庆", {106.5, 29.6}};
    tally.add(beijing, "联通", 2);
    tally.add(beijing, "电信", 3);
    tally.add(chongqing, "联通", 4);
    tally.add(chongqing, "", 1);
    tally.add(std::nullopt, "电信", 5);
    const MapData data = tally.data();
    EXPECT_EQ(data.addresses, 15u);
    EXPECT_EQ(data.withoutCoordinates, 5u);
    ASSERT_EQ(data.groups, (std::vector<std::string>{"电信", "联通"}));
    ASSERT_EQ(data.places.size(), 2u);
    EXPECT_EQ(data.places[0].label, "北京");
    EXPECT_EQ(data.places[0].count, 5u);
    EXPECT_EQ(data.places[0].group, 0u);
    EXPECT_EQ(data.places[1].group, 1u);

    // Past the palette the smallest groups are one grey 其他.
    PlaceTally many;
    for (int i = 0; i < 12; ++i)
        many.add(Located{"p" + std::to_string(i), {0, 0}}, "g" + std::to_string(i), 20 - i);
    const MapData crowded = many.data();
    ASSERT_EQ(crowded.groups.size(), kPalette.size());
    EXPECT_EQ(crowded.groups.back(), kOtherGroup);
    EXPECT_EQ(crowded.groups.front(), "g0");
    EXPECT_EQ(crowded.places[11].label, "p9");                // by label: p0 p1 p10 p11 p2 ...
    EXPECT_EQ(crowded.places[2].group, kPalette.size() - 1);  // p10
    EXPECT_EQ(colourOf(99).r, kPalette.back().r);
}

TEST(MapPlaces, ProvincesBySeatCountriesByCapital) {
    struct Case {
        const char* country;
        const char* region;
        const char* label;  // nullptr: unknown
    };
    const Case cases[] = {
        {"中国", "北京", "北京"},
        {"中国", "广西壮族自治区", "广西"},
        {"中国", "内蒙古自治区", "内蒙古"},
        {"中国", "重庆市", "重庆"},
        {"中国", "", nullptr},
        {"中国", "火星", nullptr},
        {"香港", "", "香港"},
        {"美国", "加利福尼亚州", "美国"},
        {"印度尼西亚", "", "印度尼西亚"},
        {"印度", "", "印度"},
        {"IANA", "", nullptr},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.country) + "/" + c.region);
        const auto found = knownPlace(c.country, c.region);
        ASSERT_EQ(found.has_value(), c.label != nullptr);
        if (found) {
            EXPECT_EQ(found->label, c.label);
        }
    }
    EXPECT_NEAR(knownPlace("中国", "重庆")->at.lon, 106.55, 0.01);
}

// The one rule the window and `verdalo-cli map` place an answer by.
TEST(MapPlaces, FieldsToAPlace) {
    struct Case {
        PlaceFields fields;
        const char* label;  // nullptr: no place
        double lon, lat;
    };
    const Case cases[] = {
        // Each part once, in the order country, region, city.
        {{"中国", "北京", "北京", "39.9042", "116.407", "北京 联通"},
         "中国 北京",
         116.407,
         39.9042},
        {{"中国", "北京市", "北京", "39.9", "116.4", ""}, "中国 北京市", 116.4, 39.9},
        {{"美国", "加利福尼亚州", "山景城", "37.4", "-122.1", ""},
         "美国 加利福尼亚州 山景城",
         -122.1,
         37.4},
        // Nothing to name it by but the answer; the poles and the date line are places.
        {{"", "", "", "-90", "180", "某地"}, "某地", 180, -90},
        // Bad coordinates place nothing, not even by the name.
        {{"中国", "北京", "", "91", "116", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "39.9", "-180.5", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "nan", "116", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "39.9", "inf", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "39.9 ", "116", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "+39.9", "116", ""}, nullptr, 0, 0},
        {{"中国", "北京", "", "39.9", "", ""}, nullptr, 0, 0},
        // No coordinates at all: the name's seat.
        {{"中国", "北京", "朝阳", "", "", ""}, "北京", 116.407, 39.904},
        {{"日本", "东京都", "", "", "", ""}, "日本", 139.692, 35.690},
        {{"IANA", "", "", "", "", "保留地址"}, nullptr, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fields.latitude) + "," + std::string(c.fields.longitude) + " " +
                     std::string(c.fields.country) + std::string(c.fields.region));
        const auto place = placeOf(c.fields);
        ASSERT_EQ(place.has_value(), c.label != nullptr);
        if (!place) continue;
        EXPECT_EQ(place->label, c.label);
        EXPECT_NEAR(place->at.lon, c.lon, 1e-9);
        EXPECT_NEAR(place->at.lat, c.lat, 1e-9);
    }
    // Each rule alone, as the command line picks one by its data.
    EXPECT_FALSE(placeByCoordinates({"中国", "北京", "", "", "", ""}));
    EXPECT_FALSE(placeByName({"", "", "", "39.9", "116.4", "x"}));
}

// The window's list to its map: alike rows counted once per kind whether or not they come
// together, each place in its leading group's colour, rows the rule cannot place counted.
TEST(MapList, RowsByPlaceColouredByTheWindowsGroup) {
    const auto answer = [](const char* region, const char* lat, const char* lon, const char* isp,
                           std::uint32_t asn) {
        Answer a(std::string(region) + " " + isp, Source::DataFile,
                 Fields{"中国", region, region, "", "", isp, "CN", lat, lon});
        if (asn) a.network = Network{asn, "NET" + std::to_string(asn)};
        return a;
    };
    RowStore rows;
    const Answer beijingUnicom = answer("北京", "39.9", "116.4", "联通", 4837);
    const Answer beijingTelecom = answer("北京", "39.9", "116.4", "电信", 4134);
    const Answer chongqingByName = answer("重庆", "", "", "电信", 4134);
    const Answer badPoint = answer("上海", "95", "121.5", "电信", 4134);
    for (const Answer* a : {&beijingUnicom, &beijingTelecom, &beijingUnicom, &chongqingByName,
                            &beijingUnicom, &badPoint, &chongqingByName})
        rows.push("1.1.1.1", *a);
    rows.push("2.2.2.2");  // not answered
    struct Case {
        FieldId by;
        std::vector<std::string> groups;
    };
    const Case cases[] = {
        {FieldId::Operator, {"中国联通", "中国电信"}},  // by the operators table
        {FieldId::Asn, {"AS4837 NET4837", "AS4134 NET4134"}},
        {FieldId::Country, {"中国"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.by));
        const MapData data = listMap(rows, c.by);
        EXPECT_EQ(data.addresses, 8u);
        EXPECT_EQ(data.withoutCoordinates, 2u);  // the bad point and the unanswered row
        EXPECT_EQ(data.groups, c.groups);
        ASSERT_EQ(data.places.size(), 2u);
        const Place& beijing =
            data.places[0].label == "中国 北京" ? data.places[0] : data.places[1];
        const Place& chongqing = &beijing == &data.places[0] ? data.places[1] : data.places[0];
        EXPECT_EQ(beijing.label, "中国 北京");
        EXPECT_EQ(beijing.count, 4u);
        EXPECT_EQ(beijing.group, 0u);
        EXPECT_EQ(chongqing.label, "重庆");  // by name: no coordinates in its fields
        EXPECT_EQ(chongqing.count, 2u);
        EXPECT_EQ(chongqing.group, c.groups.size() - 1);
    }
}

// What the window blits: blue, green, red rows padded to four bytes, in a picture that fits.
TEST(MapRaster, WindowPixelsAndTheFittingWidth) {
    Canvas canvas(5, 2, {1, 2, 3});
    canvas.fillDisc({4.5, 1.5}, 0.6, {10, 20, 30}, 1, {10, 20, 30});
    const std::vector<std::uint8_t> dib = dibOf(canvas);
    ASSERT_EQ(dib.size(), 2u * 16);  // 15 bytes a row, padded to 16
    EXPECT_EQ((std::vector<int>{dib[0], dib[1], dib[2], dib[15]}), (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ((std::vector<int>{dib[16 + 12], dib[16 + 13], dib[16 + 14]}),
              (std::vector<int>{30, 20, 10}));
    struct Case {
        Extent extent;
        double width, height;
        bool narrower;
    };
    const Case cases[] = {{Extent::World, 400, 264, false},
                          {Extent::China, 400, 200, true},
                          {Extent::World, 400, 100, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.extent));
        const double width = fittingWidth(c.extent, Projection::NaturalEarth, c.width, c.height);
        EXPECT_EQ(width < c.width, c.narrower);
        EXPECT_EQ(width, std::floor(width));
        EXPECT_LE(Frame(c.extent, Projection::NaturalEarth, width).height(), c.height);
        // The widest that fits: a pixel more would not.
        if (c.narrower) {
            EXPECT_GT(Frame(c.extent, Projection::NaturalEarth, width + 1).height(), c.height);
        }
    }
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(MapSvg, OnePathOfLandACircleAPlaceTitlesEscapedCreditsShown) {
    MapData data;
    data.places = {{{116.4, 39.9}, "<北京 & \"朝阳\">", 3, 0},
                   {{-77, 38.9}, "美国", 1, 1},
                   {{0, 0}, "nowhere", 0, 0}};
    data.groups = {"电信", "A&B"};
    data.addresses = 6;
    data.withoutCoordinates = 2;
    const std::string svg = svgOf(data, landOutline(), {Extent::World});
    EXPECT_TRUE(svg.starts_with("<?xml"));
    EXPECT_EQ(count(svg, "<title>"), 2u);
    EXPECT_EQ(count(svg, "<path id=\"land\""), 1u);
    EXPECT_NE(svg.find("<title>&lt;北京 &amp; &quot;朝阳&quot;&gt;: 3 个地址 (50.0%)</title>"),
              std::string::npos);
    EXPECT_NE(svg.find(">A&amp;B</text>"), std::string::npos);
    EXPECT_NE(svg.find(">2 个地址没有坐标</text>"), std::string::npos);
    EXPECT_NE(svg.find("Natural Earth"), std::string::npos);
    EXPECT_NE(svg.find("IP Geolocation by DB-IP"), std::string::npos);
    // Nothing raw left of the label's markup, and the elements all close.
    EXPECT_EQ(svg.find("<北京"), std::string::npos);
    EXPECT_EQ(count(svg, "<svg"), count(svg, "</svg>"));
    EXPECT_EQ(count(svg, "<g "), count(svg, "</g>"));

    const std::string china = svgOf(data, landOutline(), {Extent::China});
    EXPECT_EQ(count(china, "<title>"), 1u);
    EXPECT_EQ(china.find("id=\"sea\""), std::string::npos);  // the sea is the background
}

TEST(MapLand, TheOutlineIsWholeAndInRange) {
    const Outline land = landOutline();
    if (land.rings.empty()) GTEST_SKIP() << "built without data/world-atlas/land-110m.json";
    std::size_t points = 0;
    for (const std::uint16_t size : land.rings) {
        EXPECT_GE(size, 3);
        points += size;
    }
    EXPECT_EQ(points * 2, land.points.size());
    for (std::size_t i = 0; i < land.points.size(); i += 2) {
        ASSERT_LE(std::abs(land.points[i]), 18000);
        ASSERT_LE(std::abs(land.points[i + 1]), 9000);
    }
}

// The PNG's chunks checked by their CRCs and its rows inflated back to the canvas.
TEST(MapPng, RowsInflateBackToTheCanvas) {
    Canvas canvas(5, 3, {1, 2, 3});
    canvas.fillDisc({2.5, 1.5}, 1, {200, 0, 0}, 1, {200, 0, 0});
    const std::string png = pngOf(canvas);
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    const auto big32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(png[at])) << 24 |
               std::uint32_t(std::uint8_t(png[at + 1])) << 16 |
               std::uint32_t(std::uint8_t(png[at + 2])) << 8 | std::uint8_t(png[at + 3]);
    };
    std::string idat;
    std::vector<std::string> types;
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t size = big32(at);
        ASSERT_LE(at + 12 + size, png.size());
        const auto* bytes = reinterpret_cast<const Bytef*>(png.data() + at + 4);
        EXPECT_EQ(crc32(0, bytes, size + 4), big32(at + 8 + size));
        types.push_back(png.substr(at + 4, 4));
        if (types.back() == "IHDR") {
            EXPECT_EQ(big32(at + 8), 5u);
            EXPECT_EQ(big32(at + 12), 3u);
            EXPECT_EQ(png.substr(at + 16, 5), std::string("\x08\x02\x00\x00\x00", 5));
        }
        if (types.back() == "IDAT") idat += png.substr(at + 8, size);
        at += 12 + size;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    std::string rows(3 * 16, '\0');
    uLongf size = rows.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                         reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
              Z_OK);
    ASSERT_EQ(size, 3u * 16);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(rows[y * 16], 0);  // no filter
        for (int x = 0; x < 5; ++x) {
            const Rgb p = canvas.at(x, y);
            EXPECT_EQ(std::uint8_t(rows[y * 16 + 1 + x * 3]), p.r);
            EXPECT_EQ(std::uint8_t(rows[y * 16 + 3 + x * 3]), p.b);
        }
    }
    EXPECT_EQ(canvas.at(2, 1).r, 200);
    EXPECT_EQ(canvas.at(0, 0).r, 1);
}

TEST(MapRaster, RingsFillByTheEvenOddRule) {
    Canvas canvas(10, 10, kPaper);
    // A square with a square hole; a vertex on a scanline counts once.
    canvas.fillRings({{{1, 1}, {9, 1}, {9, 9}, {1, 9}}, {{4, 4}, {6, 4}, {6, 6}, {4, 6}}},
                     {0, 0, 0});
    std::string picture;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) picture += canvas.at(x, y).r == 0 ? '#' : '.';
    EXPECT_EQ(picture,
              ".........."
              ".########."
              ".########."
              ".########."
              ".###..###."
              ".###..###."
              ".########."
              ".########."
              ".########."
              "..........");
}

// The SVG as Debian's chromium draws it: land where land is, sea where sea is, and the dot
// at Beijing in its group's colour.
TEST(MapBrowser, ChromiumDrawsLandSeaAndTheDotAtBeijing) {
#ifdef _WIN32
    GTEST_SKIP() << "chromium runs natively only";
#else
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
    if (std::system("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    if (landOutline().rings.empty()) GTEST_SKIP() << "built without the land outline";
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("verdalo-map-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         std::to_string(std::rand()));
    std::filesystem::create_directories(dir);
    MapData data;
    const LonLat beijing{116.407, 39.904};
    data.places = {{beijing, "北京", 40, 0}};
    data.groups = {"电信"};
    data.addresses = 40;
    const SvgOptions options{Extent::World, Projection::NaturalEarth, 1000};
    const Frame frame(options.extent, options.projection, options.width);
    std::ofstream(dir / "map.svg", std::ios::binary) << svgOf(data, landOutline(), options);
    const int w = static_cast<int>(frame.width()), h = static_cast<int>(frame.height());
    const std::string shot = (dir / "shot.png").string(), raw = (dir / "shot.rgb").string();
    const std::string command =
        "timeout 120 chromium --no-sandbox --headless --disable-gpu --hide-scrollbars "
        "--screenshot=" +
        shot + " --window-size=" + std::to_string(w) + "," + std::to_string(h) + " file://" +
        (dir / "map.svg").string() + " >/dev/null 2>&1 && convert " + shot + " -depth 8 rgb:" + raw;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(raw, std::ios::binary);
    const std::string pixels((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(w) * h * 3);
    const auto at = [&](LonLat where) {
        const Point p = frame.toPixel(where);
        const std::size_t i =
            (static_cast<std::size_t>(p.y) * w + static_cast<std::size_t>(p.x)) * 3;
        return Rgb{std::uint8_t(pixels[i]), std::uint8_t(pixels[i + 1]),
                   std::uint8_t(pixels[i + 2])};
    };
    const auto near = [](Rgb a, Rgb b) {
        return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) <= 24;
    };
    struct Case {
        const char* name;
        LonLat where;
        Rgb colour;
    };
    // The dot is drawn 85% opaque over land.
    const Rgb dot{static_cast<std::uint8_t>(0.85 * kPalette[0].r + 0.15 * kLand.r),
                  static_cast<std::uint8_t>(0.85 * kPalette[0].g + 0.15 * kLand.g),
                  static_cast<std::uint8_t>(0.85 * kPalette[0].b + 0.15 * kLand.b)};
    for (const Case& c :
         {Case{"Beijing", beijing, dot}, Case{"Sahara", {15, 23}, kLand},
          Case{"Siberia", {100, 62}, kLand}, Case{"Brazil", {-52, -10}, kLand},
          Case{"Pacific", {-150, 0}, kSea}, Case{"Indian Ocean", {75, -25}, kSea}}) {
        const Rgb got = at(c.where);
        EXPECT_TRUE(near(got, c.colour))
            << c.name << ": " << int(got.r) << "," << int(got.g) << "," << int(got.b);
    }
    std::filesystem::remove_all(dir);
#endif
}

}  // namespace
}  // namespace geo
