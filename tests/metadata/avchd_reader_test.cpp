#include "metadata/avchd_reader.h"
#include "metadata/tiff_builder.h"

namespace ravlen::test {
namespace {

const std::string kUuid("\x17\xee\x8c\x60\xf8\x4d\x11\xd9\x8c\xd6\x08\x00\x20\x0c\x9a\x66", 16);

// MDPM entries as an H.264 writer stores them: every 00 00 followed by a byte
// of 3 or less gets an emulation-prevention 03 between.
std::string Escaped(const std::string& raw) {
    std::string out;
    int zeros = 0;
    for (char c : raw) {
        if (zeros >= 2 && static_cast<unsigned char>(c) <= 3) out.push_back('\x03'), zeros = 0;
        zeros = c == '\0' ? zeros + 1 : 0;
        out.push_back(c);
    }
    return out;
}
// A timecode entry, then the date (zone, BCD year and month) and time (BCD day, hour, minute, second).
std::string Mdpm(const std::string& date, const std::string& time) {
    return Escaped(std::string("\x03\x13\0\0\0\0\x18", 7) + date + "\x19" + time);
}
// An SEI NAL unit with one user-data-unregistered message.
std::string Sei(const std::string& mdpm) {
    return std::string("\0\0\0\x01\x06\x05", 6) + char(20 + mdpm.size()) + kUuid + "MDPM" + mdpm + "\x80";
}
// Transport packets of one stream (the payload cut into 184-byte pieces, the
// last stuffed by an adaptation field), each after a 4-byte time code when lead.
std::string Packets(std::uint16_t pid, std::string payload, bool lead) {
    std::string out;
    while (!payload.empty()) {
        const std::size_t n = std::min<std::size_t>(payload.size(), 184);
        std::string p = lead ? std::string("tcod") : std::string();
        p += std::string{'\x47', char(pid >> 8), char(pid), char(n == 184 ? 0x10 : 0x30)};
        if (n < 184) p += char(183 - n) + std::string(183 - n ? 1 : 0, '\0') + std::string(183 - n ? 182 - n : 0, '\xFF');
        out += p + payload.substr(0, n);
        payload.erase(0, n);
    }
    return out;
}
TransportScan Scan(MemoryStream& stream, std::size_t size) {
    ReadView view(stream, {}, static_cast<std::int64_t>(size));
    FileFacts facts;
    MetadataPass pass;
    ReaderContext ctx{facts, pass, true, {}};
    if (!view.Read(8)) return {};
    return ScanTransportStream(view, ctx);
}
TransportScan Scan(const std::string& bytes) {
    MemoryStream stream(bytes);
    return Scan(stream, bytes.size());
}

// The zone byte: sign, hours, half hour, daylight saving; the date in BCD; zeros escaped.
TEST(AvchdReader, DecodesTheMdpmDate) {
    for (const auto& [date, time, local, offset] : std::vector<std::tuple<std::string, std::string,
                                                                          std::optional<DateTime>, std::optional<int>>>{
             {"\x44\x20\x23\x11", "\x15\x10\x30\x45", D(2023, 11, 15, 10, 30, 45), 120},
             {"\x2B\x19\x99\x12", "\x31\x23\x59\x59", D(1999, 12, 31, 23, 59, 59), -330},
             {std::string("\x80\x20\x10\x01", 4), std::string("\x01\0\0\x02", 4), D(2010, 1, 1, 0, 0, 2), {}},
             {std::string("\0\x20\x24\x02", 4), std::string("\x29\0\0\0", 4), D(2024, 2, 29, 0, 0, 0), 0},
             {std::string("\0\x20\x23\x02", 4), std::string("\x29\0\0\0", 4), {}, {}},
             {std::string("\0\x20\x23\x1A", 4), std::string("\x01\0\0\0", 4), {}, {}},
             {std::string("\0\x20\x23\x12", 4), std::string("\x01\x24\0\0", 4), {}, {}}}) {
        const auto r = ParseMdpm(Mdpm(date, time));
        EXPECT_EQ(r ? std::optional(r->local) : std::nullopt, local);
        EXPECT_EQ(r ? r->utcOffsetMinutes : std::nullopt, offset);
    }
    EXPECT_FALSE(ParseMdpm(Mdpm("\x44\x20\x23\x11", "\x15\x10\x30\x45").substr(0, 15)));  // cut off
}

// The SEI split across packets with another stream's between, in 188- and 192-byte packets; then files of
// ffmpeg (188 and 192) and a camcorder's.
TEST(AvchdReader, FindsTheSeiInTheFirstPackets) {
    const std::string sei = Sei(Mdpm("\x44\x20\x23\x11", "\x15\x10\x30\x45"));
    for (const bool lead : {false, true}) {
        const std::string video = Packets(0x1011, std::string(170, 'v') + sei + std::string(400, 'v'), lead);
        const std::size_t stride = lead ? 192 : 188;
        const std::string file = Packets(0, "pat", lead) + video.substr(0, stride) + Packets(0x1100, "audio", lead) +
                                 video.substr(stride) + std::string(100000, 'x');
        const TransportScan s = Scan(file);
        ASSERT_TRUE(s.transport && s.recording);
        EXPECT_EQ(std::tuple(s.recording->local, s.recording->utcOffsetMinutes),
                  std::tuple(D(2023, 11, 15, 10, 30, 45), 120));
    }
    // Through detection: the movie date with its source and zone, the local time kept.
    for (const char* name : {"avchd/ffmpeg_mdpm.mts", "avchd/ffmpeg_mdpm.m2ts"}) {
        const FileFacts f = ReadBytes(*FileBytes(kSeeds + name)).facts;
        EXPECT_TRUE(f.InternalFormat == "AVCHD" && f.MovieMetadata && !f.TIFFMetadata && f.Notes.empty()) << name;
        EXPECT_EQ(std::tuple(f.MovieDate, f.MovieDateSource, f.MovieUTCOffset),
                  std::tuple(D(2023, 11, 15, 10, 30, 45), "MDPM", 120)) << name;
    }
    // The camcorder's block holds an escaped entry before the date; exiftool stops short of it in this clip.
    const auto camcorder = FileBytes(kSamples + "Panasonic_AG_HMC_151.MTS");
    EXPECT_TRUE(camcorder || !SamplesPresent());
    if (camcorder) {
        const FileFacts f = ReadBytes(*camcorder).facts;
        EXPECT_TRUE(f.MovieMetadata && f.Notes.empty());
        EXPECT_EQ(std::tuple(f.MovieDate, f.MovieUTCOffset), std::tuple(D(2009, 7, 9, 14, 33, 35), 0));
    }
}

// Not a transport stream (a GIF, a file shorter than a packet), one without a date, a date only after the
// first 2 MiB (not searched for), a lost sync.
TEST(AvchdReader, StopsWhereItShould) {
    const std::string sei = Sei(Mdpm("\x44\x20\x23\x11", "\x15\x10\x30\x45"));
    ExpectNotes({{"GIF89a" + std::string(500, 'a'), " is not a valid JPEG, TIFF, or RIFF file."},
                 {std::string("G@\0\x10", 4) + std::string(100, 'a'), " is not a valid JPEG, TIFF, or RIFF file."}});
    const FileFacts noDate = ReadBytes(Packets(0x100, std::string(1000, 'v'), true)).facts;
    EXPECT_TRUE(noDate.MovieMetadata && !noDate.MovieDate && noDate.InternalFormat == "AVCHD");
    std::string late = Packets(0x100, std::string(2u << 20, 'v'), false) + Packets(0x100, sei, false);
    MemoryStream stream(late);
    EXPECT_FALSE(Scan(stream, late.size()).recording);
    EXPECT_LE(stream.bytesRead, 2u << 20);
    std::string lost = Packets(0x100, std::string(1000, 'v'), false) + Packets(0x100, sei, false);
    lost[188 * 2] = 'x';
    EXPECT_FALSE(Scan(lost).recording);
}

}  // namespace
}  // namespace ravlen::test
