// The parts of the code-page conversions both halves share: the GBK decoder's walk over
// bytes that are no character, UTF-16 from bytes, byte-order marks, the count of what GBK
// lacks, and the rule that tells UTF-8 from GBK.
#include <algorithm>

#include "text/codepage.h"
#include "text/codepage_half.h"

namespace codepage {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

unsigned char byteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

}  // namespace

std::u16string gbkToUtf16(const std::string& gbk) {
    // Runs of well-formed characters go to the platform's converter whole; a bad byte
    // between them is a U+FFFD of its own. The converters cannot be left to it: CP936
    // makes a lead byte and any follower one "?", an ASCII digit or quote included.
    const std::string_view bytes(gbk);
    std::u16string out;
    std::size_t run = 0, i = 0;
    const auto flush = [&](std::size_t to) {
        if (to > run) out += half::wellFormedGbkToUtf16(bytes.substr(run, to - run));
    };
    while (i < bytes.size()) {
        const unsigned char c = byteAt(bytes, i);
        const bool follower = i + 1 < bytes.size();
        if (c <= 0x80) {
            ++i;
        } else if (follower && isGbkPair(c, byteAt(bytes, i + 1))) {
            i += 2;
        } else {
            flush(i);
            out += kReplacement;
            // A lead byte takes a follower past ASCII with it (0xFF, the one that is no
            // trail); an ASCII follower starts the next character.
            i += isGbkLead(c) && follower && byteAt(bytes, i + 1) >= 0x80 ? 2 : 1;
            run = i;
        }
    }
    flush(bytes.size());
    return out;
}

std::string utf16ToGbk(const std::u16string& text, std::size_t& unmappable) {
    // The converters make each UTF-16 unit they cannot map a "?", and "?" is never the
    // second byte of a GBK character, so the "?"s that were not there before are those
    // characters; a surrogate pair (nothing beyond the BMP is in GBK) gives two for one.
    std::string gbk = utf16ToGbk(text);
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

std::u16string utf16FromBytes(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const unsigned first = byteAt(bytes, 2 * i), second = byteAt(bytes, 2 * i + 1);
        units[i] = static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    }
    if (bytes.size() % 2) units += kReplacement;
    return units;
}

namespace {

struct KnownMark {
    std::string_view bytes;
    Mark mark;
};
constexpr KnownMark kMarks[] = {
    {"\xEF\xBB\xBF", Mark::Utf8},
    {"\xFF\xFE", Mark::Utf16Le},
    {"\xFE\xFF", Mark::Utf16Be},
};

}  // namespace

ByteOrderMark byteOrderMark(std::string_view head) {
    for (const KnownMark& m : kMarks)
        if (head.starts_with(m.bytes)) return {m.mark, m.bytes.size()};
    return {Mark::None, 0};
}

bool mayGrowIntoMark(std::string_view head) {
    return std::any_of(std::begin(kMarks), std::end(kMarks), [head](const KnownMark& m) {
        return head.size() < m.bytes.size() && m.bytes.starts_with(head);
    });
}

namespace {

// The letters a European text holds past ASCII, by script; Other is anything else that
// two UTF-8 bytes make (C1 controls, IPA, Armenian, Hebrew, Arabic and on).
enum class Script { None, Latin, Greek, Cyrillic, Mark, Sign, Other };

Script scriptOf(char32_t c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return Script::Latin;
    if (c < 0x80) return Script::None;
    if (c < 0xA0) return Script::Other;
    if (c < 0xC0 || c == 0xD7 || c == 0xF7) return Script::Sign;
    // Latin-1's and Extended-A's letters, and of Extended-B only Vietnamese's horned
    // vowels and Romanian's comma letters: the rest is next to unused, and GBK's "全"
    // would read as one of them.
    if (c <= 0x17F || c == 0x1A0 || c == 0x1A1 || c == 0x1AF || c == 0x1B0 ||
        (c >= 0x218 && c <= 0x21B))
        return Script::Latin;
    if (c >= 0x300 && c <= 0x36F) return Script::Mark;
    if (c >= 0x386 && c <= 0x3CE) return Script::Greek;
    if (c <= 0x45F && c >= 0x400) return Script::Cyrillic;
    if (c == 0x490 || c == 0x491) return Script::Cyrillic;
    return Script::Other;
}

// Capital letters past ASCII whose case is plain to see: Latin-1's, Greek's, Cyrillic's.
bool isCapital(char32_t c) {
    return (c >= 0xC0 && c <= 0xDE) || (c >= 0x386 && c <= 0x3AB) || (c >= 0x400 && c <= 0x42F);
}

bool isSmall(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 0xDF && c <= 0xFF) || (c >= 0x3AC && c <= 0x3CE) ||
           (c >= 0x430 && c <= 0x45F);
}

}  // namespace

// A text without a byte-order mark is UTF-8 when it is valid UTF-8 holding a character past
// ASCII and either holds a character of three or four bytes (every Chinese character is
// one, and GBK text next to never reads as one), or holds two-byte characters only and reads
// as European writing: each is a Latin letter of the European languages, a Greek or
// Cyrillic letter, a Latin-1 sign, or a combining mark after a Latin letter; no word mixes
// scripts, no capital past ASCII follows a small letter inside a word; and some word shows
// it: a Latin word with letters both of ASCII and past it ("café"), or a Greek or Cyrillic
// word of three letters or more. A lone "é", "¥" or "ŵķ" shows nothing: it is as likely
// GBK. GBK Chinese reads as two-byte UTF-8 only when every character lies in C2..DF 80..BF,
// and then as a jumble: C1 controls, IPA, Armenian, Hebrew or Arabic, Greek beside Cyrillic
// in one word, Latin letters of four languages with no ASCII letter among them.
bool isUtf8Text(std::string_view bytes) {
    bool past = false, wide = false, european = true, evidence = false;
    Script word = Script::None;
    std::size_t letters = 0;              // in the word so far
    bool small = false;                   // the word so far ends in a small letter
    bool ascii = false, foreign = false;  // the word so far holds letters of ASCII, past it
    for (std::size_t i = 0; i <= bytes.size();) {
        Utf8Char c{' ', 1, true};  // a word ends at the end of the text
        if (i < bytes.size()) c = decodeUtf8(bytes, i);
        if (!c.valid) return false;
        i += c.length;
        if (c.length > 2) wide = true;
        if (c.length > 1) past = true;
        if (wide || !european) continue;  // only validity is left to see
        const Script s = scriptOf(c.code);
        if (s == Script::Other || (s == Script::Mark && word != Script::Latin)) {
            european = false;
        } else if (s == Script::Latin || s == Script::Greek || s == Script::Cyrillic) {
            if (word != Script::None && word != s) european = false;
            if (c.length > 1 && small && isCapital(c.code)) european = false;
            word = s;
            small = isSmall(c.code);
            (c.length > 1 ? foreign : ascii) = true;
            ++letters;
        } else if (s == Script::Mark) {
            foreign = true;
        } else {
            evidence |= word == Script::Latin ? ascii && foreign : letters >= 3;
            word = Script::None;
            letters = 0;
            small = ascii = foreign = false;
        }
    }
    return past && (wide || (european && evidence));
}

}  // namespace codepage
