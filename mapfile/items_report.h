// The report of the items embedded in a map: found in the MapBody's items chunk and shown in one message box.
#pragma once

#include <cstdint>

#include "platform.h"

// Finds the items chunk: the first place, byte by byte, where the chunk id 0x03043054 is directly followed
// by the skip marker "PIKS". Returns the chunk id's address, or null when there is none.
const unsigned char* FindItemsChunk(const unsigned char* body, uint32_t size);

// Writes a byte count of 1 or more in a human-readable unit: "%u bytes" below 1,000, else one decimal of kB
// (below 100,000), KB, MB or GB, all powers of 1000, rounded in two steps (see RoundToTenths).
const unsigned kSizeTextCapacity = 128;
void FormatSize(uint32_t size, WCHAR text[kSizeTextCapacity]);

// Shows the report of the MapBody `body` of `size` bytes with the information kind, or one failure message
// with the warning kind; an unsupported chunk version is warned about first, and reading goes on.
void BuildItemsReport(const unsigned char* body, uint32_t size);
