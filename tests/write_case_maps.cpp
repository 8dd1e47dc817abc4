// Writes the map of every run case to DIR/<case>.Map.Gbx, or with "bodies" the decompressed body of every case
// whose map has one to DIR/<case>.body: seeds for the fuzzers and maps for checking the real binary. With
// "messages" it writes the maps of the run table, a folder named like a map, a tiny map that declares a huge
// body, a map whose embedded files have findings, a map for each archive case, and DIR/messages.json, the
// boxes each must show in the page's test: reports whole, each name on its line; and beside them
// slow.Map.Gbx, a map that takes a while. With "sample" it writes the project's sample map to FILE. With
// "archives" it writes each archive case to DIR/<n>.zip, seeds for the archive's fuzzer.
// Usage: write_case_maps DIR [bodies|messages|archives] | write_case_maps FILE sample
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive_file.h"

namespace {

std::string FileName(const std::string& name) {
    std::string out;
    for (char c : name) out += (isalnum(static_cast<unsigned char>(c)) || c == '-') ? c : '_';
    return out;
}

// A report cut at its 8191 characters from a small body: back-references repeat two strings of 511 bytes.
// The fuzzers keep their inputs short, too short for the run case that fills the report item by item.
RunCase ShortFullReport() {
    ItemsChunk chunk;
    for (int i = 0; i < 12; ++i) chunk.items.push_back({std::string(511, 'x'), 11, std::string(511, 'y')});
    chunk.embeddedSize = 1;
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    return {"report filled by back-references", BuildMap(layout), {}, 3};
}

// About a hundred bytes that declare a body of 0x70000000 bytes, which they cannot decompress to: where the
// allocator grants it, "Could not decompress file body.", at once.
RunCase HugeDeclaredBody() {
    MapLayout layout;
    layout.body = BodyWithChunk({});
    layout.bodySize = 0x70000000u;
    return {"tiny map declaring a huge body", BuildMap(layout), {Warning(kDecompressError)}, 3};
}

// A map that takes a while: its one embedded file is 1 GiB of zero bytes, deflated to about 1 MB, which the
// page's test stops while it is inflated; the file is 18 MB, which may inflate to 64 times that. Not in the
// run table: a test chooses it by its name, slow.Map.Gbx.
RunCase SlowMap() {
    RawArchive archive;
    archive.entries = {ZerosEntry("Items/Zeros.Item.Gbx", 1024)};
    const ArchiveCase zeros = {"slow", WriteArchive(archive), {}, {}};
    RunCase slow = ArchiveMap(zeros);
    // Bytes behind the body, which nothing reads, make the file large enough to be let inflate its GiB.
    slow.map.resize(slow.map.size() + (size_t{17} << 20));
    return slow;
}

// Every archive case: deflated, stored and ZIP64 entries, names of every kind, damage, and archives that
// lie; and a bomb small enough for the fuzzer, which keeps its inputs to 4 kB.
bool WriteArchives(const std::string& dir) {
    std::vector<Bytes> archives = {OverlappingBomb(8, 4096)};
    for (const ArchiveCase& c : ArchiveCases()) archives.push_back(c.archive);
    bool written = true;
    for (size_t i = 0; i < archives.size(); ++i) written = written && WriteFile(dir + "/" + std::to_string(i) + ".zip", archives[i]);
    return written;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// [{"map": "<case>.Map.Gbx", "messages": [{"kind": "information"|"warning", "text": ...}, ...]}, ...]; the
// folder's entry also has "folder": true.
std::string MessagesJson(const std::vector<RunCase>& cases, const std::string& folder) {
    std::string json = "[\n{\"map\": " + JsonString(folder) + ", \"folder\": true, \"messages\": [{\"kind\": " +
                       "\"warning\", \"text\": " + JsonString(kCannotOpen) + "}]}";
    for (const RunCase& c : cases) {
        json += ",\n{\"map\": " + JsonString(FileName(c.name) + ".Map.Gbx") + ", \"messages\": [";
        const std::vector<Message> messages = DoorMessages(c.messages);
        for (size_t i = 0; i < messages.size(); ++i) {
            json += std::string(i > 0 ? ", " : "") + "{\"kind\": \"" + (messages[i].information ? "information" : "warning") +
                    "\", \"text\": " + JsonString(LineSafe(messages[i].text)) + "}";
        }
        json += "]}";
    }
    return json + "\n]\n";
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc == 3 ? argv[2] : "";
    if ((argc != 2 && argc != 3) || (argc == 3 && strcmp(mode, "bodies") != 0 && strcmp(mode, "messages") != 0 &&
                                      strcmp(mode, "archives") != 0 && strcmp(mode, "sample") != 0)) {
        fprintf(stderr, "usage: write_case_maps DIR [bodies|messages|archives] | write_case_maps FILE sample\n");
        return 2;
    }
    bool written = true;
    if (strcmp(mode, "sample") == 0) {
        written = WriteFile(argv[1], SampleMap());
    } else if (strcmp(mode, "archives") == 0) {
        written = WriteArchives(argv[1]);
    } else {
        const bool bodies = strcmp(mode, "bodies") == 0;
        std::vector<RunCase> cases = MapRunCases();
        if (strcmp(mode, "messages") == 0) {
            cases.push_back(HugeDeclaredBody());
            cases.push_back(EmbeddedFindingsCase());
            for (const ArchiveCase& archive : ArchiveCases()) cases.push_back(ArchiveMap(archive));
            const std::string folder = "folder.Map.Gbx";
            const std::string json = MessagesJson(cases, folder);
            std::error_code error;
            std::filesystem::create_directories(std::string(argv[1]) + "/" + folder, error);
            written = !error && WriteFile(std::string(argv[1]) + "/messages.json", Bytes(json.begin(), json.end())) &&
                      WriteFile(std::string(argv[1]) + "/slow.Map.Gbx", SlowMap().map);
        } else {
            cases.push_back(ShortFullReport());  // no boxes of its own to expect
        }
        for (const RunCase& c : cases) {
            const std::string stem = std::string(argv[1]) + "/" + FileName(c.name);
            Bytes body;
            if (!bodies) written = written && WriteFile(stem + ".Map.Gbx", c.map);
            if (bodies && DecompressBody(c.map, &body)) written = written && WriteFile(stem + ".body", body);
        }
    }
    if (!written) fprintf(stderr, "write_case_maps: cannot write %s\n", argv[1]);
    return written ? 0 : 1;
}
