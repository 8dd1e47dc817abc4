// Writes ZIP archives with libzip's own writer, for the tests of the embedded files. Linux only.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run_cases.h"

struct ArchiveEntry {
    std::string name;     // any bytes; entries may share one
    std::string content;
    bool stored = false;  // else deflated
    bool zip64 = false;   // a ZIP64 local header, which libzip writes for data whose size it is not told
};

// The archive of the entries, in their order, every time stamp 1980-01-01. libzip flags a name that is valid
// UTF-8 as such; with `utf8Flag` false the flag is cleared again, as most maps' archives have their names.
Bytes BuildArchive(const std::vector<ArchiveEntry>& entries, bool utf8Flag = true);

// An entry of an archive written byte by byte, for what libzip's writer will not write: records that point
// where a test wants, sizes and counts that lie, methods libzip does not read.
struct RawEntry {
    std::string name;                    // any bytes
    Bytes packed;                        // behind its local header
    uint16_t method = 8;                 // 0 stored, 8 deflated, 12 bzip2, ...
    uint32_t crc = 0;
    uint64_t size = 0;                   // as declared
    std::optional<uint64_t> packedSize;  // declared in its record, else packed.size()
    int localOf = -1;                    // no local header of its own: its record points at entry N's
    bool zip64 = false;                  // its record's sizes and offset in a ZIP64 extra field
    uint16_t flags = 0;                  // general purpose: 1 encrypted
};

struct RawArchive {
    std::vector<RawEntry> entries;
    std::optional<uint64_t> count;        // what the end record claims, else the records written
    bool zip64End = false;                // a ZIP64 end record and its locator before the end record
    std::optional<uint64_t> directoryAt;  // where the end record says the directory is, else where it is
};

// Each entry's local header and packed bytes one after another from the start, then the central directory
// and the end record, every time stamp 0.
Bytes WriteArchive(const RawArchive& archive);

// An entry as libzip's writer packs `content`: its packed bytes, CRC and size.
RawEntry PackedEntry(const std::string& name, const std::string& content, bool stored = false);

// An entry of `mebibytes` MiB of zero bytes deflated on its own, as a zip bomb's files are: about a
// thousandth of it, made without deflating it all.
RawEntry ZerosEntry(const std::string& name, size_t mebibytes);

// The zip bomb whose entries overlap: each entry's data is a stored block of deflate that quotes the next
// entry's local header and runs on into one kernel shared by all, `zeros` zero bytes deflated. Every entry
// would inflate the whole kernel.
Bytes OverlappingBomb(unsigned entries, size_t zeros);

// The sentences of the embedded files' findings, each written once here, as run_cases.h writes the tool's.
inline constexpr char kMissingFile[] = "Listed item without its file among the embedded files";
inline constexpr char kLocalPath[] = "Embedded file named from the maker's own folders";
inline constexpr char kUnsafePath[] = "Embedded file whose name could unpack outside its folder or hide what it is";
inline constexpr char kSharedName[] = "Embedded files that share a name";
inline constexpr char kPackedOtherwise[] = "Embedded file neither stored nor deflated, so not checked";
inline constexpr char kEncrypted[] = "Embedded file encrypted, so not checked";
inline constexpr char kTooLarge[] = "Embedded files too large: those past 64 times the map file's size are listed, not checked";
inline constexpr char kBadChecksum[] = "Embedded file damaged: its checksum does not match";
inline constexpr char kCorruptData[] = "Embedded file damaged: its packed data cannot be inflated";
inline constexpr char kWrongSize[] = "Embedded file damaged: it is not the size it declares";
inline constexpr char kOverlapping[] = "Embedded file damaged: its packed data overlaps another file's";
inline constexpr char kOutsideArchive[] = "Embedded file damaged: its packed data lies outside the archive";
inline constexpr char kDamagedArchive[] = "Embedded files damaged: their archive cannot be read";
inline constexpr char kPartialArchive[] = "Embedded files damaged: their archive's directory can be read only in part";
inline constexpr char kCutShort[] = "Embedded files damaged: their archive is cut short";
inline constexpr char kSpansDisks[] = "Embedded files damaged: their archive says it spans several disks";
inline constexpr char kTwoEndRecords[] =
    "Embedded files damaged: two end records could be their archive's, each with files of its own";

// Whether a finding's sentence is the whole archive's, which names no file.
bool ConcernsArchive(const std::string& sentence);

// The code that --json gives a finding's sentence, and for damage its detail ("" for none).
const char* FindingCodeOf(const std::string& sentence);
const char* FindingDetailOf(const std::string& sentence);

// A finding: its sentence and the name it concerns (empty for the whole archive).
using ArchiveFinding = std::pair<std::string, std::string>;

// An archive as a map may embed it, and what reading it must give. Text that deflates (of `size` bytes) for
// its files.
struct ArchiveCase {
    std::string name;
    Bytes archive;
    std::vector<std::string> names;  // as read, UTF-8
    std::vector<ArchiveFinding> findings;
    std::optional<uint64_t> packedTotal = {};  // else every file's
    bool listed = true;                        // false: which files it holds is not known
};
std::string Text(size_t size);
std::vector<ArchiveCase> ArchiveCases();

// The map whose embedded files are the case's archive, with no item listed. Its report, whole, is its message.
RunCase ArchiveMap(const ArchiveCase& archive);

// A copy with each run of `from` replaced by `to` (of the same length).
Bytes Replaced(Bytes bytes, const std::string& from, const std::string& to);

// A map whose embedded files have something wrong: one named from the maker's drive, a name two share, and
// an item listed without its file. Its report, whole, is the case's message.
RunCase EmbeddedFindingsCase();
