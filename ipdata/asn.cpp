// The asn.db reader. open() makes one pass over the whole file (some 12 MB, a few
// milliseconds): the header's sections against the file and each other, every range
// against its neighbour and the entry table, every entry against the strings, the strings
// as UTF-8. After that a lookup is a block table and a short binary search, with no check.
#include "ipdata/asn.h"

#include <algorithm>

#include "ipdata/asn_format.h"
#include "ipdata/ipdata.h"
#include "text/bytes.h"
#include "text/codepage.h"

namespace ipdata {
namespace {

namespace f = asnfile;

constexpr int kBlockBits = 16;
constexpr std::size_t kBlocks = std::size_t{1} << kBlockBits;

// Records lie inside the file, as open() checked; the byte reader's bound is a second net.
std::uint32_t le32(const char* p) {
    return le::u32(std::string_view(p, 4), 0);
}

std::uint64_t le64(const char* p) {
    return le::u64(std::string_view(p, 8), 0);
}

// A 128-bit value as two host-order halves; IPv4 uses only `low`.
struct Key {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    auto operator<=>(const Key&) const = default;
};

struct V4 {
    static constexpr std::size_t kSize = f::kV4RecordSize;
    static Key first(const char* r) { return {0, le32(r)}; }
    static Key last(const char* r) { return {0, le32(r + 4)}; }
    static std::uint32_t entry(const char* r) { return le32(r + 8); }
    static std::size_t block(const Key& k) { return static_cast<std::size_t>(k.low >> 16); }
    static ip::Address address(const Key& k) {
        return ip::Address::v4(static_cast<std::uint32_t>(k.low));
    }
};

struct V6 {
    static constexpr std::size_t kSize = f::kV6RecordSize;
    static Key first(const char* r) { return {le64(r), le64(r + 8)}; }
    static Key last(const char* r) { return {le64(r + 16), le64(r + 24)}; }
    static std::uint32_t entry(const char* r) { return le32(r + 32); }
    static std::size_t block(const Key& k) { return static_cast<std::size_t>(k.high >> 48); }
    static ip::Address address(const Key& k) { return ip::Address::v6(k.high, k.low); }
};

// Ranges in order and apart, entries in the table; fills the block table on the way.
template <class Family>
AsnError checkRanges(std::string_view records, std::size_t count, std::size_t entryCount,
                     std::vector<std::uint32_t>& blocks) {
    blocks.assign(kBlocks + 1, static_cast<std::uint32_t>(count));
    std::size_t nextBlock = 0;
    Key previous;
    for (std::size_t i = 0; i < count; ++i) {
        const char* r = records.data() + i * Family::kSize;
        const Key first = Family::first(r), last = Family::last(r);
        if (last < first || (i > 0 && first <= previous)) return AsnError::kUnsortedRanges;
        if (Family::entry(r) >= entryCount) return AsnError::kEntryOutOfTable;
        for (const std::size_t to = Family::block(last); nextBlock <= to; ++nextBlock)
            blocks[nextBlock] = static_cast<std::uint32_t>(i);
        previous = last;
    }
    return AsnError::kNone;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

// No overlong forms, surrogates or values past U+10FFFF; no control character either, for
// an organisation goes into tab-separated copies and one-line records.
bool asnfile::isCleanText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return false;
        const codepage::Utf8Char u = codepage::decodeUtf8(text, i);
        if (!u.valid) return false;
        i += u.length;
    }
    return true;
}

namespace {

// Whether [offset, offset + length) lies inside `strings` on character boundaries.
bool isWholeString(std::string_view strings, std::uint32_t offset, std::uint32_t length) {
    if (offset > strings.size() || length > strings.size() - offset) return false;
    const std::size_t end = std::size_t{offset} + length;
    return (offset == strings.size() || !isContinuation(strings[offset])) &&
           (end == strings.size() || !isContinuation(strings[end]));
}

template <class Family>
std::optional<std::size_t> search(std::string_view records, std::size_t count,
                                  const std::vector<std::uint32_t>& blocks, const Key& key) {
    const std::size_t block = Family::block(key);
    // The range holding `key` is the first that ends at or after it: not before the first
    // to reach this block, and at the latest the first to reach the next one.
    std::size_t low = blocks[block], high = blocks[block + 1];
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Family::last(records.data() + middle * Family::kSize) < key) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == count || key < Family::first(records.data() + low * Family::kSize))
        return std::nullopt;
    return low;
}

}  // namespace

std::string_view asnErrorName(AsnError error) {
    switch (error) {
        case AsnError::kNone:
            return "none";
        case AsnError::kTooShort:
            return "too-short";
        case AsnError::kNotAsnFile:
            return "not-asn-file";
        case AsnError::kUnknownVersion:
            return "unknown-version";
        case AsnError::kBadHeader:
            return "bad-header";
        case AsnError::kSectionOutOfFile:
            return "section-out-of-file";
        case AsnError::kUnsortedRanges:
            return "unsorted-ranges";
        case AsnError::kEntryOutOfTable:
            return "entry-out-of-table";
        case AsnError::kStringOutOfTable:
            return "string-out-of-table";
        case AsnError::kBadText:
            return "bad-text";
    }
    return "unknown";
}

std::unique_ptr<AsnDatabase> AsnDatabase::open(std::string_view bytes,
                                               std::shared_ptr<const void> owner, AsnError& error) {
    auto fail = [&](AsnError why) {
        error = why;
        return nullptr;
    };
    if (bytes.size() < f::kHeaderSize) return fail(AsnError::kTooShort);
    if (bytes.substr(0, f::kMagic.size()) != f::kMagic) return fail(AsnError::kNotAsnFile);
    auto field = [&](f::HeaderField at) { return le32(bytes.data() + at); };
    if (field(f::kFormatVersion) != f::kVersion) return fail(AsnError::kUnknownVersion);
    if (field(f::kHeaderBytes) != f::kHeaderSize || field(f::kFileSize) != bytes.size())
        return fail(AsnError::kBadHeader);

    // The sections in file order, each after the one before, the last inside the file; in
    // 64 bits, so no count times size wraps.
    struct Section {
        f::HeaderField offset, count;
        std::uint64_t size;
        std::string_view* view;
    };
    auto db = std::unique_ptr<AsnDatabase>(new AsnDatabase);
    const Section sections[] = {{f::kV4Offset, f::kV4Count, f::kV4RecordSize, &db->v4_},
                                {f::kV6Offset, f::kV6Count, f::kV6RecordSize, &db->v6_},
                                {f::kEntryOffset, f::kEntryCount, f::kEntrySize, &db->entries_},
                                {f::kStringOffset, f::kStringSize, 1, &db->strings_}};
    std::uint64_t end = f::kHeaderSize;
    for (const Section& s : sections) {
        const std::uint64_t offset = field(s.offset), length = field(s.count) * s.size;
        if (offset < end || offset > bytes.size() || length > bytes.size() - offset)
            return fail(AsnError::kSectionOutOfFile);
        *s.view = bytes.substr(offset, length);
        end = offset + length;
    }
    db->v4Count_ = field(f::kV4Count);
    db->v6Count_ = field(f::kV6Count);
    const std::size_t entryCount = field(f::kEntryCount);

    if (!f::isCleanText(db->strings_)) return fail(AsnError::kBadText);
    if (!isWholeString(db->strings_, field(f::kSourceOffset), field(f::kSourceLength)))
        return fail(AsnError::kStringOutOfTable);
    db->source_ = db->strings_.substr(field(f::kSourceOffset), field(f::kSourceLength));
    for (std::size_t i = 0; i < entryCount; ++i) {
        const char* e = db->entries_.data() + i * f::kEntrySize;
        if (!isWholeString(db->strings_, le32(e + 4), le32(e + 8)))
            return fail(AsnError::kStringOutOfTable);
    }
    for (AsnError why : {checkRanges<V4>(db->v4_, db->v4Count_, entryCount, db->v4Block_),
                         checkRanges<V6>(db->v6_, db->v6Count_, entryCount, db->v6Block_)})
        if (why != AsnError::kNone) return fail(why);

    db->date_ = field(f::kDate);
    db->bytes_ = bytes;
    db->owner_ = std::move(owner);
    error = AsnError::kNone;
    return db;
}

std::unique_ptr<AsnDatabase> AsnDatabase::at(std::string_view bytes,
                                             std::shared_ptr<const void> owner) const {
    if (bytes.size() != bytes_.size()) return nullptr;
    auto copy = std::unique_ptr<AsnDatabase>(new AsnDatabase(*this));
    for (std::string_view* part :
         {&copy->v4_, &copy->v6_, &copy->entries_, &copy->strings_, &copy->source_})
        *part = samePlace(*part, bytes_, bytes);
    copy->bytes_ = bytes;
    copy->owner_ = std::move(owner);
    return copy;
}

AsnAnswer AsnDatabase::answerOf(std::size_t entry, const ip::Address& first,
                                const ip::Address& last) const {
    const char* e = entries_.data() + entry * f::kEntrySize;
    return {le32(e), strings_.substr(le32(e + 4), le32(e + 8)), first, last};
}

AsnAnswer AsnDatabase::rangeAt(ip::Family family, std::size_t index) const {
    if (family == ip::Family::V4) {
        const char* r = v4_.data() + index * V4::kSize;
        return answerOf(V4::entry(r), V4::address(V4::first(r)), V4::address(V4::last(r)));
    }
    const char* r = v6_.data() + index * V6::kSize;
    return answerOf(V6::entry(r), V6::address(V6::first(r)), V6::address(V6::last(r)));
}

std::optional<AsnAnswer> AsnDatabase::find(const ip::Address& address) const {
    if (address.isV4()) {
        const Key key{0, address.v4Value()};
        const auto at = search<V4>(v4_, v4Count_, v4Block_, key);
        if (!at) return std::nullopt;
        return rangeAt(ip::Family::V4, *at);
    }
    const Key key{address.high(), address.low()};
    const auto at = search<V6>(v6_, v6Count_, v6Block_, key);
    if (!at) return std::nullopt;
    return rangeAt(ip::Family::V6, *at);
}

}  // namespace ipdata
