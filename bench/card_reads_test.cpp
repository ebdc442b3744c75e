// The benchmark's card must be what a camera writes: the program's own
// readers find in every file the date the builder wrote, an independent tool
// agrees, and each kind of file is read within its budget of system calls.

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include "card_builder.h"
#include "support/counting_file_system.h"
#include "support/samples.h"
#include "engine/rename_files.h"
#include "metadata/date_selection.h"
#include "metadata/metadata.h"
#include "metadata/tiff_builder.h"
#include "platform/posix_file_system.h"
#include "process_meter.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"

namespace ravlen::bench {
namespace {

struct ReadBack {
    FileFacts facts;
    RunTally tally;
    bool restarted = false;
};

ReadBack ReadFile(FileSystem& fs, const std::string& path, std::int64_t size) {
    ReadBack r;
    test::NullPort port;
    const RunOptions options;  // metadata dates only, best available date
    const ReadHooks hooks = PortReadHooks(port, options.ReportErrors);
    MetadataPass pass;
    for (int attempt = 0; attempt < 2; ++attempt) {
        r.facts = FileFacts{};
        r.facts.SourceFileName = path.substr(path.rfind('/') + 1);
        r.facts.SourceFilePath = path;
        r.facts.Size = size;
        if (ReadMetadata(fs, hooks, options, r.facts, pass, r.tally) == MetadataOutcome::Done) break;
        r.restarted = true;
    }
    ChooseTimestamp(r.facts, options, r.tally, hooks.report);
    return r;
}

class CardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir();
        CardSpec spec;
        spec.files = 200;  // every kind of file, across two folders
        spec.perFolder = 120;
        card_ = new Card(BuildCard(dir_->path(), spec));
    }
    static void TearDownTestSuite() {
        delete card_;
        delete dir_;
    }
    static std::string PathOf(const CardFile& f) { return card_->root + "/" + f.relPath; }

    static test::TempDir* dir_;
    static Card* card_;
};

test::TempDir* CardTest::dir_ = nullptr;
Card* CardTest::card_ = nullptr;

TEST_F(CardTest, EveryFileReadsBackWithTheDateWritten) {
    PosixFileSystem fs;
    int seen[5] = {};
    for (const CardFile& f : card_->files) {
        SCOPED_TRACE(f.relPath);
        ++seen[static_cast<int>(f.kind)];
        const ReadBack r = ReadFile(fs, PathOf(f), static_cast<std::int64_t>(f.size));
        EXPECT_EQ(r.facts.Notes, "");
        EXPECT_FALSE(r.restarted);
        ASSERT_TRUE(r.facts.Timestamped);
        EXPECT_EQ(r.facts.TimestampDateTime, f.date);
        EXPECT_TRUE(r.facts.TimestampHasTime);
        switch (f.kind) {
            case CardKind::Jpeg:
            case CardKind::JpegMotorola:
                EXPECT_EQ(r.facts.InternalFormat, "JPEG");
                EXPECT_EQ(r.facts.TIFFByteAlign, f.kind == CardKind::Jpeg ? "Intel" : "Motorola");
                EXPECT_EQ(r.facts.APP1Offset, 4);
                EXPECT_EQ(r.facts.TIFFOffset, 12);
                EXPECT_EQ(r.facts.EXIFDateModified, f.date);
                EXPECT_EQ(r.facts.EXIFDateOriginal, f.date);
                EXPECT_EQ(r.facts.EXIFDateDigitized, f.date);
                // Real image data after the metadata: at least 100 KB beyond APP1.
                EXPECT_GE(f.size, static_cast<std::uint64_t>(r.facts.APP1Offset + r.facts.APP1Length) + 100 * 1024);
                break;
            case CardKind::Avi:
                EXPECT_EQ(r.facts.RIFFForm, "AVI");
                EXPECT_EQ(r.facts.RIFFIDITDate, f.date);
                EXPECT_EQ(r.facts.RIFFstrdDate, f.date);
                EXPECT_EQ(r.facts.RIFFICRDDate, f.date.DateOnly());
                EXPECT_FALSE(r.facts.RIFFetimTime);
                break;
            case CardKind::Wav:
                EXPECT_EQ(r.facts.RIFFForm, "WAVE");
                EXPECT_EQ(r.facts.RIFFICRDDate, f.date.DateOnly());
                ASSERT_TRUE(r.facts.RIFFetimTime);
                EXPECT_EQ(r.facts.RIFFetimTime->SecondsOfDay(), f.date.SecondsOfDay());
                EXPECT_FALSE(r.facts.RIFFIDITDate);
                break;
            case CardKind::Crw:
                EXPECT_EQ(r.facts.InternalFormat, "CIFF");
                EXPECT_EQ(r.facts.CIFFSubType, "CCDR");
                EXPECT_EQ(r.facts.CIFFCapturedDate, f.date);
                break;
        }
    }
    for (int kind = 0; kind < 5; ++kind) EXPECT_GT(seen[kind], 0) << KindName(static_cast<CardKind>(kind));
}

// Names, folders and dates as a camera gives them: DCF names in 100XXXXX
// folders under DCIM, bursts within one second, a catalog per folder.
TEST_F(CardTest, LaysOutFoldersNamesAndBurstsLikeACamera) {
    ASSERT_EQ(card_->files.size(), 200u);
    EXPECT_EQ(card_->files[0].relPath, "DCIM/100CANON/IMG_0001.JPG");
    EXPECT_EQ(card_->files[119].relPath, "DCIM/100CANON/IMG_0120.JPG");
    EXPECT_EQ(card_->files[120].relPath, "DCIM/101CANON/IMG_0121.JPG");
    EXPECT_EQ(card_->files[17].relPath, "DCIM/100CANON/MVI_0018.AVI");
    EXPECT_EQ(card_->files[8].relPath, "DCIM/100CANON/CRW_0009.CRW");
    EXPECT_EQ(card_->files[9].date, card_->files[8].date);
    EXPECT_EQ(card_->files[10].date, card_->files[8].date.PlusSeconds(14));
    EXPECT_EQ(card_->catalogs, (std::vector<std::string>{"DCIM/CANONMSC/M0100.CTG", "DCIM/CANONMSC/M0101.CTG"}));
    // File numbers wrap after 9999, as on a camera.
    EXPECT_EQ(PlanFile(9998, CardSpec{}).relPath, "DCIM/119CANON/IMG_9999.JPG");
    EXPECT_EQ(PlanFile(10000, CardSpec{}).relPath, "DCIM/120CANON/IMG_0002.JPG");
}

// What reading each kind of file costs in system calls and bytes: the first
// read (4 KiB) holds a camera JPEG's whole EXIF block; a movie's frames are
// passed over, its index read in one more call; a CRW raw file's last 64 KiB
// (its heap table and the small heaps a camera writes after the raw data) in
// one more call.
TEST_F(CardTest, ReadsEachKindOfFileWithinItsBudget) {
    struct Budget {
        std::uint64_t calls;
        std::uint64_t bytes;  // 0: the whole file
    };
    const std::map<CardKind, Budget> budgets = {{CardKind::Jpeg, {2, 8 * 1024}},
                                                {CardKind::JpegMotorola, {2, 8 * 1024}},
                                                {CardKind::Avi, {2, 8 * 1024}},
                                                {CardKind::Wav, {1, 4 * 1024}},
                                                {CardKind::Crw, {2, 68 * 1024}}};
    PosixFileSystem posix;
    CountingFileSystem fs(posix);
    for (const CardFile& f : card_->files) {
        SCOPED_TRACE(f.relPath);
        const Budget budget = budgets.at(f.kind);
        fs.ResetCounts();
        const IoCounters before = ReadIoCounters();
        const ReadBack r = ReadFile(fs, PathOf(f), static_cast<std::int64_t>(f.size));
        const IoCounters io = IoDelta(before, ReadIoCounters());
        ASSERT_TRUE(r.facts.Timestamped);
        EXPECT_EQ(fs.Counts().opens, 1u);
        if (!io.known) GTEST_SKIP() << "/proc/self/io cannot be read here";
        EXPECT_LE(io.readCalls, budget.calls);
        EXPECT_LE(io.bytesRead, budget.bytes ? budget.bytes : f.size);
    }
}

// What reading a file of each format the readers know costs, on the real
// phone and camera files when they are at hand and on the readers' seed
// files: the first read (4 KiB) and a few more of the bytes the reader needs
// next, never the picture's or the movie's data. An EXIF block a container
// holds is read whole (thumbnail and maker notes too). What a file places only
// after it (a HEIF's Exif item before its meta box, a GoPro movie's GPS sample
// before its movie box) is read after going back to it, in the same open.
TEST(FormatReads, EachFormatWithinItsBudget) {
    struct Budget {
        const char* file;  // under the samples' folder, else under the seeds' folder
        std::uint64_t opens, calls, kib;
        bool dated = true;
    };
    const std::string samples = test::SampleFiles(), seeds = RAVLEN_FUZZ_CORPUS "/";
    const Budget budgets[] = {
        {"xiaomi.heic", 1, 2, 56},  // a 49 KB Exif item
        {"200MP.heic", 1, 4, 48},   // the meta box (38 KB) after the image data, the Exif item gone back to
        {"iphone_15_pro.heic", 1, 3, 12},
        {"IMG_5195.HEIC", 1, 2, 8},
        {"avif.avif", 1, 2, 8},
        {"IMG_20180725_163423-micro.avif", 1, 1, 4, false},
        {"dolbyVision-hdr.MOV", 1, 3, 12},
        {"quicktime-hvc1.mov", 1, 4, 16},
        {"portrait_4k60.mp4", 1, 4, 8},
        {"sample_with_color_info.mp4", 1, 4, 12},
        {"h265_with_metadata_track.mp4", 1, 2, 8},
        {"Panasonic_AG_HMC_151.MTS", 1, 1, 4},
        {"Nikon Coolpix P7000.webp", 1, 3, 64},  // a 60 KB EXIF chunk
        {"screenshot.png", 1, 1, 4, false},
        {"canon.raw.cr2", 1, 2, 72},  // the body serial number after a 64 KB maker note: one read more
        {"testNEF.nef", 1, 1, 4},
        {"testARW.arw", 1, 1, 4},
        {"iso_media/canon.cr3", 1, 1, 4},
        {"iso_media/moov_last.mp4", 1, 1, 4},
        {"iso_media/keys_zone.mov", 1, 1, 4},
        {"iso_media/keys_location.mov", 1, 1, 4},
        {"iso_media/udta_xyz.mov", 1, 1, 4},
        {"iso_media/ffmpeg_avis.avif", 1, 1, 4},
        {"jpeg_tiff/gps_zone.jpg", 1, 1, 4},  // zone offsets and GPS within the first read
        {"jpeg_tiff/gps_zone_intel.jpg", 1, 1, 4},
        {"raf/fuji_header.raf", 1, 1, 4},
        {"jpeg_tiff/olympus_intel.orf", 1, 1, 4},
        {"jpeg_tiff/panasonic.rw2", 1, 1, 4},
        {"png/exif_after_idat.png", 1, 1, 4},
        {"webp/exiftool_vp8x.webp", 1, 1, 4},
        {"avchd/ffmpeg_mdpm.mts", 1, 1, 4},
        {"jxl/cjxl_brob_exif.jxl", 1, 1, 4},  // a Brotli-compressed Exif box
        {"jxl/exiftool_xmp.jxl", 1, 1, 4},
        {"jpeg_tiff/tiffcp_bigtiff_intel.tif", 1, 1, 4},  // BigTIFF, its strings before IFD0
        {"jpeg_tiff/exiftool_xmp_only.jpg", 1, 1, 4},
        {"png/raw_profile_ztxt.png", 1, 1, 4},
        {"png/exiftool_xmp.png", 1, 1, 4},
        {"webp/exiftool_xmp.webp", 1, 1, 4},
        {"iso_media/exiftool_xmp.heic", 1, 1, 4},
        {"iso_media/gopro_gpmf_moov_last.mp4", 1, 3, 12},  // its GPS time: one read more, gone back to
        {"iso_media/ffmpeg_gpmd_moov_last.mp4", 1, 3, 12},
        {"iso_media/exiftool_xmp_exif_before_meta.heic", 1, 1, 4},
        {"jpeg_tiff/exiftool_xmp_after_exif.jpg", 1, 2, 8},  // the XMP APP1 past the first read
    };
    PosixFileSystem posix;
    CountingFileSystem fs(posix);
    int measured = 0;
    for (const Budget& b : budgets) {
        std::string path = samples + b.file;
        struct stat st{};
        if (stat(path.c_str(), &st) != 0 && stat((path = seeds + b.file).c_str(), &st) != 0) {
            // Every file is a sample or a seed: only absent samples excuse one.
            EXPECT_FALSE(test::SamplesPresent()) << b.file << " is neither a sample nor a seed";
            continue;
        }
        SCOPED_TRACE(b.file);
        // In the page cache, as the generated card's files are: the first
        // file found uncached costs the read-ahead one read that must not
        // wait (it fails at once), which the meter would count.
        std::ifstream(path, std::ios::binary).ignore(std::numeric_limits<std::streamsize>::max());
        fs.ResetCounts();
        const IoCounters before = ReadIoCounters();
        const ReadBack r = ReadFile(fs, path, st.st_size);
        const IoCounters io = IoDelta(before, ReadIoCounters());
        if (!io.known) GTEST_SKIP() << "/proc/self/io cannot be read here";
        std::printf("%-32s %9lld bytes: %llu open(s), %llu read call(s), %llu bytes read\n", b.file,
                    static_cast<long long>(st.st_size), static_cast<unsigned long long>(fs.Counts().opens),
                    static_cast<unsigned long long>(io.readCalls), static_cast<unsigned long long>(io.bytesRead));
        ++measured;
        EXPECT_EQ(r.facts.Timestamped, b.dated);
        EXPECT_LE(fs.Counts().opens, b.opens);
        EXPECT_LE(io.readCalls, b.calls);
        EXPECT_LE(io.bytesRead, b.kib * 1024);
    }
    EXPECT_GT(measured, 0);
    if (!test::SamplesPresent()) GTEST_SKIP() << "the seeds alone were measured: " << test::NoSamples();
}

// Going back in the file reads the bytes that lie there, whether the read
// window still holds them or not: the GoPro movies' GPS times, the HEIF's XMP
// date, each in one open.
TEST(FormatReads, GoneBackToInTheSameOpen) {
    PosixFileSystem posix;
    CountingFileSystem fs(posix);
    const std::string seeds = RAVLEN_FUZZ_CORPUS "/";
    using Dates = std::tuple<std::string, std::optional<DateTime>, std::optional<DateTime>>;
    for (const auto& [file, gps, xmp] : std::vector<Dates>{
             {"iso_media/gopro_gpmf_moov_last.mp4", test::D(2019, 7, 25, 3, 31, 12), {}},
             {"iso_media/ffmpeg_gpmd_moov_last.mp4", test::D(2023, 10, 14, 9, 35, 12), {}},
             {"iso_media/exiftool_xmp_exif_before_meta.heic", {}, test::D(2022, 3, 4, 5, 6, 7)}}) {
        SCOPED_TRACE(file);
        struct stat st{};
        ASSERT_EQ(stat((seeds + file).c_str(), &st), 0);
        fs.ResetCounts();
        const ReadBack r = ReadFile(fs, seeds + file, st.st_size);
        EXPECT_EQ(std::tuple(r.facts.GPSDateTime, r.facts.XMPDate, r.restarted, fs.Counts().opens),
                  std::tuple(gps, xmp, false, 1u));
    }
}

// A 360° camera's photo: an XMP APP1 before the EXIF APP1 costs one read
// more than the first, wherever the EXIF block falls across the pages.
TEST(FormatReads, ExifAfterXmpWithinTwoReads) {
    test::TempDir dir;
    PosixFileSystem posix;
    CountingFileSystem fs(posix);
    test::ExifLayout layout{ByteOrder::Intel, "2020:01:02 03:04:05", "2020:01:02 03:04:05", {}, false, 0, {}, {}};
    for (std::size_t xmp = 7900; xmp < 8100; xmp += 25) {
        SCOPED_TRACE(xmp);
        const std::string bytes = test::BuildJpeg(test::BuildTiff(layout), {test::Xmp(xmp)}) + std::string(1 << 17, 'd');
        const std::string path = dir.Write("GS01" + std::to_string(xmp) + ".JPG", bytes);
        std::ifstream(path, std::ios::binary).ignore(std::numeric_limits<std::streamsize>::max());
        const IoCounters before = ReadIoCounters();
        const ReadBack r = ReadFile(fs, path, static_cast<std::int64_t>(bytes.size()));
        const IoCounters io = IoDelta(before, ReadIoCounters());
        EXPECT_EQ(r.facts.EXIFDateOriginal, test::D(2020, 1, 2, 3, 4, 5));
        if (!io.known) GTEST_SKIP() << "/proc/self/io cannot be read here";
        EXPECT_LE(io.readCalls, 2u);
        EXPECT_LE(io.bytesRead, 64u * 1024);
    }
}

// An export's photo: an EXIF APP1 without a date, an XMP APP1 with one after
// it (and an ICC profile between) cost one read more than the first,
// wherever the packet falls across the pages.
TEST(FormatReads, XmpAfterUndatedExifWithinTwoReads) {
    test::TempDir dir;
    PosixFileSystem posix;
    CountingFileSystem fs(posix);
    const test::ExifLayout undated{ByteOrder::Intel, {}, {}, {}, false, 0, {}, {}};
    const std::string tiff = test::BuildTiff(undated),
                      packet = "<x:xmpmeta><rdf:Description xmp:CreateDate=\"2021-02-03T04:05:06\"/>",
                      xmp = test::Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
    for (std::size_t icc = 3800; icc < 4300; icc += 25) {
        SCOPED_TRACE(icc);
        std::string bytes = test::BuildJpeg(tiff) + std::string(1 << 17, 'd');
        bytes.insert(2 + 4 + 6 + tiff.size(), test::Segment(0xE2, std::string(icc, 'c')) + xmp);
        const std::string path = dir.Write("EXP" + std::to_string(icc) + ".JPG", bytes);
        std::ifstream(path, std::ios::binary).ignore(std::numeric_limits<std::streamsize>::max());
        const IoCounters before = ReadIoCounters();
        const ReadBack r = ReadFile(fs, path, static_cast<std::int64_t>(bytes.size()));
        const IoCounters io = IoDelta(before, ReadIoCounters());
        const DateTime written = test::D(2021, 2, 3, 4, 5, 6);
        EXPECT_EQ(std::tuple(r.facts.XMPDate, r.facts.TimestampDateTime), std::tuple(written, written));
        if (!io.known) GTEST_SKIP() << "/proc/self/io cannot be read here";
        EXPECT_LE(io.readCalls, 2u);
        EXPECT_LE(io.bytesRead, 72u * 1024);
    }
}

// The meter itself: one read of a known length shows as exactly that.
TEST(ProcessMeter, CountsOneReadToTheByte) {
    test::TempDir dir;
    const std::string path = dir.Write("ten-thousand", std::string(10000, 'x'));
    std::string buffer(20000, '\0');
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const IoCounters before = ReadIoCounters();
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    const IoCounters io = IoDelta(before, ReadIoCounters());
    close(fd);
    ASSERT_EQ(n, 10000);
    if (!io.known) GTEST_SKIP() << "/proc/self/io cannot be read here";
    EXPECT_EQ(io.readCalls, 1u);
    EXPECT_EQ(io.bytesRead, 10000u);
}

std::string Exiftool(const std::string& args, const std::string& path) {
    const std::string command = "exiftool -s3 -n " + args + " '" + path + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return {};
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, pipe.get())) out += buf;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// An independent reader agrees on the dates and on the structure: the EXIF
// block with its thumbnail, the RIFF dates and the raw file's capture time.
TEST_F(CardTest, ExiftoolReadsTheSameDates) {
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
    bool kinds[5] = {};
    for (const CardFile& f : card_->files) {
        if (kinds[static_cast<int>(f.kind)]) continue;
        kinds[static_cast<int>(f.kind)] = true;
        SCOPED_TRACE(f.relPath);
        const std::string path = PathOf(f);
        const std::string stamp = f.date.Format("yyyy:mm:dd hh:nn:ss");
        switch (f.kind) {
            case CardKind::Jpeg:
            case CardKind::JpegMotorola:
                EXPECT_EQ(Exiftool("-DateTimeOriginal", path), stamp);
                EXPECT_EQ(Exiftool("-ModifyDate", path), stamp);
                EXPECT_EQ(Exiftool("-ImageSize", path), "6720 4480");
                EXPECT_NE(Exiftool("-ThumbnailLength", path), "");
                EXPECT_EQ(Exiftool("-Warning", path), "");
                break;
            case CardKind::Avi:
                EXPECT_EQ(Exiftool("-DateTimeOriginal", path), stamp);
                EXPECT_EQ(Exiftool("-DateCreated", path), f.date.Format("yyyy:mm:dd"));
                break;
            case CardKind::Wav:
                EXPECT_EQ(Exiftool("-DateCreated", path), f.date.Format("yyyy:mm:dd"));
                EXPECT_EQ(Exiftool("-Warning", path), "");
                break;
            case CardKind::Crw:
                EXPECT_EQ(Exiftool("-DateTimeOriginal", path), stamp);
                EXPECT_EQ(Exiftool("-Warning", path), "");
                break;
        }
    }
}

}  // namespace
}  // namespace ravlen::bench
