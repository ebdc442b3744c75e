#include "metadata/date_text.h"
#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

// A reader working through one large file: the buffer's memory never passes
// its cap (no doubling past it on a small read), and a Stop breaks a long read
// off within a piece or two.
TEST(ReadViewLimits, TheBufferKeepsItsCapAndALongReadAnswersAStop) {
    const std::string bytes(4 << 20, 'z');
    constexpr std::uint64_t cap = 1 << 20;
    MemoryStream stream(bytes);
    ReadView view(stream, {}, static_cast<std::int64_t>(bytes.size()), cap);
    view.Replay(bytes.substr(0, 100));
    for (const std::uint64_t n : {std::uint64_t{600 << 10}, std::uint64_t{300 << 10}, std::uint64_t{100 << 10}}) {
        ASSERT_TRUE(view.Read(n));
        EXPECT_LE(view.BufferCapacity(), cap);
    }
    while (view.BufferSize() < cap) ASSERT_TRUE(view.Read(1));
    EXPECT_LE(view.BufferCapacity(), cap) << "small reads up to the cap";
    EXPECT_FALSE(view.Read(1)) << "past the cap";

    MemoryStream big(bytes);
    int pumps = 0;
    ReadView stopping(big, [&pumps] { ++pumps; }, static_cast<std::int64_t>(bytes.size()), ReadView::kDefaultMaxBuffer,
                      [&pumps] { return pumps > 0; });
    const FsStatus read = stopping.Read(bytes.size());
    EXPECT_EQ(read.error, kReadStoppedText);
    EXPECT_LE(big.bytesRead, 2 * ReadView::kReadPiece);
}

// A chunk with its pad byte after odd-sized data, as RIFF writers store it.
std::string Chunk(const std::string& id, const std::string& data, bool pad = true) {
    return id + Le32(static_cast<std::uint32_t>(data.size())) + data + std::string(pad && data.size() % 2, '\0');
}
std::string List(const std::string& type, const std::string& body) { return Chunk("LIST", type + body); }
std::string Riff(const std::string& form, const std::string& body) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(4 + body.size())) + form + body;
}
std::string Resized(std::string riff, std::uint32_t size) { return riff.replace(4, 4, Le32(size)); }
std::string Z(const std::string& text) { return text + std::string(1, '\0'); }
const std::string kIcrd = Chunk("ICRD", Z("2003-05-17")), kDay = "2003/05/17 00:00:00", kTime = "2003/05/17 10:23:45";
const std::string kIdit = Z("2003:05:17 10:23:45");  // not in the ctime layout: the whole text is the date

// An AVI as cameras write it: hdrl (strd after an odd chunk, IDIT), movie data, index, INFO at the end.
std::string CameraAvi() {
    const std::string strd("AVIF\x01\x02\x03\x04 2003:05:17 10:23:45\0\0junk", 34);
    const std::string hdrl = List("strl", Chunk("strf", std::string(41, 'f')) + Chunk("strd", strd)) +
                             Chunk("IDIT", Z("Sat May 17 10:23:45 2003\n"));
    return Riff("AVI ", List("hdrl", hdrl) + List("movi", Chunk("00dc", std::string(333, 'm'))) +
                            Chunk("idx1", std::string(16, 'i')) +
                            List("INFO", Chunk("ICRD", Z("2003-05-18")) + Chunk("ICRD", Z("not a date"))));
}

// A camera AVI, and a WAVE whose odd chunks carry their pad byte.
TEST(RiffReader, CameraFiles) {
    const ReadResult avi = ReadBytes(CameraAvi());
    const FileFacts& f = avi.facts;
    EXPECT_EQ(ValidFormats(f), "RIFF") << f.Notes;
    EXPECT_EQ(f.Notes, "");
    EXPECT_EQ(f.RIFFForm, "AVI");
    EXPECT_EQ(Full(f.RIFFIDITDate) + Full(f.RIFFstrdDate), kTime + kTime);
    EXPECT_EQ(Full(f.RIFFICRDDate), "2003/05/18 00:00:00");  // a later value that is no date replaces nothing
    EXPECT_LT(avi.bytesRead, 300u);                         // the movie data is skipped, not read
    const std::string wave = Riff("WAVE", Chunk("fmt ", std::string(17, 'f')) +
                                              List("INFO", Chunk("ICRD", "2003-05-17 10:23:45") + Chunk("INAM", "odd")) +
                                              List("exif", Chunk("ever", "0220") + Chunk("etim", Z("10:23:45"))) +
                                              Chunk("data", std::string(1001, 'd')) +
                                              List("INFO", Chunk("cmnt", "20030517 10:23:45") + Chunk("IDIT", kIdit)));
    const FileFacts w = ReadBytes(wave).facts;
    EXPECT_TRUE(w.RIFFMetadata) << w.Notes;
    EXPECT_EQ(w.RIFFForm, "WAVE");
    EXPECT_EQ(Full(w.RIFFICRDDate), kDay);  // a calendar date: the etim time is added once, later
    EXPECT_EQ(Full(w.RIFFetimTime), "1899/12/30 10:23:45");
    EXPECT_EQ(Full(w.RIFFcmntDate) + Full(w.RIFFIDITDate), kTime + kTime);
}

// Padding, a stale size (a recording cut short), AVIX continuations, odd chunks unpadded, trailing bytes.
TEST(RiffReader, ToleratesFilesThatRecordersReallyWrite) {
    const std::string info = List("INFO", kIcrd);
    for (const std::string& file :
         {Riff("AVI ", info) + std::string(2048, '\0'), Resized(Riff("AVI ", info), 0x7FFFFFF0),
          Riff("AVI ", List("movi", "")) + Riff("AVIX", List("movi", "xx")) + info,
          Riff("AVI ", Chunk("JUNK", "abc", false) + List("INFO", Chunk("ISFT", "odd", false) + kIcrd)),
          Riff("AVI ", info) + "JUNK" + Le32(0)}) {
        const ReadResult r = ReadBytes(file);
        EXPECT_TRUE(r.facts.RIFFMetadata) << r.facts.Notes;
        EXPECT_EQ(Full(r.facts.RIFFICRDDate), kDay);
    }
    // A recording cut short ends in zeros: the walk stops at the first of them.
    const ReadResult cut = ReadBytes(Riff("AVI ", Chunk("JUNK", "abc") + info) + std::string(1 << 20, '\0'));
    EXPECT_TRUE(cut.facts.RIFFMetadata && Full(cut.facts.RIFFICRDDate) == kDay) << cut.facts.Notes;
    EXPECT_LT(cut.bytesRead, 200u);
}

TEST(RiffReader, StructuralFaults) {
    const std::string emptySub = Riff("AVI ", List("INFO", kIcrd + Chunk("ISFT", "") + Chunk("IART", "x")));
    const std::string bad = " contains an invalid RIFF ", sub = "LIST subchunk size descriptor.";
    auto strl = [](const std::string& body) { return Riff("AVI ", List("hdrl", List("strl", body))); };
    ExpectNotes({{Resized(Riff("AVI ", kIcrd), 4), bad + "size descriptor."},
                 {std::string("RIFF") + Le32(100) + "AV", bad + "size descriptor."},
                 {Riff("AVI ", Chunk("JUNK", "abcd") + "JUNK" + Le32(5) + "abcd"), bad + "chunk size descriptor."},
                 {Riff("AVI ", "LIST" + Le32(0xFFFFFFFF) + "INFO" + kIcrd), bad + "chunk size descriptor."},
                 {emptySub, bad + sub},
                 {Riff("AVI ", List("INFO", kIcrd + "ISFT" + Le32(0xFFFFFFFF) + "abcd")), bad + sub},
                 {strl("strh" + Le32(0xFFFFFFF0) + "abcdefgh"), bad + "nested " + sub},
                 {strl(Chunk("strh", "") + Chunk("strd", "abcd")), bad + "nested " + sub}});
    EXPECT_EQ(Full(ReadBytes(emptySub, 2).facts.RIFFICRDDate), kDay);  // a date read before the broken size stays
}

// Every truncation; lists nested 2000 deep; values of 3 MiB, of which only the first 1 MiB is read.
TEST(RiffReader, HostileInput) {
    ExpectEveryTruncationHandled(CameraAvi());
    std::string nested = kIcrd;
    for (int i = 0; i < 2000; ++i) nested = List(i % 2 ? "strl" : "INFO", nested);
    const ReadResult deep = ReadBytes(Riff("AVI ", List("hdrl", nested)));
    EXPECT_TRUE(deep.facts.RIFFMetadata) << deep.facts.Notes;
    EXPECT_FALSE(deep.facts.RIFFICRDDate);
    const std::string big(3u << 20, 's');
    const ReadResult large = ReadBytes(Riff("AVI ", List("INFO", Chunk("ICRD", big) + Chunk("ISBJ", big) + kIcrd)));
    EXPECT_EQ(Full(large.facts.RIFFICRDDate), kDay);
    EXPECT_LT(large.bytesRead, (1u << 20) + 200u);
}

TEST(ParseDateText, AcceptsTheFormsCamerasWrite) {
    const std::pair<std::string, std::string> cases[] = {
        {"2003 SEP 07 01:02:03", "2003/09/07 01:02:03"}, {"2003 september 7 01:02:03", "2003/09/07 01:02:03"},
        {"2003 Sept 7 01:02:03", "2003/09/07 01:02:03"}, {"2003 May  7 10:23:45", "2003/05/07 10:23:45"},
        {"2003/5/7 9:03:04", "2003/05/07 09:03:04"}, {"2003.05.17,10:23", "2003/05/17 10:23:00"},
        {"2003 05 17 10:23:45", kTime}, {"2003:05:17 10:23:45", kTime}, {"2003-05-17T10:23:45", kTime},
        {"2003-05-17", kDay}, {"  2003-05-17\r\n", kDay}, {std::string("2003-05-17\0junk", 15), kDay},
        {"2004-02-29", "2004/02/29 00:00:00"}, {"Sat May 17 10:23:45 2003", kTime},
        {"WED JAN  1 00:00:00 2003", "2003/01/01 00:00:00"}, {"23:59:59", "1899/12/30 23:59:59"}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(Full(ParseDateText(text)), expected) << text;
}

TEST(ParseDateText, RejectsTextsThatAreNotDates) {
    const std::string cases[] = {
        "", "   ", "2003", "2003-13-01", "2003-02-29", "2003-05-00", "0000-05-17", "2003 Foo 17 10:23:45",
        "2003/05-17", "03-05-17", "20030517", "2003-05-17 24:00:00", "2003-05-17 10:60:00", "2003-05-17 10:23:45 extra",
        "2003-05-17x", "25:00:00", "10:23:4", "1:2:3", "Sat May 17 10:23:45", "Foo May 17 10:23:45 2003",
        std::string("\0 2003-05-17", 12), "\xFF\xFE\x01\x02\x03\x04\x05\x06", "2003\xA0" "05 17 10:23:45"};
    for (const auto& text : cases) EXPECT_EQ(Full(ParseDateText(text)), "none") << text;
}

}  // namespace
}  // namespace ravlen::test
