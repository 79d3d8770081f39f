#include "platform/probe.h"

#include <atomic>
#include <cstdlib>

namespace platform {
namespace {
std::atomic<Probe*> g_probe{nullptr};
}

Probe& probe() {
    Probe* p = g_probe.load();
    if (!p) std::abort();  // a program or test that forgot to install one
    return *p;
}

void setProbe(Probe* implementation) {
    g_probe.store(implementation);
}

}  // namespace platform
