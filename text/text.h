// GBK text primitives. A text is a std::string of GBK bytes; positions count bytes from 1,
// and -1 means absent. Scans match only at character starts: a byte >= 0x80 opens a
// two-byte character. All functions are pure and safe to call from any thread.
#pragma once

#include <climits>
#include <string>
#include <vector>

// A counted run of arbitrary bytes (NUL included): a response body, a UTF-8 buffer.
using Bytes = std::string;
using TextList = std::vector<std::string>;

// findTextBackward's "no start position": the whole text is searched.
inline constexpr int kWholeText = INT_MAX;

// A start position is taken as a character start (callers pass positions found before,
// or found positions plus a marker's length); an empty sub-text is found at the start.
int findText(const std::string& text, const std::string& sub, int start = 1,
             bool ignoreCase = false);
int findTextBackward(const std::string& text, const std::string& sub, int start = kWholeText,
                     bool ignoreCase = false);
std::string leftText(const std::string& text, int n);
std::string rightText(const std::string& text, int n);
std::string midText(const std::string& text, int position, int n);
std::string replaceText(const std::string& text, const std::string& sub,
                        const std::string& replacement);
// maxPieces < 0: no limit.
TextList splitText(const std::string& text, const std::string& delimiter = ",", int maxPieces = -1);
std::string trimSpaces(const std::string& text);
std::string removeAllSpaces(const std::string& text);
std::string toLowerAscii(const std::string& text);
int textToInt(const std::string& text);
std::string numberToText(long long value);
std::string numberToText(int value);
std::string numberToText(double value);
std::string byteToHex(int value);
std::string bytesToText(const Bytes& bytes);

std::string getTextBetween(const std::string& text, const std::string& left,
                           const std::string& right, int start = 1, bool caseSensitive = false);
int getAllTextsBetween(const std::string& text, const std::string& left, const std::string& right,
                       TextList& out, bool caseSensitive = false, int maxLength = 0,
                       const std::string& prefix = "", const std::string& suffix = "",
                       bool includeLeft = false, bool includeRight = false, int start = 1);

std::string urlEncode(const std::string& text, bool keepUnreserved = false,
                      bool convertToUtf8 = false);
Bytes gbkToUtf8(const std::string& text);
std::string utf8ToGbk(const Bytes& bytes);
