// Linux platform layer: POSIX files standing in for the Windows file calls. The heap is memory.cpp, the text
// functions text.cpp, the message box console.cpp.
#include "platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "layer.h"
#include "utf.h"

namespace {

struct FileRecord {
    int fd;
};

std::string NarrowPath(LPCWSTR path) { return FileNameFromUtf16(path, std::char_traits<char16_t>::length(path)); }

int FileDescriptor(HANDLE file) { return static_cast<FileRecord*>(file)->fd; }

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

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    off_t move = distance;
    if (distanceHigh) move = static_cast<off_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                                static_cast<uint32_t>(distance));
    const off_t position = lseek(FileDescriptor(file), move, moveMethod == FILE_BEGIN ? SEEK_SET : SEEK_CUR);
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

BOOL PathFileExistsW(LPCWSTR path) {
    if (path[0] == 0) return FALSE;
    // Only "no such file" means nothing is there. A path that cannot be looked at (no permission, a link
    // loop) is there all the same: opening it fails later, with the sentence that says so.
    struct stat info;
    return stat(NarrowPath(path).c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR) ? TRUE : FALSE;
}

// Fresh pages of a large calloc are the kernel's zero pages, untouched until used.
void* ZeroedBlock(size_t bytes) { return calloc(1, bytes); }
