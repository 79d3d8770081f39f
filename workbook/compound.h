// The compound file container of .xls workbooks: find one stream in a file image, or
// build a file that holds one stream. The reader trusts nothing in the image: every
// sector number, chain and size is checked before it is followed.
#pragma once

#include <string>
#include <string_view>

namespace workbook {

enum class CompoundStatus {
    Ok,
    NotCompound,  // no compound file signature: not a workbook at all
    Malformed,    // the container is broken (chains, sectors, sizes, directory)
    NoStream,     // well formed, but no stream of that name
};

// Finds the top-level stream named `name` (ASCII, compared without case) and copies its
// bytes into `stream`.
CompoundStatus readCompoundStream(std::string_view file, std::string_view name,
                                  std::string& stream);

// A version 3 compound file whose only stream is `name` (ASCII) holding `stream`; the
// stream is padded with zeros to 4096 bytes so it never needs the mini stream.
std::string writeCompoundFile(std::string_view name, std::string stream);

}  // namespace workbook
