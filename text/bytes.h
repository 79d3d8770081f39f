// Numbers read from outside bytes (files, archives, module images): the one reader every
// format uses, le:: for little-endian and be:: for big-endian. A read that would pass the
// end gives 0: a bad offset from a damaged file becomes a bad value for the caller's
// checks, never a read out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace byteorder {
// Spelled out byte by byte so that the compiler makes each a single load (and swap): the
// data file's node walk reads this way.
template <class T, bool kBig>
inline T read(std::string_view data, std::size_t at) {
    if (at > data.size() || data.size() - at < sizeof(T)) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    if constexpr (sizeof(T) == 2) {
        return kBig ? static_cast<T>(p[0] << 8 | p[1]) : static_cast<T>(p[1] << 8 | p[0]);
    } else if constexpr (sizeof(T) == 4) {
        return kBig ? T{p[0]} << 24 | T{p[1]} << 16 | T{p[2]} << 8 | T{p[3]}
                    : T{p[3]} << 24 | T{p[2]} << 16 | T{p[1]} << 8 | T{p[0]};
    } else {
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v |= T{p[i]} << (8 * (kBig ? sizeof(T) - 1 - i : i));
        return v;
    }
}
}  // namespace byteorder

namespace le {

inline std::uint16_t u16(std::string_view data, std::size_t at) {
    return byteorder::read<std::uint16_t, false>(data, at);
}
inline std::uint32_t u32(std::string_view data, std::size_t at) {
    return byteorder::read<std::uint32_t, false>(data, at);
}
inline std::uint64_t u64(std::string_view data, std::size_t at) {
    return byteorder::read<std::uint64_t, false>(data, at);
}

// The writers' half: appended, or set over bytes `out` holds already.
inline void append16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
inline void append32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i) & 0xFF);
}
inline void set16(std::string& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}
inline void set32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

}  // namespace le

namespace be {

inline std::uint16_t u16(std::string_view data, std::size_t at) {
    return byteorder::read<std::uint16_t, true>(data, at);
}
inline std::uint32_t u32(std::string_view data, std::size_t at) {
    return byteorder::read<std::uint32_t, true>(data, at);
}

}  // namespace be
