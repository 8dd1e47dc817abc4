// Start-up of the page's build: the worker script calls TallyglassRun once for each map, with its name and the
// chosen game's limit; the layer's files are that map (platform/web/platform.cpp). It goes through the logic's
// run of one map, and the page gets what the map's card needs beyond its JSON line, the boxes that the Windows
// program shows for it, but with the report whole, however long, and each name kept on its line, as the Linux
// command shows them; then the embedded files, read once for both the page's table and the map's JSON line,
// which is the Linux command's `--json --files --limit` line for it.
#include <emscripten.h>
#include <lzo/lzo1x.h>

#include <optional>
#include <string>
#include <vector>

#include "box.h"
#include "embedded_files.h"
#include "entry.h"
#include "formatting_codes.h"
#include "json.h"
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
std::u16string LineUtf16(const std::string& bytes) {
    std::u16string text = Utf8ToUtf16(bytes.data(), bytes.size());
    ReplaceUnsafeInLine(&text[0], text.size());
    return text;
}

std::u16string SizeText(uint64_t bytes) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(bytes, text);
    return text;
}

// The files go to the page as one list, however many: every name exact and every name as shown one after
// another with their lengths, and the sizes and their texts side by side.
void ShowFiles(const EmbeddedFiles& files, bool known) {
    PageFiles list;
    for (const EmbeddedFile& file : files.files) {
        const std::u16string name = Utf8ToUtf16(file.name.data(), file.name.size());
        list.names += name;
        list.lengths.push_back(static_cast<uint32_t>(name.size()));
        list.sizes.push_back(static_cast<double>(file.size));
        list.sizes.push_back(static_cast<double>(file.packedSize));
        list.sizeTexts += SizeText(file.size) + u'\n' + SizeText(file.packedSize) + u'\n';
    }
    list.shown = list.names;
    ReplaceUnsafeInLine(&list.shown[0], list.shown.size());
    for (const Finding& finding : files.findings) {
        const std::string sentence = FindingSentence(finding.kind) + (ConcernsArchive(finding.kind) ? "." : ": " + finding.name);
        AddPageFinding(LineUtf16(FindingCode(finding.kind)).c_str(), LineUtf16(sentence).c_str());
    }
    ShowPageFiles(list, known, SizeText(files.packedTotal).c_str());
}

// A formatted text as the runs the page draws it in; none where the card gives no such text.
PageStyledText StyledForPage(const std::optional<std::string>& formatted) {
    PageStyledText styled;
    if (!formatted) return styled;
    for (const StyledRun& run : ReadFormattingCodes(formatted->data(), formatted->size())) {
        const std::u16string text = LineUtf16(run.text);
        styled.text += text;
        styled.lengths.push_back(static_cast<uint32_t>(text.size()));
        styled.colours.push_back(run.colour);
        styled.looks.push_back(static_cast<uint8_t>(run.styles | (run.link ? kLinkLook : 0)));
    }
    return styled;
}

PageCard CardForPage(const MapCard& card) {
    return {card.known, card.uid.has_value(), card.uid.value_or(""), StyledForPage(card.name),
            StyledForPage(card.authorNickname), static_cast<double>(card.thumbnailOffset), card.thumbnailSize};
}

void ShowProgress(void*, uint64_t done, uint64_t total) { ShowPageProgress(done, total); }

bool WriteToPage(void*, const std::string& text) {
    AddPageLine(text.data(), text.size());
    return true;
}

}  // namespace

// `limitName` as --limit takes it, `limitBytes` the game's limit.
extern "C" EMSCRIPTEN_KEEPALIVE void TallyglassRun(const char* name, const char* limitName, double limitBytes) {
    const SizeLimit limit = {limitName, nullptr, static_cast<uint64_t>(limitBytes)};
    const PrintOptions options = {true, true, false, &limit, false};
    MapName mapName = {false, name, FileNameToUtf16(name), ""};
    MapRun run = {};
    RunMap(mapName.path.c_str(), &run);
    TakeNoItemsAsNone(&run);
    const MapFile file = MapFileOf(&run, options);
    // As the command reads it: from the header, before the embedded files.
    MapCard card = {};
    if (file.opened) ReadMapFileCard(run.map.file, file.size, &card);
    // What the run came to goes ahead of its boxes, so that a map stopped after its report keeps its numbers.
    const bool reported = run.failure == MapFailure::kNone;
    ShowPageRun(file.opened, static_cast<double>(file.size), reported ? run.report.count : 0,
                reported ? run.report.embeddedSize : 0, CardForPage(card));
    if (run.report.versionWarning) ShowPageBox(false, kVersionWarningSentence);
    PageReport report = {u"", false};
    EmbeddedFiles files = {};
    bool known = false;
    if (run.failure != MapFailure::kNone) {
        ShowPageBox(false, FailureSentence(run.failure));
    } else {
        const bool written = WriteReportText(&run.report, AppendToPage, &report);
        if (written) Post(&report);
        if (!written) ShowPageBox(false, FailureSentence(MapFailure::kReadFailed));
        // Read as the command reads them for its line, whether or not the report could be written again.
        const ReadProgress progress = {ShowProgress, nullptr};
        known = ReadEmbeddedFiles(&run.report, InflateBudget(file.size), &files, &progress);
        if (written) ShowFiles(files, known);
    }
    WriteJsonLine({&mapName, &run, &card, nullptr}, options, &files, known, WriteToPage, nullptr);
    EndMapRun(&run);
}

// A map's body is decompressed in one call, and Chromium and Firefox finish a call in the code it began in:
// a worker's first map would be decompressed wholly in their quick first tier, which took a 256 MB body about
// a third longer. The worker that compiles the module first decompresses a made-up megabyte a few times, as
// many as they take to optimize the decompressor; the workers after it are given that module as it stands.
extern "C" EMSCRIPTEN_KEEPALIVE void TallyglassWarmUp() {
    std::vector<unsigned char> body(1 << 20);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<unsigned char>((i * i) >> 9);
    std::vector<unsigned char> packed(body.size() + body.size() / 16 + 67);
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    lzo_uint length = 0;
    if (lzo_init() != LZO_E_OK ||
        lzo1x_1_compress(body.data(), body.size(), packed.data(), &length, work.data()) != LZO_E_OK) {
        return;
    }
    for (int i = 0; i < 8; ++i) {
        lzo_uint unpacked = body.size();
        lzo1x_decompress_safe(packed.data(), length, body.data(), &unpacked, nullptr);
    }
}
