// Body-like bytes for the benchmark: pseudo-random words with repetition and a few small binary numbers,
// which LZO compresses about as it does a real body (neither trivially nor not at all).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

const size_t kFillerWordCount = 1024;

struct FillerWords {
    char text[kFillerWordCount][12];
    unsigned char lengths[kFillerWordCount];
};

// xorshift64*: fast, and plenty for making text.
inline uint64_t NextRandom(uint64_t* state) {
    *state ^= *state >> 12;
    *state ^= *state << 25;
    *state ^= *state >> 27;
    return *state * 0x2545F4914F6CDD1Dull;
}

inline void MakeFillerWords(FillerWords* words, uint64_t* state) {
    for (size_t w = 0; w < kFillerWordCount; ++w) {
        words->lengths[w] = static_cast<unsigned char>(2 + NextRandom(state) % 9);
        for (size_t i = 0; i < words->lengths[w]; ++i) {
            words->text[w][i] = static_cast<char>('a' + NextRandom(state) % 26);
        }
    }
}

// Fills exactly `bytes` bytes: words drawn with a skew towards the first ones, as in text, separated by
// blanks or, one time in sixteen, by a small little-endian number; one time in four a stretch of recent
// bytes comes again, as structures repeat in a real body. LZO keeps a little under half of it.
inline void FillBodyLike(unsigned char* out, size_t bytes, const FillerWords* words, uint64_t* state) {
    size_t at = 0;
    while (at + 64 <= bytes) {
        const uint64_t r = NextRandom(state);
        if ((r >> 60) < 4 && at >= 4096) {
            const size_t length = 8 + (r >> 8) % 40;
            const size_t distance = length + (r >> 20) % 4000;
            memmove(out + at, out + at - distance, length);
            at += length;
            continue;
        }
        const size_t a = r % kFillerWordCount, b = (r >> 16) % kFillerWordCount;
        const size_t w = a < b ? a : b;
        memcpy(out + at, words->text[w], words->lengths[w]);
        at += words->lengths[w];
        if ((r >> 32) % 16 == 0) {
            const uint32_t number = static_cast<uint32_t>(r >> 40) & 0xFFFFu;
            for (unsigned i = 0; i < 4; ++i) out[at++] = static_cast<unsigned char>(number >> (8 * i));
        } else {
            out[at++] = ' ';
        }
    }
    while (at < bytes) out[at++] = '.';
}
