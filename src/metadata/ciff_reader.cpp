#include "metadata/ciff_reader.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "metadata/metadata_fault.h"

namespace ravlen {
namespace {

constexpr std::int64_t kHeaderLength = 26;
constexpr std::uint32_t kCapturedTimeTag = 0x000E;

// Where a raw file's heap table and its small sub-heaps are looked for
// first: a camera writes them after the raw data and the preview picture, so
// the last bytes of the file hold everything the date needs.
constexpr std::uint64_t kTailLength = 64 * 1024;

// The walk needs bytes before the stretch at hand: the file is read again, whole.
struct NotHeld {};

// A heap of which only its last bytes may be at hand (the whole of it when
// the file was read whole); every access is checked against the heap's size.
class HeapBytes {
public:
    HeapBytes(std::string_view held, std::uint64_t size) : held_(held), size_(size) {}

    std::uint64_t size() const { return size_; }
    // True when n bytes at o lie inside the heap, at hand or not.
    bool Has(std::uint64_t o, std::uint64_t n) const { return n <= size_ && o <= size_ - n; }
    // Nothing when the bytes lie outside the heap; NotHeld when inside it,
    // but before the bytes at hand.
    std::optional<std::string_view> Bytes(std::uint64_t o, std::uint64_t n) const {
        if (!Has(o, n)) return std::nullopt;
        const std::uint64_t start = size_ - held_.size();
        if (o < start) throw NotHeld{};
        return held_.substr(static_cast<std::size_t>(o - start), static_cast<std::size_t>(n));
    }
    // The n bytes at o as a heap of their own: what is at hand of them is
    // again their last bytes.
    std::optional<HeapBytes> Sub(std::uint64_t o, std::uint64_t n) const {
        if (!Has(o, n)) return std::nullopt;
        const std::uint64_t start = size_ - held_.size();
        const std::uint64_t end = o + n;
        if (end <= start) return HeapBytes({}, n);
        const std::uint64_t from = std::max(o, start);
        return HeapBytes(held_.substr(static_cast<std::size_t>(from - start), static_cast<std::size_t>(end - from)), n);
    }

private:
    std::string_view held_;
    std::uint64_t size_;
};

// A signed 32-bit number of the heap (0 for 2^31 or more), as ReadNumber reads it.
std::int64_t Number32(const HeapBytes& heap, std::uint64_t o, ByteOrder order) {
    const auto bytes = heap.Bytes(o, 4);
    if (!bytes) ThrowFault(kFaultOutOfRange);
    return ReadNumber(*bytes, order);
}

std::uint32_t Number16(const HeapBytes& heap, std::uint64_t o, ByteOrder order) {
    const auto bytes = heap.Bytes(o, 2);
    if (!bytes) ThrowFault(kFaultOutOfRange);
    return static_cast<std::uint32_t>(ReadNumber(*bytes, order));
}

class CiffWalk {
public:
    CiffWalk(ReaderContext& ctx, ByteOrder order) : ctx_(ctx), facts_(ctx.facts), order_(order) {}

    bool ParseCIFFHeap(const HeapBytes& heap, int depth, DateTime& captured);
    void Fail(const char* text) { ctx_.Invalid(facts_.CIFFMetadata, text); }

private:
    // Sub-heaps always lie strictly inside their parent, so the walk ends;
    // the depth and the file's allowance of steps (a record each) keep a file
    // whose records all point at the same sub-heap from costing more than a
    // moment.
    static constexpr int kMaxDepth = 64;

    ReaderContext& ctx_;
    FileFacts& facts_;
    ByteOrder order_;
};

// Walks one heap and, depth first in table order, its sub-heaps; true when
// the CapturedTime record was found. A structural fault clears CIFFMetadata.
bool CiffWalk::ParseCIFFHeap(const HeapBytes& heap, int depth, DateTime& captured) {
    const std::int64_t n = static_cast<std::int64_t>(heap.size());
    if (n < 4 || depth > kMaxDepth) {
        Fail(" contains an invalid CIFF heap.");
        return false;
    }
    const std::int64_t t = Number32(heap, static_cast<std::uint64_t>(n - 4), order_);
    if (t > n - 6) {
        Fail(" contains an invalid CIFF heap table offset.");
        return false;
    }
    const std::uint32_t count = Number16(heap, static_cast<std::uint64_t>(t), order_);
    std::int64_t r = t + 2;
    for (std::uint32_t i = 0; i < count; ++i, r += 10) {
        if (n < r + 14) {
            Fail(" contains an invalid CIFF heap offset table.");
            return false;
        }
        if (!ctx_.Step()) {
            Fail(" contains an invalid CIFF heap.");
            return false;
        }
        const std::uint32_t type = Number16(heap, static_cast<std::uint64_t>(r), order_);
        std::int64_t d = 0;
        std::int64_t length = 0;
        switch (type & 0xC000) {
            case 0x4000:
                d = r + 2;
                length = 8;
                break;
            case 0x0000:
                length = Number32(heap, static_cast<std::uint64_t>(r + 2), order_);
                d = Number32(heap, static_cast<std::uint64_t>(r + 6), order_);
                // Offsets and lengths are signed 32-bit numbers; their sum
                // must be one too.
                if (d + length > INT32_MAX) ThrowFault(kFaultOverflow);
                if (d + length > t) {
                    Fail(" contains an invalid CIFF heap record length descriptor.");
                    return false;
                }
                break;
            default:
                Fail(" contains an invalid CIFF heap record storage method.");
                return false;
        }
        const std::uint32_t dataType = type & 0x3800;
        if (dataType == 0x2800 || dataType == 0x3000) {
            const auto sub = heap.Sub(static_cast<std::uint64_t>(d), static_cast<std::uint64_t>(length));
            // A sub-heap must lie strictly inside this one.
            if (!sub || length >= n) {
                Fail(" contains an invalid CIFF heap.");
                return false;
            }
            const bool found = ParseCIFFHeap(*sub, depth + 1, captured);
            if (found || !facts_.CIFFMetadata) return found;
        } else if ((type & 0x7FF) == kCapturedTimeTag) {
            // Seconds since 1970 on the camera's clock: no time-zone shift.
            captured = DateTime::FromCivilSeconds(Number32(heap, static_cast<std::uint64_t>(d), order_));
            return true;
        }
    }
    return false;
}

}  // namespace

MetadataOutcome ReadCIFFMetadata(ReadView& view, ReaderContext& ctx) {
    FileFacts& facts = ctx.facts;
    facts.TIFFOffset = -1;
    facts.CIFFSubType.clear();
    facts.CIFFCapturedDate.reset();
    const ByteOrder order = ByteOrderFromName(facts.TIFFByteAlign);
    CiffWalk walk(ctx, order);

    const std::int64_t headerLength = ReadNumber(view.Bytes(2, 4).value_or(std::string_view()), order);
    if (headerLength != kHeaderLength) walk.Fail(" contains a non-standard CIFF header.");

    const std::int64_t fileSize = view.FileSize();
    // The file's last bytes first; the whole file only when the walk needs
    // more (on the second pass, when every skip is a read anyway).
    const std::int64_t heapSize = fileSize - kHeaderLength;
    const bool tailFirst = ctx.pass.SkippingAllowed && heapSize > static_cast<std::int64_t>(2 * kTailLength);
    if (facts.CIFFMetadata) {
        if (fileSize >= headerLength + 6 && view.Position() == 8 && view.BufferSize() == 8) {
            // Raw files are a few megabytes; nothing larger is held whole.
            if (fileSize > static_cast<std::int64_t>(kMaxCIFFFileSize))
                ThrowFault(kFaultOutOfMemory);
            Require(view.Read(static_cast<std::uint64_t>(tailFirst ? kHeaderLength - 8 : fileSize - 8)));
            if (auto subType = view.Bytes(10, 4)) facts.CIFFSubType = std::string(*subType);
            if (tailFirst) {
                view.ClearBuffer();
                Require(view.Skip(static_cast<std::uint64_t>(heapSize) - kTailLength));
                Require(view.Read(kTailLength));
            }
        } else {
            walk.Fail(" does not contain a properly-formed root heap.");
        }
    }

    if (facts.CIFFMetadata) {
        const std::string_view buffer = view.Buffer();
        const std::string_view held = tailFirst ? buffer : buffer.substr(std::min<std::size_t>(buffer.size(), kHeaderLength));
        if (!tailFirst && static_cast<std::int64_t>(held.size()) != heapSize) ThrowFault(kFaultOutOfRange);
        DateTime captured;
        try {
            if (walk.ParseCIFFHeap(HeapBytes(held, static_cast<std::uint64_t>(heapSize)), 0, captured))
                facts.CIFFCapturedDate = captured;
        } catch (const NotHeld&) {
            return MetadataOutcome::Restart;
        }
    }
    return MetadataOutcome::Done;
}

}  // namespace ravlen
