// The qqwry.dat reader. File layout (little-endian): at offset 0 the offsets of the first and
// the last index entry; the index, at the end of the file, is 7 bytes an entry: a range's
// first address (4 bytes) and the offset of its record (3 bytes). A record is the range's
// last address (4 bytes), then two GBK texts, the "country" and the "area", each ended by a
// 0 byte, or a redirect in its place: byte 1 and a 3-byte offset moves the country and the
// area together to that offset; byte 2 and a 3-byte offset points to one text, and what
// follows those 4 bytes is the next text. An area redirected to offset 0 is no area.
// Everything is read, checked and converted to UTF-8 once, at open (each distinct text
// once): the database keeps no reference to the bytes.
#include <algorithm>
#include <array>
#include <unordered_map>
#include <utility>

#include "ipdata/ipdata.h"
#include "text/bytes.h"
#include "text/text.h"

namespace ipdata {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 7;
constexpr std::size_t kEndSize = 4;       // a record's last address
constexpr std::size_t kRedirectSize = 4;  // a mode byte and a 3-byte offset
constexpr char kMoveBoth = 1;
constexpr char kMoveText = 2;
// Real files redirect once or twice on the way to a text; more than this is a loop.
constexpr int kMaxRedirects = 8;
// Real texts are a few dozen bytes (at most 138 in lib-qqwry 1.3.4's file): a text that runs
// on for longer is no text, and looking for its end must not make a hostile file slow.
constexpr std::size_t kMaxText = 1024;
// What an open keeps of the texts and records may not exceed this many times the file (the
// real file needs under 3): texts that overlap, each pointed to, could otherwise make a
// small file fill the memory.
constexpr std::size_t kKeptPerFileByte = 8;
constexpr std::size_t kKeptAtLeast = std::size_t{1} << 20;
// How many ranges a search walks between two looks at the stop flag.
constexpr std::size_t kStopEvery = 4096;

constexpr std::string_view kChina = "中国";
// The file's word for a text it does not know.
constexpr std::string_view kPlaceholder = "CZ88.NET";

// 0 past the end, as the byte reader's numbers.
std::uint32_t u24(std::string_view bytes, std::size_t at) {
    if (at > bytes.size() || bytes.size() - at < 3) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
}

// A record's two texts, views of GBK bytes in the file.
struct Texts {
    std::string_view country;
    std::string_view area;
};

// Follows one record's redirects, every offset bounded by the file and the redirects counted.
class RecordWalk {
  public:
    explicit RecordWalk(std::string_view bytes) : bytes_(bytes) {}

    // The texts of the record at `record` (its last address inside the file); nullopt and
    // `error` when a redirect leads outside the file, they loop, or a text has no end.
    std::optional<Texts> read(std::size_t record) {
        hops_ = 0;
        std::size_t at = record + kEndSize;
        char mode = 0;
        if (!modeAt(at, mode)) return std::nullopt;
        while (mode == kMoveBoth)
            if (!follow(at) || !modeAt(at, mode)) return std::nullopt;
        Texts texts;
        std::size_t areaAt = at + kRedirectSize;
        if (mode == kMoveText) {
            if (!textAt(at, texts.country)) return std::nullopt;
        } else {
            if (!stringAt(at, texts.country)) return std::nullopt;
            areaAt = at + texts.country.size() + 1;
        }
        if (!textAt(areaAt, texts.area)) return std::nullopt;
        return texts;
    }

    OpenError error = OpenError::QqwryRedirectPastEnd;

  private:
    bool modeAt(std::size_t at, char& mode) {
        if (at >= bytes_.size()) {
            error = OpenError::QqwryRedirectPastEnd;
            return false;
        }
        mode = bytes_[at];
        return true;
    }
    // `at`, a redirect inside the file, moved to where it points.
    bool follow(std::size_t& at) {
        if (++hops_ > kMaxRedirects) {
            error = OpenError::QqwryRedirectLoop;
            return false;
        }
        if (bytes_.size() - at < kRedirectSize) {
            error = OpenError::QqwryRedirectPastEnd;
            return false;
        }
        at = u24(bytes_, at + 1);
        return true;
    }
    // A text, or a redirect (of either mode) to one.
    bool textAt(std::size_t at, std::string_view& text) {
        char mode = 0;
        if (!modeAt(at, mode)) return false;
        while (mode == kMoveBoth || mode == kMoveText) {
            if (!follow(at)) return false;
            if (at == 0) {
                text = {};
                return true;
            }
            if (!modeAt(at, mode)) return false;
        }
        return stringAt(at, text);
    }
    bool stringAt(std::size_t at, std::string_view& text) {
        const std::size_t end = bytes_.substr(at, kMaxText + 1).find('\0');
        if (end == std::string_view::npos) {
            error = OpenError::QqwryTextUnterminated;
            return false;
        }
        text = bytes_.substr(at, end);
        return true;
    }

    std::string_view bytes_;
    int hops_ = 0;
};

// `text` unless it is the file's placeholder (" CZ88.NET").
std::string_view known(std::string_view text) {
    std::string_view bare = text;
    while (!bare.empty() && bare.front() == ' ') bare.remove_prefix(1);
    while (!bare.empty() && bare.back() == ' ') bare.remove_suffix(1);
    return bare == kPlaceholder ? std::string_view{} : text;
}

// The provinces, as a "country" text starts with them: the short name, then the suffix the
// full name adds ("广西" "壮族自治区"), which a text may leave out ("广西南宁市").
struct Province {
    std::string_view name;
    std::string_view suffix;
    bool municipality;  // its districts follow the name at once ("北京市海淀区")
};
constexpr std::string_view kShi = "市";
constexpr std::string_view kSheng = "省";
constexpr std::string_view kZizhiqu = "自治区";
constexpr std::string_view kTebie = "特别行政区";
constexpr Province kProvinces[] = {
    {"北京", kShi, true},          {"天津", kShi, true},
    {"上海", kShi, true},          {"重庆", kShi, true},
    {"河北", kSheng, false},       {"山西", kSheng, false},
    {"辽宁", kSheng, false},       {"吉林", kSheng, false},
    {"黑龙江", kSheng, false},     {"江苏", kSheng, false},
    {"浙江", kSheng, false},       {"安徽", kSheng, false},
    {"福建", kSheng, false},       {"江西", kSheng, false},
    {"山东", kSheng, false},       {"河南", kSheng, false},
    {"湖北", kSheng, false},       {"湖南", kSheng, false},
    {"广东", kSheng, false},       {"海南", kSheng, false},
    {"四川", kSheng, false},       {"贵州", kSheng, false},
    {"云南", kSheng, false},       {"陕西", kSheng, false},
    {"甘肃", kSheng, false},       {"青海", kSheng, false},
    {"台湾", kSheng, false},       {"内蒙古", kZizhiqu, false},
    {"广西", "壮族自治区", false}, {"西藏", kZizhiqu, false},
    {"宁夏", "回族自治区", false}, {"新疆", "维吾尔自治区", false},
    {"香港", kTebie, false},       {"澳门", kTebie, false},
};

// Where a province's city ends: the first of these ("兴安盟", "大兴安岭地区", "恩施州"),
// a "州" right before "市" being part of the name ("广州市").
constexpr std::string_view kCityEnds[] = {kShi, "地区", "盟", "州"};

// The "country" text's place: country, region, city and district, views into `text` or
// into the tables above.
std::array<std::string_view, 4> placeOf(std::string_view text) {
    std::string_view rest = text;
    const bool china = rest.starts_with(kChina);
    if (china) rest.remove_prefix(kChina.size());
    const auto province = std::find_if(std::begin(kProvinces), std::end(kProvinces),
                                       [&](const Province& p) { return rest.starts_with(p.name); });
    if (province == std::end(kProvinces)) {
        if (china && rest.empty()) return {kChina, {}, {}, {}};
        return {text, {}, {}, {}};
    }
    rest.remove_prefix(province->name.size());
    if (rest.starts_with(province->suffix)) rest.remove_prefix(province->suffix.size());
    if (province->municipality) return {kChina, province->name, province->name, rest};
    std::size_t cityEnd = rest.size();
    for (const std::string_view end : kCityEnds) {
        std::size_t at = rest.find(end);
        if (end != kShi && at != std::string_view::npos &&
            rest.substr(at + end.size()).starts_with(kShi))
            at = rest.find(end, at + end.size());
        if (at != std::string_view::npos) cityEnd = std::min(cityEnd, at + end.size());
    }
    std::string_view city = rest.substr(0, cityEnd);
    if (city.size() > kShi.size() && city.ends_with(kShi)) city.remove_suffix(kShi.size());
    return {kChina, province->name, city, rest.substr(cityEnd)};
}

// The operators an "area" text may start with; longer names before the names they start with.
constexpr std::string_view kOperators[] = {
    "中移铁通", "电信",     "联通",   "移动", "铁通",     "广电",
    "教育网",   "长城宽带", "鹏博士", "华数", "歌华有线",
};

// The "area" text as owner and operator: an operator name alone or followed by more
// ("电信", "电信ADSL") is the operator; after the name a "/" parts off an owner
// ("电信/新世纪网吧"); any other text is the owner ("谷歌公司DNS服务器").
std::array<std::string_view, 2> ownerAndOperatorOf(std::string_view area) {
    for (const std::string_view name : kOperators) {
        if (!area.starts_with(name)) continue;
        if (area.substr(name.size()).starts_with('/'))
            return {area.substr(name.size() + 1), area.substr(0, name.size())};
        return {std::string_view{}, area};
    }
    return {area, std::string_view{}};
}

bool stopped(const std::stop_token& stop) {
    return stop.stop_requested();
}

class Qqwry final : public Database {
  public:
    static std::unique_ptr<Database> open(std::string_view bytes, OpenFailure& failure);

    std::optional<Place> locate(const ip::Address& address) const override;
    void searchEach(const std::vector<std::string>& keywords,
                    const std::function<void(Range&)>& each,
                    const std::stop_token& stop) const override;
    void searchWhere(const std::function<bool(const FieldViews&)>& match,
                     const std::function<void(Range&)>& each,
                     const std::stop_token& stop) const override;
    std::size_t rangeCount() const override { return entries_.size(); }
    std::string_view formatName() const override { return "qqwry"; }
    std::optional<std::string> versionText() const override { return version_; }

  private:
    struct Entry {
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t record;  // into records_
    };
    // Where a text lies in text_.
    struct Span {
        std::uint32_t at = 0;
        std::uint32_t size = 0;
    };
    // A distinct pair of texts.
    struct Record {
        std::uint32_t country;  // into texts_
        std::uint32_t area;
        Span both;          // "country|area", as the file holds them
        FieldViews fields;  // set once text_ is complete
    };

    std::string_view view(Span span) const {
        return std::string_view(text_).substr(span.at, span.size);
    }
    Span append(std::string_view utf8Text);
    // Converts the texts gathered, then makes each record's fields.
    void convert(const std::vector<std::string_view>& gbkTexts);
    // The range at the top whose record is a version stamp goes, with every other range of
    // that record: it is no place's answer.
    void dropVersion();
    // The fields joined by spaces, as the keyword search matches them.
    void searchTextOf(const Record& record, std::string& out) const;
    void searchMatching(const std::function<bool(const Record&)>& accepts,
                        const std::function<void(Range&)>& each, const std::stop_token& stop) const;
    Place placeAt(std::size_t index) const;

    std::vector<Entry> entries_;  // ascending, not overlapping
    std::vector<Record> records_;
    std::vector<Span> texts_;  // each distinct text, UTF-8, in text_
    std::string text_;         // complete at the end of open: the views point into it
    std::optional<std::string> version_;
};

Qqwry::Span Qqwry::append(std::string_view utf8Text) {
    const Span span{static_cast<std::uint32_t>(text_.size()),
                    static_cast<std::uint32_t>(utf8Text.size())};
    text_ += utf8Text;
    return span;
}

void Qqwry::convert(const std::vector<std::string_view>& gbkTexts) {
    texts_.reserve(gbkTexts.size());
    for (const std::string_view gbk : gbkTexts)
        texts_.push_back(append(gbkToUtf8(std::string(gbk))));
    std::size_t records = 0;
    for (const Record& record : records_)
        records += texts_[record.country].size + 1 + texts_[record.area].size;
    // The records copy texts from text_ itself: no reallocation under them.
    text_.reserve(text_.size() + records);
    for (Record& record : records_) {
        const Span country = texts_[record.country];
        const Span area = texts_[record.area];
        record.both = {static_cast<std::uint32_t>(text_.size()), country.size + 1 + area.size};
        text_.append(text_, country.at, country.size);
        text_ += '|';
        text_.append(text_, area.at, area.size);
    }
    // text_ is complete: views into it hold from here on.
    for (Record& record : records_) {
        const auto place = placeOf(known(view(texts_[record.country])));
        const auto roles = ownerAndOperatorOf(known(view(texts_[record.area])));
        record.fields = {place[0], place[1], place[2], place[3], roles[0], roles[1], {}};
    }
}

void Qqwry::dropVersion() {
    if (entries_.empty() || entries_.back().last != 0xFFFFFFFFu) return;
    const std::uint32_t id = entries_.back().record;
    const Record& r = records_[id];
    std::string text(known(view(texts_[r.country])));
    const std::string_view area = known(view(texts_[r.area]));
    if (!area.empty()) (text.empty() ? text : text += ' ') += area;
    if (!isVersionStamp(text)) return;
    version_ = std::move(text);
    std::erase_if(entries_, [id](const Entry& e) { return e.record == id; });
}

std::unique_ptr<Database> Qqwry::open(std::string_view bytes, OpenFailure& failure) {
    if (bytes.empty()) {
        failure = {OpenError::Empty};
        return nullptr;
    }
    if (bytes.size() < kHeaderSize) {
        failure = {OpenError::NoHeader};
        return nullptr;
    }
    const std::uint64_t firstIndex = le::u32(bytes, 0);
    const std::uint64_t lastIndex = le::u32(bytes, 4);
    if (firstIndex > lastIndex) {
        failure = {OpenError::IndexReversed};
        return nullptr;
    }
    if (firstIndex < kHeaderSize) {
        failure = {OpenError::IndexOverlapsHeader};
        return nullptr;
    }
    if ((lastIndex - firstIndex) % kEntrySize != 0) {
        failure = {OpenError::QqwryIndexNotWholeEntries};
        return nullptr;
    }
    if (lastIndex + kEntrySize > bytes.size()) {
        failure = {OpenError::IndexPastEnd};
        return nullptr;
    }

    auto db = std::make_unique<Qqwry>();
    const auto count = static_cast<std::size_t>((lastIndex - firstIndex) / kEntrySize + 1);
    db->entries_.reserve(count);
    // Texts and pairs of them repeat across ranges: each distinct one is kept, and later
    // converted, once.
    std::unordered_map<std::string_view, std::uint32_t> textIds;
    std::vector<std::string_view> gbkTexts;
    std::unordered_map<std::uint64_t, std::uint32_t> recordIds;
    // What the database will keep of them, counting GBK bytes (in UTF-8 at most half again).
    std::size_t kept = 0;
    const std::size_t mostKept = kKeptPerFileByte * bytes.size() + kKeptAtLeast;
    const auto textId = [&](std::string_view gbk) {
        auto [it, added] = textIds.try_emplace(gbk, static_cast<std::uint32_t>(gbkTexts.size()));
        if (added) {
            gbkTexts.push_back(gbk);
            kept += gbk.size();
        }
        return it->second;
    };
    RecordWalk walk(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(firstIndex) + i * kEntrySize;
        const std::uint32_t first = le::u32(bytes, at);
        const std::size_t record = u24(bytes, at + 4);
        if (record + kEndSize + 1 > bytes.size()) {
            failure = {OpenError::RecordPastEnd, i};
            return nullptr;
        }
        const std::uint32_t last = le::u32(bytes, record);
        if (first > last) {
            failure = {OpenError::RangeReversed, i};
            return nullptr;
        }
        if (!db->entries_.empty() && first <= db->entries_.back().last) {
            failure = {OpenError::RangeOutOfOrder, i};
            return nullptr;
        }
        const std::optional<Texts> texts = walk.read(record);
        if (!texts) {
            failure = {walk.error, i};
            return nullptr;
        }
        const std::uint64_t pair =
            static_cast<std::uint64_t>(textId(texts->country)) << 32 | textId(texts->area);
        auto [it, added] =
            recordIds.try_emplace(pair, static_cast<std::uint32_t>(db->records_.size()));
        if (added) {
            db->records_.push_back(
                {static_cast<std::uint32_t>(pair >> 32), static_cast<std::uint32_t>(pair), {}, {}});
            kept += sizeof(Record) + texts->country.size() + 1 + texts->area.size();
        }
        if (kept > mostKept) {
            failure = {OpenError::QqwryTextsOverlap, i};
            return nullptr;
        }
        db->entries_.push_back({first, last, it->second});
    }
    db->convert(gbkTexts);
    db->dropVersion();
    return db;
}

Place Qqwry::placeAt(std::size_t index) const {
    const Entry& e = entries_[index];
    const Record& r = records_[e.record];
    return {ip::Address::v4(e.first), ip::Address::v4(e.last), r.fields, view(r.both), {}};
}

std::optional<Place> Qqwry::locate(const ip::Address& address) const {
    if (!address.isV4()) return std::nullopt;
    const std::uint32_t value = address.v4Value();
    // The first range starting after the address; the one before it may hold it.
    auto after = std::upper_bound(entries_.begin(), entries_.end(), value,
                                  [](std::uint32_t a, const Entry& e) { return a < e.first; });
    if (after == entries_.begin()) return std::nullopt;
    const std::size_t index = static_cast<std::size_t>(after - entries_.begin()) - 1;
    if (value > entries_[index].last) return std::nullopt;
    return placeAt(index);
}

void Qqwry::searchTextOf(const Record& record, std::string& out) const {
    out.clear();
    const std::string_view country = known(view(texts_[record.country]));
    // A Chinese place is found by "中国" too, though its text starts with the province.
    if (record.fields[0] == kChina && !country.starts_with(kChina)) out += kChina;
    for (const std::string_view text : {country, known(view(texts_[record.area]))}) {
        if (text.empty()) continue;
        if (!out.empty()) out += ' ';
        out += text;
    }
}

void Qqwry::searchEach(const std::vector<std::string>& keywords,
                       const std::function<void(Range&)>& each, const std::stop_token& stop) const {
    std::vector<std::string> needles;
    for (const std::string& keyword : keywords)
        if (!keyword.empty()) needles.push_back(keyword);
    if (needles.empty()) return;
    std::string text;
    searchMatching(
        [&](const Record& record) {
            searchTextOf(record, text);
            return std::all_of(needles.begin(), needles.end(), [&](const std::string& needle) {
                return text.find(needle) != std::string::npos;
            });
        },
        each, stop);
}

void Qqwry::searchWhere(const std::function<bool(const FieldViews&)>& match,
                        const std::function<void(Range&)>& each,
                        const std::stop_token& stop) const {
    searchMatching([&](const Record& record) { return match(record.fields); }, each, stop);
}

void Qqwry::searchMatching(const std::function<bool(const Record&)>& accepts,
                           const std::function<void(Range&)>& each,
                           const std::stop_token& stop) const {
    std::vector<char> matches(records_.size());
    for (std::size_t r = 0; r < records_.size(); ++r) {
        if (r % kStopEvery == 0 && stopped(stop)) return;
        matches[r] = accepts(records_[r]) ? 1 : 0;
    }
    std::optional<Range> pending;  // handed on once the next range does not join it
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i % kStopEvery == 0 && stopped(stop)) break;
        if (!matches[entries_[i].record]) continue;
        const Place place = placeAt(i);
        std::string display = displayOf(place);
        // Adjacent ranges that read the same are one row.
        if (pending && pending->last.v4Value() + 1 == entries_[i].first &&
            pending->display == display) {
            pending->last = place.last;
            continue;
        }
        if (pending) each(*pending);
        const FieldViews& f = place.fields;
        pending =
            Range{place.first, place.last, std::string(place.record), std::move(display),
                  Fields{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]),
                         std::string(f[4]), std::string(f[5]), std::string(f[6])}};
    }
    if (pending) each(*pending);
}

}  // namespace

std::unique_ptr<Database> openQqwry(std::string_view bytes, OpenFailure& failure) {
    return Qqwry::open(bytes, failure);
}

bool looksLikeQqwry(std::string_view bytes) {
    if (bytes.size() < kHeaderSize + kEntrySize) return false;
    const std::uint64_t firstIndex = le::u32(bytes, 0);
    const std::uint64_t lastIndex = le::u32(bytes, 4);
    return firstIndex >= kHeaderSize && firstIndex <= lastIndex &&
           (lastIndex - firstIndex) % kEntrySize == 0 && lastIndex + kEntrySize == bytes.size();
}

std::optional<std::string> qqwryVersion(std::string_view bytes) {
    if (!looksLikeQqwry(bytes)) return std::nullopt;
    const std::size_t record = u24(bytes, le::u32(bytes, 4) + 4);
    if (record + kEndSize + 1 > bytes.size() || le::u32(bytes, record) != 0xFFFFFFFFu)
        return std::nullopt;
    const std::optional<Texts> texts = RecordWalk(bytes).read(record);
    if (!texts) return std::nullopt;
    std::string text = gbkToUtf8(std::string(known(texts->country)));
    const std::string area = gbkToUtf8(std::string(known(texts->area)));
    if (!area.empty()) (text.empty() ? text : text += ' ') += area;
    if (!isVersionStamp(text)) return std::nullopt;
    return text;
}

}  // namespace ipdata
