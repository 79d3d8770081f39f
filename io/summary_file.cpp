#include "io/summary_file.h"

#include "io/escape.h"
#include "io/formats.h"
#include "text/text.h"
#include "workbook/xlsx.h"

namespace io {

bool summaryAsCsv(const platform::Path& path) {
    return exportFormat(path).id == FormatId::Csv;
}

std::string summaryCsv(const summary::Summary& s) {
    std::string text;
    for (const summary::TableLine& line : summary::tableOf(s)) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            if (c > 0) text += ',';
            // As the list's CSV: quoted when it must be, a formula-looking text shown as text.
            appendCsvField(text, line[c]);
        }
        text += "\r\n";
    }
    return "\xEF\xBB\xBF" + text;
}

std::string summaryXlsx(const summary::Summary& s) {
    const std::vector<summary::TableLine> table = summary::tableOf(s);
    std::vector<workbook::TextCell> cells;
    for (std::size_t r = 0; r < table.size(); ++r) {
        for (std::size_t c = 0; c < table[r].size(); ++c)
            cells.push_back(
                {static_cast<std::uint32_t>(r), static_cast<std::uint16_t>(c), table[r][c]});
    }
    return workbook::writeXlsx("Sheet1", std::move(cells));
}

}  // namespace io
