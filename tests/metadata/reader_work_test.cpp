// Every reader at its worst: the counts a file states at their maximum over
// entries of no bytes (or of the fewest bytes the format allows).

#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

std::string Repeat(const std::string& piece, std::size_t n) {
    std::string s;
    s.reserve(piece.size() * n);
    for (std::size_t i = 0; i < n; ++i) s += piece;
    return s;
}
std::string Be32(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

TEST(ReaderWork, CountsAtTheirMaximum) {
    // Both TIFF directories at 65,535 entries of unused tags; 32,767 empty segments before APP1.
    const std::string unused = std::string("\x01\x02\x03\0\0\0\0\0\0\0\0\0", 12);
    const std::string tiff = std::string("II*\0\x08\0\0\0\xFF\xFF", 10) + std::string("\x69\x87\x04\0\x01\0\0\0", 8) +
                             Le32(8 + 2 + 65535 * 12 + 4) + Repeat(unused, 65534) + Le32(0) + "\xFF\xFF" +
                             Repeat(unused, 65535) + Le32(0);
    const std::string segments = Repeat(std::string("\xFF\xFE\0\x02", 4), 32767);
    // A million empty chunks; a PNG's 65,536, a WebP's 16,384; 64 empty segments in a RAF's JPEG; 65,536
    // empty JPEG XL boxes.
    const std::string junk = Repeat(std::string("JUNK\0\0\0\0", 8), 1 << 20);
    const std::string png = "\x89PNG\r\n\x1A\n" + Repeat(std::string("\0\0\0\0tEXt\0\0\0\0", 12), 65536);
    const std::string jxl = std::string("\0\0\0\x0CJXL \r\n\x87\n", 12) + Repeat(Be32(8) + "free", 1 << 16);
    const std::string webp = "RIFF" + Le32(4 + 8 * 16384) + "WEBP" + junk.substr(0, 8 * 16384);
    const std::string raf = "FUJIFILMCCD-RAW " + std::string(68, '\0') + Be32(92) + Be32(2 + 64 * 4 + 100) +
                            "\xFF\xD8" + Repeat(std::string("\xFF\xFE\0\x02", 4), 64) + std::string(100, 'j');
    // Transport packets whose payload is MDPM marks over and over, each without a date (2 MiB).
    const std::string mark = std::string("\x17\xee\x8c\x60\xf8\x4d\x11\xd9\x8c\xd6\x08\x00\x20\x0c\x9a\x66", 16) +
                             "MDPM" + std::string("\xFF", 1) + std::string(3, '\x01');
    const std::string packet = std::string("\x47\x01\x00\x10", 4) + Repeat(mark, 184 / mark.size()) +
                               std::string(184 % mark.size(), '\0');
    const std::string avchd = Repeat(packet, (2u << 20) / 188);
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"TIFF", tiff},
             {"JPEG", "\xFF\xD8" + segments + BuildJpeg(BuildTiff({})).substr(2)},
             {"RIFF", "RIFF" + Le32(4 + static_cast<std::uint32_t>(junk.size())) + "AVI " + junk},
             {"PNG", png},
             {"WebP", webp},
             {"RAF", raf},
             {"JPEG XL", jxl},
             {"AVCHD", avchd}}) {
        SCOPED_TRACE(name);
        const ReadResult r = ReadQuickly(bytes);
        EXPECT_EQ(r.facts.InternalFormat, name);
    }
}

}  // namespace
}  // namespace ravlen::test
