#include "entry.h"

#include "report_message.h"

bool RunMap(LPCWSTR path, MapRun* run) {
    if (!PathFileExistsW(path)) {
        ReportMessage(TEXT("File not found."), kWarning);
        return false;
    }
    if (!LoadMapBody(path, &run->map)) return false;
    ReadItemsReport(run->map.body, run->map.bodySize, &run->report);
    return ShowReportWarnings(&run->report);
}

void EndMapRun(MapRun* run) { ReleaseMapBody(&run->map); }

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandTail, int) {
    if (!commandTail || commandTail[0] == 0) {
        ReportMessage(TEXT("Usage: Tallyglass.exe <Map.Gbx>"), kWarning);
        return 0;
    }

    // The whole tail is one path, cut after its 259th character.
    WCHAR path[kPathCapacity] = {};
    for (unsigned i = 0; i + 1 < kPathCapacity && commandTail[i] != 0; ++i) path[i] = commandTail[i];
    PathUnquoteSpacesW(path);

    MapRun run = {};
    if (RunMap(path, &run)) ShowReportText(&run.report, nullptr);
    EndMapRun(&run);
    return 0;
}
