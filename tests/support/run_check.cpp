#include "run_check.h"

#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "entry.h"
#include "items_report.h"
#include "platform_trace.h"
#include "utf.h"

namespace {

const char kMessageLine[] = "MessageBoxW ";
const char* const kBeforeOpening[] = {kUsage, kNotFound, kCannotOpen};
const char* const kRunFailures[] = {kFormatError, kUncompressed, kReadError, kOutOfMemory, kDecompressError, kNoChunk};
const unsigned kReportLimit = 8191;  // UTF-16 units a report holds
const size_t kLoaderBlocks = 2;

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

template <size_t n>
bool IsOneOf(const std::string& text, const char* const (&set)[n]) {
    return std::find(std::begin(set), std::end(set), text) != std::end(set);
}

// UTF-16 units of UTF-8 text: one per sequence, two for a four-byte one.
size_t Utf16Units(const std::string& utf8) {
    size_t units = 0;
    for (char c : utf8) units += ((c & 0xC0) != 0x80) + ((c & 0xF8) == 0xF0);
    return units;
}

// "MessageBoxW 0xSTYLE caption|text" as a message; "" or the rule it breaks.
std::string ReadMessage(const std::string& line, Message* message) {
    const std::string rest = line.substr(strlen(kMessageLine));
    const size_t bar = rest.find('|');
    const std::string style = rest.substr(0, 5);
    if (style != "0x30 " && style != "0x40 ") return "message style is not warning or information: " + line;
    if (bar == std::string::npos || rest.substr(5, bar - 5) != kCaption) return "message caption: " + line;
    *message = {style == "0x40 ", rest.substr(bar + 1)};
    return "";
}

// An information message must be a report whose count the tool accepts and which fits its buffer.
std::string CheckReport(const std::string& text) {
    if (!StartsWith(text, kReportHeading)) return "information message that is no report: " + text;
    if (Utf16Units(text) > kReportLimit) return "report longer than 8191 characters";
    const std::string count = text.substr(strlen(kReportHeading), 10);
    if (count.empty() || count[0] < '0' || count[0] > '9') return "report heading without a count: " + text;
    if (strtoull(count.c_str(), nullptr, 10) > 0x10000000u) return "item count above the limit";
    return "";
}

// At most the version warning, then one final message: a report, or a failure of the `report` step's set
// (the whole run's set otherwise); only a read error or the report can follow the version warning.
std::string CheckMessages(const std::vector<Message>& messages, bool report) {
    if (messages.empty()) return "no message shown";
    if (messages.size() > 2) return "more than two messages shown";
    const Message& last = messages.back();
    if (messages.size() == 2) {
        if (!(messages[0] == Warning(kVersionWarning))) return "first of two messages not the version warning";
        if (!last.information && last.text != kReadError) return "after the version warning: " + last.text;
    }
    if (last.information) return CheckReport(last.text);
    const bool defined = report ? last.text == kReadError || last.text == kNoChunk
                                : IsOneOf(last.text, kRunFailures) || IsOneOf(last.text, kBeforeOpening);
    return defined ? "" : "not a defined message: " + last.text;
}

// Walks the trace once: messages, the blocks and file held at the last message, and the order rules.
RunRecord Check(std::vector<std::string> trace, bool report) {
    RunRecord record = {{}, 0, "", {}};
    std::vector<std::string> blocks;
    int opens = 0, closes = 0;
    size_t lastMessage = 0;
    auto breaks = [&](const std::string& rule) {
        if (record.broken.empty()) record.broken = rule;
    };
    for (size_t i = 0; i < trace.size(); ++i) {
        const std::string& line = trace[i];
        if (StartsWith(line, kMessageLine)) {
            Message message;
            breaks(ReadMessage(line, &message));
            record.messages.push_back(message);
            const size_t callers = report ? 0 : kLoaderBlocks;
            if (blocks.size() > callers) breaks("message shown while a temporary block is held");
            record.held = static_cast<int>(blocks.size()) + opens - closes;
            lastMessage = i + 1;
        } else if (StartsWith(line, "GlobalAlloc ")) {
            blocks.push_back(line.substr(strlen("GlobalAlloc ")));
        } else if (StartsWith(line, "GlobalFree ")) {
            const std::string size = line.substr(strlen("GlobalFree "));
            if (blocks.empty() || blocks.back() != size) breaks("blocks not freed in reverse order");
            if (!blocks.empty()) blocks.pop_back();
        } else if (line == "CreateFileW") {
            if (i != 0 || report) breaks("a file opened other than first, by a whole run");
            ++opens;
        } else if (line == "CloseHandle") {
            if (i + 1 != trace.size() || report) breaks("a file closed other than last, by a whole run");
            ++closes;
        }
    }
    breaks(CheckMessages(record.messages, report));
    for (size_t i = lastMessage; i < trace.size(); ++i) {
        if (!StartsWith(trace[i], "GlobalFree ") && trace[i] != "CloseHandle") breaks("after the message: " + trace[i]);
    }
    if (!blocks.empty()) breaks("block never freed");
    if (opens != closes) breaks("the file is not closed");
    const bool opened = !report && !record.messages.empty() && !IsOneOf(record.messages.back().text, kBeforeOpening);
    if (opens != (opened ? 1 : 0)) breaks(opened ? "the file is not opened once" : "a file opened after all");
    if (!report && !opened && trace.size() != record.messages.size()) breaks("something acquired for no file");
    const PlatformCounts counts = PlatformCurrentCounts();
    if (counts.openFiles != 0 || counts.liveBlocks != 0) breaks("a file or block left behind");
    record.trace = std::move(trace);
    return record;
}

}  // namespace

RunRecord TracedRun(const char* tail) {
    std::u16string wide = tail ? Utf8ToUtf16(tail, strlen(tail)) : u"";
    PlatformTraceBegin();
    const int result = wWinMain(nullptr, nullptr, tail ? wide.data() : nullptr, 0);
    RunRecord record = Check(PlatformTraceEnd(), false);
    if (result != 0 && record.broken.empty()) record.broken = "exit code not 0";
    return record;
}

RunRecord TracedRunOnMap(const Bytes& map) {
    // A new file of our own, never a name someone else could have placed a link at.
    char path[] = "/tmp/tallyglass-run-XXXXXX.Map.Gbx";
    const int fd = mkstemps(path, static_cast<int>(strlen(".Map.Gbx")));
    if (fd < 0) return {{}, 0, "cannot create a file in /tmp", {}};
    close(fd);
    RunRecord record = {{}, 0, std::string("cannot write ") + path, {}};
    if (WriteFile(path, map)) record = TracedRun(path);
    remove(path);
    return record;
}

RunRecord TracedReport(const unsigned char* body, uint32_t size) {
    PlatformTraceBegin();
    BuildItemsReport(body, size);
    return Check(PlatformTraceEnd(), true);
}
