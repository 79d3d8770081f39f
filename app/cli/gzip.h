// Compressed input: a gzip stream (a rotated log, "access.log.1.gz") is known by its first
// two bytes and read through zlib, every member of it when rotated logs were concatenated;
// anything else is read as it is.
#pragma once

#include <memory>

#include "app/cli/os.h"

namespace cli {

// `input` itself when its stream starts with no gzip magic, else its inflated bytes; the
// result fails, damaged() true, where the stream is damaged or cut short.
std::unique_ptr<Input> decompressed(std::unique_ptr<Input> input);

}  // namespace cli
