#include "ipdata/data_files.h"

#include <algorithm>

#include "ipdata/file_date.h"
#include "ipdata/layered.h"
#include "ipdata/mmdb.h"

namespace ipdata {

namespace {

std::optional<MappedFile> freshView(const MappedFile& file) {
    return file.again ? file.again() : std::nullopt;
}

// `opened`, checked through `file`, moved to a fresh view of the same mapping where there
// is one; `file` becomes the view it reads in the end.
template <class Opened>
void keepFresh(std::unique_ptr<Opened>& opened, MappedFile& file) {
    if (std::optional<MappedFile> fresh = freshView(file)) {
        if (auto moved = opened->at(fresh->bytes, fresh->owner)) {
            opened = std::move(moved);
            file = std::move(*fresh);
        }
    }
}

}  // namespace

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

std::vector<DataFile> filesBeside(const std::string& folder,
                                  const std::vector<std::string>& names) {
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::vector<DataFile> files{{FileKind::Location, folder + "ipdata.db"}};
    std::vector<DataFile> networks{{FileKind::Network, folder + "asn.db"}};
    for (const std::string& name : sorted) {
        const std::string n = lower(name);
        if (n == "ipdata.db" || n == "asn.db") continue;
        const bool mmdb = n.ends_with(".mmdb");
        if (mmdb && n.find("asn") != std::string::npos) {
            networks.push_back({FileKind::Network, folder + name});
        } else if (mmdb || n.ends_with(".ipdb") || n == "qqwry.dat" || n == "ip2region.db") {
            files.push_back({FileKind::Location, folder + name});
        }
    }
    files.insert(files.end(), networks.begin(), networks.end());
    return files;
}

DataFiles::DataFiles(MapFile map, std::vector<DataFile> files) : map_(std::move(map)) {
    for (DataFile& file : files) {
        FileReport& report = reports_.emplace_back();
        report.file = std::move(file);
    }
}

void DataFiles::open() {
    for (FileReport& report : reports_) {
        if (report.file.kind == FileKind::Location) {
            openLocation(report);
        } else {
            openNetwork(report);
        }
    }
    if (locations_.size() == 1) {
        location_ = locations_.front().database;
    } else if (!locations_.empty()) {
        std::vector<std::shared_ptr<const Database>> each;
        for (const Opened& opened : locations_) each.push_back(opened.database);
        location_ = std::make_shared<Layered>(std::move(each));
    }
}

void DataFiles::openLocation(FileReport& report) {
    std::optional<MappedFile> file = map_(report.file.path, report.refusal);
    if (!file) {
        if (report.refusal == Refusal::None) report.refusal = Refusal::Unreadable;
        return;
    }
    std::unique_ptr<Database> opened = openDatabase(file->bytes, file->owner, report.failure);
    if (!opened) {
        report.refusal = Refusal::Damaged;
        return;
    }
    report.format = opened->formatName();
    report.source = opened->source();
    report.date = fileDate(file->bytes.substr(0, kDateHeadBytes));
    report.version = opened->versionText().value_or(std::string());
    // A qqwry.dat file dates itself in its version record, at the end (as a glance reads it).
    if (report.format == "qqwry") report.date = versionDate(report.version);
    keepFresh(opened, *file);
    // A MaxMind DB of AS numbers among the location files gives network numbers.
    if (isNetworkFile(*opened)) {
        report.network = true;
        if (!network_) network_ = mmdbNetworks(std::move(opened));
        return;
    }
    locations_.push_back({std::move(opened), std::move(file)});
}

void DataFiles::openNetwork(FileReport& report) {
    std::optional<MappedFile> file = map_(report.file.path, report.refusal);
    if (!file) {
        if (report.refusal == Refusal::None) report.refusal = Refusal::Unreadable;
        return;
    }
    report.network = true;
    if (looksLikeMmdb(file->bytes)) {
        std::unique_ptr<Database> opened = openMmdb(file->bytes, file->owner, report.failure);
        if (!opened) {
            report.refusal = Refusal::Damaged;
            return;
        }
        report.format = opened->formatName();
        report.version = opened->versionText().value_or(std::string());
        keepFresh(opened, *file);
        if (!network_) network_ = mmdbNetworks(std::move(opened));
        return;
    }
    std::unique_ptr<AsnDatabase> opened =
        AsnDatabase::open(file->bytes, file->owner, report.asnError);
    if (!opened) {
        report.refusal = Refusal::Damaged;
        return;
    }
    report.format = "asn.db";
    report.date = fileDate(file->bytes.substr(0, kDateHeadBytes));
    report.source = std::string(opened->source());
    if (network_) return;
    keepFresh(opened, *file);
    network_ = std::move(opened);
}

std::shared_ptr<const Database> DataFiles::forWholeJob() const {
    std::vector<std::shared_ptr<const Database>> each;
    for (const Opened& opened : locations_) {
        std::shared_ptr<const Database> own = opened.database;
        if (opened.view) {
            if (std::optional<MappedFile> fresh = freshView(*opened.view)) {
                MoreViews more = [again = opened.view->again]() -> std::optional<BytesView> {
                    std::optional<MappedFile> next = again();
                    if (!next) return std::nullopt;
                    return BytesView{next->bytes, next->owner};
                };
                if (auto moved = opened.database->at(fresh->bytes, fresh->owner, more))
                    own = std::move(moved);
            }
        }
        each.push_back(std::move(own));
    }
    if (each.empty()) return nullptr;
    if (each.size() == 1) return each.front();
    return std::make_shared<Layered>(std::move(each));
}

std::vector<FileReport> DataFiles::glance() const {
    std::vector<FileReport> seen;
    for (const FileReport& opened : reports_) {
        FileReport report;
        report.file = opened.file;
        if (std::optional<MappedFile> file = map_(report.file.path, report.refusal)) {
            report.refusal = Refusal::None;
            report.date = fileDate(file->bytes.substr(0, kDateHeadBytes));
            if (report.date.empty()) report.date = versionDateOfFile(file->bytes);
        } else if (report.refusal == Refusal::None) {
            report.refusal = Refusal::Unreadable;
        }
        seen.push_back(std::move(report));
    }
    return seen;
}

}  // namespace ipdata
