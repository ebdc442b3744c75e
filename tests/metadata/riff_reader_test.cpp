#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "metadata/metadata_fault.h"
#include "metadata/riff_reader.h"
#include "support/fake_port.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"

namespace ravlen {
namespace {

std::string Le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// A chunk with its pad byte after odd-sized data, as RIFF writers store it.
std::string Chunk(const std::string& id, const std::string& data, bool pad = true) {
    std::string s = id + Le32(static_cast<std::uint32_t>(data.size())) + data;
    if (pad && data.size() % 2 == 1) s.push_back('\0');
    return s;
}
std::string List(const std::string& type, const std::string& body) { return Chunk("LIST", type + body); }
std::string Riff(const std::string& form, const std::string& body) {
    return "RIFF" + Le32(static_cast<std::uint32_t>(4 + body.size())) + form + body;
}
std::string Z(const std::string& text) { return text + std::string(1, '\0'); }

// An AVI as cameras write it: dates in hdrl (IDIT, strd in the stream list),
// the movie data, the index and, when given, an INFO list at the end.
std::string CameraAvi(const std::string& trailingInfo = "") {
    const std::string strd = std::string("AVIF\x01\x02\x03\x04 2003:05:17 10:23:45\0\0junk", 34);
    const std::string strl = List("strl", Chunk("strh", std::string(56, 'h')) + Chunk("strf", std::string(41, 'f')) +
                                              Chunk("strd", strd));
    const std::string hdrl = List("hdrl", Chunk("avih", std::string(56, 'a')) + strl +
                                              Chunk("IDIT", Z("Sat May 17 10:23:45 2003\n")));
    return Riff("AVI ", hdrl + List("movi", Chunk("00dc", std::string(333, 'm'))) +
                            Chunk("idx1", std::string(16, 'i')) + trailingInfo);
}

struct RiffResult {
    FileFacts facts;
    test::FakePort port;
    std::size_t bytesRead = 0;
};

std::string Full(const std::optional<DateTime>& d) { return d ? d->FormatFull() : "none"; }

void ReadRiff(const std::string& bytes, RiffResult& r, int dateMode = 1, std::int64_t claimedSize = -1,
              std::uint64_t maxBuffer = ReadView::kDefaultMaxBuffer) {
    test::MemoryStream stream(bytes);
    ReadView view(stream, r.port, claimedSize < 0 ? static_cast<std::int64_t>(bytes.size()) : claimedSize,
                  maxBuffer);
    ASSERT_TRUE(view.Read(8));
    r.facts.SourceFileName = "MVI_0001.AVI";
    r.facts.RIFFMetadata = true;
    RunOptions options;
    options.DateMode = dateMode;
    ReadRIFFMetadata(view, r.facts, options, ProblemReporter{r.port, true});
    r.bytesRead = stream.bytesRead;
}

TEST(RiffReader, ReadsTheDatesOfACameraAvi) {
    RiffResult r;
    ReadRiff(CameraAvi(List("INFO", Chunk("ISFT", Z("Lavf")) + Chunk("ICRD", Z("2003-05-18")))), r);
    EXPECT_TRUE(r.facts.RIFFMetadata);
    EXPECT_EQ(r.facts.RIFFForm, "AVI");
    EXPECT_EQ(Full(r.facts.RIFFIDITDate), "2003/05/17 10:23:45");
    EXPECT_EQ(Full(r.facts.RIFFstrdDate), "2003/05/17 10:23:45");
    EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2003/05/18 00:00:00");  // after the movie data
    EXPECT_EQ(r.facts.Notes, "");
    EXPECT_LT(r.bytesRead, 300u);  // the movie data is skipped, not read
}

TEST(RiffReader, ReadsAWaveWithPaddedOddChunks) {
    const std::string wav = Riff("WAVE", Chunk("fmt ", std::string(17, 'f')) +
                                             List("INFO", Chunk("ICRD", "2003-05-17") + Chunk("INAM", "odd")) +
                                             List("exif", Chunk("ever", "0220") + Chunk("etim", Z("10:23:45"))) +
                                             Chunk("data", std::string(1001, 'd')) +
                                             List("INFO", Chunk("cmnt", "20030518 11:22:33")));
    RiffResult r;
    ReadRiff(wav, r);
    EXPECT_TRUE(r.facts.RIFFMetadata) << r.facts.Notes;
    EXPECT_EQ(r.facts.RIFFForm, "WAVE");
    EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2003/05/17 00:00:00");
    ASSERT_TRUE(r.facts.RIFFetimTime);
    EXPECT_EQ(r.facts.RIFFetimTime->SecondsOfDay(), 10 * 3600 + 23 * 60 + 45);
    EXPECT_EQ(Full(r.facts.RIFFcmntDate), "2003/05/18 11:22:33");
}

TEST(RiffReader, ToleratesFilesThatRecordersReallyWrite) {
    const std::string info = List("INFO", Chunk("ICRD", Z("2003-05-17")));
    std::string stale = Riff("AVI ", info);  // a recording cut short
    stale.replace(4, 4, Le32(0x7FFFFFF0));
    const std::string files[] = {
        Riff("AVI ", info) + std::string(2048, '\0'),  // padded
        stale,
        // A movie over 1 GB continues in further RIFF chunks after the first.
        Riff("AVI ", List("movi", "")) + Riff("AVIX", List("movi", "xx")) + info,
        // Odd chunks without their pad byte.
        Riff("AVI ", Chunk("JUNK", "abc", false) +
                         List("INFO", Chunk("ISFT", "odd", false) + Chunk("ICRD", Z("2003-05-17")))),
        // Up to 8 trailing bytes, even a chunk header without data.
        Riff("AVI ", info) + "JUNK" + Le32(0),
    };
    for (const std::string& file : files) {
        RiffResult r;
        ReadRiff(file, r);
        EXPECT_TRUE(r.facts.RIFFMetadata) << r.facts.Notes;
        EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2003/05/17 00:00:00");
    }
}

TEST(RiffReader, ReportsEachBrokenSizeOnlyInStrictMode) {
    const std::string icrd = Chunk("ICRD", Z("2003-05-17"));
    std::string tinyRiffSize = Riff("AVI ", icrd);
    tinyRiffSize.replace(4, 4, Le32(4));
    const std::string riffSize = " contains an invalid RIFF size descriptor.";
    const std::string chunkSize = " contains an invalid RIFF chunk size descriptor.";
    const std::string subSize = " contains an invalid RIFF LIST subchunk size descriptor.";
    const std::string nestedSize = " contains an invalid RIFF nested LIST subchunk size descriptor.";
    struct Case {
        std::string bytes;
        std::string message;
        bool icrdKept;  // a date read before the broken size stays
    } cases[] = {
        {tinyRiffSize, riffSize, false},
        {std::string("RIFF") + Le32(100) + "AV", riffSize, false},
        {Riff("AVI ", Chunk("JUNK", "abcd") + "JUNK" + Le32(5) + "abcd"), chunkSize, false},
        {Riff("AVI ", "LIST" + Le32(0xFFFFFFFF) + "INFO" + icrd), chunkSize, false},
        {Riff("AVI ", List("INFO", icrd + Chunk("ISFT", "") + Chunk("IART", "x"))), subSize, true},
        {Riff("AVI ", List("INFO", icrd + "ISFT" + Le32(0xFFFFFFFF) + "abcd")), subSize, true},
        {Riff("AVI ", List("hdrl", Chunk("IDIT", "x") + List("strl", "strh" + Le32(0xFFFFFFF0) + "abcdefgh"))),
         nestedSize, false},
        {Riff("AVI ", List("hdrl", List("strl", Chunk("strh", "") + Chunk("strd", "abcd")))), nestedSize, false},
    };
    for (const auto& c : cases) {
        RiffResult strict;
        ReadRiff(c.bytes, strict, 1);
        EXPECT_FALSE(strict.facts.RIFFMetadata) << c.message;
        EXPECT_EQ(strict.facts.Notes, "MVI_0001.AVI" + c.message);
        ASSERT_EQ(strict.port.messages.size(), 1u) << c.message;
        EXPECT_EQ(strict.port.messages[0].icon, MsgIcon::Exclamation);

        RiffResult lenient;
        ReadRiff(c.bytes, lenient, 2);
        EXPECT_FALSE(lenient.facts.RIFFMetadata) << c.message;
        EXPECT_EQ(lenient.facts.Notes, "") << c.message;
        EXPECT_EQ(lenient.facts.RIFFICRDDate.has_value(), c.icrdKept) << c.message;
    }
}

TEST(RiffReader, ExtractsEachValueByItsLayout) {
    struct Case {
        std::string id;
        std::string data;
        std::string expected;
    } cases[] = {
        {"IDIT", Z("SAT MAY 17 10:23:45 2003\n"), "2003/05/17 10:23:45"},
        {"IDIT", Z("Wed Jan  1 00:00:01 2003\n") + "trailing", "2003/01/01 00:00:01"},
        {"IDIT", Z("2003:05:17 10:23:45"), "2003/05/17 10:23:45"},  // the whole text as a date
        {"IDIT", Z("Sat May 17 10:23:45"), "none"},
        {"cmnt", "20030517 10:23:45", "2003/05/17 10:23:45"},
        {"cmnt", "2003051710:23:45", "none"},
        {"ICRD", Z("2003/05/17 10:23:45"), "2003/05/17 00:00:00"},  // a calendar date
        {"ICRD", std::string("\xFF\xD8\xFF\xE1\x00\x10\x80\x81", 8), "none"},
        {"strd", std::string("\x01\x02\x03\0\x05", 5) + "2003:05:17 10:23:45", "2003/05/17 10:23:45"},
        {"strd", "ab:c 2003:05:17 10:23:45", "none"},  // the first colon is at offset 2
        {"strd", "no colon here", "none"},
    };
    for (const auto& c : cases) {
        // strd lives in a stream list, after a zero filler byte here.
        const std::string list = c.id == "strd"
                                     ? List("hdrl", List("strl", std::string(1, '\0') + Chunk("strd", c.data)))
                                     : List("INFO", Chunk(c.id, c.data));
        RiffResult r;
        ReadRiff(Riff("AVI ", list), r);
        EXPECT_TRUE(r.facts.RIFFMetadata) << c.id << " " << c.data;
        const auto& value = c.id == "IDIT"   ? r.facts.RIFFIDITDate
                            : c.id == "cmnt" ? r.facts.RIFFcmntDate
                            : c.id == "strd" ? r.facts.RIFFstrdDate
                                             : r.facts.RIFFICRDDate;
        EXPECT_EQ(Full(value), c.expected) << c.id << " " << c.data;
    }
}

TEST(RiffReader, LaterValuesReplaceOnlyWhenTheyParse) {
    RiffResult r;
    ReadRiff(Riff("AVI ", List("INFO", Chunk("ICRD", Z("2003-05-17")) + Chunk("ICRD", Z("not a date"))) +
                              List("INFO", Chunk("IDIT", Z("2001-01-01")) + Chunk("IDIT", Z("2002-02-02")))),
             r);
    EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2003/05/17 00:00:00");
    EXPECT_EQ(Full(r.facts.RIFFIDITDate), "2002/02/02 00:00:00");
}

TEST(RiffReader, HoldsLittleOfALargeListBody) {
    // 3 MiB of list body walked with a 1.5 MiB buffer cap: the reader holds at
    // most about 1 MiB of it at a time and still finds the date at its end.
    const std::string big = Chunk("ICRD", std::string(3u << 20, 's')) + Chunk("ISBJ", std::string(3u << 20, 's'));
    const std::string file = Riff("AVI ", List("INFO", big + Chunk("ICRD", Z("2003-05-17"))));
    RiffResult r;
    ReadRiff(file, r, 1, -1, 3u << 19);
    EXPECT_TRUE(r.facts.RIFFMetadata);
    EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2003/05/17 00:00:00");
    EXPECT_LT(r.bytesRead, (1u << 20) + 200u);
}

TEST(RiffReader, IgnoresListsNestedBeyondTheStreamList) {
    std::string nested = Chunk("ICRD", Z("2003-05-17"));
    for (int i = 0; i < 2000; ++i) nested = List(i % 2 ? "strl" : "INFO", nested);
    RiffResult r;
    ReadRiff(Riff("AVI ", List("hdrl", nested)), r);
    EXPECT_TRUE(r.facts.RIFFMetadata) << r.facts.Notes;
    EXPECT_FALSE(r.facts.RIFFICRDDate);
}

TEST(RiffReader, RaisesAFaultWhenTheFileCannotBeRead) {
    // The file is shorter than its size said when it was opened.
    const std::string file = Riff("AVI ", List("INFO", Chunk("ICRD", Z("2003-05-17"))));
    RiffResult r;
    try {
        ReadRiff(file.substr(0, 20), r, 2, static_cast<std::int64_t>(file.size()));
        ADD_FAILURE() << "no fault";
    } catch (const MetadataFault& fault) { EXPECT_EQ(fault.Number, kFaultPastEnd); }
}

TEST(RiffReader, ReadsTheIcrdThatFfmpegWrites) {
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
    test::TempDir dir;
    const std::string path = dir / "MVI_0001.AVI";
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi "
                                "-i testsrc=duration=1:size=64x48:rate=5 -metadata ICRD=2021-03-04 '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    RiffResult r;
    ReadRiff(test::ReadAll(path), r);
    EXPECT_TRUE(r.facts.RIFFMetadata) << r.facts.Notes;
    EXPECT_EQ(r.facts.RIFFForm, "AVI");
    EXPECT_EQ(Full(r.facts.RIFFICRDDate), "2021/03/04 00:00:00");
}

}  // namespace
}  // namespace ravlen
