// The files embedded in a map: the ZIP archive of S bytes right behind the items chunk's size field, read with
// libzip, and what is wrong with them. Maps come from strangers, so before anything is inflated every entry's
// packed bytes are held to the archive (read from its central directory beside libzip): what reading costs
// follows the archive's bytes, never what it claims. The Linux command and the page read them; the Windows
// program does not link this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "items_report.h"

struct EmbeddedFile {
    std::string name;     // as the archive holds it: UTF-8 (or CP437, decoded) as libzip reads it, zero bytes kept
    uint64_t size;        // as the archive declares it
    uint64_t packedSize;  // as the archive declares it
};

enum class FindingKind : uint8_t {
    kMissing,          // a listed item has no file where the game looks for it
    kLocalPath,        // an entry named from a root or a drive letter: it shows the maker's folders
    kUnsafePath,       // a name that could unpack outside its folder or hide what it is
    kDuplicate,        // entries share a name as the game and Windows compare names: all but one are wasted bytes
    kPackedOtherwise,  // neither stored nor deflated: listed, not inflated
    kEncrypted,        // listed, not inflated
    kTooLarge,         // the files would inflate past what the map may cost: those past it are listed, not inflated
    // Damage, each of its own kind:
    kBadChecksum,      // its data inflates, but not to the CRC it declares
    kCorruptData,      // its packed data cannot be inflated
    kWrongSize,        // it inflates to more bytes, or fewer, than it declares
    kOverlapping,      // its packed bytes run into another entry's: not inflated
    kOutsideArchive,   // its packed bytes are not within the archive's data: not inflated
    kDamagedArchive,   // the archive cannot be read: which files it holds is not known
    kPartialArchive,   // the central directory can be read only in part: what it lists up to there is read
    kCutShort,         // the archive passes the end of the body: which files it holds is not known
    kSpansDisks,       // its end record says it spans several disks, which no map's archive does: not read
    kTwoEndRecords,    // two end records could be the archive's, each naming a directory of its own
};

struct Finding {
    FindingKind kind;
    std::string name;  // the file or the listed item it concerns (which may be empty); empty for the archive
};

// Whether a finding concerns the whole archive, not a file: its name is then empty.
bool ConcernsArchive(FindingKind kind);

struct EmbeddedFiles {
    std::vector<EmbeddedFile> files;  // in the archive's order
    uint64_t packedTotal;             // of the files whose packed bytes the archive holds: never more than its size
    std::vector<Finding> findings;    // each once
};

// Told how far the reading has come, in packed bytes of those that will be read; the page shows it.
struct ReadProgress {
    void (*report)(void* context, uint64_t done, uint64_t total);
    void* context;
};

// What the files of one map may inflate to, all together: 64 times the map file (real maps inflate to less
// than twice theirs), and at least 64 MiB. A map's archive sits in its LZO body, which packs a deflated
// stream of zeros again about 160:1, so only a budget bound to the file holds what reading a map costs.
uint64_t InflateBudget(uint64_t fileSize);

// Reads and checks the embedded files of a standing report: the archive (ReadArchive), then, unless it could
// not be read, a finding for each listed item without its file. `A\B.Item.Gbx` is looked for as
// `Items/A/B.Item.Gbx` or `Blocks/A/B.Item.Gbx`, a club item `club:N\REST` as `ClubItems/N/REST`, ASCII
// case ignored. False when which files the map embeds is not known: the archive cannot be read.
bool ReadEmbeddedFiles(const ItemsReport* report, uint64_t budget, EmbeddedFiles* files,
                       const ReadProgress* progress = nullptr);

// The archive of `size` bytes at `bytes` (0: none, below 4 GiB as a map's S is), every entry in order:
// - its packed bytes are held to the archive first: an entry whose data lies outside the archive's data, or
//   runs into another entry's, is damaged and not inflated, so nothing is inflated twice or from thin air;
// - an entry that is stored or deflated is then read whole through a buffer of a fixed size, no further
//   than the size it declares, so that libzip checks its data and CRC and this its size; one packed
//   otherwise, or encrypted, is listed with its finding and not read;
// - in the archive's order, entries are inflated while the sizes they declare stay within `budget`: from
//   the first past it on, they are listed and not inflated, with one finding for the archive;
// - a finding for each entry named from a root or a drive, each name that could unpack outside its folder
//   or hide what it is, and each name that entries share (ASCII case ignored, `\` as `/`, the dots and
//   blanks that end a segment dropped, as Windows drops them).
// A central directory that can be read only in part is listed up to there. False when the archive cannot be
// read at all, so that which files it holds is not known.
bool ReadArchive(const unsigned char* bytes, size_t size, uint64_t budget, EmbeddedFiles* files,
                 const ReadProgress* progress = nullptr);

// The sentence that a front door shows for a finding, before its name when it has one.
const char* FindingSentence(FindingKind kind);
// The finding's kind as --json and the page name it: missing, local_path, unsafe_path, duplicate,
// unsupported_method, too_large or damaged.
const char* FindingCode(FindingKind kind);
// Which damage a `damaged` finding is, in a code that stays from release to release (overlapping_data,
// checksum, ...); null for the other kinds.
const char* FindingDetail(FindingKind kind);
