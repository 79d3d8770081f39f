// The ipdb reader. File layout:
//   a big-endian uint32 N, then N bytes of JSON metadata: "fields" (the field names in
//   order), "node_count", "ip_version" (bit 1 IPv4, bit 2 IPv6), "languages" (for each, the
//   index of its first field in a record), "total_size" (bytes from the first node on);
//   node_count nodes of 8 bytes, each two big-endian uint32 children, for bit 0 and bit 1;
//   records: a big-endian uint16 length, then that many bytes of UTF-8, fields separated
//   by tabs.
// An address is walked from node 0, bit by bit from the most significant; IPv4 addresses
// lie under ::ffff:0:0/96. A child equal to node_count means no data; a greater one points
// to a record at (child - node_count) + node_count * 8 bytes from the first node.
//
// open() checks what the header and the metadata tell, and reads no more of the nodes than
// the lookups' first levels: a lookup checks each node as it reaches it (it ends at 128
// bits, so no loop can hold it; a child past the nodes or a record past the end is no
// answer). A walk over the whole tree (a search, the count of ranges) first checks the node
// array in one pass, in file order, once for all copies of the database: every child is a
// node, the empty mark, or a record whose start lies inside the file; a node pointed to
// twice, or the root pointed to at all, and no whole walk gives anything. With every node
// pointed to at most once and the root by none, the nodes reached from the root form a
// tree (a loop or a shared subtree would need a second pointer into it), so no walk can run
// forever or repeat itself. A record's length is checked where it is read (a record
// running past the end is no answer).
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <mutex>
#include <utility>

#include "ipdata/ipdata.h"
#include "ipdata/json.h"
#include "text/bytes.h"
#include "text/text.h"

namespace ipdata {
namespace {

constexpr std::uint64_t kNodeSize = 8;
constexpr int kBits = 128;
constexpr int kV4Depth = 96;
constexpr int kTopBits = 16;
// How many records a search passes between two looks at the stop flag.
constexpr std::size_t kStopEvery = 4096;
// How often a walk over the whole file lets go of the pages it has read (Database::at).
constexpr std::size_t kLetGoRecords = std::size_t{1} << 16;
constexpr std::size_t kLetGoNodes = std::size_t{1} << 18;

// What a user reads, in this order (the shown roles), then what an answer keeps beside;
// found in a file by these names.
enum Role { kCountry, kRegion, kCity, kDistrict, kOwner, kOperator, kCountryCode, kRoleCount };
constexpr int kShownRoles = kCountryCode;
constexpr std::string_view kRoleNames[kRoleCount] = {"country_name",  "region_name",  "city_name",
                                                     "district_name", "owner_domain", "isp_domain",
                                                     "country_code"};
// Administrative suffixes a keyword may carry where the data names the place without one;
// longest first, so "广西壮族自治区" becomes "广西".
constexpr std::u8string_view kSuffixes[] = {
    u8"维吾尔自治区", u8"壮族自治区", u8"回族自治区", u8"特别行政区", u8"自治区", u8"省", u8"市"};

std::string_view bareName(std::string_view name) {
    for (std::u8string_view suffix : kSuffixes) {
        const std::string_view s(reinterpret_cast<const char*>(suffix.data()), suffix.size());
        if (name.size() > s.size() && name.ends_with(s))
            return name.substr(0, name.size() - s.size());
    }
    return name;
}

bool stopped(const std::stop_token& stop) {
    return stop.stop_requested();
}

// The first bits of a 128-bit address, as two host-order halves.
struct Prefix {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    Prefix withBit(int depth) const {
        Prefix p = *this;
        if (depth < 64) {
            p.high |= 1ull << (63 - depth);
        } else {
            p.low |= 1ull << (127 - depth);
        }
        return p;
    }
    // The last address of the prefix of `length` bits.
    Prefix last(int length) const {
        Prefix p = *this;
        if (length < 64) {
            p.high |= ~0ull >> length;
            p.low = ~0ull;
        } else if (length < kBits) {
            p.low |= ~0ull >> (length - 64);
        }
        return p;
    }
    // This address plus one is `next` (and no wrap past the end).
    bool precedes(const Prefix& next) const {
        if (low == ~0ull) return high != ~0ull && next.low == 0 && next.high == high + 1;
        return next.high == high && next.low == low + 1;
    }
    bool operator==(const Prefix&) const = default;
};

constexpr Prefix kMapped{0, 0xFFFFull << 32};  // ::ffff:0:0

bool inMapped(const Prefix& p, int depth) {
    return depth >= kV4Depth && p.high == 0 && (p.low >> 32) == 0xFFFF;
}

ip::Address addressOf(const Prefix& p, bool v4) {
    return v4 ? ip::Address::v4(static_cast<std::uint32_t>(p.low)) : ip::Address::v6(p.high, p.low);
}

// Which records of one search match, by offset in the record space: one bit for "looked
// at", one for "matches". Records are walked once in file order before the tree, so most
// leaves find their verdict here; an offset the file-order walk did not reach (a gap
// between records) is judged when a leaf points there. A verdict depends only on the
// bytes at its offset, so a walk that fell out of step with the records still gives
// every offset it passed its true verdict. Two bits a byte of record space (3 MB for the
// real file), however many records match.
class Verdicts {
  public:
    explicit Verdicts(std::size_t space) : known_(words(space)), match_(words(space)) {}
    // nullopt when `offset` has no verdict yet.
    std::optional<bool> find(std::size_t offset) const {
        if (!test(known_, offset)) return std::nullopt;
        return test(match_, offset);
    }
    void add(std::size_t offset, bool match) {
        if (offset / 64 >= known_.size()) return;  // no place: judged again each time
        set(known_, offset);
        if (match) set(match_, offset);
    }

  private:
    static std::size_t words(std::size_t bits) { return bits / 64 + 1; }
    static bool test(const std::vector<std::uint64_t>& bits, std::size_t at) {
        return at / 64 < bits.size() && (bits[at / 64] >> (at % 64) & 1) != 0;
    }
    static void set(std::vector<std::uint64_t>& bits, std::size_t at) {
        bits[at / 64] |= std::uint64_t{1} << (at % 64);
    }

    std::vector<std::uint64_t> known_;
    std::vector<std::uint64_t> match_;
};

class Ipdb final : public Database {
  public:
    static std::unique_ptr<Database> open(std::string_view bytes, std::shared_ptr<const void> owner,
                                          OpenFailure& failure);

    std::optional<Place> locate(const ip::Address& address) const override;
    void searchEach(const std::vector<std::string>& keywords,
                    const std::function<void(Range&)>& each,
                    const std::stop_token& stop) const override;
    void searchWhere(const std::function<bool(const FieldViews&)>& match,
                     const std::function<void(Range&)>& each,
                     const std::stop_token& stop) const override;
    std::size_t rangeCount() const override;
    std::string_view formatName() const override { return "ipdb"; }
    std::optional<std::string> versionText() const override {
        if (versionRecord_.empty()) return std::nullopt;
        return versionText_;
    }
    std::unique_ptr<Database> at(std::string_view bytes, const std::shared_ptr<const void>& owner,
                                 const MoreViews& more) const override {
        if (bytes.size() != bytes_.size()) return nullptr;
        auto copy = std::make_unique<Ipdb>(*this);
        copy->moveTo({bytes, owner});
        copy->more_ = more;
        return copy;
    }

  private:
    // A record's fields of the chosen language, by role, and that part of it whole.
    struct Fields {
        std::string_view all;
        std::array<std::string_view, kRoleCount> role{};
    };
    // The leaves under `child` (reached with `depth` bits as `prefix`) in address order:
    // `node(node, depth)` for each inner node (false ends the walk), `leaf(pointer, depth,
    // prefix)` for each record (false ends the walk). The subtree of `skip` is left out.
    template <class Node, class Leaf>
    bool walk(std::uint32_t child, int depth, Prefix prefix, std::uint64_t skip, Node&& node,
              Leaf&& leaf) const;

    std::uint32_t child(std::uint32_t node, int bit) const {
        return be::u32(tree_, node * kNodeSize + 4 * static_cast<unsigned>(bit));
    }
    // The record's text; nullopt when it does not lie inside the file.
    std::optional<std::string_view> record(std::uint32_t pointer) const;
    // Where the walk for `address` ends (a record pointer, the empty mark or a node), and
    // after how many bits.
    std::uint32_t leafOf(const ip::Address& address, int& depth) const;
    // Whether the record at `pointer`, reading `text`, is the file's version record. The
    // pointers are compared first: rangeCount asks this of every leaf.
    bool isVersion(std::uint32_t pointer, std::string_view text) const {
        return pointer == versionPointers_[0] || pointer == versionPointers_[1] ||
               (!versionRecord_.empty() && text == versionRecord_);
    }
    void findVersion();
    Fields fieldsOf(std::string_view record) const;
    // As a user reads it.
    std::string displayOf(const Fields& fields) const;
    FieldViews viewsOf(const Fields& fields) const {
        FieldViews v;
        for (int r = 0; r < kRoleCount; ++r) v[static_cast<std::size_t>(r)] = fields.role[r];
        return v;
    }
    ipdata::Fields textsOf(const Fields& fields) const;
    // The ranges of the records `matches` takes, as searchEach hands them on.
    void searchMatching(const std::function<bool(const Fields&)>& matches,
                        const std::function<void(Range&)>& each, const std::stop_token& stop) const;
    void fillV4Top(std::uint32_t child, int depth, std::uint32_t top);
    // Whether the nodes form a tree a whole walk may take (checked on the first call).
    bool wholeTreeSound() const;

    // Reads the same bytes at `view` from now on.
    void moveTo(BytesView view) const {
        tree_ = samePlace(tree_, bytes_, view.bytes);
        bytes_ = view.bytes;
        owner_ = std::move(view.owner);
    }
    // With more_, a fresh view in place of the one read so far, whose pages then go.
    void letGo() const {
        if (!more_) return;
        if (std::optional<BytesView> fresh = more_(); fresh && fresh->bytes.size() == bytes_.size())
            moveTo(std::move(*fresh));
    }

    // Mutable for letGo, which only a database made for one thread has (at()).
    mutable std::shared_ptr<const void> owner_;
    mutable std::string_view bytes_;  // the whole file
    mutable std::string_view tree_;   // from the first node, total_size bytes
    MoreViews more_;
    std::uint32_t nodeCount_ = 0;
    std::optional<std::uint32_t> v4Root_;  // the node at ::ffff:0:0/96
    // The check of the whole node array, made once for the database and the copies at()
    // makes of it (they read the same bytes).
    struct NodeCheck {
        std::once_flag once;
        bool sound = false;
        // The record space's offset nearest its start that a node points to: a search walks
        // the records in file order from there.
        std::uint32_t firstRecord = ~0u;
    };
    std::shared_ptr<NodeCheck> check_ = std::make_shared<NodeCheck>();
    // Where the first kTopBits of an IPv4 address lead from v4Root_: the walk of a lookup
    // starts there, past the levels that lie farthest apart in the file.
    struct V4Top {
        std::uint32_t child;
        int depth;  // bits below v4Root_
    };
    std::vector<V4Top> v4Top_;
    // The version record (findVersion), whole, and the pointers known to lead to it; empty
    // when the file has none.
    std::string versionRecord_;
    std::string versionText_;  // UTF-8, its fields of the chosen language joined by spaces
    // 0 where none: a record pointer is never 0.
    std::array<std::uint32_t, 2> versionPointers_{};
    bool v6_ = false;
    std::size_t language_ = 0;     // the chosen language's first field
    std::vector<int> fieldRoles_;  // per field of a language: its Role, or -1
    // Walked on first use; a copy walks again.
    struct LazyCount {
        std::once_flag once;
        std::size_t value = 0;
        LazyCount() = default;
        LazyCount(const LazyCount&) {}
        LazyCount& operator=(const LazyCount&) = delete;
    };
    mutable LazyCount rangeCount_;
};

template <class Node, class Leaf>
bool Ipdb::walk(std::uint32_t start, int depth, Prefix prefix, std::uint64_t skip, Node&& node,
                Leaf&& leaf) const {
    struct Pending {
        std::uint32_t child;
        int depth;
        Prefix prefix;
    };
    // Right children wait here while the walk goes down the left: one a level at most.
    Pending stack[kBits + 2];
    int top = 0;
    stack[top++] = {start, depth, prefix};
    while (top > 0) {
        Pending p = stack[--top];
        while (true) {
            if (p.child > nodeCount_) {
                if (!leaf(p.child, p.depth, p.prefix)) return false;
                break;
            }
            // Past 128 bits a node leads to no address: that branch ends there.
            if (p.child == nodeCount_ || p.child == skip || p.depth >= kBits) break;
            if (!node(p.child, p.depth)) return false;
            const std::uint32_t right = child(p.child, 1);
            if (right != nodeCount_) stack[top++] = {right, p.depth + 1, p.prefix.withBit(p.depth)};
            p = {child(p.child, 0), p.depth + 1, p.prefix};
        }
    }
    return true;
}

std::optional<std::string_view> Ipdb::record(std::uint32_t pointer) const {
    const std::uint64_t at = static_cast<std::uint64_t>(pointer - nodeCount_) +
                             static_cast<std::uint64_t>(nodeCount_) * kNodeSize;
    if (pointer <= nodeCount_ || at > tree_.size() || tree_.size() - at < 2) return std::nullopt;
    const std::size_t start = static_cast<std::size_t>(at) + 2;
    const std::size_t length = be::u16(tree_, start - 2);
    if (length > tree_.size() - start) return std::nullopt;
    return tree_.substr(start, length);
}

Ipdb::Fields Ipdb::fieldsOf(std::string_view text) const {
    Fields f;
    const std::size_t end = language_ + fieldRoles_.size();
    std::size_t index = 0, from = 0;
    std::size_t allBegin = std::string_view::npos, allEnd = 0;
    while (index < end) {
        const std::size_t tab = std::min(text.find('\t', from), text.size());
        if (index >= language_) {
            if (allBegin == std::string_view::npos) allBegin = from;
            allEnd = tab;
            const int role = fieldRoles_[index - language_];
            if (role >= 0) f.role[role] = text.substr(from, tab - from);
        }
        ++index;
        if (tab == text.size()) break;
        from = tab + 1;
    }
    if (allBegin != std::string_view::npos) f.all = text.substr(allBegin, allEnd - allBegin);
    return f;
}

std::string Ipdb::displayOf(const Fields& f) const {
    return ipdata::displayOf(Place{{}, {}, viewsOf(f), f.all, {}});
}

ipdata::Fields Ipdb::textsOf(const Fields& f) const {
    const auto text = [&](Role r) { return std::string(f.role[r]); };
    return {text(kCountry), text(kRegion),   text(kCity),       text(kDistrict),
            text(kOwner),   text(kOperator), text(kCountryCode)};
}

std::uint32_t Ipdb::leafOf(const ip::Address& address, int& depth) const {
    const bool v4 = address.isV4();
    const Prefix bits =
        v4 ? Prefix{0, kMapped.low | address.v4Value()} : Prefix{address.high(), address.low()};
    std::uint32_t node = 0;
    depth = 0;
    if (v4) {
        if (v4Top_.empty()) return nodeCount_;
        const V4Top& top = v4Top_[address.v4Value() >> (32 - kTopBits)];
        node = top.child;
        depth = kV4Depth + top.depth;
    } else if (!v6_) {
        return nodeCount_;
    }
    while (node < nodeCount_ && depth < kBits) {
        const int bit = depth < 64 ? static_cast<int>(bits.high >> (63 - depth) & 1)
                                   : static_cast<int>(bits.low >> (127 - depth) & 1);
        node = child(node, bit);
        ++depth;
    }
    return node;
}

// The version record is found where such files put it: at 255.255.255.255 (the top of the
// IPv4 space) and at ::1, and taken only when it reads as a version stamp, so a file that
// gives those addresses a real answer keeps it. Any other record equal to it is no answer
// either (find and search compare the text; rangeCount, which reads no records, only the
// pointers found here).
void Ipdb::findVersion() {
    const ip::Address places[] = {ip::Address::v4(0xFFFFFFFFu), ip::Address::v6(0, 1)};
    for (const ip::Address& place : places) {
        int depth = 0;
        const std::uint32_t pointer = leafOf(place, depth);
        if (pointer <= nodeCount_) continue;
        const std::optional<std::string_view> text = record(pointer);
        if (!text || !isVersionStamp(*text)) continue;
        if (versionRecord_.empty()) {
            versionRecord_ = *text;
            // A tab never occurs inside a UTF-8 character: a plain byte split.
            std::string_view all = fieldsOf(*text).all;
            while (!all.empty()) {
                const std::size_t tab = std::min(all.find('\t'), all.size());
                if (tab > 0) {
                    if (!versionText_.empty()) versionText_ += ' ';
                    versionText_.append(all.substr(0, tab));
                }
                all.remove_prefix(std::min(tab + 1, all.size()));
            }
        }
        if (*text == versionRecord_) versionPointers_[&place - places] = pointer;
    }
}

std::optional<Place> Ipdb::locate(const ip::Address& address) const {
    const bool v4 = address.isV4();
    const Prefix bits =
        v4 ? Prefix{0, kMapped.low | address.v4Value()} : Prefix{address.high(), address.low()};
    int depth = 0;
    const std::uint32_t node = leafOf(address, depth);
    if (node <= nodeCount_) return std::nullopt;
    const std::optional<std::string_view> text = record(node);
    if (!text || isVersion(node, *text)) return std::nullopt;
    const Fields f = fieldsOf(*text);
    const Prefix below = Prefix{}.last(depth);
    const Prefix first{bits.high & ~below.high, bits.low & ~below.low};
    const Prefix last{bits.high | below.high, bits.low | below.low};
    return Place{addressOf(first, v4), addressOf(last, v4), viewsOf(f), f.all, {}};
}

void Ipdb::searchEach(const std::vector<std::string>& keywords,
                      const std::function<void(Range&)>& each, const std::stop_token& stop) const {
    // Each keyword as UTF-8 (the records' encoding, where a byte match is a character
    // match), with the name it may stand for.
    std::vector<std::pair<std::string, std::string>> needles;
    for (const std::string& keyword : keywords) {
        if (keyword.empty()) continue;
        const std::string_view stem = bareName(keyword);
        needles.emplace_back(keyword, stem.size() == keyword.size() ? "" : std::string(stem));
    }
    if (needles.empty()) return;

    std::string text;
    auto matches = [&](const Fields& f) {
        text.clear();
        for (int r = 0; r < kShownRoles; ++r) {
            const std::string_view field = f.role[r];
            if (field.empty()) continue;
            if (!text.empty()) text += ' ';
            text += field;
        }
        return std::all_of(needles.begin(), needles.end(), [&](const auto& needle) {
            return text.find(needle.first) != std::string::npos ||
                   (!needle.second.empty() && text.find(needle.second) != std::string::npos);
        });
    };
    searchMatching(matches, each, stop);
}

void Ipdb::searchWhere(const std::function<bool(const FieldViews&)>& match,
                       const std::function<void(Range&)>& each, const std::stop_token& stop) const {
    searchMatching([&](const Fields& f) { return match(viewsOf(f)); }, each, stop);
}

void Ipdb::searchMatching(const std::function<bool(const Fields&)>& matches,
                          const std::function<void(Range&)>& each,
                          const std::stop_token& stop) const {
    if (!wholeTreeSound()) return;
    // One verdict per record, however many prefixes point to it. A match's display is made
    // when a range starts with it or may join the range before, not kept per record.
    const std::uint64_t base = std::uint64_t{nodeCount_} * kNodeSize;
    const std::size_t space = static_cast<std::size_t>(tree_.size() - base);
    Verdicts verdicts(space);
    std::size_t seen = 0;
    // The records in file order, while each length stays inside the file. What lies before
    // the first record (the real file has an unused node there) would put the walk out of
    // step with them.
    for (std::size_t at = std::min<std::size_t>(check_->firstRecord, space); space - at >= 2;) {
        if (++seen % kStopEvery == 0 && stopped(stop)) return;
        if (seen % kLetGoRecords == 0) letGo();
        const std::size_t length = be::u16(tree_, static_cast<std::size_t>(base) + at);
        if (length > space - at - 2) break;
        const std::string_view rec = tree_.substr(static_cast<std::size_t>(base) + at + 2, length);
        verdicts.add(at, !isVersion(nodeCount_ + static_cast<std::uint32_t>(at), rec) &&
                             matches(fieldsOf(rec)));
        at += 2 + length;
    }

    std::uint32_t lastPointer = 0;  // neighbours often share a record
    bool lastVerdict = false;
    auto verdictOf = [&](std::uint32_t pointer) {
        if (pointer == lastPointer) return lastVerdict;
        lastPointer = pointer;
        const std::size_t offset = pointer - nodeCount_;
        if (const std::optional<bool> known = verdicts.find(offset)) return lastVerdict = *known;
        const std::string_view rec = record(pointer).value_or(std::string_view());
        const bool match = !isVersion(pointer, rec) && matches(fieldsOf(rec));
        verdicts.add(offset, match);
        return lastVerdict = match;
    };
    auto displayAt = [&](std::uint32_t pointer) {
        return displayOf(fieldsOf(record(pointer).value_or(std::string_view())));
    };

    // The range found last, handed on once the next one found does not join it.
    Range pending;
    bool anyPending = false;
    std::uint32_t pendingPointer = 0;
    bool open = false;  // pending may still grow
    Prefix openLast;
    auto handOn = [&] {
        if (!anyPending) return;
        const Fields f = fieldsOf(record(pendingPointer).value_or(std::string_view()));
        pending.region = std::string(f.all);
        pending.fields = textsOf(f);
        each(pending);
        anyPending = false;
    };
    std::string display;
    auto leafIn = [&](bool v4) {
        return [&, v4](std::uint32_t pointer, int depth, const Prefix& prefix) {
            if (++seen % kStopEvery == 0 && stopped(stop)) return false;
            if (!verdictOf(pointer)) {
                open = false;
                return true;
            }
            const Prefix last = prefix.last(depth);
            // Adjacent ranges that read the same are one row.
            const bool adjacent = open && openLast.precedes(prefix);
            bool join = adjacent && pointer == pendingPointer;
            if (!join) {
                display = displayAt(pointer);
                join = adjacent && display == pending.display;
            }
            if (join) {
                pending.last = addressOf(last, v4);
            } else {
                handOn();
                pending = {addressOf(prefix, v4), addressOf(last, v4), {}, std::move(display), {}};
                pendingPointer = pointer;
                anyPending = true;
            }
            open = true;
            openLast = last;
            return true;
        };
    };
    // The walk reads nodes roughly in file order: a twentieth of it reads a few MB.
    std::size_t nodes = 0;
    auto anyNode = [&](std::uint32_t, int) {
        if (++nodes % kLetGoNodes == 0) letGo();
        return true;
    };
    const std::uint64_t noSkip = ~0ull;
    if (stopped(stop)) return;
    if (!v4Root_ || walk(*v4Root_, kV4Depth, kMapped, noSkip, anyNode, leafIn(true))) {
        open = false;
        if (v6_) walk(0, 0, Prefix{}, v4Root_ ? *v4Root_ : noSkip, anyNode, leafIn(false));
    }
    handOn();
}

void Ipdb::fillV4Top(std::uint32_t child, int depth, std::uint32_t top) {
    if (child < nodeCount_ && depth < kTopBits) {
        fillV4Top(this->child(child, 0), depth + 1, top);
        fillV4Top(this->child(child, 1), depth + 1, top | 1u << (kTopBits - 1 - depth));
        return;
    }
    const std::uint32_t count = 1u << (kTopBits - depth);
    std::fill_n(v4Top_.begin() + top, count, V4Top{child, depth});
}

bool Ipdb::wholeTreeSound() const {
    bool checked = false;
    std::call_once(check_->once, [this, &checked] {
        checked = true;
        // One bit per node: pointed to already.
        std::vector<std::uint64_t> pointed((nodeCount_ + 63) / 64);
        pointed[0] = 1;  // the root: a pointer to it makes a loop
        // Records lie past the nodes; a pointer p names the record at (p - nodeCount_) from
        // there, and its length takes 2 bytes.
        const std::uint64_t recordSpace = tree_.size() - std::uint64_t{nodeCount_} * kNodeSize;
        const std::uint64_t lastPointer = recordSpace >= 2 ? nodeCount_ + (recordSpace - 2) : 0;
        const std::size_t end = std::size_t{nodeCount_} * kNodeSize;
        std::uint32_t first = ~0u;
        for (std::size_t at = 0; at != end; at += 4) {
            const std::uint32_t c = be::u32(tree_, at);
            if (c < nodeCount_) {
                std::uint64_t& word = pointed[c / 64];
                const std::uint64_t bit = std::uint64_t{1} << (c % 64);
                if (word & bit) return;
                word |= bit;
            } else if (c > nodeCount_) {
                if (c > lastPointer) return;
                first = std::min(first, c - nodeCount_);
            }
        }
        check_->firstRecord = first;
        check_->sound = true;
    });
    // The check read every node: a database with more views lets those pages go.
    if (checked) letGo();
    return check_->sound;
}

std::size_t Ipdb::rangeCount() const {
    std::call_once(rangeCount_.once, [this] {
        if (!wholeTreeSound()) return;
        struct Run {
            bool any = false;
            std::uint32_t pointer = 0;
            Prefix last;
        } runs[2];
        auto node = [](std::uint32_t, int) { return true; };
        // Ranges are counted where lookups and searches see them.
        auto leaf = [&](std::uint32_t pointer, int depth, const Prefix& prefix) {
            const bool v4 = v4Root_ && inMapped(prefix, depth);
            if ((!v4 && !v6_) || isVersion(pointer, {})) return true;
            Run& run = runs[v4 ? 0 : 1];
            if (!run.any || run.pointer != pointer || !run.last.precedes(prefix))
                ++rangeCount_.value;
            run = {true, pointer, prefix.last(depth)};
            return true;
        };
        walk(0, 0, Prefix{}, ~0ull, node, leaf);
    });
    return rangeCount_.value;
}

std::unique_ptr<Database> Ipdb::open(std::string_view bytes, std::shared_ptr<const void> owner,
                                     OpenFailure& failure) {
    auto fail = [&](OpenError error) {
        failure = {error};
        return nullptr;
    };
    if (bytes.size() < 4) return fail(OpenError::NoMetadataLength);
    const std::uint64_t metaLength = be::u32(bytes, 0);
    if (metaLength > bytes.size() - 4) return fail(OpenError::MetadataPastEnd);
    const std::optional<json::Value> meta = json::parse(bytes.substr(4, metaLength));
    if (!meta || meta->kind != json::Value::Kind::Object) return fail(OpenError::MetadataNotJson);
    auto integer = [&](std::string_view name) -> std::optional<std::uint64_t> {
        const json::Value* v = meta->member(name);
        return v ? v->integer : std::nullopt;
    };
    const auto nodeCount = integer("node_count"), version = integer("ip_version"),
               totalSize = integer("total_size");
    if (!nodeCount) return fail(OpenError::NoNodeCount);
    if (!version) return fail(OpenError::NoIpVersion);
    if (!totalSize) return fail(OpenError::NoTotalSize);
    const json::Value* fields = meta->member("fields");
    if (!fields || fields->kind != json::Value::Kind::Array || fields->items.empty() ||
        std::any_of(fields->items.begin(), fields->items.end(),
                    [](const json::Value& v) { return v.kind != json::Value::Kind::String; }))
        return fail(OpenError::NoFields);
    const json::Value* languages = meta->member("languages");
    if (!languages || languages->kind != json::Value::Kind::Object || languages->members.empty() ||
        std::any_of(languages->members.begin(), languages->members.end(),
                    [](const auto& m) { return !m.value.integer; }))
        return fail(OpenError::NoLanguages);
    if ((*version & 3) == 0) return fail(OpenError::NoFamily);
    if (*totalSize > bytes.size() - 4 - metaLength) return fail(OpenError::ShorterThanMetadata);
    if (*nodeCount == 0 || *nodeCount >= 0xFFFFFFFFull || *nodeCount * kNodeSize > *totalSize)
        return fail(OpenError::NodeCountMismatch);

    auto db = std::make_unique<Ipdb>();
    db->owner_ = std::move(owner);
    db->bytes_ = bytes;
    db->tree_ = bytes.substr(4 + metaLength, *totalSize);
    db->nodeCount_ = static_cast<std::uint32_t>(*nodeCount);
    db->v6_ = (*version & 2) != 0;
    // The Chinese names where the file has them, else its first language.
    const json::Value* chosen = languages->member("CN");
    const std::uint64_t language = chosen ? *chosen->integer : *languages->members[0].value.integer;
    if (language > 0xFFFF) return fail(OpenError::BadLanguage);
    db->language_ = static_cast<std::size_t>(language);
    for (const json::Value& name : fields->items) {
        const auto* at = std::find(std::begin(kRoleNames), std::end(kRoleNames), name.text);
        db->fieldRoles_.push_back(at == std::end(kRoleNames) ? -1
                                                             : static_cast<int>(at - kRoleNames));
    }
    if (*version & 1) {
        std::uint32_t n = 0;
        int depth = 0;
        for (; depth < kV4Depth && n < db->nodeCount_; ++depth) n = db->child(n, depth >= 80);
        if (depth == kV4Depth && n < db->nodeCount_) db->v4Root_ = n;
    }
    if (db->v4Root_) {
        db->v4Top_.resize(std::size_t{1} << kTopBits);
        db->fillV4Top(*db->v4Root_, 0, 0);
    }
    db->findVersion();
    return db;
}

}  // namespace

std::unique_ptr<Database> openIpdb(std::string_view bytes, std::shared_ptr<const void> owner,
                                   OpenFailure& failure) {
    return Ipdb::open(bytes, std::move(owner), failure);
}

std::string_view withoutAdminSuffix(std::string_view name) {
    return bareName(name);
}

}  // namespace ipdata
