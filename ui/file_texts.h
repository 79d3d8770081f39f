// What the window says of the import, export, paste and copy: the status and dialog texts,
// each format's texts, and the failures.
#pragma once

#include <cstddef>
#include <string>

#include "io/formats.h"

namespace file_text {

inline constexpr char kNoFileLocation[] = "没有得到文件位置!";
inline constexpr char kImportingTxt[] = "正在导入txt...";
inline constexpr char kImportedTxt[] = "导入txt完毕!";
inline constexpr char kImportingExcel[] = "正在导入Excel...";
inline constexpr char kImportedExcel[] = "导入Excel完毕!";
inline constexpr char kImportingCsv[] = "正在导入csv...";
inline constexpr char kImportedCsv[] = "导入csv完毕!";
// The open and save dialogs with every format: the two of old first, as they always were.
inline constexpr char kFilter[] =
    "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt|Excel工作簿(*.xlsx)|*.xlsx|CSV文件(*.csv)|*.csv|"
    "所有文件(*.*)|*.*";
inline constexpr char kDefaultExtension[] = "*.txt|*.xls";

inline constexpr char kSaveLocationEmpty[] = "保存位置为空!";
inline constexpr char kUnfinishedQuestion[] = "目前还没有查询完您的数据,请问现在就要导出吗?";
inline constexpr char kWarningCaption[] = "警告";
inline constexpr char kNothingToExport[] = "没有可导出的项目!";
inline constexpr char kExportingTxt[] = "正在导出txt...";
inline constexpr char kExportedTxt[] = "导出txt完毕!";
inline constexpr char kExportingExcel[] = "正在导出Excel...";
inline constexpr char kExportedExcel[] = "导出Excel完毕!";
inline constexpr char kExportingCsv[] = "正在导出csv...";
inline constexpr char kExportedCsv[] = "导出csv完毕!";
inline constexpr char kExportingJson[] = "正在导出json...";
inline constexpr char kExportedJson[] = "导出json完毕!";
inline constexpr char kJsonUnwritable[] = "无法写入文件,导出json失败!";
inline constexpr char kCopied[] = "已成功复制到剪切板中!";
inline constexpr char kNothingToCopy[] = "没有可复制的结果!";

// After a .txt export's text, around the number of characters GBK could not hold.
inline constexpr char kUnmappableBefore[] = "其中";
inline constexpr char kUnmappableAfter[] = "个字符无法转换为GBK,已替换为?";

// Failures the import and export report instead of a "finished" that is not true.
inline constexpr char kTxtUnreadable[] = "无法读取文件,导入txt失败!";
inline constexpr char kExcelUnreadable[] = "无法读取文件,导入Excel失败!";
inline constexpr char kCsvUnreadable[] = "无法读取文件,导入csv失败!";
inline constexpr char kTxtUnwritable[] = "无法写入文件,导出txt失败!";
inline constexpr char kExcelUnwritable[] = "无法写入文件,导出Excel失败!";
inline constexpr char kCsvUnwritable[] = "无法写入文件,导出csv失败!";
inline constexpr char kExcelNotWorkbook[] = "不是有效的xls文件,导入Excel失败!";
inline constexpr char kExcelOldFormat[] = "不支持Excel 95及更早版本的文件,导入Excel失败!";
inline constexpr char kExcelEncrypted[] = "文件已加密,导入Excel失败!";
inline constexpr char kExcelNoSheet[] = "找不到工作表Sheet1,导入Excel失败!";
inline constexpr char kXlsxNotWorkbook[] = "不是有效的xlsx文件,导入Excel失败!";
inline constexpr char kXlsxBrokenZip[] = "xlsx文件已损坏(压缩数据有误),导入Excel失败!";
inline constexpr char kXlsxUnsupportedZip[] =
    "xlsx文件已加密或使用了不支持的压缩方式,导入Excel失败!";
inline constexpr char kXlsxTooLarge[] = "xlsx文件中的数据过大或压缩比异常,导入Excel失败!";
inline constexpr char kXlsxBrokenXml[] = "xlsx文件内容格式有误,导入Excel失败!";
inline constexpr char kXlsxBadCell[] = "xlsx文件中有超出工作表范围的单元格,导入Excel失败!";
inline constexpr char kXlsxBadSharedString[] = "xlsx文件中的共享字符串索引超出范围,导入Excel失败!";
inline constexpr char kXlsxNoSheet[] = "xlsx文件中没有工作表,导入Excel失败!";
// Between these two: the number of rows that did not fit on the sheet.
inline constexpr char kExcelRowsLeftOutBefore[] = "导出Excel完毕,超出工作表行数的";
inline constexpr char kExcelRowsLeftOutAfter[] = "条数据未导出!";
// After the end of an Excel export, around the number of cells cut to what a cell holds.
inline constexpr char kCellsCutBefore[] = "其中";
inline constexpr char kCellsCutAfter[] = "个单元格超过32767个字符,已截断";
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

// The texts of one list format; a format that is only read has no export texts.
struct FormatTexts {
    io::FormatId format;
    const char* importing;
    const char* imported;
    const char* unreadable;
    bool countsAddresses;  // the import's end says how many addresses the text held
    const char* exporting;
    const char* exported;
    const char* unwritable;
};

inline constexpr FormatTexts kFormats[] = {
    {io::FormatId::Lines, kImportingTxt, kImportedTxt, kTxtUnreadable, false, kExportingTxt,
     kExportedTxt, kTxtUnwritable},
    {io::FormatId::Csv, kImportingCsv, kImportedCsv, kCsvUnreadable, false, kExportingCsv,
     kExportedCsv, kCsvUnwritable},
    {io::FormatId::Addresses, kImportingTxt, kImportedTxt, kTxtUnreadable, true, nullptr, nullptr,
     nullptr},
    {io::FormatId::Xls, kImportingExcel, kImportedExcel, kExcelUnreadable, false, kExportingExcel,
     kExportedExcel, kExcelUnwritable},
    {io::FormatId::Xlsx, kImportingExcel, kImportedExcel, kExcelUnreadable, false, kExportingExcel,
     kExportedExcel, kExcelUnwritable},
    // Read as any text of addresses.
    {io::FormatId::Jsonl, kImportingTxt, kImportedTxt, kTxtUnreadable, true, kExportingJson,
     kExportedJson, kJsonUnwritable},
};

// The titles of the exports' columns after the list's two, and the source column's words
// for an answer of the service and one of the address data.
inline io::Titles exportTitles(const QueryTable& table) {
    io::Titles titles{
        {table.header(0), table.header(1)}, {}, {io::kSourceWords[0], io::kSourceWords[1]}};
    for (std::size_t c = 0; c < io::kExtraColumns; ++c)
        titles.extra[c] = fieldInfo(io::extraField(c)).title;
    return titles;
}

inline const FormatTexts& textsOf(io::FormatId format) {
    for (const FormatTexts& texts : kFormats)
        if (texts.format == format) return texts;
    return kFormats[0];
}

// Why a file could not be read as the format it is in; nullptr for the failures whose
// text depends on the format (Unreadable, Unwritable) and for the clipboard's.
inline const char* fileFailure(io::Failure reason) {
    switch (reason) {
        case io::Failure::NotXls:
            return kExcelNotWorkbook;
        case io::Failure::OldXls:
            return kExcelOldFormat;
        case io::Failure::Encrypted:
            return kExcelEncrypted;
        case io::Failure::NoSheet1:
            return kExcelNoSheet;
        case io::Failure::NotXlsx:
            return kXlsxNotWorkbook;
        case io::Failure::BrokenZip:
            return kXlsxBrokenZip;
        case io::Failure::UnsupportedZip:
            return kXlsxUnsupportedZip;
        case io::Failure::TooLarge:
            return kXlsxTooLarge;
        case io::Failure::BrokenXml:
            return kXlsxBrokenXml;
        case io::Failure::BadCell:
            return kXlsxBadCell;
        case io::Failure::BadSharedString:
            return kXlsxBadSharedString;
        case io::Failure::NoWorksheet:
            return kXlsxNoSheet;
        case io::Failure::Unreadable:
        case io::Failure::Unwritable:
        case io::Failure::ClipboardBusy:
            break;
    }
    return nullptr;
}

}  // namespace file_text
