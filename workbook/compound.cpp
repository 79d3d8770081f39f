#include "workbook/compound.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "text/bytes.h"
namespace workbook {
namespace {

constexpr std::uint32_t kFreeSect = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderDifatSlots = 109;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;

class Reader {
  public:
    explicit Reader(std::string_view file) : file_(file) {}

    CompoundStatus find(std::string_view name, std::string& stream) {
        if (file_.size() < 8 ||
            !std::equal(kSignature, kSignature + 8, file_.begin(),
                        [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); }))
            return CompoundStatus::NotCompound;
        if (file_.size() < 512) return CompoundStatus::Malformed;
        if (le::u16(file_, 0x1C) != 0xFFFE) return CompoundStatus::Malformed;
        const std::uint16_t shift = le::u16(file_, 0x1E);
        if (shift != 9 && shift != 12) return CompoundStatus::Malformed;
        if (le::u16(file_, 0x20) != 6) return CompoundStatus::Malformed;
        if (le::u32(file_, 0x38) != kMiniStreamCutoff) return CompoundStatus::Malformed;
        sectorSize_ = 1u << shift;
        if (file_.size() <= sectorSize_) return CompoundStatus::Malformed;
        // A last sector cut short by a careless writer still counts; its missing bytes
        // read as zeros.
        sectorCount_ = static_cast<std::uint32_t>(std::min<std::size_t>(
            (file_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_, 0xFFFFFFFAu));
        if (!loadFat()) return CompoundStatus::Malformed;

        std::string directory;
        if (!readChain(fat_, le::u32(file_, 0x30), UINT64_MAX, directory, sectorSize_))
            return CompoundStatus::Malformed;
        const std::size_t entries = directory.size() / 128;
        if (entries == 0) return CompoundStatus::Malformed;
        std::string_view dir(directory);
        if (static_cast<unsigned char>(dir[66]) != 5) return CompoundStatus::Malformed;

        const std::uint32_t found = findTopLevel(dir, entries, name);
        if (found == kMalformedEntry) return CompoundStatus::Malformed;
        if (found == kNoStream) return CompoundStatus::NoStream;

        const std::size_t base = static_cast<std::size_t>(found) * 128;
        const std::uint32_t start = le::u32(dir, base + 116);
        // Version 3 keeps only the low 32 bits; version 4 files under 4 GB have 0 above.
        const std::uint64_t size = le::u32(dir, base + 120);
        if (size > file_.size()) return CompoundStatus::Malformed;
        if (size < kMiniStreamCutoff) {
            return readMini(dir, start, size, stream) ? CompoundStatus::Ok
                                                      : CompoundStatus::Malformed;
        }
        stream.clear();
        return readChain(fat_, start, size, stream, sectorSize_) ? CompoundStatus::Ok
                                                                 : CompoundStatus::Malformed;
    }

  private:
    static constexpr std::uint32_t kMalformedEntry = 0xFFFFFFF0;

    std::string_view sector(std::uint32_t index) const {
        const std::size_t at = (static_cast<std::size_t>(index) + 1) * sectorSize_;
        if (at >= file_.size()) return {};
        return file_.substr(at, std::min<std::size_t>(sectorSize_, file_.size() - at));
    }

    bool loadFat() {
        const std::uint32_t fatSectors = le::u32(file_, 0x2C);
        // Each FAT sector takes a sector of the file: a larger count is a lie.
        if (fatSectors == 0 || fatSectors > sectorCount_) return false;
        std::vector<std::uint32_t> fatList;
        fatList.reserve(std::min<std::uint32_t>(fatSectors, kHeaderDifatSlots));
        for (std::size_t i = 0; i < kHeaderDifatSlots && fatList.size() < fatSectors; ++i) {
            const std::uint32_t s = le::u32(file_, 0x4C + 4 * i);
            if (s == kFreeSect) break;
            fatList.push_back(s);
        }
        std::uint32_t difat = le::u32(file_, 0x44);
        std::uint32_t difatLeft = le::u32(file_, 0x48);
        const std::uint32_t perDifat = sectorSize_ / 4 - 1;
        std::vector<bool> seenDifat(sectorCount_, false);
        while (fatList.size() < fatSectors) {
            if (difat == kEndOfChain || difat == kFreeSect || difatLeft == 0) break;
            if (difat >= sectorCount_ || seenDifat[difat]) return false;
            seenDifat[difat] = true;
            --difatLeft;
            std::string_view s = sector(difat);
            for (std::uint32_t i = 0; i < perDifat && fatList.size() < fatSectors; ++i) {
                const std::uint32_t f = le::u32(s, 4 * i);
                if (f == kFreeSect) continue;
                fatList.push_back(f);
            }
            difat = le::u32(s, 4 * perDifat);
        }
        if (fatList.size() != fatSectors) return false;
        const std::size_t perSector = sectorSize_ / 4;
        fat_.assign(fatList.size() * perSector, kFreeSect);
        std::vector<bool> seenFat(sectorCount_, false);
        for (std::size_t i = 0; i < fatList.size(); ++i) {
            const std::uint32_t f = fatList[i];
            if (f >= sectorCount_ || seenFat[f]) return false;
            seenFat[f] = true;
            std::string_view s = sector(f);
            for (std::size_t j = 0; j < perSector; ++j)
                fat_[i * perSector + j] = 4 * j + 4 <= s.size() ? le::u32(s, 4 * j) : kFreeSect;
        }
        return true;
    }

    // Follows a chain through `table`, appending each unit of `unit` bytes. Stops after
    // `size` bytes (UINT64_MAX: at the end of the chain). Every index is checked, a chain
    // that meets itself is rejected, and so is one that ends before `size` bytes.
    template <typename UnitAt>
    bool followChain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                     std::uint64_t size, std::string& out, std::uint32_t unit,
                     std::uint32_t unitCount, UnitAt unitAt) {
        std::vector<bool> seen(std::min<std::size_t>(table.size(), unitCount), false);
        std::uint32_t current = start;
        std::uint64_t collected = 0;
        while (collected < size) {
            if (current == kEndOfChain && size == UINT64_MAX) return true;
            if (current >= seen.size() || seen[current]) return false;
            seen[current] = true;
            std::string_view bytes = unitAt(current);
            const std::uint64_t want = std::min<std::uint64_t>(unit, size - collected);
            out.append(bytes.substr(0, std::min<std::uint64_t>(want, bytes.size())));
            if (bytes.size() < want) out.append(want - bytes.size(), '\0');
            collected += want;
            current = table[current];
        }
        return true;
    }

    bool readChain(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint64_t size,
                   std::string& out, std::uint32_t unit) {
        if (size != UINT64_MAX) out.reserve(static_cast<std::size_t>(size));
        return followChain(table, start, size, out, unit, sectorCount_,
                           [this](std::uint32_t s) { return sector(s); });
    }

    bool readMini(std::string_view dir, std::uint32_t start, std::uint64_t size, std::string& out) {
        out.clear();
        if (size == 0) return true;
        // The mini stream is the root entry's chain; the mini FAT an ordinary chain.
        const std::uint64_t miniSize = le::u32(dir, 120);
        if (miniSize > file_.size()) return false;
        std::string mini;
        if (!readChain(fat_, le::u32(dir, 116), miniSize, mini, sectorSize_)) return false;
        const std::uint32_t miniFatSectors = le::u32(file_, 0x40);
        if (miniFatSectors > sectorCount_) return false;
        std::string miniFatBytes;
        if (!readChain(fat_, le::u32(file_, 0x3C),
                       static_cast<std::uint64_t>(miniFatSectors) * sectorSize_, miniFatBytes,
                       sectorSize_))
            return false;
        std::vector<std::uint32_t> miniFat(miniFatBytes.size() / 4);
        for (std::size_t i = 0; i < miniFat.size(); ++i) miniFat[i] = le::u32(miniFatBytes, 4 * i);
        std::string_view miniView(mini);
        const auto miniCount = static_cast<std::uint32_t>(mini.size() / kMiniSectorSize);
        return followChain(miniFat, start, size, out, kMiniSectorSize, miniCount,
                           [miniView](std::uint32_t s) {
                               return miniView.substr(static_cast<std::size_t>(s) * kMiniSectorSize,
                                                      kMiniSectorSize);
                           });
    }

    static bool sameName(std::string_view dir, std::size_t base, std::string_view name) {
        const std::uint16_t bytes = le::u16(dir, base + 64);
        if (bytes < 2 || bytes > 64 || bytes % 2 != 0) return false;
        const std::size_t length = bytes / 2 - 1;
        if (length != name.size()) return false;
        for (std::size_t i = 0; i < length; ++i) {
            std::uint16_t c = le::u16(dir, base + 2 * i);
            if (c >= 'a' && c <= 'z') c -= 32;
            unsigned char n = static_cast<unsigned char>(name[i]);
            if (n >= 'a' && n <= 'z') n -= 32;
            if (c != n) return false;
        }
        return true;
    }

    // Walks the root's children (a tree through left and right links) for a stream.
    std::uint32_t findTopLevel(std::string_view dir, std::size_t entries, std::string_view name) {
        std::vector<bool> seen(entries, false);
        std::vector<std::uint32_t> pending{le::u32(dir, 76)};
        while (!pending.empty()) {
            const std::uint32_t e = pending.back();
            pending.pop_back();
            if (e == kNoStream) continue;
            if (e >= entries || seen[e]) return kMalformedEntry;
            seen[e] = true;
            const std::size_t base = static_cast<std::size_t>(e) * 128;
            if (static_cast<unsigned char>(dir[base + 66]) == 2 && sameName(dir, base, name))
                return e;
            pending.push_back(le::u32(dir, base + 68));
            pending.push_back(le::u32(dir, base + 72));
        }
        return kNoStream;
    }

    std::string_view file_;
    std::uint32_t sectorSize_ = 512;
    std::uint32_t sectorCount_ = 0;
    std::vector<std::uint32_t> fat_;
};

}  // namespace

CompoundStatus readCompoundStream(std::string_view file, std::string_view name,
                                  std::string& stream) {
    stream.clear();
    Reader reader(file);
    const CompoundStatus status = reader.find(name, stream);
    if (status != CompoundStatus::Ok) stream.clear();
    return status;
}

std::string writeCompoundFile(std::string_view name, std::string stream) {
    constexpr std::uint32_t kSector = 512;
    constexpr std::uint32_t kPerFat = kSector / 4;
    constexpr std::uint32_t kPerDifat = kPerFat - 1;
    if (stream.size() < kMiniStreamCutoff) stream.resize(kMiniStreamCutoff, '\0');
    const auto streamSectors = static_cast<std::uint32_t>((stream.size() + kSector - 1) / kSector);

    // FAT sectors must map every sector, themselves and the DIFAT included. Exactly 109
    // FAT sectors is said to make Excel ask for repair, so that count is skipped.
    std::uint32_t fatSectors = 1, difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors > kHeaderDifatSlots
                           ? (fatSectors - kHeaderDifatSlots + kPerDifat - 1) / kPerDifat
                           : 0;
        const std::uint64_t needed =
            static_cast<std::uint64_t>(streamSectors) + fatSectors + difatSectors + 1;
        if (static_cast<std::uint64_t>(fatSectors) * kPerFat >= needed &&
            fatSectors != kHeaderDifatSlots)
            break;
        ++fatSectors;
    }
    const std::uint32_t fatStart = streamSectors;
    const std::uint32_t difatStart = fatStart + fatSectors;
    const std::uint32_t dirSector = difatStart + difatSectors;
    const std::uint32_t total = dirSector + 1;

    std::string out(static_cast<std::size_t>(total + 1) * kSector, '\0');
    // Header.
    std::copy(kSignature, kSignature + 8, out.begin());
    le::set16(out, 0x18, 0x003E);
    le::set16(out, 0x1A, 3);
    le::set16(out, 0x1C, 0xFFFE);
    le::set16(out, 0x1E, 9);
    le::set16(out, 0x20, 6);
    le::set32(out, 0x2C, fatSectors);
    le::set32(out, 0x30, dirSector);
    le::set32(out, 0x38, kMiniStreamCutoff);
    le::set32(out, 0x3C, kEndOfChain);
    le::set32(out, 0x40, 0);
    le::set32(out, 0x44, difatSectors ? difatStart : kEndOfChain);
    le::set32(out, 0x48, difatSectors);
    for (std::uint32_t i = 0; i < kHeaderDifatSlots; ++i)
        le::set32(out, 0x4C + 4 * i, i < fatSectors ? fatStart + i : kFreeSect);

    auto sectorAt = [](std::uint32_t s) { return static_cast<std::size_t>(s + 1) * kSector; };
    std::copy(stream.begin(), stream.end(), out.begin() + sectorAt(0));

    // FAT.
    auto setFat = [&](std::uint32_t s, std::uint32_t value) {
        le::set32(out, sectorAt(fatStart + s / kPerFat) + 4 * (s % kPerFat), value);
    };
    for (std::uint32_t s = 0; s < fatSectors * kPerFat; ++s) setFat(s, kFreeSect);
    for (std::uint32_t s = 0; s < streamSectors; ++s)
        setFat(s, s + 1 == streamSectors ? kEndOfChain : s + 1);
    for (std::uint32_t s = 0; s < fatSectors; ++s) setFat(fatStart + s, kFatSect);
    for (std::uint32_t s = 0; s < difatSectors; ++s) setFat(difatStart + s, kDifSect);
    setFat(dirSector, kEndOfChain);

    // DIFAT sectors: the FAT sectors beyond the header's 109, then the next pointer.
    for (std::uint32_t d = 0; d < difatSectors; ++d) {
        const std::size_t base = sectorAt(difatStart + d);
        for (std::uint32_t i = 0; i < kPerDifat; ++i) {
            const std::uint32_t fatIndex = kHeaderDifatSlots + d * kPerDifat + i;
            le::set32(out, base + 4 * i, fatIndex < fatSectors ? fatStart + fatIndex : kFreeSect);
        }
        le::set32(out, base + 4 * kPerDifat,
                  d + 1 < difatSectors ? difatStart + d + 1 : kEndOfChain);
    }

    // Directory: the root, the one stream, two unused entries.
    const std::size_t dir = sectorAt(dirSector);
    auto entry = [&](std::size_t index, std::string_view entryName, unsigned char type,
                     std::uint32_t child, std::uint32_t start, std::uint32_t size) {
        const std::size_t base = dir + 128 * index;
        for (std::size_t i = 0; i < entryName.size() && i < 31; ++i)
            le::set16(out, base + 2 * i, static_cast<unsigned char>(entryName[i]));
        le::set16(
            out, base + 64,
            static_cast<std::uint16_t>(2 * (std::min<std::size_t>(entryName.size(), 31) + 1)));
        out[base + 66] = static_cast<char>(type);
        out[base + 67] = 1;  // black
        le::set32(out, base + 68, kNoStream);
        le::set32(out, base + 72, kNoStream);
        le::set32(out, base + 76, child);
        le::set32(out, base + 116, start);
        le::set32(out, base + 120, size);
    };
    entry(0, "Root Entry", 5, 1, kEndOfChain, 0);
    entry(1, name, 2, kNoStream, 0, static_cast<std::uint32_t>(stream.size()));
    for (std::size_t i = 2; i < 4; ++i) {
        const std::size_t base = dir + 128 * i;
        le::set32(out, base + 68, kNoStream);
        le::set32(out, base + 72, kNoStream);
        le::set32(out, base + 76, kNoStream);
    }
    return out;
}

}  // namespace workbook
