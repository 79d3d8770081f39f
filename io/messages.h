// Status and dialog texts of the import, export and copy.
#pragma once

#include <cstddef>
#include <string>

namespace io_text {

inline constexpr char kNoFileLocation[] = "没有得到文件位置!";
inline constexpr char kImportingTxt[] = "正在导入txt...";
inline constexpr char kImportedTxt[] = "导入txt完毕!";
inline constexpr char kImportingExcel[] = "正在导入Excel...";
inline constexpr char kImportedExcel[] = "导入Excel完毕!";
inline constexpr char kFilter[] = "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt";
inline constexpr char kDefaultExtension[] = "*.txt|*.xls";

inline constexpr char kSaveLocationEmpty[] = "保存位置为空!";
inline constexpr char kUnfinishedQuestion[] = "目前还没有查询完您的数据,请问现在就要导出吗?";
inline constexpr char kWarningCaption[] = "警告";
inline constexpr char kNothingToExport[] = "没有可导出的项目!";
inline constexpr char kExportingTxt[] = "正在导出txt...";
inline constexpr char kExportedTxt[] = "导出txt完毕!";
inline constexpr char kExportingExcel[] = "正在导出Excel...";
inline constexpr char kExportedExcel[] = "导出Excel完毕!";
inline constexpr char kCopied[] = "已成功复制到剪切板中!";
inline constexpr char kNothingToCopy[] = "没有可复制的结果!";

// After kImportedTxt, around the number of characters GBK could not hold.
inline constexpr char kUnmappableBefore[] = "其中";
inline constexpr char kUnmappableAfter[] = "个字符无法转换为GBK,已替换为?";

// Failures the import and export report instead of a "finished" that is not true.
inline constexpr char kTxtUnreadable[] = "无法读取文件,导入txt失败!";
inline constexpr char kExcelUnreadable[] = "无法读取文件,导入Excel失败!";
inline constexpr char kExcelNotWorkbook[] = "不是有效的xls文件,导入Excel失败!";
inline constexpr char kExcelOldFormat[] = "不支持Excel 95及更早版本的文件,导入Excel失败!";
inline constexpr char kExcelEncrypted[] = "文件已加密,导入Excel失败!";
inline constexpr char kExcelNoSheet[] = "找不到工作表Sheet1,导入Excel失败!";
inline constexpr char kTxtUnwritable[] = "无法写入文件,导出txt失败!";
inline constexpr char kExcelUnwritable[] = "无法写入文件,导出Excel失败!";
// Between these two: the number of rows that did not fit on the sheet.
inline constexpr char kExcelRowsLeftOutBefore[] = "导出Excel完毕,超出工作表行数的";
inline constexpr char kExcelRowsLeftOutAfter[] = "条数据未导出!";
inline constexpr char kCopyFailed[] = "无法打开剪切板,复制失败!";
// A list row copied with no row selected; a paste from a clipboard without text; the end of
// a paste, before addressesFound.
inline constexpr char kNoRowSelected[] = "没有选中的行!";
inline constexpr char kNothingToPaste[] = "剪切板中没有文本!";
inline constexpr char kPasted[] = "粘贴完毕!";
// A file button clicked while an import or export is still at its file.
inline constexpr char kBusy[] = "正在导入或导出,请稍候";

// How many addresses a paste or a text of addresses gave.
inline std::string addressesFound(std::size_t count) {
    return "共找到" + std::to_string(count) + "个IP地址";
}

}  // namespace io_text
