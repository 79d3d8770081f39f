// Which format a list file is in, and which a result file is written in.
#include "io/formats.h"

namespace io {
namespace {

constexpr std::string_view kCompoundSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// A zip starts with an entry's local header, or with the end record when it is empty.
constexpr std::string_view kZipEntry = "PK\x03\x04";
constexpr std::string_view kZipEmpty = "PK\x05\x06";

bool endsWithIgnoringCase(std::string_view path, std::string_view ending) {
    if (path.size() < ending.size()) return false;
    const std::string_view tail = path.substr(path.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != ending[i]) return false;
    }
    return true;
}

}  // namespace

ImportFormat importFormat(std::string_view path, std::string_view bytes) {
    if (bytes.substr(0, kCompoundSignature.size()) == kCompoundSignature) return ImportFormat::Xls;
    // Any zip goes to the .xlsx reader, which names what is wrong with one that holds no
    // workbook; read as text it would give nothing of use.
    if (bytes.substr(0, 4) == kZipEntry || bytes.substr(0, 4) == kZipEmpty)
        return ImportFormat::Xlsx;
    if (endsWithIgnoringCase(path, ".txt")) return ImportFormat::TextLines;
    if (endsWithIgnoringCase(path, ".csv")) return ImportFormat::Csv;
    return ImportFormat::Addresses;
}

ExportFormat exportFormat(std::string_view path) {
    if (endsWithIgnoringCase(path, ".txt")) return ExportFormat::Text;
    if (endsWithIgnoringCase(path, ".csv")) return ExportFormat::Csv;
    if (endsWithIgnoringCase(path, ".xlsx")) return ExportFormat::Xlsx;
    return ExportFormat::Xls;
}

}  // namespace io
