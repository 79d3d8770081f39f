
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

namespace detail {
namespace {

// The open read every page of the file to check it (some 40 MB of the two files), and a
// view keeps the pages read through it: the database moves to a fresh view of the same
// mapping, which holds only what lookups read from then on.
std::shared_ptr<const platform::FileView> freshView(const platform::FileView& view) {
    std::optional<platform::FileView> fresh = view.again();
    if (!fresh) return nullptr;
    return std::make_shared<const platform::FileView>(std::move(*fresh));
}

// `opened`, checked through `checked`, moved to a fresh view of the same mapping where
// there is one; the view it reads in the end.
template <class Database>
std::shared_ptr<const platform::FileView> keepFresh(
    std::unique_ptr<Database>& opened, const std::shared_ptr<const platform::FileView>& checked) {
    if (auto fresh = freshView(*checked)) {
        if (auto moved = opened->at(fresh->bytes(), fresh)) {
            opened = std::move(moved);
            return fresh;
        }
    }
    return checked;
}

}  // namespace

OfflineData::OfflineData(platform::Files& files, platform::Executor& executor, platform::Path path,
                         std::function<void(DataFileProblem)> refused)
    : files_(files), path_(std::move(path)), refused_(std::move(refused)) {
    // Without a task the first lookup that needs the data opens it on its own thread.
    if (!path_.empty()) loading_ = executor.start([this](platform::StopToken) { get(); });
}

OfflineData::~OfflineData() = default;

std::shared_ptr<const ipdata::Database> OfflineData::get() {
    std::call_once(once_, [this] {
        load();
        loadAsn();
    });
    return database_;
}

std::shared_ptr<const ipdata::AsnDatabase> OfflineData::asn() {
    get();
    return asn_;
}

std::shared_ptr<const ipdata::Database> OfflineData::forWholeJob() {
    std::shared_ptr<const ipdata::Database> database = get();
    if (!database || !view_) return database;
    std::shared_ptr<const platform::FileView> fresh = freshView(*view_);
    if (!fresh) return database;
    ipdata::MoreViews more = [view = view_]() -> std::optional<ipdata::BytesView> {
        std::shared_ptr<const platform::FileView> next = freshView(*view);
        if (!next) return std::nullopt;
        return ipdata::BytesView{next->bytes(), next};
    };
    if (auto own = database->at(fresh->bytes(), fresh, more)) return own;
    return database;
}

// asn.db beside the data file, whether or not the data file is there; missing, nothing is
// said (as of the data file), unreadable or damaged, why.
void OfflineData::loadAsn() {
    if (path_.empty()) return;
    std::u16string units = path_.units();
    units.resize(units.find_last_of(u"\\/") + 1);  // npos + 1: the name alone
    const platform::Path path(units + u"asn.db");
    if (!files_.exists(path)) return;
    DataFileProblem problem{DataFileProblem::Kind::AsnUnreadable, {}};
    std::unique_ptr<ipdata::AsnDatabase> opened;
    if (auto view = files_.map(path)) {
        auto owner = std::make_shared<const platform::FileView>(std::move(*view));
        opened = ipdata::AsnDatabase::open(owner->bytes(), owner, problem.asnRefusal);
        problem.kind = DataFileProblem::Kind::AsnRefused;
        if (opened) keepFresh(opened, owner);
    }
    if (opened) {
        asn_ = std::move(opened);
    } else if (refused_) {
        refused_(problem);
    }
}

void OfflineData::load() {
    if (path_.empty() || !files_.exists(path_)) return;
    DataFileProblem problem{DataFileProblem::Kind::Unreadable, {}};
    std::unique_ptr<ipdata::Database> opened;
    if (auto view = files_.map(path_)) {
        auto owner = std::make_shared<const platform::FileView>(std::move(*view));
        opened = ipdata::openDatabase(owner->bytes(), owner, problem.refusal);
        problem.kind = DataFileProblem::Kind::Refused;
        if (opened) view_ = keepFresh(opened, owner);
    }
    if (opened) {
        database_ = std::move(opened);
    } else if (refused_) {
        refused_(problem);
    }
}

Fields answerFields(const ipdata::Fields& f) {
    return {f.country, f.region, f.city, f.district, f.owner, f.isp, f.countryCode};
}

std::optional<Answer> offlineAnswer(const ipdata::Database* database, const std::string& address) {
    if (!database) return std::nullopt;
    // Either family: dotted IPv4 or any IPv6 text.
    const std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return std::nullopt;
    std::optional<ipdata::Range> range = database->find(*parsed);
    // A range whose region says nothing ("0" everywhere) is no answer either.
    if (!range || range->display.empty()) return std::nullopt;
    return Answer{std::move(range->display), Source::DataFile, answerFields(range->fields)};
}

void addLocalFields(Answer& answer, OfflineData& offline, const std::string& address) {
    const std::shared_ptr<const ipdata::Database> database = offline.get();
    const std::shared_ptr<const ipdata::AsnDatabase> asn = offline.asn();
    if (!database && !asn) return;
    const std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return;
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
