// Stand-ins for the rooms whose libraries are not built yet, so the window can be run and
// tested on its own. Each block is compiled only while its library is missing; none of
// them does anything visible.
#ifdef VERDALO_PENDING_LOOKUP
#include "lookup/lookup.h"

std::atomic<std::int32_t> g_queryRunning{0};
std::atomic<std::int32_t> g_stopRequested{0};
void runSingleQuery(view::MainViews&) {}
void startBatchQuery(view::MainViews&) {}
void requestStop() {}
void startReverseSearch(view::MainViews&) {}
std::string fetchPublicAddress() {
    return {};
}
#endif

#ifdef VERDALO_PENDING_IO
#include "io/io.h"

void browseImportFile(view::MainViews&) {}
void importAddressList(view::MainViews&) {}
void browseSaveLocation(view::MainViews&) {}
void exportResults(view::MainViews&) {}
void exportWithDialog(view::MainViews&) {}
void copyResult(view::MainViews&) {}
#endif

#ifdef VERDALO_PENDING_SKIN
#include "skin/skin.h"

const unsigned char kSkinResource[1] = {0};
const std::size_t kSkinResourceSize = 0;
void createModuleLoader() {}
void loadSkinLibrary() {}
void attachSkinResource(std::span<const unsigned char>, const std::string&, std::int32_t,
                        std::int32_t, std::int32_t) {}
void adjustSkinAero(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void releaseSkinState() {}
#endif
