#include "platform/dialogs.h"

#include <cstdlib>

#include "text/codepage.h"

namespace platform {
std::string osFilterText(const std::string& filter) {
    std::string result;
    result.reserve(filter.size() + 2);
    for (std::size_t i = 0; i < filter.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(filter[i]);
        // A GBK trail byte may be 0x7C, the code of "|": only a "|" of its own separates.
        if (codepage::gbkCharLength(filter, i) == 2) {
            result += filter[i];
            result += filter[++i];
        } else {
            result += byte == '|' ? '\0' : filter[i];
        }
    }
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
