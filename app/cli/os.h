// What the command-line program needs of the operating system: bytes in, bytes out, the
// data file mapped, the program's folder. os_posix.cpp and os_win.cpp are the two halves.
// Paths and texts are UTF-8 on both sides.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipdata/data_files.h"

namespace cli {

enum class OpenError { None, Missing, Denied, Folder, Other };

// A file or standard input, read from start to end.
class Input {
  public:
    virtual ~Input() = default;
    // Bytes read into `buffer`; 0 at the end, -1 when reading failed.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
};

// "-" is standard input. Null and `error` when the file cannot be opened.
std::unique_ptr<Input> openInput(const std::string& path, OpenError& error);

// A whole file mapped read-only, as the data files' owner reads it: `again` maps another
// view of the same open file, none of its pages read yet (empty for an empty file).
using Mapped = ipdata::MappedFile;
std::optional<Mapped> mapFile(const std::string& path, OpenError& error);

// Standard output takes every byte or fails (a closed pipe, a full disk). On a Windows
// console the text goes through the wide console calls, so Chinese shows on any code page.
bool writeOutput(std::string_view utf8);
void writeError(std::string_view utf8);
// A whole file written: `bytes` land in full or the file is left as it was (written
// beside it first, then put in its place).
bool writeFile(const std::string& path, std::string_view bytes);

// The folder of the running program, with a separator at its end; empty when unknown.
std::string programFolder();
// The names of the files in `folder` (folders left out), in no set order; none when it
// cannot be read.
std::vector<std::string> namesIn(const std::string& folder);
// The command line as UTF-8 words, the program's name left out.
std::vector<std::string> arguments(int argc, char** argv);

}  // namespace cli
