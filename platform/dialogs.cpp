#include "platform/dialogs.h"

#include <algorithm>

namespace platform {
std::string osFilterText(const std::string& filter) {
    // UTF-8 never uses the byte of "|" inside a character: every one separates.
    std::string result = filter;
    std::replace(result.begin(), result.end(), '|', '\0');
    if (result.empty() || result.back() != '\0') result += '\0';
    result += '\0';
    return result;
}

std::string firstDefaultExtension(const std::string& defaultExtension) {
    std::string first = defaultExtension.substr(0, defaultExtension.find('|'));
    if (first.rfind("*.", 0) == 0)
        first.erase(0, 2);
    else if (first.rfind('.', 0) == 0)
        first.erase(0, 1);
    if (first.find_first_of("*?") != std::string::npos) return {};
    return first;
}

}  // namespace platform
