#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

std::string Be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
// A chunk: length, type, data, and a CRC the reader does not check.
std::string PngChunk(const std::string& type, const std::string& data) {
    return Be32(static_cast<std::uint32_t>(data.size())) + type + data + "crc!";
}
const std::string kSignature("\x89PNG\r\n\x1A\n", 8);
const std::string kHeader = kSignature + PngChunk("IHDR", std::string(13, 'h'));
const std::string kTiff = BuildTiff({ByteOrder::Motorola, "2021:06:05 14:03:04", "2021:06:05 14:03:02",
                                     "2021:06:05 14:03:03", false, 0, {}, {}});

// The eXIf chunk before or after 200 KB of image data, with or without the
// "Exif\0\0" some writers put first: the image data is passed over unread.
TEST(PngReader, FindsExifBeforeOrAfterTheImageData) {
    const std::string idat = PngChunk("IDAT", std::string(100000, 'd')) + PngChunk("IDAT", std::string(100001, 'd'));
    const std::string prefix("Exif\0\0", 6);
    for (const bool after : {false, true}) {
        for (const std::string& lead : {std::string(), prefix}) {
            const std::string exif = PngChunk("eXIf", lead + kTiff);
            const std::string png = kHeader + (after ? idat + exif : exif + idat) + PngChunk("IEND", "");
            const ReadResult r = ReadBytes(png);
            const FileFacts& f = r.facts;
            const int at = static_cast<int>((after ? kHeader.size() + idat.size() : kHeader.size()) + 8 + lead.size());
            EXPECT_TRUE(f.InternalFormat == "PNG" && f.TIFFMetadata && f.Notes.empty()) << f.Notes;
            EXPECT_EQ(std::tuple(f.TIFFByteAlign, f.TIFFOffset, f.IFD0Offset), std::tuple("Motorola", at, at + 8));
            EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.EXIFDateDigitized, f.EXIFDateModified),
                      std::tuple(D(2021, 6, 5, 14, 3, 2), D(2021, 6, 5, 14, 3, 3), D(2021, 6, 5, 14, 3, 4)));
            EXPECT_LT(r.bytesRead, 1000u);
        }
    }
}

// PNGs written by ImageMagick and exiftool (eXIf moved after IDAT in one), and a
// macOS screenshot whose eXIf holds no date.
TEST(PngReader, ReadsFilesOfOtherTools) {
    ExpectSeedsDated({"png/exiftool_before_idat.png", "png/exif_after_idat.png"}, D(2021, 6, 5, 14, 3, 2));
    const auto screenshot = FileBytes(kSamples + "screenshot.png");
    if (!screenshot) GTEST_SKIP() << "no samples";
    const FileFacts f = ReadBytes(*screenshot).facts;
    EXPECT_TRUE(f.TIFFMetadata && f.SubIFDEntries > 0 && f.Notes.empty());
    EXPECT_FALSE(f.EXIFDateOriginal || f.EXIFDateDigitized || f.EXIFDateModified);
}

// ImageMagick's hex-encoded EXIF ("Raw profile type exif" or "APP1") in a
// zTXt, tEXt or iTXt chunk (made to its layout, checked with exiftool); a
// profile cut or with stray characters; an eXIf without a date beside it.
TEST(PngReader, ReadsRawProfiles) {
    ExpectSeedsDated({"png/raw_profile_ztxt.png", "png/raw_profile_app1_text.png", "png/raw_profile_itxt.png"},
                     D(2019, 7, 14, 9, 8, 7));
    auto hex = [](const std::string& bytes) {
        std::string h;
        for (unsigned char c : bytes) h += "0123456789abcdef"[c >> 4], h += "0123456789abcdef"[c & 15];
        return h;
    };
    const std::string profile = "\nexif\n    " + std::to_string(kTiff.size()) + "\n" + hex(kTiff).insert(72, "\n") + "\n";
    const std::string undated = BuildTiff({ByteOrder::Intel, std::nullopt, std::nullopt, std::nullopt, false, 0, {}, {}});
    for (const std::string& first : {std::string(), PngChunk("eXIf", undated)}) {
        const FileFacts f =
            ReadBytes(kHeader + first + PngChunk("tEXt", std::string("Raw profile type exif\0", 22) + profile) +
                      PngChunk("IEND", ""))
                .facts;
        EXPECT_TRUE(f.TIFFMetadata && f.Notes.empty()) << f.Notes;
        EXPECT_EQ(f.EXIFDateOriginal, first.empty() ? std::optional(D(2021, 6, 5, 14, 3, 2)) : std::nullopt);
    }
    // Cut short: the block's directory is missing.
    const std::string cut = profile.substr(0, 40);
    ExpectNotes({{kHeader + PngChunk("tEXt", std::string("Raw profile type exif\0", 22) + cut) + PngChunk("IEND", ""),
                  " contains an invalid TIFF IFD0 directory entry count."}});
}

TEST(PngReader, DamagedFiles) {
    const std::string end = PngChunk("IEND", "");
    ExpectNotes({{kHeader + PngChunk("IDAT", "x") + end + PngChunk("eXIf", kTiff), " does not contain an EXIF block."},
                 {kHeader + Be32(0x80000000u) + "IDAT" + std::string(100, 'x'), " contains an invalid PNG chunk length."},
                 {kHeader + Be32(200) + "IDAT" + std::string(100, 'x'), " contains an invalid PNG chunk length."},
                 {kHeader + PngChunk("eXIf", std::string("IX*\0", 4) + kTiff.substr(4)), " contains an invalid TIFF header."}});
    ExpectEveryTruncationHandled(kHeader + PngChunk("IDAT", "xyz") + PngChunk("eXIf", kTiff) + end);
}

}  // namespace
}  // namespace ravlen::test
