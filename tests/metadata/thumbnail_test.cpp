#include <gtest/gtest.h>

#include "metadata/thumbnail.h"
#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

// The thumbnail as the table of files reads it: where the reader found it, else from the file's start.
std::string Thumbnail(const std::string& bytes, std::int64_t size = -1) {
    const FileFacts facts = ReadBytes(bytes).facts;
    std::optional<ThumbnailSpan> known;
    if (facts.ThumbnailOffset >= 0) known = ThumbnailSpan{facts.ThumbnailOffset, facts.ThumbnailLength};
    MemoryStream stream(bytes);
    return ReadThumbnail(stream, size < 0 ? static_cast<std::int64_t>(bytes.size()) : size, known);
}

bool IsWholeJpeg(const std::string& s) {
    return s.size() >= 4 && s.substr(0, 2) == "\xFF\xD8" && s.substr(s.size() - 2) == "\xFF\xD9";
}

// exiftool's thumbnails in an ImageMagick JPEG and PNG, and cameras' in their
// WebP, HEIF and TIFF-based raws (the sizes exiftool reports).
TEST(Thumbnail, FoundInEveryFormatThatNamesOne) {
    for (const auto& [path, length] : std::vector<std::pair<std::string, std::size_t>>{
             {kSeeds + "jpeg_tiff/thumbnail_intel.jpg", 293},
             {kSeeds + "png/thumbnail.png", 293},
             {kSamples + "Nikon Coolpix P7000.webp", 6044},
             {kSamples + "xiaomi.heic", 13244},
             {kSamples + "canon.raw.cr2", 17867},
             {kSamples + "testARW.arw", 644}}) {
        const auto bytes = FileBytes(path);
        ASSERT_TRUE(bytes || !SamplesPresent()) << path;
        if (!bytes) continue;
        const std::string thumbnail = Thumbnail(*bytes);
        EXPECT_EQ(thumbnail.size(), length) << path;
        EXPECT_TRUE(IsWholeJpeg(thumbnail)) << path;
    }
    // A JPEG without one.
    EXPECT_EQ(Thumbnail(*FileBytes(kSeeds + "jpeg_tiff/camera_intel.jpg")), "");
    if (!SamplesPresent()) GTEST_SKIP() << "the camera files' thumbnails: " << NoSamples();
}

// A file cut short anywhere, or naming a thumbnail that is not one, gives none.
TEST(Thumbnail, NoneFromCutOrDamagedFiles) {
    const std::string whole = *FileBytes(kSeeds + "jpeg_tiff/thumbnail_intel.jpg");
    const auto span = LocateThumbnail(whole);
    ASSERT_TRUE(span);
    for (std::int64_t cut : {std::int64_t{0}, std::int64_t{11}, std::int64_t{40}, span->offset - 1,
                             span->offset + span->length - 1})
        EXPECT_EQ(Thumbnail(whole.substr(0, static_cast<std::size_t>(cut))), "") << cut;
    EXPECT_EQ(Thumbnail(whole.substr(0, static_cast<std::size_t>(span->offset + span->length))).size(), 293u);
    // The stream ends before the size the file was listed with.
    EXPECT_EQ(Thumbnail(whole.substr(0, 500), static_cast<std::int64_t>(whole.size())), "");
    // A thumbnail that does not begin as a JPEG, or is named larger than any thumbnail.
    std::string damaged = whole;
    damaged[static_cast<std::size_t>(span->offset)] = 0;
    EXPECT_EQ(Thumbnail(damaged), "");
    MemoryStream stream(whole);
    EXPECT_EQ(ReadThumbnail(stream, static_cast<std::int64_t>(whole.size()),
                            ThumbnailSpan{span->offset, kMaxThumbnailBytes + 1}),
              "");
}

}  // namespace
}  // namespace ravlen::test
