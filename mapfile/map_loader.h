// Opens a Gbx map file, validates its header and decompresses its body into memory.
#pragma once

#include "platform.h"

// What a load has acquired. Every member starts empty (zero) and is set only once its resource is held.
struct LoadedMap {
    HANDLE file;
    DWORD fileSize;  // low 32 bits, taken right after opening
    unsigned char* compressed;
    DWORD compressedSize;
    unsigned char* body;  // the MapBody: bodySize bytes, all valid once LoadMapBody succeeded
    DWORD bodySize;
};

// Fills `map` as it goes. Returns false after having shown the failure's message; `map` then holds whatever
// was acquired before the failure. Either way, ReleaseMapBody must follow.
bool LoadMapBody(LPCWSTR path, LoadedMap* map);

// Releases the MapBody, then the compressed buffer, then the file: whichever of them `map` holds.
void ReleaseMapBody(LoadedMap* map);
