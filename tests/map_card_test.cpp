// The map's card from its header's user data: what real headers hold, and what a stranger's header may hold
// instead, each read within its own bytes.
#include "map_card.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "map_file.h"

namespace {

std::string Text(const std::optional<std::string>& text) { return text ? *text : "-"; }
std::string Number(const std::optional<int64_t>& number) { return number ? std::to_string(*number) : "-"; }

// The card on one line, every field in order: "-" where it is empty.
std::string Summary(const MapCard& card) {
    if (!card.known) return "no card";
    std::string line = Text(card.uid) + "|" + Text(card.name) + "|" + Text(card.author) + "|" +
                       Text(card.authorNickname) + "|" + Text(card.authorZone) + "|" + Text(card.environment) + "|" +
                       Text(card.mood) + "|" + Text(card.title) + "|" + Text(card.mapType) + "|" + Number(card.laps) + "|";
    line += card.times ? Number(card.times->bronze) + "," + Number(card.times->silver) + "," + Number(card.times->gold) +
                         "," + Number(card.times->author) : "no times";
    for (const MapDependency& dependency : card.dependencies) line += "|" + dependency.file + " " + Text(dependency.url);
    return line + "|" + std::to_string(card.thumbnailSize);
}

// The card of MapXml's map, with its author's nickname.
std::string Current(const std::string& nickname) {
    return "uid1|$s$fffspm$f01Xmas|author1|" + nickname + "|World|Europe|Stadium|Day|TMStadium|TrackMania\\TM_Race|0|"
           "68000,55000,48000,45120";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

struct CardCase {
    std::string name;
    Bytes userData;
    std::string card;  // as Summary writes it
};

std::vector<CardCase> CardCases() {
    const std::string xml = MapXml("uid1", "$s$fffspm$f01Xmas", "author1");
    const Bytes jpeg = JpegShaped(300);
    const std::string nickname = "\xEF\xBB\xBF$h[author1]$f00Nick$h";
    const std::string current = Current("-");
    const Bytes sound = CardUserData(xml, jpeg, nickname);
    const auto chunks = [&](const Bytes& thumbnail) {
        return BuildUserData({{kXmlChunkId, XmlChunk(xml), {}}, {kThumbnailChunkId, thumbnail, {}}});
    };
    const std::string bomb = "<!DOCTYPE header [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>";
    const std::string megabyte(1 << 20, 'N');
    Bytes lyingXml = XmlChunk(xml);
    lyingXml = WithWord(lyingXml, 0, static_cast<uint32_t>(xml.size() + 1));
    const Bytes thumbnail = ThumbnailChunk(jpeg), author = AuthorChunk("l", "n", "z");
    const Bytes lyingJpeg = WithWord(thumbnail, 4, 299);
    return {
        {"a current map", sound, Current(nickname) + "|300"},
        {"an old map: challenge, no title, price, no times, no author chunk",
         BuildUserData({{0x24003005, XmlChunk("<header type=\"challenge\" version=\"5\"><ident uid=\"old\" name=\"A01\" "
                                              "author=\"Nadeo\"/><desc envir=\"Alpine\" mood=\"Sunrise\" type=\"Race\" "
                                              "nblaps=\"3\" price=\"1500\"/></header>"), {}}}),
         "old|A01|Nadeo|-|-|Alpine|Sunrise|-|Race|3|no times|0"},
        {"times of -1, dependencies with and without an address",
         CardUserData(Replaced(MapXml("u", "n", "a", "<deps><dep file=\"Skins\\A.zip\" url=\"http://x/A.zip\"/>"
                                                     "<dep file=\"Skins\\B.zip\"/><dep url=\"http://x/none\"/></deps>"),
                               "silver=\"55000\"", "silver=\"-1\"")),
         "u|n|a|-|World|Europe|Stadium|Day|TMStadium|TrackMania\\TM_Race|0|68000,-,48000,45120|Skins\\A.zip "
         "http://x/A.zip|Skins\\B.zip -|0"},
        {"escapes read, a name of a megabyte whole", CardUserData(MapXml("u&amp;&#36;", megabyte, "a")),
         "u&$|" + megabyte + "|a|-|World|Europe|Stadium|Day|TMStadium|TrackMania\\TM_Race|0|68000,55000,48000,45120|0"},
        {"bytes that are not UTF-8 kept as they are", CardUserData(MapXml("u", "\xFF\xC0name", "a")),
         "u|\xFF\xC0name|a|-|World|Europe|Stadium|Day|TMStadium|TrackMania\\TM_Race|0|68000,55000,48000,45120|0"},
        {"an entity it does not know left unread", CardUserData(MapXml("&ext;", "n", "a")),
         "&ext;|n|a|-|World|Europe|Stadium|Day|TMStadium|TrackMania\\TM_Race|0|68000,55000,48000,45120|0"},
        {"a thumbnail that is not a JPEG", chunks(ThumbnailChunk(Bytes(300, 0x42))), current + "|0"},
        {"a thumbnail whose size lies", chunks(lyingJpeg), current + "|0"},
        {"a thumbnail of version 0", chunks(WithWord(thumbnail, 0, 0)), current + "|0"},
        {"a thumbnail cut short", chunks(Bytes(thumbnail.begin(), thumbnail.begin() + 200)),
         current + "|0"},
        {"an author chunk cut short",
         BuildUserData({{kXmlChunkId, XmlChunk(xml), {}}, {kAuthorChunkId, Bytes(author.begin(), author.end() - 9), {}}}),
         current + "|0"},
        {"a DOCTYPE with entities refused", CardUserData(bomb + xml), "no card"},
        {"a DOCTYPE naming a file refused", CardUserData("<!DOCTYPE header SYSTEM \"/etc/passwd\">" + xml), "no card"},
        {"malformed XML", CardUserData(xml.substr(0, xml.size() - 3)), "no card"},
        {"XML without a header element", CardUserData("<map/>"), "no card"},
        {"an XML length past its chunk", BuildUserData({{kXmlChunkId, lyingXml, {}}}), "no card"},
        {"a count past the user data", WithWord(sound, 0, 0x10000000u), "no card"},
        {"a size past the user data", BuildUserData({{kXmlChunkId, XmlChunk(xml), static_cast<uint32_t>(xml.size() + 5)}}),
         "no card"},
        {"no XML chunk", BuildUserData({{kAuthorChunkId, author, {}}}), "no card"},
        {"a chunk of another class", BuildUserData({{0x0304F005, XmlChunk(xml), {}}}), "no card"},
        {"empty user data", {}, "no card"},
    };
}

TEST(MapCardTest, HeadersAsTheyAreAndAsAStrangerMayWriteThem) {
    for (const CardCase& c : CardCases()) {
        MapCard card = {};
        card.uid = "left over";
        ReadMapCard(c.userData.data(), c.userData.size(), kUserDataOffset, &card);
        EXPECT_EQ(Summary(card), c.card) << c.name;
        if (card.thumbnailSize == 0) continue;
        // The thumbnail's place in the file: the JPEG that the chunk holds.
        const size_t at = static_cast<size_t>(card.thumbnailOffset - kUserDataOffset);
        ASSERT_LE(at + card.thumbnailSize, c.userData.size()) << c.name;
        EXPECT_EQ(Bytes(c.userData.data() + at, c.userData.data() + at + card.thumbnailSize), JpegShaped(300)) << c.name;
    }
}

}  // namespace
