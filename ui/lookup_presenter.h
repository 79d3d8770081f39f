// The lookup buttons of the main window: starts the engines with what the boxes hold and
// words what they report into the status panels and boxes. It keeps its own state (the
// run, the search's count, the single queries asked) and never reads a panel back.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lookup/lookup.h"
#include "platform/executor.h"
#include "platform/path.h"
#include "platform/services.h"
#include "table/table.h"
#include "ui/window_texts.h"

namespace ui {

class LookupPresenter final : public lookup::Events {
  public:
    // Everything passed in must outlive the presenter, whose posted work the poster drops
    // once the window is closing. `dataPath`: the address data file; empty for none.
    LookupPresenter(platform::Services& os, platform::Executor& executor, QueryTable& rows,
                    WindowTexts& texts, Poster& poster, const platform::Path& dataPath = {});
    // Ends the engine's work first.
    ~LookupPresenter() override;
    LookupPresenter(const LookupPresenter&) = delete;
    LookupPresenter& operator=(const LookupPresenter&) = delete;

    void runSingleQuery();      // 按钮_单一查询
    void startBatchQuery();     // toolbar button 0
    void requestStop();         // toolbar button 2
    void startReverseSearch();  // 按钮_反向查询
    // The offline mode (toolbar check button): the batch and the single query answer from
    // the address data alone and ask no service. Off, a batch asks the service again for
    // rows whose answer came from the data.
    void setOfflineMode(bool on) { offlineMode_ = on; }
    bool offlineMode() const { return offlineMode_; }
    // Start-up's last step: the public address in panel 2. Once; a later call does nothing.
    void showPublicAddress();
    // Panel 1 now shows `text`, whoever put it there (an import's result, say): a batch's
    // next answer puts its progress text back.
    void statusShown(const std::string& text) { lastStatus_ = text; }
    // The data files' reports once they are open, in the data owner's order; null until then.
    const std::vector<ipdata::FileReport>* dataFiles() const {
        return dataFiles_ ? &*dataFiles_ : nullptr;
    }
    // Called when the reports arrive, on the window thread.
    void onDataFiles(std::function<void()> arrived) { dataFilesArrived_ = std::move(arrived); }

    // lookup::Events
    bool answered(RowId id, const Answer& answer) override;
    bool listed(RowId id) const override;
    void batchFinished(const lookup::BatchOutcome& outcome) override;
    void offlineBatchFinished(const SharedAnswers& answers,
                              const lookup::OfflineOutcome& outcome) override;
    void offlineBatchFailed(const lookup::NoData& why) override;
    void rangesFound(RowStore rows) override;
    void searchFinished(RowStore lastRows, bool fromData) override;
    void singleAnswered(const std::string& address, const lookup::SingleResult& result) override;
    void publicAddressFound(const std::optional<std::string>& echoed) override;
    void dataFileRefused(const lookup::DataFileProblem& problem) override;
    void dataFilesOpened(const std::vector<ipdata::FileReport>& reports) override;

  private:
    // The batch and the reverse search share one run: never two at once.
    enum class Run { Idle, Running, Stopping };
    void setStatus(const std::string& text);
    void runStarted(bool started, const char* status);
    // The search's rows into the list: the user's list goes only once the search has rows
    // to put in its place.
    void addFound(RowStore rows);

    QueryTable& rows_;
    WindowTexts& texts_;
    bool offlineMode_ = false;
    Run run_ = Run::Idle;
    std::string lastStatus_;  // what panel 1 shows, as far as this presenter was told
    long long found_ = 0;     // the running search's rows
    // The running search's word on keyword characters GBK lacks; empty when none.
    std::string keywordsNote_;
    // Addresses of single queries clicked and not yet answered, oldest first, and the
    // address the last answer was shown with.
    std::deque<std::string> asked_;
    std::string shownAddress_;
    std::optional<std::vector<ipdata::FileReport>> dataFiles_;
    std::function<void()> dataFilesArrived_;
    // Declared last: its work ends before the state above goes.
    std::unique_ptr<lookup::Engine> engine_;
};

}  // namespace ui
