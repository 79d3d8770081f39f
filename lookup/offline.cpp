
#include "ipdata/special.h"
#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/codepage.h"
#include "text/text.h"

namespace lookup {

std::vector<std::string> keywordsOf(const std::string& text) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // Walked by character, so the ideographic space an input method types (U+3000) is
        // only ever a character of its own.
        const std::size_t width = codepage::decodeUtf8(text, i).length;
        const bool space = c == ' ' || c == '\t' || text.compare(i, width, "\u3000") == 0;
        if (!space) {
            words.back().append(text, i, width);
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
        i += width;
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

namespace {

ipdata::MappedFile mappedOf(std::shared_ptr<const platform::FileView> view) {
    const std::string_view bytes = view->bytes();
    auto again = [view]() -> std::optional<ipdata::MappedFile> {
        std::optional<platform::FileView> fresh = view->again();
        if (!fresh) return std::nullopt;
        return mappedOf(std::make_shared<const platform::FileView>(std::move(*fresh)));
    };
    return {bytes, std::move(view), std::move(again)};
}

}  // namespace

ipdata::MapFile dataFileMapper(platform::Files& files) {
    return [&files](const std::string& path,
                    ipdata::Refusal& why) -> std::optional<ipdata::MappedFile> {
        const platform::Path at = platform::Path::fromUtf8(path);
        // Files::map does not say why it failed: a file that is there could not be read.
        if (!files.exists(at)) {
            why = ipdata::Refusal::Missing;
            return std::nullopt;
        }
        std::optional<platform::FileView> view = files.map(at);
        if (!view) {
            why = ipdata::Refusal::Unreadable;
            return std::nullopt;
        }
        return mappedOf(std::make_shared<const platform::FileView>(std::move(*view)));
    };
}

namespace detail {

namespace {

// The data file, and asn.db beside it; none for an empty path.
std::vector<ipdata::DataFile> filesAt(const platform::Path& path) {
    if (path.empty()) return {};
    const std::string data = path.utf8();
    return {{ipdata::FileKind::Location, data},
            {ipdata::FileKind::Network, ipdata::folderOf(data) + "asn.db"}};
}

}  // namespace

OfflineData::OfflineData(platform::Files& files, platform::Executor& executor,
                         const platform::Path& path, std::function<void(DataFileProblem)> refused)
    : files_(dataFileMapper(files), filesAt(path)), refused_(std::move(refused)) {
    // Without a task the first lookup that needs the data opens it on its own thread.
    if (!path.empty()) loading_ = executor.start([this](platform::StopToken) { get(); });
}

OfflineData::~OfflineData() = default;

void OfflineData::open() {
    files_.open();
    if (!refused_) return;
    for (const ipdata::FileReport& report : files_.reports())
        if (report.worthSaying()) refused_(report);
}

std::shared_ptr<const ipdata::Database> OfflineData::get() {
    std::call_once(once_, [this] { open(); });
    return files_.location();
}

std::shared_ptr<const ipdata::AsnDatabase> OfflineData::asn() {
    get();
    return files_.network();
}

std::shared_ptr<const ipdata::Database> OfflineData::forWholeJob() {
    get();
    return files_.forWholeJob();
}

Fields answerFields(const ipdata::Fields& f) {
    // Each in its place by the table of fields.
    const FieldViews views = recordFields(f);
    Fields out;
    for (std::size_t i = 0; i < views.size(); ++i) out[i] = views[i];
    return out;
}

std::optional<Answer> offlineAnswer(const ipdata::Database* database, const std::string& address) {
    if (!database) return std::nullopt;
    // Either family: dotted IPv4 or any IPv6 text.
    const std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return std::nullopt;
    // An IPv4-mapped address is answered as its IPv4 address; the row keeps its text.
    const ip::Address asked = ip::unmapped(*parsed);
    std::optional<ipdata::Range> range = database->find(asked);
    // A range whose region says nothing ("0" everywhere) is no answer either; a
    // special-purpose block still says what the address is.
    if (!range || range->display.empty()) {
        const std::optional<ipdata::SpecialAddress> s = ipdata::special(asked);
        if (!s) return std::nullopt;
        return Answer{std::string(s->answer), Source::DataFile, std::nullopt};
    }
    return Answer{std::move(range->display), Source::DataFile, answerFields(range->fields)};
}

void addLocalFields(Answer& answer, OfflineData& offline, const std::string& address) {
    const std::shared_ptr<const ipdata::Database> database = offline.get();
    const std::shared_ptr<const ipdata::AsnDatabase> asn = offline.asn();
    if (!database && !asn) return;
    std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return;
    parsed = ip::unmapped(*parsed);
    if (database && !answer.fields) {
        if (std::optional<ipdata::Range> range = database->find(*parsed);
            range && !range->display.empty())
            answer.fields = answerFields(range->fields);
    }
    if (asn && !answer.network) {
        if (std::optional<ipdata::AsnAnswer> found = asn->find(*parsed))
            answer.network = Network{found->number, std::string(found->organisation)};
    }
}

void offlineBatchRun(Poster& poster, Events& events, OfflineData& offline,
                     const std::vector<PendingRow>& rows, platform::StopToken stop) {
    const std::shared_ptr<const ipdata::Database> database = offline.forWholeJob();
    if (!database) {
        poster.post([&events] { events.offlineBatchFailed(); });
        return;
    }
    std::vector<RowAnswer> answers;
    answers.reserve(rows.size());
    std::size_t unplaced = 0;
    for (const PendingRow& row : rows) {
        if (stop.stop_requested()) break;
        std::optional<Answer> answer = offlineAnswer(database.get(), row.address);
        if (!answer) {
            ++unplaced;
        } else {
            addLocalFields(*answer, offline, row.address);
            answers.push_back({row.id, std::move(*answer)});
        }
    }
    // One step for all rows: the list is redrawn once.
    poster.post([&events, answers = std::move(answers), unplaced] {
        events.offlineBatchFinished(answers, unplaced);
    });
}

void offlineReverseRun(Poster& poster, Events& events, const ipdata::Database& database,
                       const std::string& keywords, platform::StopToken stop) {
    // Each range becomes its row as it is found, in the table's own compact form: no list
    // of ranges beside the rows.
    RowStore rows;
    Answer answer{{}, Source::RangeSearch, std::nullopt};
    database.searchEach(
        keywordsOf(keywords),
        [&](ipdata::Range& range) {
            answer.text = std::move(range.display);
            answer.fields = answerFields(range.fields);
            rows.push(ipdata::rangeDisplay(range), answer);
        },
        stop);
    // One step for all rows: the list is redrawn once, however many ranges matched.
    poster.post(
        [&events, rows = std::move(rows)]() mutable { events.searchFinished(std::move(rows)); });
}

}  // namespace detail

}  // namespace lookup
