// The table of list formats, and which format a file is in.
#include "io/formats.h"

#include "text/address.h"

namespace io {
namespace {

constexpr std::string_view kCompoundSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
// A zip starts with an entry's local header, or with the end record when it is empty.
constexpr std::string_view kZipEntry = "PK\x03\x04";
constexpr std::string_view kZipEmpty = "PK\x05\x06";

Failure xlsFailure(workbook::WorkbookStatus status) {
    switch (status) {
        case workbook::WorkbookStatus::OldFormat:
            return Failure::OldXls;
        case workbook::WorkbookStatus::Encrypted:
            return Failure::Encrypted;
        case workbook::WorkbookStatus::NoSheet:
            return Failure::NoSheet1;
        default:
            return Failure::NotXls;
    }
}

Failure xlsxFailure(workbook::XlsxStatus status) {
    switch (status) {
        case workbook::XlsxStatus::BrokenZip:
            return Failure::BrokenZip;
        case workbook::XlsxStatus::UnsupportedZip:
            return Failure::UnsupportedZip;
        case workbook::XlsxStatus::TooLarge:
            return Failure::TooLarge;
        case workbook::XlsxStatus::BrokenXml:
            return Failure::BrokenXml;
        case workbook::XlsxStatus::BadCell:
            return Failure::BadCell;
        case workbook::XlsxStatus::BadSharedString:
            return Failure::BadSharedString;
        case workbook::XlsxStatus::NoSheet:
            return Failure::NoWorksheet;
        default:
            return Failure::NotXlsx;
    }
}

ReadList readLines(std::string_view bytes) {
    return {std::nullopt, textRows(bytes).rows, std::nullopt};
}

ReadList readCsv(std::string_view bytes) {
    CsvList list = csvList(bytes);
    return {std::nullopt, std::move(list.rows.rows), std::move(list.own)};
}

// A log, a mail, a page: the addresses in it, each once, in order of appearance, each with
// the number of times it appeared.
ReadList readAddresses(std::string_view bytes) {
    ReadList read;
    std::vector<std::uint32_t> hits;
    const std::vector<std::string> found = ip::findAddresses(listText(bytes).text, hits);
    RowStore& store = read.store.emplace();
    std::size_t size = 0;
    for (const std::string& address : found) size += address.size();
    store.reserve(found.size(), size);
    for (std::size_t i = 0; i < found.size(); ++i) {
        store.push(found[i]);
        store.setHits(i, hits[i]);
    }
    return read;
}

ReadList readXls(std::string_view bytes) {
    ReadList read;
    const workbook::WorkbookStatus status = workbookRows(bytes, read.rows);
    if (status != workbook::WorkbookStatus::Ok) read.failure = xlsFailure(status);
    return read;
}

ReadList readXlsx(std::string_view bytes) {
    ReadList read;
    const workbook::XlsxStatus status = xlsxRows(bytes, read.rows, &read.store);
    if (status != workbook::XlsxStatus::Ok) read.failure = xlsxFailure(status);
    return read;
}

Written writeLines(const RowStore& rows, const Titles&, TextOut& out) {
    Written written;
    written.unmappable = textFile(rows, out);
    return written;
}

Written writeCsv(const RowStore& rows, const Titles& titles, TextOut& out) {
    csvFile(rows, titles, out);
    return {};
}

Written writeJsonl(const RowStore& rows, const Titles&, TextOut& out) {
    jsonlFile(rows, out);
    return {};
}

// A workbook is made whole (a zip, a compound file) and handed on in one piece.
Written handOnWhole(WorkbookFile file, TextOut& out) {
    out.text = std::move(file.bytes);
    return {file.rowsLeftOut, file.cellsCut};
}

Written writeXls(const RowStore& rows, const Titles& titles, TextOut& out) {
    return handOnWhole(workbookFile(rows, titles), out);
}

Written writeXlsx(const RowStore& rows, const Titles& titles, TextOut& out) {
    return handOnWhole(xlsxFile(rows, titles), out);
}

// Content first: a workbook named .txt is still a workbook. The text formats follow, told
// by their endings; the first format marked otherText or otherName takes what is left.
constexpr ListFormat kFormats[] = {
    {FormatId::Xls, {kCompoundSignature}, ".xls", false, true, readXls, writeXls},
    // Any zip goes to the .xlsx reader, which names what is wrong with one that holds no
    // workbook; read as text it would give nothing of use.
    {FormatId::Xlsx, {kZipEntry, kZipEmpty}, ".xlsx", false, false, readXlsx, writeXlsx},
    {FormatId::Lines, {}, ".txt", false, false, readLines, writeLines},
    {FormatId::Csv, {}, ".csv", false, false, readCsv, writeCsv},
    {FormatId::Jsonl, {}, ".jsonl", false, false, readAddresses, writeJsonl, ".json"},
    {FormatId::Addresses, {}, "", true, false, readAddresses, nullptr},
};

bool hasSignature(const ListFormat& format) {
    return !format.signatures[0].empty();
}

bool named(const ListFormat& format, const platform::Path& path) {
    return (!format.ending.empty() && path.endsWith(format.ending)) ||
           (!format.alsoEnding.empty() && path.endsWith(format.alsoEnding));
}

const ListFormat& otherText() {
    for (const ListFormat& format : kFormats)
        if (format.otherText) return format;
    return kFormats[0];
}

}  // namespace

std::span<const ListFormat> listFormats() {
    return kFormats;
}

const ListFormat& listFormat(FormatId id) {
    for (const ListFormat& format : kFormats)
        if (format.id == id) return format;
    return kFormats[0];
}

const ListFormat& importFormat(const platform::Path& path, std::string_view bytes) {
    for (const ListFormat& format : kFormats)
        for (std::string_view signature : format.signatures)
            if (!signature.empty() && bytes.starts_with(signature)) return format;
    for (const ListFormat& format : kFormats)
        if (!hasSignature(format) && named(format, path)) return format;
    return otherText();
}

const ListFormat& namedFormat(const platform::Path& path) {
    for (const ListFormat& format : kFormats)
        if (named(format, path)) return format;
    return otherText();
}

const ListFormat& exportFormat(const platform::Path& path) {
    for (const ListFormat& format : kFormats)
        if (format.write && named(format, path)) return format;
    for (const ListFormat& format : kFormats)
        if (format.otherName) return format;
    return kFormats[0];
}

}  // namespace io
