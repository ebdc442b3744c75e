#pragma once
// Byte builders for JPEG and TIFF files with EXIF dates, in either byte order.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "metadata/metadata.h"
#include "metadata/read_view.h"
#include "support/fake_port.h"
#include "support/memory_stream.h"

namespace ravlen::test {

// Bytes with numbers in one byte order, and patching of earlier fields.
class Bytes {
public:
    explicit Bytes(ByteOrder order = ByteOrder::Intel) : order_(order) {}
    Bytes& Raw(const std::string& s) { s_ += s; return *this; }
    Bytes& U8(unsigned v) { s_.push_back(static_cast<char>(v & 0xFF)); return *this; }
    Bytes& U16(std::uint32_t v) { Put(s_.size(), v, 2, true); return *this; }
    Bytes& U32(std::uint32_t v) { Put(s_.size(), v, 4, true); return *this; }
    Bytes& Fill(std::size_t n, char c = '\0') { s_.append(n, c); return *this; }
    void Patch16(std::size_t at, std::uint32_t v) { Put(at, v, 2, false); }
    void Patch32(std::size_t at, std::uint32_t v) { Put(at, v, 4, false); }
    std::size_t size() const { return s_.size(); }
    const std::string& str() const { return s_; }

private:
    void Put(std::size_t at, std::uint32_t v, int n, bool append) {
        if (append) s_.append(n, '\0');
        for (int i = 0; i < n; ++i) {
            const int shift = order_ == ByteOrder::Motorola ? 8 * (n - 1 - i) : 8 * i;
            s_[at + i] = static_cast<char>((v >> shift) & 0xFF);
        }
    }
    ByteOrder order_;
    std::string s_;
};

struct IfdEntry {
    std::uint16_t tag;
    std::uint16_t type = 4;  // LONG
    std::uint32_t count = 1;
    std::uint32_t value = 0;
};

// A TIFF structure (header first) such as a camera writes: IFD0 with DateTime
// and the EXIF pointer, the EXIF sub-directory with DateTimeOriginal and
// DateTimeDigitized, optionally a maker note and an IFD1 thumbnail.
struct ExifSpec {
    ByteOrder order = ByteOrder::Intel;
    std::optional<std::string> dateTime;   // each written as given plus a NUL, padded to 20 bytes
    std::optional<std::string> original;
    std::optional<std::string> digitized;
    bool subIfd = true;
    std::vector<IfdEntry> extraIfd0;       // more entries for IFD0 (tags sorted in by the builder)
    std::vector<IfdEntry> extraSub;
    bool subIfdBeforeStrings = false;      // the sub-directory before IFD0's DateTime string
    bool makerNote = false;                // a 64-byte maker note blob in the sub-directory
    bool thumbnail = false;                // IFD1 with a small JPEG thumbnail
};

inline std::string DateBytes(const std::string& text) {
    std::string s = text;
    s.push_back('\0');
    if (s.size() < 20) s.resize(20, '\0');
    return s;
}

namespace detail {
// Writes an IFD with the entries sorted by tag; returns the offset of each
// entry's value field, in sorted order, and of the next-IFD pointer.
inline std::pair<std::vector<std::pair<std::uint16_t, std::size_t>>, std::size_t> WriteIfd(
    Bytes& b, std::vector<IfdEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const IfdEntry& x, const IfdEntry& y) { return x.tag < y.tag; });
    b.U16(static_cast<std::uint32_t>(entries.size()));
    std::vector<std::pair<std::uint16_t, std::size_t>> values;
    for (const auto& e : entries) {
        b.U16(e.tag).U16(e.type).U32(e.count);
        values.emplace_back(e.tag, b.size());
        if (e.type == 3 && e.count == 1) b.U16(e.value).U16(0);  // a SHORT sits in the field's first bytes
        else b.U32(e.value);
    }
    const std::size_t next = b.size();
    b.U32(0);
    return {values, next};
}
inline std::size_t ValueOf(const std::vector<std::pair<std::uint16_t, std::size_t>>& v, std::uint16_t tag) {
    for (const auto& [t, at] : v)
        if (t == tag) return at;
    return 0;
}
}  // namespace detail

inline std::string BuildTiff(const ExifSpec& spec) {
    Bytes b(spec.order);
    b.Raw(spec.order == ByteOrder::Motorola ? "MM" : "II").U16(42).U32(8);

    std::vector<IfdEntry> ifd0 = spec.extraIfd0;
    if (spec.dateTime) ifd0.push_back({0x0132, 2, 20, 0});
    if (spec.subIfd) ifd0.push_back({0x8769, 4, 1, 0});
    const auto ifd0Fields = detail::WriteIfd(b, ifd0);
    const auto& v0 = ifd0Fields.first;
    const std::size_t next0 = ifd0Fields.second;

    auto writeDateTime = [&] {
        if (!spec.dateTime) return;
        b.Patch32(detail::ValueOf(v0, 0x0132), static_cast<std::uint32_t>(b.size()));
        b.Raw(DateBytes(*spec.dateTime));
    };
    if (!spec.subIfdBeforeStrings) writeDateTime();

    if (spec.subIfd) {
        b.Patch32(detail::ValueOf(v0, 0x8769), static_cast<std::uint32_t>(b.size()));
        std::vector<IfdEntry> sub = spec.extraSub;
        if (spec.original) sub.push_back({0x9003, 2, 20, 0});
        if (spec.digitized) sub.push_back({0x9004, 2, 20, 0});
        if (spec.makerNote) sub.push_back({0x927C, 7, 64, 0});
        const auto vs = detail::WriteIfd(b, sub).first;
        if (spec.original) {
            b.Patch32(detail::ValueOf(vs, 0x9003), static_cast<std::uint32_t>(b.size()));
            b.Raw(DateBytes(*spec.original));
        }
        if (spec.digitized) {
            b.Patch32(detail::ValueOf(vs, 0x9004), static_cast<std::uint32_t>(b.size()));
            b.Raw(DateBytes(*spec.digitized));
        }
        if (spec.makerNote) {
            b.Patch32(detail::ValueOf(vs, 0x927C), static_cast<std::uint32_t>(b.size()));
            // Maker notes hold their own directories, with offsets of their own.
            b.Raw("Nikon").Fill(3).U16(2).U32(0xFFFFFFF0u).Fill(64 - 14, '\x7F');
        }
    }
    if (spec.subIfdBeforeStrings) writeDateTime();

    if (spec.thumbnail) {
        b.Patch32(next0, static_cast<std::uint32_t>(b.size()));
        const auto v1 = detail::WriteIfd(b, {{0x0103, 3, 1, 6}, {0x0201, 4, 1, 0}, {0x0202, 4, 1, 32}}).first;
        b.Patch32(detail::ValueOf(v1, 0x0201), static_cast<std::uint32_t>(b.size()));
        b.Raw("\xFF\xD8\xFF\xDB").Fill(26, '\x11').Raw("\xFF\xD9");
    }
    return b.str();
}

// A JPEG segment: marker 0xFF code, 2-byte length (most significant first), payload.
inline std::string Segment(unsigned code, const std::string& payload) {
    const std::size_t length = payload.size() + 2;
    std::string s{'\xFF', static_cast<char>(code), static_cast<char>((length >> 8) & 0xFF),
                  static_cast<char>(length & 0xFF)};
    return s + payload;
}

inline std::string Jfif() { return Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)); }

// SOI, the segments before APP1, APP1 with the identifier and the TIFF
// structure, then quantisation table, frame, scan header, image data and EOI.
inline std::string BuildJpeg(const std::string& tiff, const std::vector<std::string>& before = {},
                             const std::string& identifier = std::string("Exif\0\0", 6)) {
    std::string s = "\xFF\xD8";
    for (const auto& seg : before) s += seg;
    s += Segment(0xE1, identifier + tiff);
    s += Segment(0xDB, std::string(65, '\x01'));
    s += Segment(0xC0, std::string("\x08\x00\x10\x00\x10\x01\x01\x11\x00", 9));
    s += Segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6));
    s += std::string(200, '\x5A');  // image data: never to be read
    s += "\xFF\xD9";
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
