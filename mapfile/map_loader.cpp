#include "map_loader.h"

#include <lzo/lzo1x.h>

#include "little_endian.h"
#include "locked_block.h"

namespace {

const DWORD kClassIds[] = {0x03043000u, 0x24003000u, 0x21080000u};

// One ReadFile call; a short read counts as a failure.
bool ReadExactly(HANDLE file, void* destination, DWORD bytes) {
    DWORD read = 0;
    return ReadFile(file, destination, bytes, &read, nullptr) && read == bytes;
}

bool ReadWord(HANDLE file, DWORD* value) {
    unsigned char bytes[4];
    if (!ReadExactly(file, bytes, sizeof bytes)) return false;
    *value = LoadLittleEndian32(bytes);
    return true;
}

// The distance is taken as a signed 32-bit number, so a value of 0x80000000 or more moves backwards.
bool SeekForward(HANDLE file, DWORD distance) {
    return SetFilePointer(file, static_cast<LONG>(distance), nullptr, FILE_CURRENT) != INVALID_SET_FILE_POINTER;
}

bool Fail(LoadedMap* map, MapFailure failure) {
    map->failure = failure;
    return false;
}

bool IsKnownClass(DWORD classId) {
    for (DWORD known : kClassIds) {
        if (classId == known) return true;
    }
    return false;
}

}  // namespace

bool LoadMapBody(LPCWSTR path, LoadedMap* map) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(map, MapFailure::kFileNotOpened);
    return LoadMapFile(file, map);
}

bool LoadMapFile(HANDLE file, LoadedMap* map) {
    map->file = file;
    // A device or pipe opens too, but a read from it may never return; the release closes the handle.
    if (GetFileType(file) != FILE_TYPE_DISK) return Fail(map, MapFailure::kFileNotOpened);
    map->fileSize = GetFileSize(file, nullptr);  // a failure yields 0xFFFFFFFF, which no size exceeds

    unsigned char magic[3];
    if (!ReadExactly(file, magic, sizeof magic) || magic[0] != 'G' || magic[1] != 'B' || magic[2] != 'X') {
        return Fail(map, MapFailure::kInvalidFormat);
    }
    if (!SeekForward(file, 2)) return Fail(map, MapFailure::kReadFailed);  // format version: not examined

    unsigned char format[4];
    if (!ReadExactly(file, format, sizeof format)) return Fail(map, MapFailure::kReadFailed);
    if (format[2] == 'U') return Fail(map, MapFailure::kUncompressedMap);

    DWORD classId = 0;
    if (!ReadWord(file, &classId)) return Fail(map, MapFailure::kReadFailed);
    if (!IsKnownClass(classId)) return Fail(map, MapFailure::kInvalidFormat);

    // Skip the user data and the two words behind it; the sum wraps, as the file's own arithmetic does.
    DWORD userDataSize = 0;
    if (!ReadWord(file, &userDataSize)) return Fail(map, MapFailure::kReadFailed);
    if (!SeekForward(file, userDataSize + 8u)) return Fail(map, MapFailure::kReadFailed);

    DWORD bodySize = 0;
    DWORD compressedSize = 0;
    if (!ReadWord(file, &bodySize) || !ReadWord(file, &compressedSize)) return Fail(map, MapFailure::kReadFailed);
    if (compressedSize > map->fileSize) return Fail(map, MapFailure::kReadFailed);

    map->compressed = AllocateLockedBlock(compressedSize);
    if (!map->compressed) return Fail(map, MapFailure::kNoMemory);
    map->compressedSize = compressedSize;

    map->body = AllocateLockedBlock(bodySize);
    if (!map->body) return Fail(map, MapFailure::kNoMemory);
    map->bodySize = bodySize;

    if (!ReadExactly(file, map->compressed, compressedSize)) return Fail(map, MapFailure::kReadFailed);

    if (lzo_init() != LZO_E_OK) return Fail(map, MapFailure::kDecompressFailed);
    lzo_uint length = bodySize;
    const int result = lzo1x_decompress_safe(map->compressed, compressedSize, map->body, &length, nullptr);
    if (result != LZO_E_OK || length != bodySize) return Fail(map, MapFailure::kDecompressFailed);
    return true;
}

void ReleaseMapBody(LoadedMap* map) {
    if (map->body) FreeLockedBlock(map->body);
    if (map->compressed) FreeLockedBlock(map->compressed);
    if (map->file) CloseHandle(map->file);
    *map = LoadedMap{};
}
