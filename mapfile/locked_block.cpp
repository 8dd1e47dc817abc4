#include "locked_block.h"

unsigned char* AllocateLockedBlock(DWORD bytes) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!handle) return nullptr;
    void* memory = GlobalLock(handle);
    if (!memory) GlobalFree(handle);  // a zero-byte movable block exists but cannot be locked
    return static_cast<unsigned char*>(memory);
}

void FreeLockedBlock(unsigned char* block) {
    HGLOBAL handle = GlobalHandle(block);
    GlobalUnlock(handle);
    GlobalFree(handle);
}
