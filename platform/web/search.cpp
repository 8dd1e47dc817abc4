// Web platform layer, memchr in place of the C library's, which looks at four bytes at a time: this one looks
// at sixteen with WebAssembly's SIMD, which every engine the page runs in has. The logic's chunk search runs on
// it. Built with -fno-builtin, so that the compiler does not turn the loops below into a call to memchr.
#include <wasm_simd128.h>

#include <cstddef>
#include <cstdint>

extern "C" void* memchr(const void* source, int value, size_t size) {
    const unsigned char* at = static_cast<const unsigned char*>(source);
    const unsigned char byte = static_cast<unsigned char>(value);
    for (; size > 0 && (reinterpret_cast<uintptr_t>(at) & 15) != 0; ++at, --size) {
        if (*at == byte) return const_cast<unsigned char*>(at);
    }
    // 64 bytes a round until one of them matches, then 16 at a time to find which.
    const v128_t wanted = wasm_i8x16_splat(static_cast<int8_t>(byte));
    for (; size >= 64; at += 64, size -= 64) {
        const v128_t first = wasm_v128_or(wasm_i8x16_eq(wasm_v128_load(at), wanted),
                                          wasm_i8x16_eq(wasm_v128_load(at + 16), wanted));
        const v128_t second = wasm_v128_or(wasm_i8x16_eq(wasm_v128_load(at + 32), wanted),
                                           wasm_i8x16_eq(wasm_v128_load(at + 48), wanted));
        if (wasm_v128_any_true(wasm_v128_or(first, second))) break;
    }
    for (; size >= 16; at += 16, size -= 16) {
        const uint32_t matches = static_cast<uint32_t>(wasm_i8x16_bitmask(wasm_i8x16_eq(wasm_v128_load(at), wanted)));
        if (matches != 0) return const_cast<unsigned char*>(at + __builtin_ctz(matches));
    }
    for (; size > 0; ++at, --size) {
        if (*at == byte) return const_cast<unsigned char*>(at);
    }
    return nullptr;
}
