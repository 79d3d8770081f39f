
#include <span>

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

// The data file first, then the other data files beside it in their order (asn.db among
// them); none for an empty path.
std::vector<ipdata::DataFile> filesAt(platform::Files& files, const platform::Path& path) {
    if (path.empty()) return {};
    const std::string data = path.utf8();
    const std::string folder = ipdata::folderOf(data);
    std::vector<ipdata::DataFile> all = ipdata::filesBeside(
        folder, folder.empty() ? std::vector<std::string>()
                               : files.namesIn(platform::Path::fromUtf8(folder)));
    // The data file named takes the place of ipdata.db, and comes once.
    all.front().path = data;
    for (std::size_t i = all.size(); i-- > 1;)
        if (all[i].path == data) all.erase(all.begin() + static_cast<std::ptrdiff_t>(i));
    return all;
}

}  // namespace

OfflineData::OfflineData(platform::Files& files, platform::Executor& executor,
                         const platform::Path& path,
                         std::function<void(const std::vector<ipdata::FileReport>&)> opened)
    : files_(dataFileMapper(files), filesAt(files, path)), opened_(std::move(opened)) {
    // Without a task the first lookup that needs the data opens it on its own thread.
    if (!path.empty()) loading_ = executor.start([this](platform::StopToken) { get(); });
}

OfflineData::~OfflineData() = default;

void OfflineData::open() {
    files_.open();
    if (opened_ && !files_.reports().empty()) opened_(files_.reports());
}

std::shared_ptr<const ipdata::Database> OfflineData::get() {
    std::call_once(once_, [this] { open(); });
    return files_.location();
}

std::optional<DataFileProblem> OfflineData::refusal() {
    get();
    for (const ipdata::FileReport& report : files_.reports())
        if (report.file.kind == ipdata::FileKind::Location && report.worthSaying()) return report;
    return std::nullopt;
}

std::shared_ptr<const ipdata::Networks> OfflineData::asn() {
    get();
    return files_.network();
}

std::shared_ptr<const ipdata::Database> OfflineData::forWholeJob() {
    get();
    return files_.forWholeJob();
}

namespace {

// A data file's bytes as a row's text: a damaged record's bytes that are no UTF-8 become
// U+FFFD, so that no export writes them.
std::string rowText(std::string_view bytes) {
    return codepage::validUtf8(bytes);
}

Fields fieldsOf(const FieldViews& views) {
    Fields out;
    for (std::size_t i = 0; i < views.size(); ++i) out[i] = rowText(views[i]);
    return out;
}

}  // namespace

// Each in its place by the table of fields.
Fields answerFields(const ipdata::FieldViews& place) {
    return fieldsOf(recordFields(place));
}

Fields answerFields(const ipdata::Fields& fields) {
    return fieldsOf(recordFields(fields));
}

std::optional<Answer> offlineAnswer(const ipdata::Database* database, const std::string& address) {
    if (!database) return std::nullopt;
    // Either family: dotted IPv4 or any IPv6 text.
    const std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return std::nullopt;
    // An IPv4-mapped address is answered as its IPv4 address; the row keeps its text.
    const ip::Address asked = ip::unmapped(*parsed);
    const std::optional<ipdata::Place> place = database->locate(asked);
    std::string text;
    if (place) ipdata::appendDisplay(*place, text);
    // A range whose record says nothing ("0" everywhere) is no answer either; a
    // special-purpose block still says what the address is.
    if (text.empty()) {
        const std::optional<ipdata::SpecialAddress> s = ipdata::special(asked);
        if (!s) return std::nullopt;
        return Answer{std::string(s->answer), Source::DataFile, std::nullopt};
    }
    Answer answer{rowText(text), Source::DataFile, answerFields(place->fields)};
    if (database->hasExtras()) addExtras(database->extras(asked, *place), *answer.fields);
    return answer;
}

void addLocalFields(Answer& answer, OfflineData& offline, const std::string& address) {
    const std::shared_ptr<const ipdata::Database> database = offline.get();
    const std::shared_ptr<const ipdata::Networks> asn = offline.asn();
    if (!database && !asn) return;
    std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return;
    parsed = ip::unmapped(*parsed);
    if (database && !answer.fields) {
        if (const std::optional<ipdata::Place> place = database->locate(*parsed);
            place && !ipdata::displayOf(*place).empty()) {
            answer.fields = answerFields(place->fields);
            if (database->hasExtras()) addExtras(database->extras(*parsed, *place), *answer.fields);
        }
    }
    if (asn && !answer.network) {
        if (std::optional<ipdata::AsnAnswer> found = asn->find(*parsed))
            answer.network = Network{found->number, std::string(found->organisation)};
    }
}

namespace {

// One part of an offline batch: its answers, shared by its rows as they can be.
struct BatchPart {
    SharedAnswers answers;
    OfflineOutcome outcome;
    std::size_t walked = 0;
};

void answerPart(const ipdata::Database& database, const ipdata::Networks* asn,
                std::span<const PendingRow> rows, const platform::StopToken& stop,
                BatchPart& part) {
    SharedAnswers& answers = part.answers;
    answers.rows.reserve(rows.size());
    // Rows that share a record (or a special block) and a network share their answer: it is
    // made once, by the place of the record's bytes. kNone: no answer from that record.
    constexpr std::uint32_t kNone = ~0u;
    // With world data beside, rows of one record may lie in places of their own: the
    // coordinates (and what comes with them) are part of the key.
    struct Key {
        const void* record;
        std::uint32_t network;
        const void* where = nullptr;  // the time zone's bytes, telling records apart
        double latitude = 0, longitude = 0;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const {
            std::size_t h =
                std::hash<const void*>()(k.record) ^ (std::size_t{k.network} * 0x9E3779B9u);
            h ^= std::hash<double>()(k.latitude) * 31 + std::hash<double>()(k.longitude);
            return h ^ std::hash<const void*>()(k.where);
        }
    };
    const bool extras = database.hasExtras();
    std::unordered_map<Key, std::uint32_t, KeyHash> made;
    const auto shared = [&](Key key, const auto& make) {
        auto [at, fresh] = made.try_emplace(key, kNone);
        if (fresh) {
            std::optional<Answer> answer = make();
            if (answer) {
                at->second = static_cast<std::uint32_t>(answers.answers.size());
                answers.answers.push_back(std::move(*answer));
            }
        }
        return at->second;
    };
    OfflineOutcome& outcome = part.outcome;
    std::size_t& walked = part.walked;
    for (const PendingRow& row : rows) {
        if (stop.stop_requested()) break;
        ++walked;
        // Either family; an IPv4-mapped address is answered as its IPv4 address.
        const std::optional<ip::Address> parsed = ip::parseAddress(row.address);
        if (!parsed) {
            ++outcome.unplaced;
            continue;
        }
        const ip::Address asked = ip::unmapped(*parsed);
        const std::optional<ipdata::AsnAnswer> found = asn ? asn->find(asked) : std::nullopt;
        const auto withNetwork = [&found](Answer answer) {
            if (found) answer.network = Network{found->number, std::string(found->organisation)};
            return answer;
        };
        const std::uint32_t number = found ? found->number : 0;
        std::uint32_t place = kNone;
        if (const std::optional<ipdata::Place> located = database.locate(asked)) {
            const ipdata::Extras more =
                extras ? database.extras(asked, *located) : ipdata::Extras{};
            Key key{located->record.data(), number};
            if (more.hasCoordinates()) {
                key.latitude = *more.latitude;
                key.longitude = *more.longitude;
            }
            key.where = more.postalCode.empty() ? more.timeZone.data() : more.postalCode.data();
            place = shared(key, [&]() -> std::optional<Answer> {
                std::string text;
                ipdata::appendDisplay(*located, text);
                if (text.empty()) return std::nullopt;  // a record that says nothing
                Answer answer{rowText(text), Source::DataFile, answerFields(located->fields)};
                addExtras(more, *answer.fields);
                return withNetwork(std::move(answer));
            });
        }
        // Where the data has no real record, a special-purpose block still says what the
        // address is.
        if (place == kNone) {
            if (const std::optional<ipdata::SpecialAddress> s = ipdata::special(asked)) {
                place = shared({s->answer.data(), number}, [&]() -> std::optional<Answer> {
                    return withNetwork({std::string(s->answer), Source::DataFile, std::nullopt});
                });
            }
        }
        if (place == kNone)
            ++outcome.unplaced;
        else
            answers.rows.emplace_back(row.id, place);
    }
}

}  // namespace

void offlineBatchRun(Poster& poster, Events& events, platform::Executor& executor,
                     OfflineData& offline, const std::vector<PendingRow>& rows,
                     platform::StopToken stop) {
    const std::shared_ptr<const ipdata::Database> database = offline.forWholeJob();
    if (!database) {
        poster.post([&events, why = NoData{offline.refusal()}] { events.offlineBatchFailed(why); });
        return;
    }
    const std::shared_ptr<const ipdata::Networks> asn = offline.asn();
    // Lookups only read the data: a long batch whose rows each take a lookup in a second file
    // (coordinates) walks its second half on another task at the same time (the two halves
    // may each make an answer the other made too). Without one, under Wine the second task
    // cost what it gave.
    constexpr std::size_t kHalvesFrom = 16384;
    const std::span<const PendingRow> all(rows);
    const bool halves = database->hasExtras() && rows.size() >= kHalvesFrom;
    const std::size_t half = halves ? rows.size() / 2 : rows.size();
    BatchPart parts[2];
    platform::Task second;
    if (half < rows.size()) {
        second = executor.start([&](platform::StopToken) {
            answerPart(*database, asn.get(), all.subspan(half), stop, parts[1]);
        });
    }
    answerPart(*database, asn.get(), all.first(half), stop, parts[0]);
    if (second.valid()) {
        second.wait();
    } else if (half < rows.size()) {
        answerPart(*database, asn.get(), all.subspan(half), stop, parts[1]);
    }
    SharedAnswers answers = std::move(parts[0].answers);
    OfflineOutcome outcome = parts[0].outcome;
    const auto offset = static_cast<std::uint32_t>(answers.answers.size());
    for (Answer& answer : parts[1].answers.answers) answers.answers.push_back(std::move(answer));
    for (const auto& [id, place] : parts[1].answers.rows)
        answers.rows.emplace_back(id, place + offset);
    outcome.unplaced += parts[1].outcome.unplaced;
    const std::size_t walked = parts[0].walked + parts[1].walked;
    outcome.stopped = walked < rows.size();
    // One step for all rows: the list is redrawn once. An import may have replaced the list
    // meanwhile; its rows, placed or not, went with it.
    const std::optional<RowId> first =
        rows.empty() ? std::nullopt : std::optional<RowId>(rows.front().id);
    poster.post([&events, answers = std::move(answers), outcome, first]() mutable {
        if (first && !events.listed(*first)) {
            answers = {};
            outcome.unplaced = 0;
            outcome.listReplaced = true;
        }
        events.offlineBatchFinished(answers, outcome);
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
            answer.text = rowText(range.display);
            answer.fields = answerFields(range.fields);
            rows.push(ipdata::rangeDisplay(range), answer);
        },
        stop);
    // One step for all rows: the list is redrawn once, however many ranges matched.
    poster.post([&events, rows = std::move(rows)]() mutable {
        events.searchFinished(std::move(rows), true);
    });
}

}  // namespace detail

}  // namespace lookup
