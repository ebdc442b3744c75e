#pragma once
// JPEG and TIFF files with EXIF dates in either byte order; any file read through detection and its reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "metadata/metadata.h"
#include "metadata/read_view.h"
#include "model/report.h"
#include "support/fake_port.h"
#include "support/memory_stream.h"

#include "support/samples.h"

namespace ravlen::test {

inline DateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return *DateTime::FromFields(y, mo, d, h, mi, s);
}
inline std::string Full(const std::optional<DateTime>& d) { return d ? d->FormatFull() : "none"; }
inline std::string Le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

// Writes (or patches) an n-byte number in the given byte order.
inline void PutNumber(std::string& s, std::size_t at, std::uint32_t v, int n, ByteOrder order = ByteOrder::Intel) {
    if (at + n > s.size()) s.resize(at + n, '\0');
    for (int i = 0; i < n; ++i)
        s[at + i] = static_cast<char>(v >> (order == ByteOrder::Motorola ? 8 * (n - 1 - i) : 8 * i));
}

// A LONG (4) entry, or a SHORT (3) in the value field's first two bytes.
struct IfdEntry { std::uint16_t tag, type = 4; std::uint32_t value = 0; };

// IFD0 (DateTime, EXIF pointer), then the sub-directory (DateTimeOriginal, DateTimeDigitized): 20-byte strings.
struct ExifLayout {
    ByteOrder order = ByteOrder::Intel;
    std::optional<std::string> dateTime, original, digitized;
    bool subIfdBeforeStrings = false;  // the sub-directory before IFD0's DateTime string
    std::size_t ifd0Gap = 0;           // bytes between the header and IFD0
    std::vector<IfdEntry> extraIfd0, extraSub;
    bool stringsFirst = false;  // the date strings between the header and IFD0, as some editors write them
};

inline std::string BuildTiff(const ExifLayout& layout) {
    const ByteOrder o = layout.order;
    std::string s = o == ByteOrder::Motorola ? "MM" : "II";
    auto put = [&](std::uint32_t v, int n) { PutNumber(s, s.size(), v, n, o); };
    auto text20 = [](const std::string& text) { return text + std::string(20 - std::min<std::size_t>(text.size(), 19), '\0'); };
    put(42, 2), put(0, 4);
    std::vector<std::pair<std::uint16_t, std::size_t>> early;  // where each string written first is
    for (const auto& [tag, text] : {std::pair{0x0132, layout.dateTime}, {0x9003, layout.original}, {0x9004, layout.digitized}})
        if (layout.stringsFirst && text) early.emplace_back(tag, s.size()), s += text20(*text);
    s.append(layout.ifd0Gap, 'g');
    PutNumber(s, 4, static_cast<std::uint32_t>(s.size()), 4, o);
    std::vector<std::pair<std::uint16_t, std::size_t>> fields;  // where each tag's value field is
    auto ifd = [&](std::vector<IfdEntry> entries) {
        std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.tag < y.tag; });
        put(static_cast<std::uint32_t>(entries.size()), 2);
        for (const auto& e : entries) {
            fields.emplace_back(e.tag, s.size() + 8);
            put(e.tag, 2), put(e.type, 2), put(e.type == 2 ? 20 : 1, 4);
            put(e.type == 3 && o == ByteOrder::Motorola ? e.value << 16 : e.value, 4);
        }
        put(0, 4);
    };
    // Points the tag's value field at the end, then appends the date text.
    auto place = [&](std::uint16_t tag, const std::optional<std::string>& text) {
        std::size_t target = s.size();
        for (const auto& [t, at] : early)
            if (t == tag) target = at;
        for (const auto& [t, at] : fields)
            if (t == tag) PutNumber(s, at, static_cast<std::uint32_t>(target), 4, o);
        if (text && target == s.size()) s += text20(*text);
    };
    std::vector<IfdEntry> e0 = layout.extraIfd0, es = layout.extraSub;
    if (layout.dateTime) e0.push_back({0x0132, 2});
    e0.push_back({0x8769});
    if (layout.original) es.push_back({0x9003, 2});
    if (layout.digitized) es.push_back({0x9004, 2});
    ifd(e0);
    if (!layout.subIfdBeforeStrings) place(0x0132, layout.dateTime);
    place(0x8769, {});
    ifd(es);
    place(0x9003, layout.original);
    place(0x9004, layout.digitized);
    if (layout.subIfdBeforeStrings) place(0x0132, layout.dateTime);
    return s;
}

// A JPEG segment: 0xFF, the code, the length (most significant byte first), the payload.
inline std::string Segment(unsigned code, const std::string& payload) {
    return std::string{'\xFF', char(code), char((payload.size() + 2) >> 8), char(payload.size() + 2)} + payload;
}
// An XMP APP1 (a 360° camera writes one before its EXIF APP1), its packet padded to `size` bytes.
inline std::string Xmp(std::size_t size = 300) {
    const std::string packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><GPano:ProjectionType>equirectangular";
    return Segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet + std::string(size, ' '));
}
inline std::string Jfif() { return Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)); }

// SOI, the segments before APP1, APP1 (identifier, TIFF structure), a table, the frame header, data, EOI.
inline std::string BuildJpeg(const std::string& tiff, const std::vector<std::string>& before = {},
                             const std::string& identifier = std::string("Exif\0\0", 6)) {
    std::string s = "\xFF\xD8";
    for (const auto& seg : before) s += seg;
    return s + Segment(0xE1, identifier + tiff) + Segment(0xDB, std::string(65, 'q')) +
           Segment(0xC0, std::string("\x08\0\x10\0\x10\x01\x01\x11\0", 9)) + std::string(200, 'Z') + "\xFF\xD9";
}

// One file through detection and its reader, begun again when the reader asks,
// as the folder walk does (on the same stream when the first pass kept what it
// read); size < 0 is the size of the bytes. A stream front to back only (as a
// device's) cannot go back to what a reader passed over.
struct ReadResult {
    FileFacts facts;
    RunTally tally;
    FakePort port;
    bool restarted{};
    std::size_t bytesRead{};
    int reads{};    // the streams' read calls
    int streams{};  // the streams opened
};
inline ReadResult ReadBytes(const std::string& bytes, int dateMode = 1, std::int64_t size = -1,
                            bool cameraTextsAnywhere = false, bool frontToBack = false) {
    ReadResult r;
    RunOptions options;
    options.DateMode = static_cast<DateMode>(dateMode), options.ReportErrors = true;
    const ReadHooks hooks{[&r] { r.port.PumpEvents(); }, ProblemReporter{r.port, true}};
    MetadataPass pass;
    pass.CameraTextsAnywhere = cameraTextsAnywhere;
    std::optional<MemoryStream> stream;
    for (int attempt = 0; attempt == 0 || (attempt == 1 && r.restarted); ++attempt) {
        r.facts = FileFacts{};
        r.facts.SourceFileName = "IMG_0001.JPG";
        r.facts.Size = size < 0 ? static_cast<std::int64_t>(bytes.size()) : size;
        if (pass.KeptBytes.empty()) {
            if (stream) r.bytesRead += stream->bytesRead, r.reads += stream->reads;
            stream.emplace(bytes);
            stream->frontToBack = frontToBack;
            ++r.streams;
        }
        r.restarted |= ReadMetadataFromStream(*stream, r.facts.Size, hooks, options, r.facts, pass, r.tally) ==
                       MetadataOutcome::Restart;
    }
    r.bytesRead += stream->bytesRead, r.reads += stream->reads;
    return r;
}
// A file whose counts stand at their maximum over entries of no bytes: read in well under 10 ms of
// processor time (the loops it drives once cost up to a second); unoptimized or sanitized builds run
// the same loops up to a hundred times slower.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAVLEN_TEST_SANITIZED 1
#endif
#endif
#if !defined(__OPTIMIZE__) || defined(__SANITIZE_ADDRESS__) || defined(RAVLEN_TEST_SANITIZED)
inline constexpr double kQuickMs = 1000;
#else
inline constexpr double kQuickMs = 10;
#endif
inline ReadResult ReadQuickly(const std::string& bytes) {
    const std::clock_t start = std::clock();
    ReadResult r = ReadBytes(bytes);
    EXPECT_LT(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC, kQuickMs) << bytes.size();
    return r;
}
// The formats whose metadata is valid ("TIFF", "" for none), so that a failed check names the flags.
inline std::string ValidFormats(const FileFacts& f) {
    std::string s;
    for (const auto& [flag, name] : {std::pair{f.TIFFMetadata, "TIFF"}, {f.RIFFMetadata, "RIFF"},
                                     {f.CIFFMetadata, "CIFF"}, {f.MovieMetadata, "Movie"}})
        if (flag) s += s.empty() ? name : std::string(" ") + name;
    return s;
}
inline std::string FaultNote(const std::string& error) {  // e.g. "6: Overflow"
    return "Unable to extract metadata from IMG_0001.JPG due to the following: Error " + error +
           ". If this problem persists, please contact Morvane for assistance.";
}

// Damaged files: no valid metadata; the skip and the note, shown once as a warning, in the strict mode only.
inline void ExpectNotes(const std::vector<std::pair<std::string, std::string>>& cases) {
    for (const auto& [bytes, note] : cases) {
        for (int mode : {1, 2}) {
            const ReadResult r = ReadBytes(bytes, mode);
            EXPECT_EQ(r.facts.Notes, mode == 1 ? "IMG_0001.JPG" + note : "");
            EXPECT_EQ(ValidFormats(r.facts), "") << note;
            EXPECT_EQ(r.facts.Timestamped, mode == 2) << note;
            EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, mode == 1 ? 1 : 0) << note;
            EXPECT_EQ(r.port.messages.size(), mode == 1 ? 1u : 0u) << note;
            for (const auto& m : r.port.messages) EXPECT_EQ(m.icon, MsgIcon::Exclamation) << note;
        }
    }
}

// Every truncation of a file: whenever no metadata is valid, a note and the skip.
inline void ExpectEveryTruncationHandled(const std::string& bytes) {
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        const ReadResult r = ReadBytes(bytes.substr(0, n));
        if (!ValidFormats(r.facts).empty()) continue;
        EXPECT_FALSE(r.facts.Timestamped) << n;
        EXPECT_EQ(r.tally.NumberOfInvalidEXIFFiles, 1) << n;
        EXPECT_NE(r.facts.Notes, "") << n;
    }
}

// A file's bytes, or nothing when it cannot be read. Real camera files lie in
// the shared samples folder; files made with general tools are the fuzz seeds.
inline std::optional<std::string> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline const std::string kSamples = test::SampleFiles();
inline const std::string kSeeds = RAVLEN_FUZZ_CORPUS "/";

// Seed files made with general tools: valid TIFF metadata with this DateTimeOriginal, nothing noted.
inline void ExpectSeedsDated(std::initializer_list<const char*> names, const DateTime& original) {
    for (const char* name : names) {
        const auto bytes = FileBytes(kSeeds + name);
        ASSERT_TRUE(bytes) << name;
        const ReadResult r = ReadBytes(*bytes);
        EXPECT_TRUE(r.facts.TIFFMetadata && r.facts.Notes.empty()) << name << r.facts.Notes;
        EXPECT_EQ(r.facts.EXIFDateOriginal, original) << name;
    }
}

}  // namespace ravlen::test
