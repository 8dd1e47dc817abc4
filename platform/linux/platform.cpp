// Linux platform layer: POSIX files and the C heap standing in for the Windows calls; the message box is console.cpp.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "utf.h"

namespace {

struct FileRecord {
    int fd;
};

// A block is a header followed by its bytes; the handle is the header, the locked pointer the bytes.
struct alignas(16) BlockHeader {
    SIZE_T size;
    unsigned locks;
};

// Blocks up to this size come from malloc and are cleared here; the strings of a map are below it.
const SIZE_T kSmallBlock = 64 * 1024;

size_t WideLength(LPCWSTR text) {
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

std::string NarrowPath(LPCWSTR path) { return FileNameFromUtf16(path, WideLength(path)); }

int FileDescriptor(HANDLE file) { return static_cast<FileRecord*>(file)->fd; }

BlockHeader* Header(HGLOBAL block) { return static_cast<BlockHeader*>(block); }

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    // Judged before it is opened: opening a device can act on it, a terminal can become the controlling one.
    const std::string name = NarrowPath(fileName);
    struct stat judged;
    if (stat(name.c_str(), &judged) != 0 || !S_ISREG(judged.st_mode)) return INVALID_HANDLE_VALUE;
    // Without blocking, should a FIFO have taken the file's place since; and only the very file judged.
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat opened;
    if (fstat(fd, &opened) != 0 || opened.st_dev != judged.st_dev || opened.st_ino != judged.st_ino) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return new FileRecord{fd};
}

HANDLE HandleFromDescriptor(int fd) { return new FileRecord{fd}; }

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    struct stat info;
    if (fstat(FileDescriptor(file), &info) != 0) return 0xFFFFFFFFu;
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
    unsigned char* out = static_cast<unsigned char*>(buffer);
    DWORD done = 0;
    while (done < toRead) {
        const ssize_t n = ::read(FileDescriptor(file), out + done, toRead - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (read) *read = done;
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD) {
    off_t move = distance;
    if (distanceHigh) move = static_cast<off_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                static_cast<uint32_t>(distance));
    const off_t position = lseek(FileDescriptor(file), move, SEEK_CUR);
    if (position < 0) return INVALID_SET_FILE_POINTER;
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    return static_cast<DWORD>(position);
}

DWORD GetFileType(HANDLE) { return FILE_TYPE_DISK; }

BOOL CloseHandle(HANDLE object) {
    FileRecord* record = static_cast<FileRecord*>(object);
    const bool closed = close(record->fd) == 0;
    delete record;
    return closed ? TRUE : FALSE;
}

HGLOBAL GlobalAlloc(UINT, SIZE_T bytes) {
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    // Small blocks are cleared by hand: glibc's calloc skips the per-thread cache, and every string read takes
    // a block. Large ones come from calloc, whose fresh pages are zero already and untouched until used. Only
    // the bytes are cleared, since a malloc and a memset of the same size would be turned into calloc.
    const bool small = bytes <= kSmallBlock;
    void* memory = small ? malloc(sizeof(BlockHeader) + bytes) : calloc(1, sizeof(BlockHeader) + bytes);
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

int MultiByteToWideChar(UINT, DWORD, LPCCH bytes, int byteCount, LPWSTR wide, int wideCount) {
    if (byteCount == 0 || byteCount < -1 || wideCount < 0) return 0;
    const size_t count = byteCount == -1 ? std::char_traits<char>::length(bytes) + 1 : static_cast<size_t>(byteCount);
    const std::u16string units = Utf8ToUtf16(bytes, count);
    if (wideCount == 0) return static_cast<int>(units.size());
    if (units.size() > static_cast<size_t>(wideCount)) return 0;
    units.copy(wide, units.size());
    return static_cast<int>(units.size());
}

BOOL PathUnquoteSpacesW(LPWSTR path) {
    if (path[0] != u'"') return FALSE;
    const size_t last = WideLength(path) - 1;
    if (path[last] != u'"') return FALSE;
    // A lone quote counts as both the opening and the closing one, so the path becomes empty.
    for (size_t i = 0; i + 1 < last; ++i) path[i] = path[i + 1];
    path[last == 0 ? 0 : last - 1] = 0;
    return TRUE;
}

BOOL PathFileExistsW(LPCWSTR path) {
    if (path[0] == 0) return FALSE;
    // Only "no such file" means nothing is there. A path that cannot be looked at (no permission, a link
    // loop) is there all the same: opening it fails later, with the sentence that says so.
    struct stat info;
    return stat(NarrowPath(path).c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR) ? TRUE : FALSE;
}
