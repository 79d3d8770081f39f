// A small PE32 writer for the loader's tests: an image is its headers plus sections whose
// contents the test fills at image addresses (RVAs), so imports, exports and relocations
// can be laid out by hand, and any header field can be bent.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pe {

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::vector<unsigned char> raw;              // the file bytes; may be shorter than virtualSize
    std::uint32_t rawPointer = 0;                // 0: placed by the writer
    std::int64_t rawSizeOverride = -1;           // SizeOfRawData as written, when bent
    std::uint32_t characteristics = 0xE0000060;  // code and data, read, write, execute
};

struct Image {
    std::int32_t lfanew = 64;
    std::uint16_t characteristics = 0x2102;  // executable, 32-bit, DLL
    std::uint32_t entryPoint = 0x1000;
    std::uint32_t imageBase = 0x10000000;
    std::uint32_t sectionAlignment = 0x1000;
    std::uint32_t sizeOfImage = 0;  // 0: the aligned end of the last section
    std::uint32_t signature = 0x4550;
    std::int64_t sectionCountOverride = -1;
    std::array<std::pair<std::uint32_t, std::uint32_t>, 16> directories{};
    std::vector<Section> sections;

    // The first section, from RVA 0x1000, grown as the test writes into it.
    Section& body() {
        if (sections.empty()) sections.push_back({0x1000, 0, {}, 0, -1});
        return sections.front();
    }
    void put(std::uint32_t rva, const void* bytes, std::size_t n) {
        Section& s = body();
        std::size_t at = rva - s.virtualAddress;
        if (s.raw.size() < at + n) s.raw.resize(at + n);
        std::memcpy(s.raw.data() + at, bytes, n);
        s.virtualSize =
            std::max<std::uint32_t>(s.virtualSize, static_cast<std::uint32_t>(s.raw.size()));
    }
    void put16(std::uint32_t rva, std::uint16_t v) { put(rva, &v, 2); }
    void put32(std::uint32_t rva, std::uint32_t v) { put(rva, &v, 4); }
    void putText(std::uint32_t rva, const std::string& s) { put(rva, s.c_str(), s.size() + 1); }
    void directory(int index, std::uint32_t rva, std::uint32_t size) {
        directories[index] = {rva, size};
    }

    std::uint32_t headersEnd() const {
        return static_cast<std::uint32_t>(lfanew) + 248 +
               40 * static_cast<std::uint32_t>(sections.size());
    }

    std::vector<unsigned char> build() const {
        std::uint32_t fileAt = (std::max<std::uint32_t>(headersEnd(), 0x200) + 0x1FF) & ~0x1FFu;
        std::vector<std::uint32_t> pointers;
        for (const Section& s : sections) {
            pointers.push_back(s.rawPointer ? s.rawPointer : fileAt);
            if (!s.rawPointer)
                fileAt += (static_cast<std::uint32_t>(s.raw.size()) + 0x1FF) & ~0x1FFu;
        }
        std::uint32_t fileSize = std::max<std::uint32_t>(headersEnd(), fileAt);
        for (std::size_t i = 0; i < sections.size(); ++i)
            fileSize = std::max<std::uint32_t>(
                fileSize, pointers[i] + static_cast<std::uint32_t>(sections[i].raw.size()));
        std::vector<unsigned char> f(fileSize, 0);
        auto w16 = [&](std::size_t at, std::uint16_t v) { std::memcpy(&f[at], &v, 2); };
        auto w32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&f[at], &v, 4); };
        f[0] = 'M';
        f[1] = 'Z';
        w32(60, static_cast<std::uint32_t>(lfanew));
        std::size_t nt = static_cast<std::size_t>(lfanew);
        w32(nt, signature);
        w16(nt + 4, 0x14C);
        w16(nt + 6, sectionCountOverride >= 0 ? static_cast<std::uint16_t>(sectionCountOverride)
                                              : static_cast<std::uint16_t>(sections.size()));
        w16(nt + 20, 224);
        w16(nt + 22, characteristics);
        w16(nt + 24, 0x10B);
        w32(nt + 40, entryPoint);
        w32(nt + 52, imageBase);
        w32(nt + 56, sectionAlignment);
        w32(nt + 60, 0x200);
        std::uint32_t size = sizeOfImage;
        if (size == 0 && sectionAlignment != 0)
            for (const Section& s : sections) {
                std::uint32_t extent = std::max<std::uint32_t>(
                    s.virtualSize, static_cast<std::uint32_t>(s.raw.size()));
                size = std::max(size, (s.virtualAddress + extent + sectionAlignment - 1) /
                                          sectionAlignment * sectionAlignment);
            }
        w32(nt + 80, size);
        w32(nt + 84, 0x400);
        w32(nt + 116, 16);
        for (int i = 0; i < 16; ++i) {
            w32(nt + 120 + 8 * i, directories[i].first);
            w32(nt + 124 + 8 * i, directories[i].second);
        }
        for (std::size_t i = 0; i < sections.size(); ++i) {
            const Section& s = sections[i];
            std::size_t at = nt + 248 + 40 * i;
            std::memcpy(&f[at], ".sect", 5);
            w32(at + 8, s.virtualSize);
            w32(at + 12, s.virtualAddress);
            w32(at + 16, s.rawSizeOverride >= 0 ? static_cast<std::uint32_t>(s.rawSizeOverride)
                                                : static_cast<std::uint32_t>(s.raw.size()));
            w32(at + 20, pointers[i]);
            w32(at + 36, s.characteristics);
            if (!s.raw.empty()) std::memcpy(&f[pointers[i]], s.raw.data(), s.raw.size());
        }
        return f;
    }
};

}  // namespace pe
