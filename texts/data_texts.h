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
// The --version line when no network file is in use; `refused` when one beside the program
// could not be used.
std::string_view noNetworkVersionLine(bool refused, Language language = Language::Chinese);
// The data files as the about window (with their licences) and the 统计 window name them:
// each file's name and date, "(日期不详)" or "(没有)". `files`: the location file first,
// then the network file, as filesBeside gives them.
std::string dataFilesLine(const std::vector<ipdata::FileReport>& files, bool licences);

}  // namespace texts
