// Address lists from text files, and the text file of the results.
#include <algorithm>

#include "io/formats.h"
#include "io/io.h"
#include "text/codepage.h"

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

// The GBK text of a list file's bytes in `converted`, or false when the bytes are GBK
// already and need no copy.
bool convertedText(std::string_view bytes, std::string& converted, std::size_t& unmappable) {
    const codepage::ByteOrderMark head = codepage::byteOrderMark(bytes);
    const std::string_view text = bytes.substr(head.length);
    std::u16string units;
    switch (head.mark) {
        case codepage::Mark::Utf16Le:
        case codepage::Mark::Utf16Be:
            units = codepage::utf16FromBytes(text, head.mark == codepage::Mark::Utf16Be);
            break;
        case codepage::Mark::Utf8:
            units = codepage::utf8ToUtf16(std::string(text));
            break;
        case codepage::Mark::None:
            if (!codepage::isUtf8Text(text)) return false;
            units = codepage::utf8ToUtf16(std::string(text));
            break;
    }
    converted = codepage::utf16ToGbk(units, unmappable);
    return true;
}

}  // namespace

TextRows textRows(std::string_view bytes) {
    TextRows result;
    std::string converted;
    result.rows = convertedText(bytes, converted, result.unmappable) ? splitLines(converted)
                                                                     : splitLines(bytes);
    return result;
}

ListText listText(std::string_view bytes) {
    ListText result;
    if (!convertedText(bytes, result.text, result.unmappable)) result.text = bytes;
    return result;
}

void textFile(const RowStore& rows, TextOut& out) {
    if (rows.empty()) return;
    const std::string_view mark = kDataFileMark;
    std::string& text = out.text;
    auto line = [&](std::size_t i) {
        text += rows.address(i);
        text += "  ";
        text += rows.text(i);
        if (rows.source(i) == Source::DataFile) text += mark;
        text += "\r\n";
        out.rowDone();
    };
    // The first row always makes the first line; later rows only once they have a location.
    line(0);
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (!rows.text(i).empty()) line(i);
}

std::string textFile(const RowStore& rows) {
    TextOut out;
    textFile(rows, out);
    return std::move(out.text);
}

}  // namespace io
