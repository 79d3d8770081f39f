// What the lookup actions share with the work they post back to the window thread.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ipdata/ipdata.h"
#include "platform/executor.h"
#include "platform/files.h"
#include "platform/window.h"
#include "table/table.h"
#include "web/session.h"

namespace lookup::detail {

inline constexpr const char* kBusy = "已开始查询,请先停止!";
inline constexpr const char* kQuerying = "正在查询IP地址...";
inline constexpr const char* kNoOfflineData = "没有可用的离线地址库,无法离线查询!";
// What the single query's result box says in the offline mode when the data has no answer,
// rather than an empty box.
inline constexpr const char* kNotAnAddress = "不是IPv4或IPv6地址,无法离线查询!";
inline constexpr const char* kNotInOfflineData = "离线库中没有这个地址的信息!";

// The batch and the reverse search share one run: never two at once.
enum class RunState { Idle, Running, Stopping };

// Window-thread state, held by every posted answer. The poster runs no answer once the
// window is closing, before the Lookups go.
struct WindowSide {
    WindowSide(QueryTable& r, WindowTexts& t, Poster& p) : rows(r), texts(t), poster(p) {}
    QueryTable& rows;
    WindowTexts& texts;
    Poster& poster;
    RunState run = RunState::Idle;
    // Addresses of single queries clicked and not yet answered, oldest first, and the
    // address the last answer was shown with.
    std::deque<std::string> asked;
    std::string shownAddress;
};

// From any thread: `work` runs on the window thread, unless the window is closing by then.
void post(const std::shared_ptr<WindowSide>& side, std::function<void(WindowSide&)> work);

// The address data file beside the program, read and opened once on a task of its own:
// the open takes a noticeable moment, and only work that needs the answer waits for it.
class OfflineData {
  public:
    // An empty path or no file there: no data, and nothing said. A file that cannot be read
    // or is refused: no data, and `refused` gets the reason, on the loading thread.
    OfflineData(platform::Files& files, platform::Executor& executor, platform::Path path,
                std::function<void(const std::string& reason)> refused);
    // Waits for the open.
    ~OfflineData();
    OfflineData(const OfflineData&) = delete;
    OfflineData& operator=(const OfflineData&) = delete;
    // From any thread but the window's: waits for the open; null without usable data.
    std::shared_ptr<const ipdata::Database> get();

  private:
    void load();

    platform::Files& files_;
    const platform::Path path_;
    std::function<void(const std::string&)> refused_;
    std::once_flag once_;
    std::shared_ptr<const ipdata::Database> database_;
    platform::Task loading_;
};

// The answer the data gives for `address`, marked as coming from it; empty when there is
// no data, the text is no address or the data has no region for it.
std::string offlineAnswer(const ipdata::Database* database, const std::string& address);

// The bodies of the runs, on the run's own task. Each posts its last step, which sets the
// run back to Idle. The batch asks on up to 4 lanes (tasks of `executor`) and answers a row
// from `offline` when the page gives nothing; a stop ends it at once, and it returns once
// the requests it gave up are done (a cancel of `session` cuts them). The reverse search
// cancels `session` on a stop.
void batchRun(const std::shared_ptr<WindowSide>& side, platform::Executor& executor,
              WebSession& session, OfflineData& offline, std::vector<PendingRow> rows,
              platform::StopToken stop);
void reverseRun(const std::shared_ptr<WindowSide>& side, WebSession& session,
                const std::string& keywords, platform::StopToken stop);
// The batch answered from the data alone; rows the data cannot place stay empty.
void offlineBatchRun(const std::shared_ptr<WindowSide>& side, OfflineData& offline,
                     const std::vector<PendingRow>& rows, platform::StopToken stop);
// The reverse search answered from the data; `stop` ends the walk early.
void offlineReverseRun(const std::shared_ptr<WindowSide>& side, const ipdata::Database& database,
                       const std::string& keywords, platform::StopToken stop);

}  // namespace lookup::detail
