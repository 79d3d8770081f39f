// Address lists from text files, and the text file of the results.
#include <algorithm>
#include <map>

#include "io/formats.h"
#include "io/io.h"
#include "text/codepage.h"
#include "text/text.h"

namespace io {
namespace {

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
// (without a mark) already and need no copy.
bool convertedText(std::string_view bytes, std::string& converted) {
    const codepage::ByteOrderMark head = codepage::byteOrderMark(bytes);
    const std::string_view text = bytes.substr(head.length);
    switch (head.mark) {
        case codepage::Mark::Utf16Le:
        case codepage::Mark::Utf16Be:
            converted = codepage::utf16ToUtf8(
                codepage::utf16FromBytes(text, head.mark == codepage::Mark::Utf16Be));
            return true;
        case codepage::Mark::Utf8:
            converted = codepage::validUtf8(text);
            return true;
        case codepage::Mark::None:
            break;
    }
    if (codepage::isUtf8Text(text)) return false;
    converted = gbkToUtf8(std::string(text));
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
            at->second.first = codepage::utf16ToGbk(codepage::utf8ToUtf16(std::string(utf8)), lacking);
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
