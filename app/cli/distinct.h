// What `summary` holds while it reads: each distinct address once with its hits, in a few
// bytes, or (with --approx) no address at all, only a fixed-size sketch for each group.
// Either way each group's name is kept once, and an address is looked up once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/cli/output.h"
#include "app/cli/pick.h"
#include "app/cli/pipeline.h"
#include "table/summary.h"
#include "text/address.h"

namespace cli {

// The distinct addresses with their hits. IPv4 addresses are 8 bytes a slot (the value and
// its hits), IPv6 ones 24, in open-addressing tables 53% to 80% full, split into shards by
// hash: a shard grows on its own, so growing never holds two copies of the whole set, and
// threads that add at once seldom wait for each other. Safe to add to from any thread.
class DistinctAddresses {
  public:
    static constexpr std::size_t kShards = 256;

    DistinctAddresses();
    ~DistinctAddresses();
    DistinctAddresses(const DistinctAddresses&) = delete;
    DistinctAddresses& operator=(const DistinctAddresses&) = delete;

    // An IPv4-mapped address counts as its IPv4 address.
    void add(const ip::Address& address, std::uint64_t hits = 1);
    // Each address once more: quicker than one by one.
    void add(std::span<const ip::Address> addresses);
    std::uint64_t size() const;
    // Each address of shard `shard` with its hits; not while others add.
    template <class Visit>
    void forEachIn(std::size_t shard, Visit&& visit) const;

  private:
    struct Shard;
    std::vector<std::unique_ptr<Shard>> shards_;
};

// How many distinct addresses were added: exactly up to kExact of them, kept as their
// hashes (a network's or a small town's few visitors cost a few bytes each); past that, a
// HyperLogLog sketch, within a few percent in 2 KB whatever their number.
class DistinctSketch {
  public:
    static constexpr unsigned kBits = 11;
    static constexpr std::size_t kExact = 128;
    // The relative standard error of an estimate: 1.04 / sqrt(registers).
    static double standardError();

    void add(const ip::Address& address);
    void merge(const DistinctSketch& other);
    std::uint64_t estimate() const;

  private:
    using Registers = std::array<std::uint8_t, std::size_t{1} << kBits>;
    void addHash(std::uint64_t h);

    std::vector<std::uint64_t> hashes_;     // while there are few
    std::unique_ptr<Registers> registers_;  // once there are many
};

// The name of the group an address falls in, by `by` (a field of the table of fields
// marked as a grouping); a view into `answer`, `network`, the operator table or `buffer`,
// valid until the next lookup. Empty for no value.
std::string_view groupName(FieldId by, const Answer* answer, const Network& network,
                           std::string& buffer);

// Groups with their addresses and hits, on one thread; the names owned here.
class GroupTally {
  public:
    // One more distinct address of `name`, seen `hits` times.
    void add(std::string_view name, std::uint64_t hits);
    void unplaced() { ++unplaced_; }
    // Into `counter`, which keeps views of this tally's names.
    void into(summary::Counter& counter) const;

  private:
    struct Tally {
        std::size_t addresses = 0;
        std::uint64_t hits = 0;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view v) const {
            return std::hash<std::string_view>()(v);
        }
    };
    std::unordered_map<std::string, Tally, NameHash, std::equal_to<>> groups_;
    std::size_t unplaced_ = 0;
};

// The same with each group's addresses estimated by a sketch, for --approx: every line's
// address is added, repeats and all.
class GroupSketches {
  public:
    void add(std::string_view name, const ip::Address& address, bool placed);
    void merge(const GroupSketches& other);
    // Each group's estimate into `counter`, which keeps views of the names.
    void into(summary::Counter& counter) const;
    std::uint64_t addresses() const { return all_.estimate(); }

  private:
    struct Group {
        DistinctSketch addresses;
        std::uint64_t hits = 0;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view v) const {
            return std::hash<std::string_view>()(v);
        }
    };
    std::unordered_map<std::string, std::unique_ptr<Group>, NameHash, std::equal_to<>> groups_;
    DistinctSketch all_, unplaced_;
};

// A summary's counting: the work of the pipeline's threads on each block (every address
// of each line, or the one `choice` picks), and the groups made of it when all is read.
class SummaryCount {
  public:
    SummaryCount(const ipdata::Database& data, const ipdata::Networks* asn, FieldId by,
                 AddressChoice choice, bool approx, unsigned threads);
    // For each of the pipeline's threads.
    Pipeline::Work work();
    // Once the pipeline has finished: the groups into `counter`, which keeps views of
    // names owned here; the number of distinct addresses (an estimate with --approx).
    std::uint64_t into(summary::Counter& counter);

  private:
    const ipdata::Database& data_;
    const ipdata::Networks* asn_;
    FieldId by_;
    AddressChoice choice_;
    bool approx_;
    unsigned threads_;
    DistinctAddresses distinct_;
    std::vector<GroupTally> tallies_;  // a thread's each, for the names
    std::mutex sketchesMutex_;
    std::vector<std::shared_ptr<GroupSketches>> sketches_;  // a thread's each
    GroupSketches sketched_;
};

// --- the shards, for forEachIn

struct DistinctAddresses::Shard {
    struct V4 {
        std::uint32_t value = 0;
        std::uint32_t hits = 0;  // 0: empty; kFull: more in `moreHits`
    };
    struct V6 {
        std::uint64_t high = 0, low = 0;
        std::uint64_t hits = 0;  // 0: empty
    };
    static constexpr std::uint32_t kFull = 0xFFFFFFFF;

    // `address` unmapped, `h` its hash; under the lock.
    void add(const ip::Address& address, std::uint64_t h, std::uint64_t hits);
    void prefetch(const ip::Address& address, std::uint64_t h) const;

    std::mutex mutex;
    std::vector<V4> v4;
    std::vector<V6> v6;
    std::size_t v4Count = 0, v6Count = 0;
    // Hits beyond what a slot holds: an address seen four billion times is rare, but it
    // still counts exactly.
    std::unordered_map<std::uint32_t, std::uint64_t> moreHits;
};

template <class Visit>
void DistinctAddresses::forEachIn(std::size_t shard, Visit&& visit) const {
    const Shard& s = *shards_[shard];
    for (const Shard::V4& slot : s.v4) {
        if (slot.hits == 0) continue;
        const std::uint64_t more = slot.hits == Shard::kFull ? s.moreHits.at(slot.value) : 0;
        visit(ip::Address::v4(slot.value), slot.hits + more);
    }
    for (const Shard::V6& slot : s.v6)
        if (slot.hits != 0) visit(ip::Address::v6(slot.high, slot.low), slot.hits);
}

}  // namespace cli
