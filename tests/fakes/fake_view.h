// In-memory main-window views for native tests. Thread-safe, so workers can run on their
// own threads against them as they do against the real window.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/view.h"

namespace fake {

class ListView : public view::ListView {
public:
    explicit ListView(std::vector<std::string> headers = {"IP", "来自"});
    int rowCount() override;
    int columnCount() override;
    void deleteAllRows() override;
    int appendRow() override;
    std::string cell(int row, int column) override;
    void setCell(int row, int column, const std::string& text) override;
    bool setCellIfKey(int row, int column, const std::string& text, int keyColumn,
                      const std::string& key) override;
    std::string header(int column) override;
    // Test helpers.
    void addRow(const std::vector<std::string>& cells);
    std::vector<std::vector<std::string>> rows();

private:
    std::mutex mutex_;
    std::vector<std::string> headers_;
    std::vector<std::vector<std::string>> rows_;
};

class StatusBar : public view::StatusBar {
public:
    StatusBar();
    void setPanel(int index, const std::string& text) override;
    std::string panel(int index) override;
    std::vector<std::string> history(int index);  // every text panel `index` received

private:
    std::mutex mutex_;
    std::string panels_[3];
    std::vector<std::string> history_[3];
};

class EditBox : public view::EditBox {
public:
    std::string text() override;
    void setText(const std::string& text) override;
    // Called on every read, before the text is returned (lets a test edit "meanwhile").
    std::function<void(EditBox&)> onRead;
    int reads = 0;

private:
    std::recursive_mutex mutex_;
    std::string text_;
};

class MessagePump : public view::MessagePump {
public:
    void processPending() override;
    std::function<void()> onPump;
    int calls = 0;
};

// One complete fake window, with the bundle the work expects.
struct MainWindow {
    ListView list;
    StatusBar status;
    EditBox fileBox, saveBox, ipBox, resultBox, keywordBox;
    MessagePump pump;
    view::MainViews views{list, status, fileBox, saveBox, ipBox, resultBox, keywordBox, pump};
};

}  // namespace fake
