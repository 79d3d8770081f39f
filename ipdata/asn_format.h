// The layout of asn.db, shared by its writer (ipdata/pack) and its reader (asn.cpp).
// Every number is little-endian; the file is read where it lies, never copied.
//   header   kHeaderSize bytes, below
//   IPv4     v4Count records of 12 bytes: first u32, last u32, entry u32
//   IPv6     v6Count records of 36 bytes: first high u64, first low u64, last high u64,
//            last low u64, entry u32
//   entries  entryCount records of 12 bytes: AS number u32, organisation offset u32 and
//            length u32 into the strings
//   strings  stringSize bytes of UTF-8, no control characters; the data's source (package
//            and version) is one of them
// Records of a family are sorted by address, first <= last, and never overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ipdata::asnfile {

// A byte no text file starts with, then line ends that a text-mode copy would change.
constexpr std::string_view kMagic{
    "\x89"
    "ASN\r\n\x1A\n",
    8};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kV4RecordSize = 12;
constexpr std::size_t kV6RecordSize = 36;
constexpr std::size_t kEntrySize = 12;

// Byte offsets of the header's fields, each a u32 after the magic.
enum HeaderField : std::size_t {
    kFormatVersion = 8,
    kHeaderBytes = 12,
    kFileSize = 16,
    kDate = 20,  // yyyymmdd of the data, 0 when unknown
    kV4Count = 24,
    kV4Offset = 28,
    kV6Count = 32,
    kV6Offset = 36,
    kEntryCount = 40,
    kEntryOffset = 44,
    kStringSize = 48,
    kStringOffset = 52,
    kSourceOffset = 56,  // into the strings
    kSourceLength = 60,
};

// Well-formed UTF-8 without C0 controls or DEL, as every string of the file must be.
bool isCleanText(std::string_view text);

}  // namespace ipdata::asnfile
