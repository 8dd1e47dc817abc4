#include "run_cases.h"

#include <functional>

namespace {

Bytes Cut(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

MapLayout LayoutWithBody(const Bytes& body) {
    MapLayout layout;
    layout.userData = Bytes(10, 0x11);
    layout.body = body;
    return layout;
}

Bytes MapWithBody(const Bytes& body) { return BuildMap(LayoutWithBody(body)); }

Bytes MapWithChunk(const ItemsChunk& chunk) { return MapWithBody(BodyWithChunk(BuildItemsChunk(chunk))); }

ItemsChunk TwoItems() {
    ItemsChunk chunk;
    chunk.items = {{"Items\\A.Item.Gbx", 10003, "Ann"}, {"Items\\B.Item.Gbx", 10003, ""}};
    chunk.embeddedSize = 2500;
    return chunk;
}
const std::string kTwoItemsReport =
    kReportHeading + std::string("2\r\nItems\\A.Item.Gbx (Ann)\r\nItems\\B.Item.Gbx") + kSizeLine + "2.5 kB";

// The items chunk up to its item count, followed by `items` as they are.
Bytes ChunkWithRawItems(uint32_t version, uint32_t count, const Bytes& items) {
    Bytes chunk = {0x54, 0x30, 0x04, 0x03, 'P', 'I', 'K', 'S'};
    PutU32(chunk, 1);  // any size from 1 to the body's passes
    PutU32(chunk, version);
    PutU32(chunk, 0);
    PutU32(chunk, 0);
    PutU32(chunk, count);
    chunk.insert(chunk.end(), items.begin(), items.end());
    return chunk;
}

std::vector<RunCase> LoaderCases() {
    MapLayout layout = LayoutWithBody(BodyWithChunk(BuildItemsChunk(TwoItems())));
    const Bytes good = BuildMap(layout);
    const HeaderOffsets at = OffsetsOf(layout);
    auto with = [&](const std::function<void(MapLayout&)>& change) {
        MapLayout changed = layout;
        change(changed);
        return BuildMap(changed);
    };

    std::vector<RunCase> cases = {
        {"empty file", {}, {Warning(kFormatError)}, 1},
        {"two bytes", Cut(good, 2), {Warning(kFormatError)}, 1},
        {"wrong magic", with([](MapLayout& s) { s.magic = "GBx"; }), {Warning(kFormatError)}, 1},
        {"magic alone", Cut(good, 3), {Warning(kReadError)}, 1},
        {"format bytes cut", Cut(good, 8), {Warning(kReadError)}, 1},
        {"uncompressed body", with([](MapLayout& s) { s.format[2] = 'U'; }), {Warning(kUncompressed)}, 1},
        {"uncompressed, nothing behind", Cut(with([](MapLayout& s) { s.format[2] = 'U'; }), 9),
         {Warning(kUncompressed)}, 1},
        {"class id cut", Cut(good, 12), {Warning(kReadError)}, 1},
        {"unknown class", with([](MapLayout& s) { s.classId = 0x03043001; }), {Warning(kFormatError)}, 1},
        {"user data size cut", Cut(good, 16), {Warning(kReadError)}, 1},
        {"seek before the start", WithWord(good, at.userDataSize, 0xFFFFFF00u), {Warning(kReadError)}, 1},
        {"body size cut", Cut(good, at.bodySize + 2), {Warning(kReadError)}, 1},
        {"compressed size cut", Cut(good, at.compressedSize + 3), {Warning(kReadError)}, 1},
        {"compressed size beyond the file", WithWord(good, at.compressedSize, static_cast<uint32_t>(good.size() + 1)),
         {Warning(kReadError)}, 1},
        {"compressed size 0", WithWord(good, at.compressedSize, 0), {Warning(kOutOfMemory)}, 1},
        {"body size 0", WithWord(good, at.bodySize, 0), {Warning(kOutOfMemory)}, 2},
        {"compressed size equals the file size", WithWord(good, at.compressedSize, static_cast<uint32_t>(good.size())),
         {Warning(kReadError)}, 3},
        {"compressed body cut", Cut(good, good.size() - 1), {Warning(kReadError)}, 3},
        {"body size one too large", with([](MapLayout& s) { s.bodySize = static_cast<uint32_t>(s.body.size() + 1); }),
         {Warning(kDecompressError)}, 3},
        {"body size one too small", with([](MapLayout& s) { s.bodySize = static_cast<uint32_t>(s.body.size() - 1); }),
         {Warning(kDecompressError)}, 3},
        {"garbage inside the compressed size", with([](MapLayout& s) {
             Bytes compressed = Compress(s.body);
             compressed.push_back(0);
             s.compressedBody = compressed;
         }),
         {Warning(kDecompressError)}, 3},
        {"not LZO at all", with([](MapLayout& s) { s.compressedBody = Bytes(64, 0xEE); }),
         {Warning(kDecompressError)}, 3},
        {"bytes behind the compressed body are ignored", with([](MapLayout& s) { s.trailing = Bytes(7, 0xAB); }),
         {Information(kTwoItemsReport)}, 3},
        {"format version and format bytes not examined", with([](MapLayout& s) {
             s.formatVersion = 0xFFFF;
             s.format[0] = 0;
             s.format[1] = 'U';
             s.format[2] = 'C';
             s.format[3] = 'U';
         }),
         {Information(kTwoItemsReport)}, 3},
    };
    for (uint32_t classId : {0x03043000u, 0x24003000u, 0x21080000u}) {
        cases.push_back({"class " + std::to_string(classId), with([=](MapLayout& s) { s.classId = classId; }),
                         {Information(kTwoItemsReport)}, 3});
    }
    return cases;
}

std::vector<RunCase> ReportCases() {
    const Message readError = Warning(kReadError);
    const Message versionWarning = Warning(kVersionWarning);
    auto chunkWith = [](const std::function<void(ItemsChunk&)>& change) {
        ItemsChunk chunk = TwoItems();
        change(chunk);
        return MapWithChunk(chunk);
    };
    const Bytes chunk = BuildItemsChunk(TwoItems());
    const Bytes decoy = {0x54, 0x30, 0x04, 0x03, 'X', 'I', 'K', 'S'};
    Bytes decoyFirst = decoy;
    decoyFirst.insert(decoyFirst.end(), chunk.begin(), chunk.end());

    Bytes badVersion;
    PutU32(badVersion, 2);
    Bytes tooLong;
    PutU32(tooLong, 3);
    PutU32(tooLong, 0x40000000);
    PutU32(tooLong, 65535);

    // Headers that tell which map it is: the message box reads none of it, every other door its card.
    const auto withHeader = [](const Bytes& userData, const Bytes& body) {
        MapLayout layout = LayoutWithBody(body);
        layout.userData = userData;
        return BuildMap(layout);
    };
    const Bytes twoItems = BodyWithChunk(BuildItemsChunk(TwoItems()));
    const std::string deps = "<deps><dep file=\"Skins\\Any\\Snow.zip\" url=\"https://maps.example/Snow.zip\"/>"
                             "<dep file=\"Media\\Sign.png\"/></deps>";
    const Bytes carded = withHeader(CardUserData(MapXml("CaseUid7Xmas0000000000000", "$s$fffspm$f01Xmas$z $<$o$i$08fSnow$> $$5",
                                                        "case_author", deps),
                                                 UpsideDownJpeg(), "\xEF\xBB\xBF$h[case_author]$f00Nick$h"),
                                    twoItems);
    const std::string hostileXml = MapXml("CaseUidHostile", "&lt;img src=x onerror=alert(1)&gt;$l[javascript:alert(2)]link$l",
                                          "&lt;b&gt;", "<deps><dep file=\"&lt;script&gt;\" url=\"javascript:alert(3)\"/></deps>");

    std::vector<RunCase> cases = {
        {"report", MapWithChunk(TwoItems()), {Information(kTwoItemsReport)}, 3},
        {"a current map's header", carded, {Information(kTwoItemsReport)}, 3},
        {"the same map under another name", carded, {Information(kTwoItemsReport)}, 3, "a current map's header"},
        {"an old map's header, its body failing",
         withHeader(BuildUserData({{0x24003005, XmlChunk("<header type=\"challenge\" version=\"5\"><ident uid=\"CaseUidOld\" "
                                                         "name=\"A01-Race\" author=\"Nadeo\"/><desc envir=\"Alpine\" "
                                                         "mood=\"Sunrise\" type=\"Race\" nblaps=\"3\" price=\"1500\"/>"
                                                         "<times bronze=\"-1\" silver=\"-1\" gold=\"-1\" authortime=\"-1\"/>"
                                                         "</header>"), {}}}),
                    Bytes(64, 7)),
         {Warning(kNoChunk)}, 3},
        {"a stranger's header: markup and live addresses",
         withHeader(CardUserData(hostileXml, JpegShaped(200)), twoItems), {Information(kTwoItemsReport)}, 3},
        {"a header whose XML declares entities",
         withHeader(CardUserData("<!DOCTYPE header [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
                                 MapXml("&b;", "n", "a")), twoItems),
         {Information(kTwoItemsReport)}, 3},
        {"no items chunk", MapWithBody(Bytes(64, 7)), {Warning(kNoChunk)}, 3},
        {"decoy alone", MapWithBody(BodyWithChunk(decoy)), {Warning(kNoChunk)}, 3},
        {"decoy before the chunk", MapWithBody(BodyWithChunk(decoyFirst)), {Information(kTwoItemsReport)}, 3},
        {"chunk size 0", chunkWith([](ItemsChunk& c) { c.chunkSize = 0; }), {readError}, 3},
        {"chunk size above the body size", chunkWith([](ItemsChunk& c) { c.chunkSize = 100000; }), {readError}, 3},
        {"item count too large", chunkWith([](ItemsChunk& c) { c.itemCount = 0x10000001; }), {readError}, 3},
        {"item count beyond the body", chunkWith([](ItemsChunk& c) { c.itemCount = 0x10000000; }), {readError}, 3},
        {"version 2, then the report", chunkWith([](ItemsChunk& c) { c.version = 2; }),
         {versionWarning, Information(kTwoItemsReport)}, 3},
        {"chunk size checked before the version",
         chunkWith([](ItemsChunk& c) {
             c.version = 0;
             c.chunkSize = 0x7FFFFFFF;
         }),
         {readError}, 3},
        {"version 0, then a failing string", MapWithBody(ChunkWithRawItems(0, 1, badVersion)),
         {versionWarning, readError}, 3},
        {"lookback version below 3", MapWithBody(BodyWithChunk(ChunkWithRawItems(1, 1, badVersion))), {readError}, 3},
        {"string of 65535 bytes", MapWithBody(BodyWithChunk(ChunkWithRawItems(1, 1, tooLong))), {readError}, 3},
        {"no items, no size", chunkWith([](ItemsChunk& c) {
             c.items.clear();
             c.embeddedSize = 0;
         }),
         {Information(kReportHeading + std::string("0"))}, 3},
        {"no items, a size", chunkWith([](ItemsChunk& c) {
             c.items.clear();
             c.embeddedSize = 1;
         }),
         {Information(kReportHeading + std::string("0") + kSizeLine + "1 bytes")}, 3},
        {"empty identifier", chunkWith([](ItemsChunk& c) {
             c.items = {{"", 11, "Ann"}, {"", 11, ""}};
             c.embeddedSize = 0;
         }),
         {Information(kReportHeading + std::string("2\r\n (Ann)\r\n"))}, 3},
        {"names, collections and back-references",
         chunkWith([](ItemsChunk& c) {
             c.items = {{"Caf\xC3\xA9.Item.Gbx", 11, "Zo\xC3\xAB"},
                        {"\xE6\x9C\xA8.Item.Gbx", 299, "\xF0\x9F\x8C\xB2"},
                        {"Caf\xC3\xA9.Item.Gbx", 42, "Zo\xC3\xAB"}};
             c.embeddedSize = 4294967295u;
         }),
         {Information(kReportHeading + std::string("3\r\nCaf\xC3\xA9.Item.Gbx (Zo\xC3\xAB)\r\n\xE6\x9C\xA8.Item.Gbx "
                                                   "(\xF0\x9F\x8C\xB2)\r\nCaf\xC3\xA9.Item.Gbx (Zo\xC3\xAB)") +
                      kSizeLine + "4.3 GB")},
         3},
        {"malformed UTF-8 in names", chunkWith([](ItemsChunk& c) {
             c.items = {{"A\xED\xA0\x80X", 11, "A\xE0\x80\x80X"},
                        {"A\xF0\x80\x80\x80X", 11, "A\xF4\x90\x80\x80X"},
                        {"A\xED\xA0X", 11, ""}};
         }),
         {Information(kReportHeading + std::string("3\r\nA\xEF\xBF\xBD\xEF\xBF\xBDX (A\xEF\xBF\xBD\xEF\xBF\xBDX)\r\n"
                                                   "A\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDX (A\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDX)\r\n"
                                                   "A\xEF\xBF\xBDX") +
                      kSizeLine + "2.5 kB")},
         3},
        // Shown as characters by every runner, never obeyed: the page must not draw it as markup.
        {"markup in names", chunkWith([](ItemsChunk& c) {
             c.items = {{"<img src=x onerror=alert(1)>", 11, "<script>alert(2)</script>"}};
         }),
         {Information(kReportHeading + std::string("1\r\n<img src=x onerror=alert(1)> (<script>alert(2)</script>)") +
                      kSizeLine + "2.5 kB")},
         3},
        // Shown as they are in a box, each on its line elsewhere.
        {"names that would break their line", chunkWith([](ItemsChunk& c) {
             c.items = {{"line\nbreak", 11, "tab\there"}, {"\rreturn\x1B[2J", 11, "c1\xC2\x9B"},
                        {"bidi\xE2\x80\xAE" "desrever", 11, "lines\xE2\x80\xA8para\xE2\x80\xA9"}};
         }),
         {Information(kReportHeading + std::string("3\r\nline\nbreak (tab\there)\r\n\rreturn\x1B[2J (c1\xC2\x9B)\r\n"
                                                   "bidi\xE2\x80\xAE" "desrever (lines\xE2\x80\xA8para\xE2\x80\xA9)") +
                      kSizeLine + "2.5 kB")},
         3},
        // A lead byte short of its continuation bytes may take the terminator into its U+FFFD: the U+FFFD stays.
        {"names ending inside a sequence", chunkWith([](ItemsChunk& c) { c.items = {{"B\xF0\x9F", 11, "C\xE6"}}; }),
         {Information(kReportHeading + std::string("1\r\nB\xEF\xBF\xBD (C\xEF\xBF\xBD)") + kSizeLine + "2.5 kB")}, 3},
    };
    // Words of the chunk header missing at the end of the body.
    for (size_t words = 0; words <= 4; ++words) {
        Bytes cut = {0x54, 0x30, 0x04, 0x03, 'P', 'I', 'K', 'S'};
        for (size_t i = 0; i < words; ++i) PutU32(cut, i < 2 ? 1 : 0);
        cases.push_back({"chunk cut after " + std::to_string(words) + " words", MapWithBody(cut), {readError}, 3});
    }
    Bytes noSize = ChunkWithRawItems(1, 0, {});
    cases.push_back({"embedded size missing", MapWithBody(noSize), {readError}, 3});
    return cases;
}

// A report longer than the 8191 characters a message box holds: the box cuts it there, without an error.
RunCase LongReport() {
    ItemsChunk chunk;
    for (int i = 0; i < 400; ++i) chunk.items.push_back({"Items\\Block" + std::to_string(i) + ".Item.Gbx", 11, ""});
    chunk.embeddedSize = 5;
    std::string report = kReportHeading + std::string("400");
    for (const Item& item : chunk.items) report += "\r\n" + item.identifier;
    report += kSizeLine + std::string("5 bytes");
    return {"report longer than a box", MapWithChunk(chunk), {Information(report)}, 3};
}

}  // namespace

std::string SampleReport() {
    return kReportHeading + std::string("4\r\n"
                                        "Blocks\\Ramp_Caf\xC3\xA9.Item.Gbx (Zo\xC3\xAB)\r\n"
                                        "Deco\\Sakura\xE6\x9C\xA8.Item.Gbx (Hana)\r\n"
                                        "Signs\\Start.Item.Gbx\r\n"
                                        "Blocks\\Loop.Item.Gbx (Zo\xC3\xAB)") +
           kSizeLine + "1.4 kB";
}

std::vector<Message> DoorMessages(const std::vector<Message>& messages) {
    std::vector<Message> shown = messages;
    for (Message& m : shown) {
        if (m == Warning(kNoChunk)) m = Information(kReportHeading + std::string("0"));
    }
    return shown;
}

std::vector<Message> BoxMessages(const std::vector<Message>& messages) {
    std::vector<Message> shown = messages;
    for (Message& m : shown) {
        size_t units = 0, at = 0;
        for (; at < m.text.size(); ++at) {
            if ((m.text[at] & 0xC0) == 0x80) continue;
            units += (m.text[at] & 0xF8) == 0xF0 ? 2 : 1;
            if (units > 8191) break;
        }
        m.text.resize(at);
    }
    return shown;
}

uint32_t CodePointAt(const std::string& text, size_t at, size_t* length) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    *length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t c = *length == 1 ? lead : lead & (0x7F >> *length);
    for (size_t k = 1; k < *length; ++k) c = c << 6 | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return c;
}

std::string LineSafe(const std::string& text) {
    std::string safe;
    for (size_t at = 0; at < text.size();) {
        size_t length = 0;
        const uint32_t c = CodePointAt(text, at, &length);
        const bool lineBreak = text.compare(at, 2, "\r\n") == 0;
        const bool unsafe = c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
                            (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
        safe += lineBreak ? "\r\n" : unsafe ? "\xEF\xBF\xBD" : text.substr(at, length);
        at += lineBreak ? 2 : length;
    }
    return safe;
}

std::vector<RunCase> MapRunCases() {
    std::vector<RunCase> cases = LoaderCases();
    for (RunCase& c : ReportCases()) cases.push_back(std::move(c));
    cases.push_back(LongReport());
    cases.push_back({"sample", SampleMap(), {Information(SampleReport())}, 3});
    return cases;
}
