// Web platform layer, the message box: the page's own box (box.h) in place of MessageBoxW.
#include "box.h"

#include <emscripten.h>

#include "platform.h"

namespace {

// Module["text"] (worker.js) reads a zero-terminated UTF-16 string from the module's memory without decoding
// it, so that the page gets the very units the logic wrote.
EM_JS(void, PostBox, (int information, int more, const char16_t* text), {
    Module["showBox"](more ? "more" : information ? "information" : "warning", Module["text"](text));
});
EM_JS(void, PostFile, (const char16_t* name, double size, double packed, const char16_t* sizeText,
                       const char16_t* packedText), {
    Module["files"].entries.push({ name: Module["text"](name), size: size, packed: packed,
                                   sizeText: Module["text"](sizeText), packedText: Module["text"](packedText) });
});
EM_JS(void, PostFinding, (const char16_t* kind, const char16_t* sentence), {
    Module["files"].findings.push({ kind: Module["text"](kind), sentence: Module["text"](sentence) });
});
EM_JS(void, PostFiles, (const char16_t* packedTotal), {
    Module["files"].packedText = Module["text"](packedTotal);
    Module["showFiles"]();
});

}  // namespace

void ShowPageBox(bool information, const char16_t* text) { PostBox(information, 0, text); }

void ExtendPageBox(const char16_t* text) { PostBox(0, 1, text); }

// Sizes go as doubles, exact below 2^53, which no archive in a map's body reaches.
void AddPageFile(const char16_t* name, uint64_t size, uint64_t packedSize, const char16_t* sizeText,
                 const char16_t* packedText) {
    PostFile(name, static_cast<double>(size), static_cast<double>(packedSize), sizeText, packedText);
}

void AddPageFinding(const char16_t* kind, const char16_t* sentence) { PostFinding(kind, sentence); }

void ShowPageFiles(const char16_t* packedTotal) { PostFiles(packedTotal); }

// The box's result is not used by the logic; the page's box has only an OK button, as the Windows one.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    ShowPageBox((type & 0xF0u) == MB_ICONINFORMATION, text ? text : u"");
    return IDOK;
}
