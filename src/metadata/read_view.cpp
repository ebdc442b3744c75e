#include "metadata/read_view.h"

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

ReadView::ReadView(ReadStream& stream, UserPort& port, std::int64_t fileSize, std::uint64_t maxBuffer)
    : stream_(stream), port_(port), fileSize_(fileSize), maxBuffer_(maxBuffer) {}

FsStatus ReadView::Read(std::uint64_t n) {
    if (n > maxBuffer_ || buffer_.size() > maxBuffer_ - n)
        return FsStatus::Fail("Out of memory");
    if (n > static_cast<std::uint64_t>(INT64_MAX - position_)) return FsStatus::Fail("Overflow");
    FsStatus st = stream_.Read(static_cast<std::size_t>(n), buffer_);
    if (st) position_ += static_cast<std::int64_t>(n);
    port_.PumpEvents();
    return st;
}

FsStatus ReadView::Skip(std::uint64_t n) {
    if (n > static_cast<std::uint64_t>(INT64_MAX - position_)) return FsStatus::Fail("Overflow");
    FsStatus st = stream_.Skip(n);
    if (st) position_ += static_cast<std::int64_t>(n);
    port_.PumpEvents();
    return st;
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
    return Number(buffer_, o, 2, order);
}

std::optional<std::uint32_t> ReadView::U32(std::uint64_t o, ByteOrder order) const {
    return Number(buffer_, o, 4, order);
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
