// The files embedded in a map: the ZIP archive of S bytes right behind the items chunk's size field, read with
// libzip, every entry inflated and checked; and what is wrong with them. The Linux command and the page read
// them; the Windows program does not link this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "items_report.h"

struct EmbeddedFile {
    std::string name;     // UTF-8 as libzip decodes it: UTF-8 when it is valid, else CP437
    uint64_t size;        // as the archive declares it, and checked
    uint64_t packedSize;  // its bytes in the archive
};

enum class FindingKind {
    kMissing,         // a listed item has no file where the game looks for it
    kLocalPath,       // an entry named from a root or a drive letter: it shows the maker's folders
    kDuplicate,       // entries share a name: all but one are wasted bytes
    kDamagedFile,     // an entry fails its check: CRC, size or data
    kDamagedArchive,  // the archive cannot be read
    kCutShort,        // the archive passes the end of the body
};

struct Finding {
    FindingKind kind;
    std::string name;  // the file or the listed item it concerns; empty for the whole archive
};

struct EmbeddedFiles {
    std::vector<EmbeddedFile> files;  // in the archive's order
    uint64_t packedTotal;             // of all files
    std::vector<Finding> findings;    // each once
};

// Reads and checks the embedded files of a standing report: the archive (ReadArchive), then, unless it could
// not be read, a finding for each listed item without its file. `A\B.Item.Gbx` is looked for as
// `Items/A/B.Item.Gbx` or `Blocks/A/B.Item.Gbx`, a club item `club:N\REST` as `ClubItems/N/REST`, ASCII
// case ignored.
void ReadEmbeddedFiles(const ItemsReport* report, EmbeddedFiles* files);

// The archive of `size` bytes at `bytes` (0: none): every entry in order, each read whole through a buffer
// of a fixed size, whatever size it declares, so that libzip checks its data, size and CRC; a finding for
// each entry named from a root or a drive, each name that two entries share, and each damage. False when the
// archive could not be read, so that which files it holds is not known.
bool ReadArchive(const unsigned char* bytes, size_t size, EmbeddedFiles* files);

// The sentence that a front door shows for a finding, before its name when it has one.
const char* FindingSentence(FindingKind kind);
// The finding's kind as --json and the page name it: missing, local_path, duplicate or damaged.
const char* FindingCode(FindingKind kind);
