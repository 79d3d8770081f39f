// Several threads fetching from one session at once, as a batch does.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "web/session.h"

// Thread t fetches base + prefix + "t-i" for each i below `each`, from servers that answer
// with the path they were asked for. Returns how many answers were right.
inline int fetchFromThreads(WebSession& session, const std::string& base, const std::string& prefix,
                            int threads, int each) {
    std::atomic<int> right{0};
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t)
        running.emplace_back([&, t] {
            for (int i = 0; i < each; ++i) {
                const std::string path = prefix + std::to_string(t) + "-" + std::to_string(i);
                right += session.getText(base + path) == path;
            }
        });
    for (auto& thread : running) thread.join();
    return right;
}
