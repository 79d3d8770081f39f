#include "ipdata/data_files.h"

#include "ipdata/file_date.h"

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

std::vector<DataFile> filesBeside(const std::string& folder) {
    return {{FileKind::Location, folder + "ipdata.db"}, {FileKind::Network, folder + "asn.db"}};
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
    report.date = fileDate(file->bytes.substr(0, kDateHeadBytes));
    // A qqwry.dat file dates itself in its version record, at the end (as a glance reads it).
    if (report.format == "qqwry") report.date = versionDate(opened->versionText().value_or(""));
    // Later files wait their turn: today the first usable one answers.
    if (location_) return;
    keepFresh(opened, *file);
    location_ = std::move(opened);
    locationView_ = std::move(file);
}

void DataFiles::openNetwork(FileReport& report) {
    std::optional<MappedFile> file = map_(report.file.path, report.refusal);
    if (!file) {
        if (report.refusal == Refusal::None) report.refusal = Refusal::Unreadable;
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
    if (!location_ || !locationView_) return location_;
    std::optional<MappedFile> fresh = freshView(*locationView_);
    if (!fresh) return location_;
    MoreViews more = [again = locationView_->again]() -> std::optional<BytesView> {
        std::optional<MappedFile> next = again();
        if (!next) return std::nullopt;
        return BytesView{next->bytes, next->owner};
    };
    if (auto own = location_->at(fresh->bytes, fresh->owner, more)) return own;
    return location_;
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
