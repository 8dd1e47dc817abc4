// Writes a map for the benchmark: a body of about BODY_BYTES whose items chunk, listing ITEM_COUNT items, sits
// near the body's end, compressed with LZO's own compressor.
//   make_bench_map OUTPUT BODY_BYTES ITEM_COUNT
// The filler (filler.h) compresses about as a real body does, so decompression takes a representative time.
// The whole body is built in memory once, then compressed in one call.
#include <lzo/lzo1x.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filler.h"

namespace {

const uint32_t kUserDataSize = 64;

struct Output {
    unsigned char* bytes;
    size_t length;
    size_t capacity;
};

bool Reserve(Output* out, size_t more) {
    if (more <= out->capacity - out->length) return true;
    size_t capacity = out->capacity ? out->capacity : 4096;
    while (capacity - out->length < more) capacity *= 2;
    unsigned char* grown = static_cast<unsigned char*>(realloc(out->bytes, capacity));
    if (!grown) return false;
    out->bytes = grown;
    out->capacity = capacity;
    return true;
}

void Put(Output* out, const void* bytes, size_t n) {
    if (!Reserve(out, n)) {
        fprintf(stderr, "make_bench_map: out of memory\n");
        exit(1);
    }
    memcpy(out->bytes + out->length, bytes, n);
    out->length += n;
}

void PutU32(Output* out, uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    Put(out, bytes, sizeof bytes);
}

void PutChunkHeader(Output* out, uint32_t id, uint32_t size) {
    PutU32(out, id);
    Put(out, "PIKS", 4);
    PutU32(out, size);
}

// Appends `bytes` of body-like filler.
void PutFiller(Output* out, size_t bytes, uint64_t* state, const FillerWords* words) {
    if (!Reserve(out, bytes)) {
        fprintf(stderr, "make_bench_map: out of memory\n");
        exit(1);
    }
    FillBodyLike(out->bytes + out->length, bytes, words, state);
    out->length += bytes;
}

void PutNewString(Output* out, const char* text) {
    PutU32(out, 0x40000000u);
    const uint32_t length = static_cast<uint32_t>(strlen(text));
    PutU32(out, length);
    Put(out, text, length);
}

// An items chunk as a real map writes it: every identifier new, a collection number, and one of a few
// authors, each written out the first time and referred back to after that.
void PutItemsChunk(Output* out, uint32_t count) {
    const size_t start = out->length;
    PutChunkHeader(out, 0x03043054u, 0);
    PutU32(out, 1);
    PutU32(out, 0);
    PutU32(out, 0);
    PutU32(out, count);
    if (count > 0) PutU32(out, 3);
    const char* authors[] = {"Zoe", "Hana", "Pieter", "Marta", "Kenji", "Ines", "Tomas", "Ayla"};
    const uint32_t authorCount = 8;
    uint32_t remembered = 0;
    uint32_t authorSlot[authorCount] = {};
    for (uint32_t item = 0; item < count; ++item) {
        char identifier[64];
        snprintf(identifier, sizeof identifier, "Items\\Blocks\\Block%07u.Item.Gbx", item);
        PutNewString(out, identifier);
        ++remembered;
        PutU32(out, 10003);
        const uint32_t author = item % authorCount;
        if (item % 4 == 3) {
            PutU32(out, 0xFFFFFFFFu);  // no author
        } else if (authorSlot[author] == 0) {
            PutNewString(out, authors[author]);
            authorSlot[author] = ++remembered;
        } else {
            PutU32(out, 0x40000000u + authorSlot[author]);
        }
    }
    PutU32(out, 123456);  // embedded files size
    const uint32_t chunkSize = static_cast<uint32_t>(out->length - start - 12);
    for (unsigned i = 0; i < 4; ++i) out->bytes[start + 8 + i] = static_cast<unsigned char>(chunkSize >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: make_bench_map OUTPUT BODY_BYTES ITEM_COUNT\n");
        return 2;
    }
    const size_t target = strtoull(argv[2], nullptr, 10);
    const uint32_t count = static_cast<uint32_t>(strtoul(argv[3], nullptr, 10));
    uint64_t state = 0x9E3779B97F4A7C15ull ^ target ^ (static_cast<uint64_t>(count) << 32);
    static FillerWords words;
    MakeFillerWords(&words, &state);

    // Chunks before the items chunk, the items chunk, then a last small chunk and the end marker.
    Output items = {nullptr, 0, 0};
    PutItemsChunk(&items, count);
    const size_t head = 12 + 16, tail = 12 + 256 + 4, filler = 12;
    const size_t fixed = head + filler + items.length + tail;
    const size_t fillerBytes = target > fixed ? target - fixed : 0;

    Output body = {nullptr, 0, 0};
    Reserve(&body, fixed + fillerBytes);
    PutChunkHeader(&body, 0x0304301Fu, 16);
    for (uint32_t i = 0; i < 4; ++i) PutU32(&body, i * 0x01010101u);
    PutChunkHeader(&body, 0x03043040u, static_cast<uint32_t>(fillerBytes));
    PutFiller(&body, fillerBytes, &state, &words);
    Put(&body, items.bytes, items.length);
    free(items.bytes);
    PutChunkHeader(&body, 0x03043055u, 256);
    PutFiller(&body, 256, &state, &words);
    PutU32(&body, 0xFACADE01u);
    if (body.length > 0xFFFFFFFFu) {
        fprintf(stderr, "make_bench_map: body too large\n");
        return 2;
    }

    if (lzo_init() != LZO_E_OK) return 1;
    const size_t capacity = body.length + body.length / 16 + 64 + 3;
    unsigned char* compressed = static_cast<unsigned char*>(malloc(capacity));
    void* work = malloc(LZO1X_1_MEM_COMPRESS);
    lzo_uint compressedLength = capacity;
    if (!compressed || !work ||
        lzo1x_1_compress(body.bytes, body.length, compressed, &compressedLength, work) != LZO_E_OK) {
        fprintf(stderr, "make_bench_map: compression failed\n");
        return 1;
    }
    free(work);

    Output header = {nullptr, 0, 0};
    Put(&header, "GBX", 3);
    Put(&header, "\x06\x00", 2);
    Put(&header, "BUCR", 4);
    PutU32(&header, 0x03043000u);
    PutU32(&header, kUserDataSize);
    for (uint32_t i = 0; i < kUserDataSize; ++i) Put(&header, "*", 1);
    PutU32(&header, 0);
    PutU32(&header, 0);
    PutU32(&header, static_cast<uint32_t>(body.length));
    PutU32(&header, static_cast<uint32_t>(compressedLength));

    FILE* file = fopen(argv[1], "wb");
    if (!file) {
        fprintf(stderr, "make_bench_map: cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written = fwrite(header.bytes, 1, header.length, file) == header.length &&
                         fwrite(compressed, 1, compressedLength, file) == compressedLength;
    if (fclose(file) != 0 || !written) {
        fprintf(stderr, "make_bench_map: cannot write %s\n", argv[1]);
        return 1;
    }
    printf("%s: body %zu bytes, compressed %lu bytes, %u items\n", argv[1], body.length,
           static_cast<unsigned long>(compressedLength), count);
    free(header.bytes);
    free(compressed);
    free(body.bytes);
    return 0;
}
