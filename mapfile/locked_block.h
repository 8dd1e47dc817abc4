// Zero-filled blocks from the platform allocator, locked for use: the compressed buffer, the MapBody and the
// temporary block of a string read.
#pragma once

#include "platform.h"

// A block of `bytes`, or null when none is granted (always for 0 bytes). Released with FreeLockedBlock.
unsigned char* AllocateLockedBlock(DWORD bytes);
void FreeLockedBlock(unsigned char* block);
