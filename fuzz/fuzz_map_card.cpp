// The map's card from the header of a file of arbitrary bytes: the chunk table, the XML read by pugixml, the
// author and thumbnail chunks, and the name's formatting codes. Aborts when a rule of the card is broken: a
// thumbnail lies within the user data, a header without a card leaves every field empty, and the runs a
// name is drawn as hold exactly its plain text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formatting_codes.h"
#include "little_endian.h"
#include "map_card.h"

namespace {

void Broken(const char* rule) {
    fprintf(stderr, "rule broken: %s\n", rule);
    abort();
}

void CheckCodes(const std::optional<std::string>& text) {
    if (!text) return;
    std::string drawn;
    for (const StyledRun& run : ReadFormattingCodes(text->data(), text->size())) {
        if (run.text.empty()) Broken("an empty run");
        drawn += run.text;
    }
    if (drawn != PlainText(text->data(), text->size())) Broken("the runs are not the plain text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The user data as a map file holds it, cut where the file ends; an exact-size copy, so that the sanitizer
    // sees its end.
    if (size < kUserDataOffset) return 0;
    const size_t userData = std::min<size_t>(LoadLittleEndian32(data + kUserDataOffset - 4), size - kUserDataOffset);
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[userData > 0 ? userData : 1]);
    if (userData > 0) memcpy(bytes.get(), data + kUserDataOffset, userData);
    MapCard card = {};
    ReadMapCard(bytes.get(), userData, kUserDataOffset, &card);
    if (card.thumbnailSize > 0 &&
        (card.thumbnailOffset < kUserDataOffset || card.thumbnailOffset + card.thumbnailSize > kUserDataOffset + userData)) {
        Broken("the thumbnail lies outside the user data");
    }
    if (!card.known && (card.uid || card.name || card.author || card.times || !card.dependencies.empty() || card.thumbnailSize)) {
        Broken("a header without a card fills it");
    }
    CheckCodes(card.name);
    CheckCodes(card.authorNickname);
    return 0;
}
