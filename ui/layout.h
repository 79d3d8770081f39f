// The two window layouts: every control with its fixed id, parent, caption and place.
// Positions are client coordinates of the parent (the window or a group box); a window's
// size is its outer size. Names are UTF-8 (the test driver matches them against its
// command line); captions are UTF-8 like every text of the program.
#pragma once

#include <span>
#include <string_view>

namespace ui {

enum class Kind {
    ToolBar,
    StatusBar,
    GroupBox,
    ListView,
    Label,
    EditBox,
    Button,
    ComboBox,
    Service
};

// Label and edit-box details beyond the kind.
enum Trait : unsigned {
    kPlain = 0,
    kMultiLine = 1,   // edit box: multi-line with a vertical scroll bar
    kWrap = 2,        // label: broken into lines at its width, from the top
    kCentre = 4,      // label: centred horizontally (and wrapping)
    kLink = 8,        // label: underlined, hand pointer, opens its text
    kTitleFont = 16,  // about window: the 20-pixel title font
    kReadOnly = 32,   // edit box: shows text the user may select and copy, not change
};

struct ControlLayout {
    const char8_t* name;
    int id;
    int parent;  // id of the parent control; 0 is the window itself
    Kind kind;
    const char* caption;
    int left, top, width, height;
    unsigned traits = kPlain;
};

struct WindowLayout {
    const char8_t* name;
    const char* caption;
    int width, height;
    std::span<const ControlLayout> controls;
};

// Ids 1 and 2 are left free: dialog navigation sends IDOK and IDCANCEL for Enter and Esc.
namespace id {
inline constexpr int queryToolbar = 100;
inline constexpr int statusBar = 101;
inline constexpr int listGroup = 110;
inline constexpr int queryList = 111;
inline constexpr int ioGroup = 120;
inline constexpr int fileLabel = 121;
inline constexpr int fileBox = 122;
inline constexpr int browseFileButton = 123;
inline constexpr int importButton = 124;
inline constexpr int openDialog = 125;
inline constexpr int saveLabel = 126;
inline constexpr int saveBox = 127;
inline constexpr int browseSaveButton = 128;
inline constexpr int exportButton = 129;
inline constexpr int singleGroup = 130;
inline constexpr int addressLabel = 131;
inline constexpr int addressBox = 132;
inline constexpr int resultLabel = 133;
inline constexpr int resultBox = 134;
inline constexpr int singleQueryButton = 135;
inline constexpr int copyButton = 136;
inline constexpr int reverseGroup = 140;
inline constexpr int keywordsLabel = 141;
inline constexpr int keywordsBox = 142;
inline constexpr int keywordsHint = 143;
inline constexpr int reverseSearchButton = 144;
inline constexpr int reverseExportButton = 145;

namespace about {
inline constexpr int title = 201;
inline constexpr int instructions = 202;
inline constexpr int author = 203;
inline constexpr int link = 204;
inline constexpr int date = 205;
inline constexpr int okButton = 206;
}  // namespace about

namespace stats {
inline constexpr int groupLabel = 401;
inline constexpr int groupBox = 402;
inline constexpr int copyButton = 403;
inline constexpr int exportButton = 404;
inline constexpr int lines = 405;
inline constexpr int total = 406;
inline constexpr int data = 407;
inline constexpr int worldButton = 408;
inline constexpr int chinaButton = 409;
inline constexpr int mapMissing = 410;
inline constexpr int mapHover = 411;
}  // namespace stats
}  // namespace id

// Toolbar entries report their index as command id kToolbarCommandBase + index.
inline constexpr int kToolbarCommandBase = 300;

inline constexpr ControlLayout kMainControls[] = {
    {u8"工具条_查询", id::queryToolbar, 0, Kind::ToolBar, "", 0, 0, 494, 44},
    {u8"状态条1", id::statusBar, 0, Kind::StatusBar, "", 0, 331, 494, 22},
    {u8"分组框3", id::listGroup, 0, Kind::GroupBox, "查询列表", 8, 48, 328, 336},
    {u8"超级列表框_查询列表", id::queryList, id::listGroup, Kind::ListView, "", 8, 16, 312, 312},
    {u8"分组框1", id::ioGroup, 0, Kind::GroupBox, "导入导出", 344, 48, 216, 128},
    {u8"标签1", id::fileLabel, id::ioGroup, Kind::Label, "文件位置:", 8, 16, 80, 24},
    {u8"编辑框_文件位置", id::fileBox, id::ioGroup, Kind::EditBox, "", 64, 16, 144, 20},
    {u8"按钮_文件位置", id::browseFileButton, id::ioGroup, Kind::Button, "浏览", 88, 40, 48, 24},
    {u8"按钮_导入", id::importButton, id::ioGroup, Kind::Button, "导入", 136, 40, 48, 24},
    {u8"通用对话框_打开", id::openDialog, id::ioGroup, Kind::Service, "", 8, 48, 26, 26},
    {u8"标签2", id::saveLabel, id::ioGroup, Kind::Label, "保存位置:", 8, 72, 80, 24},
    {u8"编辑框_保存位置", id::saveBox, id::ioGroup, Kind::EditBox, "", 64, 72, 144, 20},
    // These two lie in 分组框1's frame but belong to the window.
    {u8"按钮_保存位置", id::browseSaveButton, 0, Kind::Button, "浏览", 432, 144, 48, 24},
    {u8"按钮_导出", id::exportButton, 0, Kind::Button, "导出", 480, 144, 48, 24},
    {u8"分组框2", id::singleGroup, 0, Kind::GroupBox, "单一查询", 344, 176, 216, 112},
    {u8"标签3", id::addressLabel, id::singleGroup, Kind::Label, "IP地址:", 16, 16, 80, 24},
    {u8"编辑框_IP地址", id::addressBox, id::singleGroup, Kind::EditBox, "", 64, 16, 144, 20},
    {u8"标签4", id::resultLabel, id::singleGroup, Kind::Label, "结果:", 28, 40, 32, 24},
    {u8"编辑框_结果", id::resultBox, id::singleGroup, Kind::EditBox, "", 64, 40, 144, 40,
     kMultiLine},
    {u8"按钮_单一查询", id::singleQueryButton, id::singleGroup, Kind::Button, "查询", 80, 80, 56,
     24},
    {u8"按钮_复制", id::copyButton, id::singleGroup, Kind::Button, "复制", 136, 80, 56, 24},
    {u8"分组框4", id::reverseGroup, 0, Kind::GroupBox, "反向查询", 344, 288, 216, 96},
    {u8"标签5", id::keywordsLabel, id::reverseGroup, Kind::Label, "实际地址:", 8, 16, 80, 24},
    {u8"编辑框_实际地址", id::keywordsBox, id::reverseGroup, Kind::EditBox, "", 72, 16, 136, 20},
    {u8"标签6", id::keywordsHint, id::reverseGroup, Kind::Label,
     "(提示:请输入关键字,空格隔开,如:重庆市 电信)", 64, 40, 144, 24, kWrap},
    {u8"按钮_反向查询", id::reverseSearchButton, id::reverseGroup, Kind::Button, "查询", 88, 64, 48,
     24},
    {u8"按钮_反向导出", id::reverseExportButton, id::reverseGroup, Kind::Button, "导出", 136, 64,
     48, 24},
};

// The maker's web address, opened by the about window's link label.
inline constexpr const char* kMakerAddress = "https://verdalo.example/";

inline constexpr const char* kInstructions =
    "操作说明:\r\n1.导入Excel/"
    "txt格式:txt一行一个IP,不能多;Excel在第一列填入所有IP(第一排不要留标题),"
    "另存为97-2003格式(即xls)再导入;\r\n2.导出的文件不能再次导入;\r\n3."
    "反向查询与批量查询的查询方式不同,"
    "反向查询速度可能稍慢;\r\n4.导出的Excel若提示文件不匹配,是否继续?点继续即可,对内容无影响.";

inline constexpr ControlLayout kAboutControls[] = {
    {u8"标签1", id::about::title, 0, Kind::Label, "VerdaloV1.0", 72, 8, 184, 32,
     kCentre | kTitleFont},
    {u8"标签2", id::about::instructions, 0, Kind::Label, kInstructions, 8, 40, 352, 184, kWrap},
    {u8"标签3", id::about::author, 0, Kind::Label, "by Ombrel", 8, 232, 184, 24},
    {u8"标签4", id::about::link, 0, Kind::Label, kMakerAddress, 8, 256, 184, 24, kLink},
    {u8"标签5", id::about::date, 0, Kind::Label, "2015.01.03", 8, 280, 184, 24},
    {u8"按钮1", id::about::okButton, 0, Kind::Button, "确定", 304, 272, 56, 32},
};

// The 统计 window: the list summarised, the lines on the left, their chart beside them and
// the map of the list on the right (both drawn by the window itself, kStatsChart and
// kStatsMap; the map's extent by its two buttons, the one shown disabled), the totals and
// the data files beneath, one line each in a box that scrolls when there are many.
inline constexpr ControlLayout kStatsControls[] = {
    {u8"标签_分组", id::stats::groupLabel, 0, Kind::Label, "分组:", 8, 8, 40, 24},
    {u8"组合框_分组", id::stats::groupBox, 0, Kind::ComboBox, "", 48, 10, 96, 160},
    {u8"按钮_复制", id::stats::copyButton, 0, Kind::Button, "复制", 496, 8, 56, 24},
    {u8"按钮_导出", id::stats::exportButton, 0, Kind::Button, "导出", 560, 8, 56, 24},
    {u8"按钮_世界", id::stats::worldButton, 0, Kind::Button, "世界", 912, 8, 56, 24},
    {u8"按钮_中国", id::stats::chinaButton, 0, Kind::Button, "中国", 968, 8, 56, 24},
    {u8"超级列表框_统计", id::stats::lines, 0, Kind::ListView, "", 8, 40, 312, 320},
    {u8"标签_合计", id::stats::total, 0, Kind::Label, "", 8, 368, 608, 20},
    {u8"标签_无坐标", id::stats::mapMissing, 0, Kind::Label, "", 624, 368, 400, 20},
    {u8"标签_地图", id::stats::mapHover, 0, Kind::Label, "", 624, 392, 400, 20},
    {u8"编辑框_数据", id::stats::data, 0, Kind::EditBox, "", 8, 392, 608, 72,
     kMultiLine | kReadOnly},
};
struct ChartPlace {
    int left, top, width, height;
};
inline constexpr ChartPlace kStatsChart{328, 40, 288, 320};
// The map's picture at the top, its legend along the bottom.
inline constexpr ChartPlace kStatsMap{624, 40, 400, 320};
inline constexpr int kStatsLegendHeight = 52;

inline constexpr WindowLayout kMainWindow{u8"main", "VerdaloV1.0", 573, 435, kMainControls};
inline constexpr WindowLayout kAboutWindow{u8"about", "关于", 377, 340, kAboutControls};
inline constexpr WindowLayout kStatsWindow{u8"stats", "统计", 1048, 500, kStatsControls};

// Toolbar entries: index, separator, text, image; a check entry stays pressed until
// clicked again.
struct ToolbarEntry {
    bool separator;
    const char* text;
    int image;
    bool check = false;
};
inline constexpr ToolbarEntry kToolbarEntries[] = {
    {false, "开始获取", 0}, {true, "", -1}, {false, "停止获取", 2},       {true, "", -1},
    {false, "关于", 3},     {true, "", -1}, {false, "离线查询", 1, true}, {true, "", -1},
    {false, "统计", 4},
};
inline constexpr int kOfflineModeEntry = 6;
inline constexpr int kStatsEntry = 8;

// Status panels: right edges (-1: to the end of the bar) and design-time texts.
inline constexpr int kStatusPanelEdges[] = {50, 260, -1};
inline constexpr const char* kStatusPanelTexts[] = {"状态", "就绪", "正在获取..."};

struct ColumnLayout {
    const char* header;
    int width;
};
inline constexpr ColumnLayout kListColumns[] = {{"IP", 120}, {"来自", 180}};
inline constexpr ColumnLayout kStatsColumns[] = {
    {"名称", 132}, {"地址数", 64}, {"占比", 52}, {"次数", 60}};

}  // namespace ui
