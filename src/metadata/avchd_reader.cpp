#include "metadata/avchd_reader.h"

#include <algorithm>
#include <map>
#include <string>

#include "metadata/metadata_fault.h"

namespace ravlen {
namespace {

constexpr std::uint8_t kSync = 0x47;
constexpr std::uint64_t kPacket = 188;
constexpr std::uint64_t kTimeCode = 4;  // before each packet of a .M2TS/.MTS file
// Only the first packets are read: a camera writes the MDPM block with the
// first picture.
constexpr std::uint64_t kMaxRead = 2u << 20;
// Streams (packet ids) followed at most; a camera's file has a handful.
constexpr std::size_t kMaxStreams = 16;
// The unregistered user data's UUID, then the block's own mark.
constexpr std::string_view kMdpmMark(
    "\x17\xee\x8c\x60\xf8\x4d\x11\xd9\x8c\xd6\x08\x00\x20\x0c\x9a\x66"
    "MDPM",
    20);
constexpr std::uint8_t kTagDate = 0x18;      // zone, year (2 bytes BCD), month
constexpr std::uint8_t kTagTime = 0x19;      // day, hour, minute, second (BCD)
constexpr std::size_t kEntry = 5;            // tag, 4 bytes of data

// A two-digit BCD byte's value, or -1.
int Bcd(std::uint8_t b) {
    if ((b >> 4) > 9 || (b & 0x0F) > 9) return -1;
    return (b >> 4) * 10 + (b & 0x0F);
}

// The bytes of a NAL unit's payload with each emulation-prevention byte (the
// 03 of 00 00 03) removed, up to `want` bytes.
std::string Unescape(std::string_view raw, std::size_t want) {
    std::string out;
    int zeros = 0;
    for (char c : raw) {
        if (out.size() == want) break;
        const auto b = static_cast<std::uint8_t>(c);
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(c);
    }
    return out;
}

// The offset in minutes from the zone byte: 0x20 sign (west), 0x1E hours,
// 0x01 a half hour; 0x40 marks daylight saving time, already counted in the
// hours. A byte with the top bit set states no zone.
std::optional<std::int32_t> ZoneOffset(std::uint8_t zone) {
    if (zone & 0x80) return std::nullopt;
    const std::int32_t minutes = ((zone >> 1) & 0x0F) * 60 + (zone & 0x01) * 30;
    return (zone & 0x20) ? -minutes : minutes;
}

}  // namespace

bool LooksLikeTransportStream(std::string_view first8) {
    if (first8.size() < 8) return false;
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(first8[i]); };
    // Sync byte, no transport error, and a payload or adaptation field.
    auto header = [&](std::size_t o) { return at(o) == kSync && (at(o + 1) & 0x80) == 0 && (at(o + 3) & 0x30) != 0; };
    return header(0) || header(kTimeCode);
}

std::optional<MdpmRecording> ParseMdpm(std::string_view afterMark) {
    // A count byte, then up to 255 entries, each escaped at most once per two bytes.
    const std::string block = Unescape(afterMark, 1 + 255 * kEntry);
    if (block.empty()) return std::nullopt;
    const std::size_t count = static_cast<std::uint8_t>(block[0]);
    std::optional<std::string_view> date, time;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 1 + i * kEntry;
        if (block.size() < at + kEntry) break;
        const std::string_view entry = std::string_view(block).substr(at, kEntry);
        const auto tag = static_cast<std::uint8_t>(entry[0]);
        if (tag == kTagDate) date = entry.substr(1);
        else if (tag == kTagTime) time = entry.substr(1);
    }
    if (!date || !time) return std::nullopt;
    auto byte = [](std::string_view s, std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const int century = Bcd(byte(*date, 1)), year = Bcd(byte(*date, 2)), month = Bcd(byte(*date, 3));
    const int day = Bcd(byte(*time, 0)), hour = Bcd(byte(*time, 1)), minute = Bcd(byte(*time, 2));
    const int second = Bcd(byte(*time, 3));
    if (century < 0 || year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;
    const auto local = DateTime::FromFields(century * 100 + year, month, day, hour, minute, second);
    // A day beyond the month's end is no date.
    if (!local || local->Fields().day != day) return std::nullopt;
    return MdpmRecording{*local, ZoneOffset(byte(*date, 0))};
}

namespace {

// The raw bytes after a mark that always hold a whole MDPM block (a count and
// 255 entries, with room for every emulation-prevention byte).
constexpr std::size_t kMaxBlockRaw = 2 * (1 + 255 * kEntry);

// One elementary stream's payload bytes, searched for the mark as they come.
struct StreamBytes {
    std::string data;     // the unsearched tail, or the bytes after a mark found
    bool marked = false;  // data begins just after a mark
};

// A look at a block costs a step for each entry it may hold: blocks whose
// marks follow each other closely are each looked at in full.
constexpr std::int64_t kBlockSteps = 1 + 255;

class PacketWalk {
public:
    PacketWalk(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx) {}

    TransportScan Run() {
        TransportScan scan;
        const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(view_.FileSize(), 0));
        const std::uint64_t first = std::min<std::uint64_t>(fileSize, 2 * (kPacket + kTimeCode));
        if (first > static_cast<std::uint64_t>(view_.Position()))
            Require(view_.Read(first - static_cast<std::uint64_t>(view_.Position())));
        // The packet length whose sync bytes repeat (or the only packet there is).
        for (const std::uint64_t lead : {std::uint64_t{0}, kTimeCode}) {
            const std::uint64_t stride = kPacket + lead;
            if (first < stride || view_.Byte(lead) != kSync) continue;
            if (first >= 2 * stride && view_.Byte(stride + lead) != kSync) continue;
            lead_ = lead;
            stride_ = stride;
            scan.transport = true;
            break;
        }
        if (!scan.transport) return scan;

        const std::uint64_t budget = std::min(fileSize, kMaxRead) / stride_ * stride_;
        std::string held(*view_.Bytes(0, view_.BufferSize()));
        for (std::uint64_t pos = 0; pos < budget && !scan.recording && !spent_; pos += stride_) {
            if (held.size() < stride_) {
                view_.ClearBuffer();
                Require(view_.Read(pos + stride_ - static_cast<std::uint64_t>(view_.Position())));
                held.append(*view_.Bytes(0, view_.BufferSize()));
            }
            if (!Packet(std::string_view(held).substr(0, stride_), scan)) break;
            held.erase(0, stride_);
        }
        view_.ClearBuffer();
        return scan;
    }

private:
    // One packet's payload joins its stream. False when the sync is lost.
    bool Packet(std::string_view p, TransportScan& scan) {
        const ByteSpan packet(p);
        const std::uint64_t h = lead_;
        if (packet.Byte(h) != kSync) return false;
        const std::uint32_t pid = (*packet.Byte(h + 1) & 0x1Fu) << 8 | *packet.Byte(h + 2);
        const std::uint8_t control = (*packet.Byte(h + 3) >> 4) & 0x03;
        std::uint64_t start = h + 4;
        if (control & 0x02) start += 1 + *packet.Byte(h + 4);  // the adaptation field
        if (!(control & 0x01) || start >= stride_ || pid == kNullPid) return true;
        auto it = streams_.find(pid);
        if (it == streams_.end()) {
            if (streams_.size() >= kMaxStreams) return true;
            it = streams_.emplace(pid, StreamBytes{}).first;
        }
        scan.recording = Feed(it->second, p.substr(start));
        return true;
    }

    std::optional<MdpmRecording> Feed(StreamBytes& s, std::string_view payload) {
        s.data.append(payload);
        for (;;) {
            if (!s.marked) {
                const std::size_t k = s.data.find(kMdpmMark);
                if (k == std::string::npos) {
                    // Keep what could be the start of a mark cut by the packet's end.
                    if (s.data.size() >= kMdpmMark.size()) s.data.erase(0, s.data.size() - (kMdpmMark.size() - 1));
                    return std::nullopt;
                }
                s.data.erase(0, k + kMdpmMark.size());
                s.marked = true;
            }
            if (!ctx_.Step(kBlockSteps)) {
                spent_ = true;
                return std::nullopt;
            }
            if (auto r = ParseMdpm(s.data)) return r;
            if (s.data.size() < kMaxBlockRaw) return std::nullopt;  // the block may go on in the next packet
            s.marked = false;                                         // a block without a date: look on
        }
    }

    static constexpr std::uint32_t kNullPid = 0x1FFF;

    ReadView& view_;
    ReaderContext& ctx_;
    bool spent_ = false;  // the file's allowance of steps
    std::uint64_t lead_ = 0;
    std::uint64_t stride_ = kPacket;
    std::map<std::uint32_t, StreamBytes> streams_;
};

}  // namespace

TransportScan ScanTransportStream(ReadView& view, ReaderContext& ctx) { return PacketWalk(view, ctx).Run(); }

void ReadAVCHDMetadata(ReadView& view, ReaderContext& ctx) {
    FileFacts& facts = ctx.facts;
    const TransportScan scan = ScanTransportStream(view, ctx);
    if (!scan.transport) {
        facts.InternalFormat = "Unknown";
        ctx.Invalid(facts.MovieMetadata, kUnknownFormatNote);
        return;
    }
    if (scan.recording) {
        // The camera's wall-clock time, kept as it is; the zone is only recorded.
        facts.MovieDate = scan.recording->local;
        facts.MovieDateSource = "MDPM";
        facts.MovieUTCOffset = scan.recording->utcOffsetMinutes;
    }
}

}  // namespace ravlen
