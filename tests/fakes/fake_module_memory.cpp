#include "tests/fakes/fake_module_memory.h"

#include <algorithm>
#include <cstring>

namespace fake {
namespace {
constexpr std::uint64_t kSpaceEnd = 0xA0000000u;  // above: exposed host bytes and code
constexpr std::uint32_t kGranularity = 0x10000;
constexpr std::uint32_t kPageSize = 0x1000;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}
}  // namespace

bool ModuleMemory::overlaps(std::uint64_t address, std::uint64_t size) const {
    auto hit = [&](std::uint64_t start, std::uint64_t length) {
        return address < start + length && start < address + size;
    };
    for (const auto& [start, region] : regions_)
        if (hit(start, region.bytes.size())) return true;
    for (const auto& [start, length] : reserved_)
        if (hit(start, length)) return true;
    return false;
}

platform::Address ModuleMemory::virtualAlloc(platform::Address address, std::uint32_t size,
                                             std::uint32_t type, std::uint32_t protect) {
    ModuleCall record{"alloc", {address, size, type, protect}, {}, 0};
    platform::Address result = 0;
    if (size != 0 && size <= maxRegionSize) {
        if (address != 0) {
            if (address + std::uint64_t{size} <= kSpaceEnd && !overlaps(address, size))
                result = address;
        } else {
            for (std::uint64_t at = kGranularity; at + size <= kSpaceEnd; at += kGranularity)
                if (!overlaps(at, size)) {
                    result = static_cast<platform::Address>(at);
                    break;
                }
        }
    }
    if (result != 0)
        regions_[result] = {
            std::vector<unsigned char>(size, 0),
            std::vector<std::uint32_t>((size + kPageSize - 1) / kPageSize, protect)};
    record.result = result;
    calls.push_back(record);
    return result;
}

bool ModuleMemory::virtualFree(platform::Address address, std::uint32_t size, std::uint32_t type) {
    bool ok =
        !refuseFree && size == 0 && type == platform::kMemRelease && regions_.erase(address) == 1;
    calls.push_back({"free", {address, size, type}, {}, ok ? 1u : 0u});
    return ok;
}

const std::pair<const platform::Address, ModuleMemory::Region>* ModuleMemory::regionAt(
    platform::Address address) const {
    auto it = regions_.upper_bound(address);
    if (it == regions_.begin()) return nullptr;
    --it;
    return address - it->first < it->second.bytes.size() ? &*it : nullptr;
}

bool ModuleMemory::virtualProtect(platform::Address address, std::uint32_t size,
                                  std::uint32_t protect) {
    const auto* region = regionAt(address);
    const bool ok = !refuseProtect && region != nullptr && size != 0 &&
                    address - region->first + std::uint64_t{size} <= region->second.bytes.size();
    if (ok) {
        std::vector<std::uint32_t>& pages = regions_[region->first].protection;
        for (std::uint64_t page = (address - region->first) / kPageSize;
             page * kPageSize < address - region->first + std::uint64_t{size}; ++page)
            pages[page] = protect;
    }
    calls.push_back({"protect", {address, size, protect}, {}, ok ? 1u : 0u});
    return ok;
}

std::uint32_t ModuleMemory::protectionAt(platform::Address address) const {
    const auto* region = regionAt(address);
    return region ? region->second.protection[(address - region->first) / kPageSize] : 0;
}

std::uint32_t ModuleMemory::loadLibrary(platform::Address name) {
    std::string text = readText(name);
    std::uint32_t handle = 0;
    for (const auto& [h, library] : libraries_)
        if (lower(library.name) == lower(text)) handle = h;
    if (handle != 0) ++references_[handle];
    calls.push_back({"loadLibrary", {name}, text, handle});
    return handle;
}

bool ModuleMemory::freeLibrary(std::uint32_t module) {
    auto it = references_.find(module);
    const bool ok = it != references_.end() && it->second > 0;
    if (ok) --it->second;
    auto library = libraries_.find(module);
    calls.push_back({"freeLibrary",
                     {module},
                     library == libraries_.end() ? std::string() : library->second.name,
                     ok ? 1u : 0u});
    return ok;
}

int ModuleMemory::references(std::uint32_t library) const {
    auto it = references_.find(library);
    return it == references_.end() ? 0 : it->second;
}

platform::Address ModuleMemory::getProcAddress(std::uint32_t module,
                                               platform::Address nameOrOrdinal) {
    platform::Address result = 0;
    std::string text;
    auto library = libraries_.find(module);
    if (nameOrOrdinal < 0x10000) {
        text = "#" + std::to_string(nameOrOrdinal);
        if (library != libraries_.end()) {
            auto it = library->second.byOrdinal.find(static_cast<std::uint16_t>(nameOrOrdinal));
            if (it != library->second.byOrdinal.end()) result = it->second;
        }
    } else {
        text = readText(nameOrOrdinal);
        if (library != libraries_.end()) {
            auto it = library->second.byName.find(text);
            if (it != library->second.byName.end()) result = it->second;
        }
    }
    calls.push_back({"getProcAddress", {module, nameOrOrdinal}, text, result});
    return result;
}

std::uint32_t ModuleMemory::call(platform::Address address, const platform::CallArguments& a) {
    calls.push_back(
        {"call", {address, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]}, {}, 0});
    std::size_t index = calls.size() - 1;
    auto it = routines_.find(address);
    // Copy the routine: it may register further routines while it runs.
    std::uint32_t result = it == routines_.end() ? unknownCallResult : Routine(it->second)(a);
    calls[index].result = result;
    return result;
}

unsigned char* ModuleMemory::hostPointer(platform::Address address, std::uint32_t size) {
    auto it = regions_.upper_bound(address);
    if (it == regions_.begin()) return nullptr;
    --it;
    std::uint64_t offset = address - it->first;
    if (offset + size > it->second.bytes.size()) return nullptr;
    return it->second.bytes.data() + offset;
}

platform::Address ModuleMemory::addressOf(const void* bytes, std::size_t size) {
    platform::Address address = nextExposed_;
    exposed_[address] = {bytes, size};
    nextExposed_ +=
        static_cast<platform::Address>((size + kGranularity) / kGranularity * kGranularity);
    return address;
}

const void* ModuleMemory::exposed(platform::Address address) const {
    auto it = exposed_.find(address);
    return it == exposed_.end() ? nullptr : it->second.first;
}

void ModuleMemory::reserve(platform::Address address, std::uint32_t size) {
    reserved_[address] = size;
}

std::uint32_t ModuleMemory::addLibrary(const std::string& name) {
    std::uint32_t handle =
        0x70000000u + static_cast<std::uint32_t>(libraries_.size()) * kGranularity;
    libraries_[handle].name = name;
    return handle;
}

platform::Address ModuleMemory::addExport(std::uint32_t library, const std::string& name,
                                          std::uint16_t ordinal, Routine routine) {
    platform::Address address = addRoutine(std::move(routine));
    if (!name.empty()) libraries_[library].byName[name] = address;
    if (ordinal != 0) libraries_[library].byOrdinal[ordinal] = address;
    return address;
}

platform::Address ModuleMemory::addRoutine(Routine routine) {
    platform::Address address = nextCode_;
    nextCode_ += 16;
    routines_[address] = std::move(routine);
    return address;
}

void ModuleMemory::setRoutine(platform::Address address, Routine routine) {
    routines_[address] = std::move(routine);
}

platform::Address ModuleMemory::place(const std::vector<unsigned char>& bytes) {
    platform::Address address =
        virtualAlloc(0, static_cast<std::uint32_t>(std::max<std::size_t>(bytes.size(), 1)),
                     platform::kMemCommitReserve, platform::kPageExecuteReadWrite);
    calls.pop_back();  // the test's own setup is not the code under test
    if (address != 0 && !bytes.empty())
        std::memcpy(hostPointer(address, 1), bytes.data(), bytes.size());
    return address;
}

std::string ModuleMemory::readText(platform::Address address) {
    std::string text;
    auto ex = exposed_.find(address);
    if (ex != exposed_.end()) {
        const char* p = static_cast<const char*>(ex->second.first);
        for (std::size_t i = 0; i < ex->second.second && p[i] != 0; ++i) text.push_back(p[i]);
        return text;
    }
    for (platform::Address a = address;; ++a) {
        unsigned char* p = hostPointer(a, 1);
        if (p == nullptr || *p == 0) break;
        text.push_back(static_cast<char>(*p));
    }
    return text;
}

}  // namespace fake
