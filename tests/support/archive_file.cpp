#include "archive_file.h"

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "items_report.h"

namespace {

// A source that does not tell its size, for which libzip writes a ZIP64 local header.
struct UnsizedSource {
    const std::string* data;
    size_t at;
};

zip_int64_t ReadUnsized(void* state, void* out, zip_uint64_t length, zip_source_cmd_t command) {
    UnsizedSource* source = static_cast<UnsizedSource*>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN: source->at = 0; return 0;
        case ZIP_SOURCE_READ: {
            const size_t n = std::min<size_t>(length, source->data->size() - source->at);
            memcpy(out, source->data->data() + source->at, n);
            source->at += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_STAT: zip_stat_init(static_cast<zip_stat_t*>(out)); return sizeof(zip_stat_t);
        case ZIP_SOURCE_ERROR: return 2 * sizeof(int);
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE: return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default: return -1;
    }
}

// Clears the UTF-8 flag (bit 11 of the general purpose flags) in every local and central header.
void ClearUtf8Flags(Bytes& bytes) {
    for (size_t at = 0; at + 10 < bytes.size(); ++at) {
        if (bytes[at] != 'P' || bytes[at + 1] != 'K') continue;
        if (bytes[at + 2] == 3 && bytes[at + 3] == 4) bytes[at + 7] &= ~0x08;
        if (bytes[at + 2] == 1 && bytes[at + 3] == 2) bytes[at + 9] &= ~0x08;
    }
}

}  // namespace

Bytes BuildArchive(const std::vector<ArchiveEntry>& entries, bool utf8Flag) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    // libzip takes a name once: an entry whose name is taken goes in under a stand-in of the same length.
    std::vector<std::pair<std::string, std::string>> standIns;
    std::vector<UnsizedSource> unsized(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        std::string name = entry.name;
        if (zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW) >= 0) {
            name = std::string(name.size() - 1, '~') + static_cast<char>('0' + standIns.size());
            standIns.push_back({name, entry.name});
        }
        unsized[i] = {&entry.content, 0};
        zip_source_t* source = entry.zip64 ? zip_source_function(archive, ReadUnsized, &unsized[i])
                                           : zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_GUESS);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), 315532800, 0);
    }
    zip_close(archive);
    zip_stat_t stat;
    zip_source_stat(out, &stat);
    Bytes bytes(stat.size);
    zip_source_open(out);
    zip_source_read(out, bytes.data(), bytes.size());
    zip_source_close(out);
    zip_source_free(out);
    for (const auto& [standIn, name] : standIns) bytes = Replaced(bytes, standIn, name);
    if (!utf8Flag) ClearUtf8Flags(bytes);
    return bytes;
}

namespace {

void Put16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put64(Bytes& out, uint64_t value) {
    PutU32(out, static_cast<uint32_t>(value));
    PutU32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Field32(uint64_t value, bool zip64) { return zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(value); }

// A local header or central record, up to its name: the fields both have.
void PutHeader(Bytes& out, const RawEntry& entry, uint64_t packedSize) {
    Put16(out, entry.zip64 ? 45 : 20);  // version needed
    Put16(out, entry.flags);
    Put16(out, entry.method);
    PutU32(out, 0);  // time and date
    PutU32(out, entry.crc);
    PutU32(out, Field32(packedSize, entry.zip64));
    PutU32(out, Field32(entry.size, entry.zip64));
    Put16(out, static_cast<uint32_t>(entry.name.size()));
}

}  // namespace

Bytes WriteArchive(const RawArchive& archive) {
    Bytes out;
    std::vector<uint64_t> local(archive.entries.size());
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const RawEntry& entry = archive.entries[i];
        if (entry.localOf >= 0) continue;
        local[i] = out.size();
        PutU32(out, 0x04034B50);
        PutHeader(out, entry, entry.packedSize.value_or(entry.packed.size()));
        Put16(out, entry.zip64 ? 20 : 0);
        PutBytes(out, entry.name);
        if (entry.zip64) {
            Put16(out, 1);
            Put16(out, 16);
            Put64(out, entry.size);
            Put64(out, entry.packedSize.value_or(entry.packed.size()));
        }
        out.insert(out.end(), entry.packed.begin(), entry.packed.end());
    }
    const uint64_t directory = out.size();
    for (size_t i = 0; i < archive.entries.size(); ++i) {
        const RawEntry& entry = archive.entries[i];
        const uint64_t packedSize = entry.packedSize.value_or(entry.packed.size());
        const uint64_t offset = entry.localOf >= 0 ? local[static_cast<size_t>(entry.localOf)] : local[i];
        PutU32(out, 0x02014B50);
        Put16(out, 45);  // version made by
        PutHeader(out, entry, packedSize);
        Put16(out, entry.zip64 ? 28 : 0);
        for (int zero = 0; zero < 3; ++zero) Put16(out, 0);  // comment length, disk, internal attributes
        PutU32(out, 0);                                      // external attributes
        PutU32(out, Field32(offset, entry.zip64));
        PutBytes(out, entry.name);
        if (entry.zip64) {
            Put16(out, 1);
            Put16(out, 24);
            Put64(out, entry.size);
            Put64(out, packedSize);
            Put64(out, offset);
        }
    }
    const uint64_t directorySize = out.size() - directory;
    const uint64_t count = archive.count.value_or(archive.entries.size());
    const uint64_t at = archive.directoryAt.value_or(directory);
    if (archive.zip64End) {
        const uint64_t record = out.size();
        PutU32(out, 0x06064B50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put64(out, 0);  // disks
        Put64(out, count);
        Put64(out, count);
        Put64(out, directorySize);
        Put64(out, at);
        PutU32(out, 0x07064B50);
        PutU32(out, 0);
        Put64(out, record);
        PutU32(out, 1);
    }
    PutU32(out, 0x06054B50);
    PutU32(out, 0);  // disks
    Put16(out, archive.zip64End ? 0xFFFF : static_cast<uint32_t>(count));
    Put16(out, archive.zip64End ? 0xFFFF : static_cast<uint32_t>(count));
    PutU32(out, Field32(directorySize, archive.zip64End));
    PutU32(out, Field32(at, archive.zip64End));
    Put16(out, 0);
    return out;
}

RawEntry PackedEntry(const std::string& name, const std::string& content, bool stored) {
    const Bytes zip = BuildArchive({{"x", content, stored}});
    const size_t data = 30 + 1 + static_cast<size_t>(zip[28] | zip[29] << 8);
    const size_t packedSize = WordAt(zip, 18);
    RawEntry entry;
    entry.name = name;
    entry.packed.assign(zip.begin() + static_cast<long>(data), zip.begin() + static_cast<long>(data + packedSize));
    entry.method = stored ? 0 : 8;
    entry.crc = WordAt(zip, 14);
    entry.size = content.size();
    return entry;
}

RawEntry ZerosEntry(const std::string& name, size_t mebibytes) {
    // Deflated a MiB at a time, each flushed to a byte's end: once the window holds zeros, every further MiB
    // packs to the same bytes, which stand for it again and again.
    const std::string mebibyte(size_t{1} << 20, '\0');
    z_stream stream = {};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    auto pack = [&stream](const std::string& in, int flush) {
        Bytes out(deflateBound(&stream, in.size()) + 16);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        stream.avail_in = static_cast<uInt>(in.size());
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        deflate(&stream, flush);
        out.resize(out.size() - stream.avail_out);
        return out;
    };
    RawEntry entry;
    entry.name = name;
    entry.packed = pack(mebibyte, Z_SYNC_FLUSH);
    const Bytes again = pack(mebibyte, Z_SYNC_FLUSH), end = pack("", Z_FINISH);
    deflateEnd(&stream);
    const uLong once = crc32(0, reinterpret_cast<const Bytef*>(mebibyte.data()), static_cast<uInt>(mebibyte.size()));
    uLong crc = once;
    for (size_t i = 1; i < mebibytes; ++i) {
        entry.packed.insert(entry.packed.end(), again.begin(), again.end());
        crc = crc32_combine(crc, once, static_cast<z_off_t>(mebibyte.size()));
    }
    entry.packed.insert(entry.packed.end(), end.begin(), end.end());
    entry.crc = static_cast<uint32_t>(crc);
    entry.size = uint64_t{mebibytes} << 20;
    return entry;
}

Bytes OverlappingBomb(unsigned entries, size_t zeros) {
    RawArchive archive;
    const RawEntry kernel = PackedEntry("", std::string(zeros, '\0'));
    archive.entries.resize(entries);
    for (unsigned i = 0; i < entries; ++i) archive.entries[i].name = "Items/Bomb/" + std::to_string(i) + ".Item.Gbx";
    // Backwards: each entry's packed size runs from its data to the kernel's end, and it inflates to the
    // local headers it quotes and the zeros.
    uint64_t behind = 0, quoted = 0;
    for (unsigned i = entries; i-- > 0;) {
        RawEntry& entry = archive.entries[i];
        if (i + 1 == entries) {
            entry.packed = kernel.packed;
        } else {
            const uint32_t header = static_cast<uint32_t>(30 + archive.entries[i + 1].name.size());
            entry.packed = {0, static_cast<uint8_t>(header), static_cast<uint8_t>(header >> 8),
                            static_cast<uint8_t>(~header), static_cast<uint8_t>(~header >> 8)};
            quoted += header;
        }
        entry.size = zeros + quoted;
        entry.packedSize = entry.packed.size() + behind;
        behind += 30 + entry.name.size() + entry.packed.size();
    }
    return WriteArchive(archive);
}

Bytes Replaced(Bytes bytes, const std::string& from, const std::string& to) {
    for (auto at = bytes.begin(); (at = std::search(at, bytes.end(), from.begin(), from.end())) != bytes.end();) {
        at = std::copy(to.begin(), to.end(), at);
    }
    return bytes;
}

const char* FindingCodeOf(const std::string& sentence) {
    static const std::pair<const char*, const char*> kCodes[] = {
        {kMissingFile, "missing"}, {kLocalPath, "local_path"}, {kUnsafePath, "unsafe_path"}, {kSharedName, "duplicate"},
        {kPackedOtherwise, "unsupported_method"}, {kEncrypted, "unsupported_method"}, {kTooLarge, "too_large"}};
    for (const auto& [text, code] : kCodes) {
        if (sentence == text) return code;
    }
    return "damaged";
}

const char* FindingDetailOf(const std::string& sentence) {
    static const std::pair<const char*, const char*> kDetails[] = {
        {kBadChecksum, "checksum"},          {kCorruptData, "corrupt_data"},       {kWrongSize, "wrong_size"},
        {kOverlapping, "overlapping_data"},  {kOutsideArchive, "outside_archive"}, {kDamagedArchive, "unreadable_archive"},
        {kPartialArchive, "partial_directory"}, {kCutShort, "cut_short"},         {kSpansDisks, "spans_disks"},
        {kTwoEndRecords, "two_end_records"}};
    for (const auto& [text, detail] : kDetails) {
        if (sentence == text) return detail;
    }
    return "";
}

bool ConcernsArchive(const std::string& sentence) {
    for (const char* archive : {kTooLarge, kDamagedArchive, kPartialArchive, kCutShort, kSpansDisks, kTwoEndRecords}) {
        if (sentence == archive) return true;
    }
    return false;
}

std::string Text(size_t size) {
    std::string text;
    for (unsigned i = 0; text.size() < size; ++i) text += "block " + std::to_string(i % 7) + "; ";
    text.resize(size);
    return text;
}

namespace {

// An archive of raw entries, each `packed` as it is.
Bytes Raw(std::vector<RawEntry> entries) {
    RawArchive archive;
    archive.entries = std::move(entries);
    return WriteArchive(archive);
}

// `count` records that all point at the local header and packed data of the first entry.
Bytes SharedKernel(unsigned count, RawEntry kernel) {
    RawArchive archive;
    for (unsigned i = 0; i < count; ++i) {
        RawEntry entry = kernel;
        entry.name = "Items/K/" + std::to_string(i) + ".Item.Gbx";
        if (i > 0) entry.localOf = 0;
        archive.entries.push_back(entry);
    }
    return WriteArchive(archive);
}

// The archive, whose end record has no comment yet, with `comment` as its comment.
Bytes WithComment(Bytes archive, const std::string& comment) {
    archive[archive.size() - 2] = static_cast<uint8_t>(comment.size());
    archive[archive.size() - 1] = static_cast<uint8_t>(comment.size() >> 8);
    archive.insert(archive.end(), comment.begin(), comment.end());
    return archive;
}

}  // namespace

std::vector<ArchiveCase> ArchiveCases() {
    std::vector<ArchiveEntry> many;
    for (int i = 0; i < 3000; ++i) many.push_back({"Items/Many/" + std::to_string(i) + ".Item.Gbx", "x"});
    std::vector<std::string> manyNames;
    for (const ArchiveEntry& entry : many) manyNames.push_back(entry.name);
    const Bytes intact = BuildArchive({{"Items/A.Item.Gbx", "intact data", true}, {"Items/B.Item.Gbx", Text(900)}});

    // Hostile archives: every entry of each is damaged or not read, and nothing of it is inflated twice.
    const unsigned kBombEntries = 1000;
    const Bytes bomb = OverlappingBomb(kBombEntries, 1 << 20);
    const RawEntry kernel = PackedEntry("", std::string(1 << 20, '\0'));
    RawEntry bzip2 = kernel;
    bzip2.method = 12;
    std::vector<std::string> bombNames, kernelNames;
    std::vector<ArchiveFinding> overlapping, shared;
    for (unsigned i = 0; i < kBombEntries; ++i) {
        bombNames.push_back("Items/Bomb/" + std::to_string(i) + ".Item.Gbx");
        kernelNames.push_back("Items/K/" + std::to_string(i) + ".Item.Gbx");
        overlapping.push_back({kOverlapping, bombNames.back()});
        shared.push_back({kOverlapping, kernelNames.back()});
    }
    RawEntry runsOn = PackedEntry("Items/RunsOn.Item.Gbx", Text(1200));
    runsOn.size = 1;  // its CRC is that of the 1,200 bytes
    RawEntry endsEarly = PackedEntry("Items/EndsEarly.Item.Gbx", Text(1200));
    endsEarly.size = 1300;
    RawEntry plain = PackedEntry("Items/Plain.Item.Gbx", "plain", true);
    RawEntry huge = PackedEntry("Items/Huge.Item.Gbx", "h", true);
    huge.packedSize = 4294967280u;
    RawEntry zip64Huge = huge;
    zip64Huge.name = "Items/Zip64.Item.Gbx";
    zip64Huge.zip64 = true;
    zip64Huge.packedSize = uint64_t{1} << 62;
    RawEntry zip64Too = zip64Huge;
    zip64Too.name = "Items/Zip64Too.Item.Gbx";
    RawEntry encrypted = PackedEntry("Items/Secret.Item.Gbx", "secret", true);
    encrypted.flags = 1;
    RawEntry packedOtherwise = PackedEntry("Items/Packed.Item.Gbx", Text(300));
    packedOtherwise.method = 12;  // bzip2
    RawArchive claims;
    claims.entries = {plain};
    claims.count = 65535;
    RawArchive lies;
    lies.entries = {plain};
    lies.zip64End = true;
    lies.directoryAt = 7;
    const std::string hidden("Blocks\0hidden.exe", 17);
    auto named = [](const char* name) { return PackedEntry(name, "n", true); };
    RawEntry garbled = PackedEntry("Items/Garbled.Item.Gbx", Text(400));
    garbled.packed[0] = 0xFF;  // a block of a type deflate does not have
    // A comment that holds an end record's signature, and one that ends in a whole end record of its own,
    // which names an empty directory at the archive's start.
    const std::string endRecord = std::string("PK\5\6") + std::string(18, '\0');
    Bytes otherDisk = intact;
    otherDisk[otherDisk.size() - 22 + 4] = 1;  // the number of this disk
    // Each of its files deflated on its own, sound to the last byte: the map holds a few hundred kB.
    const RawEntry gibibyte = ZerosEntry("", 1024);
    RawArchive bombInBody;
    bombInBody.entries = {PackedEntry("Items/Before.Item.Gbx", Text(900))};
    for (int i = 0; i < 3; ++i) {
        bombInBody.entries.push_back(gibibyte);
        bombInBody.entries.back().name = "Items/Zeros" + std::to_string(i) + ".Item.Gbx";
    }
    bombInBody.entries.push_back(PackedEntry("Items/After.Item.Gbx", "after"));
    bombInBody.entries.back().crc ^= 1;  // not checked: past what the map may cost

    return {
        {"deflated, stored and ZIP64",
         BuildArchive({{"Items/A/B.Item.Gbx", Text(3000)}, {"Items/A/B.Mesh.gbx", "mesh", true},
                       {"Items/C.Shape.gbx", Text(500), false, true}}),
         {"Items/A/B.Item.Gbx", "Items/A/B.Mesh.gbx", "Items/C.Shape.gbx"}, {}},
        {"a name flagged as UTF-8", BuildArchive({{"Items/Caf\xC3\xA9/\xE6\x9C\xA8.Item.Gbx", "c"}}),
         {"Items/Caf\xC3\xA9/\xE6\x9C\xA8.Item.Gbx"}, {}},
        {"names without the flag: UTF-8, or else CP437",
         BuildArchive({{"Items/Caf\xC3\xA9.Item.Gbx", "u"}, {"Items/\x82t\x82.Item.Gbx", "c"}}, false),
         {"Items/Caf\xC3\xA9.Item.Gbx", "Items/\xC3\xA9t\xC3\xA9.Item.Gbx"}, {}},
        {"names from a drive or a root",
         BuildArchive({{"E:/TrackmaniaUserData/Items/A.Item.Gbx", "a"}, {"/home/maker/B.Item.Gbx", "b"},
                       {"\\\\server\\C.Item.Gbx", "c"}, {"Items/D:E.Item.Gbx", "d"}}),
         {"E:/TrackmaniaUserData/Items/A.Item.Gbx", "/home/maker/B.Item.Gbx", "\\\\server\\C.Item.Gbx",
          "Items/D:E.Item.Gbx"},
         {{kLocalPath, "E:/TrackmaniaUserData/Items/A.Item.Gbx"},
          {kLocalPath, "/home/maker/B.Item.Gbx"}, {kLocalPath, "\\\\server\\C.Item.Gbx"}}},
        {"a name three entries share",
         BuildArchive({{"Items/A.Item.Gbx", "1"}, {"Items/B.Item.Gbx", "b"}, {"Items/A.Item.Gbx", "2"},
                       {"Items/A.Item.Gbx", "3"}}),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx", "Items/A.Item.Gbx", "Items/A.Item.Gbx"},
         {{kSharedName, "Items/A.Item.Gbx"}}},
        {"names shared as the game compares them",
         Raw({named("Blocks/Storm/S.Item.Gbx"), named("Items/X.Item.Gbx"), named("BLOCKS/STORM/s.item.gbx"),
              named("Items\\x.ITEM.gbx"), named("Blocks\\Storm\\S.Item.Gbx")}),
         {"Blocks/Storm/S.Item.Gbx", "Items/X.Item.Gbx", "BLOCKS/STORM/s.item.gbx", "Items\\x.ITEM.gbx",
          "Blocks\\Storm\\S.Item.Gbx"},
         {{kSharedName, "Blocks/Storm/S.Item.Gbx"}, {kSharedName, "Items/X.Item.Gbx"}}},
        {"names that leave their folder or hide what they are",
         Raw({named("../../../.bashrc"), named("Items/../../evil.Item.Gbx"), named(hidden.c_str()),
              PackedEntry(hidden, "z", true), named("Items\\..\\x"), named("Items/.. /x"), named("a\x1B[2Jb"),
              named("evil\xE2\x80\xAEgpj.exe"), named("Items/..A/B..C/x...y"), named("Items/./A.Item.Gbx"), named(""),
              named("Items/Zero\xE2\x80\x8BWidth.Item.Gbx"), named("\xEF\xBB\xBFItems/Bom.Item.Gbx"),
              named("Items/Joiner\xE2\x81\xA0.Item.Gbx"), named("Items/Soft\xC2\xAD.Item.Gbx"),
              named("Items/Caf\xC3\xA9 \xE6\x9C\xA8.Item.Gbx")}),
         {"../../../.bashrc", "Items/../../evil.Item.Gbx", "Blocks", hidden, "Items\\..\\x", "Items/.. /x",
          "a\x1B[2Jb", "evil\xE2\x80\xAEgpj.exe", "Items/..A/B..C/x...y", "Items/./A.Item.Gbx", "",
          "Items/Zero\xE2\x80\x8BWidth.Item.Gbx", "\xEF\xBB\xBFItems/Bom.Item.Gbx", "Items/Joiner\xE2\x81\xA0.Item.Gbx",
          "Items/Soft\xC2\xAD.Item.Gbx", "Items/Caf\xC3\xA9 \xE6\x9C\xA8.Item.Gbx"},
         {{kUnsafePath, "../../../.bashrc"}, {kUnsafePath, "Items/../../evil.Item.Gbx"},
          {kUnsafePath, hidden}, {kUnsafePath, "Items\\..\\x"},
          {kUnsafePath, "Items/.. /x"}, {kSharedName, "Items\\..\\x"}, {kUnsafePath, "a\x1B[2Jb"},
          {kUnsafePath, "evil\xE2\x80\xAEgpj.exe"}, {kUnsafePath, ""},
          {kUnsafePath, "Items/Zero\xE2\x80\x8BWidth.Item.Gbx"}, {kUnsafePath, "\xEF\xBB\xBFItems/Bom.Item.Gbx"},
          {kUnsafePath, "Items/Joiner\xE2\x81\xA0.Item.Gbx"}, {kUnsafePath, "Items/Soft\xC2\xAD.Item.Gbx"}}},
        {"an entry whose data fails its CRC", Replaced(intact, "intact", "broken"),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx"}, {{kBadChecksum, "Items/A.Item.Gbx"}}},
        {"a deflated entry whose data cannot be inflated", Raw({garbled, plain}),
         {"Items/Garbled.Item.Gbx", "Items/Plain.Item.Gbx"}, {{kCorruptData, "Items/Garbled.Item.Gbx"}}},
        {"files that would inflate past 64 times the map", WriteArchive(bombInBody),
         {"Items/Before.Item.Gbx", "Items/Zeros0.Item.Gbx", "Items/Zeros1.Item.Gbx", "Items/Zeros2.Item.Gbx",
          "Items/After.Item.Gbx"},
         {{kTooLarge, ""}}},
        {"a comment that holds an end record's signature", WithComment(intact, endRecord + "signed"),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx"}, {}},
        {"a comment that ends in another end record", WithComment(intact, "signed" + endRecord),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx"}, {{kTwoEndRecords, ""}}},
        {"an end record that says the archive spans several disks", otherDisk, {}, {{kSpansDisks, ""}}, 0, false},
        {"names Windows opens as one file",
         Raw({named("Items/A.Item.Gbx"), named("Items/A.Item.Gbx. "), named("Items/B. /C.Item.Gbx"),
              named("ITEMS/B/C.Item.Gbx"), named("Items/A.Item.Gbx.x")}),
         {"Items/A.Item.Gbx", "Items/A.Item.Gbx. ", "Items/B. /C.Item.Gbx", "ITEMS/B/C.Item.Gbx", "Items/A.Item.Gbx.x"},
         {{kSharedName, "Items/A.Item.Gbx"}, {kSharedName, "Items/B. /C.Item.Gbx"}}},
        {"entries that inflate to more bytes, or fewer, than they declare", Raw({runsOn, endsEarly, plain}),
         {"Items/RunsOn.Item.Gbx", "Items/EndsEarly.Item.Gbx", "Items/Plain.Item.Gbx"},
         {{kWrongSize, "Items/RunsOn.Item.Gbx"}, {kWrongSize, "Items/EndsEarly.Item.Gbx"}}},
        {"overlapping entries that each inflate one kernel", bomb, bombNames, overlapping, 0},
        {"records that all point at one kernel", SharedKernel(kBombEntries, kernel), kernelNames, shared, 0},
        {"records that all point at one bzip2 kernel", SharedKernel(kBombEntries, bzip2), kernelNames, shared, 0},
        {"packed sizes beyond the archive", Raw({huge, plain, zip64Huge, zip64Too}),
         {"Items/Huge.Item.Gbx", "Items/Plain.Item.Gbx", "Items/Zip64.Item.Gbx", "Items/Zip64Too.Item.Gbx"},
         {{kOutsideArchive, "Items/Huge.Item.Gbx"}, {kOutsideArchive, "Items/Zip64.Item.Gbx"},
          {kOutsideArchive, "Items/Zip64Too.Item.Gbx"}},
         plain.packed.size()},
        {"entries packed otherwise, or encrypted", Raw({encrypted, packedOtherwise}),
         {"Items/Secret.Item.Gbx", "Items/Packed.Item.Gbx"},
         {{kEncrypted, "Items/Secret.Item.Gbx"}, {kPackedOtherwise, "Items/Packed.Item.Gbx"}}},
        {"an end record that claims more entries than there are", WriteArchive(claims), {"Items/Plain.Item.Gbx"},
         {{kPartialArchive, ""}}},
        {"a ZIP64 end record that lies about where the directory is", WriteArchive(lies), {},
         {{kDamagedArchive, ""}}, 0, false},
        {"an archive without entries", WriteArchive({}), {}, {}},
        {"no archive at all", Bytes(300, 'z'), {}, {{kDamagedArchive, ""}}, 0, false},
        {"thousands of entries", BuildArchive(many), manyNames, {}},
    };
}

RunCase ArchiveMap(const ArchiveCase& archive) {
    ItemsChunk chunk;
    chunk.archive = archive.archive;
    chunk.embeddedSize = static_cast<uint32_t>(archive.archive.size());
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    WCHAR size[kSizeTextCapacity];
    FormatSize(chunk.embeddedSize, size);
    std::string report = kReportHeading + std::string("0") + kSizeLine;
    for (unsigned i = 0; size[i] != 0; ++i) report += static_cast<char>(size[i]);
    return {"archive: " + archive.name, BuildMap(layout), {Information(report)}, 3};
}

RunCase EmbeddedFindingsCase() {
    ItemsChunk chunk;
    chunk.items = {{"A\\B.Item.Gbx", 11, ""}, {"Gone\\G.Item.Gbx", 11, ""}};
    chunk.archive = BuildArchive({{"Items/A/B.Item.Gbx", "b", true}, {"E:/Maker/Items/A/B.Item.Gbx", "ee", true},
                                  {"Items/A/B.Item.Gbx", "b", true}});
    chunk.embeddedSize = static_cast<uint32_t>(chunk.archive.size());  // below 1,000: shown in bytes
    MapLayout layout;
    layout.body = BodyWithChunk(BuildItemsChunk(chunk));
    const std::string report = kReportHeading + std::string("2\r\nA\\B.Item.Gbx\r\nGone\\G.Item.Gbx") + kSizeLine +
                               std::to_string(chunk.embeddedSize) + " bytes";
    return {"embedded files with findings", BuildMap(layout), {Information(report)}, 3};
}
