// The text primitives against plain, obviously slow versions of their rules: a scan that
// tries every character start one by one. Any difference, or a read outside the input
// (the sanitizers), is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/codepage.h"
#include "text/text.h"

namespace {

bool lead(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]) >= 0x80;
}

unsigned char fold(unsigned char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? c + 32 : c;
}

// Letters are folded only where a character starts: a trail byte is compared exactly.
bool matchesAt(const std::string& text, const std::string& sub, std::size_t i, bool ignoreCase) {
    if (i + sub.size() > text.size()) return false;
    bool startsCharacter = true;
    for (std::size_t k = 0; k < sub.size(); ++k) {
        const bool foldHere = ignoreCase && startsCharacter;
        if (fold(text[i + k], foldHere) != fold(sub[k], foldHere)) return false;
        startsCharacter = !(startsCharacter && lead(sub, k));
    }
    return true;
}

int refFind(const std::string& text, const std::string& sub, int start, bool ignoreCase) {
    std::size_t i = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (i >= text.size()) return -1;
    if (sub.empty()) return static_cast<int>(i) + 1;
    for (; i < text.size(); i += lead(text, i) ? 2 : 1) {
        if (lead(text, i) && i + 1 == text.size()) return -1;
        if (matchesAt(text, sub, i, ignoreCase)) return static_cast<int>(i) + 1;
    }
    return -1;
}

int refFindBackward(const std::string& text, const std::string& sub, int start, bool ignoreCase) {
    if (start <= 1) return -1;
    std::size_t limit = std::min<std::size_t>(text.size(), static_cast<std::size_t>(start) - 1);
    if (limit == 0) return -1;
    if (sub.empty()) return 1;
    int last = -1;
    for (std::size_t i = 0; i < text.size(); i += lead(text, i) ? 2 : 1) {
        if (lead(text, i) && i + 1 == text.size()) break;
        if (i + sub.size() <= limit && matchesAt(text, sub, i, ignoreCase))
            last = static_cast<int>(i) + 1;
    }
    return last;
}

std::string refReplace(const std::string& text, const std::string& sub, const std::string& with) {
    if (text.empty() || sub.empty()) return text;
    std::string out;
    int from = 1;
    while (true) {
        int at = refFind(text, sub, from, false);
        if (at < 0) break;
        out += text.substr(from - 1, at - from) + with;
        from = at + static_cast<int>(sub.size());
    }
    if (static_cast<std::size_t>(from) <= text.size()) out += text.substr(from - 1);
    return out;
}

TextList refSplit(const std::string& text, const std::string& delimiter, int maxPieces) {
    TextList out;
    if (text.empty() || maxPieces == 0) return out;
    if (delimiter.empty()) return {text};
    int from = 1;
    while (maxPieces < 0 || static_cast<int>(out.size()) < maxPieces) {
        int at = refFind(text, delimiter, from, false);
        if (at < 0) {
            if (static_cast<std::size_t>(from) <= text.size()) out.push_back(text.substr(from - 1));
            break;
        }
        out.push_back(text.substr(from - 1, at - from));
        from = at + static_cast<int>(delimiter.size());
    }
    return out;
}

bool spaceAt(const std::string& s, std::size_t i) {
    return s[i] == ' ' || (static_cast<unsigned char>(s[i]) == 0xA1 && i + 1 < s.size() &&
                           static_cast<unsigned char>(s[i + 1]) == 0xA1);
}

// Character by character: the spans of the text, each either a space or not.
std::string refTrim(const std::string& s) {
    std::size_t begin = std::string::npos, end = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = s[i] == ' ' ? 1 : (lead(s, i) && i + 1 < s.size() ? 2 : 1);
        if (!spaceAt(s, i)) {
            if (begin == std::string::npos) begin = i;
            end = i + len;
        }
        i += len;
    }
    return begin == std::string::npos ? std::string() : s.substr(begin, end - begin);
}

int refTextToInt(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 && i + 1 < text.size()) {
            auto t = static_cast<unsigned char>(text[i + 1]);
            if (c == 0xA3 && t >= 0xA1 && t <= 0xFE)
                plain += static_cast<char>(t - 0x80);
            else if (c == 0xA1 && t == 0xA1)
                plain += ' ';
            else
                plain += text.substr(i, 2);
            i += 2;
        } else {
            plain += text[i++];
        }
    }
    std::size_t i = plain.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) return 0;
    bool negative = plain[i] == '-';
    if (plain[i] == '-' || plain[i] == '+') ++i;
    std::string digits;
    while (i < plain.size() && plain[i] >= '0' && plain[i] <= '9') digits += plain[i++];
    // Beyond eleven significant digits every value saturates; strtoll would too.
    std::size_t nz = digits.find_first_not_of('0');
    if (nz == std::string::npos) return 0;
    digits = digits.substr(nz);
    if (digits.size() > 11) return negative ? INT32_MIN : INT32_MAX;
    long long v = std::strtoll(digits.c_str(), nullptr, 10) * (negative ? -1 : 1);
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int>(v);
}

std::string refBetween(const std::string& text, const std::string& left, const std::string& right,
                       int start, bool caseSensitive) {
    int l = refFind(text, left, start, !caseSensitive);
    if (l < 0) return {};
    int p = l + static_cast<int>(left.size());
    int r = refFind(text, right, p, !caseSensitive);
    if (r < 0 || r <= p) return {};
    return text.substr(p - 1, r - p);
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int start = static_cast<std::int8_t>(data[0]);
    const bool ignoreCase = data[1] & 1;
    const int maxPieces = static_cast<std::int8_t>(data[2]) % 8;
    const int maxLength = data[3] % 16;
    std::string rest(reinterpret_cast<const char*>(data) + 4, size - 4);
    // Text, sub-text and a second marker, separated by NUL bytes.
    std::size_t a = rest.find('\0');
    std::string text = rest.substr(0, a);
    std::string sub, other;
    if (a != std::string::npos) {
        std::size_t b = rest.find('\0', a + 1);
        sub = rest.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
        if (b != std::string::npos) other = rest.substr(b + 1);
    }

    check(findText(text, sub, start, ignoreCase) == refFind(text, sub, start, ignoreCase));
    check(findTextBackward(text, sub) == refFindBackward(text, sub, kWholeText, false));
    check(findTextBackward(text, sub, start, ignoreCase) ==
          refFindBackward(text, sub, start, ignoreCase));
    check(replaceText(text, sub, other) == refReplace(text, sub, other));
    check(splitText(text, sub, maxPieces - 1) == refSplit(text, sub, maxPieces - 1));
    check(trimSpaces(text) == refTrim(text));
    check(textToInt(text) == refTextToInt(text));
    check(getTextBetween(text, sub, other, start, !ignoreCase) ==
          refBetween(text, sub, other, start, !ignoreCase));

    const int n = static_cast<int>(sub.size()) - 3;
    check(leftText(text, n) == (n <= 0 ? "" : text.substr(0, n)));
    check(rightText(text, n) ==
          (n <= 0 ? "" : text.substr(text.size() - std::min<std::size_t>(n, text.size()))));
    std::string mid = midText(text, start, n);
    check(mid.size() <= text.size());
    if (start >= 1 && static_cast<std::size_t>(start) <= text.size() && n > 0)
        check(mid == text.substr(start - 1, n));
    else
        check(mid.empty());

    TextList pieces{"stale"};
    int count = getAllTextsBetween(text, sub, other, pieces, !ignoreCase, maxLength, "<", ">",
                                   data[1] & 2, data[1] & 4, start);
    check(count == static_cast<int>(pieces.size()));
    for (const std::string& piece : pieces) check(piece.size() >= 2 && piece != "stale");

    std::string spaceless = removeAllSpaces(text);
    check(spaceless.size() <= text.size() && trimSpaces(spaceless) == spaceless);
    std::string lower = toLowerAscii(text);
    check(lower.size() == text.size());

    std::string encoded = urlEncode(text, data[1] & 8, false);
    check(encoded.size() <= text.size() * 3 && encoded.size() >= text.size());
    std::string utf8 = gbkToUtf8(text);
    // Decoding never swallows an ASCII byte that is not the second half of a pair.
    std::string ascii, kept;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (i + 1 < text.size() && codepage::isGbkPair(c, static_cast<unsigned char>(text[i + 1])))
            ++i;
        else if (c < 0x80)
            ascii += text[i];
    }
    for (char c : utf8)
        if (static_cast<unsigned char>(c) < 0x80) kept += c;
    check(kept == ascii);
    codepage::isUtf8Text(text);
    std::string back = utf8ToGbk(utf8);
    check(back.find('\0') == std::string::npos);
    check(utf8ToGbk(rest).find('\0') == std::string::npos);
    check(bytesToText(rest) == text);
    return 0;
}
