// Address lists from text files, and the text file of the results.
#include <algorithm>
#include <map>

#include "io/formats.h"
#include "io/io.h"
#include "text/codepage.h"
#include "text/text.h"

namespace io {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool startsWith(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

// Every byte from 0x81 opens a two-byte character (0xFF none); 0x80 alone is CP936's euro
// sign.
bool isValidGbk(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead <= 0x80) continue;
        if (++i == bytes.size() || !codepage::isGbkPair(lead, static_cast<unsigned char>(bytes[i])))
            return false;
    }
    return true;
}

// What a BOM-less file is as UTF-8: not UTF-8 at all (shortest forms only, no
// surrogates, nothing past U+10FFFF), ASCII, or UTF-8 whose longest characters take two
// bytes or take three or four.
enum class Utf8 { Invalid, Ascii, TwoBytes, Wide };

Utf8 utf8Kind(std::string_view bytes) {
    Utf8 kind = Utf8::Ascii;
    for (std::size_t i = 0; i < bytes.size();) {
        const codepage::Utf8Char c = codepage::decodeUtf8(bytes, i);
        if (!c.valid) return Utf8::Invalid;
        if (c.length > 1) kind = c.length == 2 && kind != Utf8::Wide ? Utf8::TwoBytes : Utf8::Wide;
        i += c.length;
    }
    return kind;
}

// A BOM-less file is UTF-8 when it is valid UTF-8 holding a character of three or four
// bytes (every Chinese character is one). GBK text is next to never that: a run of GBK
// characters that reads as UTF-8 by chance ("楼" is C2 A5, UTF-8's "¥") reads as
// characters of two bytes. Valid UTF-8 of two-byte characters only is UTF-8 when it is
// not GBK as well.
bool looksUtf8(std::string_view bytes) {
    switch (utf8Kind(bytes)) {
        case Utf8::Wide:
            return true;
        case Utf8::TwoBytes:
            return !isValidGbk(bytes);
        default:
            return false;
    }
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

// The UTF-8 text of a list file's bytes in `converted`, or false when the bytes are UTF-8
// (without a BOM) already and need no copy.
bool convertedText(std::string_view bytes, std::string& converted) {
    if (startsWith(bytes, kUtf8Bom))
        converted = bytes.substr(kUtf8Bom.size());
    else if (startsWith(bytes, kUtf16LeBom) || startsWith(bytes, kUtf16BeBom))
        converted = codepage::utf16ToUtf8(utf16Units(bytes.substr(2), bytes[0] == kUtf16BeBom[0]));
    else if (looksUtf8(bytes))
        return false;
    else
        converted = gbkToUtf8(std::string(bytes));
    return true;
}

// The rows' texts in GBK, each converted once: the rows' texts are interned, so a text
// repeats by place. Counts the characters GBK lacks, each written as "?", as often as they
// are written.
class GbkTexts {
  public:
    std::string_view operator()(std::string_view utf8) {
        const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        });
        if (ascii) return utf8;
        auto [at, fresh] = made_.try_emplace({utf8.data(), utf8.size()});
        if (fresh) {
            std::size_t lacking = 0;
            at->second.first = toGbk(codepage::utf8ToUtf16(std::string(utf8)), lacking);
            at->second.second = lacking;
        }
        unmappable += at->second.second;
        return at->second.first;
    }
    std::size_t unmappable = 0;

  private:
    std::map<std::pair<const char*, std::size_t>, std::pair<std::string, std::size_t>> made_;
};

}  // namespace

TextRows textRows(std::string_view bytes) {
    TextRows result;
    std::string converted;
    result.rows = convertedText(bytes, converted) ? splitLines(converted) : splitLines(bytes);
    return result;
}

ListText listText(std::string_view bytes) {
    ListText result;
    if (!convertedText(bytes, result.text)) result.text = bytes;
    return result;
}

std::size_t textFile(const RowStore& rows, TextOut& out) {
    if (rows.empty()) return 0;
    // The list file is GBK, as it always was.
    GbkTexts gbk;
    const std::string_view mark = gbk(kDataFileMark);
    std::string& text = out.text;
    auto line = [&](std::size_t i) {
        text += gbk(rows.address(i));
        text += "  ";
        text += gbk(rows.text(i));
        if (rows.source(i) == Source::DataFile) text += mark;
        text += "\r\n";
        out.rowDone();
    };
    // The first row always makes the first line; later rows only once they have a location.
    line(0);
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (!rows.text(i).empty()) line(i);
    return gbk.unmappable;
}

std::string textFile(const RowStore& rows) {
    TextOut out;
    textFile(rows, out);
    return std::move(out.text);
}

}  // namespace io
