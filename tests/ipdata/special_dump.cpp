// Reads one address a line and writes what the special-purpose table says of it, for
// special_check.py: "address<TAB>kind<TAB>answer<TAB>first<TAB>last<TAB>global", or
// "address<TAB>-" for an ordinary address and "address<TAB>?" for a line that is none.
#include <iostream>
#include <string>

#include "ipdata/special.h"

int main() {
    const char* const kinds[] = {
        "AnyAddress", "ThisNetwork",   "Loopback",     "Private",     "UniqueLocal", "Shared",
        "LinkLocal",   "Documentation", "Benchmarking", "Multicast",   "Broadcast",   "Protocol",
        "Anycast",     "Translation",   "Tunnel",       "DiscardOnly", "Reserved"};
    std::string line;
    while (std::getline(std::cin, line)) {
        const std::optional<ip::Address> address = ip::parseAddress(line);
        std::cout << line << '\t';
        if (!address) {
            std::cout << "?\n";
        } else if (const auto s = ipdata::special(*address)) {
            std::cout << kinds[static_cast<int>(s->kind)] << '\t' << s->answer << '\t'
                      << ip::formatAddress(s->first) << '\t' << ip::formatAddress(s->last) << '\t'
                      << (s->globallyReachable ? 1 : 0) << '\n';
        } else {
            std::cout << "-\n";
        }
    }
}
