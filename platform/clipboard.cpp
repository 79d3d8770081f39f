#include "platform/clipboard.h"

#include <cstdlib>

namespace platform {
namespace {
Clipboard* g_clipboard = nullptr;
}

Clipboard& clipboard() {
    if (!g_clipboard) std::abort();  // a program or test that forgot to install one
    return *g_clipboard;
}

void setClipboard(Clipboard* implementation) {
    g_clipboard = implementation;
}

}  // namespace platform
