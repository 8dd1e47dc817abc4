// The embedded files as the archive holds them: names, sizes and order, against the archive's own central
// directory; and each finding, on archives made with libzip's own writer or written byte by byte.
#include "embedded_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive_file.h"

namespace {

using Findings = std::vector<ArchiveFinding>;

// Each central directory entry's sizes, straight from the archive's bytes (those of a ZIP64 extra field
// where it has one first): what the reader must give.
std::vector<std::pair<uint64_t, uint64_t>> CentralSizes(const Bytes& zip) {
    std::vector<std::pair<uint64_t, uint64_t>> sizes;
    const auto word64 = [&zip](size_t at) { return WordAt(zip, at) | uint64_t{WordAt(zip, at + 4)} << 32; };
    for (size_t at = 0; at + 46 <= zip.size(); ++at) {
        if (WordAt(zip, at) != 0x02014B50u) continue;
        const size_t name = static_cast<size_t>(zip[at + 28] | zip[at + 29] << 8);
        const bool zip64 = WordAt(zip, at + 20) == 0xFFFFFFFFu && zip[at + 46 + name] == 1;
        sizes.push_back(zip64 ? std::pair{word64(at + 50 + name), word64(at + 58 + name)}
                              : std::pair<uint64_t, uint64_t>{WordAt(zip, at + 24), WordAt(zip, at + 20)});
        at += 45 + name;
    }
    return sizes;
}

// Each finding by its sentence, written apart from the product's.
Findings FindingsOf(const EmbeddedFiles& files) {
    Findings found;
    for (const Finding& finding : files.findings) found.push_back({FindingSentence(finding.kind), finding.name});
    return found;
}

TEST(EmbeddedFilesTest, ArchivesAsTheyHoldTheirFiles) {
    for (const ArchiveCase& c : ArchiveCases()) {
        EmbeddedFiles files = {};
        // As in a map of the archive's size, whose budget is the least there is.
        EXPECT_EQ(ReadArchive(c.archive.data(), c.archive.size(), InflateBudget(c.archive.size()), &files), c.listed)
            << c.name;
        std::vector<std::string> names;
        std::vector<std::pair<uint64_t, uint64_t>> sizes;
        uint64_t packed = 0;
        for (const EmbeddedFile& file : files.files) {
            names.push_back(file.name);
            sizes.push_back({file.size, file.packedSize});
            packed += file.packedSize;
        }
        EXPECT_EQ(names, c.names) << c.name;
        if (!c.names.empty()) {
            EXPECT_EQ(sizes, CentralSizes(c.archive)) << c.name;
        }
        EXPECT_EQ(files.packedTotal, c.packedTotal.value_or(packed)) << c.name;
        EXPECT_LE(files.packedTotal, c.archive.size()) << c.name;
        EXPECT_EQ(FindingsOf(files), c.findings) << c.name;
    }
}

// Files are inflated in the archive's order while the sizes they declare fit the budget, to the byte; from
// the first that does not on, none is, however small, and the archive has one finding for it. Files that
// are not inflated anyway (packed otherwise, overlapping) take nothing of it.
TEST(EmbeddedFilesTest, WhatAMapMayInflateTo) {
    RawEntry broken = PackedEntry("Items/Broken.Item.Gbx", "broken");
    broken.crc ^= 1;
    RawEntry bzip2 = PackedEntry("Items/Bzip2.Item.Gbx", Text(5000));
    bzip2.method = 12;
    RawArchive archive;
    archive.entries = {PackedEntry("Items/A.Item.Gbx", Text(1000)), bzip2, PackedEntry("Items/B.Item.Gbx", Text(1000)),
                       broken, PackedEntry("Items/C.Item.Gbx", "c")};
    const Bytes zip = WriteArchive(archive);
    const Findings damage = {{kPackedOtherwise, "Items/Bzip2.Item.Gbx"}, {kBadChecksum, "Items/Broken.Item.Gbx"}};
    const struct {
        uint64_t budget;
        Findings findings;
    } cases[] = {
        {2007, damage},
        {2006, {damage[0], damage[1], {kTooLarge, ""}}},
        {2005, {damage[0], {kTooLarge, ""}}},
        {0, {damage[0], {kTooLarge, ""}}},
    };
    for (const auto& c : cases) {
        EmbeddedFiles files = {};
        EXPECT_TRUE(ReadArchive(zip.data(), zip.size(), c.budget, &files)) << c.budget;
        EXPECT_EQ(files.files.size(), 5u) << c.budget;
        EXPECT_EQ(FindingsOf(files), c.findings) << c.budget;
    }
    // 64 times the file, and never less than 64 MiB.
    EXPECT_EQ(InflateBudget(0), uint64_t{64} << 20);
    EXPECT_EQ(InflateBudget(1 << 20), uint64_t{64} << 20);
    EXPECT_EQ(InflateBudget((1 << 20) + 1), (uint64_t{1} << 26) + 64);
    EXPECT_EQ(InflateBudget(7336960), uint64_t{7336960} * 64);
}

// Cut anywhere, an archive is damaged, and said to be: never read past, never a crash.
TEST(EmbeddedFilesTest, ArchivesCutAnywhereAreDamaged) {
    const Bytes archive = BuildArchive({{"Items/A.Item.Gbx", Text(2000)}, {"Items/B.Item.Gbx", "stored", true}});
    for (size_t length = 1; length < archive.size(); ++length) {
        const Bytes cut(archive.begin(), archive.begin() + static_cast<long>(length));
        EmbeddedFiles files = {};
        ReadArchive(cut.data(), cut.size(), InflateBudget(cut.size()), &files);
        EXPECT_FALSE(files.findings.empty()) << length;
        for (const Finding& finding : files.findings) EXPECT_NE(FindingDetailOf(FindingSentence(finding.kind)), std::string()) << length;
    }
}

// A listed item's file is looked for where the game looks for it; the archive must be in the body whole.
TEST(EmbeddedFilesTest, ListedItemsAndTheirFiles) {
    const Bytes archive = BuildArchive({{"Items/A/B.Item.Gbx", "1"}, {"blocks/signs/s.item.gbx", "2"},
                                        {"ClubItems/123/Deco/X.Item.Gbx", "3"}});
    const std::vector<Item> items = {{"A\\B.Item.Gbx", 11, ""},       {"Signs\\S.Item.Gbx", 11, ""},
                                     {"club:123\\Deco\\X.Item.Gbx", 11, ""}, {"Gone\\G.Item.Gbx", 11, ""},
                                     {"Gone\\G.Item.Gbx", 11, ""},    {"club:9\\Y.Item.Gbx", 11, ""},
                                     {"", 11, ""}};
    const Findings missing = {{kMissingFile, "Gone\\G.Item.Gbx"}, {kMissingFile, "club:9\\Y.Item.Gbx"}};
    struct Case {
        const char* name;
        Bytes archive;
        uint32_t embeddedSize;
        Findings findings;
    };
    const Case cases[] = {
        {"the archive whole", archive, static_cast<uint32_t>(archive.size()), missing},
        {"no archive", {}, 0,
         {{kMissingFile, "A\\B.Item.Gbx"}, {kMissingFile, "Signs\\S.Item.Gbx"},
          {kMissingFile, "club:123\\Deco\\X.Item.Gbx"}, missing[0], missing[1]}},
        {"an archive that cannot be read", Bytes(40, 'z'), 40, {{kDamagedArchive, ""}}},
        {"an archive cut short by the body's end", archive, 100000, {{kCutShort, ""}}},
    };
    for (const Case& c : cases) {
        ItemsChunk chunk;
        chunk.items = items;
        chunk.archive = c.archive;
        chunk.embeddedSize = c.embeddedSize;
        const Bytes body = BodyWithChunk(BuildItemsChunk(chunk));
        ItemsReport report;
        ReadItemsReport(body.data(), static_cast<uint32_t>(body.size()), &report);
        ASSERT_EQ(report.failure, MapFailure::kNone) << c.name;
        EmbeddedFiles files;
        ReadEmbeddedFiles(&report, InflateBudget(body.size()), &files);
        EXPECT_EQ(FindingsOf(files), c.findings) << c.name;
    }
}

}  // namespace
