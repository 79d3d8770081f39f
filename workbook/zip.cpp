// Reading and writing the zip container. Every offset and size from the file is checked
// against the file before it is followed; nothing is allocated from a count in the file
// but an entry's declared size, and that only below kMaxEntrySize and kMaxRatio.
#include "workbook/zip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "text/bytes.h"
namespace workbook {
namespace {

constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::uint32_t kCentralSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::size_t kLocalSize = 30, kCentralSize = 46, kEndSize = 22;
constexpr std::uint16_t kStored = 0, kDeflated = 8;
constexpr std::uint16_t kEncrypted = 0x0001;

std::string lowerCase(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return lower;
}

std::uint32_t crcOf(std::string_view bytes, std::uint32_t crc = 0) {
    // zlib takes lengths as uInt: feed it in pieces that always fit.
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
        crc = static_cast<std::uint32_t>(
            crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n)));
        bytes.remove_prefix(n);
    }
    return crc;
}

}  // namespace

ZipStatus ZipReader::open(std::string_view file) {
    file_ = file;
    entries_.clear();
    byName_.clear();
    if (file.size() < kEndSize) return ZipStatus::NotZip;
    // The end record sits in the last 22 bytes plus a comment of at most 65535.
    std::size_t end = std::string_view::npos;
    const std::size_t lowest =
        file.size() > kEndSize + 0xFFFF ? file.size() - kEndSize - 0xFFFF : 0;
    for (std::size_t at = file.size() - kEndSize + 1; at-- > lowest;) {
        if (le::u32(file, at) == kEndSignature &&
            at + kEndSize + le::u16(file, at + 20) <= file.size()) {
            end = at;
            break;
        }
    }
    if (end == std::string_view::npos) return ZipStatus::NotZip;
    const std::uint16_t disk = le::u16(file, end + 4), directoryDisk = le::u16(file, end + 6);
    const std::uint16_t count = le::u16(file, end + 10);
    const std::uint32_t directorySize = le::u32(file, end + 12);
    const std::uint32_t directoryAt = le::u32(file, end + 16);
    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryAt == 0xFFFFFFFF)
        return ZipStatus::Unsupported;  // zip64
    if (disk != 0 || directoryDisk != 0) return ZipStatus::Unsupported;
    if (directoryAt > end || directorySize > end - directoryAt) return ZipStatus::Broken;

    std::string_view directory = file.substr(directoryAt, directorySize);
    std::size_t at = 0;
    while (at < directory.size()) {
        if (directory.size() - at < kCentralSize || le::u32(directory, at) != kCentralSignature)
            return ZipStatus::Broken;
        const std::size_t nameSize = le::u16(directory, at + 28);
        const std::size_t rest =
            nameSize + le::u16(directory, at + 30) + le::u16(directory, at + 32);
        if (directory.size() - at - kCentralSize < rest) return ZipStatus::Broken;
        Entry e;
        e.flags = le::u16(directory, at + 8);
        e.method = le::u16(directory, at + 10);
        e.crc = le::u32(directory, at + 16);
        e.packedSize = le::u32(directory, at + 20);
        e.size = le::u32(directory, at + 24);
        e.localHeader = le::u32(directory, at + 42);
        e.name = std::string(directory.substr(at + kCentralSize, nameSize));
        byName_.try_emplace(lowerCase(e.name), entries_.size());
        entries_.push_back(std::move(e));
        at += kCentralSize + rest;
    }
    if (entries_.size() != count) return ZipStatus::Broken;
    return ZipStatus::Ok;
}

const ZipReader::Entry* ZipReader::find(std::string_view name) const {
    const auto found = byName_.find(lowerCase(name));
    return found == byName_.end() ? nullptr : &entries_[found->second];
}

ZipStatus ZipReader::read(std::string_view name, std::string& out) const {
    const Entry* e = find(name);
    if (!e) return ZipStatus::NoEntry;
    return read(*e, out);
}

ZipStatus ZipReader::read(const Entry& e, std::string& out) const {
    out.clear();
    if (e.flags & kEncrypted) return ZipStatus::Unsupported;
    if (e.method != kStored && e.method != kDeflated) return ZipStatus::Unsupported;
    if (e.size > kMaxEntrySize ||
        e.size > static_cast<std::uint64_t>(std::max<std::uint32_t>(e.packedSize, 1)) * kMaxRatio)
        return ZipStatus::TooLarge;
    if (e.localHeader > file_.size() || file_.size() - e.localHeader < kLocalSize ||
        le::u32(file_, e.localHeader) != kLocalSignature)
        return ZipStatus::Broken;
    const std::size_t dataAt = static_cast<std::size_t>(e.localHeader) + kLocalSize +
                               le::u16(file_, e.localHeader + 26) +
                               le::u16(file_, e.localHeader + 28);
    if (dataAt > file_.size() || file_.size() - dataAt < e.packedSize) return ZipStatus::Broken;
    const std::string_view packed = file_.substr(dataAt, e.packedSize);

    if (e.method == kStored) {
        if (e.packedSize != e.size) return ZipStatus::Broken;
        out.assign(packed);
    } else {
        out.resize(e.size);
        char spare;  // an entry of no bytes still needs somewhere for a byte that lies
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return ZipStatus::Broken;
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
        z.avail_in = static_cast<uInt>(packed.size());
        z.next_out = reinterpret_cast<Bytef*>(e.size ? out.data() : &spare);
        z.avail_out = e.size ? static_cast<uInt>(e.size) : 1;
        const int result = inflate(&z, Z_FINISH);
        const bool whole = result == Z_STREAM_END && z.total_out == e.size;
        inflateEnd(&z);
        if (!whole) {
            out.clear();
            return ZipStatus::Broken;
        }
    }
    if (crcOf(out) != e.crc) {
        out.clear();
        return ZipStatus::Broken;
    }
    return ZipStatus::Ok;
}

struct ZipWriter::Stream {
    z_stream z{};
    std::uint32_t crc = 0;
    std::size_t header = 0;  // where the entry's local header starts
    std::size_t data = 0;    // where its compressed bytes start
};

ZipWriter::ZipWriter(int level) : stream_(std::make_unique<Stream>()), level_(level) {}

ZipWriter::~ZipWriter() {
    deflateEnd(&stream_->z);
}

void ZipWriter::begin(std::string_view name) {
    stream_->header = out_.size();
    le::append32(out_, kLocalSignature);
    le::append16(out_, 20);  // version needed: deflate
    le::append16(out_, 0);   // flags
    le::append16(out_, kDeflated);
    le::append16(out_, 0);       // time 00:00
    le::append16(out_, 0x0021);  // date 1980-01-01
    le::append32(out_, 0);       // checksum and sizes, set by end()
    le::append32(out_, 0);
    le::append32(out_, 0);
    le::append16(out_, static_cast<std::uint16_t>(name.size()));
    le::append16(out_, 0);
    out_ += name;
    stream_->data = out_.size();
    stream_->crc = 0;
    size_ = 0;
    deflateEnd(&stream_->z);
    stream_->z = z_stream{};
    if (deflateInit2(&stream_->z, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    written_.push_back({std::string(name), 0, 0, 0, static_cast<std::uint32_t>(stream_->header)});
}

void ZipWriter::deflateSome(int flush) {
    z_stream& z = stream_->z;
    int result;
    do {
        const std::size_t before = out_.size();
        const std::size_t room = std::max<std::size_t>(z.avail_in / 4, 1 << 16);
        out_.resize(before + room);
        z.next_out = reinterpret_cast<Bytef*>(out_.data() + before);
        z.avail_out = static_cast<uInt>(room);
        result = deflate(&z, flush);
        out_.resize(before + room - z.avail_out);
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
    } while (z.avail_in > 0 || (flush == Z_FINISH && result != Z_STREAM_END));
}

void ZipWriter::append(std::string_view bytes) {
    size_ += bytes.size();
    stream_->crc = crcOf(bytes, stream_->crc);
    while (!bytes.empty()) {
        const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
        stream_->z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream_->z.avail_in = static_cast<uInt>(n);
        deflateSome(Z_NO_FLUSH);
        bytes.remove_prefix(n);
    }
}

void ZipWriter::end() {
    stream_->z.next_in = nullptr;
    stream_->z.avail_in = 0;
    deflateSome(Z_FINISH);
    const std::uint64_t packed = out_.size() - stream_->data;
    if (size_ >= 0xFFFFFFFF || packed >= 0xFFFFFFFF || out_.size() >= 0xFFFFFFFF) overflow_ = true;
    Written& w = written_.back();
    w.crc = stream_->crc;
    w.packedSize = static_cast<std::uint32_t>(packed);
    w.size = static_cast<std::uint32_t>(size_);
    le::set32(out_, stream_->header + 14, w.crc);
    le::set32(out_, stream_->header + 18, w.packedSize);
    le::set32(out_, stream_->header + 22, w.size);
}

std::string ZipWriter::finish() {
    const std::size_t directoryAt = out_.size();
    for (const Written& w : written_) {
        le::append32(out_, kCentralSignature);
        le::append16(out_, 20);  // made by: MS-DOS attributes, version 2.0
        le::append16(out_, 20);
        le::append16(out_, 0);
        le::append16(out_, kDeflated);
        le::append16(out_, 0);
        le::append16(out_, 0x0021);
        le::append32(out_, w.crc);
        le::append32(out_, w.packedSize);
        le::append32(out_, w.size);
        le::append16(out_, static_cast<std::uint16_t>(w.name.size()));
        le::append16(out_, 0);  // extra
        le::append16(out_, 0);  // comment
        le::append16(out_, 0);  // disk
        le::append16(out_, 0);  // internal attributes
        le::append32(out_, 0);  // external attributes
        le::append32(out_, w.localHeader);
        out_ += w.name;
    }
    const std::size_t directorySize = out_.size() - directoryAt;
    if (written_.size() >= 0xFFFF || out_.size() >= 0xFFFFFFFF) overflow_ = true;
    le::append32(out_, kEndSignature);
    le::append16(out_, 0);
    le::append16(out_, 0);
    le::append16(out_, static_cast<std::uint16_t>(written_.size()));
    le::append16(out_, static_cast<std::uint16_t>(written_.size()));
    le::append32(out_, static_cast<std::uint32_t>(directorySize));
    le::append32(out_, static_cast<std::uint32_t>(directoryAt));
    le::append16(out_, 0);
    if (overflow_) return {};
    return std::move(out_);
}

}  // namespace workbook
