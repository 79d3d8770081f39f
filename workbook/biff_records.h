// The BIFF8 record numbers and BOF values, for the reader and the writer alike.
#pragma once

#include <cstdint>

namespace workbook::biff {

enum RecordType : std::uint16_t {
    kBof = 0x0809,
    kEof = 0x000A,
    kCodePage = 0x0042,
    kWindow1 = 0x003D,
    kFont = 0x0031,
    kXf = 0x00E0,
    kStyle = 0x0293,
    kBoundSheet = 0x0085,
    kSst = 0x00FC,
    kExtSst = 0x00FF,
    kContinue = 0x003C,
    kFilePass = 0x002F,
    kWsBool = 0x0081,
    kDimensions = 0x0200,
    kRow = 0x0208,
    kBlank = 0x0201,
    kLabelSst = 0x00FD,
    kLabel = 0x0204,
    kRString = 0x00D6,
    kNumber = 0x0203,
    kRk = 0x027E,
    kMulRk = 0x00BD,
    kBoolErr = 0x0205,
    kFormula = 0x0006,
    kString = 0x0207,
    kShrFmla = 0x04BC,
    kArray = 0x0221,
    kTable = 0x0236,
    kWindow2 = 0x023E,
};

// A BOF record's version and what the substream holds.
inline constexpr std::uint16_t kBiff8 = 0x0600;
inline constexpr std::uint16_t kGlobals = 0x0005;
inline constexpr std::uint16_t kWorksheet = 0x0010;

}  // namespace workbook::biff
