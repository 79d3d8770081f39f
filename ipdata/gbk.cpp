#include "ipdata/gbk.h"

#include "text/codepage.h"
#include "text/text.h"

namespace ipdata {
namespace {

constexpr char32_t kFirst = 0x80;
constexpr char32_t kEnd = 0x10000;

bool surrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// The marks the Windows converter may fold into the character before them.
bool combiningMark(char32_t c) {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
           (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0x3099 && c <= 0x309A) || (c >= 0xFE20 && c <= 0xFE2F);
}

// GBK's user-defined areas, which only the private use area maps to.
bool userDefined(unsigned lead, unsigned trail) {
    return (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) || (lead >= 0xF8 && trail >= 0xA1) ||
           (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0);
}

}  // namespace

GbkEncoder::GbkEncoder() {
    // The characters GBK holds are what its codes decode to. Each code and each character
    // on a line of its own: a line end never occurs inside a GBK character, and no
    // character can be folded into its neighbour. The converters are asked only about
    // characters they hold: the native one takes long over each it does not.
    std::string codes;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F || userDefined(lead, trail)) continue;
            codes += static_cast<char>(lead);
            codes += static_cast<char>(trail);
            codes += '\n';
        }
    }
    codes += "\x80\n";
    const std::u16string decoded = codepage::gbkToUtf16(codes);
    std::vector<bool> held(kEnd - kFirst);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < decoded.size(); ++i) {
        const char16_t c = decoded[i];
        if (c < kFirst || surrogate(c) || decoded[i + 1] != u'\n' || held[c - kFirst])
            continue;
        held[c - kFirst] = true;
        units += c;
        units += u'\n';
    }
    const std::string gbk = codepage::utf16ToGbk(units);
    std::vector<std::uint16_t> table(kEnd - kFirst, 0);
    std::size_t at = 0;
    for (std::size_t i = 0; i < units.size(); i += 2) {
        const std::size_t end = gbk.find('\n', at);
        if (end == std::string::npos || end - at == 0 || end - at > 2) return;  // all the slow way
        const unsigned char first = static_cast<unsigned char>(gbk[at]);
        table[units[i] - kFirst] = static_cast<std::uint16_t>(
            end - at == 1 ? first : first << 8 | static_cast<unsigned char>(gbk[at + 1]));
        at = end + 1;
    }
    if (at == gbk.size()) table_ = std::move(table);
}

bool GbkEncoder::append(std::string_view utf8, std::string& out) const {
    if (table_.empty()) return false;
    // GBK takes no more bytes than UTF-8 for any character here.
    const std::size_t start = out.size();
    out.resize(start + utf8.size());
    char* w = out.data() + start;
    const auto slow = [&] {
        out.resize(start);
        return false;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            if (b == 0) return slow();  // utf8ToGbk ends the text there
            *w++ = static_cast<char>(b);
            ++i;
            continue;
        }
        const codepage::Utf8Char c = codepage::decodeUtf8(utf8, i);
        // Beyond the plane, or no UTF-8.
        if (!c.valid || c.code >= 0x10000 || combiningMark(c.code)) return slow();
        const std::uint16_t code = table_[c.code - kFirst];
        if (code == 0) return slow();
        if (code > 0xFF) *w++ = static_cast<char>(code >> 8);
        *w++ = static_cast<char>(code & 0xFF);
        i += c.length;
    }
    out.resize(static_cast<std::size_t>(w - out.data()));
    return true;
}

std::string GbkEncoder::operator()(std::string_view utf8) const {
    std::string out;
    if (!append(utf8, out)) out = utf8ToGbk(std::string(utf8));
    return out;
}

}  // namespace ipdata
