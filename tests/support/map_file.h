// Writes and reads Gbx map files for everything that is not the tool: tests, fuzz seeds, the benchmark and the
// shipped sample. Bodies are compressed with the LZO library's own compressor, so every run goes through the
// real decompression.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct MapLayout {
    std::string magic = "GBX";
    uint16_t formatVersion = 6;
    uint8_t format[4] = {'B', 'U', 'C', 'R'};  // the third byte is the body compression byte
    uint32_t classId = 0x03043000;
    Bytes userData;
    std::optional<uint32_t> userDataSize;  // written instead of userData.size()
    Bytes body;                            // the uncompressed body
    std::optional<uint32_t> bodySize;      // written instead of body.size()
    std::optional<Bytes> compressedBody;   // written instead of the compressed body
    std::optional<uint32_t> compressedSize;  // written instead of the compressed body's size
    Bytes trailing;                          // bytes behind the compressed body
};

Bytes Compress(const Bytes& body);
Bytes BuildMap(const MapLayout& layout);

// Offsets of the header's size fields in a map built without overrides from a layout with this user data.
struct HeaderOffsets {
    size_t userDataSize, bodySize, compressedSize, body;
};
HeaderOffsets OffsetsOf(const MapLayout& layout);

void PutU32(Bytes& out, uint32_t value);
void PutBytes(Bytes& out, const std::string& text);
void PutString(Bytes& out, const std::string& text);  // 32-bit length and the bytes
uint32_t WordAt(const Bytes& bytes, size_t offset);  // the little-endian word there
Bytes WithWord(Bytes bytes, size_t offset, uint32_t value);  // a copy with that word replaced

// A header chunk as the user data holds it, behind the table of ids and sizes.
struct HeaderChunk {
    uint32_t id;
    Bytes bytes;
    std::optional<uint32_t> size;  // written in the table instead of bytes.size()
};
// The user data: the chunk count, the table (each size with the top bit set, as the game flags some), the
// chunks.
Bytes BuildUserData(const std::vector<HeaderChunk>& chunks);

// A map's card as a header holds it: the XML header, the thumbnail and the author chunks.
const uint32_t kXmlChunkId = 0x03043005, kThumbnailChunkId = 0x03043007, kAuthorChunkId = 0x03043008;
Bytes XmlChunk(const std::string& xml);  // its length, then the document
Bytes ThumbnailChunk(const Bytes& jpeg, const std::string& comments = "");
Bytes AuthorChunk(const std::string& login, const std::string& nickname, const std::string& zone);
// The XML header of a current map, its fields as given; `more` goes inside the header, after the times.
std::string MapXml(const std::string& uid, const std::string& name, const std::string& author, const std::string& more = "");
// A JPEG as far as its first and last bytes tell: a header reads no further.
Bytes JpegShaped(size_t size);
// A 16 x 16 JPEG stored bottom-up as a thumbnail is: blue above red, so that upright it shows red above blue.
Bytes UpsideDownJpeg();
// A current map's user data: the XML header, a thumbnail of `jpeg` when given, and the author chunk.
Bytes CardUserData(const std::string& xml, const Bytes& jpeg = {}, const std::string& nickname = "");

// Writes lookback strings as a real file does: the lookback version before the first one, a string the
// first time it appears (flag 0x40000000) and a back-reference after that.
struct LookbackWriter {
    bool versionWritten = false;
    std::unordered_map<std::string, uint32_t> remembered;  // text -> its index, from 1
};
void PutLookbackString(Bytes& out, LookbackWriter& writer, const std::string& text);
void PutLookbackValue(Bytes& out, LookbackWriter& writer, uint32_t value);  // a raw lookback value

struct Item {
    std::string identifier;
    uint32_t collection;  // the second string, as a collection number
    std::string author;   // empty: written as the empty string value 0xFFFFFFFF
};

struct ItemsChunk {
    std::vector<Item> items;
    uint32_t version = 1;
    std::optional<uint32_t> chunkSize;      // default: the bytes that follow the size field
    std::optional<uint32_t> itemCount;      // default: items.size()
    uint32_t embeddedSize = 0;              // S
    Bytes archive;                          // the embedded files' archive, behind S (which need not be its size)
};

// The chunk id, "PIKS" and the chunk's fields.
Bytes BuildItemsChunk(const ItemsChunk& chunk);

// A body with a chunk before the items chunk and the end marker behind it, as in a real body.
Bytes BodyWithChunk(const Bytes& chunk);

// Where the tool finds a map's body sizes and compressed body: behind the user data, whose size + 8 is
// taken as a signed skip. False when the file does not reach the two sizes.
struct MapSizes {
    uint32_t bodySize, compressedSize;
    size_t compressedAt;
};
bool ReadMapSizes(const Bytes& file, MapSizes* sizes);

// The body as the tool decompresses it; false when the sizes or the compressed body are not sound.
bool DecompressBody(const Bytes& file, Bytes* body);

bool WriteFile(const std::string& path, const Bytes& bytes);
std::string ReadWholeFile(const std::string& path);  // empty when it cannot be read

// The map that ships as the project's sample.
Bytes SampleMap();
