// What a map's run can come to besides its report, one value per fixed sentence. The loader and the items
// report put it in their records; each front door shows it in its own way.
#pragma once

#include "platform.h"

enum class MapFailure {
    kNone,
    kFileNotFound,
    kFileNotOpened,
    kInvalidFormat,
    kUncompressedMap,
    kReadFailed,
    kNoMemory,
    kDecompressFailed,
    kNoItemsChunk,
};

// The sentence of a failure; null for kNone.
inline LPCWSTR FailureSentence(MapFailure failure) {
    switch (failure) {
        case MapFailure::kNone: break;
        case MapFailure::kFileNotFound: return TEXT("File not found.");
        case MapFailure::kFileNotOpened: return TEXT("Could not open input file.");
        case MapFailure::kInvalidFormat: return TEXT("Invalid or unsupported file format.");
        case MapFailure::kUncompressedMap: return TEXT("Uncompressed maps not supported.");
        case MapFailure::kReadFailed: return TEXT("Error while reading input file.");
        case MapFailure::kNoMemory: return TEXT("Out of memory.");
        case MapFailure::kDecompressFailed: return TEXT("Could not decompress file body.");
        case MapFailure::kNoItemsChunk: return TEXT("Items chunk not found.");
    }
    return nullptr;
}

// The warning that comes before a report (or its failure) when the items chunk's version is not 1.
const WCHAR kVersionWarningSentence[] = TEXT("Unsupported chunk version.");
