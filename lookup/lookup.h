// Lookup engines: location lookup (single and batch), reverse search, public address.
// Work reaches the window only through the view interfaces.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/view.h"

// Process-wide query flags, shared by the batch and reverse-search workers; each is stored
// whole as 0 or 1 and read with equality to 1.
extern std::atomic<std::int32_t> g_queryRunning;
extern std::atomic<std::int32_t> g_stopRequested;

enum class LookupMode { MainData, Detailed };

// Detailed mode reports progress in status panel 1 of `status` when one is given.
std::string lookupLocation(const std::string& address, LookupMode mode,
                           view::StatusBar* status = nullptr);

void runSingleQuery(view::MainViews& views);       // click of 按钮_单一查询
void startBatchQuery(view::MainViews& views);      // toolbar index 0
void requestStop();                                // toolbar index 2
void batchQueryWorker(view::MainViews& views);     // thread body
void startReverseSearch(view::MainViews& views);   // click of 按钮_反向查询
void reverseSearchWorker(view::MainViews& views);  // thread body

bool isNetworkReachable(int timeLimitMs = 2000);
std::string fetchPublicAddress();
// The same, first handling every window message already waiting, so a freshly created
// window is painted before the blocking probe.
bool isNetworkReachable(view::MessagePump& pump, int timeLimitMs = 2000);
std::string fetchPublicAddress(view::MessagePump& pump);

// What the tests watch: workers now inside their main loop, the most ever seen there at
// once, and threads started here that have not yet returned.
extern std::atomic<std::int32_t> g_workersInLoop;
std::int32_t peakWorkersInLoop();
int runningLookupThreads();
