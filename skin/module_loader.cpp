#include "skin/module_loader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "text/bytes.h"

namespace {

// PE32 layout: offsets inside the NT headers (from e_lfanew) and other structures.
constexpr std::uint64_t kDosHeaderSize = 64;
constexpr std::uint64_t kNtHeadersSize = 248;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint32_t kNtNumberOfSections = 6;
constexpr std::uint32_t kNtCharacteristics = 22;
constexpr std::uint32_t kNtEntryPoint = 40;
constexpr std::uint32_t kNtImageBase = 52;
constexpr std::uint32_t kNtSectionAlignment = 56;
constexpr std::uint32_t kNtSizeOfImage = 80;
constexpr std::uint32_t kNtDataDirectory = 120;
constexpr std::uint32_t kDirExport = 0;
constexpr std::uint32_t kDirImport = 1;
constexpr std::uint32_t kDirRelocation = 5;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
constexpr std::uint64_t kImportDescriptorSize = 20;
constexpr std::uint64_t kExportDirectorySize = 40;
constexpr std::uint32_t kRelocHighLow = 3;
constexpr std::uint32_t kSectionCharacteristics = 36;
constexpr std::uint32_t kScnExecute = 0x20000000;
constexpr std::uint32_t kScnWrite = 0x80000000;
// Access is set per page, and an i386 page is 4 KB.
constexpr std::uint64_t kPageSize = 0x1000;
// Larger images cannot be mapped in a 32-bit process anyway.
constexpr std::uint64_t kMaxImageSize = 0x80000000ull;

// Bounds-checked little-endian reads over a block of bytes; every offset is 64-bit so
// adding sizes taken from the image cannot wrap.
struct Bytes {
    const unsigned char* data;
    std::uint64_t size;

    bool has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size && length <= size - offset;
    }
    std::string_view view() const {
        return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(size)};
    }
    std::uint16_t u16(std::uint64_t offset) const {
        return offset < size ? le::u16(view(), static_cast<std::size_t>(offset)) : 0;
    }
    std::uint32_t u32(std::uint64_t offset) const {
        return offset < size ? le::u32(view(), static_cast<std::size_t>(offset)) : 0;
    }
    // A NUL-terminated text that ends inside the block.
    bool hasText(std::uint64_t offset) const {
        return offset < size && std::memchr(data + offset, 0, size - offset) != nullptr;
    }
};

struct Headers {
    std::uint64_t ntOffset = 0;
    std::uint16_t sections = 0;
    std::uint16_t characteristics = 0;
    std::uint32_t entryPoint = 0;
    std::uint32_t imageBase = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t dirAddress(const Bytes& b, std::uint32_t i) const {
        return b.u32(ntOffset + kNtDataDirectory + 8 * i);
    }
    std::uint32_t dirSize(const Bytes& b, std::uint32_t i) const {
        return b.u32(ntOffset + kNtDataDirectory + 8 * i + 4);
    }
};

// The DOS and NT headers with their signatures, fully inside `b`.
bool readHeaders(const Bytes& b, Headers& h) {
    if (!b.has(0, kDosHeaderSize) || b.u16(0) != 0x5A4D) return false;
    std::int32_t lfanew = static_cast<std::int32_t>(b.u32(60));
    if (lfanew < 0 || !b.has(static_cast<std::uint64_t>(lfanew), kNtHeadersSize)) return false;
    h.ntOffset = static_cast<std::uint64_t>(lfanew);
    if (b.u32(h.ntOffset) != 0x4550) return false;
    h.sections = b.u16(h.ntOffset + kNtNumberOfSections);
    h.characteristics = b.u16(h.ntOffset + kNtCharacteristics);
    h.entryPoint = b.u32(h.ntOffset + kNtEntryPoint);
    h.imageBase = b.u32(h.ntOffset + kNtImageBase);
    h.sectionAlignment = b.u32(h.ntOffset + kNtSectionAlignment);
    h.sizeOfImage = b.u32(h.ntOffset + kNtSizeOfImage);
    return true;
}

struct Section {
    std::uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;

    // Where the section ends in the mapped image: its larger size, rounded up to the
    // section alignment.
    std::uint64_t end(std::uint32_t alignment) const {
        const std::uint64_t last = std::uint64_t{virtualAddress} + std::max(virtualSize, rawSize);
        return (last + alignment - 1) / alignment * alignment;
    }
};

Section readSection(const Bytes& b, const Headers& h, std::uint32_t i) {
    std::uint64_t at = h.ntOffset + kNtHeadersSize + kSectionHeaderSize * i;
    return {b.u32(at + 8), b.u32(at + 12), b.u32(at + 16), b.u32(at + 20),
            b.u32(at + kSectionCharacteristics)};
}

// Last loaded, first freed: a library may rely on one loaded before it.
void freeLibraries(platform::ModuleMemory& memory, std::vector<std::uint32_t>& libraries) {
    for (auto it = libraries.rbegin(); it != libraries.rend(); ++it) memory.freeLibrary(*it);
    libraries.clear();
}

// What a load in progress has taken (the region, the libraries its imports loaded);
// given back unless the load succeeds and keeps it.
class LoadInProgress {
  public:
    LoadInProgress(platform::ModuleMemory& memory, platform::Address base)
        : memory_(memory), base_(base) {}
    ~LoadInProgress() {
        if (base_ != 0) memory_.virtualFree(base_, 0, platform::kMemRelease);
        freeLibraries(memory_, libraries);
    }
    LoadInProgress(const LoadInProgress&) = delete;
    LoadInProgress& operator=(const LoadInProgress&) = delete;
    platform::Address keep() { return std::exchange(base_, 0); }

    std::vector<std::uint32_t> libraries;

  private:
    platform::ModuleMemory& memory_;
    platform::Address base_;
};

bool relocate(unsigned char* mem, const Bytes& m, platform::Address base, const Headers& h) {
    std::uint32_t delta = base - h.imageBase;
    std::uint64_t p = h.dirAddress(m, kDirRelocation);
    // The walk is bounded by the directory's size, as the system's loader does: a block for
    // page 0 (images with small section alignment have code there) has VirtualAddress 0 and
    // must not be taken for the end. An all-zero header still ends it early.
    const std::uint64_t end = p + h.dirSize(m, kDirRelocation);
    while (p < end) {
        if (!m.has(p, 8)) return false;
        std::uint32_t blockAddress = m.u32(p);
        std::uint32_t blockSize = m.u32(p + 4);
        if (blockAddress == 0 && blockSize == 0) return true;
        if (blockSize < 8 || !m.has(p, blockSize)) return false;
        for (std::uint64_t k = 0; k < (blockSize - 8) / 2; ++k) {
            std::uint16_t e = m.u16(p + 8 + 2 * k);
            if ((e >> 12) != kRelocHighLow) continue;
            std::uint64_t target = std::uint64_t{blockAddress} + (e & 0xFFF);
            if (!m.has(target, 4)) return false;
            std::uint32_t value = m.u32(target) + delta;
            std::memcpy(mem + target, &value, 4);
        }
        p += blockSize;
    }
    return true;
}

bool linkImports(platform::ModuleMemory& os, unsigned char* mem, const Bytes& m,
                 platform::Address base, const Headers& h, platform::Address resolver,
                 std::uint32_t resolverValue, std::vector<std::uint32_t>& libraries) {
    for (std::uint64_t d = h.dirAddress(m, kDirImport);; d += kImportDescriptorSize) {
        if (!m.has(d, kImportDescriptorSize)) return false;
        std::uint32_t firstThunk = m.u32(d + 16);
        if (firstThunk == 0) return true;
        std::uint32_t name = m.u32(d + 12);
        if (!m.hasText(name)) return false;
        std::uint32_t library = os.loadLibrary(base + name);
        if (library != 0) libraries.push_back(library);
        for (std::uint64_t t = firstThunk;; t += 4) {
            if (!m.has(t, 4)) return false;
            std::uint32_t entry = m.u32(t);
            if (entry == 0) break;
            std::string ordinalText;
            platform::Address routineName = 0;
            platform::Address lookup = 0;
            if (entry & 0x80000000u) {
                lookup = entry & 0xFFFF;
                ordinalText = std::to_string(lookup);
                routineName = os.addressOf(ordinalText.c_str(), ordinalText.size() + 1);
            } else {
                std::uint64_t at = std::uint64_t{entry} + 2;  // behind the 16-bit hint
                if (!m.hasText(at)) return false;
                routineName = base + static_cast<std::uint32_t>(at);
                lookup = routineName;
            }
            platform::Address address = 0;
            if (resolver != 0)
                address = callAddress(os, resolver, base + name, routineName, resolverValue);
            if (address == 0) address = os.getProcAddress(library, lookup);
            if (address == 0) return false;
            std::memcpy(mem + t, &address, 4);
        }
    }
}

// Each page gets the access its sections ask for; pages shared by sections (an alignment
// below the page size) get what all of them ask for, the headers and any gap read-only.
// Every page stays readable: this loader reads the headers and the export directory from
// the mapped image later, and a section without the read bit must not fault it.
bool protectSections(platform::ModuleMemory& os, const Bytes& file, const Headers& h,
                     platform::Address base, std::uint32_t size) {
    constexpr unsigned char kWrite = 1, kExecute = 2;
    std::vector<unsigned char> pages((size + kPageSize - 1) / kPageSize, 0);
    for (std::uint32_t i = 0; i < h.sections; ++i) {
        const Section s = readSection(file, h, i);
        const unsigned char access = ((s.characteristics & kScnWrite) ? kWrite : 0) |
                                     ((s.characteristics & kScnExecute) ? kExecute : 0);
        const std::uint64_t end = std::min<std::uint64_t>(s.end(h.sectionAlignment), size);
        for (std::uint64_t page = s.virtualAddress / kPageSize; page * kPageSize < end; ++page)
            pages[page] |= access;
    }
    static constexpr std::uint32_t kProtection[] = {
        platform::kPageReadOnly, platform::kPageReadWrite, platform::kPageExecuteRead,
        platform::kPageExecuteReadWrite};
    for (std::size_t first = 0; first < pages.size();) {
        std::size_t last = first;
        while (last + 1 < pages.size() && pages[last + 1] == pages[first]) ++last;
        const std::uint64_t from = first * kPageSize;
        const std::uint64_t to = std::min<std::uint64_t>((last + 1) * kPageSize, size);
        if (!os.virtualProtect(base + static_cast<std::uint32_t>(from),
                               static_cast<std::uint32_t>(to - from), kProtection[pages[first]]))
            return false;
        first = last + 1;
    }
    return true;
}

// Canonical decimal text of a 32-bit signed integer: no sign but a leading minus, no
// leading zero, "0" for zero.
bool canonicalDecimal(std::string_view s, std::int64_t& value) {
    bool negative = !s.empty() && s[0] == '-';
    std::string_view digits = negative ? s.substr(1) : s;
    if (digits.empty() || digits.size() > 10) return false;
    if (digits[0] == '0' && (digits.size() > 1 || negative)) return false;
    std::int64_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    v = negative ? -v : v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = v;
    return true;
}

}  // namespace

std::uint32_t callAddress(platform::ModuleMemory& memory, platform::Address address,
                          std::uint32_t a1, std::uint32_t a2, std::uint32_t a3, std::uint32_t a4,
                          std::uint32_t a5, std::uint32_t a6, std::uint32_t a7, std::uint32_t a8,
                          std::uint32_t a9, std::uint32_t a10) {
    if (address == 0) return 0;
    return memory.call(address, {a1, a2, a3, a4, a5, a6, a7, a8, a9, a10});
}

InMemoryModule::InMemoryModule(InMemoryModule&& other) noexcept
    : memory_(other.memory_),
      base_(other.base_),
      size_(other.size_),
      started_(other.started_),
      libraries_(std::move(other.libraries_)) {
    other.forget();
}

InMemoryModule& InMemoryModule::operator=(InMemoryModule&& other) noexcept {
    if (this == &other) return *this;
    if (!unload()) forget();  // a refused unload abandons the old image
    memory_ = other.memory_;
    base_ = other.base_;
    size_ = other.size_;
    started_ = other.started_;
    libraries_ = std::move(other.libraries_);
    other.forget();
    return *this;
}

// Lets go of the image without releasing anything: it stays mapped, with its libraries.
void InMemoryModule::forget() {
    base_ = 0;
    size_ = 0;
    started_ = false;
    libraries_.clear();
}

bool InMemoryModule::load(std::span<const unsigned char> image, platform::Address resolver,
                          std::uint32_t resolverValue) {
    if (!unload()) forget();  // a refused unload abandons the old image

    const Bytes file{image.data(), image.size()};
    Headers h;
    if (!readHeaders(file, h)) return false;
    if (!(h.characteristics & kExecutableImage)) return false;
    std::uint64_t headersEnd = h.ntOffset + kNtHeadersSize + kSectionHeaderSize * h.sections;
    if (!file.has(0, headersEnd)) return false;
    if (h.sectionAlignment == 0) return false;

    std::uint64_t size = h.sizeOfImage;
    for (std::uint32_t i = 0; i < h.sections; ++i) {
        Section s = readSection(file, h, i);
        size = std::max(size, s.end(h.sectionAlignment));
        if (s.rawSize > 0 && s.virtualAddress != 0 && !file.has(s.rawPointer, s.rawSize))
            return false;
    }
    if (size == 0 || size >= kMaxImageSize || headersEnd > size) return false;
    const bool dll = (h.characteristics & kDll) != 0;
    if (dll && (h.entryPoint == 0 || h.entryPoint >= size)) return false;

    platform::ModuleMemory& os = *memory_;
    const std::uint32_t size32 = static_cast<std::uint32_t>(size);
    platform::Address base = os.virtualAlloc(h.imageBase, size32, platform::kMemCommitReserve,
                                             platform::kPageExecuteReadWrite);
    if (base == 0)
        base = os.virtualAlloc(0, size32, platform::kMemCommitReserve,
                               platform::kPageExecuteReadWrite);
    if (base == 0) return false;
    LoadInProgress loading(os, base);
    unsigned char* mem = os.hostPointer(base, size32);
    if (mem == nullptr) return false;
    const Bytes mapped{mem, size};

    std::memcpy(mem, image.data(), headersEnd);
    for (std::uint32_t i = 0; i < h.sections; ++i) {
        Section s = readSection(file, h, i);
        if (s.rawSize > 0 && s.virtualAddress != 0)
            std::memcpy(mem + s.virtualAddress, image.data() + s.rawPointer, s.rawSize);
    }
    if (h.dirSize(mapped, kDirRelocation) > 0 && !relocate(mem, mapped, base, h)) return false;
    if (h.dirAddress(mapped, kDirImport) > 0 &&
        !linkImports(os, mem, mapped, base, h, resolver, resolverValue, loading.libraries))
        return false;
    // Access is narrowed only now: relocation and linking wrote into code and data.
    if (!protectSections(os, file, h, base, size32)) return false;
    if (dll && callAddress(os, base + h.entryPoint, 0, 1, 0) == 0) {
        callAddress(os, base + h.entryPoint, 0, 0, 0);
        return false;
    }
    libraries_ = std::move(loading.libraries);
    loading.libraries.clear();
    base_ = loading.keep();
    size_ = size32;
    started_ = dll;
    return true;
}

bool InMemoryModule::unload() {
    if (base_ == 0) return true;
    platform::ModuleMemory& os = *memory_;
    const unsigned char* mem = os.hostPointer(base_, size_);
    if (mem == nullptr) return false;
    const Bytes mapped{mem, size_};
    Headers h;
    if (!readHeaders(mapped, h)) return false;
    // Told once, even when the release below is refused and unload is tried again. An
    // entry point moved outside the image by the image itself is not called.
    if (started_ && h.entryPoint != 0 && h.entryPoint < size_)
        callAddress(os, base_ + h.entryPoint, 0, 0, 0);
    started_ = false;
    // The libraries go only with the image: while it is mapped its import slots point
    // into them.
    if (!os.virtualFree(base_, 0, platform::kMemRelease)) return false;
    freeLibraries(os, libraries_);
    base_ = 0;
    size_ = 0;
    return true;
}

platform::Address InMemoryModule::findExport(std::string_view name) const {
    if (base_ == 0) return 0;
    const unsigned char* mem = memory_->hostPointer(base_, size_);
    if (mem == nullptr) return 0;
    const Bytes m{mem, size_};
    Headers h;
    if (!readHeaders(m, h) || h.dirSize(m, kDirExport) == 0) return 0;
    std::uint64_t dir = h.dirAddress(m, kDirExport);
    if (!m.has(dir, kExportDirectorySize)) return 0;
    const std::uint32_t ordinalBase = m.u32(dir + 16);
    const std::uint32_t functions = m.u32(dir + 20);
    const std::uint32_t names = m.u32(dir + 24);
    const std::uint64_t functionTable = m.u32(dir + 28);
    const std::uint64_t nameTable = m.u32(dir + 32);
    const std::uint64_t ordinalTable = m.u32(dir + 36);
    auto function = [&](std::uint64_t i) -> platform::Address {
        if (!m.has(functionTable + 4 * i, 4)) return 0;
        std::uint32_t r = m.u32(functionTable + 4 * i);
        return r == 0 ? 0 : base_ + r;
    };

    std::int64_t value = 0;
    if (canonicalDecimal(name, value)) {
        std::int64_t i = value - std::int64_t{ordinalBase};
        return i >= 0 && i < std::int64_t{functions} ? function(static_cast<std::uint64_t>(i)) : 0;
    }
    // Each name through its own pointer: images need not keep the texts in table order.
    for (std::uint64_t j = 0; j < names; ++j) {
        if (!m.has(nameTable + 4 * j, 4) || !m.has(ordinalTable + 2 * j, 2)) return 0;
        std::uint64_t text = m.u32(nameTable + 4 * j);
        std::uint16_t ordinal = m.u16(ordinalTable + 2 * j);
        if (ordinal >= functions || !m.has(text, name.size() + 1)) continue;
        if (std::memcmp(mem + text, name.data(), name.size()) != 0 || mem[text + name.size()] != 0)
            continue;
        if (platform::Address a = function(ordinal)) return a;
    }
    return 0;
}

platform::Address InMemoryModule::entryAddress() const {
    if (base_ == 0) return 0;
    const unsigned char* mem = memory_->hostPointer(base_, size_);
    if (mem == nullptr) return 0;
    const Bytes m{mem, size_};
    if (!m.has(60, 4)) return 0;
    std::int32_t lfanew = static_cast<std::int32_t>(m.u32(60));
    if (lfanew < 0 || !m.has(static_cast<std::uint64_t>(lfanew) + kNtEntryPoint, 4)) return 0;
    return base_ + m.u32(static_cast<std::uint64_t>(lfanew) + kNtEntryPoint);
}
