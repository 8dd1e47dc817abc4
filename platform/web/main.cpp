// Start-up of the page's build: the worker script calls TallyglassRun once for each map, with its name; the
// layer's files are that map (platform.cpp). It goes through the logic's run of one map, and the page gets the boxes
// that the Windows program shows for it, but with the report whole, however long, and each name kept on its
// line, as the Linux command shows them.
#include <emscripten.h>

#include <string>

#include "box.h"
#include "embedded_files.h"
#include "entry.h"
#include "utf.h"

namespace {

// A report goes to the page in pieces of about this many units, so that its length needs no memory here.
const size_t kPieceSize = 64 * 1024;

struct PageReport {
    std::u16string text;  // not posted yet
    bool shown;           // its box is on the page
};

void Post(PageReport* report) {
    if (report->shown) {
        ExtendPageBox(report->text.c_str());
    } else {
        ShowPageBox(true, report->text.c_str());
    }
    report->shown = true;
    report->text.clear();
}

// ReportTextOut onto the page: the report's lines end with LF alone, and whatever could break or reorder a
// name's line becomes U+FFFD.
bool AppendToPage(void* context, const WCHAR* text, unsigned length, bool name) {
    PageReport* report = static_cast<PageReport*>(context);
    const size_t at = report->text.size();
    for (unsigned i = 0; i < length; ++i) {
        if (name || text[i] != u'\r') report->text += text[i];
    }
    if (name) ReplaceUnsafeInLine(&report->text[at], length);
    if (report->text.size() >= kPieceSize) Post(report);
    return true;
}

// UTF-8 from a map or an archive as text on one line of the page.
std::u16string LineText(const std::string& bytes) {
    std::u16string text = Utf8ToUtf16(bytes.data(), bytes.size());
    ReplaceUnsafeInLine(&text[0], text.size());
    return text;
}

std::u16string SizeText(uint64_t bytes) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(bytes, text);
    return text;
}

// The embedded files of a standing report, and what is wrong with them.
void ShowFiles(const ItemsReport* report) {
    EmbeddedFiles files;
    ReadEmbeddedFiles(report, &files);
    for (const EmbeddedFile& file : files.files) {
        AddPageFile(LineText(file.name).c_str(), file.size, file.packedSize, SizeText(file.size).c_str(),
                    SizeText(file.packedSize).c_str());
    }
    for (const Finding& finding : files.findings) {
        const std::string sentence = FindingSentence(finding.kind) + (finding.name.empty() ? "." : ": " + finding.name);
        AddPageFinding(LineText(FindingCode(finding.kind)).c_str(), LineText(sentence).c_str());
    }
    ShowPageFiles(SizeText(files.packedTotal).c_str());
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void TallyglassRun(const char* name) {
    MapRun run = {};
    RunMap(FileNameToUtf16(name).c_str(), &run);
    if (run.report.versionWarning) ShowPageBox(false, kVersionWarningSentence);
    PageReport report = {u"", false};
    if (run.failure != MapFailure::kNone) {
        ShowPageBox(false, FailureSentence(run.failure));
    } else if (WriteReportText(&run.report, AppendToPage, &report)) {
        Post(&report);
        ShowFiles(&run.report);
    } else {
        ShowPageBox(false, FailureSentence(MapFailure::kReadFailed));
    }
    EndMapRun(&run);
}
