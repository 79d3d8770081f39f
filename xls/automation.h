// Our stand-in for the spreadsheet application that the workbook export drives: an
// application with its workbooks, a workbook's worksheets, ranges of cells with a number
// format and a text value, and SaveAs writing a real .xls (BIFF8) file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "xls/biff.h"

namespace xls {

class Workbook;
class Worksheet;

// A rectangle of cells; a range made from a name that is no cell of a sheet is empty,
// and setting its properties does nothing.
class Range {
  public:
    Range() = default;
    bool valid() const { return sheet_ != nullptr; }
    void setNumberFormatLocal(const std::string& format);
    void setValue(const std::string& text);

  private:
    friend class Worksheet;
    Worksheet* sheet_ = nullptr;
    std::uint32_t top_ = 0, bottom_ = 0;
    std::uint16_t left_ = 0, right_ = 0;
};

class Worksheet {
  public:
    explicit Worksheet(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    // Range("a1", "b2"): cell names are column letters (a to iv, any case) and a row
    // number from 1 to 65536.
    Range range(const std::string& first, const std::string& last);
    // Writes the workbook this sheet belongs to; false when the file cannot be written.
    bool saveAs(const std::string& path);

    // What a cell holds, for tests and for saving.
    struct Cell {
        std::string text;
        std::string format;  // "" general, "@" text
        bool hasValue = false;
    };
    const Cell* cell(std::uint32_t row, std::uint16_t column) const;

  private:
    friend class Range;
    friend class Workbook;
    Cell& at(std::uint32_t row, std::uint16_t column);
    std::string name_;
    Workbook* book_ = nullptr;
    // Rows of cells by column; a sheet holds at most 65536 x 256.
    std::vector<std::vector<std::pair<std::uint16_t, Cell>>> rows_;
};

class Workbook {
  public:
    Workbook();
    // 1-based, as the application counts; nullptr outside.
    Worksheet* worksheet(int index);
    int worksheetCount() const { return static_cast<int>(sheets_.size()); }
    bool saveAs(const std::string& path);
    // The file bytes SaveAs would write.
    std::string fileBytes() const;

  private:
    std::vector<std::unique_ptr<Worksheet>> sheets_;
};

class Workbooks {
  public:
    Workbook* add();
    int count() const { return static_cast<int>(books_.size()); }
    Workbook* last() { return books_.empty() ? nullptr : books_.back().get(); }
    void closeAll() { books_.clear(); }

  private:
    std::vector<std::unique_ptr<Workbook>> books_;
};

class Application {
  public:
    // nullptr when the application cannot be had (never, for ours; the caller still checks).
    static std::unique_ptr<Application> create();
    Workbooks* workbooks() { return quit_ ? nullptr : &workbooks_; }
    Workbook* activeWorkbook() { return quit_ ? nullptr : workbooks_.last(); }
    // Closes every workbook without saving.
    void quit();

  private:
    Workbooks workbooks_;
    bool quit_ = false;
};

}  // namespace xls
