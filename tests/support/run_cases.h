// Whole runs of the tool on generated map files, with the message boxes each must show. Every runner (the
// Linux binary, the in-process runs, the Windows programs under Wine) checks the same table. The tool's
// sentences are written here once, apart from the product code, so that a typo in either fails a test.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "map_file.h"

inline constexpr char kUsage[] = "Usage: Tallyglass.exe <Map.Gbx>";
inline constexpr char kNotFound[] = "File not found.";
inline constexpr char kCannotOpen[] = "Could not open input file.";
inline constexpr char kFormatError[] = "Invalid or unsupported file format.";
inline constexpr char kUncompressed[] = "Uncompressed maps not supported.";
inline constexpr char kReadError[] = "Error while reading input file.";
inline constexpr char kOutOfMemory[] = "Out of memory.";
inline constexpr char kDecompressError[] = "Could not decompress file body.";
inline constexpr char kNoChunk[] = "Items chunk not found.";
inline constexpr char kVersionWarning[] = "Unsupported chunk version.";
inline constexpr char kReportHeading[] = "Number of embedded items: ";
inline constexpr char kSizeLine[] = "\r\nSize of embedded files: ";
inline constexpr char kCaption[] = "Tallyglass";

struct Message {
    bool information;  // false: the warning kind
    std::string text;  // UTF-8, lines separated by "\r\n"
    bool operator==(const Message& other) const { return information == other.information && text == other.text; }
};
inline std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << (m.information ? "information: " : "warning: ") << m.text;
}
inline Message Warning(const std::string& text) { return {false, text}; }
inline Message Information(const std::string& text) { return {true, text}; }

struct RunCase {
    std::string name;
    Bytes map;
    std::vector<Message> messages;  // the report whole, its names as the map gives them
    // What the run holds when its last message shows, counted from the file: 1 the file alone, 2 also the
    // compressed buffer, 3 also the MapBody.
    int held;
    std::string sameUid = "";  // the case before it whose map holds the same uid, for the doors that read it
};

std::vector<RunCase> MapRunCases();

// The messages as every door beside the Windows box shows them: a body without an items chunk is a map
// without custom items, whose report is of none.
std::vector<Message> DoorMessages(const std::vector<Message>& messages);

// The messages as the Windows box shows them: a report is cut after 8191 UTF-16 units.
std::vector<Message> BoxMessages(const std::vector<Message>& messages);

// The character at `at` of well-formed UTF-8, and its length in bytes.
uint32_t CodePointAt(const std::string& text, size_t at, size_t* length);

// Text as the doors that keep each name on its line show it: every character that could break or reorder a
// line (controls, bidirectional controls, U+2028, U+2029) is U+FFFD, but for the report's own CR LF. The
// table's names hold no CR LF of their own.
std::string LineSafe(const std::string& text);

// The report the sample map shows.
std::string SampleReport();
