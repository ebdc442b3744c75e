#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

const ByteOrder I = ByteOrder::Intel, M = ByteOrder::Motorola;
ExifLayout Camera(ByteOrder order, bool subIfdFirst = false, std::size_t gap = 0) {
    return {order, "2004:12:26 10:00:00", "2004:12:25 18:09:11", "2004:12:25 18:09:12", subIfdFirst, gap, {}, {}};
}
const std::string kRestartNote =
    "Proceeding with parsing of IMG_0001.JPG even though it contains an out-of-sequence TIFF APP1 SubIFD.";
void ExpectCameraDates(const FileFacts& f) {  // modified, original, digitized
    EXPECT_EQ(std::tuple(f.EXIFDateModified, f.EXIFDateOriginal, f.EXIFDateDigitized),
              std::tuple(D(2004, 12, 26, 10, 0, 0), D(2004, 12, 25, 18, 9, 11), D(2004, 12, 25, 18, 9, 12)));
}

// Both byte orders, APPn before APP1, IFD0 away from the header, and the sub-directory before IFD0's
// DateTime string: the file is then begun again without skipping; the first pass's note is only shown.
TEST(JpegTiffReader, CameraLayouts) {
    const std::vector<std::string> none, jfif{Jfif()},
        appn{Jfif(), Segment(0xE2, std::string(300, 'a')), Segment(0xEE, "")};
    for (const auto& [order, before, gap, jpeg, restart] :
         {std::tuple{I, none, 0, true, false}, {M, appn, 100, true, false}, {I, none, 0, false, false},
          {I, jfif, 0, true, true}, {M, none, 30, false, true}}) {
        const std::string tiff = BuildTiff(Camera(order, restart, gap));
        const ReadResult r = ReadBytes(jpeg ? BuildJpeg(tiff, before) : tiff + std::string(5000, 'i'));
        const FileFacts& f = r.facts;
        int app1 = 4;
        for (const auto& seg : before) app1 += static_cast<int>(seg.size());
        EXPECT_EQ(f.InternalFormat + f.TIFFByteAlign, (jpeg ? "JPEG" : "TIFF") + std::string(ByteOrderName(order)));
        const int skipped = static_cast<int>(before.size()), length = static_cast<int>(tiff.size()) + 8;
        const int at = jpeg ? app1 + 8 : 0;  // the TIFF header
        EXPECT_EQ(std::tuple(f.APPXSkipCount, f.APP1Offset, f.APP1Length, f.TIFFOffset, f.IFD0Offset),
                  std::tuple(skipped, jpeg ? app1 : -1, jpeg ? length : -1, at, at + 8 + gap));
        EXPECT_EQ(std::tuple(f.IFD0Entries, f.SubIFDEntries), std::tuple(2, 2));
        EXPECT_EQ(r.restarted, restart);
        EXPECT_EQ(ValidFormats(f), "TIFF");
        EXPECT_EQ(f.Notes, "");
        ExpectCameraDates(f);
        EXPECT_EQ(r.port.messages.size(), restart ? 1u : 0u);
        // Shown once on a restart; otherwise a few small reads, never the rest of APP1 or the image data.
        EXPECT_TRUE(restart ? r.port.messages.at(0).text == kRestartNote : r.bytesRead <= 20 + 6 * before.size() + 150);
    }
}

// A restart that skipped nothing reads on from the bytes already read: one stream, each byte read once.
// Date strings before IFD0 (an editor's re-save) that the first pass skipped ask for the same restart,
// without a note, in either date mode; the second pass then reads everything from the start.
TEST(JpegTiffReader, RestartsReuseWhatWasRead) {
    const std::string tiff = BuildTiff(Camera(I, true));
    const ReadResult again = ReadBytes(BuildJpeg(tiff));
    EXPECT_TRUE(again.restarted);
    EXPECT_EQ(again.streams, 1);
    EXPECT_EQ(again.bytesRead, 12 + tiff.size());  // SOI, APP1 header, identifier, then the TIFF block
    ExpectCameraDates(again.facts);
    EXPECT_EQ(ReadBytes(BuildJpeg(tiff, {Jfif()})).streams, 2);  // the first pass skipped the JFIF segment

    ExifLayout early = Camera(M, false, 300);
    early.stringsFirst = true;
    const std::string bytes = BuildJpeg(BuildTiff(early), {Jfif()});
    for (int mode : {1, 2}) {
        const ReadResult r = ReadBytes(bytes, mode);
        EXPECT_TRUE(r.restarted);
        EXPECT_EQ(r.facts.Notes, "");
        EXPECT_TRUE(r.port.messages.empty());
        EXPECT_EQ(r.facts.IFD0Offset, 2 + 18 + 10 + 8 + 60 + 300);  // SOI, JFIF, APP1 up to the header, strings, gap
        ExpectCameraDates(r.facts);
    }
}

// Values of tags that are not used are not pointers: a ColorSpace of 0xFFFF
// in Motorola order reads as 0xFFFF0000 and must not end the reading.
TEST(JpegTiffReader, ValuesOfUnusedTagsAreNotPointers) {
    ExifLayout layout = Camera(M);
    layout.extraIfd0 = {{0xA001, 3, 0xFFFF}, {0x0100, 4, 0x80000000u}};
    layout.extraSub = {{0xA001, 3, 0xFFFF}, {0x9286, 7, 0xFFFFFFFFu}};
    const ReadResult r = ReadBytes(BuildJpeg(BuildTiff(layout)));
    EXPECT_EQ(ValidFormats(r.facts), "TIFF");
    EXPECT_EQ(r.facts.Notes, "");
    ExpectCameraDates(r.facts);
}

TEST(JpegTiffReader, DateStrings) {
    const DateTime x = D(2004, 12, 25, 18, 9, 11);
    for (const auto& [text, expected] : std::vector<std::pair<std::string, std::optional<DateTime>>>{
             {"2004:02:29 13:05:09", D(2004, 2, 29, 13, 5, 9)}, {"2004:13:45 25:61:61", D(2005, 2, 15, 2, 2, 1)},
             {"0004:12:25 18:09:11", x}, {"0087:12:25 18:09:11", D(1987, 12, 25, 18, 9, 11)},
             // Years 1 to 29 are 2001 to 2029, 30 to 99 are 1930 to 1999; from 100 on as written.
             {"0001:12:25 18:09:11", D(2001, 12, 25, 18, 9, 11)}, {"0029:12:25 18:09:11", D(2029, 12, 25, 18, 9, 11)},
             {"0030:12:25 18:09:11", D(1930, 12, 25, 18, 9, 11)}, {"0099:12:25 18:09:11", D(1999, 12, 25, 18, 9, 11)},
             {"0100:12:25 18:09:11", D(100, 12, 25, 18, 9, 11)},
             {"2004-12-25T18.09.11", x}, {"2004:12:25 18:09:11Z", x}, {" 2004:12:25 18:09:11", {}},
             {"0000:00:00 00:00:00", {}}, {"2004:00:25 18:09:11", {}}, {"                   ", {}}, {"", {}},
             {"2004:12:25 18:09:1x", {}}}) {
        const ReadResult r = ReadBytes(BuildJpeg(BuildTiff({I, text, {}, {}, false, 0, {}, {}})));
        EXPECT_EQ(r.facts.EXIFDateModified, expected) << text;
        EXPECT_EQ(ValidFormats(r.facts), "TIFF") << text;
        EXPECT_EQ(r.facts.Notes, "") << text;
    }
}

TEST(JpegTiffReader, StructuralFaults) {
    const std::string tiff = BuildTiff(Camera(I));  // EXIF pointer at 30, sub-directory at 58
    auto edited = [&](std::size_t at, std::uint32_t v, int n) {
        std::string t = tiff;
        PutNumber(t, at, v, n);
        return BuildJpeg(t);
    };
    const std::string bad = " contains an invalid ";
    ExpectNotes({{std::string("riff\0\0\0\0", 8), " is not a valid JPEG, TIFF, or RIFF file."},
                 {std::string("\xFF\xD8\xFF\xE1\0\x10\0", 7), " is too small to be a valid JPEG, TIFF, or RIFF file."},
                 {std::string("\xFF\xD8\xFF\xE0\0\x01", 6) + Jfif(), bad + "TIFF APPx length descriptor."},
                 {std::string("\xFF\xD8\xFF\xE0\x7F\xFF", 6) + Jfif(), bad + "TIFF APPx length descriptor."},
                 {std::string("\xFF\xD8\xFF\xE1\0\x10" "Exif\0\0II", 14), bad + "EXIF APP1 length descriptor."},
                 {"\xFF\xD8" + Jfif() + BuildJpeg("").substr(12), " does not contain a valid EXIF APP1 tag."},
                 {edited(0, 'I' | 'M' << 8, 2), bad + "EXIF APP1 TIFF header."},
                 {edited(4, 4, 4), bad + "TIFF IFD0 offset."},
                 {edited(4, 0x7FFFFF00, 4), bad + "TIFF IFD0 offset."},
                 {edited(8, 0xFFFF, 2), bad + "TIFF IFD0 directory entry count."},
                 {edited(30, 0xFFFFFF, 4), bad + "TIFF SubIFD offset."}});
    // Notes that are only shown; a wrong identifier after one still ends the reading. An XMP APP1 without
    // an EXIF APP1 among the APPn segments after it stands as the first APP1: a quantization table, another
    // APP1, the file's end come first.
    const std::string odd = "a non-standard EXIF APP1 header string.", xmp = Xmp(), table = Segment(0xDB, "q");
    const std::string extension = Segment(0xE1, std::string("http://ns.adobe.com/xmp/extension/\0", 35));
    for (const auto& [bytes, note, valid] : {std::tuple{BuildJpeg(tiff, {}, std::string("Exif\0\x01", 6)), odd, true},
                                             {edited(58, 0xFFFF, 2), "an invalid SubIFD directory entry count.", true},
                                             {BuildJpeg(tiff, {xmp, table}), odd, false},
                                             {BuildJpeg(tiff, {Jfif(), xmp, extension}), odd, false},
                                             {"\xFF\xD8" + xmp + "\xFF\xE1\0\x30" "Exif", odd, false}}) {
        EXPECT_TRUE(valid || ReadBytes(bytes).facts.APP1Offset == static_cast<int>(bytes.find(xmp)) + 2);
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(bytes, mode);
            const bool kept = valid || mode == 2;
            const std::string then = kept ? "" : " IMG_0001.JPG" + bad + "EXIF APP1 header string.";
            EXPECT_EQ(r.facts.Notes, "Proceeding with parsing of IMG_0001.JPG even though it contains " + note + then);
            EXPECT_EQ(r.facts.TIFFMetadata, valid) << note;
            EXPECT_EQ(r.facts.EXIFDateModified.has_value(), valid) << note;
            EXPECT_EQ(r.facts.Timestamped, kept) << note;
            EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, kept ? 0 : 1) << note;
            EXPECT_EQ(r.port.messages.at(0).icon, MsgIcon::Information);
        }
    }
}

// An XMP APP1 before the EXIF APP1 (a 360° camera's photo) is passed over like the other APPn segments,
// with or without the restart and in both date modes. Both segments in the first 64 KiB cost one read
// after the APP1's identifier, however large the XMP packet.
TEST(JpegTiffReader, ExifAfterXmp) {
    for (const auto& [before, restart] : {std::pair{std::vector{Xmp()}, false}, {std::vector{Xmp(20000)}, false},
                                          {std::vector{Jfif(), Xmp(), Segment(0xE2, "icc")}, true}}) {
        const std::string tiff = BuildTiff(Camera(M, restart)), bytes = BuildJpeg(tiff, before);
        const int app1 = static_cast<int>(bytes.find("Exif")) - 2;
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(bytes, mode);
            const FileFacts& f = r.facts;
            EXPECT_EQ(ValidFormats(f), "TIFF");
            EXPECT_EQ(f.Notes, "");
            EXPECT_TRUE(f.Timestamped);
            EXPECT_EQ(std::tuple(f.APPXSkipCount, f.APP1Offset, f.APP1Length, f.TIFFOffset),
                      std::tuple(static_cast<int>(before.size()), app1, static_cast<int>(tiff.size()) + 8, app1 + 8));
            ExpectCameraDates(f);
            EXPECT_EQ(r.restarted, restart);
            // The restart's note is shown; otherwise the first bytes, the APP1's head, the read ahead.
            EXPECT_TRUE(restart ? r.port.messages.at(0).text == kRestartNote : r.reads <= 3) << r.reads;
        }
    }
    ExpectSeedsDated({"jpeg_tiff/tools_xmp_first.jpg"}, D(2019, 7, 25, 3, 30, 0));  // exiftool's segments swapped
}

// Every truncation of a file that needs the restart; a sub-directory pointer back at IFD0 (one restart,
// no more); failures (a pointer of 2^31, a date past 9999, a short file, 32768 segments) with the critical note.
TEST(JpegTiffReader, HostileInput) {
    ExpectEveryTruncationHandled(BuildJpeg(BuildTiff(Camera(M, true)), {Jfif()}));
    std::string loop = BuildTiff(Camera(I)), bigPointer = BuildTiff(Camera(M)), manySegments = "\xFF\xD8";
    PutNumber(loop, 30, 8, 4);
    const ReadResult r = ReadBytes(BuildJpeg(loop));
    EXPECT_TRUE(r.restarted);
    EXPECT_EQ(ValidFormats(r.facts), "TIFF");
    EXPECT_EQ(r.facts.SubIFDEntries, 2);

    ExifLayout late = Camera(M);
    late.dateTime = "9999:12:31 24:00:00";
    PutNumber(bigPointer, 18, 0x80000000u, 4, M);
    for (int i = 0; i < 32768; ++i) manySegments += std::string("\xFF\xFE\0\x02", 4);
    for (const auto& [bytes, error] : std::vector<std::pair<std::string, std::string>>{
             {BuildJpeg(bigPointer), "6: Overflow"},
             {BuildJpeg(BuildTiff(late)), "13: Type mismatch"},
             {std::string("\xFF\xD8\xFF\xE0\0\x10", 6) + std::string(18, 'j'), "62: Input past end of file"},
             {manySegments + BuildJpeg(BuildTiff(Camera(I))).substr(2), "6: Overflow"}}) {
        for (int mode : {1, 2}) {
            const ReadResult f = ReadBytes(bytes, mode);
            EXPECT_EQ(f.facts.Notes, FaultNote(error));
            ASSERT_EQ(f.port.messages.size(), 1u) << error;
            EXPECT_EQ(f.port.messages[0].icon, MsgIcon::Critical) << error;
            EXPECT_EQ(ValidFormats(f.facts), "") << error;
            EXPECT_EQ(f.facts.Timestamped, mode == 2) << error;
        }
    }
}

// A TIFF block already in memory (a container's Exif item): the same fields and dates as a TIFF file, with
// offsets as file offsets; strings before IFD0 are at hand too; a damaged block takes the usual notes and faults.
struct BlockResult { FileFacts facts; FakePort port; std::string fault; };
BlockResult ReadBlock(const std::string& block) {
    BlockResult r;
    r.facts.SourceFileName = "IMG_0001.HEIC";
    MetadataPass pass;
    ReaderContext ctx{r.facts, pass, true, ProblemReporter{r.port, true}};
    try {
        ReadTIFFBlock(ctx, ByteSpan(block), 1000);
    } catch (const MetadataFault& f) {
        r.fault = f.what();
    }
    return r;
}

TEST(JpegTiffReader, TiffBlockInMemory) {
    for (const ByteOrder order : {I, M}) {
        const BlockResult r = ReadBlock(BuildTiff(Camera(order, true, 40)));
        const FileFacts& f = r.facts;
        EXPECT_TRUE(f.TIFFMetadata);
        EXPECT_EQ(f.Notes, "");
        EXPECT_EQ(f.TIFFByteAlign, ByteOrderName(order));
        EXPECT_EQ(std::tuple(f.TIFFOffset, f.IFD0Offset, f.IFD0Entries, f.SubIFDEntries), std::tuple(1000, 1048, 2, 2));
        ExpectCameraDates(f);
    }
    const std::string tiff = BuildTiff(Camera(I));  // EXIF pointer at 30, sub-directory at 58
    std::string bigPointer = tiff;
    PutNumber(bigPointer, 30, 0x80000000u, 4);
    const std::string bad = "IMG_0001.HEIC contains an invalid ";
    for (const auto& [block, note] : std::vector<std::pair<std::string, std::string>>{
             {"MM\0*", bad + "TIFF header."},
             {tiff.substr(0, 20), bad + "TIFF IFD0 directory entry count."},
             {tiff.substr(0, 59), bad + "TIFF SubIFD offset."}}) {
        const BlockResult r = ReadBlock(block);
        EXPECT_FALSE(r.facts.TIFFMetadata) << note;
        EXPECT_EQ(r.facts.Notes, note);
    }
    EXPECT_EQ(ReadBlock(bigPointer).fault, "Overflow");
}

// Olympus and Panasonic raws: TIFF under signatures of their own (RW2's IFD0 at 0x18).
TEST(JpegTiffReader, RawsWithOtherSignatures) {
    for (const auto& [signature, order, format] : {std::tuple{"IIRO", I, "ORF"}, {"IIRS", I, "ORF"},
                                                   {"MMOR", M, "ORF"}, {"IIU", I, "RW2"}}) {
        std::string raw = BuildTiff(Camera(order, false, 16)) + std::string(3000, 'r');
        raw.replace(0, 4, std::string(signature, 4));
        const ReadResult r = ReadBytes(raw);
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << signature;
        EXPECT_EQ(std::tuple(r.facts.InternalFormat, r.facts.IFD0Offset), std::tuple(format, 0x18)) << signature;
        ExpectCameraDates(r.facts);
    }
}

// A BigTIFF of either byte order: 8-byte counts and offsets, 20-byte
// entries; the Exif pointer as an IFD8 or as a LONG in the first half of its
// field; a camera name inside the entry. Its strings after the directories, or
// before IFD0 as libtiff's tiffcp -8 leaves them (read on a second pass).
std::string BigTiff(ByteOrder o, std::uint16_t exifType, std::uint64_t count = 3) {
    auto num = [o](std::uint64_t v, int n) {
        std::string s(n, '\0');
        for (int i = 0; i < n; ++i) s[o == ByteOrder::Intel ? i : n - 1 - i] = static_cast<char>(v >> (8 * i));
        return s;
    };
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint64_t n, const std::string& value) {
        return num(tag, 2) + num(type, 2) + num(n, 8) + value + std::string(8 - value.size(), '\0');
    };
    const std::string exifValue = exifType == 4 ? num(92, 4) : num(92, 8);
    return (o == ByteOrder::Intel ? "II" : "MM") + num(0x2B, 2) + num(8, 2) + num(0, 2) + num(16, 8) + num(count, 8) +
           entry(0x010F, 2, 3, std::string("Te\0", 3)) + entry(0x0132, 2, 20, num(128, 8)) +
           entry(0x8769, exifType, 1, exifValue) + num(0, 8) + num(1, 8) + entry(0x9003, 2, 20, num(148, 8)) +
           num(0, 8) + std::string("2019:07:15 10:00:00\0", 20) + std::string("2019:07:14 09:08:07\0", 20);
}

TEST(JpegTiffReader, BigTiff) {
    for (ByteOrder o : {I, M}) {
        for (std::uint16_t type : {4, 18}) {
            const ReadResult r = ReadBytes(BigTiff(o, type) + std::string(1000, 'p'));
            const FileFacts& f = r.facts;
            EXPECT_TRUE(f.InternalFormat == "TIFF" && f.TIFFMetadata && f.Notes.empty()) << f.Notes;
            EXPECT_EQ(std::tuple(f.IFD0Offset, f.IFD0Entries, f.SubIFDOffset, f.SubIFDEntries, f.CameraMake),
                      std::tuple(16, 3, 92, 1, "Te"));
            EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.EXIFDateModified),
                      std::tuple(D(2019, 7, 14, 9, 8, 7), D(2019, 7, 15, 10)));
        }
        ExpectNotes({{BigTiff(o, 18, 0x10000), " contains an invalid TIFF IFD0 directory entry count."},
                     {BigTiff(o, 18).substr(0, 12), " contains an invalid TIFF IFD0 offset."}});
    }
    for (const char* name : {"jpeg_tiff/tiffcp_bigtiff_intel.tif", "jpeg_tiff/tiffcp_bigtiff_motorola.tif"}) {
        const ReadResult r = ReadBytes(*FileBytes(kSeeds + name));
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << name << r.facts.Notes;
        EXPECT_EQ(std::tuple(r.facts.EXIFDateModified, r.facts.CameraMake, r.facts.CameraModel),
                  std::tuple(D(2019, 7, 15, 10), "Testo", "Big One")) << name;
    }
    ExpectEveryTruncationHandled(BigTiff(M, 4));
}

// DateTimeOriginal kept in IFD0 itself serves when the Exif directory is cut off with the file's end,
// or does not hold one.
TEST(JpegTiffReader, DateTimeOriginalInIfd0) {
    ExifLayout layout = Camera(I);
    layout.extraIfd0 = {{0x9003, 2}};  // the same string as the Exif directory's
    const std::string tiff = BuildTiff(layout);
    const ReadResult whole = ReadBytes(tiff);
    EXPECT_TRUE(whole.facts.TIFFMetadata && whole.facts.Notes.empty());
    ExpectCameraDates(whole.facts);
    std::string cut = tiff;
    PutNumber(cut, 30, static_cast<std::uint32_t>(tiff.size()) + 1000, 4);  // the Exif pointer
    for (int mode : {1, 2}) {
        const ReadResult r = ReadBytes(cut, mode);
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Timestamped);
        EXPECT_EQ(r.facts.EXIFDateOriginal, D(2004, 12, 25, 18, 9, 11));
        EXPECT_FALSE(r.facts.EXIFDateDigitized);
        EXPECT_EQ(r.facts.Notes,
                  "Proceeding with parsing of IMG_0001.JPG even though it contains an invalid TIFF SubIFD offset.");
    }
    // DateTimeDigitized in IFD0 alone (an editor's save) serves before the edit's DateTime.
    ExifLayout edited = Camera(I);
    edited.original.reset();
    edited.extraIfd0 = {{0x9004, 2}};
    std::string noExif = BuildTiff(edited);
    PutNumber(noExif, 30, static_cast<std::uint32_t>(noExif.size()) + 1000, 4);
    const ReadResult e = ReadBytes(noExif, 2);
    EXPECT_EQ(std::tuple(e.facts.EXIFDateOriginal, e.facts.EXIFDateDigitized),
              std::tuple(std::optional<DateTime>(), D(2004, 12, 25, 18, 9, 12)));
    EXPECT_TRUE(e.facts.TIFFMetadata && e.facts.Timestamped);
    std::string elsewhere = tiff;
    PutNumber(elsewhere, 72, 0x9010, 2);  // the Exif directory's entry becomes another tag
    const ReadResult r = ReadBytes(elsewhere);
    EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty() && r.facts.SubIFDEntries == 2);
    ExpectCameraDates(r.facts);
}

// Make, Model and the body's serial number: a text before IFD0 (as some
// editors write it), one held in its entry, one after the Exif directory.
std::string CameraTiff(std::uint32_t makePointer = 8) {
    std::string s = "II*" + std::string(1, '\0') + Le32(16) + std::string("Maker\0\0\0", 8);
    const auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, const std::string& value) {
        s += std::string{char(tag), char(tag >> 8), char(type), '\0'} + Le32(count) + value;
    };
    s += std::string{3, 0};
    entry(0x010F, 2, 6, Le32(makePointer));
    entry(0x0110, 2, 3, std::string("M1\0\0", 4));
    entry(0x8769, 4, 1, Le32(58));
    s += Le32(0) + std::string{2, 0};
    entry(0x9003, 2, 20, Le32(88));
    entry(0xA431, 2, 8, Le32(108));
    return s + Le32(0) + std::string("2024:05:06 07:08:09\0", 20) + std::string(" SN\t42 \0", 8);
}

TEST(JpegTiffReader, CameraMakeModelAndSerial) {
    for (const std::string& bytes : {CameraTiff(), BuildJpeg(CameraTiff())}) {
        const ReadResult r = ReadBytes(bytes, 1, -1, true);
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << r.facts.Notes;
        EXPECT_EQ(r.facts.EXIFDateOriginal, D(2024, 5, 6, 7, 8, 9));
        EXPECT_EQ(r.facts.CameraMake, "Maker");
        EXPECT_EQ(r.facts.CameraModel, "M1");
        EXPECT_EQ(r.facts.CameraSerial, "SN 42");  // a tab becomes a blank: names go into tab-separated lists
    }
    // A serial number after a long maker note costs a read, taken in every run.
    const auto cr2 = FileBytes(kSamples + "canon.raw.cr2");
    EXPECT_TRUE(cr2 || !SamplesPresent());
    if (cr2) {
        EXPECT_EQ(ReadBytes(*cr2).facts.CameraSerial, "242242000489");
        const FileFacts f = ReadBytes(*cr2, 1, -1, true).facts;
        EXPECT_EQ(f.CameraMake + "/" + f.CameraModel + "/" + f.CameraSerial, "Canon/Canon EOS REBEL T5i/242242000489");
    }
    // A damaged pointer costs the name, never the dates.
    const ReadResult r = ReadBytes(BuildJpeg(CameraTiff(0xFFFFFFF0u)), 1, -1, true);
    EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << r.facts.Notes;
    EXPECT_EQ(r.facts.EXIFDateOriginal, D(2024, 5, 6, 7, 8, 9));
    EXPECT_EQ(r.facts.CameraMake, "");
    EXPECT_EQ(r.facts.CameraModel, "M1");
}

// exiftool's OffsetTime tags, SubSecTimeOriginal and GPS directory (a clock 3 min 20 s slow of its
// GPS): read within the first read's bytes, in either byte order; a damaged GPS pointer costs the GPS
// facts only.
TEST(JpegTiffReader, ZoneOffsetsAndGps) {
    const auto seed = FileBytes(kSeeds + "jpeg_tiff/gps_zone.jpg");
    ASSERT_TRUE(seed);
    const auto intel = FileBytes(kSeeds + "jpeg_tiff/gps_zone_intel.jpg");
    ASSERT_TRUE(intel);
    for (const std::string& bytes : {*seed, *intel}) {
        const ReadResult r = ReadBytes(bytes);
        const FileFacts& f = r.facts;
        EXPECT_TRUE(f.TIFFMetadata && f.Notes.empty()) << f.Notes;
        EXPECT_EQ(f.EXIFDateOriginal, D(2023, 3, 12, 7, 15, 30));
        EXPECT_EQ(std::tuple(f.EXIFOffsetOriginal, f.EXIFOffsetDigitized, f.EXIFOffsetModified),
                  std::tuple(540, 540, 540));
        EXPECT_EQ(f.EXIFSubSecOriginal, "42");
        EXPECT_EQ(f.GPSDateTime, D(2023, 3, 11, 22, 18, 50));
        ASSERT_TRUE(f.Latitude && f.Longitude);
        EXPECT_NEAR(*f.Latitude, 35.658581, 1e-6);
        EXPECT_NEAR(*f.Longitude, 139.745433, 1e-6);
        EXPECT_EQ(f.PositionSource, "GPS");
        EXPECT_LE(r.bytesRead, bytes.size());
    }
    std::string damaged = *seed;
    const auto gps = damaged.find(std::string("\x88\x25\x00\x04\x00\x00\x00\x01", 8));
    ASSERT_NE(gps, std::string::npos);
    damaged.replace(gps + 8, 4, "\xFF\xFF\xFF\xF0");
    const FileFacts f = ReadBytes(damaged).facts;
    EXPECT_TRUE(f.TIFFMetadata && f.Notes.empty()) << f.Notes;
    EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.EXIFOffsetOriginal), std::tuple(D(2023, 3, 12, 7, 15, 30), 540));
    EXPECT_FALSE(f.GPSDateTime || f.Latitude);
}

}  // namespace
}  // namespace ravlen::test

namespace ravlen::test {
namespace {

// A little-endian TIFF whose IFD0 holds `ifd0` and whose Exif directory
// holds DateTimeOriginal and `sub`, each an ASCII tag and its text; `gap`
// bytes (a maker note) lie between the date and the other texts.
std::string TextsTiff(const std::vector<std::pair<std::uint16_t, std::string>>& ifd0,
                      const std::vector<std::pair<std::uint16_t, std::string>>& sub, std::size_t gap = 0) {
    const auto dirSize = [](std::size_t n) { return 2 + 12 * n + 4; };
    const std::size_t subAt = 8 + dirSize(ifd0.size() + 1);
    const std::size_t dateAt = subAt + dirSize(sub.size() + 1);
    const std::size_t textAt = dateAt + 20 + gap;
    std::string texts;
    const auto dir = [&](std::vector<std::pair<std::uint16_t, std::string>> entries, std::uint16_t pointerTag,
                         std::uint32_t pointer) {
        entries.push_back({pointerTag, ""});
        std::sort(entries.begin(), entries.end());
        std::string d = std::string{char(entries.size()), 0};
        for (const auto& [tag, text] : entries) {
            const std::string value = text + '\0';
            const std::uint16_t type = tag == pointerTag && tag == 0x8769 ? 4 : 2;
            const std::uint32_t count = tag == pointerTag ? (type == 4 ? 1 : 20) : static_cast<std::uint32_t>(value.size());
            d += std::string{char(tag), char(tag >> 8), char(type), 0} + Le32(count);
            if (tag == pointerTag) {
                d += Le32(pointer);
            } else if (value.size() <= 4) {
                d += value + std::string(4 - value.size(), '\0');
            } else {
                d += Le32(static_cast<std::uint32_t>(textAt + texts.size()));
                texts += value;
            }
        }
        return d + Le32(0);
    };
    std::string s = std::string("II*\0", 4) + Le32(8);
    s += dir(ifd0, 0x8769, static_cast<std::uint32_t>(subAt));
    s += dir(sub, 0x9003, static_cast<std::uint32_t>(dateAt));
    return s + std::string("2024:05:06 07:08:09\0", 20) + std::string(gap, 'm') + texts;
}

TEST(JpegTiffReader, LensArtistSubSecondsAndTextsInOtherEncodings) {
    const std::string tiff = TextsTiff({{0x010F, "Canon"}, {0x0110, "Canon EOS R6"}, {0x013B, "Jos\xE9 P\x85rez"}},
                                       {{0x9291, "4"}, {0xA431, "012345678901"}, {0xA434, "RF24-105mm F4 L IS USM"}});
    for (const std::string& bytes : {tiff, BuildJpeg(tiff)}) {
        const FileFacts f = ReadBytes(bytes).facts;
        EXPECT_TRUE(f.TIFFMetadata && f.Notes.empty()) << f.Notes;
        EXPECT_EQ(f.EXIFDateOriginal, D(2024, 5, 6, 7, 8, 9));
        EXPECT_EQ(f.CameraMake + "|" + f.CameraModel + "|" + f.CameraSerial, "Canon|Canon EOS R6|012345678901");
        EXPECT_EQ(f.LensModel, "RF24-105mm F4 L IS USM");
        EXPECT_EQ(f.SubSecTimeOriginal, "4");
        // Latin-1 becomes UTF-8; a C1 control byte the replacement character.
        EXPECT_EQ(f.Artist, "Jos\xC3\xA9 P\xEF\xBF\xBDrez");
    }
    // The owner's name stands in for a missing artist; a file without the texts has none.
    EXPECT_EQ(ReadBytes(TextsTiff({}, {{0xA430, "Ann Owner"}})).facts.Artist, "Ann Owner");
    const FileFacts bare = ReadBytes(BuildJpeg(TextsTiff({}, {}))).facts;
    EXPECT_EQ(bare.CameraMake + bare.CameraModel + bare.CameraSerial + bare.LensModel + bare.Artist +
                  bare.SubSecTimeOriginal, "");
    // Texts after a maker note are read in a plain run too, with one read
    // more at most; beyond the reach only when asked for wherever they lie.
    const std::vector<std::pair<std::uint16_t, std::string>> names{{0x010F, "Maker"}, {0x0110, "Model 1"}};
    const std::vector<std::pair<std::uint16_t, std::string>> serial{{0xA431, "SN 7"}, {0xA434, "Lens 50"}};
    const ReadResult near = ReadBytes(BuildJpeg(TextsTiff(names, serial, 40000)));
    const ReadResult inside = ReadBytes(BuildJpeg(TextsTiff(names, serial)));
    EXPECT_EQ(near.facts.CameraSerial + "|" + near.facts.LensModel + "|" + near.facts.CameraModel, "SN 7|Lens 50|Model 1");
    EXPECT_LE(near.reads, inside.reads + 1);
    const std::string far = TextsTiff(names, serial, 400000);
    EXPECT_EQ(ReadBytes(far).facts.CameraSerial, "");
    EXPECT_EQ(ReadBytes(far, 1, -1, true).facts.CameraSerial, "SN 7");
    EXPECT_EQ(ReadBytes(far).facts.EXIFDateOriginal, D(2024, 5, 6, 7, 8, 9));
}

}  // namespace
}  // namespace ravlen::test
