// The .jsonl file of the results: one object a line, for programs rather than spreadsheets.
#include <charconv>

#include "io/escape.h"
#include "io/fields.h"
#include "io/formats.h"
#include "text/text.h"

namespace io {
namespace {

void appendKey(std::string& out, std::size_t column, bool first = false) {
    if (!first) out += ',';
    out += '"';
    out += fieldInfo(exportFields()[column]).exportKey;
    out += "\":";
}

// Whether `text` is a number as JSON writes one (what degreesText gives, and no more).
bool isJsonNumber(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
           text.find_first_of("iInN") == std::string_view::npos && text.front() != '+' &&
           text.front() != '.' && text.back() != '.';
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

std::string jsonlFile(const RowStore& rows) {
    TextOut out;
    jsonlFile(rows, out);
    return std::move(out.text);
}

void jsonlFile(const RowStore& rows, TextOut& text) {
    std::string& out = text.text;
    // The source words are the program's own, in English here; no titles are needed.
    Titles titles;
    titles.sources = {"web", "data"};
    const bool ranges = hasRanges(rows);
    ExtraCells extra(rows, titles, ranges);
    constexpr std::size_t kList = QueryTable::kColumns;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        out += '{';
        appendKey(out, 0, true);
        appendJsonString(out, rows.address(i));
        appendKey(out, 1);
        appendJsonString(out, rows.text(i));
        const std::array<std::string_view, kExtraColumns> cells = extra.of(i);
        for (std::size_t c = 0; c < kExtraColumns; ++c) {
            const FieldId column = extraField(c);
            if (column == FieldId::Cidr && !ranges) continue;
            appendKey(out, kList + c);
            if (column == FieldId::Asn) {
                const std::uint32_t asn = rows.asn(i);
                out += asn == 0 ? "null" : std::to_string(asn);
            } else if (column == FieldId::Hits) {
                out += cells[c];
            } else if (column == FieldId::Latitude || column == FieldId::Longitude) {
                // Degrees are numbers, as asn is; a cell of our own file read back that is
                // none is null.
                out += isJsonNumber(cells[c]) ? cells[c] : std::string_view("null");
            } else {
                appendJsonString(out, cells[c]);
            }
        }
        out += "}\n";
        text.rowDone();
    }
}

}  // namespace io
