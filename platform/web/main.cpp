// Start-up of the page's build: the worker script calls TallyglassRun once for each map, with the path where
// it mounted the dropped file, and the map goes through wWinMain as Windows hands it the quoted path of a
// dropped file.
#include <emscripten.h>

#include <string>

#include "entry.h"
#include "utf.h"

extern "C" EMSCRIPTEN_KEEPALIVE void TallyglassRun(const char* path) {
    std::u16string tail = u'"' + FileNameToUtf16(path) + u'"';
    wWinMain(nullptr, nullptr, tail.data(), 0);
}
