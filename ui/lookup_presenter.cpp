#include "ui/lookup_presenter.h"

#include <algorithm>

#include "text/codepage.h"
#include "text/text.h"
#include "texts/data_texts.h"

namespace ui {

namespace {

const char kBusy[] = "已开始查询,请先停止!";
const char kQuerying[] = "正在查询IP地址...";
const char kNoOfflineData[] = "没有可用的离线地址库,无法离线查询!";

std::string failureText(lookup::SingleFailure failure) {
    switch (failure) {
        case lookup::SingleFailure::NoData:
            return kNoOfflineData;
        case lookup::SingleFailure::NotAnAddress:
            return "不是IPv4或IPv6地址,无法离线查询!";
        case lookup::SingleFailure::NotInData:
            return "离线库中没有这个地址的信息!";
        case lookup::SingleFailure::None:
            break;
    }
    return {};
}

// The characters of `text` GBK lacks.
long long unmappableCharacters(const std::u16string& text) {
    std::size_t lacking = 0;
    codepage::utf16ToGbk(text, lacking);
    return static_cast<long long>(lacking);
}

}  // namespace

LookupPresenter::LookupPresenter(platform::Services& os, platform::Executor& executor,
                                 QueryTable& rows, WindowTexts& texts, Poster& poster,
                                 const platform::Path& dataPath)
    : rows_(rows),
      texts_(texts),
      engine_(std::make_unique<lookup::Engine>(os, executor, poster, *this, dataPath)) {}

LookupPresenter::~LookupPresenter() {
    engine_.reset();
}

void LookupPresenter::setStatus(const std::string& text) {
    lastStatus_ = text;
    texts_.setStatus(text);
}

void LookupPresenter::runStarted(bool started, const char* status) {
    if (!started) return;
    run_ = Run::Running;
    setStatus(status);
}

void LookupPresenter::runSingleQuery() {
    const std::string address = texts_.text(Box::Address);
    if (address.empty()) {
        setStatus("没有填写IP地址!");
        return;
    }
    asked_.push_back(address);
    if (!engine_->query(address, offlineMode_)) asked_.pop_back();
}

void LookupPresenter::startBatchQuery() {
    if (rows_.empty()) {
        setStatus("没有可用IP地址!");
        return;
    }
    if (run_ != Run::Idle) {
        setStatus(kBusy);
        return;
    }
    // Off the offline mode, answers the data gave are asked of the service again: a
    // passing failure of the service does not stay in the list for good.
    std::vector<PendingRow> pending = rows_.pending(!offlineMode_);
    if (pending.empty()) {
        setStatus("查询完毕,共查询出0条数据!");
        return;
    }
    runStarted(engine_->startBatch(std::move(pending), offlineMode_), kQuerying);
}

void LookupPresenter::requestStop() {
    // A stop belongs to the run it was pressed in: with none running it does nothing.
    if (run_ != Run::Running) return;
    run_ = Run::Stopping;
    engine_->stop();
}

void LookupPresenter::startReverseSearch() {
    std::string keywords = texts_.text(Box::Keywords);
    if (keywords.empty()) {
        setStatus("没有填写实际地址!");
        return;
    }
    if (run_ != Run::Idle) {
        setStatus(kBusy);
        return;
    }
    found_ = 0;
    // The box holds UTF-16 and the service takes GBK: what GBK lacks it searches as "?", and
    // the status says so (the data, when it answers, searches the keywords whole: its end
    // says nothing of it).
    const long long lost = unmappableCharacters(texts_.path(Box::Keywords).units());
    keywordsNote_ = lost > 0 ? "关键字中" + numberToText(lost) + "个字符无法转换为GBK,已替换为?"
                             : std::string();
    const std::string starting = "正在查询..." + keywordsNote_;
    runStarted(engine_->startReverseSearch(std::move(keywords)), starting.c_str());
}

void LookupPresenter::showPublicAddress() {
    engine_->fetchPublicAddress();
}

bool LookupPresenter::answered(RowId id, const Answer& answer) {
    if (!rows_.setAnswer(id, answer)) return false;
    // A single query meanwhile may have taken the panel over.
    if (run_ == Run::Running && lastStatus_ != kQuerying) setStatus(kQuerying);
    return true;
}

bool LookupPresenter::listed(RowId id) const {
    return rows_.indexOf(id).has_value();
}

void LookupPresenter::batchFinished(const lookup::BatchOutcome& outcome) {
    run_ = Run::Idle;
    std::string text =
        "查询完毕,共查询出" + numberToText(static_cast<long long>(outcome.answered)) + "条数据!";
    if (outcome.fromData > 0)
        text += "(其中" + numberToText(static_cast<long long>(outcome.fromData)) + "条来自离线库)";
    setStatus(text);
}

void LookupPresenter::offlineBatchFinished(const SharedAnswers& answers,
                                           const lookup::OfflineOutcome& outcome) {
    const auto written = static_cast<long long>(rows_.setAnswers(answers));
    run_ = Run::Idle;
    std::string text = "查询完毕,共查询出" + numberToText(written) + "条数据!(离线查询";
    if (outcome.unplaced > 0)
        text += ",离线库中没有" + numberToText(static_cast<long long>(outcome.unplaced)) + "条";
    setStatus(text + ")");
}

void LookupPresenter::offlineBatchFailed(const lookup::NoData& why) {
    run_ = Run::Idle;
    // A refused file says why; with none the mode has nothing to answer from.
    setStatus(why.refusal ? texts::statusRefusal(*why.refusal) : std::string(kNoOfflineData));
}

void LookupPresenter::addFound(RowStore rows) {
    const auto count = static_cast<long long>(rows.size());
    if (count == 0) return;
    if (found_ == 0) {
        rows_.replaceRows(std::move(rows));
    } else {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const RowView row = rows[i];
            rows_.append(row.address, {std::string(row.text), row.source, std::nullopt});
        }
    }
    found_ += count;
}

void LookupPresenter::rangesFound(RowStore rows) {
    addFound(std::move(rows));
    std::string text = "正在查询,已找到" + numberToText(found_) + "条数据!";
    if (run_ == Run::Stopping) text += "[停止中]";
    setStatus(text);
}

void LookupPresenter::searchFinished(RowStore lastRows, bool fromData) {
    // Nothing found keeps the user's list.
    addFound(std::move(lastRows));
    run_ = Run::Idle;
    // The data searched the keywords whole; only the service had them in GBK.
    setStatus("查询完毕,共找到" + numberToText(found_) + "条数据!" +
              (fromData ? std::string() : keywordsNote_));
}

void LookupPresenter::singleAnswered(const std::string& address,
                                     const lookup::SingleResult& result) {
    // Answers come back in the order the queries were asked.
    if (!asked_.empty()) asked_.pop_front();
    setStatus("正在查询,已查询到1条数据!");
    RowView shown;
    shown.text = result.answer.text;
    shown.source = result.answer.source;
    const std::string text = result.failure != lookup::SingleFailure::None
                                 ? failureText(result.failure)
                                 : shownLocation(shown);
    texts_.setText(Box::Result, text);
    // The answer is shown with its own address, unless the box holds a text the user has
    // typed since and not yet asked about.
    const std::string inBox = texts_.text(Box::Address);
    if (inBox != address &&
        (inBox == shownAddress_ || std::find(asked_.begin(), asked_.end(), inBox) != asked_.end()))
        texts_.setText(Box::Address, address);
    shownAddress_ = address;
    setStatus("查询完毕!");
}

void LookupPresenter::publicAddressFound(const std::optional<std::string>& echoed) {
    texts_.setPanel(2, echoed ? *echoed : std::string("本机没有连接到网络,请退出连接网络后操作!"));
}

void LookupPresenter::dataFileRefused(const lookup::DataFileProblem& problem) {
    setStatus(texts::statusRefusal(problem));
}

void LookupPresenter::dataFilesOpened(const std::vector<ipdata::FileReport>& reports) {
    dataFiles_ = reports;
    if (dataFilesArrived_) dataFilesArrived_();
}

}  // namespace ui
