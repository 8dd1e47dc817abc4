#include "print.h"

#include <algorithm>

#include "formatting_codes.h"
#include "json.h"
#include "system.h"
#include "utf.h"

namespace {

bool WriteToStdout(void*, const std::string& text) { return WriteOut(text); }

std::string Utf8(LPCWSTR text) { return Utf16ToUtf8(text, std::char_traits<WCHAR>::length(text)); }

// UTF-8 from elsewhere (an item's or a file's name) on one line of a terminal.
std::string LineUtf8(const std::string& bytes) {
    const WideString units = Utf8ToUtf16(bytes.data(), bytes.size());
    return LineText(units.data(), units.size());
}

void PrintSentence(const MapName& name, const std::string& sentence) {
    WriteErr("tallyglass: " + name.shown + ": " + sentence + "\n");
}

// ReportTextOut onto stdout: the report's own text is ASCII with lines ended by CR LF, which a terminal
// wants as LF; a name keeps its line (whatever could break or reorder it becomes U+FFFD).
bool PrintReportPiece(void* context, const WCHAR* text, unsigned length, bool name) {
    Output* out = static_cast<Output*>(context);
    if (name) {
        WCHAR shown[kItemTextCapacity];
        std::char_traits<WCHAR>::copy(shown, text, length);
        ReplaceUnsafeInLine(shown, length);
        AppendUtf16AsUtf8(out->text, shown, length);
    } else {
        for (unsigned i = 0; i < length; ++i) {
            if (text[i] != u'\r') out->text += static_cast<char>(text[i]);
        }
    }
    return Flush(out, false);
}

std::string SizeText(uint64_t bytes) {
    WCHAR text[kSizeTextCapacity];
    FormatSize(bytes, text);
    return Utf8(text);
}

// A byte count with its thousands marked: 7,336,960.
std::string Grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}

// "The map file is 812,345 bytes over the 7,336,960 bytes that Trackmania (2020) takes."
std::string LimitSentence(const SizeLimit& limit, uint64_t fileSize) {
    const bool over = fileSize > limit.bytes;
    const std::string by = Grouped(over ? fileSize - limit.bytes : limit.bytes - fileSize);
    const std::string what = limit.game ? "the " + Grouped(limit.bytes) + " bytes that " + limit.game + " takes"
                                        : "the limit of " + Grouped(limit.bytes) + " bytes";
    return "The map file is " + by + " bytes " + (over ? "over " : "under ") + what + ".";
}

void PrintFindings(const MapName& name, const EmbeddedFiles& files) {
    for (const Finding& finding : files.findings) {
        PrintSentence(name, FindingSentence(finding.kind) + (ConcernsArchive(finding.kind) ? "." : ": " + LineUtf8(finding.name)));
    }
}

// A formatted text (a name) as a line shows it: without its codes.
std::string LinePlain(const std::string& formatted) {
    return LineUtf8(PlainText(formatted.data(), formatted.size()));
}

// A medal time as m:ss.mmm, or "none".
std::string MedalText(const std::optional<int64_t>& time) {
    if (!time) return "none";
    const std::string seconds = std::to_string(*time / 1000 % 60), millis = std::to_string(*time % 1000);
    return std::to_string(*time / 60000) + ":" + std::string(2 - seconds.size(), '0') + seconds + "." +
           std::string(3 - millis.size(), '0') + millis;
}

// The card as --info shows it, each line only where the map gives what it says.
void AppendCardText(Output* out, const MapCard& card) {
    if (!card.known) {
        out->text += "No map card in its header.\n";
        return;
    }
    if (card.name) out->text += "Name: " + LinePlain(*card.name) + "\n";
    if (card.authorNickname && card.author) {
        out->text += "Author: " + LinePlain(*card.authorNickname) + " (" + LineUtf8(*card.author) + ")\n";
    } else if (card.authorNickname || card.author) {
        out->text += "Author: " + (card.author ? LineUtf8(*card.author) : LinePlain(*card.authorNickname)) + "\n";
    }
    if (card.uid) out->text += "Uid: " + LineUtf8(*card.uid) + "\n";
    if (card.title) out->text += "Title pack: " + LineUtf8(*card.title) + "\n";
    if (card.environment) out->text += "Environment: " + LineUtf8(*card.environment) + "\n";
    if (card.times) {
        out->text += "Medal times: author " + MedalText(card.times->author) + ", gold " + MedalText(card.times->gold) +
                     ", silver " + MedalText(card.times->silver) + ", bronze " + MedalText(card.times->bronze) + "\n";
    }
    for (const MapDependency& dependency : card.dependencies) {
        out->text += "Dependency: " + LineUtf8(dependency.file) + (dependency.url ? " (" + LineUtf8(*dependency.url) + ")\n" : "\n");
        Flush(out, false);
    }
}

void PrintSameUid(const MapRecord& map) {
    if (map.sameUid) PrintSentence(*map.name, "Same uid as an earlier map: " + map.sameUid->shown);
}

// The embedded files as a gate needs them: read within what the map file may inflate to. True when they
// could be listed.
bool ReadFilesOf(const MapRun* run, const MapFile& file, EmbeddedFiles* files) {
    return ReadEmbeddedFiles(&run->report, InflateBudget(file.size), files);
}

// The embedded files under the report, largest packed first, then their packed total and its share of the
// map file; or a line that says they cannot be listed, or that there are none.
void AppendFilesText(Output* out, const EmbeddedFiles& files, bool known, uint64_t fileSize) {
    if (!known || files.files.empty()) {
        out->text += known ? "No embedded files.\n" : "The embedded files cannot be listed.\n";
        return;
    }
    std::vector<const EmbeddedFile*> order;
    for (const EmbeddedFile& file : files.files) order.push_back(&file);
    std::stable_sort(order.begin(), order.end(),
                     [](const EmbeddedFile* a, const EmbeddedFile* b) { return a->packedSize > b->packedSize; });
    out->text += "Embedded files, largest packed first: packed, size, name\n";
    for (const EmbeddedFile* file : order) {
        const std::string packed = SizeText(file->packedSize), size = SizeText(file->size);
        out->text += std::string(packed.size() < 10 ? 10 - packed.size() : 0, ' ') + packed +
                std::string(size.size() < 11 ? 11 - size.size() : 0, ' ') + size + "  " + LineUtf8(file->name) + "\n";
        Flush(out, false);
    }
    // The total is at most the archive's size, below 4 GiB, so this cannot wrap.
    const uint64_t share = fileSize > 0 ? (files.packedTotal * 200 / fileSize + 1) / 2 : 0;
    out->text += "Packed: " + SizeText(files.packedTotal) + " in all, " + std::to_string(share) + " % of the map file\n";
}

// The run as text: its sentences on stderr, the report whole on stdout, and the files when asked for, then
// what is wrong with them on stderr, once what the report has written is out, as cat and grep order theirs.
// True when the map got its report, is within the limit, and has no finding.
bool PrintText(const MapRecord& map, const PrintOptions& options, const MapFile& file) {
    const MapName& name = *map.name;
    const MapRun* run = map.run;
    if (options.info) {
        Output card = {"", WriteToStdout, nullptr, false};
        AppendCardText(&card, *map.card);
        if (!Flush(&card, true)) return false;
    }
    const bool alone = !map.sameUid;
    if (run->report.versionWarning) PrintSentence(name, Utf8(kVersionWarningSentence));
    const bool fine = run->failure == MapFailure::kNone;
    if (!fine) PrintSentence(name, Utf8(FailureSentence(run->failure)));
    if (file.over) PrintSentence(name, LimitSentence(*options.limit, file.size));
    if (!fine) {
        PrintSameUid(map);
        return false;
    }

    Output out = {"", WriteToStdout, nullptr, false};
    // A list checked whole reads again whole; were it not, the text so far is out, and the sentence says so.
    if (!WriteReportText(&run->report, PrintReportPiece, &out)) {
        Flush(&out, true);
        PrintSentence(name, Utf8(FailureSentence(MapFailure::kReadFailed)));
        return false;
    }
    out.text += '\n';
    if (!options.files) {
        const bool written = Flush(&out, true);
        PrintSameUid(map);
        return written && !file.over && alone;
    }
    EmbeddedFiles files;
    const bool known = ReadFilesOf(run, file, &files);
    AppendFilesText(&out, files, known, file.size);
    if (options.limit && !file.over) out.text += LimitSentence(*options.limit, file.size) + "\n";
    const bool written = Flush(&out, true);
    PrintFindings(name, files);
    PrintSameUid(map);
    return written && !file.over && files.findings.empty() && alone;
}

}  // namespace

bool PrintRun(const MapRecord& map, const PrintOptions& options) {
    const MapFile file = MapFileOf(map.run, options);
    if (!options.json) return PrintText(map, options, file);
    EmbeddedFiles files;
    const bool known = options.files && map.run->failure == MapFailure::kNone && ReadFilesOf(map.run, file, &files);
    return WriteJsonLine(map, options, options.files ? &files : nullptr, known, WriteToStdout, nullptr) &&
           files.findings.empty() && !map.sameUid;
}
