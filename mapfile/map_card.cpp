#include "map_card.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include <pugixml.hpp>

#include "little_endian.h"

namespace {

// Header chunks by the number after their class: maps' current class and the older one share them.
const uint32_t kXmlChunk = 0x005;
const uint32_t kThumbnailChunk = 0x007;
const uint32_t kAuthorChunk = 0x008;
const uint32_t kMapClasses[] = {0x03043000u, 0x24003000u};

// The size word's top bit flags the chunk as skippable; the rest is its size.
const uint32_t kChunkSizeMask = 0x7FFFFFFFu;

uint32_t ChunkNumber(uint32_t id) {
    for (uint32_t mapClass : kMapClasses) {
        if ((id & ~0xFFFu) == mapClass) return id & 0xFFFu;
    }
    return 0;
}

// Bytes read front to back; a read past the end fails and reads nothing.
struct ByteReader {
    const unsigned char* at;
    size_t left;
};

bool ReadWord(ByteReader* reader, uint32_t* value) {
    if (reader->left < 4) return false;
    *value = LoadLittleEndian32(reader->at);
    reader->at += 4;
    reader->left -= 4;
    return true;
}

bool ReadBytes(ByteReader* reader, size_t count, const unsigned char** bytes) {
    if (reader->left < count) return false;
    *bytes = reader->at;
    reader->at += count;
    reader->left -= count;
    return true;
}

bool ReadTag(ByteReader* reader, const char* tag) {
    const unsigned char* bytes = nullptr;
    const size_t length = strlen(tag);
    return ReadBytes(reader, length, &bytes) && memcmp(bytes, tag, length) == 0;
}

// A string as the header's binary chunks store it: a u32 length, then its bytes.
bool ReadString(ByteReader* reader, std::optional<std::string>* text) {
    uint32_t length = 0;
    const unsigned char* bytes = nullptr;
    if (!ReadWord(reader, &length) || !ReadBytes(reader, length, &bytes)) return false;
    if (length > 0) *text = std::string(reinterpret_cast<const char*>(bytes), length);
    return true;
}

std::optional<std::string> Given(const pugi::xml_node& node, const char* name) {
    const char* value = node.attribute(name).value();
    if (value[0] == 0) return std::nullopt;
    return std::string(value);
}

// A whole decimal number of at most 18 digits, a minus sign allowed: nothing else is a number.
std::optional<int64_t> Number(const pugi::xml_node& node, const char* name) {
    const char* text = node.attribute(name).value();
    const bool negative = text[0] == '-';
    if (negative) ++text;
    size_t digits = 0;
    int64_t value = 0;
    for (; text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        if (digits == 18) return std::nullopt;
        value = value * 10 + (text[digits] - '0');
    }
    if (digits == 0 || text[digits] != 0) return std::nullopt;
    return negative ? -value : value;
}

// A medal time: -1 (or any time before the start) is none.
std::optional<int64_t> Time(const pugi::xml_node& node, const char* name) {
    const std::optional<int64_t> time = Number(node, name);
    if (time && *time < 0) return std::nullopt;
    return time;
}

// The XML header: a document type declaration is refused, and no entity but XML's own and character
// references is ever expanded.
bool ReadXml(const unsigned char* bytes, size_t size, MapCard* card) {
    pugi::xml_document document;
    const unsigned options = pugi::parse_default | pugi::parse_doctype;
    if (!document.load_buffer(bytes, size, options, pugi::encoding_utf8)) return false;
    for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_doctype) return false;
    }
    const pugi::xml_node header = document.child("header");
    if (!header) return false;
    const pugi::xml_node ident = header.child("ident");
    const pugi::xml_node desc = header.child("desc");
    const pugi::xml_node times = header.child("times");
    card->uid = Given(ident, "uid");
    card->name = Given(ident, "name");
    card->author = Given(ident, "author");
    card->authorZone = Given(ident, "authorzone");
    card->environment = Given(desc, "envir");
    card->mood = Given(desc, "mood");
    card->title = Given(header, "title");
    card->mapType = Given(desc, "maptype");
    if (!card->mapType) card->mapType = Given(desc, "type");
    card->laps = Number(desc, "nblaps");
    if (times) {
        card->times = MedalTimes{Time(times, "bronze"), Time(times, "silver"), Time(times, "gold"),
                                 Time(times, "authortime")};
    }
    for (pugi::xml_node dep = header.child("deps").child("dep"); dep; dep = dep.next_sibling("dep")) {
        const std::optional<std::string> file = Given(dep, "file");
        if (file) card->dependencies.push_back({*file, Given(dep, "url")});
    }
    return true;
}

// The author chunk: two versions, then login, nickname, zone and one more string. What the XML says stands.
void ReadAuthor(ByteReader reader, MapCard* card) {
    uint32_t version = 0;
    std::optional<std::string> login, nickname, zone;
    if (!ReadWord(&reader, &version) || !ReadWord(&reader, &version) || !ReadString(&reader, &login) ||
        !ReadString(&reader, &nickname) || !ReadString(&reader, &zone)) {
        return;
    }
    if (!card->author) card->author = login;
    card->authorNickname = nickname;
    if (!card->authorZone) card->authorZone = zone;
}

// The thumbnail chunk: a version (0: none), the JPEG's size, the JPEG between its tags. Only a JPEG whose
// tags stand where its size says, and that starts and ends as a JPEG does, is taken.
void ReadThumbnail(ByteReader reader, const unsigned char* data, uint64_t offset, MapCard* card) {
    uint32_t version = 0;
    uint32_t size = 0;
    const unsigned char* jpeg = nullptr;
    if (!ReadWord(&reader, &version) || version == 0 || !ReadWord(&reader, &size) || size < 4) return;
    if (!ReadTag(&reader, "<Thumbnail.jpg>") || !ReadBytes(&reader, size, &jpeg) || !ReadTag(&reader, "</Thumbnail.jpg>")) {
        return;
    }
    if (jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[size - 2] != 0xFF || jpeg[size - 1] != 0xD9) return;
    card->thumbnailOffset = offset + static_cast<uint64_t>(jpeg - data);
    card->thumbnailSize = size;
}

}  // namespace

void ReadMapCard(const unsigned char* data, size_t size, uint64_t offset, MapCard* card) {
    *card = MapCard{};
    ByteReader reader = {data, size};
    uint32_t count = 0;
    if (!ReadWord(&reader, &count) || count > reader.left / 8) return;
    ByteReader table = {reader.at, size_t{count} * 8};
    reader.at += table.left;
    reader.left -= table.left;
    // The chunks follow the table in its order; a size that passes the user data leaves the table untrusted.
    ByteReader xml = {}, thumbnail = {}, author = {};
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t id = 0, sizeWord = 0;
        ReadWord(&table, &id);
        ReadWord(&table, &sizeWord);
        ByteReader chunk = {reader.at, sizeWord & kChunkSizeMask};
        const unsigned char* skipped = nullptr;
        if (!ReadBytes(&reader, chunk.left, &skipped)) return;
        switch (ChunkNumber(id)) {
            case kXmlChunk: xml = chunk; break;
            case kThumbnailChunk: thumbnail = chunk; break;
            case kAuthorChunk: author = chunk; break;
            default: break;
        }
    }
    uint32_t length = 0;
    const unsigned char* document = nullptr;
    if (!ReadWord(&xml, &length) || !ReadBytes(&xml, length, &document) || !ReadXml(document, length, card)) {
        *card = MapCard{};
        return;
    }
    ReadAuthor(author, card);
    ReadThumbnail(thumbnail, data, offset, card);
    card->known = true;
}

void ReadMapFileCard(HANDLE file, uint64_t fileSize, MapCard* card) {
    *card = MapCard{};
    unsigned char head[kUserDataOffset];
    DWORD read = 0;
    if (fileSize < kUserDataOffset || SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(file, head, kUserDataOffset, &read, nullptr) || read != kUserDataOffset) {
        return;
    }
    if (memcmp(head, "GBX", 3) != 0) return;
    // The user data is read only as far as the file holds it: its size word costs nothing it does not have.
    const uint32_t size = LoadLittleEndian32(head + kUserDataOffset - 4);
    if (size == 0 || size > fileSize - kUserDataOffset) return;
    unsigned char* data = static_cast<unsigned char*>(malloc(size));
    if (!data) return;
    if (ReadFile(file, data, size, &read, nullptr) && read == size) ReadMapCard(data, size, kUserDataOffset, card);
    free(data);
}
