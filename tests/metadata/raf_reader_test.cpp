#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

const std::string kTiff = BuildTiff({ByteOrder::Motorola, "2019:03:04 05:06:09", "2019:03:04 05:06:07",
                                     "2019:03:04 05:06:08", false, 0, {}, {}});

// The header (magic, version, camera), the embedded JPEG's offset and length at
// byte 84, the JPEG, then the raw data.
std::string Raf(const std::string& jpeg, std::uint32_t at = 148, std::size_t rawData = 100000) {
    std::string s = std::string("FUJIFILMCCD-RAW 0201FF383501X-T3");
    s.resize(84, '\0');
    PutNumber(s, 84, at, 4, ByteOrder::Motorola);
    PutNumber(s, 88, static_cast<std::uint32_t>(jpeg.size()), 4, ByteOrder::Motorola);
    s.resize(at, '\0');
    return s + jpeg + std::string(rawData, 'r');
}

TEST(RafReader, ReadsTheEmbeddedJpegsExif) {
    const std::string jfif = Jfif();
    const ReadResult r = ReadBytes(Raf(BuildJpeg(kTiff, {jfif})));
    const FileFacts& f = r.facts;
    const int app1 = 148 + 2 + static_cast<int>(jfif.size());
    EXPECT_TRUE(f.InternalFormat == "RAF" && f.TIFFMetadata && !f.RIFFMetadata && f.Notes.empty()) << f.Notes;
    EXPECT_EQ(std::tuple(f.APPXSkipCount, f.APP1Offset, f.TIFFOffset, f.IFD0Offset, f.TIFFByteAlign),
              std::tuple(1, app1, app1 + 10, app1 + 18, "Motorola"));
    EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.EXIFDateDigitized, f.EXIFDateModified),
              std::tuple(D(2019, 3, 4, 5, 6, 7), D(2019, 3, 4, 5, 6, 8), D(2019, 3, 4, 5, 6, 9)));
    EXPECT_LT(r.bytesRead, 1000u);  // neither the JPEG's image nor the raw data
    // ImageMagick's JPEG with exiftool's dates in the same header.
    ExpectSeedsDated({"raf/fuji_header.raf"}, D(2019, 3, 4, 5, 6, 7));
}

TEST(RafReader, DamagedFiles) {
    const std::string jpeg = BuildJpeg(kTiff);
    std::string badMagic = Raf(jpeg), noExif = "\xFF\xD8" + Segment(0xDA, "scan") + jpeg.substr(2);
    badMagic[9] = 'X';
    const std::string bad = " contains an invalid RAF ";
    ExpectNotes({{Raf(jpeg).substr(0, 91), bad + "header."},
                 {badMagic, bad + "JPEG offset."},
                 {Raf(jpeg, 40), bad + "JPEG offset."},
                 {Raf(jpeg, 148, 0).substr(0, 148 + jpeg.size() - 1), bad + "JPEG offset."},
                 {Raf("JPEG" + jpeg), bad + "JPEG offset."},
                 {Raf(noExif), " does not contain a valid EXIF APP1 tag."},
                 {Raf("\xFF\xD8\xFF\xE0\xFF\xFF" + jpeg), " contains an invalid TIFF APPx length descriptor."}});
    ExpectEveryTruncationHandled(Raf(jpeg, 148, 0));
}

}  // namespace
}  // namespace ravlen::test
