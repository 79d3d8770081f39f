// What lookups and io see of the main window: small interfaces, never a window handle.
// The Win32 side runs each call on the window thread (a worker waits until it is done);
// native tests use the in-memory versions in tests/fakes.
#pragma once

#include <string>

namespace view {

class ListView {
public:
    virtual ~ListView() = default;
    virtual int rowCount() = 0;
    virtual int columnCount() = 0;
    virtual void deleteAllRows() = 0;
    virtual int appendRow() = 0;  // an empty row; returns its index
    // The whole text; a row or column that does not exist gives the empty text.
    virtual std::string cell(int row, int column) = 0;
    virtual void setCell(int row, int column, const std::string& text) = 0;
    // Sets the cell only while cell (row, keyColumn) still reads `key`, checked and set in
    // one step: an answer that took seconds must not land in a row an import has replaced.
    virtual bool setCellIfKey(int row, int column, const std::string& text, int keyColumn,
                              const std::string& key) = 0;
    virtual std::string header(int column) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    // An index outside 0 to 2 does nothing.
    virtual void setPanel(int index, const std::string& text) = 0;
    virtual std::string panel(int index) = 0;
};

class EditBox {
public:
    virtual ~EditBox() = default;
    virtual std::string text() = 0;
    virtual void setText(const std::string& text) = 0;
};

class MessagePump {
public:
    virtual ~MessagePump() = default;
    // Handle every window message already waiting, then return.
    virtual void processPending() = 0;
};

// The controls of the main window that the work reaches, by their layout names.
struct MainViews {
    ListView& 超级列表框_查询列表;
    StatusBar& 状态条1;
    EditBox& 编辑框_文件位置;
    EditBox& 编辑框_保存位置;
    EditBox& 编辑框_IP地址;
    EditBox& 编辑框_结果;
    EditBox& 编辑框_实际地址;
    MessagePump& pump;
};

// Every progress and result message goes to panel 1.
inline void setStatus(MainViews& views, const std::string& text) {
    views.状态条1.setPanel(1, text);
}

}  // namespace view
