// Web platform layer, the files and the heap's large blocks. A worker runs one map at a time, a file that the
// page's main thread reads (a worker cannot read a chosen file everywhere: WebKit refuses it from disk). A small
// file comes whole with its map and is read here at once; a read of a larger one asks the page for the bytes
// and waits for them, suspended (Asyncify), while the page reads them.
#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "layer.h"
#include "platform.h"

namespace {

struct PageFile {
    uint64_t position;
};

// Whether the page's map can be read (neither a folder nor a file the browser refuses), and its size.
EM_JS(int, PageFileReadable, (), { return Module["mapFile"]().readable ? 1 : 0; });
EM_JS(double, PageFileSize, (), { return Module["mapFile"]().size; });

// Up to `length` bytes from `position` into `buffer`: the count read, which is short only at the end of the
// file, or -1 when the page could not read them (the file changed or went away since it was chosen). The page
// reads them in slices of at most 64 MiB, each handed over and forgotten, so that a read of any size holds one
// slice at a time beside the logic's own buffer.
EM_ASYNC_JS(int, ReadPageFile, (unsigned char* buffer, uint32_t length, double position), {
    var done = 0;
    while (done < length) {
        var bytes = await Module["readMap"](position + done, Math.min(length - done, 64 << 20));
        if (bytes === null) return -1;
        HEAPU8.set(new Uint8Array(bytes), buffer + done);
        done += bytes.byteLength;
        if (bytes.byteLength === 0) break;
    }
    return done;
});

// The same from the bytes that came with the map; -2 when none came.
EM_JS(int, ReadHeldFile, (unsigned char* buffer, uint32_t length, double position), {
    var held = Module["mapFile"]().bytes;
    if (!held) return -2;
    var count = Math.max(0, Math.min(length, held.byteLength - position));
    if (count === 0) return 0;
    HEAPU8.set(new Uint8Array(held, position, count), buffer);
    return count;
});

PageFile* File(HANDLE file) { return static_cast<PageFile*>(file); }

}  // namespace

HANDLE CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    return PageFileReadable() ? new PageFile{0} : INVALID_HANDLE_VALUE;
}

DWORD GetFileSize(HANDLE, LPDWORD sizeHigh) {
    const uint64_t size = static_cast<uint64_t>(PageFileSize());
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    unsigned char* into = static_cast<unsigned char*>(buffer);
    const double position = static_cast<double>(File(file)->position);
    int got = toRead == 0 ? 0 : ReadHeldFile(into, toRead, position);
    if (got == -2) got = ReadPageFile(into, toRead, position);
    if (read) *read = got < 0 ? 0 : static_cast<DWORD>(got);
    if (got < 0) return FALSE;
    File(file)->position += static_cast<uint64_t>(got);
    return TRUE;
}

// As lseek: ending before the start fails, past the end does not.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    int64_t move = distance;
    if (distanceHigh) move = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                  static_cast<uint32_t>(distance));
    const int64_t position = (moveMethod == FILE_BEGIN ? 0 : static_cast<int64_t>(File(file)->position)) + move;
    if (position < 0) return INVALID_SET_FILE_POINTER;
    File(file)->position = static_cast<uint64_t>(position);
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    return static_cast<DWORD>(position);
}

DWORD GetFileType(HANDLE) { return FILE_TYPE_DISK; }

BOOL CloseHandle(HANDLE file) {
    delete File(file);
    return TRUE;
}

// The page runs only maps it has been given: each is there, a folder too (which CreateFileW then refuses).
BOOL PathFileExistsW(LPCWSTR) { return TRUE; }

// WebAssembly memory grows zero-filled and this heap never gives memory back (dlmalloc cannot trim here), so
// what lies beyond the heap's old end is zero: only the part of a block below it is cleared. A huge block
// then costs neither time nor memory until it is written, as a large calloc on Linux.
void* ZeroedBlock(size_t bytes) {
    const char* fresh = static_cast<const char*>(sbrk(0));
    char* block = static_cast<char*>(malloc(bytes));
    if (block && block < fresh) {
        const size_t used = static_cast<size_t>(fresh - block);
        memset(block, 0, used < bytes ? used : bytes);
    }
    return block;
}
