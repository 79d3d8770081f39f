// The 统计 window's summary as a file: .csv or .xlsx by the name's ending, laid out as the
// list's own exports of that format are (the CSV in UTF-8 with a byte-order mark, the
// workbook's cells as text).
#pragma once

#include <string>

#include "platform/path.h"
#include "table/summary.h"

namespace io {

// True for a name ending in .csv (any case): the summary is written as CSV; any other
// name gets a workbook.
bool summaryAsCsv(const platform::Path& path);
std::string summaryCsv(const summary::Summary& s);
std::string summaryXlsx(const summary::Summary& s);

}  // namespace io
