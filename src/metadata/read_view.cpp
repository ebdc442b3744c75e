#include "metadata/read_view.h"

#include <algorithm>

namespace ravlen {
namespace {

std::uint32_t Assemble(std::string_view b, ByteOrder order) {
    std::uint32_t v = 0;
    if (order == ByteOrder::Motorola) {
        for (unsigned char c : b) v = (v << 8) | c;
    } else {
        for (auto it = b.rbegin(); it != b.rend(); ++it) v = (v << 8) | static_cast<unsigned char>(*it);
    }
    return v;
}

std::optional<std::uint32_t> Number(std::string_view all, std::uint64_t o, std::uint64_t n, ByteOrder order) {
    if (order == ByteOrder::Unknown) return std::nullopt;
    if (!(n <= all.size() && o <= all.size() - n)) return std::nullopt;
    return Assemble(all.substr(o, n), order);
}

}  // namespace

const char* ByteOrderName(ByteOrder order) {
    switch (order) {
        case ByteOrder::Intel: return "Intel";
        case ByteOrder::Motorola: return "Motorola";
        default: return "Unknown";
    }
}

ByteOrder ByteOrderFromName(std::string_view name) {
    if (name == "Intel") return ByteOrder::Intel;
    if (name == "Motorola") return ByteOrder::Motorola;
    return ByteOrder::Unknown;
}

std::int32_t ReadNumber(std::string_view bytes, ByteOrder order) {
    if (order == ByteOrder::Unknown || (bytes.size() != 2 && bytes.size() != 4)) return 0;
    const std::uint32_t v = Assemble(bytes, order);
    if (v >= 0x80000000u) return 0;
    return static_cast<std::int32_t>(v);
}

ReadView::ReadView(ReadStream& stream, PumpCallback pump, std::int64_t fileSize, std::uint64_t maxBuffer,
                   StopCheck stopped)
    : stream_(stream), pump_(std::move(pump)), stopped_(std::move(stopped)), fileSize_(fileSize), maxBuffer_(maxBuffer) {}

FsStatus ReadView::Read(std::uint64_t n) {
    if (n > maxBuffer_ || visible_ > maxBuffer_ - n) return FsStatus::Fail(FsFault::OutOfMemory, "Out of memory");
    if (n > static_cast<std::uint64_t>(INT64_MAX - position_)) return FsStatus::Fail(FsFault::Overflow, "Overflow");
    const std::uint64_t served = std::min(n, Pending());
    // The string grows by doubling, but never past the cap: a small read
    // just under it must not double a large buffer.
    const std::uint64_t needed = buffer_.size() + (n - served);
    if (needed > buffer_.capacity()) {
        // Reserved on a fresh string: reserve on a full one would round up to
        // double its capacity whatever it is asked.
        std::string grown;
        grown.reserve(static_cast<std::size_t>(
            std::min(std::max<std::uint64_t>(needed, 2 * buffer_.capacity()), std::max(needed, maxBuffer_))));
        grown.append(buffer_);
        buffer_.swap(grown);
    }
    FsStatus st = FsStatus::Ok();
    for (std::uint64_t left = n - served; st && left > 0;) {
        const std::uint64_t piece = std::min(left, kReadPiece);
        st = stream_.Read(static_cast<std::size_t>(piece), buffer_);
        left -= piece;
        if (st && left > 0) {
            if (pump_) pump_();
            if (stopped_ && stopped_()) st = FsStatus::Fail(kReadStoppedText);
        }
    }
    if (st) {
        visible_ += n;
        position_ += static_cast<std::int64_t>(n);
    }
    // A read broken off keeps the pieces it took as bytes still to be served,
    // so that the view and the stream stay in step.
    if (pump_) pump_();
    return st;
}

FsStatus ReadView::Skip(std::uint64_t n) {
    if (n > static_cast<std::uint64_t>(INT64_MAX - position_)) return FsStatus::Fail(FsFault::Overflow, "Overflow");
    const std::uint64_t served = std::min(n, Pending());
    buffer_.erase(visible_, served);
    FsStatus st = n > served ? stream_.Skip(n - served) : FsStatus::Ok();
    if (st) position_ += static_cast<std::int64_t>(n);
    if (n > 0) contiguous_ = false;
    if (pump_) pump_();
    return st;
}

FsStatus ReadView::ReadAhead(std::uint64_t n) {
    if (n > maxBuffer_ || buffer_.size() > maxBuffer_ - n) return FsStatus::Fail("Out of memory");
    const FsStatus st = n > 0 ? stream_.Read(static_cast<std::size_t>(n), buffer_) : FsStatus::Ok();
    if (pump_) pump_();
    return st;
}

bool ReadView::GoBack(std::int64_t offset) {
    if (offset < 0 || offset > TakenEnd() || !stream_.GoBack(static_cast<std::uint64_t>(offset))) return false;
    buffer_.clear();
    visible_ = 0;
    position_ = offset;
    contiguous_ = false;
    return true;
}

void ReadView::ClearBuffer() {
    buffer_.erase(0, visible_);
    if (visible_ > 0) contiguous_ = false;
    visible_ = 0;
}

std::string ReadView::ReleaseBytes() {
    std::string bytes = std::move(buffer_);
    buffer_.clear();
    visible_ = 0;
    return bytes;
}

std::optional<std::uint8_t> ReadView::Byte(std::uint64_t o) const {
    if (!Has(o, 1)) return std::nullopt;
    return static_cast<std::uint8_t>(buffer_[o]);
}

std::optional<std::string_view> ReadView::Bytes(std::uint64_t o, std::uint64_t n) const {
    if (!Has(o, n)) return std::nullopt;
    return std::string_view(buffer_).substr(o, n);
}

std::optional<std::uint32_t> ReadView::U16(std::uint64_t o, ByteOrder order) const {
    return Number(Buffer(), o, 2, order);
}

std::optional<std::uint32_t> ReadView::U32(std::uint64_t o, ByteOrder order) const {
    return Number(Buffer(), o, 4, order);
}

std::optional<std::uint8_t> ByteSpan::Byte(std::uint64_t o) const {
    if (!Has(o, 1)) return std::nullopt;
    return static_cast<std::uint8_t>(bytes_[o]);
}

std::optional<std::string_view> ByteSpan::Bytes(std::uint64_t o, std::uint64_t n) const {
    if (!Has(o, n)) return std::nullopt;
    return bytes_.substr(o, n);
}

std::optional<ByteSpan> ByteSpan::Sub(std::uint64_t o, std::uint64_t n) const {
    if (!Has(o, n)) return std::nullopt;
    return ByteSpan(bytes_.substr(o, n));
}

std::optional<std::uint32_t> ByteSpan::U16(std::uint64_t o, ByteOrder order) const {
    return Number(bytes_, o, 2, order);
}

std::optional<std::uint32_t> ByteSpan::U32(std::uint64_t o, ByteOrder order) const {
    return Number(bytes_, o, 4, order);
}

}  // namespace ravlen
