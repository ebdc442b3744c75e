#include "metadata/gpmf_reader.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ravlen {
namespace {

constexpr int kMaxChildren = 4096;
constexpr int kMaxDepth = 4;  // DEVC, STRM and what they nest

constexpr std::uint32_t Fourcc(std::string_view s) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
std::uint32_t U32Or0(const ByteSpan& s, std::uint64_t o) { return s.U32(o, ByteOrder::Motorola).value_or(0); }

// The payload of the first child box of that type; a box cut short by the
// bytes at hand gives what there is of it.
std::optional<ByteSpan> Child(const ByteSpan& s, std::uint32_t type) {
    std::uint64_t o = 0;
    for (int n = 0; n < kMaxChildren && s.Has(o, 8); ++n) {
        std::uint64_t size = U32Or0(s, o), header = 8;
        if (size == 1) {
            const auto hi = s.U32(o + 8, ByteOrder::Motorola), lo = s.U32(o + 12, ByteOrder::Motorola);
            if (!hi || !lo) return std::nullopt;
            size = (std::uint64_t{*hi} << 32) | *lo, header = 16;
        } else if (size == 0) {
            size = s.size() - o;
        }
        if (size < header) return std::nullopt;
        const std::uint64_t held = std::min(size, s.size() - o);
        if (U32Or0(s, o + 4) == type) return held < header ? std::nullopt : s.Sub(o + header, held - header);
        if (size > s.size() - o) return std::nullopt;
        o += size;
    }
    return std::nullopt;
}

std::optional<ByteSpan> Path(ByteSpan s, std::initializer_list<const char*> types) {
    for (const char* t : types) {
        const auto c = Child(s, Fourcc(t));
        if (!c) return std::nullopt;
        s = *c;
    }
    return s;
}

int Digits(std::string_view t, std::size_t at) {
    if (at + 2 > t.size() || t[at] < '0' || t[at] > '9' || t[at + 1] < '0' || t[at + 1] > '9') return -1;
    return (t[at] - '0') * 10 + (t[at + 1] - '0');
}

// "yymmddhhmmss.sss", the years 2000 to 2099.
std::optional<DateTime> ParseGpsu(std::string_view t) {
    std::array<int, 6> v{};
    for (std::size_t k = 0; k < v.size(); ++k)
        if ((v[k] = Digits(t, 2 * k)) < 0) return std::nullopt;
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 59) return std::nullopt;
    const auto date = DateTime::FromFields(2000 + v[0], v[1], v[2], v[3], v[4], v[5]);
    if (!date || date->Fields().day != v[2]) return std::nullopt;
    return date;
}

// GPMF's key-length-value items: a key, a type (0: nested items), the size
// of one structure and their count, the data padded to 4 bytes.
std::optional<DateTime> FindGpsu(const ByteSpan& s, int depth, ReaderContext& ctx) {
    std::uint64_t o = 0;
    while (s.Has(o, 8) && ctx.Step()) {
        const std::uint32_t key = U32Or0(s, o);
        const std::uint8_t type = *s.Byte(o + 4), size = *s.Byte(o + 5);
        const std::uint64_t length = std::uint64_t{size} * *s.U16(o + 6, ByteOrder::Motorola);
        const auto data = s.Sub(o + 8, length);
        if (!data) return std::nullopt;
        if (key == Fourcc("GPSU") && type == 'U' && length >= 16) return ParseGpsu(data->view().substr(0, 16));
        if (type == 0 && depth < kMaxDepth)
            if (const auto found = FindGpsu(*data, depth + 1, ctx)) return found;
        o += 8 + (length + 3) / 4 * 4;
    }
    return std::nullopt;
}

}  // namespace

bool IsGpmfTrack(const ByteSpan& trak) {
    const auto hdlr = Path(trak, {"mdia", "hdlr"});
    const auto stsd = Path(trak, {"mdia", "minf", "stbl", "stsd"});
    // hdlr: version and flags, pre-defined, handler type; stsd: version and
    // flags, entry count, then the first entry's size and format.
    return hdlr && stsd && U32Or0(*hdlr, 8) == Fourcc("meta") && U32Or0(*stsd, 12) == Fourcc("gpmd");
}

std::optional<GpmfSample> FirstGpmfSample(const ByteSpan& trak) {
    const auto stbl = Path(trak, {"mdia", "minf", "stbl"});
    if (!stbl) return std::nullopt;
    const auto stsz = Child(*stbl, Fourcc("stsz"));
    if (!stsz) return std::nullopt;
    // stsz: version and flags, one size for every sample (0: each its own), count, sizes.
    const auto common = stsz->U32(4, ByteOrder::Motorola), first = stsz->U32(12, ByteOrder::Motorola);
    const std::uint64_t length = common && *common != 0 ? *common : first.value_or(0);
    GpmfSample sample{0, length};
    if (const auto stco = Child(*stbl, Fourcc("stco"))) {
        const auto offset = stco->U32(8, ByteOrder::Motorola);  // after version, flags and the count
        if (!offset) return std::nullopt;
        sample.offset = *offset;
    } else if (const auto co64 = Child(*stbl, Fourcc("co64"))) {
        const auto hi = co64->U32(8, ByteOrder::Motorola), lo = co64->U32(12, ByteOrder::Motorola);
        if (!hi || !lo) return std::nullopt;
        sample.offset = (std::uint64_t{*hi} << 32) | *lo;
    } else {
        return std::nullopt;
    }
    if (sample.length == 0) return std::nullopt;
    return sample;
}

std::optional<DateTime> GpmfGpsTime(const ByteSpan& sample, ReaderContext& ctx) { return FindGpsu(sample, 0, ctx); }

}  // namespace ravlen
