#include "run_rules.h"

#include <cstdlib>
#include <cstring>

namespace {

const char* const kMessagePrefix = "MessageBoxW ";
const char* const kVersionWarning = "0x30 Tallyglass|Unsupported chunk version.";
const char* const kReadError = "0x30 Tallyglass|Error while reading input file.";
const char* const kReportPrefix = "0x40 Tallyglass|Number of embedded items: ";
const unsigned kReportLimit = 8191;  // UTF-16 units a report holds

const char* const kLoaderFailures[] = {
    "0x30 Tallyglass|Could not open input file.",      "0x30 Tallyglass|Invalid or unsupported file format.",
    "0x30 Tallyglass|Uncompressed maps not supported.", "0x30 Tallyglass|Out of memory.",
    "0x30 Tallyglass|Could not decompress file body.",
};
const char* const kReportFailures[] = {
    "0x30 Tallyglass|Items chunk not found.",
    "0x30 Tallyglass|Error while reading input file.",
};

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

bool IsOneOf(const std::string& message, const char* const* set, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (message == set[i]) return true;
    }
    return false;
}

// UTF-16 units of UTF-8 text: one per sequence, two for a four-byte one.
size_t Utf16Units(const std::string& utf8) {
    size_t units = 0;
    for (char c : utf8) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;
        if (byte >= 0xF0) ++units;
    }
    return units;
}

// The information report: its heading holds an item count the tool accepts, and it fits its buffer.
std::string CheckReport(const std::string& message) {
    const std::string text = message.substr(strlen("0x40 Tallyglass|"));
    if (Utf16Units(text) > kReportLimit) return "report longer than 8191 characters";
    const std::string count = message.substr(strlen(kReportPrefix));
    size_t digits = 0;
    while (digits < count.size() && digits < 10 && count[digits] >= '0' && count[digits] <= '9') ++digits;
    if (digits == 0) return "report heading without a count: " + message;
    if (strtoull(count.substr(0, digits).c_str(), nullptr, 10) > 0x10000000u) return "item count above the limit";
    return "";
}

// At most the version warning, then exactly one final message from `failures` or the report; the version
// warning comes only once the chunk was found, so only a read error or the report can follow it.
std::string CheckMessages(const std::vector<std::string>& messages, const char* const* failures, size_t count) {
    if (messages.empty()) return "no message shown";
    if (messages.size() > 2) return "more than two messages shown";
    const std::string& last = messages.back();
    if (messages.size() == 2) {
        if (messages[0] != kVersionWarning) return "first of two messages is not the version warning: " + messages[0];
        if (last != kReadError && !StartsWith(last, kReportPrefix)) return "after the version warning: " + last;
    }
    if (StartsWith(last, kReportPrefix)) return CheckReport(last);
    if (!IsOneOf(last, failures, count) && !IsOneOf(last, kReportFailures, 2)) return "not a defined message: " + last;
    return "";
}

// Blocks are freed in the reverse order of taking them (sizes matched), nothing is left, none is taken after
// the last message, and no message is shown while more than `heldByCaller` blocks are held (a report's
// temporary block is gone before it speaks).
std::string CheckBlocks(const std::vector<std::string>& trace, size_t messagesDoneBy, size_t heldByCaller) {
    std::vector<std::string> held;
    for (size_t i = 0; i < trace.size(); ++i) {
        const std::string& line = trace[i];
        if (StartsWith(line, "GlobalAlloc ")) {
            if (i >= messagesDoneBy) return "block taken after the last message";
            held.push_back(line.substr(strlen("GlobalAlloc ")));
        } else if (StartsWith(line, "GlobalFree ")) {
            if (held.empty()) return "block freed that was not taken";
            if (held.back() != line.substr(strlen("GlobalFree "))) return "blocks not freed in reverse order";
            held.pop_back();
        } else if (StartsWith(line, kMessagePrefix) && held.size() > heldByCaller) {
            return "message shown while a temporary block is held";
        }
    }
    if (!held.empty()) return "block never freed";
    return "";
}

std::string CheckCounts(PlatformCounts after) {
    if (after.openFiles != 0) return "a file is still open";
    if (after.liveBlocks != 0) return "a block is still live";
    return "";
}

size_t AfterLastMessage(const std::vector<std::string>& trace) {
    size_t after = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        if (StartsWith(trace[i], kMessagePrefix)) after = i + 1;
    }
    return after;
}

}  // namespace

std::vector<std::string> TraceMessages(const std::vector<std::string>& trace) {
    std::vector<std::string> messages;
    for (const std::string& line : trace) {
        if (StartsWith(line, kMessagePrefix)) messages.push_back(line.substr(strlen(kMessagePrefix)));
    }
    return messages;
}

std::string CheckRunTrace(const std::vector<std::string>& trace, PlatformCounts after) {
    const std::vector<std::string> messages = TraceMessages(trace);
    std::string broken = CheckMessages(messages, kLoaderFailures, sizeof kLoaderFailures / sizeof *kLoaderFailures);
    if (broken.empty()) broken = CheckCounts(after);
    if (!broken.empty()) return broken;

    if (messages.back() == kLoaderFailures[0]) {
        return trace.size() == 1 ? "" : "something acquired for a file that could not be opened";
    }
    // The file is opened first and closed last, once; the loader's two blocks go before it.
    if (trace.front() != "CreateFileW") return "the run does not start by opening the file";
    if (trace.back() != "CloseHandle") return "the file is not closed last";
    size_t opens = 0, closes = 0;
    for (const std::string& line : trace) {
        opens += line == "CreateFileW";
        closes += line == "CloseHandle";
    }
    if (opens != 1 || closes != 1) return "the file is opened or closed more than once";
    const size_t messagesDoneBy = AfterLastMessage(trace);
    for (size_t i = messagesDoneBy; i + 1 < trace.size(); ++i) {
        if (!StartsWith(trace[i], "GlobalFree ")) return "after the last message, not a release: " + trace[i];
    }
    return CheckBlocks(trace, messagesDoneBy, 2);
}

std::string CheckReportTrace(const std::vector<std::string>& trace, PlatformCounts after) {
    const std::vector<std::string> messages = TraceMessages(trace);
    std::string broken = CheckMessages(messages, nullptr, 0);
    if (broken.empty()) broken = CheckCounts(after);
    if (broken.empty()) broken = CheckBlocks(trace, AfterLastMessage(trace), 0);
    if (broken.empty() && !StartsWith(trace.back(), kMessagePrefix)) broken = "something happened after the message";
    for (const std::string& line : trace) {
        if (broken.empty() && (line == "CreateFileW" || line == "CloseHandle")) broken = "the report touched a file";
    }
    return broken;
}
