#include "app/cli/distinct.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <thread>
#include <utility>

#include "table/operators.h"

namespace cli {
namespace {

// A 64-bit mix (splitmix64's finaliser): the shard, the slot and the sketch's register
// all come from one hash of the address, so every bit of it must depend on every bit in.
std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t hashOf(const ip::Address& a) {
    return a.isV4() ? mix(a.v4Value()) : mix(a.high() ^ mix(a.low()));
}

// The shard from the top bits, the slot from the 32 bits below them, scaled to any
// capacity (a multiply and a shift, no power of two needed).
std::size_t shardOf(std::uint64_t h) {
    return static_cast<std::size_t>(h >> 56);
}
std::size_t slotOf(std::uint64_t h, std::size_t capacity) {
    return static_cast<std::size_t>((h >> 24 & 0xFFFFFFFF) * capacity >> 32);
}
std::size_t after(std::size_t i, std::size_t capacity) {
    return i + 1 == capacity ? 0 : i + 1;
}

// Linear probing stays quick up to here. The tables grow by half when they reach it, so
// they are never less than 53% full: 10 to 15 bytes an IPv4 address.
bool full(std::size_t count, std::size_t capacity) {
    return capacity == 0 || (count + 1) * 5 > capacity * 4;
}
constexpr std::size_t kFirstCapacity = 64;

template <class Slot, class Same, class Place>
void grow(std::vector<Slot>& slots, const Same& used, const Place& place) {
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.empty() ? kFirstCapacity : old.size() + old.size() / 2, Slot{});
    for (const Slot& s : old)
        if (used(s)) place(s);
}

}  // namespace

DistinctAddresses::DistinctAddresses() {
    shards_.reserve(kShards);
    for (std::size_t i = 0; i < kShards; ++i) shards_.push_back(std::make_unique<Shard>());
}

DistinctAddresses::~DistinctAddresses() = default;

void DistinctAddresses::Shard::add(const ip::Address& address, std::uint64_t h,
                                   std::uint64_t hits) {
    if (address.isV4()) {
        const std::uint32_t value = address.v4Value();
        auto find = [this](std::uint32_t v, std::uint64_t hash) -> V4& {
            std::size_t i = slotOf(hash, v4.size());
            while (v4[i].hits != 0 && v4[i].value != v) i = after(i, v4.size());
            return v4[i];
        };
        if (full(v4Count, v4.size())) {
            grow(
                v4, [](const V4& v) { return v.hits != 0; },
                [&](const V4& v) { find(v.value, mix(v.value)) = v; });
        }
        V4& slot = find(value, h);
        if (slot.hits == 0) {
            slot.value = value;
            ++v4Count;
        }
        const std::uint64_t sum = slot.hits + hits;
        if (slot.hits == kFull) {
            moreHits[value] += hits;
        } else if (sum >= kFull) {
            slot.hits = kFull;
            moreHits[value] += sum - kFull;
        } else {
            slot.hits = static_cast<std::uint32_t>(sum);
        }
        return;
    }
    const std::uint64_t high = address.high(), low = address.low();
    auto find = [this](std::uint64_t hi, std::uint64_t lo, std::uint64_t hash) -> V6& {
        std::size_t i = slotOf(hash, v6.size());
        while (v6[i].hits != 0 && (v6[i].high != hi || v6[i].low != lo)) i = after(i, v6.size());
        return v6[i];
    };
    if (full(v6Count, v6.size())) {
        grow(
            v6, [](const V6& v) { return v.hits != 0; },
            [&](const V6& v) { find(v.high, v.low, hashOf(ip::Address::v6(v.high, v.low))) = v; });
    }
    V6& slot = find(high, low, h);
    if (slot.hits == 0) {
        slot.high = high;
        slot.low = low;
        ++v6Count;
    }
    slot.hits += hits;
}

void DistinctAddresses::Shard::prefetch(const ip::Address& address, std::uint64_t h) const {
    if (address.isV4() && !v4.empty())
        __builtin_prefetch(&v4[slotOf(h, v4.size())], 1);
    else if (!address.isV4() && !v6.empty())
        __builtin_prefetch(&v6[slotOf(h, v6.size())], 1);
}

void DistinctAddresses::add(const ip::Address& given, std::uint64_t hits) {
    if (hits == 0) return;
    const ip::Address address = ip::unmapped(given);
    const std::uint64_t h = hashOf(address);
    Shard& s = *shards_[shardOf(h)];
    const std::lock_guard lock(s.mutex);
    s.add(address, h, hits);
}

void DistinctAddresses::add(std::span<const ip::Address> addresses) {
    // By shard first (a counting sort), so that each shard is locked once, and its slots
    // are fetched a few addresses ahead: a set larger than the caches misses on nearly
    // every address, and those waits overlap.
    struct Entry {
        std::uint64_t hash;
        ip::Address address;
    };
    std::vector<Entry> entries(addresses.size());
    std::vector<std::size_t> starts(kShards + 1, 0);
    for (const ip::Address& a : addresses) ++starts[shardOf(hashOf(ip::unmapped(a))) + 1];
    for (std::size_t i = 0; i < kShards; ++i) starts[i + 1] += starts[i];
    std::vector<std::size_t> next(starts.begin(), starts.end() - 1);
    for (const ip::Address& given : addresses) {
        const ip::Address a = ip::unmapped(given);
        const std::uint64_t h = hashOf(a);
        entries[next[shardOf(h)]++] = {h, a};
    }
    constexpr std::size_t kAhead = 8;
    // Each batch from a shard of its own choosing: threads that went round in one order
    // would wait for each other at every shard.
    const std::size_t first = addresses.empty() ? 0 : shardOf(hashOf(addresses[0]));
    for (std::size_t turn = 0; turn < kShards; ++turn) {
        const std::size_t shard = (first + turn) % kShards;
        if (starts[shard] == starts[shard + 1]) continue;
        Shard& s = *shards_[shard];
        const std::lock_guard lock(s.mutex);
        for (std::size_t i = starts[shard]; i < starts[shard + 1]; ++i) {
            if (i + kAhead < starts[shard + 1])
                s.prefetch(entries[i + kAhead].address, entries[i + kAhead].hash);
            s.add(entries[i].address, entries[i].hash, 1);
        }
    }
}

std::uint64_t DistinctAddresses::size() const {
    std::uint64_t n = 0;
    for (const auto& s : shards_) n += s->v4Count + s->v6Count;
    return n;
}

double DistinctSketch::standardError() {
    return 1.04 / std::sqrt(static_cast<double>(std::size_t{1} << kBits));
}

void DistinctSketch::add(const ip::Address& address) {
    addHash(hashOf(ip::unmapped(address)));
}

void DistinctSketch::addHash(std::uint64_t h) {
    if (!registers_) {
        if (std::find(hashes_.begin(), hashes_.end(), h) != hashes_.end()) return;
        hashes_.push_back(h);
        if (hashes_.size() <= kExact) return;
        registers_ = std::make_unique<Registers>();
        const std::vector<std::uint64_t> few = std::exchange(hashes_, {});
        for (const std::uint64_t f : few) addHash(f);
        return;
    }
    const auto index = static_cast<std::size_t>(h >> (64 - kBits));
    // The rank of the first set bit of the rest; all zero gives the most it can.
    const std::uint64_t rest = h << kBits;
    const auto rank =
        static_cast<std::uint8_t>(rest == 0 ? 64 - kBits + 1 : std::countl_zero(rest) + 1);
    std::uint8_t& r = (*registers_)[index];
    if (rank > r) r = rank;
}

void DistinctSketch::merge(const DistinctSketch& other) {
    if (!other.registers_) {
        for (const std::uint64_t h : other.hashes_) addHash(h);
        return;
    }
    if (!registers_) {
        registers_ = std::make_unique<Registers>(*other.registers_);
        const std::vector<std::uint64_t> few = std::exchange(hashes_, {});
        for (const std::uint64_t f : few) addHash(f);
        return;
    }
    for (std::size_t i = 0; i < registers_->size(); ++i)
        (*registers_)[i] = std::max((*registers_)[i], (*other.registers_)[i]);
}

std::uint64_t DistinctSketch::estimate() const {
    if (!registers_) return hashes_.size();
    const auto m = static_cast<double>(registers_->size());
    double sum = 0;
    std::size_t zeros = 0;
    for (const std::uint8_t r : *registers_) {
        sum += std::ldexp(1.0, -r);
        if (r == 0) ++zeros;
    }
    double e = 0.7213 / (1 + 1.079 / m) * m * m / sum;
    // Few addresses: counting the empty registers is closer.
    if (e <= 2.5 * m && zeros > 0) e = m * std::log(m / static_cast<double>(zeros));
    return static_cast<std::uint64_t>(std::llround(e));
}

std::string_view groupName(FieldId by, const Answer* answer, const Network& network,
                           std::string& buffer) {
    const FieldInfo& field = fieldInfo(by);
    if (field.from == FieldFrom::Network) {
        if (!network.known) return {};
        buffer = summary::networkName(network.number, network.organisation);
        return buffer;
    }
    if (!answer) return "离线库未能定位";
    const std::string_view name = answer->fields[static_cast<std::size_t>(field.record)];
    // One operator under its one name, however the data spells it.
    return field.record == static_cast<int>(Field::Operator) ? table::operatorGroup(name) : name;
}

void GroupTally::add(std::string_view name, std::uint64_t hits) {
    // No value, or no network: one group with a value spelled so.
    if (name.empty()) name = summary::kUnknownName;
    auto at = groups_.find(name);
    if (at == groups_.end()) at = groups_.emplace(std::string(name), Tally{}).first;
    ++at->second.addresses;
    at->second.hits += hits;
}

void GroupTally::into(summary::Counter& counter) const {
    for (const auto& [name, t] : groups_) counter.add(name, t.hits, t.addresses);
    counter.unplaced(unplaced_);
}

void GroupSketches::add(std::string_view name, const ip::Address& address, bool placed) {
    if (name.empty()) name = summary::kUnknownName;
    auto at = groups_.find(name);
    if (at == groups_.end())
        at = groups_.emplace(std::string(name), std::make_unique<Group>()).first;
    Group& g = *at->second;
    g.addresses.add(address);
    if (!placed) unplaced_.add(address);
    ++g.hits;
    all_.add(address);
}

void GroupSketches::merge(const GroupSketches& other) {
    for (const auto& [name, theirs] : other.groups_) {
        auto& ours = groups_[name];
        if (!ours) ours = std::make_unique<Group>();
        ours->addresses.merge(theirs->addresses);
        ours->hits += theirs->hits;
    }
    all_.merge(other.all_);
    unplaced_.merge(other.unplaced_);
}

void GroupSketches::into(summary::Counter& counter) const {
    for (const auto& [name, g] : groups_) counter.add(name, g->hits, g->addresses.estimate());
    counter.unplaced(unplaced_.estimate());
}

SummaryCount::SummaryCount(const ipdata::Database& data, const ipdata::Networks* asn, FieldId by,
                           AddressChoice choice, bool approx, unsigned threads)
    : data_(data),
      asn_(asn),
      by_(by),
      choice_(std::move(choice)),
      approx_(approx),
      threads_(std::max(1u, threads)) {}

Pipeline::Work SummaryCount::work() {
    // Exactly: each distinct address kept once, looked up once when all is read. With
    // --approx: each line's address looked up as it comes, into its group's sketch.
    std::shared_ptr<GroupSketches> mine;
    std::shared_ptr<Answers> answers;
    if (approx_) {
        mine = std::make_shared<GroupSketches>();
        answers = std::make_shared<Answers>(data_, asn_);
        const std::lock_guard lock(sketchesMutex_);
        sketches_.push_back(mine);
    }
    return [this, mine, answers, name = std::string(), scan = std::string(),
            storage = std::string(), picker = AddressPicker(choice_), all = choice_.isDefault(),
            found = std::vector<ip::Address>()](Job& job) mutable {
        auto count = [&](const ip::Address& a) {
            if (!mine) return found.push_back(a);
            Network network;
            const Answer* answer = answers->find(a, nullptr, &network);
            mine->add(groupName(by_, answer, network, name), a, answer != nullptr);
        };
        std::size_t w3c = job.w3c;
        forEachLine(blockText(job.block, job.encoding, storage), [&](std::string_view line) {
            ++job.lines;
            // One address a line, the one lookup answers, once any option or a W3C header
            // says which; else every address of the line.
            if (!all || w3c != 0 || line.starts_with(kW3cFields)) {
                if (auto a = picker.pick(line, job.encoding, w3c)) count(*a);
                return;
            }
            for (const std::string& text : ip::findAddresses(scanText(line, job.encoding, scan)))
                if (auto a = ip::parseAddress(text)) count(*a);
        });
        distinct_.add(found);
        found.clear();
    };
}

std::uint64_t SummaryCount::into(summary::Counter& counter) {
    if (approx_) {
        const std::lock_guard lock(sketchesMutex_);
        for (const auto& s : sketches_) sketched_.merge(*s);
        sketched_.into(counter);
        return sketched_.addresses();
    }
    // Each address looked up once, the shards shared out among the threads, each with its
    // own answers and its own tally.
    tallies_.assign(threads_, GroupTally());
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < tallies_.size(); ++t) {
        workers.emplace_back([this, t] {
            Answers answers(data_, asn_);
            std::string buffer;
            GroupTally& tally = tallies_[t];
            for (std::size_t shard = t; shard < DistinctAddresses::kShards;
                 shard += tallies_.size()) {
                distinct_.forEachIn(shard, [&](const ip::Address& address, std::uint64_t hits) {
                    Network network;
                    const Answer* answer = answers.find(address, nullptr, &network);
                    if (!answer) tally.unplaced();
                    tally.add(groupName(by_, answer, network, buffer), hits);
                });
            }
        });
    }
    for (std::thread& w : workers) w.join();
    for (const GroupTally& t : tallies_) t.into(counter);
    return distinct_.size();
}

}  // namespace cli
