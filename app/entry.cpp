#include "entry.h"

#include <cstring>

#include "report_message.h"

namespace {

// A message box holds at most this many UTF-16 units and the terminator; a longer report is cut there.
const unsigned kReportCapacity = 8192;

struct ReportText {
    WCHAR text[kReportCapacity];
    unsigned length;
};

// ReportTextOut into the box's text: appends are cut at its capacity, and once it is full nothing more
// would show.
bool AppendToReport(void* context, const WCHAR* text, unsigned length, bool) {
    ReportText* report = static_cast<ReportText*>(context);
    const unsigned room = kReportCapacity - 1 - report->length;
    if (length > room) length = room;
    memcpy(report->text + report->length, text, length * sizeof(WCHAR));
    report->length += length;
    report->text[report->length] = 0;
    return report->length + 1 < kReportCapacity;
}

bool EndRun(MapRun* run, bool loaded) {
    if (loaded) ReadItemsReport(run->map.body, run->map.bodySize, &run->report);
    run->failure = loaded ? run->report.failure : run->map.failure;
    return run->failure == MapFailure::kNone;
}

}  // namespace

bool RunMap(LPCWSTR path, MapRun* run) {
    if (!PathFileExistsW(path)) {
        run->failure = MapFailure::kFileNotFound;
        return false;
    }
    return EndRun(run, LoadMapBody(path, &run->map));
}

bool RunMapFile(HANDLE file, MapRun* run) { return EndRun(run, LoadMapFile(file, &run->map)); }

void TakeNoItemsAsNone(MapRun* run) {
    if (run->failure != MapFailure::kNoItemsChunk) return;
    run->report = ItemsReport{};
    run->failure = MapFailure::kNone;
}

void EndMapRun(MapRun* run) { ReleaseMapBody(&run->map); }

void ShowMapRun(const MapRun* run) {
    if (run->report.versionWarning) ReportMessage(kVersionWarningSentence, kWarning);
    if (run->failure != MapFailure::kNone) return ReportMessage(FailureSentence(run->failure), kWarning);
    ReportText report;
    report.length = 0;
    report.text[0] = 0;
    if (!WriteReportText(&run->report, AppendToReport, &report)) {
        return ReportMessage(FailureSentence(MapFailure::kReadFailed), kWarning);
    }
    ReportMessage(report.text, kInformation);
}

void BuildItemsReport(const unsigned char* body, uint32_t size) {
    MapRun run = {};
    ReadItemsReport(body, size, &run.report);
    run.failure = run.report.failure;
    ShowMapRun(&run);
}

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
    RunMap(path, &run);
    ShowMapRun(&run);
    EndMapRun(&run);
    return 0;
}
