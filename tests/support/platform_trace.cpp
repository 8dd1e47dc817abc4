#include "platform_trace.h"

#include <cstdio>
#include <unordered_map>

#include "platform.h"
#include "utf.h"

extern "C" {
HANDLE __real_CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL __real_CloseHandle(HANDLE);
HGLOBAL __real_GlobalAlloc(UINT, SIZE_T);
HGLOBAL __real_GlobalFree(HGLOBAL);
int __real_MessageBoxW(HWND, LPCWSTR, LPCWSTR, UINT);
}

namespace {

PlatformCounts counts = {0, 0};
std::unordered_map<HGLOBAL, SIZE_T> blockSizes;
bool tracing = false;
std::vector<std::string> trace;
unsigned allocationsUntilFailure = 0;


std::string Narrow(LPCWSTR text) {
    size_t n = 0;
    while (text && text[n] != 0) ++n;
    return Utf16ToUtf8(text, n);
}

}  // namespace

extern "C" HANDLE __wrap_CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    HANDLE file = __real_CreateFileW(name, access, share, security, disposition, flags, templateFile);
    if (file == INVALID_HANDLE_VALUE) return file;
    ++counts.openFiles;
    if (tracing) trace.push_back("CreateFileW");
    return file;
}

extern "C" BOOL __wrap_CloseHandle(HANDLE file) {
    --counts.openFiles;
    if (tracing) trace.push_back("CloseHandle");
    return __real_CloseHandle(file);
}

extern "C" HGLOBAL __wrap_GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0) return nullptr;
    HGLOBAL block = __real_GlobalAlloc(flags, bytes);
    if (!block) return block;
    ++counts.liveBlocks;
    blockSizes[block] = bytes;
    if (tracing) trace.push_back("GlobalAlloc " + std::to_string(bytes));
    return block;
}

extern "C" HGLOBAL __wrap_GlobalFree(HGLOBAL block) {
    --counts.liveBlocks;
    if (tracing) trace.push_back("GlobalFree " + std::to_string(blockSizes[block]));
    blockSizes.erase(block);
    return __real_GlobalFree(block);
}

extern "C" int __wrap_MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    if (!tracing) return __real_MessageBoxW(owner, text, caption, type);
    char style[16];
    snprintf(style, sizeof style, "0x%X ", type);
    trace.push_back("MessageBoxW " + std::string(style) + Narrow(caption) + "|" + Narrow(text));
    return IDOK;
}

PlatformCounts PlatformCurrentCounts() { return counts; }

void PlatformTraceBegin() {
    trace.clear();
    tracing = true;
}

std::vector<std::string> PlatformTraceEnd() {
    tracing = false;
    return std::move(trace);
}

void PlatformFailAllocation(unsigned n) { allocationsUntilFailure = n; }
