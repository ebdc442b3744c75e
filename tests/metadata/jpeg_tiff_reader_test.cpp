#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "metadata/tiff_builder.h"
#include "support/temp_dir.h"

namespace ravlen::test {
namespace {

DateTime D(int y, int mo, int d, int h, int mi, int s) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

ExifSpec Camera(ByteOrder order, bool subIfdBeforeStrings = false, std::size_t ifd0Gap = 0) {
    ExifSpec s;
    s.order = order;
    s.ifd0Gap = ifd0Gap;
    s.dateTime = "2004:12:26 10:00:00";
    s.original = "2004:12:25 18:09:11";
    s.digitized = "2004:12:25 18:09:12";
    s.subIfdBeforeStrings = subIfdBeforeStrings;
    return s;
}

void ExpectCameraDates(const FileFacts& f) {
    EXPECT_EQ(f.EXIFDateModified, D(2004, 12, 26, 10, 0, 0));
    EXPECT_EQ(f.EXIFDateOriginal, D(2004, 12, 25, 18, 9, 11));
    EXPECT_EQ(f.EXIFDateDigitized, D(2004, 12, 25, 18, 9, 12));
}

TEST(JpegTiffReader, CameraLayouts) {
    struct Case { ByteOrder order; std::vector<std::string> before; bool extras; bool jpeg = true; std::size_t gap = 0; };
    const std::vector<Case> cases = {
        {ByteOrder::Intel, {}, false},
        {ByteOrder::Motorola, {Jfif()}, true},
        {ByteOrder::Intel, {Jfif(), Segment(0xE2, std::string(300, '\x01')), Segment(0xED, "\x02"), Segment(0xEE, "")}, true},
        {ByteOrder::Intel, {}, true, false},
        {ByteOrder::Motorola, {}, false, false, 100},
    };
    for (const auto& c : cases) {
        ExifSpec spec = Camera(c.order, false, c.gap);
        spec.extras = c.extras;
        const std::string tiff = BuildTiff(spec);
        const ReadResult r = ReadBytes(c.jpeg ? BuildJpeg(tiff, c.before) : tiff + std::string(5000, '\x33'));
        const FileFacts& f = r.facts;
        std::size_t app1 = 2;
        for (const auto& seg : c.before) app1 += seg.size();
        EXPECT_EQ(f.InternalFormat, c.jpeg ? "JPEG" : "TIFF");
        EXPECT_TRUE(f.TIFFMetadata);
        EXPECT_FALSE(f.RIFFMetadata || f.CIFFMetadata);
        EXPECT_EQ(f.TIFFByteAlign, ByteOrderName(c.order));
        EXPECT_EQ(f.APPXSkipCount, static_cast<int>(c.before.size()));
        EXPECT_EQ(f.APP1Offset, c.jpeg ? static_cast<int>(app1 + 2) : -1);
        EXPECT_EQ(f.APP1Length, c.jpeg ? static_cast<int>(tiff.size() + 8) : -1);
        EXPECT_EQ(f.TIFFOffset, c.jpeg ? f.APP1Offset + 8 : 0);
        EXPECT_EQ(f.IFD0Offset, f.TIFFOffset + 8 + static_cast<int>(c.gap));
        EXPECT_EQ(f.IFD0Entries, 2);
        EXPECT_EQ(f.SubIFDEntries, c.extras ? 3 : 2);
        ExpectCameraDates(f);
        EXPECT_EQ(f.Notes, "");
        EXPECT_FALSE(r.restarted);
        // A few small reads: never the rest of APP1 or the image data.
        EXPECT_LE(r.bytesRead, 8 + 6 * c.before.size() + 12 + 150);
    }
}

// The sub-directory before IFD0's DateTime string: the file is begun again
// without skipping; the first pass's note is only shown.
TEST(JpegTiffReader, OutOfSequenceSubIfdRestartsOnce) {
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        const std::string tiff = BuildTiff(Camera(order, true, order == ByteOrder::Intel ? 0 : 30));
        for (const std::string& bytes : {BuildJpeg(tiff, {Jfif()}), tiff}) {
            const ReadResult r = ReadBytes(bytes, 2);
            EXPECT_TRUE(r.restarted);
            EXPECT_TRUE(r.facts.TIFFMetadata);
            ExpectCameraDates(r.facts);
            EXPECT_EQ(r.facts.Notes, "");
            ASSERT_EQ(r.port.messages.size(), 1u);
            EXPECT_EQ(r.port.messages[0].text,
                      "Proceeding with parsing of IMG_0001.JPG even though it contains an out-of-sequence TIFF APP1 SubIFD.");
            EXPECT_EQ(r.port.messages[0].icon, MsgIcon::Information);
        }
    }
    // A sub-directory pointer back at IFD0 costs one restart and nothing more.
    std::string tiff = BuildTiff(Camera(ByteOrder::Intel));
    PutNumber(tiff, 30, 8, 4, ByteOrder::Intel);
    const ReadResult r = ReadBytes(BuildJpeg(tiff));
    EXPECT_TRUE(r.restarted && r.facts.TIFFMetadata);
    EXPECT_EQ(r.facts.SubIFDEntries, 2);
}

// Values of tags that are not used are not pointers: a ColorSpace of 0xFFFF
// in Motorola order reads as 0xFFFF0000 and must not end the reading.
TEST(JpegTiffReader, ValuesOfUnusedTagsAreNotPointers) {
    ExifSpec spec = Camera(ByteOrder::Motorola);
    spec.extraIfd0 = {{0xA001, 3, 0xFFFF}, {0x0100, 4, 0x80000000u}};
    spec.extraSub = {{0xA001, 3, 0xFFFF}, {0x9286, 7, 0xFFFFFFFFu}};
    const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(spec)));
    EXPECT_TRUE(r.facts.TIFFMetadata);
    ExpectCameraDates(r.facts);
    EXPECT_EQ(r.facts.Notes, "");
}

TEST(JpegTiffReader, DateStrings) {
    const std::vector<std::pair<std::string, std::optional<DateTime>>> cases = {
        {"2004:02:29 13:05:09", D(2004, 2, 29, 13, 5, 9)}, {"2004:13:01 00:00:00", D(2005, 1, 1, 0, 0, 0)},
        {"2004:13:45 25:61:61", D(2005, 2, 15, 2, 2, 1)},  {"0004:12:25 18:09:11", D(2004, 12, 25, 18, 9, 11)},
        {"0087:12:25 18:09:11", D(1987, 12, 25, 18, 9, 11)}, {"2004-12-25T18.09.11", D(2004, 12, 25, 18, 9, 11)},
        {"2004:12:25 18:09:11Z", D(2004, 12, 25, 18, 9, 11)},  // no terminator
        {" 2004:12:25 18:09:11", std::nullopt}, {"0000:00:00 00:00:00", std::nullopt},
        {"2004:00:25 18:09:11", std::nullopt},  {"                   ", std::nullopt},
        {"", std::nullopt},                     {"2004:12:25 18:09:1x", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        ExifSpec spec;
        spec.dateTime = text;
        spec.subIfd = false;
        const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(spec)));
        EXPECT_EQ(r.facts.EXIFDateModified, expected) << text;
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << text;
    }
}

// Structural faults: the notes in mode 1 and 2, and what stays found.
TEST(JpegTiffReader, StructuralFaults) {
    const std::string tiff = BuildTiff(Camera(ByteOrder::Intel));  // EXIF pointer at 30, sub-directory at 58
    auto edited = [&](std::size_t at, std::uint32_t v, int n) {
        std::string t = tiff;
        PutNumber(t, at, v, n, ByteOrder::Intel);
        return BuildJpeg(t);
    };
    const std::string bad = "IMG_0001.JPG contains an invalid ";
    const std::string proceed = "Proceeding with parsing of IMG_0001.JPG even though it contains ";
    struct Case { std::string bytes, strict, lax; bool valid, dateTime; };
    const std::vector<Case> cases = {
        {std::string("\xFF\xD8\xFF\xE0\0\x01", 6) + std::string(40, '\0'), bad + "TIFF APPx length descriptor.", "", false, false},
        {std::string("\xFF\xD8\xFF\xE0\x7F\xFF", 6) + std::string(40, '\0'), bad + "TIFF APPx length descriptor.", "", false, false},
        {std::string("\xFF\xD8\xFF\xE1\0\x10" "Exif\0\0II", 14), bad + "EXIF APP1 length descriptor.", "", false, false},
        {"\xFF\xD8" + Jfif() + BuildJpeg("").substr(12), "IMG_0001.JPG does not contain a valid EXIF APP1 tag.", "", false, false},
        {BuildJpeg(tiff, {Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29))}),
         proceed + "a non-standard EXIF APP1 header string. " + bad + "EXIF APP1 header string.",
         proceed + "a non-standard EXIF APP1 header string.", false, false},
        {edited(0, 'I' | 'M' << 8, 2), bad + "EXIF APP1 TIFF header.", "", false, false},
        {edited(4, 4, 4), bad + "TIFF IFD0 offset.", "", false, false},
        {edited(4, 0x7FFFFF00, 4), bad + "TIFF IFD0 offset.", "", false, false},
        {edited(8, 0xFFFF, 2), bad + "TIFF IFD0 directory entry count.", "", false, false},
        {edited(30, 0xFFFFFF, 4), bad + "TIFF SubIFD offset.", "", false, true},
        {edited(58, 0xFFFF, 2), proceed + "an invalid SubIFD directory entry count.",
         proceed + "an invalid SubIFD directory entry count.", true, true},
        {BuildJpeg(tiff, {}, std::string("Exif\0\x01", 6)), proceed + "a non-standard EXIF APP1 header string.",
         proceed + "a non-standard EXIF APP1 header string.", true, true},
    };
    for (const auto& c : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(c.bytes, mode);
            EXPECT_EQ(r.facts.Notes, mode == 1 ? c.strict : c.lax);
            EXPECT_EQ(r.facts.TIFFMetadata, c.valid) << c.strict;
            EXPECT_EQ(r.facts.EXIFDateModified.has_value(), c.dateTime) << c.strict;
            EXPECT_EQ(r.facts.Timestamped, c.valid || mode == 2) << c.strict;
            EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, c.valid || mode == 2 ? 0 : 1) << c.strict;
            for (const auto& m : r.port.messages)
                EXPECT_EQ(m.icon, m.text.starts_with("Proceeding") ? MsgIcon::Information : MsgIcon::Exclamation);
        }
    }
}

// Unexpected failures end the reading with the critical note in every mode.
TEST(JpegTiffReader, FaultPath) {
    ExifSpec late = Camera(ByteOrder::Motorola);
    late.dateTime = "9999:12:31 24:00:00";
    std::string bigPointer = BuildTiff(Camera(ByteOrder::Motorola));
    PutNumber(bigPointer, 18, 0x80000000u, 4, ByteOrder::Motorola);
    std::string manySegments = "\xFF\xD8";
    for (int i = 0; i < 32768; ++i) manySegments += std::string("\xFF\xFE\0\x02", 4);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {BuildJpeg(bigPointer), "6: Overflow"},
        {BuildJpeg(BuildTiff(late)), "13: Type mismatch"},
        {std::string("\xFF\xD8\xFF\xE0\0\x10", 6) + std::string(18, 'j'), "62: Input past end of file"},
        {manySegments + BuildJpeg(BuildTiff(Camera(ByteOrder::Intel))).substr(2), "6: Overflow"},
    };
    for (const auto& [bytes, error] : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(bytes, mode);
            EXPECT_EQ(r.facts.Notes, "Unable to extract metadata from IMG_0001.JPG due to the following: Error " + error +
                                         ". If this problem persists, please contact Morvane for assistance.");
            ASSERT_EQ(r.port.messages.size(), 1u);
            EXPECT_EQ(r.port.messages[0].icon, MsgIcon::Critical);
            EXPECT_FALSE(r.facts.TIFFMetadata || r.facts.RIFFMetadata || r.facts.CIFFMetadata);
            EXPECT_EQ(r.facts.Timestamped, mode == 2);
        }
    }
}

// Every truncation of a camera file ends consistently: in the strict mode a
// note and the skip whenever the metadata is not valid.
TEST(JpegTiffReader, EveryTruncationIsHandled) {
    const std::string jpeg = BuildJpeg(BuildTiff(Camera(ByteOrder::Motorola, true)), {Jfif()});
    for (std::size_t n = 0; n < jpeg.size(); ++n) {
        const ReadResult r = ReadBytes(jpeg.substr(0, n));
        if (r.facts.TIFFMetadata) continue;
        EXPECT_FALSE(r.facts.Timestamped) << n;
        EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, 1) << n;
        EXPECT_NE(r.facts.Notes, "") << n;
    }
}

// A JPEG written by general tools (exiftool stores ColorSpace 0xFFFF in
// Motorola order, among other values that are not pointers).
TEST(JpegTiffReader, RealJpegFromImageTools) {
    TempDir dir;
    const std::string path = "'" + (dir / "x.jpg") + "'";
    const std::string make = "(convert -size 64x64 xc:red " + path + " || ffmpeg -loglevel quiet -f lavfi -i color=red:s=64x64 -frames:v 1 " +
                             path + ") >/dev/null 2>&1 && exiftool -q -DateTimeOriginal='2004:12:25 18:09:11' -overwrite_original " +
                             path + " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no image tools to make a JPEG";
    const ReadResult r = ReadBytes(ReadAll(dir / "x.jpg"));
    EXPECT_TRUE(r.facts.TIFFMetadata);
    EXPECT_EQ(r.facts.EXIFDateOriginal, D(2004, 12, 25, 18, 9, 11));
    EXPECT_EQ(r.facts.Notes, "");
}

// RAVLEN_WRITE_SEEDS=<folder> writes the fuzzing seed corpus.
TEST(JpegTiffReader, WriteSeeds) {
    const char* dir = std::getenv("RAVLEN_WRITE_SEEDS");
    if (!dir) GTEST_SKIP();
    ExifSpec extras = Camera(ByteOrder::Intel);
    extras.extras = true;
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"camera_intel.jpg", BuildJpeg(BuildTiff(Camera(ByteOrder::Intel)), {Jfif()})},
        {"restart_motorola.jpg", BuildJpeg(BuildTiff(Camera(ByteOrder::Motorola, true)))},
        {"extras_intel.jpg", BuildJpeg(BuildTiff(extras))},
        {"camera_motorola.tif", BuildTiff(Camera(ByteOrder::Motorola))},
        {"restart_intel.tif", BuildTiff(Camera(ByteOrder::Intel, true))},
    };
    for (const auto& [name, bytes] : seeds) std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << bytes;
}

}  // namespace
}  // namespace ravlen::test
