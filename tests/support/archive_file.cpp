#include "archive_file.h"

#include <zip.h>

#include <algorithm>
#include <cstring>

namespace {

// A source that does not tell its size, for which libzip writes a ZIP64 local header.
struct UnsizedSource {
    const std::string* data;
    size_t at;
};

zip_int64_t ReadUnsized(void* state, void* out, zip_uint64_t length, zip_source_cmd_t command) {
    UnsizedSource* source = static_cast<UnsizedSource*>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN: source->at = 0; return 0;
        case ZIP_SOURCE_READ: {
            const size_t n = std::min<size_t>(length, source->data->size() - source->at);
            memcpy(out, source->data->data() + source->at, n);
            source->at += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_STAT: zip_stat_init(static_cast<zip_stat_t*>(out)); return sizeof(zip_stat_t);
        case ZIP_SOURCE_ERROR: return 2 * sizeof(int);
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE: return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default: return -1;
    }
}

// Clears the UTF-8 flag (bit 11 of the general purpose flags) in every local and central header.
void ClearUtf8Flags(Bytes& bytes) {
    for (size_t at = 0; at + 10 < bytes.size(); ++at) {
        if (bytes[at] != 'P' || bytes[at + 1] != 'K') continue;
        if (bytes[at + 2] == 3 && bytes[at + 3] == 4) bytes[at + 7] &= ~0x08;
        if (bytes[at + 2] == 1 && bytes[at + 3] == 2) bytes[at + 9] &= ~0x08;
    }
}

}  // namespace

Bytes BuildArchive(const std::vector<ArchiveEntry>& entries, bool utf8Flag) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    // libzip takes a name once: an entry whose name is taken goes in under a stand-in of the same length.
    std::vector<std::pair<std::string, std::string>> standIns;
    std::vector<UnsizedSource> unsized(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        std::string name = entry.name;
        if (zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW) >= 0) {
            name = std::string(name.size() - 1, '~') + static_cast<char>('0' + standIns.size());
            standIns.push_back({name, entry.name});
        }
        unsized[i] = {&entry.content, 0};
        zip_source_t* source = entry.zip64 ? zip_source_function(archive, ReadUnsized, &unsized[i])
                                           : zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_GUESS);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 315532800, 0);
    }
    zip_close(archive);
    zip_stat_t stat;
    zip_source_stat(out, &stat);
    Bytes bytes(stat.size);
    zip_source_open(out);
    zip_source_read(out, bytes.data(), bytes.size());
    zip_source_close(out);
    zip_source_free(out);
    for (const auto& [standIn, name] : standIns) bytes = Replaced(bytes, standIn, name);
    if (!utf8Flag) ClearUtf8Flags(bytes);
    return bytes;
}

Bytes Replaced(Bytes bytes, const std::string& from, const std::string& to) {
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), from.begin(), from.end())) != bytes.end();) {
        at = std::copy(to.begin(), to.end(), at);
    }
    return bytes;
}

RunCase EmbeddedFindingsCase() {
    ItemsChunk chunk;
    chunk.items = {{"A\\B.Item.Gbx", 11, ""}, {"Gone\\G.Item.Gbx", 11, ""}};
    chunk.archive = BuildArchive({{"Items/A/B.Item.Gbx", "b", true}, {"E:/Maker/Items/A/B.Item.Gbx", "ee", true},
                                  {"Items/A/B.Item.Gbx", "b", true}});
    chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());  // below 1,000: shown in bytes
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    const std::string report = kReportHeading + std::string("2\r\nA\\B.Item.Gbx\r\nGone\\G.Item.Gbx") + kSizeLine +
                               std::to_string(chunk.embeddedSize) + " bytes";
    return {"embedded files with findings", BuildMap(layout), {Information(report)}, 3};
}
