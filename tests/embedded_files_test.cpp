// The embedded files as the archive holds them: names, sizes and order, against the archive's own central
// directory; and each finding, on archives made with libzip's own writer.
#include "embedded_files.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive_file.h"

namespace {

using Findings = std::vector<std::pair<FindingKind, std::string>>;

// Text that deflates, of `size` bytes.
std::string Text(size_t size) {
    std::string text;
    for (unsigned i = 0; text.size() < size; ++i) text += "block " + std::to_string(i % 7) + "; ";
    text.resize(size);
    return text;
}

// Each central directory entry's sizes, straight from the archive's bytes: what the reader must give.
std::vector<std::pair<uint64_t, uint64_t>> CentralSizes(const Bytes& zip) {
    std::vector<std::pair<uint64_t, uint64_t>> sizes;
    for (size_t at = 0; at + 46 <= zip.size(); ++at) {
        if (WordAt(zip, at) != 0x02014B50u) continue;
        sizes.push_back({WordAt(zip, at + 24), WordAt(zip, at + 20)});
        at += 45 + static_cast<size_t>(zip[at + 28] | zip[at + 29] << 8);
    }
    return sizes;
}

Findings FindingsOf(const EmbeddedFiles& files) {
    Findings found;
    for (const Finding& finding : files.findings) found.push_back({finding.kind, finding.name});
    return found;
}

TEST(EmbeddedFilesTest, ArchivesAsTheyHoldTheirFiles) {
    std::vector<ArchiveEntry> many;
    for (int i = 0; i < 3000; ++i) many.push_back({"Items/Many/" + std::to_string(i) + ".Item.Gbx", "x"});
    std::vector<std::string> manyNames;
    for (const ArchiveEntry& entry : many) manyNames.push_back(entry.name);
    const Bytes intact = BuildArchive({{"Items/A.Item.Gbx", "intact data", true}, {"Items/B.Item.Gbx", Text(900)}});
    struct Case {
        const char* name;
        Bytes archive;
        std::vector<std::string> names;  // as read, UTF-8
        Findings findings;
    };
    const Case cases[] = {
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
         {{FindingKind::kLocalPath, "E:/TrackmaniaUserData/Items/A.Item.Gbx"},
          {FindingKind::kLocalPath, "/home/maker/B.Item.Gbx"}, {FindingKind::kLocalPath, "\\\\server\\C.Item.Gbx"}}},
        {"a name three entries share",
         BuildArchive({{"Items/A.Item.Gbx", "1"}, {"Items/B.Item.Gbx", "b"}, {"Items/A.Item.Gbx", "2"},
                       {"Items/A.Item.Gbx", "3"}}),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx", "Items/A.Item.Gbx", "Items/A.Item.Gbx"},
         {{FindingKind::kDuplicate, "Items/A.Item.Gbx"}}},
        {"an entry whose data fails its CRC", Replaced(intact, "intact", "broken"),
         {"Items/A.Item.Gbx", "Items/B.Item.Gbx"}, {{FindingKind::kDamagedFile, "Items/A.Item.Gbx"}}},
        {"no archive at all", Bytes(300, 'z'), {}, {{FindingKind::kDamagedArchive, ""}}},
        {"thousands of entries", BuildArchive(many), manyNames, {}},
    };
    for (const Case& c : cases) {
        EmbeddedFiles files = {};
        ReadArchive(c.archive.data(), c.archive.size(), &files);
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
        EXPECT_EQ(files.packedTotal, packed) << c.name;
        EXPECT_EQ(FindingsOf(files), c.findings) << c.name;
    }
}

// Cut anywhere, an archive is damaged, and said to be: never read past, never a crash.
TEST(EmbeddedFilesTest, ArchivesCutAnywhereAreDamaged) {
    const Bytes archive = BuildArchive({{"Items/A.Item.Gbx", Text(2000)}, {"Items/B.Item.Gbx", "stored", true}});
    for (size_t length = 1; length < archive.size(); ++length) {
        const Bytes cut(archive.begin(), archive.begin() + static_cast<long>(length));
        EmbeddedFiles files = {};
        ReadArchive(cut.data(), cut.size(), &files);
        EXPECT_FALSE(files.findings.empty()) << length;
        for (const Finding& finding : files.findings) {
            EXPECT_TRUE(finding.kind == FindingKind::kDamagedArchive || finding.kind == FindingKind::kDamagedFile)
                << length;
        }
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
    const Findings missing = {{FindingKind::kMissing, "Gone\\G.Item.Gbx"}, {FindingKind::kMissing, "club:9\\Y.Item.Gbx"}};
    struct Case {
        const char* name;
        Bytes archive;
        uint32_t embeddedSize;
        Findings findings;
    };
    const Case cases[] = {
        {"the archive whole", archive, static_cast<uint32_t>(archive.size()), missing},
        {"no archive", {}, 0,
         {{FindingKind::kMissing, "A\\B.Item.Gbx"}, {FindingKind::kMissing, "Signs\\S.Item.Gbx"},
          {FindingKind::kMissing, "club:123\\Deco\\X.Item.Gbx"}, missing[0], missing[1]}},
        {"an archive that cannot be read", Bytes(40, 'z'), 40, {{FindingKind::kDamagedArchive, ""}}},
        {"an archive cut short by the body's end", archive, 100000, {{FindingKind::kCutShort, ""}}},
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
        ReadEmbeddedFiles(&report, &files);
        EXPECT_EQ(FindingsOf(files), c.findings) << c.name;
    }
}

}  // namespace
