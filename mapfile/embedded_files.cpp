#include "embedded_files.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

// Each entry is read through this much at a time, whatever size it declares.
const size_t kReadPiece = 64 * 1024;

// The archive's records, as the ZIP format lays them out.
const uint32_t kLocalSignature = 0x04034B50;     // PK\3\4
const uint32_t kCentralSignature = 0x02014B50;   // PK\1\2
const uint32_t kEndSignature = 0x06054B50;       // PK\5\6
const uint32_t kZip64EndSignature = 0x06064B50;  // PK\6\6
const uint32_t kZip64LocatorSignature = 0x07064B50;
const size_t kLocalHeader = 30, kCentralRecord = 46, kEndRecord = 22, kZip64End = 56, kZip64Locator = 20;
const size_t kMaxComment = 0xFFFF;
const uint32_t kNoValue32 = 0xFFFFFFFF;  // the value stands in a ZIP64 extra field
const uint16_t kZip64Extra = 0x0001;
// libzip looks for its end record in this many bytes at the archive's end: the one it is shown stands alone
// behind as many zeros, so that it is the only one libzip finds.
const size_t kEndSearch = kEndRecord + kMaxComment + kZip64Locator;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const unsigned char* p) { return static_cast<uint32_t>(Get16(p)) | static_cast<uint32_t>(Get16(p + 2)) << 16; }
uint64_t Get64(const unsigned char* p) { return Get32(p) | static_cast<uint64_t>(Get32(p + 4)) << 32; }
void Put16(unsigned char* p, uint32_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}
void Put32(unsigned char* p, uint32_t value) {
    Put16(p, value);
    Put16(p + 2, value >> 16);
}

// Where the end record says the central directory is.
struct DirectoryBounds {
    uint64_t offset, length, claimed;  // claimed: the records it says there are
    bool zip64;
    bool spansDisks;  // it says the archive spans several disks
};

// A record of the central directory, for what libzip does not tell: where the entry's local header is, and
// the name's very bytes. Read as it is needed, not kept.
struct CentralRecord {
    uint64_t localOffset;
    uint64_t packedSize;
    const char* name;
    uint16_t nameLength;
};

// The records that can be read, which libzip is then given to read.
struct CentralDirectory {
    uint64_t offset;  // of the first record: every entry's data lies before it
    uint64_t end;     // behind the last record read
    size_t count;     // records read
    bool whole;       // every record the end record claims was read, and nothing else is in the directory
};

// The end record at `at`, if one stands there whose comment fits in the archive and whose directory lies
// before it (a ZIP64 end record's, where a locator stands right before it).
bool ReadEndRecord(const unsigned char* bytes, size_t size, size_t at, DirectoryBounds* found) {
    const unsigned char* end = bytes + at;
    if (Get32(end) != kEndSignature || Get16(end + 20) > size - kEndRecord - at) return false;
    // This disk and the directory's disk, then this disk's records and all records: one disk has them all.
    DirectoryBounds bounds = {Get32(end + 16), Get32(end + 12), Get16(end + 10), false,
                              Get16(end + 4) != 0 || Get16(end + 6) != 0 || Get16(end + 8) != Get16(end + 10)};
    uint64_t before = at;  // where the directory must end by
    if (at >= kZip64Locator && Get32(end - kZip64Locator) == kZip64LocatorSignature) {
        const unsigned char* locator = end - kZip64Locator;
        const uint64_t record = Get64(locator + 8);
        const uint64_t locatorAt = at - kZip64Locator;
        if (record > locatorAt || locatorAt - record < kZip64End || Get32(bytes + record) != kZip64EndSignature) return false;
        const unsigned char* zip64 = bytes + record;
        bounds = {Get64(zip64 + 48), Get64(zip64 + 40), Get64(zip64 + 32), true,
                  Get32(locator + 4) != 0 || Get32(locator + 16) > 1 || Get32(zip64 + 16) != 0 || Get32(zip64 + 20) != 0 ||
                      Get64(zip64 + 24) != Get64(zip64 + 32)};
        before = record;
    }
    if (bounds.offset > before || bounds.length > before - bounds.offset) return false;
    *found = bounds;
    return true;
}

// The archive's end record: the one whose comment ends where the archive ends, as libzip reads it, even where
// a comment holds another's signature; where none ends there, the last whose comment fits. Where two end
// there, each naming a directory of its own, the first is the archive's (the other stands in its comment),
// and `ambiguous` says that a reader could take the other. False when there is none.
bool FindDirectory(const unsigned char* bytes, size_t size, DirectoryBounds* found, bool* ambiguous) {
    *ambiguous = false;
    if (size < kEndRecord) return false;
    const size_t last = size - kEndRecord;
    const size_t lowest = last > kMaxComment ? last - kMaxComment : 0;
    bool fits = false, exact = false;
    DirectoryBounds bounds = {};
    for (size_t at = last + 1; at-- > lowest;) {
        if (!ReadEndRecord(bytes, size, at, &bounds)) continue;
        if (Get16(bytes + at + 20) == last - at) {
            *ambiguous = *ambiguous || (exact && (bounds.offset != found->offset || bounds.length != found->length));
            exact = true;
            *found = bounds;
        } else if (!fits && !exact) {
            *found = bounds;
        }
        fits = true;
    }
    return fits;
}

// The 64-bit values that a record's ZIP64 extra field holds for those of its fields that say 0xFFFFFFFF, in
// the format's order. False when a field says so and the extra field does not hold its value.
bool ReadZip64Values(const unsigned char* extra, size_t length, uint64_t* size, uint64_t* packed, uint64_t* offset) {
    uint64_t* wanted[] = {*size == kNoValue32 ? size : nullptr, *packed == kNoValue32 ? packed : nullptr,
                          *offset == kNoValue32 ? offset : nullptr};
    if (!wanted[0] && !wanted[1] && !wanted[2]) return true;
    for (size_t at = 0; length - at >= 4;) {
        const size_t fieldLength = Get16(extra + at + 2);
        if (fieldLength > length - at - 4) return false;
        if (Get16(extra + at) == kZip64Extra) {
            const unsigned char* value = extra + at + 4;
            size_t left = fieldLength;
            for (uint64_t* field : wanted) {
                if (!field) continue;
                if (left < 8) return false;
                *field = Get64(value);
                value += 8;
                left -= 8;
            }
            return true;
        }
        at += 4 + fieldLength;
    }
    return false;
}

// Reads the record at `*at` and moves past it; false when no sound record is there before `end`.
bool ReadRecord(const unsigned char* bytes, uint64_t* at, uint64_t end, CentralRecord* out) {
    const uint64_t left = end - *at;
    const unsigned char* record = bytes + *at;
    if (left < kCentralRecord || Get32(record) != kCentralSignature) return false;
    const uint16_t nameLength = Get16(record + 28);
    const size_t extraLength = Get16(record + 30);
    const uint64_t length = kCentralRecord + nameLength + extraLength + Get16(record + 32);
    if (length > left) return false;
    uint64_t size = Get32(record + 24), packed = Get32(record + 20), offset = Get32(record + 42);
    if (!ReadZip64Values(record + kCentralRecord + nameLength, extraLength, &size, &packed, &offset)) return false;
    *out = {offset, packed, reinterpret_cast<const char*>(record + kCentralRecord), nameLength};
    *at += length;
    return true;
}

// Reads the records of the directory one after another, as far as they are sound. A count is believed only
// as far as the directory's bytes hold records.
CentralDirectory ReadDirectory(const unsigned char* bytes, const DirectoryBounds& bounds) {
    CentralDirectory directory = {bounds.offset, bounds.offset, 0, false};
    CentralRecord record;
    while (ReadRecord(bytes, &directory.end, bounds.offset + bounds.length, &record)) ++directory.count;
    // Writers without ZIP64 keep only the count's low 16 bits, as libzip allows.
    const uint64_t read = directory.count;
    directory.whole = directory.end == bounds.offset + bounds.length &&
                      (read == bounds.claimed || (!bounds.zip64 && read % 0x10000 == bounds.claimed));
    return directory;
}

// Where an entry's packed bytes stand.
enum Place : uint8_t { kHeld, kOutside, kOverlapping };

struct Span {
    uint64_t start, end;  // from its local header to the end of its data
    uint32_t index;
};

// Holds each entry's packed bytes to the archive: its local header (at `offsets`) and data must lie before
// the central directory, and no two entries' may share a byte, as in a zip bomb whose entries all inflate one
// kernel.
std::vector<Place> PlaceEntries(const unsigned char* bytes, uint64_t directory, const std::vector<uint64_t>& offsets,
                                const std::vector<EmbeddedFile>& files) {
    std::vector<Place> places(offsets.size(), kHeld);
    std::vector<Span> spans;
    spans.reserve(offsets.size());
    for (uint32_t i = 0; i < offsets.size(); ++i) {
        const uint64_t room = offsets[i] <= directory ? directory - offsets[i] : 0;
        if (room < kLocalHeader || Get32(bytes + offsets[i]) != kLocalSignature) {
            places[i] = kOutside;
            continue;
        }
        const unsigned char* local = bytes + offsets[i];
        const uint64_t header = kLocalHeader + Get16(local + 26) + Get16(local + 28);
        if (header > room || files[i].packedSize > room - header) {
            places[i] = kOutside;
            continue;
        }
        spans.push_back({offsets[i], offsets[i] + header + files[i].packedSize, i});
    }
    // Sorted by start, the entries that overlap come in runs, each starting before the furthest end so far:
    // every entry of a run of two or more overlaps another.
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.start < b.start; });
    for (size_t first = 0, next = 0; first < spans.size(); first = next) {
        uint64_t furthest = spans[first].end;
        for (next = first + 1; next < spans.size() && spans[next].start < furthest; ++next) {
            furthest = std::max(furthest, spans[next].end);
        }
        for (size_t i = first; next - first > 1 && i < next; ++i) places[spans[i].index] = kOverlapping;
    }
    return places;
}

// A source for libzip of the archive up to the end of the directory records read, then only the end record
// of those: libzip then reads the very records read here, however many the archive's own end record claims,
// and no other end record that a stranger's archive may hold.
struct DirectorySource {
    static const unsigned char kZeros[kEndSearch];
    unsigned char end[kEndRecord];
    zip_buffer_fragment_t fragments[3];
};
const unsigned char DirectorySource::kZeros[kEndSearch] = {};

zip_t* OpenDirectory(const unsigned char* bytes, const CentralDirectory& directory, DirectorySource* source) {
    // The archive is below 4 GiB; libzip takes a count's low 16 bits as writers without ZIP64 leave them.
    const uint64_t count = directory.count;
    memset(source->end, 0, sizeof source->end);
    Put32(source->end, kEndSignature);
    Put16(source->end + 8, static_cast<uint32_t>(count & 0xFFFF));
    Put16(source->end + 10, static_cast<uint32_t>(count & 0xFFFF));
    Put32(source->end + 12, static_cast<uint32_t>(directory.end - directory.offset));
    Put32(source->end + 16, static_cast<uint32_t>(directory.offset));
    // No fragment without bytes: libzip numbers the fragments' places wrong after one.
    zip_uint64_t fragments = 0;
    if (directory.end > 0) source->fragments[fragments++] = {const_cast<unsigned char*>(bytes), directory.end};
    source->fragments[fragments++] = {const_cast<unsigned char*>(DirectorySource::kZeros), sizeof DirectorySource::kZeros};
    source->fragments[fragments++] = {source->end, sizeof source->end};
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* zipSource = zip_source_buffer_fragment_create(source->fragments, fragments, 0, &error);
    zip_t* archive = zipSource ? zip_open_from_source(zipSource, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive && zipSource) zip_source_free(zipSource);
    return archive;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// A character of a name as the game compares names: ASCII case ignored, backslashes as slashes. Folding a
// folded name changes nothing, so a key folded already compares as it is.
unsigned char Folded(char c) { return static_cast<unsigned char>(c == '\\' ? '/' : AsciiLower(c)); }

std::string FoldedName(const char* bytes, size_t length) {
    std::string folded(bytes, length);
    for (char& c : folded) c = static_cast<char>(Folded(c));
    return folded;
}

bool IsDotOrBlank(char c) { return c == '.' || c == ' '; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// A name's characters as Windows opens files, one at a time: folded, and without the dots and blanks that
// end a segment, which Windows drops (`A.Item.Gbx. ` opens `A.Item.Gbx`).
struct FoldedReader {
    const std::string& name;
    size_t at;
    size_t kept;  // the end of a run of dots and blanks found to stay: each run is looked through once
};

// The next character folded; -1 at the name's end.
int NextFolded(FoldedReader* reader) {
    const std::string& name = reader->name;
    while (reader->at < name.size()) {
        const char c = name[reader->at];
        if (IsDotOrBlank(c) && reader->at >= reader->kept) {
            size_t run = reader->at;
            while (run < name.size() && IsDotOrBlank(name[run])) ++run;
            if (run == name.size() || IsSeparator(name[run])) {
                reader->at = run;
                continue;
            }
            reader->kept = run;
        }
        ++reader->at;
        return Folded(c);
    }
    return -1;
}

// <0, 0 or >0 as `a` sorts before, with or after `b`, names as the game and Windows compare them.
int CompareFolded(const std::string& a, const std::string& b) {
    FoldedReader left = {a, 0, 0}, right = {b, 0, 0};
    for (;;) {
        const int x = NextFolded(&left), y = NextFolded(&right);
        if (x != y || x < 0) return x < y ? -1 : x > y ? 1 : 0;
    }
}

bool IsLocalPath(const std::string& name) {
    const char first = name.empty() ? 0 : AsciiLower(name[0]);
    return first == '/' || first == '\\' || (first >= 'a' && first <= 'z' && name.size() > 1 && name[1] == ':');
}

// A segment that leads out of its folder: `..`, and what Windows takes for it (dots and blanks at a segment's
// end are dropped there).
bool LeadsOut(const char* segment, size_t length) {
    size_t dots = 0;
    for (size_t i = 0; i < length; ++i) {
        if (segment[i] == '.') {
            ++dots;
        } else if (segment[i] != ' ') {
            return false;
        }
    }
    return dots >= 2;
}

// The character at `s`, of a UTF-8 sequence of `*length` bytes; an ill-formed byte stands for itself.
char32_t DecodeAt(const unsigned char* s, size_t left, size_t* length) {
    *length = 1;
    const size_t size = s[0] < 0xC2 ? 1 : s[0] < 0xE0 ? 2 : s[0] < 0xF0 ? 3 : s[0] < 0xF5 ? 4 : 1;
    if (size == 1 || size > left) return s[0];
    char32_t c = s[0] & (0x7F >> size);
    for (size_t i = 1; i < size; ++i) {
        if ((s[i] & 0xC0) != 0x80) return s[0];
        c = c << 6 | (s[i] & 0x3F);
    }
    *length = size;
    return c;
}

// A character a name can hold without showing it, or that breaks or reorders its line: a C1 control, a line
// or paragraph separator, a bidirectional control, and the characters Unicode asks to show as nothing (zero
// widths, joiners, U+2060 to U+206F, U+FEFF, variation selectors, tags and the like). Each can make one
// name look like another.
bool IsHidden(char32_t c) {
    static const char32_t kRanges[][2] = {
        {0x80, 0x9F},       {0xAD, 0xAD},       {0x34F, 0x34F},     {0x61C, 0x61C},     {0x115F, 0x1160},
        {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x206F},
        {0x3164, 0x3164},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8},
        {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}};
    for (const auto& range : kRanges) {
        if (c >= range[0] && c <= range[1]) return true;
    }
    return false;
}

// Whether a name could unpack outside its folder or hide what it is: no name at all, a segment that leads out,
// a control (a zero byte too) or DEL; in UTF-8 text also a character that IsHidden.
bool IsUnsafeName(const char* name, size_t length, bool utf8) {
    if (length == 0) return true;
    const unsigned char* s = reinterpret_cast<const unsigned char*>(name);
    for (size_t start = 0, i = 0; i <= length;) {
        if (i == length || IsSeparator(name[i])) {
            if (LeadsOut(name + start, i - start)) return true;
            start = ++i;
            continue;
        }
        if (s[i] < 0x20 || s[i] == 0x7F) return true;
        size_t size = 1;
        if (utf8 && IsHidden(DecodeAt(s + i, length - i, &size))) return true;
        i += size;
    }
    return false;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// libzip's name for the entry, with each control byte of the name's own bytes back in its place: libzip
// turns a zero byte into a blank, and decoding CP437 a control into a picture (ESC into an arrow), either of
// which would show a name that the archive does not hold.
std::string NameOf(zip_t* archive, zip_uint64_t index, const char* decoded, const char* raw, size_t rawLength) {
    if (std::none_of(raw, raw + rawLength, IsControl)) return decoded;
    const char* blanked = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    if (!blanked || strlen(blanked) != rawLength) return decoded;  // libzip took it from elsewhere (a UTF-8 field)
    for (size_t i = 0; i < rawLength; ++i) {
        if (blanked[i] != (raw[i] == 0 ? ' ' : raw[i])) return decoded;
    }
    if (strcmp(decoded, blanked) == 0) return std::string(raw, rawLength);
    // Decoded from CP437, a character a byte.
    std::string name;
    for (size_t at = 0, character = 0; decoded[at] != 0 && character < rawLength; ++character) {
        const size_t start = at;
        do {
            ++at;
        } while ((static_cast<unsigned char>(decoded[at]) & 0xC0) == 0x80);
        if (IsControl(raw[character])) {
            name += raw[character];
        } else {
            name.append(decoded + start, at - start);
        }
    }
    return name;
}

// Reports reading progress in packed bytes, at most a thousand times a run.
struct Progress {
    const ReadProgress* to;
    uint64_t total, done;
    unsigned shown;  // in thousandths
};

void Advance(Progress* progress, uint64_t done) {
    if (!progress->to || progress->total == 0) return;
    progress->done = done;
    const unsigned now = static_cast<unsigned>(static_cast<double>(done) * 1000 / static_cast<double>(progress->total));
    if (now == progress->shown) return;
    progress->shown = now;
    progress->to->report(progress->to->context, done, progress->total);
}

// Reads the entry whole through `piece`, no further than the size it declares: one byte more tells a stream
// that runs on. False, with what is wrong with it, when it is not sound.
bool ReadEntry(zip_t* archive, zip_uint64_t index, uint64_t declared, uint64_t packed, std::vector<char>* piece,
               Progress* progress, FindingKind* wrong) {
    zip_file_t* file = zip_fopen_index(archive, index, 0);
    *wrong = FindingKind::kCorruptData;
    if (!file) return false;
    const uint64_t before = progress->done;
    uint64_t total = 0;
    zip_int64_t got = 0;
    while (total <= declared) {
        const uint64_t left = declared - total;
        got = zip_fread(file, piece->data(), left < piece->size() ? left + 1 : piece->size());
        if (got <= 0) break;
        total += static_cast<uint64_t>(got);
        // The share of its packed bytes that the part inflated so far stands for.
        const double share = total >= declared ? 1.0 : static_cast<double>(total) / static_cast<double>(declared);
        Advance(progress, before + static_cast<uint64_t>(static_cast<double>(packed) * share));
    }
    if (got < 0 && zip_error_code_zip(zip_file_get_error(file)) == ZIP_ER_CRC) *wrong = FindingKind::kBadChecksum;
    const bool closed = zip_fclose(file) == 0;
    Advance(progress, before + packed);
    if (total <= declared && (got < 0 || !closed)) return false;
    *wrong = FindingKind::kWrongSize;
    return total == declared;
}

// For each entry whose name repeats an earlier one's, as the game compares names, that earlier entry: one
// finding a name, at its second entry. `byName` is the entries sorted by name, ties in the archive's order.
std::vector<std::pair<uint32_t, uint32_t>> Repeats(const std::vector<EmbeddedFile>& files,
                                                   const std::vector<uint32_t>& byName) {
    std::vector<std::pair<uint32_t, uint32_t>> repeats;
    for (size_t i = 1, first = 0; i < byName.size(); ++i) {
        if (CompareFolded(files[byName[first]].name, files[byName[i]].name) != 0) {
            first = i;
        } else if (i == first + 1) {
            repeats.push_back({byName[i], byName[first]});
        }
    }
    std::sort(repeats.begin(), repeats.end());
    return repeats;
}

// How an entry is packed, as libzip's one look at it says: only stored and deflated data is inflated.
enum Packing : uint8_t { kPlain, kPackedOtherwise, kEncrypted };

Packing PackingOf(const zip_stat_t& stat) {
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) return kPackedOtherwise;
    const bool encrypted = (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE;
    return encrypted ? kEncrypted : kPlain;
}

// Whether an entry is inflated: only packed bytes of its own, only stored or deflated ones, and only while
// the sizes declared so far stay within the budget (`left` of it): from the first entry past it on, none is.
// When it is not, `why`, but for the budget's finding, which is the archive's. Damage is said first:
// however packed, a bomb's entries are a bomb's.
bool IsInflated(Place place, Packing packing, uint64_t size, uint64_t* left, FindingKind* why) {
    *why = place == kOutside ? FindingKind::kOutsideArchive : FindingKind::kOverlapping;
    if (place != kHeld) return false;
    *why = packing == kEncrypted ? FindingKind::kEncrypted : FindingKind::kPackedOtherwise;
    if (packing != kPlain) return false;
    *why = FindingKind::kTooLarge;
    if (size > *left) {
        *left = 0;
        return false;
    }
    *left -= size;
    return true;
}

// ReadArchive, giving also the files' order by name as the game compares names.
bool ReadOrderedArchive(const unsigned char* bytes, size_t size, uint64_t budget, EmbeddedFiles* files,
                        const ReadProgress* to, std::vector<uint32_t>* byName) {
    if (size == 0) return true;
    DirectoryBounds bounds = {};
    CentralDirectory directory = {};
    bool ambiguous = false;
    const bool found = size <= UINT32_MAX && FindDirectory(bytes, size, &bounds, &ambiguous);
    if (found && bounds.spansDisks) {
        files->findings.push_back({FindingKind::kSpansDisks, ""});
        return false;
    }
    if (found) directory = ReadDirectory(bytes, bounds);
    DirectorySource source;
    zip_t* archive = found ? OpenDirectory(bytes, directory, &source) : nullptr;
    // libzip lists what was read here, or the two do not agree on where each entry's data is; and a directory
    // that is not whole holds at least a record, or nothing of it can be read.
    const size_t count = directory.count;
    bool agree = archive && zip_get_num_entries(archive, 0) == static_cast<zip_int64_t>(count) &&
                 (directory.whole || count > 0);
    // Beside libzip's own, a name and three sizes an entry: the local header's place is the third; and of
    // libzip's look at it, taken once, whether it is packed as libzip inflates.
    std::vector<uint64_t> offsets;
    std::vector<bool> rawUnsafe;
    std::vector<Packing> packings;
    files->files.reserve(agree ? count : 0);
    offsets.reserve(agree ? count : 0);
    const zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD;
    zip_stat_t stat;
    CentralRecord record;
    for (uint64_t i = 0, at = directory.offset; agree && i < count; ++i) {
        zip_stat_init(&stat);
        agree = ReadRecord(bytes, &at, directory.end, &record) && zip_stat_index(archive, i, 0, &stat) == 0 &&
                (stat.valid & kNeeded) == kNeeded && stat.comp_size == record.packedSize;
        if (!agree) break;
        files->files.push_back({NameOf(archive, i, stat.name, record.name, record.nameLength), stat.size, stat.comp_size});
        offsets.push_back(record.localOffset);
        rawUnsafe.push_back(IsUnsafeName(record.name, record.nameLength, false));
        packings.push_back(PackingOf(stat));
    }
    if (!agree) {
        if (archive) zip_discard(archive);
        files->files.clear();
        files->findings.push_back({FindingKind::kDamagedArchive, ""});
        return false;
    }
    if (ambiguous) files->findings.push_back({FindingKind::kTwoEndRecords, ""});
    if (!directory.whole) files->findings.push_back({FindingKind::kPartialArchive, ""});

    const std::vector<Place> places = PlaceEntries(bytes, directory.offset, offsets, files->files);
    std::vector<uint64_t>().swap(offsets);
    // Why each entry that is not inflated is not.
    std::vector<std::optional<FindingKind>> notInflated(count);
    Progress progress = {to, 0, 0, 0};
    uint64_t left = budget;
    bool pastBudget = false;
    for (size_t i = 0; i < count; ++i) {
        const EmbeddedFile& file = files->files[i];
        if (places[i] == kHeld) files->packedTotal += file.packedSize;
        FindingKind why;
        if (IsInflated(places[i], packings[i], file.size, &left, &why)) {
            progress.total += file.packedSize;
        } else {
            notInflated[i] = why;
            pastBudget = pastBudget || why == FindingKind::kTooLarge;
        }
    }
    std::vector<Packing>().swap(packings);
    byName->resize(count);
    for (uint32_t i = 0; i < count; ++i) (*byName)[i] = i;
    std::stable_sort(byName->begin(), byName->end(), [files](uint32_t a, uint32_t b) {
        return CompareFolded(files->files[a].name, files->files[b].name) < 0;
    });
    const std::vector<std::pair<uint32_t, uint32_t>> repeats = Repeats(files->files, *byName);

    std::vector<char> piece(kReadPiece);
    auto repeat = repeats.begin();
    FindingKind wrong;
    for (uint32_t i = 0; i < count; ++i) {
        const EmbeddedFile& file = files->files[i];
        if (IsLocalPath(file.name)) files->findings.push_back({FindingKind::kLocalPath, file.name});
        if (IsUnsafeName(file.name.data(), file.name.size(), true) || rawUnsafe[i]) {
            files->findings.push_back({FindingKind::kUnsafePath, file.name});
        }
        if (repeat != repeats.end() && repeat->first == i) {
            files->findings.push_back({FindingKind::kDuplicate, files->files[repeat->second].name});
            ++repeat;
        }
        const std::optional<FindingKind> why = notInflated[i];
        if (!why) {
            if (!ReadEntry(archive, i, file.size, file.packedSize, &piece, &progress, &wrong)) {
                files->findings.push_back({wrong, file.name});
            }
        } else if (*why != FindingKind::kTooLarge) {
            files->findings.push_back({*why, file.name});
        }
    }
    if (pastBudget) files->findings.push_back({FindingKind::kTooLarge, ""});
    zip_discard(archive);
    return true;
}

// Whether the game finds the file `key` (folded) among the files, sorted by their folded names.
bool HasFile(const EmbeddedFiles& files, const std::vector<uint32_t>& byName, const std::string& key) {
    const auto at = std::lower_bound(byName.begin(), byName.end(), key, [&files](uint32_t index, const std::string& k) {
        return CompareFolded(files.files[index].name, k) < 0;
    });
    return at != byName.end() && CompareFolded(files.files[*at].name, key) == 0;
}

// Whether the game finds the file of a listed item (folded).
bool HasItemFile(const EmbeddedFiles& files, const std::vector<uint32_t>& byName, const std::string& item) {
    static const char kClub[] = "club:";
    if (item.compare(0, sizeof kClub - 1, kClub) == 0) return HasFile(files, byName, "clubitems/" + item.substr(sizeof kClub - 1));
    return HasFile(files, byName, "items/" + item) || HasFile(files, byName, "blocks/" + item);
}

}  // namespace

uint64_t InflateBudget(uint64_t fileSize) {
    const uint64_t kLeast = uint64_t{64} << 20;
    return fileSize > kLeast / 64 ? fileSize * 64 : kLeast;
}

bool ReadArchive(const unsigned char* bytes, size_t size, uint64_t budget, EmbeddedFiles* files,
                 const ReadProgress* progress) {
    std::vector<uint32_t> byName;
    return ReadOrderedArchive(bytes, size, budget, files, progress, &byName);
}

bool ReadEmbeddedFiles(const ItemsReport* report, uint64_t budget, EmbeddedFiles* files, const ReadProgress* progress) {
    *files = EmbeddedFiles{};
    const size_t left = static_cast<size_t>(report->embedded.end - report->embedded.position);
    if (report->embeddedSize > left) {
        files->findings.push_back({FindingKind::kCutShort, ""});
        return false;
    }
    std::vector<uint32_t> byName;
    if (!ReadOrderedArchive(report->embedded.position, report->embeddedSize, budget, files, progress, &byName)) return false;

    std::vector<std::string> reported;
    ItemWalk walk;
    BeginItemWalk(report, &walk);
    ReportItem item;
    while (ReadReportItem(&walk, &item)) {
        const std::string folded = FoldedName(item.identifier.bytes, item.identifier.length);
        if (folded.empty() || HasItemFile(*files, byName, folded)) continue;
        if (std::find(reported.begin(), reported.end(), folded) != reported.end()) continue;
        reported.push_back(folded);
        files->findings.push_back({FindingKind::kMissing, std::string(item.identifier.bytes, item.identifier.length)});
    }
    return true;
}

bool ConcernsArchive(FindingKind kind) {
    switch (kind) {
        case FindingKind::kTooLarge:
        case FindingKind::kDamagedArchive:
        case FindingKind::kPartialArchive:
        case FindingKind::kCutShort:
        case FindingKind::kSpansDisks:
        case FindingKind::kTwoEndRecords: return true;
        default: return false;
    }
}

const char* FindingSentence(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMissing: return "Listed item without its file among the embedded files";
        case FindingKind::kLocalPath: return "Embedded file named from the maker's own folders";
        case FindingKind::kUnsafePath: return "Embedded file whose name could unpack outside its folder or hide what it is";
        case FindingKind::kDuplicate: return "Embedded files that share a name";
        case FindingKind::kPackedOtherwise: return "Embedded file neither stored nor deflated, so not checked";
        case FindingKind::kEncrypted: return "Embedded file encrypted, so not checked";
        case FindingKind::kTooLarge: return "Embedded files too large: those past 64 times the map file's size are listed, not checked";
        case FindingKind::kBadChecksum: return "Embedded file damaged: its checksum does not match";
        case FindingKind::kCorruptData: return "Embedded file damaged: its packed data cannot be inflated";
        case FindingKind::kWrongSize: return "Embedded file damaged: it is not the size it declares";
        case FindingKind::kOverlapping: return "Embedded file damaged: its packed data overlaps another file's";
        case FindingKind::kOutsideArchive: return "Embedded file damaged: its packed data lies outside the archive";
        case FindingKind::kDamagedArchive: return "Embedded files damaged: their archive cannot be read";
        case FindingKind::kPartialArchive: return "Embedded files damaged: their archive's directory can be read only in part";
        case FindingKind::kCutShort: return "Embedded files damaged: their archive is cut short";
        case FindingKind::kSpansDisks: return "Embedded files damaged: their archive says it spans several disks";
        case FindingKind::kTwoEndRecords: return "Embedded files damaged: two end records could be their archive's, each with files of its own";
    }
    return "";
}

const char* FindingCode(FindingKind kind) {
    switch (kind) {
        case FindingKind::kMissing: return "missing";
        case FindingKind::kLocalPath: return "local_path";
        case FindingKind::kUnsafePath: return "unsafe_path";
        case FindingKind::kDuplicate: return "duplicate";
        case FindingKind::kPackedOtherwise:
        case FindingKind::kEncrypted: return "unsupported_method";
        case FindingKind::kTooLarge: return "too_large";
        default: return "damaged";
    }
}

const char* FindingDetail(FindingKind kind) {
    switch (kind) {
        case FindingKind::kBadChecksum: return "checksum";
        case FindingKind::kCorruptData: return "corrupt_data";
        case FindingKind::kWrongSize: return "wrong_size";
        case FindingKind::kOverlapping: return "overlapping_data";
        case FindingKind::kOutsideArchive: return "outside_archive";
        case FindingKind::kDamagedArchive: return "unreadable_archive";
        case FindingKind::kPartialArchive: return "partial_directory";
        case FindingKind::kCutShort: return "cut_short";
        case FindingKind::kSpansDisks: return "spans_disks";
        case FindingKind::kTwoEndRecords: return "two_end_records";
        default: return nullptr;
    }
}
