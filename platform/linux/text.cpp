// Linux and page platform layer, the text functions: UTF-8 to UTF-16, and the path's quotes.
#include <string>

#include "platform.h"
#include "utf.h"

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
    const size_t last = std::char_traits<char16_t>::length(path) - 1;
    if (path[last] != u'"') return FALSE;
    // A lone quote counts as both the opening and the closing one, so the path becomes empty.
    for (size_t i = 0; i + 1 < last; ++i) path[i] = path[i + 1];
    path[last == 0 ? 0 : last - 1] = 0;
    return TRUE;
}

