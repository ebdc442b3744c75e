#include "metadata/jpeg_tiff_reader.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include <algorithm>

#include "metadata/date_text.h"
#include "metadata/metadata_fault.h"
#include "metadata/place_text.h"
#include "metadata/thumbnail.h"
#include "metadata/xmp_text.h"
#include "model/utf8.h"

namespace ravlen {
namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr std::uint32_t kTagDateTime = 0x0132;
constexpr std::uint32_t kTagExifIfd = 0x8769;
constexpr std::uint32_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint32_t kTagDateTimeDigitized = 0x9004;
constexpr std::uint32_t kTagMake = 0x010F;
constexpr std::uint32_t kTagModel = 0x0110;
constexpr std::uint32_t kTagCameraSerialNumber = 0xC62F;  // IFD0 of DNG and some raws
constexpr std::uint32_t kTagBodySerialNumber = 0xA431;
constexpr std::uint32_t kTagGpsIfd = 0x8825;
constexpr std::uint32_t kTagOffsetTime = 0x9010;
constexpr std::uint32_t kTagOffsetTimeOriginal = 0x9011;
constexpr std::uint32_t kTagOffsetTimeDigitized = 0x9012;
constexpr std::uint32_t kTagSubSecTimeOriginal = 0x9291;
constexpr std::uint32_t kTagArtist = 0x013B;
constexpr std::uint32_t kTagCameraOwnerName = 0xA430;
constexpr std::uint32_t kTagLensModel = 0xA434;
constexpr std::uint32_t kTypeAscii = 2;
constexpr std::uint32_t kTypeRational = 5;
constexpr std::int64_t kMaxCameraText = 64;  // longer camera names are cut
// How far past the bytes already taken the camera's names are fetched with
// the one further read they may cost; names further on (a damaged pointer, a
// raw file that keeps them at its far end) are left unread.
constexpr std::int64_t kCameraTextReach = 256 * 1024;

// BigTIFF (a large DNG) has 8-byte counts and offsets and 20-byte entries.
constexpr std::uint32_t kBigTiffVersion = 0x2B;
constexpr std::int64_t kBigTiffHeader = 16;
constexpr std::uint32_t kTypeLong = 4, kTypeIfd = 13;
constexpr std::int64_t kDateLength = 20;  // "yyyy:mm:dd hh:nn:ss" and its terminator
constexpr std::int64_t kXmpReadAhead = 64 * 1024;  // taken at once when XMP comes before or after EXIF
constexpr int kMaxSegmentsAfterExif = 64;          // APPn and comments looked through for an XMP APP1
// The zone texts and the GPS directory are read only this far past the
// bytes at hand, in one read: never the picture data in between.
constexpr std::int64_t kNearWindow = 16 * 1024;
constexpr std::int64_t kMaxGpsEntries = 64;  // the standard defines 32 tags

[[noreturn]] void Overflow() { ThrowFault(kFaultOverflow); }

// A sum of file offsets, which must stay inside the signed 32-bit range that
// the structures' offsets are recorded in.
std::int64_t Sum(std::int64_t a, std::int64_t b) {
    if (a > kInt32Max || b > kInt32Max || a < -kInt32Max || b < -kInt32Max) Overflow();
    const std::int64_t s = a + b;
    if (s > kInt32Max) Overflow();
    return s;
}

class TiffReader {
public:
    // A file read forward through the view.
    TiffReader(ReadView& view, ReaderContext& ctx) : view_(&view), ctx_(ctx), facts_(ctx.facts) {}
    // A block in memory whose first byte is at file offset `at`.
    TiffReader(ByteSpan block, std::int64_t at, ReaderContext& ctx)
        : block_(block), blockEnd_(Sum(at, static_cast<std::int64_t>(block.size()))), base_(at), ctx_(ctx),
          facts_(ctx.facts) {}

    MetadataOutcome RunFile() {
        std::int64_t header = 0;  // buffer index of the TIFF header
        if (facts_.InternalFormat == "JPEG") {
            facts_.TIFFOffset = -1;
            std::int64_t app1 = 0;
            if (!WalkSegments(app1)) return MetadataOutcome::Done;
            // An XMP APP1 and no EXIF one: the packet's date names the file.
            if (facts_.XMPDate && IsXmpHead(app1)) {
                facts_.TIFFMetadata = false;
                return MetadataOutcome::Done;
            }
            if (!CheckExifIdentifier(app1)) return MetadataOutcome::Done;
            if (!ReadHeaderInApp1(app1, header)) return MetadataOutcome::Done;
            const MetadataOutcome outcome = Directories(header);
            if (outcome == MetadataOutcome::Done) ReadXmpAfterExif();
            return outcome;
        } else {
            facts_.TIFFOffset = 0;
            order_ = ByteOrderFromName(facts_.TIFFByteAlign);
            big_ = U16At(2) == kBigTiffVersion;
            if (big_ && S() < kBigTiffHeader) {
                Invalid(" contains an invalid TIFF IFD0 offset.");
                return MetadataOutcome::Done;
            }
            if (big_) ReadUpTo(kBigTiffHeader);
        }
        return Directories(header);
    }

    void RunBlock() {
        facts_.TIFFMetadata = true;
        facts_.TIFFOffset = static_cast<std::int32_t>(base_);
        if (!TakeBlockByteOrder()) {
            Invalid(" contains an invalid TIFF header.");
            return;
        }
        facts_.TIFFByteAlign = ByteOrderName(order_);
        Directories(0);
        // A container's block lies at its own file offset, so its thumbnail
        // can be read later without walking the container again.
        if (const auto thumbnail = base_ > 0 ? TiffThumbnail(block_) : std::nullopt) {
            facts_.ThumbnailOffset = base_ + thumbnail->offset;
            facts_.ThumbnailLength = thumbnail->length;
        }
    }

    // A block that is the EXIF directory itself (a CR3's CMT2): a TIFF header
    // whose first directory is the EXIF one, its pointers from the block's
    // own header. IFD0 was read already (from another block); a block that is
    // no TIFF header or whose directory lies outside it adds nothing.
    void RunExifDirectory() {
        if (!TakeBlockByteOrder()) return;
        const auto ifd = block_.U32(4, order_);
        if (!ifd || !block_.Has(*ifd, 2)) return;
        shift_ = base_;  // the block's bytes lie at their file offsets less base_
        facts_.SubIFDOffset = static_cast<std::int32_t>(Sum(base_, *ifd));
        std::int64_t subIndex = 0;
        if (!PlaceSubIfd(subIndex)) return;
        if (Valid() && !subPastEnd_) ReadSubIfd(subIndex);
        if (Valid()) ReadNotedTexts();
    }

private:
    // The byte order a block's TIFF header ("II*\0" or "MM\0*") gives; false
    // for a block that begins with neither.
    bool TakeBlockByteOrder() {
        const auto signature = block_.Bytes(0, 4);
        if (signature == std::string_view("II\x2A\0", 4)) order_ = ByteOrder::Intel;
        else if (signature == std::string_view("MM\0\x2A", 4)) order_ = ByteOrder::Motorola;
        else return false;
        return true;
    }

    // Where the directories' pointers count from: the TIFF header's file
    // offset, which a block in memory has at its first byte (a CR3's EXIF
    // directory block too, whose IFD0 lay in another block).
    std::int64_t PointerBase() const { return view_ ? facts_.TIFFOffset : base_; }

    // IFD0, then the EXIF sub-directory.
    MetadataOutcome Directories(std::int64_t header) {
        if (!ReadIfd0(header)) return MetadataOutcome::Done;
        if (restart_) return MetadataOutcome::Restart;
        if (Valid() && facts_.SubIFDOffset >= 1) {
            std::int64_t subIndex = 0;
            if (!PlaceSubIfd(subIndex)) return MetadataOutcome::Restart;
            if (Valid() && !subPastEnd_) ReadSubIfd(subIndex);
            if (restart_) return MetadataOutcome::Restart;
        }
        // Some raw files keep DateTimeOriginal in IFD0 itself; it serves when
        // the Exif directory is missing, cut off or without one.
        if (Valid() && !facts_.EXIFDateOriginal) facts_.EXIFDateOriginal = ifd0Original_;
        // An editor's save may leave DateTimeDigitized in IFD0 only: without
        // it the edit's own DateTime would name the picture.
        if (Valid() && !facts_.EXIFDateDigitized) facts_.EXIFDateDigitized = ifd0Digitized_;
        if (Valid()) ReadGpsIfd();
        // The camera's names last, so that reading up to them never passes
        // over a directory still to come.
        if (Valid() && !ReadNotedTexts()) return MetadataOutcome::Restart;
        return MetadataOutcome::Done;
    }

    // An ASCII entry whose text is to be read: in the entry itself when it
    // fits in four bytes, else at the file offset its value points to.
    struct NotedText {
        std::string* target;
        std::int64_t offset;  // file offset; -1 when the text is in inlineText
        std::int64_t length;
        std::string inlineText;
        bool near = false;  // read as the dates are, when it lies near (a zone text)
    };

    void NoteText(std::int64_t entry, std::string& target, bool near = false) {
        if (U16At(entry + 2) != kTypeAscii) return;
        const auto count = Word(entry + 4);
        if (!count || *count == 0) return;
        const std::int64_t length = static_cast<std::int64_t>(std::min<std::uint64_t>(*count, kMaxCameraText));
        if (length <= WordSize()) {
            std::string text;
            for (std::int64_t i = 0; i < length; ++i) text.push_back(static_cast<char>(ByteAt(ValueIndex(entry) + i)));
            noted_.push_back({&target, -1, length, std::move(text), near});
            return;
        }
        // A damaged pointer costs the name, never the dates.
        const auto pointer = Word(ValueIndex(entry));
        if (pointer && *pointer < static_cast<std::uint64_t>(kInt32Max - PointerBase() - kMaxCameraText))
            noted_.push_back({&target, PointerBase() + static_cast<std::int64_t>(*pointer), length, {}, near});
    }

    // False when a text lies where the forward read has passed: the file is
    // begun again without skipping, when the names are wanted wherever they
    // lie. Texts past the bytes taken cost one read, up to the farthest.
    bool ReadNotedTexts() {
        const bool anywhere = ctx_.pass.CameraTextsAnywhere;
        const std::int64_t taken = view_ ? view_->TakenEnd() : blockEnd_;
        const auto reachable = [&](const NotedText& n, std::int64_t end) {
            return S() >= end && (anywhere || end - taken <= kCameraTextReach) &&
                   !(n.offset < facts_.IFD0Offset && !Whole() && !view_->Contiguous());
        };
        std::int64_t farthest = 0;
        for (const NotedText& n : noted_) {
            if (n.offset < 0) continue;
            const std::int64_t end = Sum(n.offset, n.length);
            if (anywhere && !n.near && S() >= end && n.offset < facts_.IFD0Offset && !Whole() &&
                !view_->Contiguous())
                return false;
            if (reachable(n, end)) farthest = std::max(farthest, end);
        }
        if (view_) ReadUpTo(farthest);
        for (const NotedText& n : noted_) {
            std::string text = n.inlineText;
            if (n.offset >= 0) {
                const std::int64_t end = Sum(n.offset, n.length);
                if (!reachable(n, end) || end > P()) continue;
                const std::int64_t at = IndexOf(n.offset);
                const auto bytes = at < 0 ? std::nullopt
                                          : Held().Bytes(static_cast<std::uint64_t>(at),
                                                         static_cast<std::uint64_t>(n.length));
                if (!bytes) continue;
                text = std::string(*bytes);
            }
            *n.target = CameraText(text);
        }
        if (facts_.CameraSerial.empty()) facts_.CameraSerial = ifd0Serial_;
        // A CR3's second block adds to what its first gave.
        for (auto [text, target] : {std::pair{&offsetOriginal_, &facts_.EXIFOffsetOriginal},
                                    std::pair{&offsetDigitized_, &facts_.EXIFOffsetDigitized},
                                    std::pair{&offsetModified_, &facts_.EXIFOffsetModified}})
            if (const auto offset = ParseOffsetText(*text)) *target = offset;
        if (const std::string digits = subSecOriginal_.substr(0, subSecOriginal_.find_first_not_of("0123456789"));
            !digits.empty())
            facts_.EXIFSubSecOriginal = digits;
        if (!subSecOriginal_.empty()) facts_.SubSecTimeOriginal = subSecOriginal_;
        if (facts_.Artist.empty()) facts_.Artist = ownerName_;
        return true;
    }

    // Whether the bytes up to `end` are at hand or lie within a small read of them.
    bool Near(std::int64_t end) const {
        const std::int64_t taken = view_ ? view_->TakenEnd() : blockEnd_;
        return end <= S() && end - taken <= kNearWindow;
    }
    // Everything up to `end` (Near) taken from the file in one read, with what
    // lies just beyond, so that the small reads that follow cost none.
    void TakeAhead(std::int64_t end) {
        if (!view_ || end <= view_->TakenEnd()) return;
        const std::int64_t ahead = std::min(S(), Sum(view_->TakenEnd(), kNearWindow)) - view_->TakenEnd();
        Require(view_->ReadAhead(static_cast<std::uint64_t>(ahead)));
    }

    // The GPS directory: its position and UTC date and time. Read only where
    // it lies after IFD0 (or in a block at hand) and near the bytes read.
    void ReadGpsIfd() {
        const std::int64_t gps = gpsOffset_;
        if (gps < 0 || (gps < facts_.IFD0Offset && !Whole()) || !Near(Sum(gps, CountSize()))) return;
        TakeAhead(Sum(gps, CountSize() + kMaxGpsEntries * EntrySize()));
        ReadUpTo(gps + CountSize());
        const std::int64_t at = IndexOf(gps);
        if (at < 0) return;
        const std::int64_t entries = std::min<std::int64_t>(CountAt(at), kMaxGpsEntries);
        const std::int64_t end = Sum(gps + CountSize(), entries * EntrySize());
        if (S() < end) return;
        ReadUpTo(end);
        char latRef = 'N', lonRef = 'E';
        std::optional<double> lat, lon;
        std::optional<std::int64_t> timeOfDay;
        std::optional<DateTime> day;
        for (std::int64_t i = 0; i < entries; ++i) {
            const std::int64_t entry = at + CountSize() + i * EntrySize();
            const std::uint32_t tag = U16At(entry), type = U16At(entry + 2);
            const std::uint64_t count = Word(entry + 4).value_or(0);
            if ((tag == 1 || tag == 3) && type == kTypeAscii && count >= 1) {
                (tag == 1 ? latRef : lonRef) = static_cast<char>(ByteAt(ValueIndex(entry)));
            } else if ((tag == 2 || tag == 4 || tag == 7) && type == kTypeRational && count == 3) {
                double v[3];
                if (!Rationals(entry, v)) continue;
                if (tag == 7) {
                    if (v[0] < 24 && v[1] < 60 && v[2] < 61)
                        timeOfDay = static_cast<std::int64_t>(v[0]) * 3600 + static_cast<std::int64_t>(v[1]) * 60 +
                                    static_cast<std::int64_t>(v[2]);
                } else {
                    (tag == 2 ? lat : lon) = v[0] + v[1] / 60 + v[2] / 3600;
                }
            } else if (tag == 0x1D && type == kTypeAscii && count == 11) {
                const auto pointer = SoftPointer(entry);
                if (!pointer) continue;
                const std::int64_t o = *pointer;
                if (!Near(Sum(o, 10)) || (o < facts_.IFD0Offset && !Whole())) continue;
                ReadUpTo(Sum(o, 10));
                const auto text = IndexOf(o) < 0 ? std::nullopt
                                                 : Held().Bytes(static_cast<std::uint64_t>(IndexOf(o)), 10);
                bool beyond = false;
                if (text) day = ParseExifDate(std::string(*text) + " 00:00:00", beyond);
            }
        }
        if (day && timeOfDay) facts_.GPSDateTime = day->PlusSeconds(*timeOfDay);
        if (lat && lon) {
            const GeoPoint p{latRef == 'S' ? -*lat : *lat, lonRef == 'W' ? -*lon : *lon};
            if (OnGlobe(p)) facts_.Latitude = p.latitude, facts_.Longitude = p.longitude, facts_.PositionSource = "GPS";
        }
    }

    // The file offset an entry's value points to; nothing for a pointer
    // beyond the file's offsets: a damaged GPS entry costs only itself.
    std::optional<std::int64_t> SoftPointer(std::int64_t entry) const {
        const auto pointer = ValueWord(entry);
        if (!pointer || *pointer >= static_cast<std::uint64_t>(kInt32Max - PointerBase() - kNearWindow))
            return std::nullopt;
        return PointerBase() + static_cast<std::int64_t>(*pointer);
    }

    // The three rationals an entry points to, as numbers; false when one has
    // no denominator or lies out of reach.
    bool Rationals(std::int64_t entry, double (&v)[3]) {
        const auto pointer = SoftPointer(entry);
        if (!pointer) return false;
        const std::int64_t o = *pointer;
        if (!Near(Sum(o, 24)) || (o < facts_.IFD0Offset && !Whole())) return false;
        ReadUpTo(Sum(o, 24));
        const std::int64_t at = IndexOf(o);
        if (at < 0) return false;
        for (int k = 0; k < 3; ++k) {
            const auto num = Held().U32(static_cast<std::uint64_t>(at + 8 * k), order_);
            const auto den = Held().U32(static_cast<std::uint64_t>(at + 8 * k + 4), order_);
            if (!num || !den || *den == 0) return false;
            v[k] = static_cast<double>(*num) / *den;
        }
        return true;
    }

    bool Valid() const { return facts_.TIFFMetadata; }
    // In memory the block's end stands for both the position and the size.
    std::int64_t P() const { return view_ ? view_->Position() : blockEnd_; }
    std::int64_t S() const { return view_ ? view_->FileSize() : blockEnd_; }
    std::int64_t B() const { return static_cast<std::int64_t>(view_->BufferSize()); }
    ByteSpan Held() const { return view_ ? ByteSpan(view_->Buffer()) : block_; }
    // Every byte up to the position lies at its own place, base_ bytes before
    // its file offset: a block in memory, or a second pass that skipped nothing.
    bool Whole() const { return !view_ || !ctx_.pass.SkippingAllowed; }

    // The TIFF structure is missing or inconsistent: no usable TIFF metadata.
    void Invalid(const char* text) { ctx_.Invalid(facts_.TIFFMetadata, text); }

    void Read(std::int64_t n) {
        if (n < 0) Overflow();
        Require(view_->Read(static_cast<std::uint64_t>(n)));
    }
    // After a restart the stretches in between are read as well, so that the
    // buffer holds the file without gaps.
    void SkipTo(std::int64_t offset) {
        if (P() >= offset) return;
        if (!ctx_.pass.SkippingAllowed) return Read(offset - P());
        Require(view_->Skip(static_cast<std::uint64_t>(offset - P())));
    }
    void Skip(std::int64_t n) {
        if (n < 0) Overflow();
        SkipTo(P() + n);
    }
    void ReadUpTo(std::int64_t offset) {
        if (P() < offset) Read(offset - P());
    }

    std::uint32_t ByteAt(std::int64_t index) const {
        if (index < 0) ThrowFault(kFaultOutOfRange);
        const auto b = Held().Byte(static_cast<std::uint64_t>(index));
        if (!b) ThrowFault(kFaultOutOfRange);
        return *b;
    }
    std::uint32_t U16At(std::int64_t index) const {
        if (index < 0) ThrowFault(kFaultOutOfRange);
        const auto v = Held().U16(static_cast<std::uint64_t>(index), order_);
        if (!v) ThrowFault(kFaultOutOfRange);
        return *v;
    }
    // A 4-byte pointer (8-byte in BigTIFF): 2^31 or more cannot be an offset in this file.
    std::int64_t PointerAt(std::int64_t index) const {
        if (index < 0) ThrowFault(kFaultOutOfRange);
        const auto v = Word(index);
        if (!v) ThrowFault(kFaultOutOfRange);
        if (*v >= 0x80000000u) Overflow();
        return static_cast<std::int64_t>(*v);
    }
    // A sub-directory's pointer, the entry's value itself.
    std::int64_t DirectoryPointer(std::int64_t entry) const {
        const auto v = ValueWord(entry);
        if (!v) ThrowFault(kFaultOutOfRange);
        if (*v >= 0x80000000u) Overflow();
        return static_cast<std::int64_t>(*v);
    }
    // The entry's value field as a number: the offset of a value stored
    // elsewhere is a word; in BigTIFF a LONG or IFD value fills only the
    // first 4 bytes of the field, a LONG8 or IFD8 all of it.
    std::optional<std::uint64_t> ValueWord(std::int64_t entry) const {
        const std::uint32_t type = U16At(entry + 2);
        if (big_ && (type == kTypeLong || type == kTypeIfd))
            return Held().U32(static_cast<std::uint64_t>(ValueIndex(entry)), order_);
        return Word(ValueIndex(entry));
    }

    // The layout's sizes: a count or offset word, an entry, a directory's entry count.
    std::int64_t WordSize() const { return big_ ? 8 : 4; }
    std::int64_t EntrySize() const { return big_ ? 20 : 12; }
    std::int64_t CountSize() const { return big_ ? 8 : 2; }
    std::int64_t ValueIndex(std::int64_t entry) const { return entry + 4 + WordSize(); }
    std::optional<std::uint64_t> Word(std::int64_t index) const {
        if (index < 0) return std::nullopt;
        const auto at = static_cast<std::uint64_t>(index);
        if (!big_) return Held().U32(at, order_);
        const auto a = Held().U32(at, order_), b = Held().U32(at + 4, order_);
        if (!a || !b) return std::nullopt;
        return order_ == ByteOrder::Intel ? (std::uint64_t{*b} << 32 | *a) : (std::uint64_t{*a} << 32 | *b);
    }
    // A directory's entry count; a BigTIFF count past what classic TIFF can
    // hold reads as more than the file can, so that the caller refuses it.
    std::int64_t CountAt(std::int64_t index) const {
        if (!big_) return U16At(index);
        const auto v = Word(index);
        if (!v) ThrowFault(kFaultOutOfRange);
        return *v > 0xFFFF ? kInt32Max / 64 : static_cast<std::int64_t>(*v);
    }
    // The buffer index of a file offset at or after IFD0 (see the anchor).
    std::int64_t IndexOf(std::int64_t fileOffset) const { return fileOffset - shift_; }

    // The segments up to the first APP1, and that APP1's head. An XMP APP1
    // first (360° cameras write one) is passed over when an EXIF APP1 follows
    // among the next APPn segments; otherwise it stands as the first APP1.
    bool WalkSegments(std::int64_t& app1) {
        if (!PassSegments(false) || !EnterApp1(false, app1)) return false;
        if (!IsXmp(app1)) return true;
        const std::int64_t xmp = app1;
        const std::int32_t offset = facts_.APP1Offset, length = facts_.APP1Length;
        const std::int16_t skipped = facts_.APPXSkipCount;
        const std::int64_t end = Sum(offset, length);  // the offset is that of the length field
        // The packet, within the bytes the look for the EXIF APP1 takes: its
        // date serves a file without EXIF dates.
        if (const std::int64_t packet = std::min(end, S()) - P(); packet > 0) {
            Read(packet);
            TakeXmpDate(Held().view().substr(static_cast<std::size_t>(B() - packet)), facts_);
        }
        if (S() >= Sum(end, 6) && skipped < std::numeric_limits<std::int16_t>::max()) {
            SkipTo(end);
            Read(6);
            ++facts_.APPXSkipCount;
            if (PassSegments(true) && EnterApp1(true, app1)) return true;
        }
        app1 = xmp;
        facts_.APP1Offset = offset, facts_.APP1Length = length, facts_.APPXSkipCount = skipped;
        return true;
    }

    // Passes over the segments before the next APP1; true when it stands at
    // one. The last 6 bytes of the buffer always hold a segment's marker,
    // length and first two payload bytes. After an XMP APP1 (`quiet`) only
    // APPn and comment segments are passed, and anything else ends the
    // search without a note of its own.
    bool PassSegments(bool quiet) {
        for (;;) {
            const std::int64_t last = B() - 6;
            const std::uint32_t marker = ByteAt(last + 1);
            if (ByteAt(last) != 0xFF) {
                if (!quiet) Invalid(" does not contain a valid EXIF APP1 tag.");
                return false;
            }
            if (marker == 0xE1) return true;
            if (quiet && (marker < 0xE0 || marker > 0xEF) && marker != 0xFE) return false;
            const std::int64_t length = 256 * ByteAt(last + 2) + ByteAt(last + 3);
            // Quietly, the next segment's head must lie in the file as well.
            if (length < 2 || S() < Sum(P(), quiet ? length + 2 : length)) {
                if (!quiet) Invalid(" contains an invalid TIFF APPx length descriptor.");
                return false;
            }
            constexpr std::int16_t kMaxSkips = std::numeric_limits<std::int16_t>::max();
            if (quiet && facts_.APPXSkipCount == kMaxSkips) return false;
            if (length >= 5) {
                Skip(length - 4);
                Read(6);
            } else {
                Read(length + 2);
            }
            if (facts_.APPXSkipCount == kMaxSkips) Overflow();
            ++facts_.APPXSkipCount;
        }
    }

    // The APP1 at the buffer's end: its place, its length, and its first 14
    // payload bytes (identifier and TIFF header) read. Quietly, an APP1 that
    // does not begin as EXIF is no answer either.
    bool EnterApp1(bool quiet, std::int64_t& app1) {
        app1 = B() - 4;
        facts_.APP1Offset = static_cast<std::int32_t>(Sum(P(), -4));
        facts_.APP1Length = static_cast<std::int32_t>(256 * ByteAt(app1) + ByteAt(app1 + 1));
        if (S() < Sum(P(), 12)) {
            if (!quiet) Invalid(" contains an invalid EXIF APP1 length descriptor.");
            return false;
        }
        Read(12);
        return !quiet || Held().Bytes(static_cast<std::uint64_t>(app1 + 2), 4) == "Exif";
    }

    // Whether the APP1 at buffer index app1 holds XMP: the rest of its
    // identifier read when the first 14 bytes match and the segment and the
    // file are long enough for it.
    static constexpr std::string_view kXmp{"http://ns.adobe.com/xap/1.0/\0", 29};
    bool IsXmpHead(std::int64_t app1) const {
        return Held().Bytes(static_cast<std::uint64_t>(app1 + 2), kXmp.size()) == kXmp;
    }
    bool IsXmp(std::int64_t app1) {
        const auto id = [&](std::uint64_t n) { return Held().Bytes(static_cast<std::uint64_t>(app1 + 2), n); };
        if (id(14) != kXmp.substr(0, 14) || facts_.APP1Length < 2 + 29 || S() < Sum(P(), 15)) return false;
        // The EXIF APP1 usually follows within the first 64 KiB: one read for both.
        const std::int64_t ahead = std::min(S(), kXmpReadAhead) - view_->TakenEnd();
        if (ahead > 0) Require(view_->ReadAhead(static_cast<std::uint64_t>(ahead)));
        Read(15);
        return id(29) == kXmp;
    }

    // An EXIF APP1 without a date (an export that kept only the camera's
    // names) and an XMP APP1 among the APPn and comment segments after it:
    // the packet's date names the file. They are looked for within one read
    // of up to kXmpReadAhead past the bytes taken, the packet's date too.
    void ReadXmpAfterExif() {
        if (!Valid() || HasExifDate(facts_) || facts_.XMPDate) return;
        std::int64_t next = Sum(facts_.APP1Offset, facts_.APP1Length);  // the next segment's marker
        if (P() > next) return;
        if (const std::int64_t reach = std::min(S(), Sum(next, kXmpReadAhead)); reach > view_->TakenEnd())
            Require(view_->ReadAhead(static_cast<std::uint64_t>(reach - view_->TakenEnd())));
        for (int n = 0; n < kMaxSegmentsAfterExif; ++n) {
            if (view_->TakenEnd() < Sum(next, 4)) return;
            SkipTo(next);
            Read(4);
            const std::uint32_t marker = ByteAt(B() - 3);
            const std::int64_t length = 256 * ByteAt(B() - 2) + ByteAt(B() - 1);
            // The picture's own segments begin: no XMP after them.
            if (ByteAt(B() - 4) != 0xFF || ((marker < 0xE0 || marker > 0xEF) && marker != 0xFE) || length < 2)
                return;
            const std::int64_t end = Sum(next, length + 2);
            const auto idLength = static_cast<std::int64_t>(kXmp.size());
            if (marker == 0xE1 && length >= 2 + idLength && view_->TakenEnd() >= Sum(P(), idLength)) {
                Read(idLength);
                if (Held().Bytes(static_cast<std::uint64_t>(B() - idLength), kXmp.size()) == kXmp) {
                    const std::int64_t packet =
                        std::min({end, view_->TakenEnd(), Sum(P(), static_cast<std::int64_t>(kMaxXmpPacket))}) - P();
                    Read(packet);
                    TakeXmpDate(Held().view().substr(static_cast<std::size_t>(B() - packet)), facts_);
                    if (facts_.XMPDate) return;
                }
            }
            next = end;
        }
    }

    bool CheckExifIdentifier(std::int64_t app1) {
        static constexpr std::array<std::uint32_t, 4> kExif{'E', 'x', 'i', 'f'};
        for (std::size_t i = 0; i < kExif.size(); ++i)
            if (ByteAt(app1 + 2 + static_cast<std::int64_t>(i)) != kExif[i]) facts_.TIFFMetadata = false;
        if (ByteAt(app1 + 6) != 0 || ByteAt(app1 + 7) != 0)
            ctx_.Proceeding("a non-standard EXIF APP1 header string.");
        if (!Valid()) Invalid(" contains an invalid EXIF APP1 header string.");
        return Valid();
    }

    bool ReadHeaderInApp1(std::int64_t app1, std::int64_t& header) {
        const std::uint32_t b0 = ByteAt(app1 + 8), b1 = ByteAt(app1 + 9);
        const std::uint32_t b2 = ByteAt(app1 + 10), b3 = ByteAt(app1 + 11);
        if (b0 == 'I' && b1 == 'I' && b2 == 0x2A && b3 == 0x00) {
            order_ = ByteOrder::Intel;
        } else if (b0 == 'M' && b1 == 'M' && b2 == 0x00 && b3 == 0x2A) {
            order_ = ByteOrder::Motorola;
        } else {
            Invalid(" contains an invalid EXIF APP1 TIFF header.");
            return false;
        }
        facts_.TIFFByteAlign = ByteOrderName(order_);
        facts_.TIFFOffset = static_cast<std::int32_t>(Sum(P(), -8));
        header = B() - 8;
        return true;
    }

    bool ReadIfd0(std::int64_t header) {
        const std::int64_t tiffOffset = facts_.TIFFOffset;
        const std::int64_t ifd0 = Sum(tiffOffset, PointerAt(header + (big_ ? 8 : 4)));
        facts_.IFD0Offset = static_cast<std::int32_t>(ifd0);
        // From here on the bytes after the anchor are contiguous in the buffer;
        // when Whole(), every byte is, and IFD0 lies at its own place.
        const std::int64_t anchor = Whole() ? ifd0 - base_ : B();
        shift_ = ifd0 - anchor;

        if (ifd0 < Sum(tiffOffset, big_ ? kBigTiffHeader : 8) || S() < Sum(ifd0, CountSize())) {
            Invalid(" contains an invalid TIFF IFD0 offset.");
            return false;
        }
        SkipTo(ifd0);
        ReadUpTo(ifd0 + CountSize());
        const std::int64_t entries = CountAt(anchor);
        facts_.IFD0Entries = static_cast<std::int32_t>(entries);
        const std::int64_t end = Sum(Sum(ifd0, CountSize()), entries * EntrySize() + WordSize());
        if (S() < end) {
            Invalid(" contains an invalid TIFF IFD0 directory entry count.");
            return false;
        }
        ReadUpTo(end);

        for (std::int64_t i = 0; i < entries; ++i) {
            const std::int64_t entry = anchor + CountSize() + i * EntrySize();
            const std::uint32_t tag = U16At(entry);
            // Only the tags used here have their value taken as a pointer; any
            // other tag's value is not an offset and plays no part.
            if (tag == kTagDateTime) {
                if (auto date = DecodeDate(Sum(tiffOffset, PointerAt(ValueIndex(entry))))) facts_.EXIFDateModified = date;
                if (restart_) return true;
            } else if (tag == kTagExifIfd) {
                facts_.SubIFDOffset = static_cast<std::int32_t>(Sum(tiffOffset, DirectoryPointer(entry)));
            } else if (tag == kTagDateTimeOriginal) {
                ifd0Original_ = DecodeDate(Sum(tiffOffset, PointerAt(ValueIndex(entry))));
                if (restart_) return true;
            } else if (tag == kTagDateTimeDigitized) {
                ifd0Digitized_ = DecodeDate(Sum(tiffOffset, PointerAt(ValueIndex(entry))));
                if (restart_) return true;
            } else if (tag == kTagGpsIfd) {
                if (const auto pointer = SoftPointer(entry)) gpsOffset_ = *pointer;
            } else if (tag == kTagMake) {
                NoteText(entry, facts_.CameraMake);
            } else if (tag == kTagModel) {
                NoteText(entry, facts_.CameraModel);
            } else if (tag == kTagCameraSerialNumber) {
                NoteText(entry, ifd0Serial_);
            } else if (tag == kTagArtist) {
                NoteText(entry, facts_.Artist);
            }
        }
        return true;
    }

    // Makes sure the sub-directory's entry count is in the buffer. False when
    // it lies before the position on a first pass: the file must be begun
    // again without skipping (the walk then turns skips into reads).
    bool PlaceSubIfd(std::int64_t& subIndex) {
        const std::int64_t sub = facts_.SubIFDOffset;
        if (S() < Sum(sub, CountSize())) {
            // A file cut short still has the dates of IFD0 itself, if any.
            if (ifd0Original_ || ifd0Digitized_) ctx_.Proceeding("an invalid TIFF SubIFD offset.");
            else Invalid(" contains an invalid TIFF SubIFD offset.");
            subPastEnd_ = true;
            return true;
        }
        if (sub >= P() || Whole()) {
            // After a restart the buffer already reaches the sub-directory's
            // start; its two count bytes may still lie just past it.
            ReadUpTo(sub + CountSize());
            subIndex = IndexOf(sub);
            return true;
        }
        ctx_.Proceeding("an out-of-sequence TIFF APP1 SubIFD.");
        return false;
    }

    void ReadSubIfd(std::int64_t subIndex) {
        const std::int64_t sub = facts_.SubIFDOffset;
        const std::int64_t entries = CountAt(subIndex);
        facts_.SubIFDEntries = static_cast<std::int32_t>(entries);
        const std::int64_t end = Sum(Sum(sub, CountSize()), entries * EntrySize() + WordSize());
        if (S() < end) {
            ctx_.Proceeding("an invalid SubIFD directory entry count.");
            return;
        }
        ReadUpTo(end);
        const std::int64_t tiffOffset = PointerBase();
        for (std::int64_t i = 0; i < entries; ++i) {
            const std::int64_t entry = subIndex + CountSize() + i * EntrySize();
            const std::uint32_t tag = U16At(entry);
            if (tag == kTagDateTimeOriginal) {
                if (auto date = DecodeDate(Sum(tiffOffset, PointerAt(ValueIndex(entry))))) facts_.EXIFDateOriginal = date;
            } else if (tag == kTagDateTimeDigitized) {
                if (auto date = DecodeDate(Sum(tiffOffset, PointerAt(ValueIndex(entry))))) facts_.EXIFDateDigitized = date;
            } else if (tag == kTagBodySerialNumber) {
                NoteText(entry, facts_.CameraSerial);
            } else if (tag == kTagOffsetTimeOriginal) {
                NoteText(entry, offsetOriginal_, true);
            } else if (tag == kTagOffsetTimeDigitized) {
                NoteText(entry, offsetDigitized_, true);
            } else if (tag == kTagOffsetTime) {
                NoteText(entry, offsetModified_, true);
            } else if (tag == kTagSubSecTimeOriginal) {
                NoteText(entry, subSecOriginal_, true);
            } else if (tag == kTagLensModel) {
                NoteText(entry, facts_.LensModel);
            } else if (tag == kTagCameraOwnerName) {
                NoteText(entry, ownerName_);
            }
            if (restart_) return;
        }
    }

    // The EXIF date string "yyyy:mm:dd hh:nn:ss" at file offset o, cut into
    // its six fields by position. Values beyond a unit's range carry over.
    // A string before IFD0 that the forward read passed over (some editors
    // write the strings first) asks for the second pass instead.
    std::optional<DateTime> DecodeDate(std::int64_t o) {
        const std::int64_t end = Sum(o, kDateLength);
        if (o < facts_.IFD0Offset && !Whole() && !view_->Contiguous()) {
            restart_ = true;
            return std::nullopt;
        }
        if (P() < end && S() >= end) Read(end - P());
        const std::int64_t at = IndexOf(o);
        if (at < 0) return std::nullopt;
        // As much of the text as the file holds: a field cut short is no number.
        const ByteSpan held = Held();
        const auto index = static_cast<std::uint64_t>(at);
        const std::uint64_t length = index < held.size() ? std::min<std::uint64_t>(kDateLength - 1, held.size() - index) : 0;
        bool beyond = false;
        const std::optional<DateTime> date = ParseExifDate(held.Bytes(index, length).value_or(std::string_view()), beyond);
        if (beyond) ThrowFault(kFaultDateOutOfRange);
        return date;
    }

    ReadView* view_ = nullptr;  // none for a block in memory
    ByteSpan block_;
    std::int64_t blockEnd_ = 0;  // file offset just past the block
    std::int64_t base_ = 0;      // file offset of buffer index 0 when Whole()
    ReaderContext& ctx_;
    FileFacts& facts_;
    ByteOrder order_ = ByteOrder::Unknown;
    std::int64_t shift_ = 0;  // IFD0Offset minus the anchor
    bool restart_ = false;    // a date string lies where the forward read has passed
    std::optional<DateTime> ifd0Original_, ifd0Digitized_;
    bool subPastEnd_ = false;
    bool big_ = false;  // BigTIFF
    std::vector<NotedText> noted_;
    std::string ifd0Serial_;
    std::int64_t gpsOffset_ = -1;  // file offset of the GPS directory
    std::string offsetOriginal_, offsetDigitized_, offsetModified_, subSecOriginal_;
    std::string ownerName_;
};

}  // namespace

std::string CameraText(std::string_view bytes) {
    std::string raw(bytes.substr(0, std::min<std::size_t>(bytes.size(), kMaxCameraText)));
    if (const auto zero = raw.find('\0'); zero != std::string::npos) raw.resize(zero);
    // No control characters: the name goes into tab-separated lists and logs.
    for (char& c : raw)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    // Valid UTF-8 only, as the logs must be: a byte that starts no UTF-8
    // character is taken as Latin-1, its C1 controls as U+FFFD.
    std::string text;
    for (std::size_t i = 0; i < raw.size();) {
        const utf8::Unit unit = utf8::Next(raw, i);
        if (unit.valid) {
            text.append(raw, i, unit.length);
            i += unit.length;
            continue;
        }
        const auto b = static_cast<unsigned char>(raw[i++]);
        if (b < 0xA0) {
            text += "\xEF\xBF\xBD";
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

MetadataOutcome ReadTIFFMetadata(ReadView& view, ReaderContext& ctx) { return TiffReader(view, ctx).RunFile(); }

void ReadTIFFBlock(ReaderContext& ctx, ByteSpan block, std::int64_t at) {
    if (at < 0) Overflow();
    TiffReader(block, at, ctx).RunBlock();
}

void ReadExifDirectoryBlock(ReaderContext& ctx, ByteSpan block, std::int64_t at) {
    if (at < 0) Overflow();
    TiffReader(block, at, ctx).RunExifDirectory();
}

}  // namespace ravlen
