// Opens a Gbx map file, validates its header and decompresses its body into memory.
#pragma once

#include "platform.h"
#include "sentences.h"

// What a load has acquired. Every member starts empty (zero) and is set only once its resource is held.
struct LoadedMap {
    HANDLE file;
    DWORD fileSize;  // low 32 bits, taken right after opening
    unsigned char* compressed;
    DWORD compressedSize;
    unsigned char* body;  // the MapBody: bodySize bytes, all valid once LoadMapBody succeeded
    DWORD bodySize;
    MapFailure failure;  // why the load failed; kNone once it succeeded
};

// Fills `map` as it goes. Returns false on a failure, which `map->failure` names; `map` then holds whatever
// was acquired before it. Shows nothing. Either way, ReleaseMapBody must follow.
bool LoadMapBody(LPCWSTR path, LoadedMap* map);

// LoadMapBody of a file opened already (by a front door that holds a copy of its input): `map` takes it over
// and closes it in the release.
bool LoadMapFile(HANDLE file, LoadedMap* map);

// Releases the MapBody, then the compressed buffer, then the file: whichever of them `map` holds.
void ReleaseMapBody(LoadedMap* map);
