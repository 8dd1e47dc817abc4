// Linux and page platform layer, the heap: movable blocks as the logic takes them, from the C heap. A block
// is a header followed by its bytes; the handle is the header, the locked pointer the bytes.
#include <cstdlib>
#include <cstring>
#include <new>

#include "layer.h"
#include "platform.h"

namespace {

struct alignas(16) BlockHeader {
    SIZE_T size;
    unsigned locks;
};

// Blocks up to this size come from malloc and are cleared here; the strings of a map are below it.
const SIZE_T kSmallBlock = 64 * 1024;

BlockHeader* Header(HGLOBAL block) { return static_cast<BlockHeader*>(block); }

}  // namespace

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    // Small blocks are cleared by hand: glibc's calloc skips the per-thread cache, and every string read takes
    // a block. Large ones come from the layer's ZeroedBlock, which costs nothing until the block is used. Only
    // the bytes are cleared, since a malloc and a memset of the same size would be turned into calloc.
    const bool small = bytes <= kSmallBlock;
    void* memory = small ? malloc(sizeof(BlockHeader) + bytes) : ZeroedBlock(sizeof(BlockHeader) + bytes);
    if (!memory) return nullptr;
    BlockHeader* header = new (memory) BlockHeader{bytes, 0};
    if (small) memset(header + 1, 0, bytes);
    return header;
}

LPVOID GlobalLock(HGLOBAL block) {
    BlockHeader* header = Header(block);
    if (header->size == 0) return nullptr;
    ++header->locks;
    return header + 1;
}

BOOL GlobalUnlock(HGLOBAL block) {
    BlockHeader* header = Header(block);
    if (header->locks > 0) --header->locks;
    return header->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalHandle(LPCVOID memory) {
    return const_cast<BlockHeader*>(static_cast<const BlockHeader*>(memory) - 1);
}

HGLOBAL GlobalFree(HGLOBAL block) {
    free(block);
    return nullptr;
}

