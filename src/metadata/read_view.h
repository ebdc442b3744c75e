#pragma once
// The forward-only view of one open file: every byte read so far, in order
// (skipped stretches are not stored), and the file offset of the next byte.
// All byte access of the readers goes through the checked accessors here.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/file_system.h"

namespace ravlen {

enum class ByteOrder { Unknown, Intel, Motorola };

// "Intel", "Motorola" or "Unknown", as the logs print it.
const char* ByteOrderName(ByteOrder order);
ByteOrder ByteOrderFromName(std::string_view name);

// The byte-order number reader: 2 bytes give 0..65535; 4 bytes give a signed
// 32-bit value, 0 when it would be 2^31 or more; any other length, or an
// unknown byte order, gives 0.
std::int32_t ReadNumber(std::string_view bytes, ByteOrder order);

// Called after every read or skip, so that a window stays responsive
// during a long pass.
using PumpCallback = std::function<void()>;
// Whether the user asked to stop.
using StopCheck = std::function<bool()>;

// What a read broken off by a Stop reports.
inline constexpr const char* kReadStoppedText = "Stopped";

class ReadView {
public:
    // Reads never let the buffer grow past maxBuffer bytes.
    static constexpr std::uint64_t kDefaultMaxBuffer = 64ull << 20;

    // Reads are taken in pieces of this size, with the events pumped and the
    // Stop looked at between them: a slow card still answers a Stop in
    // well under 100 ms.
    static constexpr std::uint64_t kReadPiece = 512 * 1024;

    ReadView(ReadStream& stream, PumpCallback pump, std::int64_t fileSize,
             std::uint64_t maxBuffer = kDefaultMaxBuffer, StopCheck stopped = {});

    // The file's first bytes, read before: the stream stands just after them.
    // Reads are served from these first; the view still starts at Position 0.
    void Replay(std::string bytes) { buffer_ = std::move(bytes); }

    // Append the next n bytes of the file to the buffer. Fails on a read
    // error, at the end of the file, or when the buffer would exceed its cap.
    FsStatus Read(std::uint64_t n);
    // Advance n bytes without storing them.
    FsStatus Skip(std::uint64_t n);
    // Take the next n bytes not yet taken from the stream in one read, to be
    // served to later reads and skips: a walk of small steps over a stretch
    // then costs one read of the medium. The position does not move.
    FsStatus ReadAhead(std::uint64_t n);

    // Go back to the file offset `offset`, before the position, forgetting
    // the bytes read: for a stretch found only after it was passed. False,
    // nothing changed, where the stream reads front to back only.
    bool GoBack(std::int64_t offset);

    // Forget the bytes read so far (the position stays): lets a reader walk a
    // long structure without holding all of it. Buffer indexes restart at 0.
    void ClearBuffer();

    // True while the buffer holds the file from its first byte, nothing
    // skipped or forgotten.
    bool Contiguous() const { return contiguous_; }
    // Every byte taken from the stream (also those not yet served again):
    // the file's first bytes when Contiguous(). The view is empty afterwards.
    std::string ReleaseBytes();

    std::string_view Buffer() const { return std::string_view(buffer_).substr(0, visible_); }
    std::uint64_t BufferSize() const { return visible_; }
    // The memory the buffer holds, never more than its cap.
    std::uint64_t BufferCapacity() const { return buffer_.capacity(); }
    std::int64_t Position() const { return position_; }
    // The file offset just past the bytes taken from the stream: reads up to
    // it are served from memory.
    std::int64_t TakenEnd() const { return position_ + static_cast<std::int64_t>(Pending()); }
    std::int64_t FileSize() const { return fileSize_; }

    // True when n bytes from buffer index o lie inside the buffer.
    bool Has(std::uint64_t o, std::uint64_t n) const { return n <= visible_ && o <= visible_ - n; }
    std::optional<std::uint8_t> Byte(std::uint64_t o) const;
    std::optional<std::string_view> Bytes(std::uint64_t o, std::uint64_t n) const;
    // Unsigned 16-bit and 32-bit numbers in the given byte order.
    std::optional<std::uint32_t> U16(std::uint64_t o, ByteOrder order) const;
    std::optional<std::uint32_t> U32(std::uint64_t o, ByteOrder order) const;

private:
    std::uint64_t Pending() const { return buffer_.size() - visible_; }

    ReadStream& stream_;
    PumpCallback pump_;
    StopCheck stopped_;
    std::string buffer_;     // the bytes read; those past visible_ wait to be served again
    std::uint64_t visible_ = 0;
    bool contiguous_ = true;
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
