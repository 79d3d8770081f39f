// Import of address lists, export of results, clipboard copy: the click actions of the
// import/export buttons. All run on the window thread and keep it alive by pumping.
#pragma once

#include <string>

#include "platform/view.h"

void browseImportFile(view::MainViews& views);    // 按钮_文件位置
void importAddressList(view::MainViews& views);   // 按钮_导入
void browseSaveLocation(view::MainViews& views);  // 按钮_保存位置
void exportResults(view::MainViews& views);       // 按钮_导出
void exportWithDialog(view::MainViews& views);    // 按钮_反向导出
void copyResult(view::MainViews& views);          // 按钮_复制
