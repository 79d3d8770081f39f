// The platform implementations in use, installed once at start (or by a test).
#include <cstdlib>

#include "platform/internet.h"

namespace platform {
namespace {
Internet* g_internet = nullptr;
}

Internet& internet() {
    if (!g_internet) std::abort();  // a program or test that forgot to install one
    return *g_internet;
}

void setInternet(Internet* implementation) { g_internet = implementation; }

}  // namespace platform
