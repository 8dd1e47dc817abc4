// Which map a file holds, as its header tells: the card that the command and the page show beside the report.
// It is read from the header's user data alone, so a map whose body fails still has one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

// A dependency the map needs: a file, and the address it is fetched from, if any.
struct MapDependency {
    std::string file;
    std::optional<std::string> url;
};

// The medal times in milliseconds; a medal the map has none for (-1 in the file) is empty.
struct MedalTimes {
    std::optional<int64_t> bronze, silver, gold, author;
};

// Strings are UTF-8 as the map stores them (formatting codes and ill-formed bytes kept); each is empty where
// the map gives none, or gives it empty.
struct MapCard {
    bool known;  // false: the header holds no card that can be read, and the rest is empty
    std::optional<std::string> uid, name, author, authorNickname, authorZone, environment, mood, title, mapType;
    std::optional<int64_t> laps;
    std::optional<MedalTimes> times;
    std::vector<MapDependency> dependencies;
    uint64_t thumbnailOffset;  // where the thumbnail's JPEG starts in the map file
    uint32_t thumbnailSize;    // its bytes; 0 when there is none, or it is not a whole JPEG
};

// Offset of the header's user data in a map file: behind the magic, version, format, class id and its size.
const uint32_t kUserDataOffset = 17;

// Reads the card from the user data of a header: `data` holds its `size` bytes, which stand at `offset` in
// the map file. Whatever the bytes hold, the card costs memory in proportion to them, and a document type
// declaration makes the XML unreadable rather than being read.
void ReadMapCard(const unsigned char* data, size_t size, uint64_t offset, MapCard* card);

// Reads the card of the map file open at `file`, of `fileSize` bytes, from its start (the file position moves).
// A file that is not a Gbx file, or whose user data passes its end, has no card.
void ReadMapFileCard(HANDLE file, uint64_t fileSize, MapCard* card);
