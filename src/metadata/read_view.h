#pragma once
// The forward-only view of one open file: every byte read so far, in order
// (skipped stretches are not stored), and the file offset of the next byte.
// All byte access of the readers goes through the checked accessors here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/file_system.h"
#include "model/user_port.h"

namespace ravlen {

enum class ByteOrder { Unknown, Intel, Motorola };

// "Intel", "Motorola" or "Unknown", as the logs print it.
const char* ByteOrderName(ByteOrder order);
ByteOrder ByteOrderFromName(std::string_view name);

// The byte-order number reader: 2 bytes give 0..65535; 4 bytes give a signed
// 32-bit value, 0 when it would be 2^31 or more; any other length, or an
// unknown byte order, gives 0.
std::int32_t ReadNumber(std::string_view bytes, ByteOrder order);

class ReadView {
public:
    // Reads never let the buffer grow past maxBuffer bytes.
    static constexpr std::uint64_t kDefaultMaxBuffer = 64ull << 20;

    ReadView(ReadStream& stream, UserPort& port, std::int64_t fileSize,
             std::uint64_t maxBuffer = kDefaultMaxBuffer);

    // Append the next n bytes of the file to the buffer. Fails on a read
    // error, at the end of the file, or when the buffer would exceed its cap.
    FsStatus Read(std::uint64_t n);
    // Advance n bytes without storing them.
    FsStatus Skip(std::uint64_t n);

    // Forget the bytes read so far (the position stays): lets a reader walk a
    // long structure without holding all of it. Buffer indexes restart at 0.
    void ClearBuffer() { buffer_.clear(); }

    const std::string& Buffer() const { return buffer_; }
    std::uint64_t BufferSize() const { return buffer_.size(); }
    std::int64_t Position() const { return position_; }
    std::int64_t FileSize() const { return fileSize_; }

    // True when n bytes from buffer index o lie inside the buffer.
    bool Has(std::uint64_t o, std::uint64_t n) const {
        return n <= buffer_.size() && o <= buffer_.size() - n;
    }
    std::optional<std::uint8_t> Byte(std::uint64_t o) const;
    std::optional<std::string_view> Bytes(std::uint64_t o, std::uint64_t n) const;
    // Unsigned 16-bit and 32-bit numbers in the given byte order.
    std::optional<std::uint32_t> U16(std::uint64_t o, ByteOrder order) const;
    std::optional<std::uint32_t> U32(std::uint64_t o, ByteOrder order) const;

private:
    ReadStream& stream_;
    UserPort& port_;
    std::string buffer_;
    std::int64_t position_ = 0;
    std::int64_t fileSize_ = 0;
    std::uint64_t maxBuffer_;
};

// The same checked accessors over bytes already in memory (a CIFF heap, a
// RIFF list body).
class ByteSpan {
public:
    ByteSpan() = default;
    explicit ByteSpan(std::string_view bytes) : bytes_(bytes) {}

    std::uint64_t size() const { return bytes_.size(); }
    bool Has(std::uint64_t o, std::uint64_t n) const { return n <= bytes_.size() && o <= bytes_.size() - n; }
    std::optional<std::uint8_t> Byte(std::uint64_t o) const;
    std::optional<std::string_view> Bytes(std::uint64_t o, std::uint64_t n) const;
    std::optional<ByteSpan> Sub(std::uint64_t o, std::uint64_t n) const;
    std::optional<std::uint32_t> U16(std::uint64_t o, ByteOrder order) const;
    std::optional<std::uint32_t> U32(std::uint64_t o, ByteOrder order) const;
    std::string_view view() const { return bytes_; }

private:
    std::string_view bytes_;
};

}  // namespace ravlen
