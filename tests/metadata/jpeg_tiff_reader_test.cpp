#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "metadata/tiff_builder.h"
#include "support/temp_dir.h"

namespace ravlen::test {
namespace {

DateTime D(int y, int mo, int d, int h, int mi, int s) { return *DateTime::FromFields(y, mo, d, h, mi, s); }

ExifSpec Camera(ByteOrder order) {
    ExifSpec s;
    s.order = order;
    s.dateTime = "2004:12:26 10:00:00";
    s.original = "2004:12:25 18:09:11";
    s.digitized = "2004:12:25 18:09:12";
    return s;
}

void ExpectCameraDates(const FileFacts& f) {
    EXPECT_EQ(f.EXIFDateModified, D(2004, 12, 26, 10, 0, 0));
    EXPECT_EQ(f.EXIFDateOriginal, D(2004, 12, 25, 18, 9, 11));
    EXPECT_EQ(f.EXIFDateDigitized, D(2004, 12, 25, 18, 9, 12));
}

void Put32(std::string& s, std::size_t at, std::uint32_t v, ByteOrder order) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (order == ByteOrder::Motorola ? 8 * (3 - i) : 8 * i));
}

TEST(JpegTiffReader, CameraJpegLayouts) {
    struct Case {
        ByteOrder order;
        std::vector<std::string> before;
        bool extras;  // maker note and IFD1 thumbnail
    };
    const std::vector<Case> cases = {
        {ByteOrder::Intel, {}, false},
        {ByteOrder::Motorola, {Jfif()}, true},
        {ByteOrder::Intel, {Jfif(), Segment(0xE2, std::string(300, '\x01')), Segment(0xED, "\x02"), Segment(0xEE, "")},
         true},
    };
    for (const auto& c : cases) {
        ExifSpec spec = Camera(c.order);
        spec.makerNote = spec.thumbnail = c.extras;
        const std::string tiff = BuildTiff(spec);
        const std::string jpeg = BuildJpeg(tiff, c.before);
        std::size_t app1 = 2;
        for (const auto& seg : c.before) app1 += seg.size();

        const ReadResult r = ReadBytes(jpeg);
        const FileFacts& f = r.facts;
        EXPECT_TRUE(f.TIFFMetadata);
        EXPECT_FALSE(f.RIFFMetadata || f.CIFFMetadata);
        EXPECT_EQ(f.InternalFormat, "JPEG");
        EXPECT_EQ(f.TIFFByteAlign, ByteOrderName(c.order));
        EXPECT_EQ(f.APPXSkipCount, static_cast<int>(c.before.size()));
        EXPECT_EQ(f.APP1Offset, static_cast<int>(app1 + 2));
        EXPECT_EQ(f.APP1Length, static_cast<int>(tiff.size() + 8));
        EXPECT_EQ(f.TIFFOffset, f.APP1Offset + 8);
        EXPECT_EQ(f.IFD0Offset, f.TIFFOffset + 8);
        EXPECT_EQ(f.IFD0Entries, 2);
        EXPECT_EQ(f.SubIFDEntries, c.extras ? 3 : 2);
        ExpectCameraDates(f);
        EXPECT_EQ(f.Notes, "");
        EXPECT_FALSE(r.restarted);
        EXPECT_TRUE(f.Timestamped);
        // A few small reads: never the rest of APP1, never image data.
        EXPECT_LE(r.bytesRead, 8 + 6 * c.before.size() + 12 + 200);
    }
}

TEST(JpegTiffReader, TiffFilesInBothOrders) {
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        const ReadResult r = ReadBytes(BuildTiff(Camera(order)) + std::string(5000, '\x33'), 1, "IMG_0002.TIF");
        EXPECT_EQ(r.facts.InternalFormat, "TIFF");
        EXPECT_TRUE(r.facts.TIFFMetadata);
        EXPECT_EQ(r.facts.TIFFOffset, 0);
        EXPECT_EQ(r.facts.IFD0Offset, 8);
        EXPECT_EQ(r.facts.APP1Offset, -1);
        ExpectCameraDates(r.facts);
        EXPECT_LT(r.bytesRead, 300u);
    }
}

// The EXIF sub-directory before IFD0's DateTime string: the file is begun
// again without skipping; the note of the first pass is only shown.
TEST(JpegTiffReader, OutOfSequenceSubIfdRestartsOnce) {
    for (ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        ExifSpec spec = Camera(order);
        spec.subIfdBeforeStrings = true;
        for (const std::string& bytes : {BuildJpeg(BuildTiff(spec), {Jfif()}), BuildTiff(spec)}) {
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
}

// Values of tags that are not used are not pointers: a ColorSpace of 0xFFFF
// in Motorola order reads as 0xFFFF0000 and must not end the reading.
TEST(JpegTiffReader, ValuesOfUnusedTagsAreNotPointers) {
    ExifSpec spec = Camera(ByteOrder::Motorola);
    spec.extraIfd0 = {{0xA001, 3, 1, 0xFFFF}, {0x0100, 4, 1, 0x80000000u}};
    spec.extraSub = {{0xA001, 3, 1, 0xFFFF}, {0x9286, 7, 0xFFFFFFFFu, 0xFFFFFFFFu}};
    const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(spec)));
    EXPECT_TRUE(r.facts.TIFFMetadata);
    ExpectCameraDates(r.facts);
    EXPECT_EQ(r.facts.Notes, "");
}

TEST(JpegTiffReader, DateStrings) {
    const std::vector<std::pair<std::string, std::optional<DateTime>>> cases = {
        {"2004:02:29 13:05:09", D(2004, 2, 29, 13, 5, 9)},
        {"2004:13:01 00:00:00", D(2005, 1, 1, 0, 0, 0)},
        {"2004:13:45 25:61:61", D(2005, 2, 15, 2, 2, 1)},
        {"0004:12:25 18:09:11", D(2004, 12, 25, 18, 9, 11)},
        {"0087:12:25 18:09:11", D(1987, 12, 25, 18, 9, 11)},
        {"2004-12-25T18.09.11", D(2004, 12, 25, 18, 9, 11)},  // separators are not looked at
        {" 2004:12:25 18:09:11", std::nullopt},
        {"0000:00:00 00:00:00", std::nullopt},
        {"2004:00:25 18:09:11", std::nullopt},
        {"                   ", std::nullopt},
        {"", std::nullopt},
        {"2004:12:25 18:09:1x", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        ExifSpec spec;
        spec.dateTime = text;
        spec.subIfd = false;
        const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(spec)));
        EXPECT_EQ(r.facts.EXIFDateModified, expected) << text;
        EXPECT_TRUE(r.facts.TIFFMetadata) << text;
        EXPECT_EQ(r.facts.Notes, "") << text;
    }
    // Twenty bytes without a terminator are still read as a date.
    ExifSpec spec;
    spec.subIfd = false;
    spec.dateTime = "2004:12:25 18:09:11Z";
    EXPECT_EQ(ReadBytes(BuildJpeg(BuildTiff(spec))).facts.EXIFDateModified, D(2004, 12, 25, 18, 9, 11));
}

// Structural faults: the note (mode 1 only) and what stays found.
TEST(JpegTiffReader, StructuralFaults) {
    const ExifSpec spec = Camera(ByteOrder::Intel);
    const std::string tiff = BuildTiff(spec);  // IFD0 at 8: DateTime entry at 10, EXIF pointer entry at 22
    auto withTiff = [&](auto edit) {
        std::string t = tiff;
        edit(t);
        return BuildJpeg(t);
    };
    const std::size_t sub = 8 + 2 + 24 + 4 + 20;
    struct Case {
        std::string bytes;
        std::string note;
        bool tiffValid;
        bool dateTimeFound;
    };
    const std::vector<Case> cases = {
        {std::string("\xFF\xD8\xFF\xE0\x00\x01", 6) + std::string(40, '\0'), " contains an invalid TIFF APPx length descriptor.", false, false},
        {std::string("\xFF\xD8\xFF\xE0\x7F\xFF", 6) + std::string(40, '\0'), " contains an invalid TIFF APPx length descriptor.", false, false},
        {std::string("\xFF\xD8\xFF\xE1\x00\x10" "Exif\0\0II", 14), " contains an invalid EXIF APP1 length descriptor.", false, false},
        {"\xFF\xD8" + Jfif() + std::string(BuildJpeg("").substr(2 + 4 + 6)), " does not contain a valid EXIF APP1 tag.", false, false},
        {BuildJpeg(tiff, {}, std::string("Exit\0\0", 6)), " contains an invalid EXIF APP1 header string.", false, false},
        {withTiff([](std::string& t) { t[1] = 'M'; }), " contains an invalid EXIF APP1 TIFF header.", false, false},
        {withTiff([](std::string& t) { Put32(t, 4, 4, ByteOrder::Intel); }), " contains an invalid TIFF IFD0 offset.", false, false},
        {withTiff([](std::string& t) { Put32(t, 4, 0x7FFFFF00, ByteOrder::Intel); }), " contains an invalid TIFF IFD0 offset.", false, false},
        {withTiff([](std::string& t) { t[8] = t[9] = '\xFF'; }), " contains an invalid TIFF IFD0 directory entry count.", false, false},
        {withTiff([](std::string& t) { Put32(t, 30, 0x00FFFFFF, ByteOrder::Intel); }), " contains an invalid TIFF SubIFD offset.", false, true},
        {withTiff([&](std::string& t) { t[sub] = t[sub + 1] = '\xFF'; }),
         "Proceeding with parsing of IMG_0001.JPG even though it contains an invalid SubIFD directory entry count.", true, true},
        {BuildJpeg(tiff, {}, std::string("Exif\0\x01", 6)),
         "Proceeding with parsing of IMG_0001.JPG even though it contains a non-standard EXIF APP1 header string.", true, true},
    };
    for (const auto& c : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(c.bytes, mode);
            const bool proceeding = c.note.starts_with("Proceeding");
            EXPECT_EQ(r.facts.Notes, proceeding ? c.note : mode == 1 ? "IMG_0001.JPG" + c.note : "") << c.note;
            EXPECT_EQ(r.facts.TIFFMetadata, c.tiffValid) << c.note;
            EXPECT_EQ(r.facts.EXIFDateModified.has_value(), c.dateTimeFound) << c.note;
            EXPECT_EQ(r.facts.Timestamped, c.tiffValid || mode == 2) << c.note;
            EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, c.tiffValid || mode == 2 ? 0 : 1) << c.note;
            if (!r.port.messages.empty()) {
                EXPECT_EQ(r.port.messages[0].icon, proceeding ? MsgIcon::Information : MsgIcon::Exclamation);
            }
        }
    }
}

// An XMP packet in the first APP1: both header notes; later APP1 segments are
// not examined.
TEST(JpegTiffReader, XmpInFirstApp1) {
    const std::string xmp = Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + std::string(40, ' '));
    const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(Camera(ByteOrder::Intel)), {xmp}));
    EXPECT_EQ(r.facts.Notes,
              "Proceeding with parsing of IMG_0001.JPG even though it contains a non-standard EXIF APP1 header string. "
              "IMG_0001.JPG contains an invalid EXIF APP1 header string.");
    EXPECT_FALSE(r.facts.TIFFMetadata);
    EXPECT_FALSE(r.facts.EXIFDateOriginal);
}

// Unexpected failures end the reading with the critical note in every mode.
TEST(JpegTiffReader, FaultPath) {
    ExifSpec late = Camera(ByteOrder::Motorola);
    late.dateTime = "9999:12:31 24:00:00";
    std::string bigPointer = BuildTiff(Camera(ByteOrder::Motorola));
    Put32(bigPointer, 10 + 8, 0x80000000u, ByteOrder::Motorola);
    std::string manySegments = "\xFF\xD8";
    for (int i = 0; i < 32768; ++i) manySegments += std::string("\xFF\xFE\x00\x02", 4);
    manySegments += BuildJpeg(BuildTiff(Camera(ByteOrder::Intel))).substr(2);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {BuildJpeg(bigPointer), "Error 6: Overflow"},
        {BuildJpeg(BuildTiff(late)), "Error 13: Type mismatch"},
        {std::string("\xFF\xD8\xFF\xE0\x00\x10", 6) + std::string(18, 'j'), "Error 62: Input past end of file"},
        {manySegments, "Error 6: Overflow"},
    };
    for (const auto& [bytes, error] : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(bytes, mode);
            EXPECT_EQ(r.facts.Notes, "Unable to extract metadata from IMG_0001.JPG due to the following: " + error +
                                         ". If this problem persists, please contact Morvane for assistance.");
            ASSERT_EQ(r.port.messages.size(), 1u);
            EXPECT_EQ(r.port.messages[0].icon, MsgIcon::Critical);
            EXPECT_FALSE(r.facts.TIFFMetadata || r.facts.RIFFMetadata || r.facts.CIFFMetadata);
            EXPECT_EQ(r.facts.Timestamped, mode == 2);
        }
    }
}

// Every truncation of a camera file ends in a consistent state: no crash, and
// in the strict mode a note and the skip whenever the metadata is not valid.
TEST(JpegTiffReader, EveryTruncationIsHandled) {
    ExifSpec spec = Camera(ByteOrder::Motorola);
    spec.subIfdBeforeStrings = true;
    const std::string jpeg = BuildJpeg(BuildTiff(spec), {Jfif()});
    for (std::size_t n = 0; n < jpeg.size(); ++n) {
        const ReadResult r = ReadBytes(jpeg.substr(0, n));
        if (r.facts.TIFFMetadata) continue;
        EXPECT_FALSE(r.facts.Timestamped) << n;
        EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, 1) << n;
        EXPECT_NE(r.facts.Notes, "") << n;
    }
}

// A sub-directory pointer back at IFD0 costs one restart and nothing more.
TEST(JpegTiffReader, SubIfdPointingAtIfd0) {
    std::string tiff = BuildTiff(Camera(ByteOrder::Intel));
    Put32(tiff, 30, 8, ByteOrder::Intel);
    const ReadResult r = ReadBytes(BuildJpeg(tiff));
    EXPECT_TRUE(r.restarted);
    EXPECT_TRUE(r.facts.TIFFMetadata);
    EXPECT_EQ(r.facts.SubIFDEntries, 2);
    EXPECT_FALSE(r.facts.EXIFDateOriginal);
}

// A JPEG written by general tools (exiftool stores ColorSpace 0xFFFF in
// Motorola order, among other values that are not pointers).
TEST(JpegTiffReader, RealJpegFromImageTools) {
    TempDir dir;
    const std::string path = dir / "x.jpg";
    const std::string make = "(convert -size 64x64 xc:red '" + path + "' || ffmpeg -loglevel quiet -f lavfi -i color=red:s=64x64 -frames:v 1 '" +
                             path + "') >/dev/null 2>&1 && exiftool -q -DateTimeOriginal='2004:12:25 18:09:11' -overwrite_original '" +
                             path + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no image tools to make a JPEG";
    const ReadResult r = ReadBytes(ReadAll(path));
    EXPECT_TRUE(r.facts.TIFFMetadata);
    EXPECT_EQ(r.facts.APPXSkipCount, 1);
    EXPECT_EQ(r.facts.EXIFDateOriginal, D(2004, 12, 25, 18, 9, 11));
    EXPECT_EQ(r.facts.Notes, "");
}

// RAVLEN_WRITE_SEEDS=<folder> writes the fuzzing seed corpus.
TEST(JpegTiffReader, WriteSeeds) {
    const char* dir = std::getenv("RAVLEN_WRITE_SEEDS");
    if (!dir) GTEST_SKIP();
    ExifSpec restart = Camera(ByteOrder::Motorola);
    restart.subIfdBeforeStrings = true;
    ExifSpec extras = Camera(ByteOrder::Intel);
    extras.makerNote = extras.thumbnail = true;
    const std::vector<std::pair<std::string, std::string>> seeds = {
        {"camera_intel.jpg", BuildJpeg(BuildTiff(Camera(ByteOrder::Intel)), {Jfif()})},
        {"restart_motorola.jpg", BuildJpeg(BuildTiff(restart))},
        {"extras_intel.jpg", BuildJpeg(BuildTiff(extras))},
        {"camera_motorola.tif", BuildTiff(Camera(ByteOrder::Motorola))},
        {"restart_intel.tif", BuildTiff([] { ExifSpec s = Camera(ByteOrder::Intel); s.subIfdBeforeStrings = true; return s; }())},
    };
    for (const auto& [name, bytes] : seeds) std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << bytes;
}

}  // namespace
}  // namespace ravlen::test
