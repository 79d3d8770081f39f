// One writer per escaping rule, for one field into a string: the exports use them, and so
// does the command line. The texts are UTF-8 (or GBK): every byte of a multi-byte
// character is above 0x7F, so the ASCII quotes, commas and line ends are found as bytes.
#pragma once

#include <string>
#include <string_view>

namespace io {

// What a CSV field that starts with = + - or @ becomes: a spreadsheet opening the export
// would run it as a formula, so the exports put a ' before it; the command line's CSV is
// read by programs and keeps the value as it is.
enum class Formulas { AsText, AsIs };

// RFC 4180: quoted when it holds a comma, a quote or a line break, quotes doubled.
void appendCsvField(std::string& out, std::string_view field, Formulas formulas = Formulas::AsText);
// A JSON string with its quotes: quotes, backslashes and control characters escaped.
void appendJsonString(std::string& out, std::string_view text);
// A TSV field: tabs and line breaks inside become spaces, so columns stay columns.
void appendTsvField(std::string& out, std::string_view field);

}  // namespace io
