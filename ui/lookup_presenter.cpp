#include "ui/lookup_presenter.h"

#include <algorithm>

#include "text/codepage.h"
#include "text/text.h"

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

// The characters of `text` GBK lacks: utf16ToGbk makes each UTF-16 unit it cannot map a
// "?", and "?" is never a GBK trail byte, so the "?"s that were not typed are those
// characters; a surrogate pair (nothing past the BMP is in GBK) gives two for one.
long long unmappableCharacters(const std::u16string& text) {
    const std::string gbk = codepage::utf16ToGbk(text);
    long long typed = 0, pairs = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'?') ++typed;
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++pairs;
            ++i;
        }
    }
    const auto after = static_cast<long long>(std::count(gbk.begin(), gbk.end(), '?'));
    return std::max(after - typed - pairs, 0LL);
}

}  // namespace

std::string refusalText(const ipdata::OpenFailure& failure) {
    using E = ipdata::OpenError;
    const auto range = [&](const char* what) {
        return "地址库第 " + numberToText(static_cast<long long>(failure.range) + 1) + " 条地址段" +
               what;
    };
    const auto damaged = [](const char* what) { return std::string("地址库文件已损坏:") + what; };
    switch (failure.error) {
        case E::Empty:
            return "地址库文件是空的";
        case E::NoHeader:
            return "地址库文件太短,没有完整的文件头";
        case E::IndexReversed:
            return "地址库文件头有误:索引的起点在终点之后";
        case E::IndexOverlapsHeader:
            return "地址库文件头有误:索引与文件头重叠";
        case E::IndexNotWholeEntries:
            return "地址库文件头有误:索引长度不是 12 字节的整数倍";
        case E::IndexPastEnd:
            return "地址库索引超出了文件末尾,文件可能不完整";
        case E::RangeReversed:
            return range("的起止地址颠倒");
        case E::RangeOutOfOrder:
            return range("未按地址排列,或与前一段重叠");
        case E::RecordTooShort:
            return range("的地区记录太短");
        case E::RecordPastEnd:
            return range("的地区记录超出了文件末尾");
        case E::NoMetadataLength:
            return damaged("文件太短,没有元数据的长度");
        case E::MetadataPastEnd:
            return damaged("元数据超出了文件末尾");
        case E::MetadataNotJson:
            return damaged("元数据不是有效的 JSON 对象");
        case E::NoNodeCount:
            return damaged("元数据缺少 node_count,或它不是整数");
        case E::NoIpVersion:
            return damaged("元数据缺少 ip_version,或它不是整数");
        case E::NoTotalSize:
            return damaged("元数据缺少 total_size,或它不是整数");
        case E::NoFields:
            return damaged("元数据缺少 fields,或它不是字段名的列表");
        case E::NoLanguages:
            return damaged("元数据缺少 languages,或它有误");
        case E::NoFamily:
            return damaged("元数据的 ip_version 既不是 IPv4 也不是 IPv6");
        case E::ShorterThanMetadata:
            return damaged("文件比元数据所说的短,可能不完整");
        case E::NodeCountMismatch:
            return damaged("节点数与文件大小不符");
        case E::BadLanguage:
            return damaged("元数据的 languages 有误");
        case E::NodePointedTwice:
            return damaged("地址树中有节点被重复指向(环路或共用)");
        case E::RecordPointerPastEnd:
            return damaged("地址记录超出了文件末尾");
    }
    return {};
}

LookupPresenter::LookupPresenter(platform::Services& os, platform::Executor& executor,
                                 QueryTable& rows, WindowTexts& texts, Poster& poster,
                                 platform::Path dataPath)
    : rows_(rows),
      texts_(texts),
      dataPath_(dataPath),
      engine_(std::make_unique<lookup::Engine>(os, executor, poster, *this, std::move(dataPath))) {}

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
    written_ = fromData_ = 0;
    batchRow_ = pending.front().id;
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
    // The box holds UTF-16 and the search goes on GBK: what GBK lacks is searched as "?",
    // by the service and by the data alike, and the status says so.
    const long long lost = unmappableCharacters(texts_.path(Box::Keywords).units());
    keywordsNote_ = lost > 0 ? "关键字中" + numberToText(lost) + "个字符无法转换为GBK,已替换为?"
                             : std::string();
    const std::string starting = "正在查询..." + keywordsNote_;
    runStarted(engine_->startReverseSearch(std::move(keywords)), starting.c_str());
}

void LookupPresenter::showPublicAddress() {
    engine_->fetchPublicAddress();
}

bool LookupPresenter::listReplaced() const {
    return !rows_.indexOf(batchRow_);
}

bool LookupPresenter::answered(RowId id, const Answer& answer) {
    if (!rows_.setAnswer(id, answer)) {
        // The whole list went in one step: no row answered before is left to count.
        written_ = fromData_ = 0;
        return false;
    }
    ++written_;
    fromData_ += answer.source == Source::DataFile;
    // A single query meanwhile may have taken the panel over.
    if (run_ == Run::Running && lastStatus_ != kQuerying) setStatus(kQuerying);
    return true;
}

void LookupPresenter::batchFinished() {
    run_ = Run::Idle;
    // A run stopped after a replace hears no answer that finds its row gone.
    if (listReplaced()) written_ = fromData_ = 0;
    std::string text = "查询完毕,共查询出" + numberToText(written_) + "条数据!";
    if (fromData_ > 0) text += "(其中" + numberToText(fromData_) + "条来自离线库)";
    setStatus(text);
}

void LookupPresenter::offlineBatchFinished(const std::vector<RowAnswer>& answers,
                                           std::size_t unplaced) {
    const auto written = static_cast<long long>(rows_.setAnswers(answers));
    // The rows the data could not place went with a replaced list.
    if (listReplaced()) unplaced = 0;
    run_ = Run::Idle;
    std::string text = "查询完毕,共查询出" + numberToText(written) + "条数据!(离线查询";
    if (unplaced > 0)
        text += ",离线库中没有" + numberToText(static_cast<long long>(unplaced)) + "条";
    setStatus(text + ")");
}

void LookupPresenter::offlineBatchFailed() {
    run_ = Run::Idle;
    setStatus(kNoOfflineData);
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

void LookupPresenter::searchFinished(RowStore lastRows) {
    // Nothing found keeps the user's list.
    addFound(std::move(lastRows));
    run_ = Run::Idle;
    setStatus("查询完毕,共找到" + numberToText(found_) + "条数据!" + keywordsNote_);
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

namespace {

std::string asnRefusalText(ipdata::AsnError error) {
    using E = ipdata::AsnError;
    switch (error) {
        case E::kTooShort:
            return "文件太短,没有完整的文件头";
        case E::kNotAsnFile:
            return "不是网络编号库文件";
        case E::kUnknownVersion:
            return "文件版本不受支持";
        case E::kBadHeader:
            return "文件头有误,文件可能不完整";
        case E::kSectionOutOfFile:
            return "数据表超出了文件范围,文件可能不完整";
        case E::kUnsortedRanges:
            return "地址段未按地址排列,或有重叠";
        case E::kEntryOutOfTable:
            return "地址段指向的条目不存在";
        case E::kStringOutOfTable:
            return "组织名称超出了字符串表";
        case E::kBadText:
            return "组织名称不是有效的UTF-8文本";
        case E::kNone:
            break;
    }
    return "文件已损坏";
}

}  // namespace

void LookupPresenter::dataFileRefused(const lookup::DataFileProblem& problem) {
    using Kind = lookup::DataFileProblem::Kind;
    if (problem.kind == Kind::AsnUnreadable || problem.kind == Kind::AsnRefused) {
        const std::string reason = problem.kind == Kind::AsnUnreadable
                                       ? std::string("无法读取文件 asn.db")
                                       : asnRefusalText(problem.asnRefusal);
        setStatus("网络编号库(asn.db)无法使用:" + reason);
        return;
    }
    const std::string reason = problem.kind == lookup::DataFileProblem::Kind::Unreadable
                                   ? "无法读取文件 " + dataPath_.utf8()
                                   : refusalText(problem.refusal);
    setStatus("离线地址库无法使用:" + reason);
}

}  // namespace ui
