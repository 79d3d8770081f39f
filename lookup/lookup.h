// Lookup engines: location lookup (single and batch), reverse search, public address.
// Their workers never wait on the window: they take what they need on the window thread
// (the pending rows, the keywords, the address) and post every answer back through the
// Poster, where it is written into the table or the boxes.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/executor.h"
#include "platform/path.h"
#include "platform/probe.h"
#include "platform/services.h"
#include "platform/window.h"
#include "table/table.h"
#include "web/session.h"

namespace lookup {

enum class LookupMode { MainData, Detailed };

// The location page's address for `address`, trimmed and percent-encoded into the path.
std::string locationUrl(const std::string& address);
// The answer cut out of a location page: one piece in main-data mode, two joined by
// "\r\n" in detailed mode. A page without the markers (a failed request) gives empty
// pieces.
std::string locationOf(const std::string& page, LookupMode mode);
std::string lookupLocation(WebSession& session, const std::string& address, LookupMode mode);

// What follows an answer taken from the address data file rather than the location page.
inline constexpr const char* kOfflineMark = " (离线库)";
// The words of a reverse search, separated by ASCII spaces, tabs or the full-width space
// an input method types; empty words dropped.
std::vector<std::string> keywordsOf(const std::string& text);

// One echo to the probe host; any reply within the limit counts, 0 ms included.
bool isNetworkReachable(platform::Probe& probe, int timeLimitMs = 2000);
// The echoed public address, or the not-connected message when the probe fails.
std::string fetchPublicAddress(platform::Probe& probe, WebSession& session);

namespace detail {
struct WindowSide;
class OfflineData;
}  // namespace detail

// The actions of the lookup buttons. Every method is called on the window thread and
// returns at once. A batch asks up to 4 addresses at once over one session.
//
// With an address data file the reverse search answers from it, and a location the page
// does not give (a failed request, a changed page) comes from it, marked with kOfflineMark.
class Lookups {
  public:
    // Everything passed in must outlive the Lookups. `offlineDataPath` names the address
    // data file, opened off the window thread; empty or missing: the lookups use the web
    // alone. A file that is there but unusable is reported once in status panel 1.
    Lookups(platform::Services& os, platform::Executor& executor, QueryTable& rows,
            WindowTexts& texts, Poster& poster, platform::Path offlineDataPath = {});
    // Ends what runs: stops every task started here (their requests cut short) and waits.
    ~Lookups();
    Lookups(const Lookups&) = delete;
    Lookups& operator=(const Lookups&) = delete;

    void runSingleQuery();   // 按钮_单一查询
    void startBatchQuery();  // toolbar button 0
    void requestStop();      // toolbar button 2
    // The offline mode (toolbar check button): the batch and the single query answer from
    // the address data alone and ask no service. Off, a batch asks the service again for
    // rows whose answer came from the data.
    void setOfflineMode(bool on) { offlineMode_ = on; }
    bool offlineMode() const { return offlineMode_; }
    void startReverseSearch();  // 按钮_反向查询
    // The probe and the echo page off the window thread; the answer lands in panel 2.
    // Once per Lookups: a later call does nothing.
    void showPublicAddress();

  private:
    // Starts `body` as the one batch or reverse-search run, with a fresh session that a stop
    // cancels; false when no thread could be had.
    bool startRun(std::function<void(WebSession&, platform::StopToken)> body);
    // The single queries waiting, asked one after another by one task at a time.
    void askSingles(platform::StopToken stop);
    struct SingleQuery {
        std::string address;
        bool offline;
    };

    platform::Services& os_;
    platform::Executor& executor_;
    bool offlineMode_ = false;
    std::shared_ptr<detail::WindowSide> side_;
    std::unique_ptr<detail::OfflineData> offline_;
    // Asked when the Lookups go: no run waits any longer for requests its predecessor gave
    // up; they are cut.
    platform::StopSource closing_;
    // The running (or last) run's session; its task below goes first.
    std::unique_ptr<WebSession> runSession_;
    platform::Task run_;
    bool runCutsRequests_ = false;  // a stop cancels runSession_ (the reverse search)
    WebSession singleSession_;
    std::mutex singlesMutex_;
    std::deque<SingleQuery> singlesWaiting_;
    bool singlesAsking_ = false;
    platform::Task singles_;
    WebSession echoSession_;
    platform::Task echo_;
};

}  // namespace lookup
