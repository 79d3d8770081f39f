// Address lists from text files, and the text file of the results.
#include <algorithm>

#include "io/io.h"
#include "text/codepage.h"

namespace io {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// Every byte from 0x81 opens a two-byte character whose second byte is 0x40 to 0xFE
// (not 0x7F). 0x80 alone is CP936's euro sign.
bool isValidGbk(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead <= 0x80) continue;
        if (lead == 0xFF || ++i == bytes.size()) return false;
        const auto trail = static_cast<unsigned char>(bytes[i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return false;
    }
    return true;
}

// Shortest forms only, no surrogates, nothing past U+10FFFF.
bool isValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (bytes.size() - i < length) return false;
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < low || second > high) return false;
        for (std::size_t k = 2; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

std::u16string utf16Units(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    if (bytes.size() % 2) units += u'\xFFFD';  // half a character at the end
    return units;
}

// The GBK text, counting the characters it cannot hold. The converters turn each UTF-16
// unit they cannot map into "?", and "?" is never the second byte of a GBK character, so
// the "?"s that were not there before are those characters; a surrogate pair (nothing
// beyond the BMP is in GBK) gives two of them for one character.
std::string toGbk(const std::u16string& text, std::size_t& unmappable) {
    std::string gbk = codepage::utf16ToGbk(text);
    std::size_t before = 0, pairs = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'?') ++before;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++pairs;
            ++i;
        }
    }
    const auto after = static_cast<std::size_t>(std::count(gbk.begin(), gbk.end(), '?'));
    unmappable = after > before + pairs ? after - before - pairs : 0;
    return gbk;
}

// Lines end at CR LF, LF or CR. A NUL ends a line as well, with any NULs and one line end
// right behind it, and a line that ends there is kept only when it holds something: a
// file padded with zeros gives no rows of nothing.
std::vector<RowCells> splitLines(std::string_view text) {
    std::vector<RowCells> rows;
    rows.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    auto add = [&rows, text](std::size_t from, std::size_t to) {
        rows.push_back({std::string(text.substr(from, to - from)), std::string()});
    };
    auto skipLineEnd = [text](std::size_t at) {
        if (at < text.size() && text[at] == '\r') {
            if (++at < text.size() && text[at] == '\n') ++at;
        } else if (at < text.size() && text[at] == '\n') {
            ++at;
        }
        return at;
    };
    std::size_t start = 0, i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            add(start, i);
            i = skipLineEnd(i);
            start = i;
        } else if (c == '\0') {
            if (i > start) add(start, i);
            while (i < text.size() && text[i] == '\0') ++i;
            i = skipLineEnd(i);
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) add(start, text.size());
    return rows;
}

}  // namespace

bool isTextPath(const std::string& path) {
    return path.find(".txt") != std::string::npos;
}

TextRows textRows(std::string_view bytes) {
    TextRows result;
    std::string converted;
    if (startsWith(bytes, kUtf8Bom)) {
        converted = toGbk(codepage::utf8ToUtf16(std::string(bytes.substr(kUtf8Bom.size()))),
                          result.unmappable);
    } else if (startsWith(bytes, kUtf16LeBom) || startsWith(bytes, kUtf16BeBom)) {
        converted =
            toGbk(utf16Units(bytes.substr(2), bytes[0] == kUtf16BeBom[0]), result.unmappable);
    } else if (!isValidGbk(bytes) && isValidUtf8(bytes)) {
        converted = toGbk(codepage::utf8ToUtf16(std::string(bytes)), result.unmappable);
    } else {
        result.rows = splitLines(bytes);
        return result;
    }
    result.rows = splitLines(converted);
    return result;
}

std::string textFile(const std::vector<Row>& rows) {
    std::string text;
    if (rows.empty()) return text;
    std::size_t size = 0;
    for (const Row& row : rows) size += row.address.size() + row.location.size() + 4;
    text.reserve(size);
    auto line = [&text](const Row& row) {
        text += row.address;
        text += "  ";
        text += row.location;
        text += "\r\n";
    };
    // The first row always makes the first line; later rows only once they have a location.
    line(rows.front());
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (!rows[i].location.empty()) line(rows[i]);
    return text;
}

}  // namespace io
