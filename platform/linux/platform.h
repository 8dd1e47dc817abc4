// Linux platform layer: the few Windows operations the logic calls, under their Windows names, with the
// results the logic relies on. Wide text is UTF-16 code units (char16_t), as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define TEXT(literal) u##literal

typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef const char* LPCCH;
typedef uint32_t DWORD;
typedef DWORD* LPDWORD;
typedef uint32_t UINT;
typedef int32_t LONG;
typedef LONG* PLONG;
typedef int BOOL;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef void* HGLOBAL;
typedef void* HINSTANCE;
typedef void* HWND;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef struct SecurityAttributes* LPSECURITY_ATTRIBUTES;
typedef struct Overlapped* LPOVERLAPPED;

#define TRUE 1
#define FALSE 0

#define GENERIC_READ 0x80000000u
#define FILE_SHARE_READ 0x00000001u
#define OPEN_EXISTING 3u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_TYPE_DISK 0x0001u

#define GMEM_MOVEABLE 0x0002u
#define GMEM_ZEROINIT 0x0040u

#define CP_UTF8 65001u

#define MB_OK 0x00000000u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define IDOK 1

// C linkage, as the Windows API has.
extern "C" {

// Opens an existing regular file, or a link to one, for reading; anything else (a directory, as on Windows, a
// FIFO, socket or device) is refused before it is opened. Never blocks. Returns INVALID_HANDLE_VALUE on
// failure. Access, sharing and attributes are accepted but not enforced.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// Low 32 bits of the size (high bits to *sizeHigh when given); 0xFFFFFFFF on failure.
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);

// Reads up to `toRead` bytes; FALSE only on an error. At the end of the file it returns TRUE with fewer bytes
// in *read, so callers compare *read with what they asked for.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);

// Moves by a signed distance (a 64-bit one when `distanceHigh` is given). Ending before the start of the file
// fails with INVALID_SET_FILE_POINTER; past the end does not. Returns the low 32 bits of the new position.
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);

// Always FILE_TYPE_DISK: CreateFileW opens regular files only.
DWORD GetFileType(HANDLE file);

BOOL CloseHandle(HANDLE object);

// Zero-filled blocks. A request of 0 bytes gives a handle that cannot be locked, as a movable block on
// Windows; a request the system will not grant gives NULL.
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
LPVOID GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalHandle(LPCVOID memory);
HGLOBAL GlobalFree(HGLOBAL block);  // NULL on success

// UTF-8 to UTF-16 only. Invalid sequences become U+FFFD. With `wideCount` 0 returns the room needed;
// returns 0 when the output does not fit. `byteCount` -1 converts through the terminating zero.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int byteCount, LPWSTR wide, int wideCount);

// Information boxes print the text on stdout; all others print it on stderr behind "tallyglass: ", in place
// of the caption. Text is written as TerminalText with one "\n" at the end. The page's layer has its own.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Removes one pair of enclosing double quotes in place.
BOOL PathUnquoteSpacesW(LPWSTR path);
// TRUE unless nothing is there: also where it cannot be looked at (no permission, a link loop).
BOOL PathFileExistsW(LPCWSTR path);

// Not a Windows call: a handle for a regular file that a front door holds open already (a copy of standard
// input), read from where the descriptor stands. CloseHandle closes the descriptor.
HANDLE HandleFromDescriptor(int fd);

}  // extern "C"
