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
// A styled text's runs as [{text, colour, looks}]. The uid's bytes as one character each (latin1 decodes
// every byte to a character of its own), so that two uids are the same on the page exactly when their bytes are.
EM_JS(void, PostStyled, (int which, const char16_t* text, uint32_t units, const uint32_t* lengths,
                         const int32_t* colours, const uint8_t* looks, uint32_t count), {
    var runs = [], all = Module["units"](text, units);
    for (var i = 0, at = 0; i < count; at += HEAPU32[(lengths >>> 2) + i], ++i) {
        runs.push({ text: all.substr(at, HEAPU32[(lengths >>> 2) + i]), colour: HEAP32[(colours >>> 2) + i],
                    looks: HEAPU8[looks + i] });
    }
    Module["card"][which ? "nickname" : "name"] = runs;
});
EM_JS(void, PostCard, (int known, const char* uid, int uidSize, double thumbnailOffset, uint32_t thumbnailSize), {
    var bytes = uidSize < 0 ? null : HEAPU8.subarray(uid, uid + uidSize);
    Module["card"] = { known: known !== 0, thumbnail: [thumbnailOffset, thumbnailSize], name: [], nickname: [],
                       uid: bytes && new TextDecoder("latin1").decode(bytes) };
});

void PostStyledText(int which, const PageStyledText& text) {
    PostStyled(which, text.text.data(), static_cast<uint32_t>(text.text.size()), text.lengths.data(),
               text.colours.data(), text.looks.data(), static_cast<uint32_t>(text.lengths.size()));
}

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

void ShowPageRun(bool opened, double fileSize, uint32_t items, uint32_t embeddedSize, const PageCard& card) {
    PostRun(opened, fileSize, items, embeddedSize);
    PostCard(card.known, card.uid.data(), card.hasUid ? static_cast<int>(card.uid.size()) : -1, card.thumbnailOffset,
             card.thumbnailSize);
    PostStyledText(0, card.name);
    PostStyledText(1, card.nickname);
}

// The box's result is not used by the logic; the page's box has only an OK button, as the Windows one.
int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT type) {
    ShowPageBox((type & 0xF0u) == MB_ICONINFORMATION, text ? text : u"");
    return IDOK;
}
