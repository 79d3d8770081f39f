// The one owner of the data files a program uses: where they are, opening and checking
// them, the views they are read through, their dates and why one was refused. The window
// and verdalo-cli each hand it the files they want and their own way of mapping a file.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipdata/asn.h"
#include "ipdata/ipdata.h"

namespace ipdata {

// Why a file is not used: it could not be mapped (missing, denied, a folder, another
// failure), or its reader refused it (Damaged).
enum class Refusal { None, Missing, Denied, Folder, Unreadable, Damaged };

// A whole file mapped read-only; `owner` keeps the mapping alive. `again` maps another view
// of the same file, none of its pages read yet (empty when there is none to be had).
struct MappedFile {
    std::string_view bytes;
    std::shared_ptr<const void> owner;
    std::function<std::optional<MappedFile>()> again;
};

// The caller's file system: ipdata includes no platform header, so the program passes in
// how it maps a file (the window its platform::Files, the command line its mapFile).
// Paths are UTF-8, as the user reads them. nullopt and why when the file cannot be mapped.
using MapFile = std::function<std::optional<MappedFile>(const std::string& path, Refusal& why)>;

// Location data (ipdb, ip2region, MaxMind DB, qqwry) or network numbers (asn.db, a MaxMind
// DB of AS numbers).
enum class FileKind { Location, Network };

// One file the owner is to use. A file the user named must be there; one looked for
// beside the program may be missing, and nothing is said of it.
struct DataFile {
    FileKind kind;
    std::string path;
    bool named = false;
};

// What became of one file.
struct FileReport {
    DataFile file;
    Refusal refusal = Refusal::None;
    OpenFailure failure;                  // Damaged location data: why
    AsnError asnError = AsnError::kNone;  // Damaged network numbers: why
    std::string date;                     // "2026-09-16", empty when the file does not say
    std::string_view format;  // "ipdb", "ip2region", "mmdb", "asn.db"; empty unless opened
    // Where the data comes from, as the file says it (Database::source, an asn.db's
    // package); empty unless opened.
    std::string source;
    std::string version;  // the file's own version record, when it has one
    bool network = false;  // used for network numbers (asn.db, an ASN MaxMind DB)

    bool used() const { return refusal == Refusal::None; }
    // Said to the user: any refusal but a missing file that nobody named.
    bool worthSaying() const { return !used() && (file.named || refusal != Refusal::Missing); }
};

// The files beside the program in `folder` (with its separator at the end), `names` being
// the names of the files there: ipdata.db, then the other location files by name (*.mmdb,
// *.ipdb, qqwry.dat, ip2region.db), then asn.db, then the MaxMind DB files whose name holds
// "asn". ipdata.db and asn.db are listed whether there or not.
std::vector<DataFile> filesBeside(const std::string& folder,
                                  const std::vector<std::string>& names = {});
// The folder part of `path`, with its separator; empty for a bare name.
std::string folderOf(const std::string& path);

class DataFiles {
  public:
    DataFiles(MapFile map, std::vector<DataFile> files);
    DataFiles(const DataFiles&) = delete;
    DataFiles& operator=(const DataFiles&) = delete;

    // Maps and checks each file in order, then reads each through a fresh view: the check
    // read every page, and those pages need not stay. Once; it takes a noticeable moment,
    // so the window calls it off its own thread. A file refused leaves the others in use.
    void open();
    // One report for each file, in the order given; meaningful after open().
    const std::vector<FileReport>& reports() const { return reports_; }
    // The location files in use, as one: each address answered by the first that places it
    // (Layered, when there are several); null when there is none.
    std::shared_ptr<const Database> location() const { return location_; }
    // The first network file in use; null when there is none.
    std::shared_ptr<const Networks> network() const { return network_; }
    // The location data for a job that reads all of the file or answers a whole list (a
    // reverse search, a batch, `ranges`): over views of its own, so that the pages the job
    // reads go when it ends, or as it walks on. location() where no other view is had.
    std::shared_ptr<const Database> forWholeJob() const;

    // Without opening: each file's date from its first bytes, for a window that names the
    // data; Missing (or another refusal) where it cannot be mapped.
    std::vector<FileReport> glance() const;

  private:
    void openLocation(FileReport& report);
    void openNetwork(FileReport& report);

    MapFile map_;
    std::vector<FileReport> reports_;
    // Each location file in use, and the view it reads.
    struct Opened {
        std::shared_ptr<const Database> database;
        std::optional<MappedFile> view;
    };
    std::vector<Opened> locations_;
    std::shared_ptr<const Database> location_;
    std::shared_ptr<const Networks> network_;
};

}  // namespace ipdata
