#include <brotli/encode.h>

#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

std::string Be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }
std::string Box(const std::string& type, const std::string& body) {
    return Be32(static_cast<std::uint32_t>(8 + body.size())) + type + body;
}
std::string Brotli(const std::string& in) {
    std::string out(BrotliEncoderMaxCompressedSize(in.size()), '\0');
    std::size_t size = out.size();
    EXPECT_TRUE(BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, in.size(),
                                      reinterpret_cast<const std::uint8_t*>(in.data()), &size,
                                      reinterpret_cast<std::uint8_t*>(out.data())));
    out.resize(size);
    return out;
}
const std::string kHead = std::string("\0\0\0\x0CJXL \r\n\x87\n", 12) + Box("ftyp", "jxl " + Be32(0) + "jxl ");
const std::string kTiff = BuildTiff({ByteOrder::Intel, "2021:06:05 14:03:04", "2021:06:05 14:03:02",
                                     "2021:06:05 14:03:03", false, 0, {}, {}});

// cjxl's Brotli-compressed Exif box (its date checked through the JPEG djxl
// gives back) and exiftool's plain one; boxes built here: the Exif box after
// a codestream of 64-bit size, behind "Exif\0\0", or compressed; an XMP date
// only where the Exif box has none.
TEST(JxlReader, ExifBoxPlainOrCompressed) {
    ExpectSeedsDated({"jxl/cjxl_brob_exif.jxl"}, D(2019, 7, 14, 9, 8, 7));
    ExpectSeedsDated({"jxl/exiftool_exif.jxl"}, D(2016, 5, 4, 3, 2, 1));
    const std::string codestream = Be32(1) + "jxlc" + std::string("\0\0\0\0\0\0\x01\x10", 8) + std::string(256, 'c');
    const std::string xmp = Box("xml ", "<x:xmpmeta xmp:CreateDate='2001-01-01T00:00:00'/>");
    for (const std::string& exif : {Box("Exif", Be32(0) + kTiff), Box("Exif", Be32(6) + std::string("Exif\0\0", 6) + kTiff),
                                    Box("brob", "Exif" + Brotli(Be32(0) + kTiff))}) {
        const ReadResult r = ReadBytes(kHead + codestream + exif + xmp);
        const FileFacts& f = r.facts;
        EXPECT_TRUE(f.InternalFormat == "JPEG XL" && f.TIFFMetadata && f.Notes.empty()) << f.Notes;
        EXPECT_EQ(std::tuple(f.EXIFDateOriginal, f.XMPDate), std::tuple(D(2021, 6, 5, 14, 3, 2), std::nullopt));
        EXPECT_LT(r.bytesRead, 1000u);  // the codestream passed over
    }
    const std::string undated = Box("Exif", Be32(0) + BuildTiff({ByteOrder::Intel, std::nullopt, std::nullopt, std::nullopt, false, 0, {}, {}}));
    const FileFacts f = ReadBytes(kHead + undated + Box("brob", "xml " + Brotli(xmp.substr(8)))).facts;
    EXPECT_TRUE(f.TIFFMetadata && f.Notes.empty() && !f.EXIFDateOriginal) << f.Notes;
    EXPECT_EQ(f.XMPDate, D(2001, 1, 1));
}

// A naked codestream holds no metadata; damaged boxes, streams and blocks.
TEST(JxlReader, NakedCodestreamAndDamagedFiles) {
    const auto naked = FileBytes(kSeeds + "jxl/cjxl_naked.jxl");
    ASSERT_TRUE(naked);
    const std::string exif = Box("Exif", Be32(0) + kTiff);
    ExpectNotes({{*naked, " does not contain an EXIF block."},
                 {kHead + Be32(0xFFFFFF00u) + "jxlc", " contains an invalid JPEG XL box size."},
                 {kHead + Box("brob", "Exif" + std::string(40, '\x7F')), " does not contain an EXIF block."},
                 {kHead + Box("Exif", Be32(0) + "IX*" + kTiff.substr(3)), " contains an invalid TIFF header."},
                 {kHead + Box("Exif", Be32(0xFFFFFFF0u) + kTiff), " does not contain an EXIF block."}});
    EXPECT_EQ(ReadBytes(*naked).facts.InternalFormat, "JPEG XL");
    ExpectEveryTruncationHandled(kHead + Box("jxlc", "cc") + Box("brob", "Exif" + Brotli(Be32(0) + kTiff)) + exif);
}

}  // namespace
}  // namespace ravlen::test
