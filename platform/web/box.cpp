// Web platform layer, the message box: the page's own box (box.h) in place of MessageBoxW, and the rest of a
// map's run on its way to the page.
#include "box.h"

#include <emscripten.h>

#include "platform.h"

namespace {

// Module["text"] (page/worker.js) reads a zero-terminated UTF-16 string from the module's memory without decoding
// it, so that the page gets the very units the logic wrote; Module["units"] reads a counted one.
EM_JS(void, PostBox, (int information, int more, const char16_t* text), {
    Module["showBox"](more ? "more" : information ? "information" : "warning", Module["text"](text));
});
EM_JS(void, PostFinding, (const char16_t* kind, const char16_t* sentence), {
    Module["findings"].push({ kind: Module["text"](kind), sentence: Module["text"](sentence) });
});
EM_JS(void, PostFiles, (int known, const char16_t* names, const char16_t* shown, uint32_t units,
                        const uint32_t* lengths, const double* sizes, uint32_t count, const char16_t* sizeTexts,
                        uint32_t sizeUnits, const char16_t* packedTotal), {
    Module["showFiles"]({
        known: known !== 0,
        names: Module["units"](names, units),
        shown: Module["units"](shown, units),
        lengths: HEAPU32.slice(lengths >>> 2, (lengths >>> 2) + count),
        sizes: HEAPF64.slice(sizes >>> 3, (sizes >>> 3) + 2 * count),
        sizeTexts: Module["units"](sizeTexts, sizeUnits),
        packedText: Module["text"](packedTotal),
    });
});
EM_JS(void, PostProgress, (double done, double total), { Module["showProgress"](done, total); });
EM_JS(void, PostLine, (const char* text, size_t length), { Module["addLine"](HEAPU8.slice(text, text + length)); });
EM_JS(void, PostRun, (int opened, double fileSize, double items, double embeddedSize), {
    Module["ran"] = { opened: opened !== 0, fileSize: fileSize, items: items, embeddedSize: embeddedSize };
});

}  // namespace

void ShowPageBox(bool information, const char16_t* text) { PostBox(information, 0, text); }

void ExtendPageBox(const char16_t* text) { PostBox(0, 1, text); }

void AddPageFinding(const char16_t* kind, const char16_t* sentence) { PostFinding(kind, sentence); }

void ShowPageFiles(const PageFiles& files, bool known, const char16_t* packedTotal) {
    PostFiles(known, files.names.data(), files.shown.data(), static_cast<uint32_t>(files.names.size()),
              files.lengths.data(), files.sizes.data(), static_cast<uint32_t>(files.lengths.size()),
              files.sizeTexts.data(), static_cast<uint32_t>(files.sizeTexts.size()), packedTotal);
}

// Sizes go as doubles, exact below 2^53, which no archive in a map's body reaches.
void ShowPageProgress(uint64_t done, uint64_t total) {
    PostProgress(static_cast<double>(done), static_cast<double>(total));
}

void AddPageLine(const char* text, size_t length) { PostLine(text, length); }

void ShowPageRun(bool opened, double fileSize, uint32_t items, uint32_t embeddedSize) {
    PostRun(opened, fileSize, items, embeddedSize);
}

// The box's result is not used by the logic; the page's box has only an OK button, as the Windows one.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    ShowPageBox((type & 0xF0u) == MB_ICONINFORMATION, text ? text : u"");
    return IDOK;
}
