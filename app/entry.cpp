#include "entry.h"

#include "items_report.h"
#include "map_loader.h"
#include "report_message.h"

namespace {

// MAX_PATH wide characters, the terminator included.
const unsigned kPathCapacity = 260;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandTail, int) {
    if (!commandTail || commandTail[0] == 0) {
        ReportMessage(TEXT("Usage: Tallyglass.exe <Map.Gbx>"), kWarning);
        return 0;
    }

    // The whole tail is one path, cut after its 259th character.
    WCHAR path[kPathCapacity] = {};
    for (unsigned i = 0; i + 1 < kPathCapacity && commandTail[i] != 0; ++i) path[i] = commandTail[i];

    PathUnquoteSpacesW(path);
    if (!PathFileExistsW(path)) {
        ReportMessage(TEXT("File not found."), kWarning);
        return 0;
    }

    LoadedMap map = {};
    if (LoadMapBody(path, &map)) BuildItemsReport(map.body, map.bodySize);
    ReleaseMapBody(&map);
    return 0;
}
