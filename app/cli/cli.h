// verdalo-cli: the address data on the command line. Words the work's results as lines on
// standard output and its failures as Chinese messages on standard error.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Exit codes.
// kNothingFound: ranges matched no range (its list is empty; a script should not take an
// empty firewall list for a good one).
enum Exit { kDone = 0, kBadUsage = 1, kBadData = 2, kBadInput = 3, kNothingFound = 4 };

inline constexpr const char* kVersion = "1.0.0";

// Runs the command line `args` (the program's name left out) and returns the exit code.
int run(const std::vector<std::string>& args);

}  // namespace cli
