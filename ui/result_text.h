// What the result box may show. Wine's multi-line edit control takes time that grows with
// the square of its text (32 K characters already freeze it for seconds), and a location
// is a short text, so each line of an answer is cut to a sensible length for the box; the
// list cells and the exports keep the whole text.
#pragma once

#include <string>

inline constexpr std::size_t kResultLineCharacters = 1024;

// Each CR LF separated line cut after kResultLineCharacters characters (UTF-8), with "…"
// after a cut.
std::string boundResultText(const std::string& text);
