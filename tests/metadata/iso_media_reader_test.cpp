#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>

#include "support/counting_file_system.h"
#include "metadata/date_selection.h"
#include "metadata/tiff_builder.h"
#include "platform/posix_file_system.h"
#include "support/temp_dir.h"

namespace ravlen::test {
namespace {

std::string Be(std::uint64_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
    return s;
}
std::string Box(const std::string& type, const std::string& body) { return Be(8 + body.size(), 4) + type + body; }
std::string FullBox(const std::string& type, int version, const std::string& body) {
    return Box(type, std::string{char(version), 0, 0, 0} + body);
}
std::string Ftyp(const std::string& brand) { return Box("ftyp", brand + Be(0, 4) + brand + "isom"); }
// Seconds since 1904 of a UTC moment given as Unix time.
std::uint64_t Mac(std::int64_t unix) { return static_cast<std::uint64_t>(unix) + 2082844800u; }
std::string Mvhd(std::uint64_t created, int version = 0) {
    const std::string times = version == 1 ? Be(created, 8) + Be(created, 8) : Be(created, 4) + Be(created, 4);
    return FullBox("mvhd", version, times + std::string(80, '\0'));
}
// A data item (type 1 = UTF-8) of an item list.
std::string Item(const std::string& key, const std::string& text) {
    return Box(key, Box("data", Be(1, 4) + Be(0, 4) + text));
}
// QuickTime's movie meta box (no version): handler mdta, keys and their values.
std::string Keys(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string keys = Be(entries.size(), 4), ilst;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        keys += Be(8 + entries[i].first.size(), 4) + "mdta" + entries[i].first;
        ilst += Item(Be(i + 1, 4), entries[i].second);
    }
    return Box("meta", FullBox("hdlr", 0, Be(0, 4) + "mdta" + std::string(13, '\0')) + FullBox("keys", 0, keys) +
                           Box("ilst", ilst));
}
// A track whose sample tables are `tables` bytes.
std::string Trak(std::size_t tables) {
    return Box("trak", Box("tkhd", std::string(84, 't')) + Box("stbl", std::string(tables, 's')));
}
std::string Movie(const std::string& moovBody, std::size_t media = 5000, bool moovFirst = false) {
    const std::string moov = Box("moov", moovBody), mdat = Box("mdat", std::string(media, 'm'));
    return Ftyp("qt  ") + Box("wide", "") + (moovFirst ? moov + mdat : mdat + moov);
}


// The kind and the metadata found, as one text a failed check prints whole.
std::string Found(const FileFacts& f) {
    return f.InternalFormat + (f.TIFFMetadata ? " tiff" : "") + (f.MovieMetadata ? " movie" : "");
}
const std::int64_t k20190725T0330Z = 1564025400;  // 2019-07-24 23:30 in New York (UTC-4)

// The date by the first found of Keys, a zoned user-data date, the movie header with Sony's zone, the
// header alone: UTC, marked for the run to turn into local time, except for makers that write their
// clock's time. The camera from Keys, else the user data's ©mak and ©mod.
TEST(IsoMediaReader, MovieDateOrder) {
    const std::string mvhd = Mvhd(Mac(k20190725T0330Z)),
                      keys = Keys({{"com.apple.quicktime.make", "Apple"},
                                   {"com.apple.quicktime.creationdate", "2019-07-24T11:25:40+0300"},
                                   {"com.apple.quicktime.model", "iPhone 8"}});
    auto udta = [](const std::string& body) { return Box("udta", body); };
    const std::string mtdt = Box(
        "MTDT", Be(2, 2) + Be(12, 2) + Be(0x0B, 4) + Be(0, 4) + Be(0x10000 - 300, 2) + Be(10, 2) + Be(1, 4) + Be(0, 4));
    const std::string sony = Box("uuid", std::string("USMT!\xd2\x4f\xce\xbb\x88\x69\x5c\xfa\xc9\xc7\x40", 16) + mtdt);
    struct Case {
        std::string file, date, source;
        std::optional<int> offset;
    };
    {
        for (const Case& c : std::vector<Case>{
                 {Movie(mvhd + Trak(300) + keys), "2019/07/24 11:25:40", "Keys:CreationDate", 180},
                 {Movie(keys + mvhd +
                        udta(Box("\xa9"
                                 "day",
                                 Be(20, 2) + Be(0, 2) + "2020-01-02T03:04:05Z"))),
                  "2019/07/24 11:25:40", "Keys:CreationDate", 180},
                 {Movie(mvhd + udta(Box("\xa9"
                                        "day",
                                        Be(25, 2) + Be(0, 2) + "2020-01-02T03:04:05+01:00"))),
                  "2020/01/02 03:04:05", "udta ©day", 60},
                 {Movie(mvhd + udta(Box("meta", FullBox("hdlr", 0, Be(0, 4) + "mdir" + std::string(13, '\0')) +
                                                    Box("ilst", Item("\xa9"
                                                                     "day",
                                                                     "2021-05-06T07:08:09-0700"))))),
                  "2021/05/06 07:08:09", "udta ©day", -420},
                 {Movie(mvhd + udta(Box("date", "2020-01-02T03:04:05"))), "2019/07/25 03:30:00", "mvhd", 0},
                 {Movie(mvhd + udta(sony), 0, true), "2019/07/24 22:30:00", "mvhd+MTDT", -300},
                 {Movie(Mvhd(Mac(k20190725T0330Z), 1) + udta(Box("NCDT", "nikon"))),
                  "2019/07/25 03:30:00",
                  "mvhd (camera clock)",
                  {}},
                 {Movie(mvhd + udta(Box("FIRM", "HD9.01.01.60.00"))), "2019/07/25 03:30:00", "mvhd (camera clock)", {}},
                 {Movie(mvhd + udta(Box("TAGS", "PENTAX DIGITAL CAMERA\0\0"))),
                  "2019/07/25 03:30:00",
                  "mvhd (camera clock)",
                  {}},
                 {Movie(mvhd + udta(Box("TAGS", "OTHER DIGITAL CAMERA\0\0"))), "2019/07/25 03:30:00", "mvhd", 0},
                 {Movie(mvhd + Trak(100)), "2019/07/25 03:30:00", "mvhd", 0},
                 {Movie(Mvhd(0)), "none", "Unknown", {}},
                 {Movie(Mvhd(1000)), "none", "Unknown", {}}}) {
            const ReadResult r = ReadBytes(c.file);
            const FileFacts& f = r.facts;
            EXPECT_EQ(Found(f), "ISOMedia movie") << c.date;
            EXPECT_EQ(Full(f.MovieDate) + " " + f.MovieDateSource, c.date + " " + c.source);
            EXPECT_EQ(f.MovieUTCOffset, c.offset) << c.date;
            EXPECT_EQ(f.MovieDateIsUTC, c.source == "mvhd") << c.date;
        }
    }
    const std::string userData =
        Box("\xa9mak", Be(4, 2) + Be(0, 2) + "Sony") + Box("\xa9mod", Be(6, 2) + Be(0, 2) + "FDR-X3");
    const FileFacts keyed = ReadBytes(Movie(mvhd + udta(userData) + keys)).facts;
    EXPECT_EQ(keyed.CameraMake + "/" + keyed.CameraModel, "Apple/iPhone 8");
    const FileFacts sonyMovie = ReadBytes(Movie(mvhd + udta(userData))).facts;
    EXPECT_EQ(sonyMovie.CameraMake + "/" + sonyMovie.CameraModel, "Sony/FDR-X3");
}

// An iPhone-like layout: media first, then moov with its tracks: 4 reads plus one per track skipped, the
// media and the sample tables never read; a 64-bit media size and a size running to the end also walk.
TEST(IsoMediaReader, MovieReadBudget) {
    std::string moov = Mvhd(Mac(k20190725T0330Z));
    for (int t = 0; t < 6; ++t) moov += Trak(300000);
    moov +=
        Keys({{"com.apple.quicktime.creationdate", "2019-07-24T11:25:40+0300"}}) + Box("udta", std::string(90, 'u'));
    const std::string bytes = Movie(moov, 3000000);
    FileFacts facts;
    facts.Size = static_cast<std::int64_t>(bytes.size());
    MemoryStream stream(bytes);
    RunOptions options;
    MetadataPass pass;
    RunTally tally;
    ReadMetadataFromStream(stream, facts.Size, ReadHooks{}, options, facts, pass, tally);
    EXPECT_EQ(Full(facts.MovieDate), "2019/07/24 11:25:40");
    EXPECT_LE(stream.reads, 4 + 6);
    EXPECT_LT(stream.bytesRead, 64u << 10);

    const std::string large = Ftyp("isom") + Be(1, 4) + "mdat" + Be(16 + 70000, 8) + std::string(70000, 'm') +
                              Box("moov", Mvhd(Mac(k20190725T0330Z)));
    const std::string toEnd = Ftyp("isom") + Box("moov", Mvhd(Mac(k20190725T0330Z))) + Be(0, 4) + "mdat" + "mmmm";
    for (const std::string& file : {large, toEnd}) {
        const ReadResult l = ReadBytes(file);
        EXPECT_EQ(Full(l.facts.MovieDate), "2019/07/25 03:30:00");
        EXPECT_LT(l.bytesRead, 1000u);
    }
}

// GoPro's GPMF: key, type, structure size, count, data padded to 4 bytes.
std::string Klv(const std::string& key, char type, int size, const std::string& data) {
    return key + std::string{type, char(size)} + Be(data.size() / size, 2) + data +
           std::string((4 - data.size() % 4) % 4, '\0');
}
std::string GpmfSample(const std::string& gpsu) {
    const std::string strm = Klv("STNM", 'c', 1, "GPS (Lat., Long., Alt., 2D speed, 3D speed)") +
                             Klv("GPSF", 'L', 4, Be(3, 4)) + Klv("GPSU", 'U', 16, gpsu);
    return Klv("DEVC", 0, 1, Klv("DVID", 'L', 4, Be(1, 4)) + Klv("STRM", 0, 1, Klv("TSMP", 'L', 4, Be(1, 4))) +
                                 Klv("STRM", 0, 1, strm));
}
// The metadata track: handler meta, sample entry gpmd, one sample at `offset`.
std::string GpmfTrak(std::uint64_t offset, std::size_t size) {
    const std::string stbl = FullBox("stsd", 0, Be(1, 4) + Box("gpmd", std::string(8, '\0'))) + Box("stts", "") +
                             FullBox("stsz", 0, Be(0, 4) + Be(1, 4) + Be(size, 4)) +
                             FullBox("stco", 0, Be(1, 4) + Be(offset, 4));
    return Box("trak", Box("tkhd", std::string(84, 't')) +
                           Box("mdia", FullBox("mdhd", 0, std::string(20, '\0')) +
                                           FullBox("hdlr", 0, Be(0, 4) + "meta" + std::string(12, '\0') + "GoPro MET") +
                                           Box("minf", Box("gmhd", "") + Box("stbl", stbl))));
}
// GoPro's order (the media data first) or the movie box first.
std::string GoPro(const std::string& sample, bool moovFirst) {
    const std::string ftyp = Ftyp("mp41"), video = std::string(3000, 'v');
    auto moov = [&](std::uint64_t at) {
        return Box("moov", Mvhd(Mac(k20190725T0330Z)) + Box("udta", Box("FIRM", "HD9.01.01.60.00")) + Trak(50000) +
                               GpmfTrak(at, sample.size()));
    };
    const std::string mdat = Box("mdat", video + sample + std::string(500, 'a'));
    if (!moovFirst) return ftyp + mdat + moov(ftyp.size() + 8 + video.size());
    const std::size_t moovSize = moov(0).size();
    return ftyp + moov(ftyp.size() + moovSize + 8 + video.size()) + mdat;
}

// A GoPro movie's GPS time: its GPMF track's first sample, read on when the
// media data follows the movie box, else after going back to it in the same
// open, or, on a stream that cannot go back, by a second pass of just that
// sample (the first pass's facts kept); the video track's tables unread. A
// sample without a GPS time, or damaged, gives none and costs no second pass.
TEST(IsoMediaReader, GoProGpsTime) {
    for (const bool moovFirst : {false, true}) {
        for (const bool frontToBack : {false, true}) {
            const ReadResult r = ReadBytes(GoPro(GpmfSample("190725033112.345"), moovFirst), 1, -1, false, frontToBack);
            const FileFacts& f = r.facts;
            EXPECT_TRUE(f.MovieMetadata && f.Notes.empty()) << f.Notes;
            EXPECT_EQ(std::tuple(f.MovieDate, f.MovieDateSource, f.GPSDateTime, r.streams),
                      std::tuple(D(2019, 7, 25, 3, 30), "mvhd (camera clock)", D(2019, 7, 25, 3, 31, 12),
                                 !moovFirst && frontToBack ? 2 : 1));
            EXPECT_LT(r.bytesRead, 12000u);
        }
    }
    std::string damaged = GpmfSample("190725033112.345");
    damaged.replace(6, 2, Be(0xFFFF, 2));  // DEVC's count past the sample's end
    for (const std::string& sample : {GpmfSample("1907250331"), GpmfSample("191325033112.345"), damaged}) {
        const ReadResult r = ReadBytes(GoPro(sample, true));
        EXPECT_TRUE(r.facts.MovieMetadata && !r.facts.GPSDateTime && r.streams == 1);
    }
    // ffmpeg's muxer with a gpmd data track (the brand made GoPro's mp41): a
    // real sample table (stsc too) and the sample past the first read.
    const auto seed = FileBytes(kSeeds + "iso_media/ffmpeg_gpmd_moov_last.mp4");
    ASSERT_TRUE(seed);
    for (const bool frontToBack : {false, true}) {
        const ReadResult r = ReadBytes(*seed, 1, -1, false, frontToBack);
        EXPECT_EQ(std::tuple(r.facts.MovieDate, r.facts.GPSDateTime, r.facts.Notes, r.streams, r.restarted),
                  std::tuple(D(2023, 10, 14, 9, 35), D(2023, 10, 14, 9, 35, 12), "", frontToBack ? 2 : 1, frontToBack));
        EXPECT_LT(r.bytesRead, 3000u);  // the movie box and the sample, not the video
    }
}

// HEIF: iinf names the Exif item, iloc places it (at the end, inside idat, or before meta).
std::string Heif(const std::string& tiff, int where) {
    const std::string exif = Be(6, 4) + std::string("Exif\0\0", 6) + tiff;
    const std::string iinf = FullBox("iinf", 0,
                                     Be(2, 2) + FullBox("infe", 2, Be(1, 2) + Be(0, 2) + "hvc1" + '\0') +
                                         FullBox("infe", 2, Be(2, 2) + Be(0, 2) + "Exif" + '\0'));
    auto meta = [&](std::uint64_t exifAt, int method, const std::string& idat) {
        const std::string iloc =
            FullBox("iloc", 1,
                    std::string{0x44, 0} + Be(2, 2) +  // 4-byte offsets and lengths
                        Be(1, 2) + Be(0, 2) + Be(0, 2) + Be(1, 2) + Be(0, 4) + Be(10, 4) + Be(2, 2) + Be(method, 2) +
                        Be(0, 2) + Be(1, 2) + Be(exifAt, 4) + Be(exif.size(), 4));
        return FullBox("meta", 0,
                       FullBox("hdlr", 0, Be(0, 4) + "pict" + std::string(13, '\0')) + iinf + iloc +
                           (idat.empty() ? "" : Box("idat", idat)));
    };
    const std::string ftyp = Ftyp("heic");
    const std::size_t metaSize = meta(0, 0, "").size(), image = 100000;
    if (where == 1) return ftyp + meta(0, 1, exif) + Box("mdat", std::string(image, 'i'));
    if (where == 2) return ftyp + Box("mdat", exif + std::string(image, 'i')) + meta(ftyp.size() + 8, 0, "");
    return ftyp + meta(ftyp.size() + metaSize + 8 + image, 0, "") + Box("mdat", std::string(image, 'i') + exif);
}

TEST(IsoMediaReader, HeifExifItem) {
    const std::string tiff =
        BuildTiff({ByteOrder::Motorola, "2020:01:01 00:00:00", "2021:02:03 04:05:06", {}, false, 0, {}, {}});
    for (int where : {0, 1, 2}) {
        for (const bool frontToBack : {false, true}) {
            const ReadResult r = ReadBytes(Heif(tiff, where), 1, -1, false, frontToBack);
            const FileFacts& f = r.facts;
            EXPECT_EQ(Found(f), "HEIF tiff");
            EXPECT_EQ(f.Notes, "");
            EXPECT_EQ(Full(f.EXIFDateOriginal) + Full(f.EXIFDateModified), "2021/02/03 04:05:062020/01/01 00:00:00");
            EXPECT_EQ(f.TIFFByteAlign, "Motorola");
            // The item before meta: gone back to, else begun again to read only that item.
            EXPECT_EQ(r.restarted, where == 2 && frontToBack);
            EXPECT_LT(r.bytesRead, 2000u) << where;
        }
    }
    EXPECT_GT(ReadBytes(Heif(tiff, 0)).facts.TIFFOffset, 100000);  // a file offset, past the image
    const ReadResult none = ReadBytes(Ftyp("avif") + FullBox("meta", 0, FullBox("hdlr", 0, "")));
    EXPECT_EQ(none.facts.Notes, "IMG_0001.JPG does not contain valid EXIF metadata.");
}

// A HEIF laid out image first: the Exif item in mdat before meta, the XMP
// item (mime, application/rdf+xml) after it in mdat or in meta's idat.
std::string HeifImageFirst(const std::string& tiff, const std::string& packet, bool xmpInIdat) {
    const std::string exif = Be(6, 4) + std::string("Exif\0\0", 6) + tiff, ftyp = Ftyp("heic");
    const std::string image(50000, 'i');
    const std::size_t exifAt = ftyp.size() + 8 + image.size();
    const std::string iinf =
        FullBox("iinf", 0,
                Be(3, 2) + FullBox("infe", 2, Be(1, 2) + Be(0, 2) + "hvc1" + '\0') +
                    FullBox("infe", 2, Be(2, 2) + Be(0, 2) + "Exif" + '\0') +
                    FullBox("infe", 2, Be(3, 2) + Be(0, 2) + "mime" + "XMP" + '\0' + "application/rdf+xml" + '\0'));
    auto extent = [](int id, int method, std::size_t offset, std::size_t length) {
        return Be(id, 2) + Be(method, 2) + Be(0, 2) + Be(1, 2) + Be(offset, 4) + Be(length, 4);
    };
    const std::string iloc =
        FullBox("iloc", 1,
                std::string{0x44, 0} + Be(3, 2) + extent(1, 0, ftyp.size() + 8, image.size()) +
                    extent(2, 0, exifAt, exif.size()) +
                    extent(3, xmpInIdat ? 1 : 0, xmpInIdat ? 0 : exifAt + exif.size(), packet.size()));
    const std::string meta = FullBox("meta", 0,
                                     FullBox("hdlr", 0, Be(0, 4) + "pict" + std::string(13, '\0')) + iinf + iloc +
                                         (xmpInIdat ? Box("idat", packet) : ""));
    return ftyp + Box("mdat", image + exif + (xmpInIdat ? "" : packet)) + meta;
}

// A HEIF whose Exif item, before the meta box, gives no date is dated by its
// XMP item, whether the Exif item is gone back to or read by a second pass,
// the packet in the media data or in idat; an EXIF date leaves it unread.
// exiftool wrote such a file (its media data then moved before the meta box,
// as cameras that write the image first lay it out).
TEST(IsoMediaReader, HeifXmpAfterUndatedExifItem) {
    const std::string undated = BuildTiff({ByteOrder::Intel, {}, {}, {}, false, 0, {{0x010F, 3, 7}}, {}}),
                      dated = BuildTiff({ByteOrder::Intel, "2020:01:01 00:00:00", {}, {}, false, 0, {}, {}}),
                      packet = "<x:xmpmeta><rdf:Description xmp:CreateDate=\"2019-05-06T07:08:09\"/></x:xmpmeta>";
    for (const bool frontToBack : {false, true}) {
        SCOPED_TRACE(frontToBack);
        for (const bool inIdat : {false, true}) {
            const ReadResult r = ReadBytes(HeifImageFirst(undated, packet, inIdat), 1, -1, false, frontToBack);
            EXPECT_EQ(std::tuple(r.facts.XMPDate, r.facts.XMPDateTag, r.facts.Timestamped, r.restarted, r.facts.Notes),
                      std::tuple(D(2019, 5, 6, 7, 8, 9), "xmp:CreateDate", true, frontToBack, ""));
            EXPECT_LT(r.bytesRead, 3000u);
            const ReadResult withDate = ReadBytes(HeifImageFirst(dated, packet, inIdat), 1, -1, false, frontToBack);
            EXPECT_EQ(std::tuple(withDate.facts.EXIFDateModified, withDate.facts.XMPDate),
                      std::tuple(D(2020, 1, 1), std::optional<DateTime>()));
        }
        const auto seed = FileBytes(kSeeds + "iso_media/exiftool_xmp_exif_before_meta.heic");
        ASSERT_TRUE(seed);
        ReadResult r = ReadBytes(*seed, 1, -1, false, frontToBack);
        EXPECT_EQ(std::tuple(r.facts.CameraMake, r.facts.XMPDate, r.facts.XMPDateTag, r.restarted, r.streams),
                  std::tuple("GoCam", D(2022, 3, 4, 5, 6, 7), "photoshop:DateCreated", frontToBack,
                             frontToBack ? 2 : 1));
        RunOptions options;
        options.DateMode = DateMode::MetadataOnly;
        ChooseTimestamp(r.facts, options, r.tally, {});
        EXPECT_EQ(std::tuple(r.facts.Timestamped, r.facts.TimestampDateTime, r.facts.DateSource, r.facts.Notes),
                  std::tuple(true, D(2022, 3, 4, 5, 6, 7), "XMP photoshop:DateCreated", ""));
    }
}

// A CR3 whose CMT2 (the EXIF directory) holds `original` as DateTimeOriginal.
std::string Cr3(const std::string& original) {
    std::string cmt2 = "II" + std::string("\x2A\0\x08\0\0\0", 6) + std::string("\x01\0", 2);
    cmt2 += std::string("\x03\x90\x02\0\x14\0\0\0\x1A\0\0\0", 12) + std::string(4, '\0') + original + '\0';
    const std::string canon =
        Box("uuid", std::string("\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48", 16) +
                        Box("CNCV", "CanonCR3_001/00.09.00/00.00.00") +
                        Box("CMT1", BuildTiff({ByteOrder::Intel, "2022:03:04 05:06:08", {}, {}, false, 0, {}, {}})) +
                        Box("CMT2", cmt2) + Box("THMB", std::string(5000, 't')));
    return Ftyp("crx ") + Box("moov", canon + Mvhd(Mac(k20190725T0330Z)) + Trak(1000)) +
           Box("mdat", std::string(20000, 'r'));
}

// An odd EXIF date text reads the same in a CR3 as in a JPEG: a two-digit
// year, fields that carry over, blanks for digits, or none at all.
TEST(IsoMediaReader, Cr3DatesReadAsJpegDatesDo) {
    for (const char* text : {"0004:12:25 24:00:00", "2004:12:31 23:59:60", "2004:12: 5 18:09:11", "2004:00:25 18:09:11",
                             "    :  :     :  :  "}) {
        const FileFacts jpeg = ReadBytes(BuildTiff({ByteOrder::Intel, {}, text, {}, false, 0, {}, {}})).facts;
        const FileFacts cr3 = ReadBytes(Cr3(text)).facts;
        EXPECT_EQ(Full(cr3.EXIFDateOriginal), Full(jpeg.EXIFDateOriginal)) << text;
    }
    EXPECT_EQ(Full(ReadBytes(Cr3("0004:12:25 24:00:00")).facts.EXIFDateOriginal), "2004/12/26 00:00:00");
}

// CR3: CMT1 is IFD0 (DateTime), CMT2 the EXIF directory; the UTC movie header does not win.
TEST(IsoMediaReader, CanonCr3) {
    const std::string cr3 = Cr3("2022:03:04 05:06:07");
    const FileFacts f = ReadBytes(cr3).facts;
    EXPECT_EQ(Found(f), "CR3 tiff") << f.Notes;
    EXPECT_EQ(Full(f.EXIFDateOriginal) + Full(f.EXIFDateModified), "2022/03/04 05:06:072022/03/04 05:06:08");
    EXPECT_GT(f.SubIFDOffset, f.IFD0Offset);
}

// Every truncation and broken sizes end without a crash or a loop; nothing is
// taken from a broken header, and no date but one the file holds is read.
TEST(IsoMediaReader, DamagedFiles) {
    const std::set<std::string> held = {"none", "2021/02/03 04:05:06", "2019/07/24 11:25:40", "2019/07/25 03:30:00"};
    int dated = 0;
    const auto check = [&](const std::string& bytes) {
        const FileFacts f = ReadBytes(bytes).facts;
        for (const auto& date : {f.MovieDate, f.EXIFDateOriginal, f.EXIFDateModified, f.EXIFDateDigitized}) {
            EXPECT_TRUE(held.count(Full(date))) << Full(date);
            dated += date.has_value();
        }
    };
    const std::string tiff = BuildTiff({ByteOrder::Intel, {}, "2021:02:03 04:05:06", {}, false, 0, {}, {}});
    const std::string movie = Movie(Mvhd(Mac(k20190725T0330Z)) + Trak(40) +
                                        Keys({{"com.apple.quicktime.creationdate", "2019-07-24T11:25:40+0300"}}),
                                    100);
    for (const std::string& file : {movie, Heif(tiff, 0), Heif(tiff, 1), Heif(tiff, 2)}) {
        for (std::size_t n = 8; n < file.size(); n += 1 + n / 64) check(file.substr(0, n));
        for (std::size_t at = 0; at + 4 <= file.size() && at < 700; at += 4) {
            for (std::uint32_t size : {0u, 1u, 7u, 0xFFFFFFFFu}) {
                std::string broken = file;
                broken.replace(at, 4, Be(size, 4));
                check(broken);
            }
        }
    }
    EXPECT_GT(dated, 0);  // the damage left some files their dates
    EXPECT_FALSE(ReadBytes(Ftyp("isom") + Box("moov", Box("mvhd", "\0"))).facts.MovieMetadata);
}

// The real phone and camera files: their dates as exiftool reads them (movies without a zone in UTC).
TEST(IsoMediaReader, SampleFiles) {
    std::ifstream tsv(test::SamplesFolder() + "/dates.tsv");
    if (!tsv) GTEST_SKIP() << test::NoSamples();
    std::string line;
    int checked = 0;
    while (std::getline(tsv, line)) {
        std::vector<std::string> col;
        for (std::size_t at = 0, tab; at != std::string::npos; at = tab == std::string::npos ? tab : tab + 1)
            col.push_back(line.substr(at, (tab = line.find('\t', at)) - at));
        const bool iso = line.find("HEI") == col[0].size() + 1 || col[1] == "AVIF" || col[1].rfind("MOV", 0) == 0 ||
                         col[1].rfind("MP4", 0) == 0;
        if (col.size() < 4 || !iso || col[3].find("XMP") == 0) continue;  // XMP dates are not read
        const ReadResult r = ReadBytes(FileBytes(kSamples + col[0]).value_or(""));
        const FileFacts& f = r.facts;
        const auto date = f.MovieMetadata ? f.MovieDate : f.EXIFDateOriginal;
        const std::string expected = col[2] == "none" ? "none" : col[2].substr(0, 19);
        EXPECT_EQ(date ? date->Format("yyyy:mm:dd hh:nn:ss") : "none", expected) << col[0];
        EXPECT_LE(r.bytesRead, 1u << 20) << col[0];
        ++checked;
    }
    EXPECT_GT(checked, 15);
}

// iloc's 4,096 items of 65,535 extents each with fields of no bytes (a 24 KB HEIC), the last item
// the Exif item's.
TEST(IsoMediaReader, ExtentsOfNoBytes) {
    std::string items;
    for (int i = 0; i < 4096; ++i) items += Be(i == 4095 ? 1 : 2, 2) + Be(0, 2) + Be(0xFFFF, 2);
    const std::string iloc = FullBox("iloc", 0, Be(0, 2) + Be(0xFFFF, 2) + items);
    const std::string iinf = FullBox("iinf", 0, Be(1, 2) + FullBox("infe", 2, Be(1, 2) + Be(0, 2) + "Exif" + '\0'));
    const ReadResult r = ReadQuickly(Ftyp("heic") + FullBox("meta", 0, iinf + iloc));
    EXPECT_EQ(Found(r.facts), "HEIF") << r.facts.Notes;
}

// A 4 GB sparse MP4 with its moov after the media, reached by one skip. (Files
// of other writers are the samples above.)
TEST(IsoMediaReader, HugeFile) {
    TempDir dir;
    PosixFileSystem posix;
    bench::CountingFileSystem fs(posix);
    const std::string big = dir / "huge.mp4";
    {
        std::ofstream out(big, std::ios::binary);
        const std::uint64_t media = 4ull << 30;
        out << Ftyp("isom") << Be(1, 4) << "mdat" << Be(media + 16, 8);
        out.seekp(static_cast<std::streamoff>(Ftyp("isom").size() + 16 + media));
        out << Box("moov", Mvhd(Mac(k20190725T0330Z)) + Trak(1000));
    }
    // The media is passed by one skip: a few small reads, whatever its size.
    FileFacts huge;
    huge.SourceFilePath = big, huge.SourceFileName = "CLIP";
    huge.Size = static_cast<std::int64_t>(std::filesystem::file_size(big));
    RunOptions options;
    MetadataPass pass;
    RunTally tally;
    ReadMetadata(fs, ReadHooks{}, options, huge, pass, tally);
    EXPECT_EQ(Full(huge.MovieDate), "2019/07/25 03:30:00");
    EXPECT_LE(fs.Counts().reads, 4u);
    EXPECT_LT(fs.Counts().readBytes, 4096u);
}

// ffmpeg's ©xyz (ISO 6709) and exiftool's Keys location, which speaks first.
TEST(IsoMediaReader, MoviePosition) {
    for (const auto& [name, lat, lon, source] :
         {std::tuple{"iso_media/udta_xyz.mov", 35.6586, 139.7454, "udta \xC2\xA9xyz"},
          {"iso_media/keys_location.mov", -33.8688, 151.2093, "Keys:location.ISO6709"}}) {
        const auto bytes = FileBytes(kSeeds + name);
        ASSERT_TRUE(bytes) << name;
        const FileFacts f = ReadBytes(*bytes).facts;
        EXPECT_TRUE(f.MovieMetadata && f.MovieDateIsUTC) << name;
        ASSERT_TRUE(f.Latitude && f.Longitude) << name;
        EXPECT_NEAR(*f.Latitude, lat, 1e-6);
        EXPECT_NEAR(*f.Longitude, lon, 1e-6);
        EXPECT_EQ(f.PositionSource, source);
    }
}

// The zones, sub-seconds, GPS times and positions exiftool reports for the phone and camera samples.
TEST(IsoMediaReader, SampleZonesAndPositions) {
    if (!SamplesPresent()) GTEST_SKIP() << NoSamples();
    struct Expected {
        const char* file;
        std::optional<std::int32_t> offset;
        const char* subSec;
        std::optional<DateTime> gps;
        double lat, lon;  // 0, 0: none
    };
    for (const Expected& e : {
             Expected{"iphone_15_pro.heic", 60, "432", D(2023, 10, 31, 10, 44, 43), 52.4596056, 13.3218417},
             {"xiaomi.heic", std::nullopt, "732", D(2023, 4, 27, 16, 43, 45), 47.2272889, 39.6999922},
             {"IMG_5195.HEIC", -300, "054", std::nullopt, 39.0513444, -94.2887722},
             {"cat.hif", -300, "641", std::nullopt, 0, 0},
             {"this-is-a-jpeg.png", std::nullopt, "321", std::nullopt, -34.0213583, 23.899375},  // south
             {"dolbyVision-hdr.MOV", std::nullopt, "", std::nullopt, 51.5334, -0.1255},
             {"quicktime-hvc1.mov", std::nullopt, "", std::nullopt, 52.4597, 13.322},
             {"h265_with_metadata_track.mp4", std::nullopt, "", std::nullopt, 51.5932, -0.2431},
         }) {
        SCOPED_TRACE(e.file);
        const auto bytes = FileBytes(kSamples + e.file);
        ASSERT_TRUE(bytes);
        const FileFacts f = ReadBytes(*bytes).facts;
        EXPECT_EQ(f.EXIFOffsetOriginal, e.offset);
        EXPECT_EQ(f.EXIFSubSecOriginal, e.subSec);
        EXPECT_EQ(f.GPSDateTime, e.gps);
        EXPECT_EQ(f.Latitude.has_value(), e.lat != 0 || e.lon != 0);
        EXPECT_NEAR(f.Latitude.value_or(0), e.lat, 1e-6);
        EXPECT_NEAR(f.Longitude.value_or(0), e.lon, 1e-6);
    }
}

// ffmpeg's AVIF image sequence (major brand avis, meta before moov) has no Exif item: its movie
// header dates it as a movie's does; a still HEIF without one stays without a date.
TEST(IsoMediaReader, ImageSequenceByItsMovieHeader) {
    const auto bytes = FileBytes(kSeeds + "iso_media/ffmpeg_avis.avif");
    ASSERT_TRUE(bytes);
    const FileFacts f = ReadBytes(*bytes).facts;
    EXPECT_EQ(Found(f), "HEIF movie");
    EXPECT_EQ(Full(f.MovieDate) + " " + f.MovieDateSource, "2023/03/12 01:30:00 mvhd");
    EXPECT_TRUE(f.MovieDateIsUTC);
    std::string still = *bytes;
    still.replace(8, 4, "avif");  // the major brand of a still picture
    EXPECT_EQ(Found(ReadBytes(still).facts), "HEIF");
}

}  // namespace
}  // namespace ravlen::test
