// Web platform layer, the message box: the page's own box (box.h) in place of MessageBoxW.
#include "box.h"

#include <emscripten.h>

#include "platform.h"

namespace {

// Reads the zero-terminated UTF-16 strings from the module's memory without decoding them, so that the page
// gets the very units the logic wrote.
EM_JS(void, PostBox, (int information, int more, const char16_t* text), {
    var s = "";
    for (var i = text >> 1; HEAPU16[i] !== 0; ++i) s += String.fromCharCode(HEAPU16[i]);
    Module["showBox"](more ? "more" : information ? "information" : "warning", s);
});

}  // namespace

void ShowPageBox(bool information, const char16_t* text) { PostBox(information, 0, text); }

void ExtendPageBox(const char16_t* text) { PostBox(0, 1, text); }

// The box's result is not used by the logic; the page's box has only an OK button, as the Windows one.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    ShowPageBox((type & 0xF0u) == MB_ICONINFORMATION, text ? text : u"");
    return IDOK;
}
