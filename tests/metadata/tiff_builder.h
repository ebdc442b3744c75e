#pragma once
// Byte builders for JPEG and TIFF files with EXIF dates, in either byte order,
// and one file read through detection and its reader.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "metadata/metadata.h"
#include "metadata/read_view.h"
#include "support/fake_port.h"
#include "support/memory_stream.h"

namespace ravlen::test {

// Writes (or patches) an n-byte number in the given byte order.
inline void PutNumber(std::string& s, std::size_t at, std::uint32_t v, int n, ByteOrder order) {
    if (at + n > s.size()) s.resize(at + n, '\0');
    for (int i = 0; i < n; ++i)
        s[at + i] = static_cast<char>(v >> (order == ByteOrder::Motorola ? 8 * (n - 1 - i) : 8 * i));
}

struct IfdEntry {
    std::uint16_t tag;
    std::uint16_t type = 4;  // LONG; a SHORT (3) sits in the value field's first two bytes
    std::uint32_t value = 0;
};

// A TIFF structure as a camera writes it: IFD0 with DateTime and the EXIF
// pointer, then the EXIF sub-directory with DateTimeOriginal and
// DateTimeDigitized; optionally a maker note and an IFD1 thumbnail.
struct ExifSpec {
    ByteOrder order = ByteOrder::Intel;
    std::optional<std::string> dateTime, original, digitized;  // written with a NUL, padded to 20 bytes
    bool subIfd = true;
    bool subIfdBeforeStrings = false;  // the sub-directory before IFD0's DateTime string
    bool extras = false;               // maker note and IFD1 thumbnail
    std::size_t ifd0Gap = 0;           // bytes between the header and IFD0
    std::vector<IfdEntry> extraIfd0, extraSub;
};

inline std::string BuildTiff(const ExifSpec& spec) {
    const ByteOrder o = spec.order;
    std::string s = o == ByteOrder::Motorola ? "MM" : "II";
    PutNumber(s, 2, 42, 2, o);
    PutNumber(s, 4, static_cast<std::uint32_t>(8 + spec.ifd0Gap), 4, o);
    s.append(spec.ifd0Gap, '\xEE');
    // Writes an IFD sorted by tag; returns where each tag's value field is.
    auto ifd = [&](std::vector<IfdEntry> entries, std::size_t* next = nullptr) {
        std::sort(entries.begin(), entries.end(), [](auto& x, auto& y) { return x.tag < y.tag; });
        std::vector<std::pair<std::uint16_t, std::size_t>> fields;
        PutNumber(s, s.size(), static_cast<std::uint32_t>(entries.size()), 2, o);
        for (const auto& e : entries) {
            const std::size_t at = s.size();
            PutNumber(s, at, e.tag, 2, o);
            PutNumber(s, at + 2, e.type, 2, o);
            PutNumber(s, at + 4, e.type == 2 ? 20 : 1, 4, o);
            PutNumber(s, at + 8, e.value, e.type == 3 ? 2 : 4, o);
            PutNumber(s, at + 10, 0, e.type == 3 ? 2 : 0, o);
            fields.emplace_back(e.tag, at + 8);
        }
        if (next) *next = s.size();
        PutNumber(s, s.size(), 0, 4, o);
        return fields;
    };
    // Appends data and points the tag's value field at it.
    auto place = [&](const auto& fields, std::uint16_t tag, const std::string& data) {
        for (const auto& [t, at] : fields)
            if (t == tag) PutNumber(s, at, static_cast<std::uint32_t>(s.size()), 4, o);
        s += data;
    };
    auto date = [](std::string text) { return text.append(20 - std::min<std::size_t>(text.size(), 19), '\0'); };

    std::vector<IfdEntry> e0 = spec.extraIfd0;
    if (spec.dateTime) e0.push_back({0x0132, 2});
    if (spec.subIfd) e0.push_back({0x8769});
    std::size_t next0 = 0;
    const auto f0 = ifd(e0, &next0);
    if (spec.dateTime && !spec.subIfdBeforeStrings) place(f0, 0x0132, date(*spec.dateTime));
    if (spec.subIfd) {
        place(f0, 0x8769, "");
        std::vector<IfdEntry> es = spec.extraSub;
        if (spec.original) es.push_back({0x9003, 2});
        if (spec.digitized) es.push_back({0x9004, 2});
        if (spec.extras) es.push_back({0x927C, 7});
        const auto fs = ifd(es);
        if (spec.original) place(fs, 0x9003, date(*spec.original));
        if (spec.digitized) place(fs, 0x9004, date(*spec.digitized));
        // A maker note holds directories with offsets of its own.
        if (spec.extras) place(fs, 0x927C, std::string("Nikon\0\x02\x10\0\0MM\0\x2A\xFF\xFF\xFF\xF0", 18));
    }
    if (spec.dateTime && spec.subIfdBeforeStrings) place(f0, 0x0132, date(*spec.dateTime));
    if (spec.extras) {
        PutNumber(s, next0, static_cast<std::uint32_t>(s.size()), 4, o);
        place(ifd({{0x0103, 3, 6}, {0x0201}, {0x0202, 4, 32}}), 0x0201, "\xFF\xD8" + std::string(28, '\x11') + "\xFF\xD9");
    }
    return s;
}

// A JPEG segment: 0xFF, the code, the length (most significant byte first), the payload.
inline std::string Segment(unsigned code, const std::string& payload) {
    std::string s{'\xFF', static_cast<char>(code)};
    PutNumber(s, 2, static_cast<std::uint32_t>(payload.size() + 2), 2, ByteOrder::Motorola);
    return s + payload;
}
inline std::string Jfif() { return Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)); }

// SOI, the segments before APP1, APP1 (identifier and TIFF structure), a
// table, the frame and scan headers, image data and EOI.
inline std::string BuildJpeg(const std::string& tiff, const std::vector<std::string>& before = {},
                             const std::string& identifier = std::string("Exif\0\0", 6)) {
    std::string s = "\xFF\xD8";
    for (const auto& seg : before) s += seg;
    s += Segment(0xE1, identifier + tiff) + Segment(0xDB, std::string(65, '\x01')) +
         Segment(0xC0, std::string("\x08\0\x10\0\x10\x01\x01\x11\0", 9)) +
         Segment(0xDA, std::string("\x01\x01\0\0\x3F\0", 6)) + std::string(200, '\x5A') + "\xFF\xD9";
    return s;
}

// One file through detection and its reader, begun again when the reader
// asks, as the folder walk does.
struct ReadResult {
    FileFacts facts;
    RunTally tally;
    FakePort port;
    bool restarted = false;
    std::size_t bytesRead = 0;
};

inline ReadResult ReadBytes(const std::string& bytes, int dateMode = 1, const std::string& name = "IMG_0001.JPG") {
    ReadResult r;
    RunOptions options;
    options.DateMode = dateMode;
    options.ReportErrors = 1;
    MetadataPass pass;
    for (int attempt = 0; attempt < 2; ++attempt) {
        r.facts = FileFacts{};
        r.facts.SourceFileName = name;
        r.facts.Size = static_cast<std::int64_t>(bytes.size());
        MemoryStream stream(bytes);
        const bool again = ReadMetadataFromStream(stream, r.facts.Size, r.port, options, r.facts, pass, r.tally);
        r.bytesRead += stream.bytesRead;
        if (!again) break;
        r.restarted = true;
    }
    return r;
}

}  // namespace ravlen::test
