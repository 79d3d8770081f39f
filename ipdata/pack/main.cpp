// asnpack: the build's step from the network-number CSVs to asn.db. Packs, then opens what
// it wrote with the program's own reader and looks up both ends of every range, so a file
// the program would refuse or misread never leaves the build.
//     asnpack <asn-ipv4.csv> <asn-ipv6.csv> <asn.db> [--source TEXT] [--date YYYY-MM-DD]
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "ipdata/asn.h"
#include "ipdata/pack/pack.h"

namespace {

bool readFile(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return static_cast<bool>(in);
}

// "2026-06-17" as 20260617; 0 for anything else.
std::uint32_t parseDate(const std::string& text) {
    unsigned y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &tail) != 3) return 0;
    if (y < 1970 || m < 1 || m > 12 || d < 1 || d > 31) return 0;
    return y * 10000 + m * 100 + d;
}

// Every packed range reads back, at both ends, as itself.
bool readsBack(const std::string& bytes, std::string& why) {
    ipdata::AsnError error;
    const auto db = ipdata::AsnDatabase::open(bytes, nullptr, error);
    if (!db) {
        why = "the reader refuses it: " + std::string(ipdata::asnErrorName(error));
        return false;
    }
    for (const ip::Family family : {ip::Family::V4, ip::Family::V6}) {
        for (std::size_t i = 0; i < db->rangeCount(family); ++i) {
            const ipdata::AsnAnswer range = db->rangeAt(family, i);
            for (const ip::Address& end : {range.first, range.last}) {
                const auto found = db->find(end);
                if (!found || found->first != range.first || found->last != range.last ||
                    found->number != range.number || found->organisation != range.organisation) {
                    why = "the range at " + ip::formatAddress(end) + " does not read back";
                    return false;
                }
            }
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: asnpack <asn-ipv4.csv> <asn-ipv6.csv> <asn.db> [--source TEXT] "
                     "[--date YYYY-MM-DD]\n");
        return 2;
    }
    std::string source;
    std::uint32_t date = 0;
    for (int i = 4; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--source") {
            source = argv[i + 1];
        } else if (option == "--date" && (date = parseDate(argv[i + 1])) != 0) {
        } else {
            std::fprintf(stderr, "asnpack: bad option %s %s\n", argv[i], argv[i + 1]);
            return 2;
        }
    }
    std::string v4, v6;
    for (auto [path, text] : {std::pair{argv[1], &v4}, std::pair{argv[2], &v6}}) {
        if (!readFile(path, *text)) {
            std::fprintf(stderr, "asnpack: cannot read %s\n", path);
            return 1;
        }
    }
    asnpack::Report report;
    const std::string bytes = asnpack::pack(v4, v6, source, date, report);
    std::printf("%s\n%s\n", asnpack::describe("ipv4", report.v4).c_str(),
                asnpack::describe("ipv6", report.v6).c_str());
    std::printf("entries %zu, organisation text %zu bytes, file %zu bytes\n", report.entries,
                report.stringBytes, bytes.size());
    if (report.v4.packed + report.v6.packed == 0) {
        std::fprintf(stderr, "asnpack: no row could be packed\n");
        return 1;
    }
    std::string why;
    if (!readsBack(bytes, why)) {
        std::fprintf(stderr, "asnpack: %s\n", why.c_str());
        return 1;
    }
    const std::string part = std::string(argv[3]) + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "asnpack: cannot write %s\n", part.c_str());
            return 1;
        }
    }
    if (std::rename(part.c_str(), argv[3]) != 0) {
        std::fprintf(stderr, "asnpack: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
