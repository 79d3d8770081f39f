// What each half of the code-page conversions (codepage.cpp natively, codepage_win.cpp on
// Windows) gives the walk they share in decode.cpp.
#pragma once

#include <string>
#include <string_view>

namespace codepage::half {

// Bytes that are GBK characters only (ASCII, 0x80, whole pairs) in UTF-16, by the
// platform's CP936 converter.
std::u16string wellFormedGbkToUtf16(std::string_view gbk);

}  // namespace codepage::half
