#include "embedded_files.h"

#include <zip.h>

#include <unordered_map>
#include <unordered_set>

namespace {

// Each entry is read through this much at a time, whatever size it declares.
const size_t kReadPiece = 64 * 1024;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A name as the game matches it: ASCII case ignored, backslashes as slashes.
std::string Folded(const char* bytes, size_t length) {
    std::string folded(bytes, length);
    for (char& c : folded) c = c == '\\' ? '/' : AsciiLower(c);
    return folded;
}

bool IsLocalPath(const std::string& name) {
    const char first = name.empty() ? 0 : AsciiLower(name[0]);
    return first == '/' || first == '\\' || (first >= 'a' && first <= 'z' && name.size() > 1 && name[1] == ':');
}

// Reads the entry whole; false when libzip cannot, or finds its data, size or CRC wrong (the last at the close).
bool EntryReads(zip_t* archive, zip_uint64_t index) {
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    if (!file) return false;
    static char piece[kReadPiece];
    zip_int64_t got = 0;
    while ((got = zip_fread(file, piece, sizeof piece)) > 0) {
    }
    const bool closed = zip_fclose(file) == 0;
    return got == 0 && closed;
}

bool ReadEntries(zip_t* archive, EmbeddedFiles* files) {
    std::unordered_map<std::string, unsigned> seen;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        const zip_uint64_t at = static_cast<zip_uint64_t>(index);
        if (zip_stat_index(archive, at, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
            files->findings.push_back({FindingKind::kDamagedArchive, ""});
            return false;
        }
        const EmbeddedFile file = {stat.name, stat.size, stat.comp_size};
        files->files.push_back(file);
        files->packedTotal += file.packedSize;
        if (IsLocalPath(file.name)) files->findings.push_back({FindingKind::kLocalPath, file.name});
        if (++seen[file.name] == 2) files->findings.push_back({FindingKind::kDuplicate, file.name});
        if (!EntryReads(archive, at)) files->findings.push_back({FindingKind::kDamagedFile, file.name});
    }
    return true;
}

// Whether the game finds the file of a listed item among the entries' folded names.
bool HasFile(const std::unordered_set<std::string>& names, const std::string& item) {
    static const char kClub[] = "club:";
    if (item.compare(0, sizeof kClub - 1, kClub) == 0) return names.count("clubitems/" + item.substr(sizeof kClub - 1)) > 0;
    return names.count("items/" + item) > 0 || names.count("blocks/" + item) > 0;
}

}  // namespace

bool ReadArchive(const unsigned char* bytes, size_t size, EmbeddedFiles* files) {
    if (size == 0) return true;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes, size, 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source) zip_source_free(source);
        files->findings.push_back({FindingKind::kDamagedArchive, ""});
        return false;
    }
    const bool read = ReadEntries(archive, files);
    zip_discard(archive);
    return read;
}

void ReadEmbeddedFiles(const ItemsReport* report, EmbeddedFiles* files) {
    *files = EmbeddedFiles{};
    const size_t left = static_cast<size_t>(report->embedded.end - report->embedded.position);
    if (report->embeddedSize > left) {
        files->findings.push_back({FindingKind::kCutShort, ""});
        return;
    }
    if (!ReadArchive(report->embedded.position, report->embeddedSize, files)) return;

    std::unordered_set<std::string> names;
    for (const EmbeddedFile& file : files->files) names.insert(Folded(file.name.data(), file.name.size()));
    std::unordered_set<std::string> reported;
    ItemWalk walk;
    BeginItemWalk(report, &walk);
    ReportItem item;
    while (ReadReportItem(&walk, &item)) {
        const std::string folded = Folded(item.identifier.bytes, item.identifier.length);
        if (folded.empty() || HasFile(names, folded) || !reported.insert(folded).second) continue;
        files->findings.push_back({FindingKind::kMissing, std::string(item.identifier.bytes, item.identifier.length)});
    }
}

const char* FindingSentence(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMissing: return "Listed item without its file among the embedded files";
        case FindingKind::kLocalPath: return "Embedded file named from the maker's own folders";
        case FindingKind::kDuplicate: return "Embedded files that share a name";
        case FindingKind::kDamagedFile: return "Embedded file damaged";
        case FindingKind::kDamagedArchive: return "Embedded files damaged: their archive cannot be read";
        case FindingKind::kCutShort: return "Embedded files damaged: their archive is cut short";
    }
    return "";
}

const char* FindingCode(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMissing: return "missing";
        case FindingKind::kLocalPath: return "local_path";
        case FindingKind::kDuplicate: return "duplicate";
        case FindingKind::kDamagedFile:
        case FindingKind::kDamagedArchive:
        case FindingKind::kCutShort: break;
    }
    return "damaged";
}
