// Web platform layer, the message box: each box goes to the page as it is shown, its kind and its UTF-16 text
// unit for unit; the worker script (worker.js) passes it on to the page, which draws it as text.
#include <emscripten.h>

#include "platform.h"

namespace {

// Reads the zero-terminated UTF-16 strings from the module's memory without decoding them, so that the page
// gets the very units the logic wrote.
EM_JS(void, ShowBox, (int information, const char16_t* caption, const char16_t* text), {
    function Units(at) {
        var s = "";
        for (var i = at >> 1; HEAPU16[i] !== 0; ++i) s += String.fromCharCode(HEAPU16[i]);
        return s;
    }
    Module["showBox"](information ? "information" : "warning", Units(caption), Units(text));
});

}  // namespace

// The box's result is not used by the logic; the page's box has only an OK button, as the Windows one.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    ShowBox((type & 0xF0u) == MB_ICONINFORMATION, caption ? caption : u"", text ? text : u"");
    return IDOK;
}
