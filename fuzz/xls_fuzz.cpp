// The .xls reader on any bytes: the container, the workbook globals, every sheet, and the
// record set over Sheet1. A read outside the input, a hang or a crash is a finding; so is
// a record set whose answers do not agree with its own counts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fakes/fake_files.h"
#include "xls/biff.h"
#include "xls/recordset.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);

    xls::ParsedWorkbook book;
    if (xls::parseWorkbook(file, book) == xls::WorkbookStatus::Ok) {
        std::vector<xls::SheetCell> cells;
        for (const auto& sheet : book.sheets) {
            if (xls::readSheet(book, sheet.name, cells) != xls::WorkbookStatus::Ok) continue;
            for (std::size_t i = 1; i < cells.size(); ++i) {
                const bool ordered =
                    cells[i - 1].row < cells[i].row ||
                    (cells[i - 1].row == cells[i].row && cells[i - 1].column < cells[i].column);
                if (!ordered || cells[i].text.empty()) std::abort();
            }
        }
    }

    static fake::Files files;
    platform::setFiles(&files);
    files.put("f.xls", file);
    xls::Connection connection;
    xls::RecordSet recordSet;
    connection.open("ODBC;DBQ=f.xls;DefaultDir=f.xls;", "", "", -1);
    recordSet.setActiveConnection(&connection);
    if (recordSet.open("select * from [Sheet1$]", &connection, 3, 3, 1)) {
        const int fields = recordSet.fieldCount();
        for (int i = 0; i < fields; ++i)
            if (recordSet.fieldName(i).empty()) std::abort();  // the driver names every field
        const int records = recordSet.recordCount();
        for (int j = 0; j < records; ++j) {
            if (recordSet.eof()) std::abort();
            // A few fields of each record: all of them would make a full sheet quadratic.
            for (int k = -1; k <= fields && k < 4; ++k) recordSet.value(k);
            recordSet.value(fields - 1);
            recordSet.value(fields);
            recordSet.moveNext();
        }
        if (!recordSet.eof() || !recordSet.value(0).empty()) std::abort();
    }
    recordSet.close();
    connection.close();
    return 0;
}
