#include "platform/files.h"

#include <cstdlib>

namespace platform {
namespace {
Files* g_files = nullptr;
}

Files& files() {
    if (!g_files) std::abort();  // a program or test that forgot to install one
    return *g_files;
}

void setFiles(Files* implementation) {
    g_files = implementation;
}

}  // namespace platform
