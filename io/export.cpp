// Results out to text files and .xls workbooks, and the single result to the clipboard.
#include "io/common_dialog.h"
#include "io/io.h"
#include "io/messages.h"
#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "xls/automation.h"
#include "text/text.h"

namespace {

void exportTo(const std::string& path, view::MainViews& views) {
    if (findText(path, ".txt") != -1) {
        const ExportResult result = exportToText(path, views);
        view::setStatus(views, result.written ? io_text::kExportedTxt : io_text::kTxtUnwritable);
        return;
    }
    const ExportResult result = exportToExcel(path, views);
    if (!result.written)
        view::setStatus(views, io_text::kExcelUnwritable);
    else if (result.rowsLeftOut > 0)
        view::setStatus(views, io_text::kExcelRowsLeftOutBefore + numberToText(result.rowsLeftOut) +
                                   io_text::kExcelRowsLeftOutAfter);
    else
        view::setStatus(views, io_text::kExportedExcel);
}

bool askSaveLocation(std::string& path) {
    platform::FileDialogRequest& dialog = 通用对话框_打开();
    dialog.filter = io_text::kFilter;
    dialog.defaultExtension = io_text::kDefaultExtension;
    return platform::dialogs().saveFile(dialog, path);
}

}  // namespace

void browseSaveLocation(view::MainViews& views) {
    std::string path;
    if (askSaveLocation(path)) views.编辑框_保存位置.setText(path);
}

void exportResults(view::MainViews& views) {
    const std::string path = views.编辑框_保存位置.text();
    if (path.empty()) {
        view::setStatus(views, io_text::kSaveLocationEmpty);
        return;
    }
    view::ListView& list = views.超级列表框_查询列表;
    const int rows = list.rowCount();
    if (rows == 0 || list.cell(rows - 1, 1).empty()) {
        if (!platform::dialogs().askYesNo(io_text::kUnfinishedQuestion, io_text::kWarningCaption))
            return;
    }
    exportTo(path, views);
}

void exportWithDialog(view::MainViews& views) {
    if (views.超级列表框_查询列表.rowCount() == 0) {
        view::setStatus(views, io_text::kNothingToExport);
        return;
    }
    std::string path;
    if (!askSaveLocation(path)) return;
    exportTo(path, views);
}

ExportResult exportToText(const std::string& path, view::MainViews& views) {
    view::setStatus(views, io_text::kExportingTxt);
    view::ListView& list = views.超级列表框_查询列表;
    const int rows = list.rowCount();
    // The first row always makes the first line; later rows only with a location. The
    // text is built once and written once, so the time grows with the rows, not their
    // square.
    std::string text;
    if (rows > 0) text = list.cell(0, 0) + "  " + list.cell(0, 1) + "\r\n";
    for (int i = 1; i < rows; ++i) {
        const std::string location = list.cell(i, 1);
        if (!location.empty()) {
            text += list.cell(i, 0);
            text += "  ";
            text += location;
            text += "\r\n";
        }
        views.pump.processPending();
    }
    ExportResult result;
    result.written = platform::files().writeAll(path, text);
    return result;
}

ExportResult exportToExcel(const std::string& path, view::MainViews& views) {
    view::setStatus(views, io_text::kExportingExcel);
    ExportResult result;
    std::unique_ptr<xls::Application> Excel程序1 = xls::Application::create();
    if (!Excel程序1) return result;
    xls::Workbooks* Excel工作簿1 = Excel程序1->workbooks();
    Excel工作簿1->add();
    xls::Workbook* workbook = Excel程序1->activeWorkbook();
    xls::Worksheet* sheet = workbook ? workbook->worksheet(1) : nullptr;
    if (!sheet) return result;

    auto setText = [sheet](const std::string& cellName, const std::string& text) {
        xls::Range range = sheet->range(cellName, cellName);
        range.setNumberFormatLocal("@");
        range.setValue(text);
    };
    view::ListView& list = views.超级列表框_查询列表;
    const int rows = list.rowCount();
    const int columns = list.columnCount();
    for (int i = 1; i <= rows; ++i) {
        views.pump.processPending();
        // List row i-1 goes to sheet row i+1; the sheet ends at row 65536.
        if (static_cast<std::uint32_t>(i) + 1 > xls::kSheetRows) {
            if (!list.cell(i - 1, 1).empty()) ++result.rowsLeftOut;
            continue;
        }
        for (int j = 1; j <= columns; ++j) {
            views.pump.processPending();
            if (list.cell(i - 1, 1).empty()) continue;
            const std::string letter(1, static_cast<char>(96 + j));
            setText(letter + "1", list.header(j - 1));
            setText(letter + numberToText(i + 1), list.cell(i - 1, j - 1));
        }
    }
    result.written = sheet->saveAs(path);
    Excel程序1->quit();
    return result;
}

void copyResult(view::MainViews& views) {
    const std::string text = views.编辑框_结果.text();
    if (text.empty()) {
        view::setStatus(views, io_text::kNothingToCopy);
        return;
    }
    view::setStatus(views,
                    platform::clipboard().setText(text) ? io_text::kCopied : io_text::kCopyFailed);
}
