// Status texts of the CSV and .xlsx import and export, in the manner of io/messages.h.
#pragma once

namespace io_text {

inline constexpr char kImportingCsv[] = "正在导入csv...";
inline constexpr char kImportedCsv[] = "导入csv完毕!";
inline constexpr char kCsvUnreadable[] = "无法读取文件,导入csv失败!";
inline constexpr char kExportingCsv[] = "正在导出csv...";
inline constexpr char kExportedCsv[] = "导出csv完毕!";
inline constexpr char kCsvUnwritable[] = "无法写入文件,导出csv失败!";

// The open and save dialogs with every format: the two of old first, as they always were.
inline constexpr char kFilterAllFormats[] =
    "Excel文件(*.xls)|*.xls|文本文件(*.txt)|*.txt|Excel工作簿(*.xlsx)|*.xlsx|CSV文件(*.csv)|*.csv|"
    "所有文件(*.*)|*.*";

// Why an .xlsx import failed (the list stays as it was).
inline constexpr char kXlsxNotWorkbook[] = "不是有效的xlsx文件,导入Excel失败!";
inline constexpr char kXlsxBrokenZip[] = "xlsx文件已损坏(压缩数据有误),导入Excel失败!";
inline constexpr char kXlsxUnsupportedZip[] =
    "xlsx文件已加密或使用了不支持的压缩方式,导入Excel失败!";
inline constexpr char kXlsxTooLarge[] = "xlsx文件中的数据过大或压缩比异常,导入Excel失败!";
inline constexpr char kXlsxBrokenXml[] = "xlsx文件内容格式有误,导入Excel失败!";
inline constexpr char kXlsxBadCell[] = "xlsx文件中有超出工作表范围的单元格,导入Excel失败!";
inline constexpr char kXlsxBadSharedString[] = "xlsx文件中的共享字符串索引超出范围,导入Excel失败!";
inline constexpr char kXlsxNoSheet[] = "xlsx文件中没有工作表,导入Excel失败!";

}  // namespace io_text
