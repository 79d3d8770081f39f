// Our stand-in for the database connection and record set that the workbook import
// reads through: the workbook named by an ODBC connection text, one sheet of it as a
// table whose first row gives the field names, every value as GBK text.
#pragma once

#include <string>
#include <vector>

#include "xls/biff.h"

namespace xls {

enum class OpenStatus {
    Ok,
    Unreadable,   // the file is missing, locked or cannot be read
    NotWorkbook,  // not an .xls file, or one too broken to read
    OldFormat,
    Encrypted,
    NoSheet,
    NotOpen,  // no connection, or a query this record set does not understand
};

class Connection {
  public:
    // Reads and checks the workbook named by DBQ= in the connection text. An open
    // connection is closed first.
    bool open(const std::string& connectionText, const std::string& user,
              const std::string& password, int options);
    void close();
    bool isOpen() const { return open_; }
    OpenStatus status() const { return status_; }
    const ParsedWorkbook& workbook() const { return book_; }

  private:
    bool open_ = false;
    OpenStatus status_ = OpenStatus::NotOpen;
    ParsedWorkbook book_;
};

// The path in a connection text: the value of DBQ=, which may itself hold ";".
std::string connectionPath(const std::string& connectionText);

class RecordSet {
  public:
    static constexpr int kClientCursor = 3;
    static constexpr int kCommandText = 1;
    static constexpr int kTableName = 2;

    // The connection the record set's queries run on; false when there is none.
    bool setActiveConnection(Connection* connection);
    void setCursorLocation(int location) { cursorLocation_ = location; }
    int cursorLocation() const { return cursorLocation_; }
    // `source`: "select * from [Sheet1$]" (options 1) or "[Sheet1$]" (options 2). An open
    // record set is closed first. Cursor and lock types are accepted and not needed.
    bool open(const std::string& source, Connection* activeConnection, int cursorType, int lockType,
              int options);
    void close();
    bool isOpen() const { return open_; }
    OpenStatus status() const { return status_; }

    int fieldCount() const { return open_ ? static_cast<int>(names_.size()) : 0; }
    // As the spreadsheet driver names them: "." becomes "#", an empty title "F" + number.
    std::string fieldName(int index) const;
    int recordCount() const { return open_ ? static_cast<int>(rows_.size()) : 0; }
    // The current record's value; empty past the end or outside the fields.
    std::string value(int index) const;
    void moveNext();
    bool eof() const { return !open_ || current_ >= rows_.size(); }

  private:
    Connection* connection_ = nullptr;
    int cursorLocation_ = 2;
    bool open_ = false;
    OpenStatus status_ = OpenStatus::NotOpen;
    std::vector<std::string> names_;
    // Each record holds its non-empty cells as (field, text), sorted by field.
    std::vector<std::vector<std::pair<int, std::string>>> rows_;
    std::size_t current_ = 0;
};

}  // namespace xls
