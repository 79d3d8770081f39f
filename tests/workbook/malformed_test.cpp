// Broken files are turned away with a status, never a crash, a hang or a huge allocation.
// The sanitizer build runs the same table.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "tests/workbook/biff_builder.h"
#include "workbook/biff.h"
#include "workbook/compound.h"

using namespace xls_test;

namespace {

void put32(std::string& f, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
}
std::uint32_t get32(const std::string& f, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(f[at + i]);
    return v;
}

// A valid file of a few sectors: workbook 0..8, FAT 9, directory 10.
std::string validFile() {
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t r = 0; r < 100; ++r)
        cells.push_back({r, 0, "10.0.0." + std::to_string(r), true});
    return workbook::writeWorkbook("Sheet1", cells);
}

std::size_t sectorAt(std::uint32_t s) {
    return (static_cast<std::size_t>(s) + 1) * 512;
}
std::uint32_t fatSector(const std::string& f) {
    return get32(f, 0x4C);
}
std::uint32_t dirSector(const std::string& f) {
    return get32(f, 0x30);
}
std::size_t fatEntry(const std::string& f, std::uint32_t s) {
    return sectorAt(fatSector(f)) + 4 * s;
}
std::size_t workbookEntry(const std::string& f) {
    return sectorAt(dirSector(f)) + 128;
}

workbook::WorkbookStatus parse(const std::string& file) {
    workbook::ParsedWorkbook book;
    workbook::WorkbookStatus status = workbook::parseWorkbook(file, book);
    if (status != workbook::WorkbookStatus::Ok) return status;
    std::vector<workbook::SheetCell> cells;
    return workbook::readSheet(book, "Sheet1", cells);
}

std::string withSheet(const std::string& body, const std::string& globals = "") {
    return workbook::writeCompoundFile("Workbook", workbookStream({"Sheet1"}, {body}, globals));
}

}  // namespace

TEST(XlsMalformed, ContainerDamageIsRejected) {
    ASSERT_EQ(parse(validFile()), workbook::WorkbookStatus::Ok);
    struct Case {
        const char* name;
        std::function<void(std::string&)> damage;
        workbook::WorkbookStatus expected;
    };
    using S = workbook::WorkbookStatus;
    const Case cases[] = {
        {"empty file", [](std::string& f) { f.clear(); }, S::NotWorkbook},
        {"text file", [](std::string& f) { f = "1.1.1.1\r\n2.2.2.2\r\n"; }, S::NotWorkbook},
        {"signature only", [](std::string& f) { f.resize(8); }, S::Malformed},
        {"header cut short", [](std::string& f) { f.resize(300); }, S::Malformed},
        {"header without sectors", [](std::string& f) { f.resize(512); }, S::Malformed},
        {"cut in the middle", [](std::string& f) { f.resize(f.size() / 2); }, S::Malformed},
        {"byte order", [](std::string& f) { f[0x1C] = 0; }, S::Malformed},
        {"sector shift", [](std::string& f) { f[0x1E] = 30; }, S::Malformed},
        {"mini cutoff", [](std::string& f) { put32(f, 0x38, 0); }, S::Malformed},
        {"FAT count lies", [](std::string& f) { put32(f, 0x2C, 0x7FFFFFFF); }, S::Malformed},
        {"FAT count zero", [](std::string& f) { put32(f, 0x2C, 0); }, S::Malformed},
        {"FAT sector out of range", [](std::string& f) { put32(f, 0x4C, 0xFFFFFF00); },
         S::Malformed},
        {"FAT sector listed twice",
         [](std::string& f) {
             put32(f, 0x2C, 2);
             put32(f, 0x50, get32(f, 0x4C));
         },
         S::Malformed},
        {"DIFAT loop",
         [](std::string& f) {
             put32(f, 0x2C, 200);
             for (int i = 0; i < 109; ++i) put32(f, 0x4C + 4 * i, get32(f, 0x4C));
             put32(f, 0x44, 0);
             put32(f, 0x48, 5);
         },
         S::Malformed},
        {"workbook chain loops on itself", [](std::string& f) { put32(f, fatEntry(f, 3), 3); },
         S::Malformed},
        {"workbook chain loops back", [](std::string& f) { put32(f, fatEntry(f, 5), 0); },
         S::Malformed},
        {"chain to a sector out of range",
         [](std::string& f) { put32(f, fatEntry(f, 2), 0x00FFFFFF); }, S::Malformed},
        {"chain ends before the size", [](std::string& f) { put32(f, fatEntry(f, 2), 0xFFFFFFFE); },
         S::Malformed},
        {"chain through a free sector",
         [](std::string& f) { put32(f, fatEntry(f, 2), 0xFFFFFFFF); }, S::Malformed},
        {"stream size past the file",
         [](std::string& f) { put32(f, workbookEntry(f) + 120, 0x7FFFFFFF); }, S::Malformed},
        {"stream start out of range",
         [](std::string& f) { put32(f, workbookEntry(f) + 116, 0xFFFFFFFA); }, S::Malformed},
        {"directory chain loops",
         [](std::string& f) { put32(f, fatEntry(f, dirSector(f)), dirSector(f)); }, S::Malformed},
        {"directory out of range", [](std::string& f) { put32(f, 0x30, 0x10000000); },
         S::Malformed},
        {"root not a root", [](std::string& f) { f[sectorAt(dirSector(f)) + 66] = 1; },
         S::Malformed},
        {"directory tree loops",
         [](std::string& f) {
             f[workbookEntry(f)] = 'X';  // so the walk goes on past it
             put32(f, workbookEntry(f) + 68, 1);
         },
         S::Malformed},
        {"sibling out of range",
         [](std::string& f) {
             f[workbookEntry(f)] = 'X';
             put32(f, workbookEntry(f) + 72, 1000);
         },
         S::Malformed},
        {"name length odd", [](std::string& f) { f[workbookEntry(f) + 64] = 17; }, S::NotWorkbook},
        {"name length huge",
         [](std::string& f) { f[workbookEntry(f) + 64] = static_cast<char>(200); }, S::NotWorkbook},
        {"no workbook stream", [](std::string& f) { f[workbookEntry(f)] = 'X'; }, S::NotWorkbook},
        {"small stream without a mini stream",
         [](std::string& f) { put32(f, workbookEntry(f) + 120, 100); }, S::Malformed},
    };
    for (const Case& c : cases) {
        std::string file = validFile();
        c.damage(file);
        EXPECT_EQ(parse(file), c.expected) << c.name;
    }
}

TEST(XlsMalformed, RecordDamageIsRejected) {
    using S = workbook::WorkbookStatus;
    const std::string sst2 = record(0x00FC, Bytes().u32(2).u32(2).str8("a").str8("b").s);
    struct Case {
        const char* name;
        std::string file;
        S expected;
    };
    const Case cases[] = {
        {"fine", withSheet(labelSst(0, 0, 1), sst2), S::Ok},
        {"no BOF first",
         workbook::writeCompoundFile("Workbook",
                                     label8(0, 0, "x") + workbookStream({"Sheet1"}, {""})),
         S::Malformed},
        {"BIFF5 stream name", workbook::writeCompoundFile("Book", bof(5, 0x0500) + eof()),
         S::OldFormat},
        {"BIFF5 version in a Workbook stream",
         workbook::writeCompoundFile("Workbook", bof(5, 0x0500) + eof()), S::OldFormat},
        {"encrypted", withSheet("", record(0x002F, std::string(6, '\0'))), S::Encrypted},
        {"an encrypted .xlsx",
         workbook::writeCompoundFile("EncryptedPackage", std::string(600, 'x')), S::Encrypted},
        {"SST count lies", withSheet("", record(0x00FC, Bytes().u32(9).u32(1000000).str8("a").s)),
         S::Malformed},
        {"SST string longer than its data",
         withSheet("", record(0x00FC, Bytes().u32(1).u32(1).u16(65535).u8(1).raw("ab").s)),
         S::Malformed},
        {"SST extended size huge",
         withSheet("",
                   record(0x00FC, Bytes().u32(1).u32(1).u16(1).u8(4).u32(0xFFFFFFFF).raw("a").s)),
         S::Malformed},
        {"SST run count past the data",
         withSheet("", record(0x00FC, Bytes().u32(1).u32(1).u16(1).u8(8).u16(60000).raw("a").s)),
         S::Malformed},
        {"SST UTF-16 split at an odd byte",
         withSheet("", record(0x00FC, Bytes().u32(1).u32(1).u16(2).u8(1).u8(0x41).s) +
                           record(0x003C, Bytes().u8(1).u8(0).u16(0x42).s)),
         S::Malformed},
        {"LABELSST index past the table", withSheet(labelSst(0, 0, 2), sst2), S::Malformed},
        {"LABELSST without a table", withSheet(labelSst(0, 0, 0)), S::Malformed},
        {"LABELSST too short", withSheet(record(0x00FD, cellHead(0, 0))), S::Malformed},
        {"LABEL count past the record",
         withSheet(record(0x0204, cellHead(0, 0) + Bytes().u16(500).u8(0).raw("abc").s)),
         S::Malformed},
        {"NUMBER too short", withSheet(record(0x0203, cellHead(0, 0) + "1234")), S::Malformed},
        {"MULRK length not 6 + 6n",
         withSheet(record(0x00BD, Bytes().u16(0).u16(0).u16(15).u32(2).u16(0).u8(0).s)),
         S::Malformed},
        {"MULRK last column lies",
         withSheet(record(0x00BD, Bytes().u16(0).u16(0).u16(15).u32(2).u16(200).s)), S::Malformed},
        {"FORMULA too short", withSheet(record(0x0006, cellHead(0, 0) + "12345678")), S::Malformed},
        {"STRING after FORMULA cut",
         withSheet(
             record(0x0006, cellHead(0, 0) +
                                Bytes().u8(0).u8(0).u32(0).u16(0xFFFF).u16(0).u32(0).u16(0).s) +
             record(0x0207, Bytes().u16(40).u8(0).raw("short").s)),
         S::Malformed},
        {"BOUNDSHEET too short",
         workbook::writeCompoundFile("Workbook", bof(5) + record(0x0085, "\1\2\3") + eof()),
         S::Malformed},
        {"BOUNDSHEET name past the record",
         workbook::writeCompoundFile(
             "Workbook",
             bof(5) + record(0x0085, Bytes().u32(0).u8(0).u8(0).u8(50).u8(0).raw("Sh").s) + eof()),
         S::Malformed},
        {"record length past the stream",
         workbook::writeCompoundFile("Workbook",
                                     bof(5) + Bytes().u16(0x00FC).u16(8000).raw("xx").s),
         S::Malformed},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.file), c.expected) << c.name;
}

TEST(XlsMalformed, SheetOffsetsMustPointAtASheet) {
    using S = workbook::WorkbookStatus;
    const std::string good = workbookStream({"Sheet1"}, {label8(0, 0, "x")});
    struct Case {
        const char* name;
        std::uint32_t offset;
    } cases[] = {{"past the stream", 0x7FFFFFF0},
                 {"at the stream's end", 0xFFFFFFFF},
                 {"on the globals' BOF", 0},
                 {"inside a record", 3}};
    for (const Case& c : cases) {
        std::string stream = good;
        // The BOUNDSHEET offset follows the globals' BOF (20 bytes) and a record header.
        put32(stream, 24, c.offset);
        EXPECT_EQ(parse(workbook::writeCompoundFile("Workbook", stream)), S::Malformed) << c.name;
    }
}
