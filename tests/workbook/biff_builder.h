// Hand-built BIFF8 records and compound files for tests: what other writers put in files
// (RK numbers, formulas, mini streams) and what broken files hold.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace xls_test {

struct Bytes {
    std::string s;
    Bytes& u8(unsigned v) {
        s += static_cast<char>(v & 0xFF);
        return *this;
    }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& f64(double d) {
        std::uint64_t bits;
        std::memcpy(&bits, &d, 8);
        return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
    }
    Bytes& raw(const std::string& r) {
        s += r;
        return *this;
    }
    // A BIFF8 string with a 2-byte count, 8-bit characters.
    Bytes& str8(const std::string& ascii) { return u16(ascii.size()).u8(0).raw(ascii); }
    // A BIFF8 string with a 2-byte count, UTF-16 characters.
    Bytes& str16(const std::u16string& text) {
        u16(text.size()).u8(1);
        for (char16_t c : text) u16(c);
        return *this;
    }
};

inline std::string record(std::uint16_t type, const std::string& data) {
    return Bytes().u16(type).u16(data.size()).raw(data).s;
}

inline std::string bof(unsigned type, unsigned version = 0x0600) {
    return record(0x0809, Bytes().u16(version).u16(type).u16(0).u16(0).u32(0).u32(6).s);
}
inline std::string eof() {
    return record(0x000A, "");
}

// A workbook stream: globals (BOUNDSHEETs for `sheetNames`, then `globalsExtra`), then one
// sheet substream per name holding `sheetBodies[i]`. Offsets are patched in.
inline std::string workbookStream(const std::vector<std::string>& sheetNames,
                                  const std::vector<std::string>& sheetBodies,
                                  const std::string& globalsExtra = "") {
    std::string globals = bof(0x0005);
    std::vector<std::size_t> offsetAt;
    for (const std::string& name : sheetNames) {
        offsetAt.push_back(globals.size() + 4);
        globals += record(0x0085, Bytes().u32(0).u8(0).u8(0).u8(name.size()).u8(0).raw(name).s);
    }
    globals += globalsExtra;
    globals += eof();
    std::string stream = globals;
    for (std::size_t i = 0; i < sheetBodies.size(); ++i) {
        const std::uint32_t offset = static_cast<std::uint32_t>(stream.size());
        for (int b = 0; b < 4; ++b) stream[offsetAt[i] + b] = static_cast<char>(offset >> (8 * b));
        stream += bof(0x0010) + sheetBodies[i] + eof();
    }
    return stream;
}

inline std::string cellHead(unsigned row, unsigned col, unsigned xf = 15) {
    return Bytes().u16(row).u16(col).u16(xf).s;
}
inline std::string labelSst(unsigned row, unsigned col, std::uint32_t index) {
    return record(0x00FD, cellHead(row, col) + Bytes().u32(index).s);
}
inline std::string number(unsigned row, unsigned col, double v) {
    return record(0x0203, cellHead(row, col) + Bytes().f64(v).s);
}
inline std::string rk(unsigned row, unsigned col, std::uint32_t value) {
    return record(0x027E, cellHead(row, col) + Bytes().u32(value).s);
}
inline std::string label8(unsigned row, unsigned col, const std::string& ascii) {
    return record(0x0204, cellHead(row, col) + Bytes().str8(ascii).s);
}
inline std::string label16(unsigned row, unsigned col, const std::u16string& text) {
    return record(0x0204, cellHead(row, col) + Bytes().str16(text).s);
}

// A version 3 compound file whose one stream lives in the mini stream, as writers store
// streams under 4096 bytes.
inline std::string miniStreamFile(const std::string& name, const std::string& stream) {
    const std::uint32_t miniSectors = (stream.size() + 63) / 64;
    const std::uint32_t miniBytes = miniSectors * 64;
    const std::uint32_t miniStreamSectors = (miniBytes + 511) / 512;
    const std::uint32_t miniFatSectors = (miniSectors + 127) / 128;
    // Layout: 0 FAT, 1 directory, then the mini FAT, then the mini stream.
    const std::uint32_t miniFatStart = 2;
    const std::uint32_t miniStart = miniFatStart + miniFatSectors;
    const std::uint32_t total = miniStart + miniStreamSectors;
    std::string out((total + 1) * 512, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
    };
    auto put16 = [&](std::size_t at, unsigned v) {
        out[at] = static_cast<char>(v);
        out[at + 1] = static_cast<char>(v >> 8);
    };
    const unsigned char sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(out.data(), sig, 8);
    put16(0x18, 0x3E);
    put16(0x1A, 3);
    put16(0x1C, 0xFFFE);
    put16(0x1E, 9);
    put16(0x20, 6);
    put32(0x2C, 1);
    put32(0x30, 1);
    put32(0x38, 4096);
    put32(0x3C, miniFatStart);
    put32(0x40, miniFatSectors);
    put32(0x44, 0xFFFFFFFE);
    for (int i = 0; i < 109; ++i) put32(0x4C + 4 * i, i == 0 ? 0 : 0xFFFFFFFF);
    auto sector = [](std::uint32_t s) { return (s + 1) * 512; };
    for (int i = 0; i < 128; ++i) put32(sector(0) + 4 * i, 0xFFFFFFFF);
    put32(sector(0), 0xFFFFFFFD);
    put32(sector(0) + 4, 0xFFFFFFFE);
    auto chain = [&](std::uint32_t start, std::uint32_t count) {
        for (std::uint32_t s = start; s < start + count; ++s)
            put32(sector(0) + 4 * s, s + 1 == start + count ? 0xFFFFFFFE : s + 1);
    };
    chain(miniFatStart, miniFatSectors);
    chain(miniStart, miniStreamSectors);
    for (std::uint32_t i = 0; i < miniFatSectors * 128; ++i)
        put32(sector(miniFatStart) + 4 * i,
              i < miniSectors ? (i + 1 == miniSectors ? 0xFFFFFFFE : i + 1) : 0xFFFFFFFF);
    std::memcpy(out.data() + sector(miniStart), stream.data(), stream.size());
    auto entry = [&](int index, const std::string& entryName, int type, std::uint32_t child,
                     std::uint32_t start, std::uint32_t size) {
        const std::size_t base = sector(1) + 128 * index;
        for (std::size_t i = 0; i < entryName.size(); ++i) put16(base + 2 * i, entryName[i]);
        put16(base + 64, 2 * (entryName.size() + 1));
        out[base + 66] = static_cast<char>(type);
        out[base + 67] = 1;
        put32(base + 68, 0xFFFFFFFF);
        put32(base + 72, 0xFFFFFFFF);
        put32(base + 76, child);
        put32(base + 116, start);
        put32(base + 120, size);
    };
    entry(0, "Root Entry", 5, 1, miniStart, miniBytes);
    entry(1, name, 2, 0xFFFFFFFF, 0, stream.size());
    for (int i = 2; i < 4; ++i) {
        put32(sector(1) + 128 * i + 68, 0xFFFFFFFF);
        put32(sector(1) + 128 * i + 72, 0xFFFFFFFF);
        put32(sector(1) + 128 * i + 76, 0xFFFFFFFF);
    }
    return out;
}

}  // namespace xls_test
