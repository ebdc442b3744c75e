#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

std::string WebPChunk(const std::string& id, const std::string& data) {
    return id + Le32(static_cast<std::uint32_t>(data.size())) + data + std::string(data.size() % 2, '\0');
}
std::string WebP(const std::string& body) { return "RIFF" + Le32(static_cast<std::uint32_t>(4 + body.size())) + "WEBP" + body; }
const std::string kTiff = BuildTiff({ByteOrder::Intel, "2022:07:08 09:10:12", "2022:07:08 09:10:11", {}, false, 0, {}, {}});
const std::string kVp8x = WebPChunk("VP8X", std::string("\x08\0\0\0\x3F\0\0\x2F\0\0", 10));

// EXIF after an odd-sized image chunk and its pad byte, with or without "Exif\0\0" first.
TEST(WebPReader, FindsExifAfterTheImageData) {
    const std::string image = WebPChunk("VP8 ", std::string(150001, 'v'));
    for (const std::string& lead : {std::string(), std::string("Exif\0\0", 6)}) {
        const ReadResult r = ReadBytes(WebP(kVp8x + image + WebPChunk("EXIF", lead + kTiff)));
        const FileFacts& f = r.facts;
        const int at = static_cast<int>(12 + kVp8x.size() + image.size() + 8 + lead.size());
        EXPECT_TRUE(f.InternalFormat == "WebP" && f.TIFFMetadata && !f.RIFFMetadata && f.Notes.empty()) << f.Notes;
        EXPECT_EQ(std::tuple(f.TIFFOffset, f.IFD0Offset, f.RIFFForm), std::tuple(at, at + 8, "WEBP"));
        EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.EXIFDateModified),
                  std::tuple(D(2022, 7, 8, 9, 10, 11), D(2022, 7, 8, 9, 10, 12)));
        EXPECT_LT(r.bytesRead, 1000u);
    }
    // Other RIFF forms still go to the RIFF reader.
    const FileFacts wave = ReadBytes("RIFF" + Le32(16) + "WAVE" + WebPChunk("EXIF", kTiff).substr(0, 8)).facts;
    EXPECT_TRUE(wave.InternalFormat == "RIFF" && wave.RIFFForm == "WAVE" && !wave.TIFFMetadata);
}

// cwebp + exiftool files (one EXIF with the prefix), and a camera's JPEG re-encoded with its EXIF kept.
TEST(WebPReader, ReadsFilesOfOtherTools) {
    ExpectSeedsDated({"webp/exiftool_vp8x.webp", "webp/exif_prefix.webp"}, D(2022, 7, 8, 9, 10, 11));
    const auto nikon = FileBytes(kSamples + "Nikon Coolpix P7000.webp");
    if (!nikon) GTEST_SKIP() << "no samples";
    const ReadResult r = ReadBytes(*nikon);
    EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << r.facts.Notes;
    EXPECT_EQ(r.facts.EXIFDateOriginal, D(2010, 10, 21, 11, 22, 48));
    EXPECT_LT(r.bytesRead, 64u * 1024);
}

TEST(WebPReader, DamagedFiles) {
    const std::string image = WebPChunk("VP8L", "lossless");
    std::string longChunk = WebP(kVp8x + image);
    longChunk.replace(12 + kVp8x.size() + 4, 4, Le32(1000));
    ExpectNotes({{*FileBytes(kSeeds + "webp/cwebp_plain.webp"), " does not contain an EXIF block."},
                 {longChunk, " contains an invalid RIFF chunk size descriptor."},
                 {"RIFF" + Le32(2) + "WEBP", " contains an invalid RIFF size descriptor."}});
    // A stale RIFF size ends the chunks early; one that runs past the file is cut at its end.
    std::string cut = WebP(kVp8x + WebPChunk("EXIF", kTiff));
    EXPECT_FALSE(ReadBytes(cut.replace(4, 4, Le32(4 + static_cast<std::uint32_t>(kVp8x.size())))).facts.TIFFMetadata);
    EXPECT_TRUE(ReadBytes(cut.replace(4, 4, Le32(0x7FFFFFFF))).facts.TIFFMetadata);
    ExpectEveryTruncationHandled(WebP(kVp8x + image + WebPChunk("EXIF", kTiff)));
}

}  // namespace
}  // namespace ravlen::test
