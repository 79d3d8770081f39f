// The list formats: one table that says, for each, how a file in it is recognised, the
// name endings it goes by, its reader and its writer. Import, export and the texts the
// window shows all go by this table, so a new format is one row here (and its texts in
// ui/). The readers and writers are functions of bytes and rows, like those of io.h.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/io.h"
#include "platform/path.h"
#include "workbook/xlsx.h"

namespace io {

// Which format; the window words its texts by it.
enum class FormatId {
    Lines,      // text, each line a row as it is (*.txt)
    Csv,        // text, the first field of each record (*.csv)
    Addresses,  // any other text: the addresses found in it
    Xls,        // a compound file: BIFF8, Sheet1
    Xlsx,       // a zip: the first worksheet
    Jsonl,      // written only: one JSON object a line (*.jsonl, *.json); read as Addresses
};

// Why an import, an export or a copy did not happen.
enum class Failure {
    Unreadable,  // the file is missing, locked, or too large for the memory left
    Unwritable,  // the file cannot be written, or its bytes not made in the memory left
    // .xls
    NotXls,     // not a compound file with a workbook, or its records do not hold together
    OldXls,     // Excel 95 and older
    Encrypted,  // a password-protected workbook (an .xlsx so protected is a compound file)
    NoSheet1,   // no sheet named Sheet1
    // .xlsx
    NotXlsx,          // a zip without a workbook in it
    BrokenZip,        // its directory, offsets, compressed data or checksums disagree
    UnsupportedZip,   // encrypted entries, zip64, a method other than stored and deflate
    TooLarge,         // a part past 512 MB or 1000 times its compressed size
    BrokenXml,        // tags that do not close or match, a DTD, an entity other than the five
    BadCell,          // a cell or row reference outside A1:XFD1048576
    BadSharedString,  // a cell pointing past the shared-string table
    NoWorksheet,      // a workbook without a worksheet
    // the clipboard
    ClipboardBusy,  // another program holds it open
};

// What a reader made of a file's bytes: its rows, or why none.
struct ReadList {
    std::optional<Failure> failure;
    std::vector<RowCells> rows;
    // Rows made as the table holds them, in place of `rows`: our own export read back, or
    // the addresses of a text with their hits.
    std::optional<RowStore> store;
};

// What a writer had to leave out.
struct Written {
    std::size_t rowsLeftOut = 0;  // rows past the sheet's last row
    std::size_t cellsCut = 0;     // texts longer than a cell holds, cut
    std::size_t unmappable = 0;   // characters the file's encoding lacks, each now a "?"
};

struct ListFormat {
    FormatId id;
    // A file that starts with one of these is in this format whatever its name; a format
    // without any is text, told by its name.
    std::array<std::string_view, 2> signatures;
    // The ending (compared without ASCII case) a name in this format has; empty for none.
    std::string_view ending;
    // Text whose name no format claims is imported as this one; a name no format claims
    // is exported as this one.
    bool otherText = false;
    bool otherName = false;
    ReadList (*read)(std::string_view bytes) = nullptr;
    // Null for a format that is only read. The text formats hand their file on row by
    // row; the workbooks, made whole, in one piece.
    Written (*write)(const RowStore& rows, const Titles& titles, TextOut& out) = nullptr;
    // A second ending the format goes by (".json" beside ".jsonl").
    std::string_view alsoEnding = {};
};

// Every format, the table the functions below search.
std::span<const ListFormat> listFormats();
const ListFormat& listFormat(FormatId id);
// The format of a file to import: by its content first (a compound file, a zip), then,
// for text, by the name's ending without case.
const ListFormat& importFormat(const platform::Path& path, std::string_view bytes);
// The format a name claims, before the content is known: what an import says it reads
// while the file is still being read.
const ListFormat& namedFormat(const platform::Path& path);
// The format a result file is written in: by the name's ending; any other name an .xls.
const ListFormat& exportFormat(const platform::Path& path);

// A list file's bytes as UTF-8 text, decoded as textRows decodes them: by a UTF-8 or UTF-16
// byte-order mark; without one by codepage::isUtf8Text, as UTF-8 or as GBK.
struct ListText {
    std::string text;
};
ListText listText(std::string_view bytes);

// CSV bytes (decoded as listText) to rows: the first field of each record, in column 0.
// Quoted fields may hold commas, doubled quotes and line breaks. Records end at CR LF, LF
// or CR; a final line end adds no row, a blank line gives an empty one; NULs are dropped.
TextRows csvRows(std::string_view bytes);
// The same (csvRows never looks at the header), but a file whose first record is our own
// export's header (isOwnHeader) gives
// its rows as they were exported, header left out: locations, sources, fields, networks
// and hits (in `own`, with `rows` empty).
struct CsvList {
    TextRows rows;
    std::optional<RowStore> own;
};
CsvList csvList(std::string_view bytes);

// The CSV file of every row: UTF-8 with a byte-order mark, CR LF line ends, the titles as
// the first record (always), then each row: address, location as shown, then the extra
// columns (fields.h). Fields holding a comma, quote or line break are quoted; a field that
// starts like a formula (= + - @) gets a leading "'" so that a spreadsheet shows it rather
// than runs it.
std::string csvFile(const RowStore& rows, const Titles& titles);
void csvFile(const RowStore& rows, const Titles& titles, TextOut& out);

// The .jsonl file of every row: UTF-8, one object a line (LF) with the keys of kJsonKeys
// ("cidr" only for the reverse search's rows); asn and hits numbers, asn null when none;
// source "web", "data" or "".
std::string jsonlFile(const RowStore& rows);
void jsonlFile(const RowStore& rows, TextOut& out);

// .xlsx bytes to the rows of the first worksheet, by the rules of workbookRows: the first
// row that holds anything comes first, each "#" in it made "."; rows beneath follow,
// blank ones included; columns count from the first that holds anything, and only that
// first column is taken (the location stays empty). A sheet whose first row is our own
// export's header gives its rows as they were exported instead, in `own`. On failure
// `rows` is left empty.
workbook::XlsxStatus xlsxRows(std::string_view file, std::vector<RowCells>& rows,
                              std::optional<RowStore>* own = nullptr);

// The .xlsx file of every row: the titles in sheet row 1 (always), list row r in sheet row
// r + 2 with the columns of csvFile; rows past sheet row 1 048 576 are counted in
// rowsLeftOut.
WorkbookFile xlsxFile(const RowStore& rows, const Titles& titles);

}  // namespace io
