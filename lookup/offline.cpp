#include <atomic>
#include <iterator>

#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/codepage.h"
#include "text/text.h"

namespace lookup {

std::vector<std::string> keywordsOf(const std::string& text) {
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // Walked by character: a double-byte character's trail byte may be 0xA1, so the
        // full-width space (A1 A1) is only ever a character of its own.
        const std::size_t width = codepage::gbkCharLength(text, i);
        const bool space = c == ' ' || c == '\t' || text.compare(i, width, "\xA1\xA1") == 0;
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

OfflineData::OfflineData(platform::Files& files, platform::Executor& executor, platform::Path path,
                         std::function<void(const std::string& reason)> refused)
    : files_(files), path_(std::move(path)), refused_(std::move(refused)) {
    // Without a task the first lookup that needs the data opens it on its own thread.
    if (!path_.empty()) loading_ = executor.start([this](platform::StopToken) { get(); });
}

OfflineData::~OfflineData() = default;

std::shared_ptr<const ipdata::Database> OfflineData::get() {
    std::call_once(once_, [this] { load(); });
    return database_;
}

void OfflineData::load() {
    if (path_.empty() || !files_.exists(path_)) return;
    std::string reason;
    std::unique_ptr<ipdata::Database> opened;
    if (auto view = files_.map(path_)) {
        auto owner = std::make_shared<const platform::FileView>(std::move(*view));
        opened = ipdata::openDatabase(owner->bytes(), owner, reason);
    } else {
        reason = "无法读取文件 " + path_.gbk();
    }
    if (opened) {
        database_ = std::move(opened);
    } else if (refused_) {
        refused_(reason);
    }
}

std::string offlineAnswer(const ipdata::Database* database, const std::string& address) {
    if (!database) return {};
    // Either family: dotted IPv4 or any IPv6 text.
    const std::optional<ip::Address> parsed = ip::parseAddress(address);
    if (!parsed) return {};
    const std::optional<ipdata::Range> range = database->find(*parsed);
    // A range whose region says nothing ("0" everywhere) is no answer either.
    if (!range || range->display.empty()) return {};
    return range->display + kOfflineMark;
}

void offlineBatchRun(const std::shared_ptr<WindowSide>& side, OfflineData& offline,
                     const std::vector<PendingRow>& rows, platform::StopToken stop) {
    const std::shared_ptr<const ipdata::Database> database = offline.get();
    if (!database) {
        post(side, [](WindowSide& s) {
            s.run = RunState::Idle;
            s.texts.setStatus(kNoOfflineData);
        });
        return;
    }
    std::vector<RowAnswer> answers;
    answers.reserve(rows.size());
    std::size_t unplaced = 0;
    for (const PendingRow& row : rows) {
        if (stop.stop_requested()) break;
        std::string location = offlineAnswer(database.get(), row.address);
        if (location.empty())
            ++unplaced;
        else
            answers.push_back({row.id, std::move(location)});
    }
    // One step for all rows: the list is redrawn once.
    post(side, [answers = std::move(answers), unplaced](WindowSide& s) mutable {
        const long long written = static_cast<long long>(s.rows.setLocations(std::move(answers)));
        s.run = RunState::Idle;
        std::string text = "查询完毕,共查询出" + numberToText(written) + "条数据!(离线查询";
        if (unplaced > 0)
            text += ",离线库中没有" + numberToText(static_cast<long long>(unplaced)) + "条";
        s.texts.setStatus(text + ")");
    });
}

void offlineReverseRun(const std::shared_ptr<WindowSide>& side, const ipdata::Database& database,
                       const std::string& keywords, platform::StopToken stop) {
    // Each range becomes its row as it is found: no list of ranges beside the rows.
    // Gathered in blocks, so that growing moves nothing, then moved into a list of the
    // exact size, each block freed once moved: the rows are held about once, never twice.
    // (Blocks this large are given back to the system when freed, small ones are not.)
    constexpr std::size_t kBlockRows = 1 << 15;
    std::vector<std::vector<Row>> blocks;
    std::size_t found = 0;
    database.searchEach(
        keywordsOf(keywords),
        [&](ipdata::Range& range) {
            if (blocks.empty() || blocks.back().size() == kBlockRows) {
                blocks.emplace_back();
                blocks.back().reserve(kBlockRows);
            }
            blocks.back().push_back({0, ipdata::rangeDisplay(range), std::move(range.display)});
            ++found;
        },
        stop);
    std::vector<Row> rows;
    rows.reserve(found);
    for (std::vector<Row>& block : blocks) {
        std::move(block.begin(), block.end(), std::back_inserter(rows));
        std::vector<Row>().swap(block);
    }
    // One step for all rows: the list is redrawn once, however many ranges matched.
    post(side, [rows = std::move(rows)](WindowSide& s) mutable {
        const long long count = static_cast<long long>(rows.size());
        // Nothing found keeps the user's list, as a web search that finds nothing does.
        if (count > 0) s.rows.replaceRows(std::move(rows));
        s.run = RunState::Idle;
        s.texts.setStatus("查询完毕,共找到" + numberToText(count) + "条数据!");
    });
}

}  // namespace detail

}  // namespace lookup
