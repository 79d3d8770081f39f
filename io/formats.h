// The list and result formats beside .txt and .xls: which format a file is in, CSV, and
// .xlsx. Functions of bytes and rows, like those of io.h; the texts their results show
// are in io/format_messages.h.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "io/io.h"
#include "platform/path.h"
#include "workbook/xlsx.h"

namespace io {

enum class ImportFormat {
    Xls,        // a compound file: workbookRows
    Xlsx,       // a zip archive: xlsxRows (one that holds no workbook says so there)
    TextLines,  // a text named *.txt: textRows, each line a row as it is
    Csv,        // a text named *.csv: csvRows, the first field of each record
    Addresses,  // a text of any other name: the addresses found in it
};
// Told by the content first (the compound file and zip signatures), then for text by the
// name's ending, without case.
ImportFormat importFormat(const platform::Path& path, std::string_view bytes);

enum class ExportFormat { Text, Csv, Xlsx, Xls };
// By the name's ending, without case: .txt, .csv, .xlsx; any other name is an .xls.
ExportFormat exportFormat(const platform::Path& path);

// A list file's bytes as GBK text, decoded as textRows decodes them: by a UTF-8 or UTF-16
// byte-order mark; without one as UTF-8 when the bytes are valid UTF-8 holding a character
// of three or four bytes, or holding two-byte ones and not valid GBK; otherwise as GBK.
// `unmappable` counts the characters GBK cannot hold (each now a "?").
struct ListText {
    std::string text;
    std::size_t unmappable = 0;
};
ListText listText(std::string_view bytes);

// CSV bytes (decoded as listText) to rows: the first field of each record, in column 0.
// Quoted fields may hold commas, doubled quotes and line breaks. Records end at CR LF, LF
// or CR; a final line end adds no row, a blank line gives an empty one; NULs are dropped.
TextRows csvRows(std::string_view bytes);

// The CSV file of the rows: UTF-8 with a byte-order mark, CR LF line ends, the column
// titles as the first record, then the rows the text export writes (the first always,
// later ones with a location). Fields holding a comma, quote or line break are quoted; a
// field that starts like a formula (= + - @) gets a leading "'" so that a spreadsheet
// shows it rather than runs it.
std::string csvFile(const RowStore& rows,
                    const std::array<std::string, QueryTable::kColumns>& titles);

// .xlsx bytes to the rows of the first worksheet, by the rules of workbookRows: the first
// row that holds anything comes first, each "#" in it made "."; rows beneath follow,
// blank ones included; columns count from the first that holds anything. On failure
// `rows` is left empty.
workbook::XlsxStatus xlsxRows(std::string_view file, std::vector<RowCells>& rows);

// The .xlsx file of the rows, laid out as workbookFile lays out the .xls: the titles in
// sheet row 1, list row r in sheet row r + 2 when it has a location; rows past sheet row
// 1 048 576 are counted in rowsLeftOut.
WorkbookFile xlsxFile(const RowStore& rows,
                      const std::array<std::string, QueryTable::kColumns>& titles);

// The status text of an .xlsx import that failed.
const char* xlsxFailure(workbook::XlsxStatus status);

}  // namespace io
