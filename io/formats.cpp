// Which format a list file is in, and which a result file is written in.
#include "io/formats.h"

namespace io {
namespace {

constexpr std::string_view kCompoundSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// A zip starts with an entry's local header, or with the end record when it is empty.
constexpr std::string_view kZipEntry = "PK\x03\x04";
constexpr std::string_view kZipEmpty = "PK\x05\x06";

}  // namespace

ImportFormat importFormat(const platform::Path& path, std::string_view bytes) {
    if (bytes.substr(0, kCompoundSignature.size()) == kCompoundSignature) return ImportFormat::Xls;
    // Any zip goes to the .xlsx reader, which names what is wrong with one that holds no
    // workbook; read as text it would give nothing of use.
    if (bytes.substr(0, 4) == kZipEntry || bytes.substr(0, 4) == kZipEmpty)
        return ImportFormat::Xlsx;
    if (path.endsWith(".txt")) return ImportFormat::TextLines;
    if (path.endsWith(".csv")) return ImportFormat::Csv;
    return ImportFormat::Addresses;
}

ExportFormat exportFormat(const platform::Path& path) {
    if (path.endsWith(".txt")) return ExportFormat::Text;
    if (path.endsWith(".csv")) return ExportFormat::Csv;
    if (path.endsWith(".xlsx")) return ExportFormat::Xlsx;
    return ExportFormat::Xls;
}

}  // namespace io
