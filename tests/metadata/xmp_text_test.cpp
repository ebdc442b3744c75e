// XMP dates: the packet's forms, their order, and the last place they take
// among a file's dates.

#include "metadata/date_selection.h"
#include "metadata/tiff_builder.h"
#include "metadata/xmp_text.h"

namespace ravlen::test {
namespace {

// The attribute and element forms, with and without fractions and zones;
// the order whatever the packet's; names that only look alike.
TEST(XmpText, DatesInEveryForm) {
    struct Case {
        std::string packet;
        std::optional<DateTime> date;
        std::string tag;
        std::optional<std::int32_t> zone;
        bool hasTime = true;
    };
    const std::string lead = "<x:xmpmeta><rdf:Description rdf:about=\"\"\n ";
    for (const Case& c : std::vector<Case>{
             {lead + "xmp:CreateDate=\"2020-02-03T04:05:06.78+09:00\"/>", D(2020, 2, 3, 4, 5, 6), "xmp:CreateDate", 540},
             {"<exif:DateTimeOriginal>2017-01-02T03:04:05Z</exif:DateTimeOriginal>", D(2017, 1, 2, 3, 4, 5),
              "exif:DateTimeOriginal", 0},
             {lead + "photoshop:DateCreated = '2018-11-12T13:14'", D(2018, 11, 12, 13, 14), "photoshop:DateCreated", {}},
             {"<photoshop:DateCreated>2018-11-12</photoshop:DateCreated>", D(2018, 11, 12), "photoshop:DateCreated", {},
              false},
             {lead + "photoshop:DateCreated=\"2001-01-01\" xmp:CreateDate=\"2002-02-02T02:02:02-05:30\"\n"
                     " exif:DateTimeOriginal=\"2003-03-03T03:03:03\"",
              D(2003, 3, 3, 3, 3, 3), "exif:DateTimeOriginal", {}},
             {lead + "xmp:CreateDate=\"2002-02-02T02:02:02-05:30\" photoshop:DateCreated=\"2001-01-01\"",
              D(2002, 2, 2, 2, 2, 2), "xmp:CreateDate", -330},
             // Lookalikes and broken values pass; the next true one serves.
             {lead + "xmp:CreateDateX=\"2001-01-01T00:00:00\" myxmp:CreateDate=\"2001-01-01T00:00:00\" "
                     "<xmp:CreateDate>soon</xmp:CreateDate> xmp:CreateDate=\"2019-02-30T00:00:00\" "
                     "xmp:CreateDate=\"2019-03-01T00:00:01\"",
              D(2019, 3, 1, 0, 0, 1), "xmp:CreateDate", {}},
             {lead + "xmp:ModifyDate=\"2019-03-01T00:00:01\" xmp:CreateDate=\"2019-03-01T00:00:01", {}, "", {}},
             {"<xmp:CreateDate>2019-03-01T00:00:01" + std::string(100, ' ') + "</xmp:CreateDate>", {}, "", {}},
         }) {
        SCOPED_TRACE(c.packet);
        FileFacts f;
        TakeXmpDate(c.packet, f);
        EXPECT_EQ(std::tuple(f.XMPDate, f.XMPDateTag, f.XMPUTCOffset, f.XMPDateHasTime),
                  std::tuple(c.date, c.tag, c.zone, c.hasTime));
    }
    // The first packet's date stays.
    FileFacts f;
    TakeXmpDate(" xmp:CreateDate='2001-01-01T00:00:00' ", f);
    TakeXmpDate(" exif:DateTimeOriginal='2002-01-01T00:00:00' ", f);
    EXPECT_EQ(f.XMPDate, D(2001, 1, 1));
}

// Files that carry only an XMP packet (exiftool wrote it into a JPEG, a PNG,
// a WebP, a JPEG XL, a HEIF): dated by it in the strict mode without a note, the
// time as written, the zone kept for the log; any EXIF date comes first.
TEST(XmpText, NamesFilesWithoutExifDates) {
    for (const auto& [name, date, tag, zone] : std::vector<std::tuple<const char*, DateTime, std::string, std::optional<int>>>{
             {"jpeg_tiff/exiftool_xmp_only.jpg", D(2018, 11, 12, 13, 14, 16), "xmp:CreateDate", {}},
             {"png/exiftool_xmp.png", D(2020, 2, 3, 4, 5, 6), "xmp:CreateDate", 540},
             {"webp/exiftool_xmp.webp", D(2017, 1, 2, 3, 4, 5), "exif:DateTimeOriginal", 0},
             {"jxl/exiftool_xmp.jxl", D(2015, 4, 3, 2, 1, 0), "exif:DateTimeOriginal", {}},
             {"iso_media/exiftool_xmp.heic", D(2014, 3, 2, 1, 0, 59), "photoshop:DateCreated", 60}}) {
        SCOPED_TRACE(name);
        const auto bytes = FileBytes(kSeeds + name);
        ASSERT_TRUE(bytes);
        ReadResult r = ReadBytes(*bytes);
        FileFacts& f = r.facts;
        EXPECT_TRUE(f.Timestamped && f.Notes.empty() && !f.TIFFMetadata) << f.Notes;
        EXPECT_EQ(std::tuple(f.XMPDate, f.XMPDateTag, f.XMPUTCOffset), std::tuple(date, tag, zone));
        RunOptions options;
        options.DateMode = DateMode::MetadataOnly;
        ChooseTimestamp(f, options, r.tally, {});
        EXPECT_EQ(std::tuple(f.Timestamped, f.TimestampDateTime, f.DateSource),
                  std::tuple(true, date, "XMP " + tag));
    }
    FileFacts f;
    f.InternalFormat = "JPEG", f.XMPDate = D(2001, 1, 1), f.XMPDateTag = "xmp:CreateDate", f.XMPDateHasTime = false;
    RunOptions options;
    RunTally tally;
    FileFacts dayOnly = f;
    ChooseTimestamp(dayOnly, options, tally, {});
    EXPECT_EQ(std::tuple(dayOnly.TimestampDateTime, dayOnly.TimestampHasTime, dayOnly.DateSource),
              std::tuple(D(2001, 1, 1), false, std::string("XMP xmp:CreateDate")));
    f.EXIFDateModified = D(2002, 2, 2);
    ChooseTimestamp(f, options, tally, {});
    EXPECT_EQ(std::tuple(f.TimestampDateTime, f.DateSource), std::tuple(D(2002, 2, 2), std::string("EXIF DateTime")));
    // A packet without a date leaves a file without EXIF unnamed in the strict mode, as before.
    const std::string packet = "<x:xmpmeta><rdf:Description xmp:ModifyDate=\"2019-03-01T00:00:01\"/></x:xmpmeta>";
    const ReadResult r = ReadBytes("\xFF\xD8" + Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet) +
                                   Segment(0xDB, std::string(65, 'q')) + "\xFF\xD9");
    EXPECT_TRUE(!r.facts.Timestamped && r.tally.NumberOfInvalidEXIFFiles == 1 && !r.facts.XMPDate);
}

// A JPEG whose EXIF APP1 has no date (an export that kept the camera's
// names) is dated by an XMP APP1 among the APPn and comment segments after
// it, the packet past the first read costing one read more; an EXIF date
// leaves the packet unread, and none is looked for past the picture's own
// segments. exiftool wrote such a file (its EXIF with a thumbnail).
TEST(XmpText, DatesJpegWhoseExifHasNone) {
    const auto seed = FileBytes(kSeeds + "jpeg_tiff/exiftool_xmp_after_exif.jpg");
    ASSERT_TRUE(seed);
    ReadResult r = ReadBytes(*seed);
    EXPECT_EQ(std::tuple(r.facts.TIFFMetadata, r.facts.CameraMake, r.facts.XMPDate, r.facts.XMPDateTag,
                         r.facts.XMPUTCOffset, r.facts.Notes),
              std::tuple(true, "GoCam", D(2021, 6, 7, 8, 9, 10), "xmp:CreateDate", 120, ""));
    EXPECT_LE(r.reads, 6);
    RunOptions options;
    options.DateMode = DateMode::MetadataOnly;
    ChooseTimestamp(r.facts, options, r.tally, {});
    EXPECT_EQ(std::tuple(r.facts.Timestamped, r.facts.TimestampDateTime, r.facts.DateSource),
              std::tuple(true, D(2021, 6, 7, 8, 9, 10), "XMP xmp:CreateDate"));

    const std::string packet =
        Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                          "<x:xmpmeta><rdf:Description photoshop:DateCreated=\"2016-07-08T09:10:11\"/>");
    const std::string undated = BuildTiff({ByteOrder::Motorola, {}, {}, {}, false, 0, {}, {}}),
                      dated = BuildTiff({ByteOrder::Intel, "2020:01:02 03:04:05", {}, {}, false, 0, {}, {}});
    auto after = [](const std::string& tiff, const std::string& segments) {
        std::string bytes = BuildJpeg(tiff);
        return bytes.insert(2 + 4 + 6 + tiff.size(), segments);
    };
    const std::string table = Segment(0xDB, std::string(65, 'q'));
    for (const auto& [bytes, date] : std::vector<std::pair<std::string, std::optional<DateTime>>>{
             {after(undated, packet), D(2016, 7, 8, 9, 10, 11)},
             {after(undated, Segment(0xE2, std::string(3000, 'c')) + Segment(0xFE, "note") + packet),
              D(2016, 7, 8, 9, 10, 11)},
             {after(undated, Xmp() + packet), D(2016, 7, 8, 9, 10, 11)},  // a packet without a date first
             {after(dated, packet), std::nullopt},
             {after(undated, table + packet), std::nullopt},
             {after(undated, packet.substr(0, 40)), std::nullopt}}) {
        const ReadResult j = ReadBytes(bytes);
        EXPECT_EQ(std::tuple(j.facts.XMPDate, j.facts.TIFFMetadata, j.facts.Notes), std::tuple(date, true, ""))
            << bytes.size();
    }
}

}  // namespace
}  // namespace ravlen::test
