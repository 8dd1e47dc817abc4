// Body-like bytes: pseudo-random words with repetition and a few small binary numbers, which LZO compresses
// to a little under half, as it does a real body; longer repeats compress further.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint64_t NextRandom(uint64_t* state) {  // xorshift64*
    *state ^= *state >> 12;
    *state ^= *state << 25;
    *state ^= *state >> 27;
    return *state * 0x2545F4914F6CDD1Dull;
}

// Fills exactly `bytes` bytes from 1024 random words, drawn with a skew towards the first ones, as in text, and
// separated by blanks or, one time in sixteen, a small number; one time in four recent bytes come again, 8 to
// 7 + `repeat` of them (the default gives LZO about 2.3:1, 300 about 6:1).
const size_t kBodyLikeRepeat = 40;
inline void FillBodyLike(unsigned char* out, size_t bytes, uint64_t* state, size_t repeat = kBodyLikeRepeat) {
    char words[1024][12];
    size_t lengths[1024];
    for (size_t w = 0; w < 1024; ++w) {
        lengths[w] = 2 + NextRandom(state) % 9;
        for (size_t i = 0; i < lengths[w]; ++i) words[w][i] = static_cast<char>('a' + NextRandom(state) % 26);
    }
    size_t at = 0;
    while (at + 64 <= bytes) {
        const uint64_t r = NextRandom(state);
        const size_t length = 8 + (r >> 8) % repeat, back = length + (r >> 20) % 4000;
        if ((r >> 60) < 4 && at >= 4096 && back <= at && at + length <= bytes) {
            memmove(out + at, out + at - back, length);
            at += length;
            continue;
        }
        const size_t a = r % 1024, b = (r >> 16) % 1024, w = a < b ? a : b;
        memcpy(out + at, words[w], lengths[w]);
        at += lengths[w];
        if ((r >> 32) % 16 != 0) {
            out[at++] = ' ';
            continue;
        }
        const uint32_t number = static_cast<uint32_t>(r >> 40) & 0xFFFF;
        for (unsigned i = 0; i < 4; ++i) out[at++] = static_cast<unsigned char>(number >> (8 * i));
    }
    while (at < bytes) out[at++] = '.';
}
