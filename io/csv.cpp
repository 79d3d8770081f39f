// Address lists from CSV files, and the CSV file of the results.
#include "io/formats.h"
#include "text/codepage.h"
#include "text/text.h"

namespace io {
namespace {

// Splits GBK text into records and keeps each record's first field. No byte of a GBK
// character's second half is a comma, quote or line end, so bytes can be compared as
// they are.
class Records {
  public:
    explicit Records(std::string_view text) : text_(text) {}

    // The first field of the next record; false when the text is used up.
    bool next(std::string& first) {
        if (at_ >= text_.size()) return false;
        first.clear();
        bool firstField = true;
        while (true) {
            std::string* into = firstField ? &first : nullptr;
            field(into);
            firstField = false;
            if (at_ >= text_.size()) return true;
            const char c = text_[at_++];
            if (c == ',') continue;
            // a line end: CR LF counts as one
            if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
            return true;
        }
    }

  private:
    // Reads one field up to the comma or line end after it; a quote opens a quoted part,
    // where commas, line ends and doubled quotes ("") are text. A quote never closed takes
    // the rest of the text; what follows a closing quote up to the comma is kept too.
    void field(std::string* out) {
        bool quoted = false;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (quoted) {
                if (c == '"') {
                    if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
                        if (out) *out += '"';
                        at_ += 2;
                        continue;
                    }
                    quoted = false;
                } else if (out) {
                    *out += c;
                }
                ++at_;
                continue;
            }
            if (c == ',' || c == '\r' || c == '\n') return;
            if (c == '"')
                quoted = true;
            else if (out)
                *out += c;
            ++at_;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

bool needsQuotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

// Bytes that form no GBK character become "?", so that the conversion never joins a stray
// lead byte with the comma or quote after it.
void appendGbk(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!codepage::isGbkLead(c)) {
            out += text[i];
            continue;
        }
        const auto trail = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (codepage::isGbkPair(c, trail)) {
            out += text[i];
            out += text[++i];
        } else {
            out += '?';
        }
    }
}

void appendField(std::string& out, std::string_view field) {
    const bool formula = !field.empty() &&
                         (field[0] == '=' || field[0] == '+' || field[0] == '-' || field[0] == '@');
    if (!needsQuotes(field)) {
        if (formula) out += '\'';
        appendGbk(out, field);
        return;
    }
    out += '"';
    if (formula) out += '\'';
    std::size_t from = 0;
    for (std::size_t quote; (quote = field.find('"', from)) != std::string_view::npos;) {
        appendGbk(out, field.substr(from, quote + 1 - from));
        out += '"';
        from = quote + 1;
    }
    appendGbk(out, field.substr(from));
    out += '"';
}

void appendRecord(std::string& out, std::string_view first, std::string_view second) {
    appendField(out, first);
    out += ',';
    appendField(out, second);
    out += "\r\n";
}

}  // namespace

TextRows csvRows(std::string_view bytes) {
    ListText list = listText(bytes);
    std::erase(list.text, '\0');
    TextRows result;
    result.unmappable = list.unmappable;
    Records records(list.text);
    std::string first;
    while (records.next(first)) result.rows.push_back({first, std::string()});
    return result;
}

std::string csvFile(const RowStore& rows,
                    const std::array<std::string, QueryTable::kColumns>& titles) {
    // Made in GBK and converted a piece at a time: one conversion call per piece rather
    // than per field, and never the whole file twice over in memory.
    std::string out = "\xEF\xBB\xBF", gbk;
    auto convert = [&out, &gbk] {
        out += gbkToUtf8(gbk);
        gbk.clear();
    };
    appendRecord(gbk, titles[0], titles[1]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i > 0 && rows.text(i).empty()) continue;
        appendRecord(gbk, rows.address(i), shownLocation(rows[i]));
        if (gbk.size() >= (1u << 20)) convert();
    }
    convert();
    return out;
}

}  // namespace io
