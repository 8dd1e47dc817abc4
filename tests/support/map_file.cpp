#include "map_file.h"

#include <lzo/lzo1x.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

Bytes Compress(const Bytes& body) {
    if (lzo_init() != LZO_E_OK) return {};
    Bytes out(body.size() + body.size() / 16 + 64 + 3);
    std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
    lzo_uint length = out.size();
    if (lzo1x_1_compress(body.data(), body.size(), out.data(), &length, work.data()) != LZO_E_OK) return {};
    out.resize(length);
    return out;
}

void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutBytes(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

void PutString(Bytes& out, const std::string& text) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    PutBytes(out, text);
}

uint32_t WordAt(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

Bytes WithWord(Bytes bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    return bytes;
}

HeaderOffsets OffsetsOf(const MapLayout& layout) {
    const size_t userDataSize = 13;
    const size_t bodySize = 17 + layout.userData.size() + 8;
    return {userDataSize, bodySize, bodySize + 4, bodySize + 8};
}

Bytes BuildMap(const MapLayout& layout) {
    Bytes out;
    PutBytes(out, layout.magic);
    out.push_back(static_cast<uint8_t>(layout.formatVersion));
    out.push_back(static_cast<uint8_t>(layout.formatVersion >> 8));
    out.insert(out.end(), layout.format, layout.format + 4);
    PutU32(out, layout.classId);
    PutU32(out, layout.userDataSize.value_or(static_cast<uint32_t>(layout.userData.size())));
    out.insert(out.end(), layout.userData.begin(), layout.userData.end());
    PutU32(out, 0);  // the two words behind the user data
    PutU32(out, 0);
    const Bytes compressed = layout.compressedBody.value_or(Compress(layout.body));
    PutU32(out, layout.bodySize.value_or(static_cast<uint32_t>(layout.body.size())));
    PutU32(out, layout.compressedSize.value_or(static_cast<uint32_t>(compressed.size())));
    out.insert(out.end(), compressed.begin(), compressed.end());
    out.insert(out.end(), layout.trailing.begin(), layout.trailing.end());
    return out;
}

Bytes BuildUserData(const std::vector<HeaderChunk>& chunks) {
    Bytes out;
    PutU32(out, static_cast<uint32_t>(chunks.size()));
    for (const HeaderChunk& chunk : chunks) {
        PutU32(out, chunk.id);
        PutU32(out, chunk.size.value_or(static_cast<uint32_t>(chunk.bytes.size())) | 0x80000000u);
    }
    for (const HeaderChunk& chunk : chunks) out.insert(out.end(), chunk.bytes.begin(), chunk.bytes.end());
    return out;
}

Bytes XmlChunk(const std::string& xml) {
    Bytes out;
    PutString(out, xml);
    return out;
}

Bytes ThumbnailChunk(const Bytes& jpeg, const std::string& comments) {
    Bytes out;
    PutU32(out, 1);
    PutU32(out, static_cast<uint32_t>(jpeg.size()));
    PutBytes(out, "<Thumbnail.jpg>");
    out.insert(out.end(), jpeg.begin(), jpeg.end());
    PutBytes(out, "</Thumbnail.jpg><Comments>");
    PutString(out, comments);
    PutBytes(out, "</Comments>");
    return out;
}

Bytes AuthorChunk(const std::string& login, const std::string& nickname, const std::string& zone) {
    Bytes out;
    PutU32(out, 0);
    PutU32(out, 1);
    for (const std::string& text : {login, nickname, zone, std::string()}) PutString(out, text);
    return out;
}

std::string MapXml(const std::string& uid, const std::string& name, const std::string& author, const std::string& more) {
    return "<header type=\"map\" exever=\"3.3.0\" exebuild=\"2023-11-24_17_34\" title=\"TMStadium\" lightmap=\"0\">"
           "<ident uid=\"" + uid + "\" name=\"" + name + "\" author=\"" + author + "\" authorzone=\"World|Europe\"/>"
           "<desc envir=\"Stadium\" mood=\"Day\" type=\"Race\" maptype=\"TrackMania\\TM_Race\" mapstyle=\"\" validated=\"1\" "
           "nblaps=\"0\" displaycost=\"387\" mod=\"\" hasghostblocks=\"0\"/><playermodel id=\"\"/>"
           "<times bronze=\"68000\" silver=\"55000\" gold=\"48000\" authortime=\"45120\" authorscore=\"45120\"/>" +
           more + "</header>";
}

Bytes JpegShaped(size_t size) {
    Bytes jpeg(size, 0x5A);
    const uint8_t start[] = {0xFF, 0xD8, 0xFF, 0xE0};
    std::copy(start, start + 4, jpeg.begin());
    jpeg[size - 2] = 0xFF;
    jpeg[size - 1] = 0xD9;
    return jpeg;
}

Bytes UpsideDownJpeg() {
    static const uint8_t kJpeg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43,
    0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03, 0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0A, 0x07,
    0x07, 0x06, 0x08, 0x0C, 0x0A, 0x0C, 0x0C, 0x0B, 0x0A, 0x0B, 0x0B, 0x0D, 0x0E, 0x12, 0x10, 0x0D, 0x0E, 0x11, 0x0E, 0x0B, 0x0B, 0x10, 0x16, 0x10,
    0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0C, 0x0F, 0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xFF, 0xDB, 0x00, 0x43, 0x01, 0x03, 0x04,
    0x04, 0x05, 0x04, 0x05, 0x09, 0x05, 0x05, 0x09, 0x14, 0x0D, 0x0B, 0x0D, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10, 0x03,
    0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xC4, 0x00, 0x16, 0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x09, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xC4, 0x00, 0x16, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x06, 0xFF, 0xC4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0xCF, 0x75, 0x53, 0x61, 0xC0,
    0x5F, 0x50, 0xE5, 0x62, 0xC0, 0x7F, 0xFF, 0xD9,
    };
    return Bytes(kJpeg, kJpeg + sizeof kJpeg);
}

Bytes CardUserData(const std::string& xml, const Bytes& jpeg, const std::string& nickname) {
    std::vector<HeaderChunk> chunks = {{0x03043002, Bytes(57, 0x13), {}}, {kXmlChunkId, XmlChunk(xml), {}}};
    if (!jpeg.empty()) chunks.push_back({kThumbnailChunkId, ThumbnailChunk(jpeg), {}});
    chunks.push_back({kAuthorChunkId, AuthorChunk("zqkk5hbVT1u-bGfCz2nzdg", nickname, "World|Europe|France"), {}});
    return BuildUserData(chunks);
}

void PutLookbackValue(Bytes& out, LookbackWriter& writer, uint32_t value) {
    if (!writer.versionWritten) {
        PutU32(out, 3);
        writer.versionWritten = true;
    }
    PutU32(out, value);
}

void PutLookbackString(Bytes& out, LookbackWriter& writer, const std::string& text) {
    if (text.empty()) return PutLookbackValue(out, writer, 0xFFFFFFFFu);
    const auto known = writer.remembered.find(text);
    if (known != writer.remembered.end()) return PutLookbackValue(out, writer, 0x40000000u + known->second);
    PutLookbackValue(out, writer, 0x40000000u);
    PutString(out, text);
    writer.remembered.emplace(text, static_cast<uint32_t>(writer.remembered.size() + 1));
}

Bytes BuildItemsChunk(const ItemsChunk& chunk) {
    Bytes fields;
    PutU32(fields, chunk.version);
    PutU32(fields, 0);
    PutU32(fields, 0);
    PutU32(fields, chunk.itemCount.value_or(static_cast<uint32_t>(chunk.items.size())));
    LookbackWriter writer;
    for (const Item& item : chunk.items) {
        PutLookbackString(fields, writer, item.identifier);
        PutLookbackValue(fields, writer, item.collection);
        PutLookbackString(fields, writer, item.author);
    }
    PutU32(fields, chunk.embeddedSize);
    fields.insert(fields.end(), chunk.archive.begin(), chunk.archive.end());

    Bytes out = {0x54, 0x30, 0x04, 0x03};
    PutBytes(out, "PIKS");
    PutU32(out, chunk.chunkSize.value_or(static_cast<uint32_t>(fields.size())));
    out.insert(out.end(), fields.begin(), fields.end());
    return out;
}

Bytes BodyWithChunk(const Bytes& chunk) {
    Bytes body;
    PutU32(body, 0x0304301F);
    PutBytes(body, "PIKS");
    PutU32(body, 16);
    for (uint32_t i = 0; i < 4; ++i) PutU32(body, i * 0x01010101u);
    body.insert(body.end(), chunk.begin(), chunk.end());
    PutU32(body, 0xFACADE01);  // the end-of-body marker
    return body;
}

bool ReadMapSizes(const Bytes& file, MapSizes* sizes) {
    if (file.size() < 17) return false;
    const int64_t at = 17 + static_cast<int32_t>(WordAt(file, 13) + 8u);
    if (at < 0 || static_cast<uint64_t>(at) + 8 > file.size()) return false;
    const size_t offset = static_cast<size_t>(at);
    *sizes = {WordAt(file, offset), WordAt(file, offset + 4), offset + 8};
    return true;
}

bool DecompressBody(const Bytes& file, Bytes* body) {
    MapSizes sizes;
    if (!ReadMapSizes(file, &sizes) || sizes.bodySize == 0 || sizes.compressedSize > file.size() - sizes.compressedAt ||
        lzo_init() != LZO_E_OK) {
        return false;
    }
    body->assign(sizes.bodySize, 0);
    lzo_uint length = sizes.bodySize;
    const int result = lzo1x_decompress_safe(file.data() + sizes.compressedAt, sizes.compressedSize, body->data(),
                                             &length, nullptr);
    return result == LZO_E_OK && length == sizes.bodySize;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// The sample's embedded files: five deflated entries, the largest 9,000 bytes, as BuildArchive (libzip's own
// writer) wrote them, their names without the UTF-8 flag as most maps have them. In base64.
const char kSampleArchive[] =
    "UEsDBBQAAgAIAAAAIQAVFZIbhgAAAGAJAAAgAAAASXRlbXMvQmxvY2tzL1JhbXBfQ2Fmw6kuSXRlbS5HYnhzd4pgS84ozctWMFDIT1Mo"
    "SswtsIbwDdH4BgT4RiSqJ1W/IYnyhiTaZ0ihvAGF6gm5z4jG4UFteUrD12CQxx+t49OIwvxCaX4yojA9Uds91E4PRhS6z5DK+ZHa8UXt"
    "/G1EoX8MaZxfKY0vQzqHvyGVyw9qxxel4W1A5fiidn1iSOP0D+EDAFBLAwQUAAIACAAAACEAHU9qDD0BAAAoIwAAIAAAAEl0ZW1zL0Js"
    "b2Nrcy9SYW1wX0NhZsOpLk1lc2guZ2J41VkxDgIxDNt4xz3B8crGwhfYEQgJAQPi/wxsLKiK7StjVF2jto7j+Pa7w+Z4ed2vSy2P83I7"
    "PS/bT4yvuMTx9/78Ef/aj+J8GMzX3W90HYPnG/2+xOev8DqaeEITP2zebxcv7vobXe/WE8L51XxHcb4uPij+Xs3farx081OMHze/Ify+"
    "NOOxez6K69OtN9z6q1bu1zD3y24/ofg9GO7nMN/P2vXg1u9l1v+YvH4pnk9mx79aDyCMB05W7+p5jOb8FM97Fa4XiPHY9Q/UsbqfIqxn"
    "uvU7G3+p9XiaT9z9gmY/wu2PqO/H3c/cfij/DD9qP8mtDxHmH7eeh9kvd+s3N17VflmJ9bZ7HpntvRHWK1zZr59t/lb7rzDzTfr/onv/"
    "mmy+dP8vc/tXDPujCPcjhOdxmPHk5m81HyGqP99QSwMEFAACAAgAAAAhAKo+1ypiAAAA3AUAAB0AAABJdGVtcy9EZWNvL1Nha3VyYeac"
    "qC5JdGVtLkdieHN3imBLzijNy1YwUMhPUyhOzC4tSrSGiBhhiGCqMaSZiAGVdBmQZTIxfjeikoghlcwxoFmoGtLMFwY0i1MDOqYNI7J8"
    "YUSlcDakknsM6ZhWjaiU46iVWoxoVv7QLnYIqQEAUEsDBBQAAgAIAAAAIQDKmLGwQgAAALwCAAAbAAAAQmxvY2tzL1NpZ25zL1N0YXJ0"
    "Lkl0ZW0uR2J4c3eKYEvOKM3LVjBUyE9TKC5JLCqxhggYoQsYoAsQ1kJYBRm2kOFSI9JdakC6FmqEhwEV3GFAC8+R4X1DWsQtQgUAUEsD"
    "BBQAAgAIAAAAIQDWD59DdQAAAGwHAAAaAAAASXRlbXMvQmxvY2tzL0xvb3AuSXRlbS5HYnhzd4pgS84ozctWMFLIT1PIyc8vsIbwDdD4"
    "hgTkjQioNyTRfEr5RiS6j5B/SJUn1b9GJJpvQKJ+IwrdQ2l4kWqfAZX9b0jl9ElpeqB1+jagsv8MqJyejWgcHgYU6qd1eBlR6B8jGpfP"
    "1E7PBjSOX1qnfyOK+QBQSwECPwMUAAIACAAAACEAFRWSG4YAAABgCQAAIAAAAAAAAAAAAAAAtoEAAAAASXRlbXMvQmxvY2tzL1JhbXBf"
    "Q2Fmw6kuSXRlbS5HYnhQSwECPwMUAAIACAAAACEAHU9qDD0BAAAoIwAAIAAAAAAAAAAAAAAAtoHEAAAASXRlbXMvQmxvY2tzL1JhbXBf"
    "Q2Fmw6kuTWVzaC5nYnhQSwECPwMUAAIACAAAACEAqj7XKmIAAADcBQAAHQAAAAAAAAAAAAAAtoE/AgAASXRlbXMvRGVjby9TYWt1cmHm"
    "nKguSXRlbS5HYnhQSwECPwMUAAIACAAAACEAypixsEIAAAC8AgAAGwAAAAAAAAAAAAAAtoHcAgAAQmxvY2tzL1NpZ25zL1N0YXJ0Lkl0"
    "ZW0uR2J4UEsBAj8DFAACAAgAAAAhANYPn0N1AAAAbAcAABoAAAAAAAAAAAAAALaBVwMAAEl0ZW1zL0Jsb2Nrcy9Mb29wLkl0ZW0uR2J4"
    "UEsFBgAAAAAFAAUAeAEAAAQEAAAAAA==";

Bytes FromBase64(const char* text) {
    static const std::string kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Bytes bytes;
    uint32_t bits = 0;
    int count = 0;
    for (; *text != 0 && *text != '='; ++text) {
        bits = bits << 6 | static_cast<uint32_t>(kDigits.find(*text));
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes.push_back(static_cast<uint8_t>(bits >> count));
        }
    }
    return bytes;
}

}  // namespace

Bytes SampleMap() {
    ItemsChunk chunk;
    chunk.items = {
        {"Blocks\\Ramp_Café.Item.Gbx", 10003, "Zoë"},
        {"Deco\\Sakura木.Item.Gbx", 10003, "Hana"},
        {"Signs\\Start.Item.Gbx", 299, ""},
        {"Blocks\\Loop.Item.Gbx", 10003, "Zoë"},
    };
    chunk.archive = FromBase64(kSampleArchive);
    chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());
    MapLayout layout;
    layout.userData = Bytes(40, 0x2A);
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    return BuildMap(layout);
}
