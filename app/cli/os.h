// What the command-line program needs of the operating system: bytes in, bytes out, the
// data file mapped, the program's folder. os_posix.cpp and os_win.cpp are the two halves.
// Paths and texts are UTF-8 on both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipdata/data_files.h"
#include "texts/language.h"

namespace cli {

enum class OpenError { None, Missing, Denied, Folder, Other };

// A file or standard input, read from start to end.
class Input {
  public:
    virtual ~Input() = default;
    // Bytes read into `buffer`; 0 at the end, -1 when reading failed.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
    // The size in bytes of what is read, when it is a file; nullopt for a pipe or console.
    virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
    // Whether reading failed because the bytes were damaged (a gzip stream), not the device.
    virtual bool damaged() const { return false; }
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

// Gives each of the standard descriptors (input, output, error) that is closed the null
// device. Called first thing: else the first file opened would take the closed one's
// number, and the data file be read as input or the output written into it.
void guardStandardStreams();
// The language of the user's messages: the locale's settings on POSIX, the user's
// interface language on Windows.
texts::Language userLanguage();
// Whether standard error, or output, is a terminal (a console on Windows): progress is for
// a person watching, and never drawn among output lines on the same screen.
bool errorIsTerminal();
bool outputIsTerminal();

// Standard output sent to a file instead: written to a new file beside it, which commit()
// renames over the file when the run's output is complete; dropped otherwise, so a failed
// run never leaves half a file in place of a good one.
class OutputFile {
  public:
    static std::unique_ptr<OutputFile> open(const std::string& path, OpenError& error);
    virtual ~OutputFile() = default;
    virtual bool commit() = 0;
};

// The files a file operand names. Windows' shell leaves wildcards to the program: there
// "*" and "?" in the last part of a name are expanded, the matches in name order, none
// when nothing matches. Elsewhere the shell has done it and the operand is one file.
std::vector<std::string> expandOperand(const std::string& operand);
// Whether a file or folder of that name exists.
bool pathExists(const std::string& path);

// The folder of the running program, with a separator at its end; empty when unknown.
std::string programFolder();
// The names of the files in `folder` (folders left out), in no set order; none when it
// cannot be read.
std::vector<std::string> namesIn(const std::string& folder);
// The command line as UTF-8 words, the program's name left out.
std::vector<std::string> arguments(int argc, char** argv);

}  // namespace cli
