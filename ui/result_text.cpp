#include "ui/result_text.h"

#include "text/codepage.h"

namespace {

// The end of the first `limit` characters of line [begin, end): a character is never split.
std::size_t cutPoint(const std::string& text, std::size_t begin, std::size_t end,
                     std::size_t limit) {
    std::size_t at = begin;
    const std::string_view line(text.data(), end);
    for (std::size_t n = 0; n < limit && at < end; ++n) at += codepage::decodeUtf8(line, at).length;
    return at;
}

}  // namespace

std::string boundResultText(const std::string& text) {
    std::string out;
    out.reserve(std::min(text.size(), std::size_t{8192}));
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = text.find("\r\n", begin);
        const bool last = end == std::string::npos;
        if (last) end = text.size();
        const std::size_t cut = cutPoint(text, begin, end, kResultLineCharacters);
        out.append(text, begin, cut - begin);
        if (cut < end) out += "…";
        if (last) return out;
        out += "\r\n";
        begin = end + 2;
    }
}
