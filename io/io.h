// Address lists in and results out as functions of bytes and rows: .txt and .xls here,
// the other formats and the table of them all in io/formats.h. io/engine.h runs them on
// files, the clipboard and the table.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "io/fields.h"
#include "table/table.h"
#include "workbook/biff.h"

namespace io {

// The rows of a text file, one per line, as UTF-8.
struct TextRows {
    std::vector<RowCells> rows;
};

// Text file bytes to rows of UTF-8. GBK unless the bytes start with a UTF-8 or UTF-16 (LE or BE)
// byte-order mark, or are UTF-8 by the rule of listText (io/formats.h). Lines end at CR LF,
// LF or CR; a final line end adds no row, a blank line between two gives an empty one. A
// NUL ends a line too, but never makes an empty row of its own. Lines are kept as they are
// (spaces included) in column 0.
TextRows textRows(std::string_view bytes);

// Workbook file bytes to the rows of its sheet Sheet1. The first row that holds anything
// comes in as a row of its own, every "#" in it made "."; the rows beneath it follow, blank
// ones included. Columns count from the first one that holds anything, as many as the
// table has. On failure `rows` is left empty.
workbook::WorkbookStatus workbookRows(std::string_view file, std::vector<RowCells>& rows);

// A sheet's cells (sorted by row, not empty) to rows by the rules of workbookRows.
void sheetRows(std::vector<workbook::SheetCell>& cells, std::vector<RowCells>& rows);

// A file made row by row: `text` holds what is not yet handed on. With a writer it is
// handed on in pieces of about a megabyte, so that a long text file is never whole in
// memory; without one `text` gathers the whole file.
class TextOut {
  public:
    using Writer = std::function<bool(std::string_view piece)>;
    TextOut() = default;
    explicit TextOut(const Writer& write) : write_(&write) {}

    std::string text;
    // After each row.
    void rowDone() {
        if (write_ && text.size() >= kPieceBytes) handOn();
    }
    // The rest handed on; false when any write failed.
    bool finish() {
        if (write_) handOn();
        return written_;
    }

  private:
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;
    void handOn() {
        written_ = written_ && (*write_)(text);
        text.clear();
    }
    const Writer* write_ = nullptr;
    bool written_ = true;
};

// The text file of the rows: the first row always, later rows only with a location; each
// line the address, two spaces, the location as shown (shownLocation), CR LF.
// Returns how many characters GBK lacks, each written as "?".
std::size_t textFile(const RowStore& rows, TextOut& out);
std::string textFile(const RowStore& rows);

struct WorkbookFile {
    std::string bytes;
    std::size_t rowsLeftOut = 0;  // rows written past the sheet's last row, so left out
    std::size_t cellsCut = 0;     // texts longer than a cell holds, so cut by the writer
};

// Whether a text is longer than a workbook cell holds (kCellCharacters UTF-16 units), so
// the writers cut it.
bool longerThanCell(std::string_view text);
// The .xls file of the rows: the column titles in sheet row 1, list row r in sheet row
// r + 2 when it has a location (a blank sheet row when not), every cell formatted as text.
WorkbookFile workbookFile(const RowStore& rows, const Titles& titles);

// A row as the list's copy puts it on the clipboard: the address, a tab, the location.
std::string rowText(const RowView& row);

}  // namespace io
