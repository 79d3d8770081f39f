// The file presenter (and its engine) over the fake main window and a fake operating
// system, and the rows of a table as plain lists for comparing.
#pragma once

#include <string>
#include <vector>

#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_internet.h"
#include "tests/fakes/fake_module_memory.h"
#include "tests/fakes/fake_probe.h"
#include "tests/fakes/fake_window.h"
#include "ui/file_presenter.h"
#include "ui/file_texts.h"

namespace io_test {

using Rows = std::vector<std::vector<std::string>>;

// The rows as the table holds them, each location a text without a source.
inline RowStore storeOf(const Rows& rows) {
    RowStore out;
    for (const auto& r : rows) out.push(r.at(0), {r.size() > 1 ? r[1] : ""});
    return out;
}

// The titles the window gives an export.
inline io::Titles titles() {
    return file_text::exportTitles(QueryTable({"IP", "来自"}));
}

template <class FileStore>
struct WorldOf {
    FileStore files;
    fake::Dialogs dialogs;
    fake::Clipboard clipboard;
    fake::Internet internet;
    fake::Probe probe;
    fake::ModuleMemory memory;
    platform::Services os{files, dialogs, clipboard, internet, probe, memory};
    fake::Window view;
    platform::Executor executor;
    ui::FilePresenter presenter{os, executor, view.table(), view, view};

    std::string status() { return view.panel(1); }
    // Lets the import or export under way finish: its file work, then its result. (A
    // test that it leaves unfinished finds the old list or status.)
    bool finish() {
        return view.runUntil([this] { return !presenter.busy(); });
    }
    void importFile(const std::string& path) {
        view.setText(Box::FileLocation, path);
        presenter.importAddressList();
        finish();
    }
    void exportFile(const std::string& path) {
        view.setText(Box::SaveLocation, path);
        presenter.exportResults();
        finish();
    }
    void fill(const Rows& rows) { view.table().replace(cells(rows)); }
    Rows rows() { return rowsOf(view.table()); }

    static std::vector<RowCells> cells(const Rows& rows) {
        std::vector<RowCells> out;
        for (const auto& r : rows) out.push_back({r.at(0), r.size() > 1 ? r[1] : ""});
        return out;
    }
    static Rows rowsOf(const QueryTable& table) {
        Rows out;
        for (std::size_t i = 0; i < table.size(); ++i)
            out.push_back({std::string(table.cell(i, 0)), shownLocation(table.row(i))});
        return out;
    }
};

using World = WorldOf<fake::Files>;

// A workbook whose Sheet1 holds the rows, from A1 on, every cell formatted as text.
inline std::string sheetFile(const Rows& rows) {
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t r = 0; r < rows.size(); ++r)
        for (std::uint16_t c = 0; c < rows[r].size(); ++c)
            cells.push_back({r, c, rows[r][c], true});
    return workbook::writeWorkbook("Sheet1", cells);
}

}  // namespace io_test
