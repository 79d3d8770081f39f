// Address lists from CSV files, and the CSV file of the results.
#include <algorithm>

#include "io/escape.h"
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

    // The first field of the next record (with `all`, every field); false when the text is
    // used up.
    bool next(std::string& first, std::vector<std::string>* all = nullptr) {
        if (at_ >= text_.size()) return false;
        first.clear();
        if (all) all->clear();
        bool firstField = true;
        while (true) {
            std::string* into = firstField ? &first : nullptr;
            if (all) into = &all->emplace_back();
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

}  // namespace

void appendCsvField(std::string& out, std::string_view field, Formulas formulas) {
    const bool formula = formulas == Formulas::AsText && !field.empty() &&
                         (field[0] == '=' || field[0] == '+' || field[0] == '-' || field[0] == '@');
    // One pass over the field (find_first_of looks each byte up in the set): the command
    // line writes a field for every column of every line.
    if (std::none_of(field.begin(), field.end(),
                     [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
        if (formula) out += '\'';
        out += field;
        return;
    }
    out += '"';
    if (formula) out += '\'';
    std::size_t from = 0;
    for (std::size_t quote; (quote = field.find('"', from)) != std::string_view::npos;) {
        out += field.substr(from, quote + 1 - from);
        out += '"';
        from = quote + 1;
    }
    out += field.substr(from);
    out += '"';
}

void appendTsvField(std::string& out, std::string_view field) {
    if (std::none_of(field.begin(), field.end(),
                     [](char c) { return c == '\t' || c == '\n' || c == '\r'; })) {
        out += field;
        return;
    }
    for (const char c : field) out += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
}

namespace {

CsvList readCsv(std::string_view bytes, bool ownToo) {
    ListText list = listText(bytes);
    std::erase(list.text, '\0');
    CsvList result;
    Records records(list.text);
    std::string first;
    std::vector<std::string> cells;
    if (!records.next(first, &cells)) return result;
    first = cells.front();
    if (ownToo && isOwnHeader(cells)) {
        RowStore& rows = result.own.emplace();
        while (records.next(first, &cells)) pushOwnRow(rows, cells);
        return result;
    }
    do {
        result.rows.rows.push_back({first, std::string()});
    } while (records.next(first));
    return result;
}

}  // namespace

TextRows csvRows(std::string_view bytes) {
    return readCsv(bytes, false).rows;
}

CsvList csvList(std::string_view bytes) {
    return readCsv(bytes, true);
}

std::string csvFile(const RowStore& rows, const Titles& titles) {
    TextOut out;
    csvFile(rows, titles, out);
    return std::move(out.text);
}

void csvFile(const RowStore& rows, const Titles& titles, TextOut& text) {
    std::string& out = text.text;
    out += "\xEF\xBB\xBF";
    const bool ranges = hasRanges(rows);
    ExtraCells extra(rows, titles, ranges);
    const std::size_t columns = ranges ? kExtraColumns : kExtraColumns - 1;
    for (std::size_t c = 0; c < titles.list.size(); ++c) {
        appendCsvField(out, titles.list[c]);
        out += ',';
    }
    for (std::size_t c = 0; c < columns; ++c) {
        appendCsvField(out, titles.extra[c]);
        out += c + 1 < columns ? "," : "\r\n";
    }
    const std::string mark = kDataFileMark;
    std::string location;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        appendCsvField(out, rows.address(i));
        out += ',';
        location = rows.text(i);
        if (rows.source(i) == Source::DataFile) location += mark;
        appendCsvField(out, location);
        const std::array<std::string_view, kExtraColumns> cells = extra.of(i);
        for (std::size_t c = 0; c < columns; ++c) {
            out += ',';
            appendCsvField(out, cells[c]);
        }
        out += "\r\n";
        text.rowDone();
    }
}

}  // namespace io
