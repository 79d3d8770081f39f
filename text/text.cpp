#include "text/text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "text/codepage.h"

namespace {

// The primitives' own rule, not codepage::isGbkLead: see there why the two differ.
bool isLead(unsigned char c) {
    return c >= 0x80;
}

unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// The length of the character at i: 2 for a lead byte with a byte behind it, else 1.
std::size_t charLength(const std::string& text, std::size_t i) {
    return (isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

// Finds a sub-text at character starts only, in time linear in the text: a KMP scan over
// the bytes, where each candidate is kept only when the character walk lands on it. The
// walk moves forward monotonically, so no search ever restarts. Case folding touches only
// ASCII letters that start a character: a trail byte 0x41-0x5A is part of a double-byte
// character and folding it would make two different characters equal. The pattern is
// folded by its own character walk and each text byte by the text's; a match at a text
// character start lines both walks up, since lead bytes only ever equal themselves.
class Matcher {
  public:
    Matcher(const std::string& sub, bool ignoreCase) : pattern_(sub), fold_(ignoreCase) {
        if (fold_)
            for (std::size_t i = 0; i < pattern_.size(); i += charLength(pattern_, i))
                pattern_[i] = static_cast<char>(foldAscii(static_cast<unsigned char>(pattern_[i])));
        fail_.assign(pattern_.size(), 0);
        std::size_t k = 0;
        for (std::size_t i = 1; i < pattern_.size(); ++i) {
            while (k > 0 && pattern_[i] != pattern_[k]) k = fail_[k - 1];
            if (pattern_[i] == pattern_[k]) ++k;
            fail_[i] = k;
        }
    }

    std::size_t size() const { return pattern_.size(); }

    // First match at a character start at or after `from` (taken as a character start),
    // or npos. An empty sub-text matches at `from` while `from` is inside the text.
    std::size_t find(const std::string& text, std::size_t from) const {
        const std::size_t n = text.size();
        if (from >= n) return std::string::npos;
        if (pattern_.empty()) return from;
        std::size_t boundary = from;       // the first character start at or after j
        std::size_t matchBoundary = from;  // the same for the latest candidate
        std::size_t q = 0;
        for (std::size_t j = from; j < n; ++j) {
            if (boundary < j) boundary += charLength(text, boundary);
            char c = text[j];
            if (fold_ && boundary == j)
                c = static_cast<char>(foldAscii(static_cast<unsigned char>(c)));
            while (q > 0 && c != pattern_[q]) q = fail_[q - 1];
            if (c == pattern_[q]) ++q;
            if (q == pattern_.size()) {
                // Candidates only grow, so this second walk never restarts either.
                const std::size_t candidate = j + 1 - q;
                while (matchBoundary < candidate) {
                    // A lead byte with nothing behind it ends the scan.
                    if (isLead(static_cast<unsigned char>(text[matchBoundary])) &&
                        matchBoundary + 1 >= n)
                        return std::string::npos;
                    matchBoundary += charLength(text, matchBoundary);
                }
                if (matchBoundary == candidate &&
                    !(isLead(static_cast<unsigned char>(text[candidate])) && candidate + 1 >= n))
                    return candidate;
                q = fail_[q - 1];
            }
        }
        return std::string::npos;
    }

  private:
    std::string pattern_;
    bool fold_;
    std::vector<std::size_t> fail_;
};
// Index of a 1-based start position, clamping below 1 to the beginning.
std::size_t startIndex(int start) {
    return start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
}

int toPosition(std::size_t index) {
    // npos, "not found", is past INT_MAX too.
    return index >= static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(index) + 1;
}

bool isSpaceAt(const std::string& text, std::size_t i) {
    if (text[i] == ' ') return true;
    return static_cast<unsigned char>(text[i]) == 0xA1 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) == 0xA1;
}

// The double quote stand-in of the marker texts: "#引号" in GBK, written as bytes so that
// every compiler produces the same marker whatever its execution character set.
const std::string kQuoteWord = "#\xD2\xFD\xBA\xC5";

}  // namespace

int findText(const std::string& text, const std::string& sub, int start, bool ignoreCase) {
    Matcher m(sub, ignoreCase);
    return toPosition(m.find(text, startIndex(start)));
}

int findTextBackward(const std::string& text, const std::string& sub, int start, bool ignoreCase) {
    if (start <= 1) return -1;
    // Occurrences must lie wholly inside the first start-1 bytes.
    std::size_t limit = std::min<std::size_t>(text.size(), static_cast<std::size_t>(start) - 1);
    if (limit == 0) return -1;
    if (sub.empty()) return 1;
    if (sub.size() > limit) return -1;
    Matcher m(sub, ignoreCase);
    std::size_t last = std::string::npos;
    std::size_t from = 0;
    while (true) {
        std::size_t at = m.find(text, from);
        if (at == std::string::npos || at + sub.size() > limit) break;
        last = at;
        from = at + charLength(text, at);
    }
    return toPosition(last);
}

std::string leftText(const std::string& text, int n) {
    if (n <= 0) return {};
    return text.substr(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(n)));
}

std::string rightText(const std::string& text, int n) {
    if (n <= 0) return {};
    std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(n));
    return text.substr(text.size() - count);
}

std::string midText(const std::string& text, int position, int n) {
    if (position < 1 || n <= 0 || static_cast<std::size_t>(position) > text.size()) return {};
    return text.substr(static_cast<std::size_t>(position) - 1, static_cast<std::size_t>(n));
}

std::string replaceText(const std::string& text, const std::string& sub,
                        const std::string& replacement) {
    if (text.empty() || sub.empty()) return text;
    Matcher m(sub, false);
    std::string result;
    std::size_t from = 0;
    while (true) {
        std::size_t at = m.find(text, from);
        if (at == std::string::npos) break;
        result.append(text, from, at - from);
        result += replacement;
        from = at + sub.size();
    }
    if (from < text.size()) result.append(text, from, std::string::npos);
    return result;
}

TextList splitText(const std::string& text, const std::string& delimiter, int maxPieces) {
    TextList pieces;
    if (text.empty() || maxPieces == 0) return pieces;
    if (delimiter.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    auto full = [&] {
        return maxPieces > 0 && pieces.size() >= static_cast<std::size_t>(maxPieces);
    };
    Matcher m(delimiter, false);
    std::size_t from = 0;
    while (!full()) {
        std::size_t at = m.find(text, from);
        if (at == std::string::npos) {
            if (from < text.size()) pieces.push_back(text.substr(from));
            break;
        }
        pieces.push_back(text.substr(from, at - from));
        from = at + delimiter.size();
    }
    return pieces;
}

std::string trimSpaces(const std::string& text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isSpaceAt(text, i)) i += text[i] == ' ' ? 1 : 2;
    std::size_t begin = i, end = i;
    while (i < n) {
        bool space = isSpaceAt(text, i);
        i += space && text[i] == ' ' ? 1 : charLength(text, i);
        if (!space) end = i;
    }
    return text.substr(begin, end - begin);
}

std::string removeAllSpaces(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t len = text[i] == ' ' ? 1 : charLength(text, i);
        if (!isSpaceAt(text, i)) result.append(text, i, len);
        i += len;
    }
    return result;
}

std::string toLowerAscii(const std::string& text) {
    std::string result = text;
    for (std::size_t i = 0; i < result.size();) {
        std::size_t len = charLength(result, i);
        if (len == 1)
            result[i] = static_cast<char>(foldAscii(static_cast<unsigned char>(result[i])));
        i += len;
    }
    return result;
}

int textToInt(const std::string& text) {
    // Full-width ASCII (A3 A1..A3 FE) and the full-width space read as their ASCII forms.
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = charLength(text, i);
        if (len == 2) {
            unsigned char t = static_cast<unsigned char>(text[i + 1]);
            if (c == 0xA3 && t >= 0xA1 && t <= 0xFE)
                plain += static_cast<char>(t - 0x80);
            else if (c == 0xA1 && t == 0xA1)
                plain += ' ';
            else
                plain.append(text, i, 2);
        } else {
            plain += static_cast<char>(c);
        }
        i += len;
    }
    std::size_t i = 0;
    while (i < plain.size() && (plain[i] == ' ' || (plain[i] >= '\t' && plain[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < plain.size() && (plain[i] == '+' || plain[i] == '-')) negative = plain[i++] == '-';
    // Saturates at the 32-bit limits rather than wrapping.
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; i < plain.size() && plain[i] >= '0' && plain[i] <= '9'; ++i) {
        value = value * 10 + (plain[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int>(negative ? -value : value);
}

std::string numberToText(long long value) {
    return std::to_string(value);
}
std::string numberToText(int value) {
    return std::to_string(value);
}

std::string numberToText(double value) {
    if (value == 0) return "0";  // also -0
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return buffer;
}

std::string byteToHex(int value) {
    static const char kDigits[] = "0123456789ABCDEF";
    unsigned v = static_cast<unsigned>(value) & 0xFF;
    std::string result;
    if (v >= 16) result += kDigits[v >> 4];
    result += kDigits[v & 15];
    return result;
}

std::string bytesToText(const Bytes& bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

std::string getTextBetween(const std::string& text, const std::string& left,
                           const std::string& right, int start, bool caseSensitive) {
    const std::string l = replaceText(left, kQuoteWord, "\"");
    const std::string r = replaceText(right, kQuoteWord, "\"");
    int leftAt = findText(text, l, start, !caseSensitive);
    if (leftAt < 0) return {};
    long long piece = static_cast<long long>(leftAt) + static_cast<long long>(l.size());
    if (piece > INT_MAX) return {};
    int rightAt = findText(text, r, static_cast<int>(piece), !caseSensitive);
    if (rightAt < 0) return {};
    return midText(text, static_cast<int>(piece), rightAt - static_cast<int>(piece));
}

int getAllTextsBetween(const std::string& text, const std::string& left, const std::string& right,
                       TextList& out, bool caseSensitive, int maxLength, const std::string& prefix,
                       const std::string& suffix, bool includeLeft, bool includeRight, int start) {
    out.clear();
    Matcher leftMatcher(left, !caseSensitive);
    Matcher rightMatcher(right, !caseSensitive);
    std::size_t from = startIndex(start);
    while (true) {
        std::size_t l = leftMatcher.find(text, from);
        if (l == std::string::npos) break;
        std::size_t p = l + left.size();
        std::size_t r = rightMatcher.find(text, p);
        if (r == std::string::npos) break;
        // An empty right marker sits at p itself; the piece is then empty and ends the walk.
        std::string piece = trimSpaces(text.substr(p, r - p));
        if (piece.empty()) break;
        if (maxLength <= 0 || piece.size() <= static_cast<std::size_t>(maxLength)) {
            std::string entry;
            if (includeLeft) entry += left;
            entry += prefix;
            entry += piece;
            entry += suffix;
            if (includeRight) entry += right;
            out.push_back(std::move(entry));
        }
        // The right marker may open the next piece. r > from always holds here (a
        // non-empty piece lies between), so the walk moves on.
        from = r;
    }
    return static_cast<int>(std::min<std::size_t>(out.size(), INT_MAX));
}

std::string urlEncode(const std::string& text, bool keepUnreserved, bool convertToUtf8) {
    static const char kDigits[] = "0123456789ABCDEF";
    const std::string bytes = convertToUtf8 ? gbkToUtf8(text) : text;
    std::string result;
    result.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                     c == '-' || c == '.';
        if (keepUnreserved && plain) {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += kDigits[c >> 4];
            result += kDigits[c & 15];
        }
    }
    return result;
}

Bytes gbkToUtf8(const std::string& text) {
    if (text.empty()) return {};
    return codepage::utf16ToUtf8(codepage::gbkToUtf16(text));
}

std::string utf8ToGbk(const Bytes& bytes) {
    if (bytes.empty()) return {};
    return bytesToText(codepage::utf16ToGbk(codepage::utf8ToUtf16(bytes)));
}
