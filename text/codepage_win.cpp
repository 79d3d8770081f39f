// Windows half of the code-page conversions: the system's own converters.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "text/codepage.h"
#include "text/codepage_half.h"

namespace codepage {
namespace {

std::u16string toUtf16(UINT codePage, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > INT_MAX) return {};
    const int inLength = static_cast<int>(bytes.size());
    // Without MB_ERR_INVALID_CHARS, bytes that form no character are not an error: CP936
    // gives "?" for each (a lead byte taking its follower along, an ASCII one too: the
    // shared walk in decode.cpp keeps such bytes from it), and maps GBK's user-defined and
    // unassigned codes into the private use area rather than failing; UTF-8 gives U+FFFD.
    int length = MultiByteToWideChar(codePage, 0, bytes.data(), inLength, nullptr, 0);
    if (length <= 0) return {};
    std::u16string result(static_cast<std::size_t>(length), u'\0');
    length = MultiByteToWideChar(codePage, 0, bytes.data(), inLength,
                                 reinterpret_cast<wchar_t*>(result.data()), length);
    result.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return result;
}

std::string fromUtf16(UINT codePage, DWORD flags, const std::u16string& text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const auto* in = reinterpret_cast<const wchar_t*>(text.data());
    const int inLength = static_cast<int>(text.size());
    int length = WideCharToMultiByte(codePage, flags, in, inLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    length =
        WideCharToMultiByte(codePage, flags, in, inLength, result.data(), length, nullptr, nullptr);
    result.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return result;
}

}  // namespace

std::u16string half::wellFormedGbkToUtf16(std::string_view gbk) {
    return toUtf16(936, gbk);
}

std::string utf16ToGbk(const std::u16string& text) {
    // CP936 has no error mode here: a character it cannot hold becomes its default
    // character "?" (one per UTF-16 unit, so a character beyond the BMP gives "??").
    // Without WC_NO_BEST_FIT_CHARS it would rather pick a look-alike (a circled digit as
    // a plain one, an accented letter without its accent), which changes the text's
    // meaning. WC_COMPOSITECHECK first folds a base letter and one combining mark into
    // the precomposed character; Wine takes eight times as long with it, so it is asked
    // for only when there is a mark to fold.
    const bool marks = std::any_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) ||
               (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
               (c >= 0x3099 && c <= 0x309A) || (c >= 0xFE20 && c <= 0xFE2F);
    });
    return fromUtf16(936, (marks ? WC_COMPOSITECHECK : 0) | WC_NO_BEST_FIT_CHARS, text);
}

std::u16string utf8ToUtf16(const std::string& utf8) {
    return toUtf16(CP_UTF8, utf8);
}

std::string utf16ToUtf8(const std::u16string& text) {
    return fromUtf16(CP_UTF8, 0, text);
}

}  // namespace codepage
