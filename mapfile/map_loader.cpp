#include "map_loader.h"

#include <lzo/lzo1x.h>

#include "little_endian.h"
#include "locked_block.h"
#include "report_message.h"

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

bool Fail(LPCWSTR message) {
    ReportMessage(message, kWarning);
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
    const LPCWSTR readError = TEXT("Error while reading input file.");
    const LPCWSTR formatError = TEXT("Invalid or unsupported file format.");

    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    const LPCWSTR openError = TEXT("Could not open input file.");
    if (file == INVALID_HANDLE_VALUE) return Fail(openError);
    map->file = file;
    // A device or pipe opens too, but a read from it may never return; the release closes the handle.
    if (GetFileType(file) != FILE_TYPE_DISK) return Fail(openError);
    map->fileSize = GetFileSize(file, nullptr);  // a failure yields 0xFFFFFFFF, which no size exceeds

    unsigned char magic[3];
    if (!ReadExactly(file, magic, sizeof magic) || magic[0] != 'G' || magic[1] != 'B' || magic[2] != 'X') {
        return Fail(formatError);
    }
    if (!SeekForward(file, 2)) return Fail(readError);  // format version: not examined

    unsigned char format[4];
    if (!ReadExactly(file, format, sizeof format)) return Fail(readError);
    if (format[2] == 'U') return Fail(TEXT("Uncompressed maps not supported."));

    DWORD classId = 0;
    if (!ReadWord(file, &classId)) return Fail(readError);
    if (!IsKnownClass(classId)) return Fail(formatError);

    // Skip the user data and the two words behind it; the sum wraps, as the file's own arithmetic does.
    DWORD userDataSize = 0;
    if (!ReadWord(file, &userDataSize)) return Fail(readError);
    if (!SeekForward(file, userDataSize + 8u)) return Fail(readError);

    DWORD bodySize = 0;
    DWORD compressedSize = 0;
    if (!ReadWord(file, &bodySize) || !ReadWord(file, &compressedSize)) return Fail(readError);
    if (compressedSize > map->fileSize) return Fail(readError);

    map->compressed = AllocateLockedBlock(compressedSize);
    if (!map->compressed) return Fail(TEXT("Out of memory."));
    map->compressedSize = compressedSize;

    map->body = AllocateLockedBlock(bodySize);
    if (!map->body) return Fail(TEXT("Out of memory."));
    map->bodySize = bodySize;

    if (!ReadExactly(file, map->compressed, compressedSize)) return Fail(readError);

    const LPCWSTR decompressError = TEXT("Could not decompress file body.");
    if (lzo_init() != LZO_E_OK) return Fail(decompressError);
    lzo_uint length = bodySize;
    const int result = lzo1x_decompress_safe(map->compressed, compressedSize, map->body, &length, nullptr);
    if (result != LZO_E_OK || length != bodySize) return Fail(decompressError);
    return true;
}

void ReleaseMapBody(LoadedMap* map) {
    if (map->body) FreeLockedBlock(map->body);
    if (map->compressed) FreeLockedBlock(map->compressed);
    if (map->file) CloseHandle(map->file);
    *map = LoadedMap{};
}
