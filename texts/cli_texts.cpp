#include "texts/cli_texts.h"

namespace texts {
namespace {

constexpr CliTexts kChinese = {
    .help =
        "用法: verdalo-cli [lookup] [选项] [文件或地址...]\n"
        "      verdalo-cli summary [选项] [文件或地址...]\n"
        "      verdalo-cli ranges [选项] 关键字...\n"
        "      verdalo-cli map [选项] [文件或地址...]\n"
        "\n"
        "只用本地的地址数据文件回答, 从不访问网络。\n"
        "\n"
        "lookup (默认)  每个输入行写一个输出行: 行中第一个地址、它的位置和各字段, 以制表符分隔;\n"
        "               没有地址的行写空字段。文件可为 UTF-8 (有无 BOM 均可)、带 BOM 的 UTF-16 或 "
        "GBK,\n"
        "               也可是 gzip 压缩的 (按内容识别, 如轮转的 .gz 日志);\n"
        "               不给文件或给 - 时读标准输入。不是文件而是地址的参数 (如 8.8.8.8)\n"
        "               当作只有这个地址的一行。输出为 UTF-8。\n"
        "summary        按国家、省份、城市、运营商或 ASN 统计地址数和出现次数, 多的在前;\n"
        "               统计行中每个地址; 给了选用地址的选项或日志有 W3C 头时,\n"
        "               只统计 lookup 回答的那一个。\n"
        "ranges         地址数据中每个关键字都出现的地址段 (与窗口的反向查询相同,\n"
        "               拉丁字母不分大小写); region:重庆 这样的关键字只与该字段的\n"
        "               整个值相比 (同 --region 重庆)。\n"
        "map            地址的地图 (SVG; -o 的文件名以 .png 结尾时为 PNG): 每个地方一个圆点,\n"
        "               面积与地址数成正比, 颜色按 --by 的分类 (默认: operator); 地点取自\n"
        "               带坐标的数据文件 (如 DB-IP), 没有这样的文件时为中国的省份和常见国家。\n"
        "\n"
        "选项:\n"
        "  --data 文件        地址数据文件, 可给几次, 按给的次序回答 (默认: 程序旁的 ipdata.db\n"
        "                     和其他数据文件: *.mmdb、*.ipdb、qqwry.dat、ip2region.db)\n"
        "  --asn 文件         ASN 数据文件 (默认: 程序旁的 asn.db; 没有它时 asn 和 as_name 为空)\n"
        "  --format 格式      lookup: tsv (默认)、csv 或 jsonl; summary: tsv (默认) 或 json\n"
        "  --fields 字段,...  lookup 输出的字段和顺序, 可用:{fields}\n"
        "                     (默认:{defaults})\n"
        "  --header           lookup 的 tsv 和 csv 输出先写一行字段名\n"
        "  --annotate         lookup 原样写出每一行, "
        "每个地址连同粘在它上面的端口、区域、前缀长度等\n"
        "                     之后加上 \" [位置]\" (位置中的 \\、[ 和 ] 前加 \\; 没有位置时为 [])\n"
        "  --encoding 编码    输入的编码: auto (默认: 按 BOM 和内容识别)、utf-8、gbk、utf-16le\n"
        "                     或 utf-16be\n"
        "  -o 文件            结果写入这个文件而不是标准输出 (写完后才替换原有的文件)\n"
        "  --by 分类          summary 和 map 的分类: {groupings}\n"
        "  --top N            summary 只列前 N 项, 其余合为一行 \"其他\"\n"
        "  --approx           summary 以固定内存估计各类的地址数 (标准误差约 2.3%; 次数仍精确)\n"
        "  --extent 范围      map 的范围: world (默认) 或 china (中国及周边)\n"
        "  --cidr             ranges 写出覆盖这些地址段的最少 CIDR 块, 每行一个\n"
        "  --country 名称     ranges 只要国家是这个名称的地址段; --region (省份)、--city (城市)、\n"
        "                     --operator (运营商, \"中国电信\" 与 \"电信\" 相同) 亦然;\n"
        "                     \"重庆市\" 与 \"重庆\" 相同; 同一字段给几次时符合其一即可\n"
        "  --threads N        工作线程数 (默认: 处理器数, 至少 2)\n"
        "  --help             显示本说明\n"
        "  --version          显示版本、地址数据文件和 ASN 数据文件\n"
        "\n"
        "选用地址 (lookup、summary 和 map; 默认: 行中第一个地址; 有 W3C 日志的 #Fields: 头时取 "
        "c-ip "
        "列):\n"
        "  --nth N            第 N 个地址\n"
        "  --last             最后一个地址\n"
        "  --public           跳过专用地址 (局域网、本机、保留地址等)\n"
        "  --column N         只在第 N 列中找 (列以空格或制表符分隔)\n"
        "  --input-format csv 与 --column 合用: 列为 CSV 字段 (以逗号分隔, 可带引号)\n"
        "  --json-key 键      每行是一个 JSON 对象, 只在这个键的字符串值中找\n"
        "\n"
        "标准错误是终端 (而输出不是) 时, 在其上显示读取进度。\n"
        "\n"
        "退出码: 0 完成; 1 用法错误; 2 地址数据文件或 --asn 指定的文件缺失或无法使用;\n"
        "        3 输入文件无法读取 (或 gzip 数据损坏、结果无法写出); 4 ranges 没有找到地址段。\n",
    .fieldsColumn = 51,
    .defaultsColumn = 28,
    .listSeparator = "、",
    .listLastSeparator = " 或 ",
    .markedDefault = " (默认)",

    .seeHelp = "\n用 verdalo-cli --help 查看用法。",
    .missingValue = "选项 {} 缺少值。",
    .asnNeedsFile = "--asn 要一个文件名。",
    .unknownField = "没有字段 \"{}\"。可用: {}",
    .byOnly = "--by 只能是 {}。",
    .fieldNeedsName = "选项 {} 要一个名称。",
    .needsPositive = "{} 要一个正整数。",
    .inputFormatOnly = "--input-format 只能是 text 或 csv。",
    .jsonKeyNeedsKey = "--json-key 要一个键名。",
    .topNeedsPositive = "--top 要一个正整数。",
    .threadsRange = "--threads 要 1 到 256 之间的整数。",
    .unknownOption = "未知的选项 {}。",
    .lookupFormats = "lookup 的 --format 只能是 tsv、csv 或 jsonl。",
    .summaryFormats = "summary 的 --format 只能是 tsv 或 json。",
    .rangesNoFormat = "ranges 没有 --format 选项。",
    .mapNoFormat = "map 没有 --format 选项。",
    .extentNames = "--extent 只能是 world 或 china。",
    .extentOnly = "--extent 只用于 map。",
    .annotateOnly = "--annotate 只用于 lookup。",
    .annotateAlone = "--annotate 不能和 --format 或 --fields 一起用。",
    .fieldsOnly = "--fields 只用于 lookup。",
    .choiceOnly =
        "--nth、--last、--public、--column、--input-format 和 --json-key 只用于 lookup "
        "(不带 --annotate)、summary 和 map。",
    .nthOrLast = "--nth 和 --last 只能选一个。",
    .columnOrKey = "--column 和 --json-key 只能选一个。",
    .inputFormatNeedsColumn = "--input-format 要和 --column 一起用。",
    .cidrOnly = "--cidr 只用于 ranges。",
    .topOnly = "--top 只用于 summary。",
    .approxOnly = "--approx 只用于 summary。",
    .approxError = "--approx: 地址数是估计值, 标准误差约 {}; 次数是精确的。",
    .fieldKeywordsOnly = "--country、--region、--city 和 --operator 只用于 ranges。",
    .rangesNeedKeyword = "ranges 至少要一个关键字。",
    .encodingNames = "--encoding 只能是 auto、utf-8、gbk、utf-16le 或 utf-16be。",
    .encodingOnly = "--encoding 只用于 lookup 和 summary。",
    .headerOnly = "--header 只用于 lookup 的 tsv 和 csv 输出。",

    .cannotRead = "无法读取文件 {}: {}。",
    .readFailed = "读取文件 {} 时出错, 其余部分未能读取。",
    .standardInput = "(标准输入)",
    .gzipDamaged = "文件 {} 的 gzip 数据已损坏或不完整, 其余部分未能读取。",
    .noMatch = "没有与 {} 相符的文件。",
    .cannotWrite = "无法写入文件 {}: {}。",
    .outputGone = "无法写出结果。",
    .nothingFound = "地址数据中没有相符的地址段。",
    .asnNeededForSummary = "按 ASN 统计要 ASN 数据文件: 程序旁没有可用的 asn.db, 可用 --asn 指定。",
    .noAsnBeside = "程序旁没有 ASN 数据文件 asn.db, asn 和 as_name 字段将为空 (可用 --asn 指定)。",

    .progress = "已读 {}, 每秒 {} 行",
    .progressShare = ", {}%",
};

constexpr CliTexts kEnglish = {
    .help =
        "Usage: verdalo-cli [lookup] [options] [file or address...]\n"
        "       verdalo-cli summary [options] [file or address...]\n"
        "       verdalo-cli ranges [options] keyword...\n"
        "       verdalo-cli map [options] [file or address...]\n"
        "\n"
        "Answers from the local address data files only, never from the network.\n"
        "\n"
        "lookup         (the default) one output line for each input line: the line's first\n"
        "               address, its location and fields, separated by tabs; a line without an\n"
        "               address gets empty fields. Files may be UTF-8 (with or without a BOM),\n"
        "               UTF-16 with a BOM, or GBK, and may be gzip-compressed (known by their\n"
        "               content, such as rotated .gz logs); standard input when no file or - is\n"
        "               given. An operand that is an address, not a file (such as 8.8.8.8), is\n"
        "               a line holding that address. The output is UTF-8.\n"
        "summary        addresses and hits by country, region, city, operator or ASN, the most\n"
        "               first; every address of a line counts, or only the one lookup answers\n"
        "               when an option chooses addresses or the log has a W3C header.\n"
        "ranges         the address ranges whose data holds every keyword (as the window's\n"
        "               reverse search, Latin letters in either case); a keyword such as\n"
        "               region:重庆 is compared with that field's whole value (as --region 重庆).\n"
        "map            a map of the addresses (SVG; PNG when -o names a .png file): a dot a\n"
        "               place, its area by its addresses, its colour by --by (default: operator);\n"
        "               places from a data file with coordinates (such as DB-IP's), else the\n"
        "               provinces of China and common countries.\n"
        "\n"
        "Options:\n"
        "  --data FILE        an address data file, may be given several times, answering in\n"
        "                     order (default: ipdata.db and the other data files beside the\n"
        "                     program: *.mmdb, *.ipdb, qqwry.dat, ip2region.db)\n"
        "  --asn FILE         the ASN data file (default: asn.db beside the program; without\n"
        "                     it asn and as_name are empty)\n"
        "  --format FORMAT    lookup: tsv (default), csv or jsonl; summary: tsv (default) or json\n"
        "  --fields F,...     lookup's fields and their order, of:{fields}\n"
        "                     (default:{defaults})\n"
        "  --header           lookup's tsv and csv output starts with a line of field names\n"
        "  --annotate         lookup writes each line as it is, with \" [location]\" after each\n"
        "                     address and what is glued to it (port, zone, prefix length...);\n"
        "                     \\, [ and ] in the location get a \\ before them; [] for none\n"
        "  --encoding NAME    the input's encoding: auto (default: by BOM and content), utf-8,\n"
        "                     gbk, utf-16le or utf-16be\n"
        "  -o FILE            write the results to FILE instead of standard output (it replaces\n"
        "                     an existing file only once it is complete)\n"
        "  --by GROUPING      summary's grouping: {groupings}\n"
        "  --top N            summary lists the first N groups only, the rest as one line "
        "\"其他\"\n"
        "  --approx           summary estimates each group's addresses in fixed memory\n"
        "                     (standard error about 2.3%; the hits stay exact)\n"
        "  --extent EXTENT    map's extent: world (default) or china (China and its neighbours)\n"
        "  --cidr             ranges writes the fewest CIDR blocks covering the ranges, one a "
        "line\n"
        "  --country NAME     ranges keeps only the ranges of that country; --region, --city and\n"
        "                     --operator (\"中国电信\" is the same as \"电信\") likewise; "
        "\"重庆市\"\n"
        "                     is the same as \"重庆\"; one field given more than once: any of "
        "them\n"
        "  --threads N        worker threads (default: the number of processors, at least 2)\n"
        "  --help             show this help\n"
        "  --version          show the version, the address data file and the ASN data file\n"
        "\n"
        "Choosing the address (lookup, summary and map; default: the line's first address;\n"
        "with a W3C log's #Fields: header, the c-ip column):\n"
        "  --nth N            the N-th address\n"
        "  --last             the last address\n"
        "  --public           skip special-purpose addresses (private, loopback, reserved...)\n"
        "  --column N         search the N-th column only (columns separated by spaces or tabs)\n"
        "  --input-format csv with --column: the columns are CSV fields (comma-separated, quoted\n"
        "                     or not)\n"
        "  --json-key KEY     each line is a JSON object: search the string value of KEY only\n"
        "\n"
        "When standard error is a terminal (and the output is not), the reading's progress is\n"
        "shown there.\n"
        "\n"
        "Exit codes: 0 done; 1 bad usage; 2 the address data file or the file --asn names is\n"
        "            missing or unusable; 3 an input file cannot be read (or its gzip data is\n"
        "            damaged, or the results cannot be written); 4 ranges found no range.\n",
    .fieldsColumn = 57,
    .defaultsColumn = 30,
    .listSeparator = ", ",
    .listLastSeparator = " or ",
    .markedDefault = " (default)",

    .seeHelp = "\nSee verdalo-cli --help for the usage.",
    .missingValue = "The option {} needs a value.",
    .asnNeedsFile = "--asn needs a file name.",
    .unknownField = "There is no field \"{}\". Fields: {}",
    .byOnly = "--by can only be {}.",
    .fieldNeedsName = "The option {} needs a name.",
    .needsPositive = "{} needs a positive whole number.",
    .inputFormatOnly = "--input-format can only be text or csv.",
    .jsonKeyNeedsKey = "--json-key needs a key name.",
    .topNeedsPositive = "--top needs a positive whole number.",
    .threadsRange = "--threads needs a whole number from 1 to 256.",
    .unknownOption = "Unknown option {}.",
    .lookupFormats = "lookup's --format can only be tsv, csv or jsonl.",
    .summaryFormats = "summary's --format can only be tsv or json.",
    .rangesNoFormat = "ranges has no --format option.",
    .mapNoFormat = "map has no --format option.",
    .extentNames = "--extent can only be world or china.",
    .extentOnly = "--extent is for map only.",
    .annotateOnly = "--annotate is for lookup only.",
    .annotateAlone = "--annotate cannot be used with --format or --fields.",
    .fieldsOnly = "--fields is for lookup only.",
    .choiceOnly =
        "--nth, --last, --public, --column, --input-format and --json-key are for "
        "lookup (without --annotate), summary and map only.",
    .nthOrLast = "Choose one of --nth and --last.",
    .columnOrKey = "Choose one of --column and --json-key.",
    .inputFormatNeedsColumn = "--input-format goes with --column.",
    .cidrOnly = "--cidr is for ranges only.",
    .topOnly = "--top is for summary only.",
    .approxOnly = "--approx is for summary only.",
    .approxError =
        "--approx: the address counts are estimates, standard error about {}; the hits are exact.",
    .fieldKeywordsOnly = "--country, --region, --city and --operator are for ranges only.",
    .rangesNeedKeyword = "ranges needs at least one keyword.",
    .encodingNames = "--encoding can only be auto, utf-8, gbk, utf-16le or utf-16be.",
    .encodingOnly = "--encoding is for lookup and summary only.",
    .headerOnly = "--header is for lookup's tsv and csv output only.",

    .cannotRead = "Cannot read the file {}: {}.",
    .readFailed = "Reading the file {} failed; the rest of it was not read.",
    .standardInput = "(standard input)",
    .gzipDamaged =
        "The gzip data of the file {} is damaged or incomplete; the rest of it was not "
        "read.",
    .noMatch = "No file matches {}.",
    .cannotWrite = "Cannot write the file {}: {}.",
    .outputGone = "Cannot write the results.",
    .nothingFound = "No range of the address data matches.",
    .asnNeededForSummary =
        "A summary by ASN needs the ASN data file: there is no usable asn.db "
        "beside the program; --asn names one.",
    .noAsnBeside =
        "There is no ASN data file asn.db beside the program; the asn and as_name "
        "fields will be empty (--asn names one).",

    .progress = "{} read, {} lines a second",
    .progressShare = ", {}%",
};

}  // namespace

const CliTexts& cliTexts(Language language) {
    return language == Language::English ? kEnglish : kChinese;
}

std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    const auto* value = values.begin();
    for (std::size_t at = 0;;) {
        const std::size_t mark = pattern.find("{}", at);
        if (mark == std::string_view::npos || value == values.end()) {
            out += pattern.substr(at);
            return out;
        }
        out += pattern.substr(at, mark - at);
        out += *value++;
        at = mark + 2;
    }
}

}  // namespace texts
