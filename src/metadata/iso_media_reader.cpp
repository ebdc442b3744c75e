#include "metadata/iso_media_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "metadata/gpmf_reader.h"
#include "metadata/jpeg_tiff_reader.h"
#include "metadata/date_text.h"
#include "metadata/metadata_fault.h"
#include "metadata/place_text.h"
#include "metadata/xmp_text.h"

namespace ravlen {
namespace {

// Bounds on what one file may make us do.
constexpr std::uint64_t kMaxBytesRead = 1u << 20;  // all reads of one file together
constexpr std::uint64_t kMaxExifItem = 48u << 10;  // the part of a HEIF Exif item read (dates come first)
constexpr int kMaxBoxes = 4096;                    // boxes visited in the file's own walk
constexpr int kMaxChildren = 4096;                 // boxes looked at inside one box in memory
constexpr std::int64_t kTopLookahead = 16;         // a next header, with a 64-bit size
constexpr std::int64_t kMoovLookahead = 4096;      // inside moov: small boxes come along with a header

constexpr std::uint32_t Fourcc(std::string_view s) {
    if (s.size() != 4) return 0;
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}
constexpr std::uint32_t kFtyp = Fourcc("ftyp"), kMoov = Fourcc("moov"), kMeta = Fourcc("meta"), kMvhd = Fourcc("mvhd"),
                        kUdta = Fourcc("udta"), kUuid = Fourcc("uuid"), kHdlr = Fourcc("hdlr"), kKeys = Fourcc("keys"),
                        kIlst = Fourcc("ilst"), kData = Fourcc("data"), kMdta = Fourcc("mdta"), kIinf = Fourcc("iinf"),
                        kInfe = Fourcc("infe"), kIloc = Fourcc("iloc"), kIdat = Fourcc("idat"), kExif = Fourcc("Exif"), kMime = Fourcc("mime"),
                        kDay = 0xA9646179u /* ©day */, kDate = Fourcc("date"), kMtdt = Fourcc("MTDT"),
                        kCmt1 = Fourcc("CMT1"), kCmt2 = Fourcc("CMT2"), kMak = 0xA96D616Bu /* ©mak */,
                        kMod = 0xA96D6F64u /* ©mod */, kTrak = Fourcc("trak");

// Boxes of dedicated cameras whose makers set the movie header from the
// camera's own clock (local time) rather than UTC.
// GoPro's own boxes (its firmware, its GPMF metadata) mark its movies too.
constexpr std::array<std::uint32_t, 14> kLocalClockMakerBoxes{
    Fourcc("NCDT"), Fourcc("PANA"), Fourcc("LEIC"), Fourcc("OLYM"), Fourcc("FFMV"), Fourcc("MVTG"), Fourcc("PENT"),
    Fourcc("PXTH"), Fourcc("CNCV"), Fourcc("CNTH"), Fourcc("QVMI"), Fourcc("MMA0"), Fourcc("FIRM"), Fourcc("GPMF")};
// Pentax's user data box, known by the text it begins with.
constexpr std::uint32_t kTags = Fourcc("TAGS");
constexpr std::string_view kPentaxTags = "PENTAX DIGITAL CAMERA";

constexpr std::string_view kXmpContentType("application/rdf+xml\0", 20);
const std::string_view kCanonUuid("\x85\xc0\xb6\x87\x82\x0f\x11\xe0\x81\x11\xf4\xce\x46\x2b\x6a\x48", 16);
const std::string_view kSonyUsmtUuid("USMT!\xd2\x4f\xce\xbb\x88\x69\x5c\xfa\xc9\xc7\x40", 16);
constexpr std::string_view kAppleCreationKey = "com.apple.quicktime.creationdate";
constexpr std::string_view kAppleMakeKey = "com.apple.quicktime.make";
constexpr std::string_view kAppleLocationKey = "com.apple.quicktime.location.ISO6709";
constexpr std::uint32_t kXyz = 0xA978797Au; /* ©xyz */
constexpr std::string_view kAppleModelKey = "com.apple.quicktime.model";

// Seconds from 1904-01-01 (the movie header's epoch) to 1970-01-01.
constexpr std::uint64_t kSeconds1904To1970 = 2082844800u;

std::optional<std::uint64_t> U64(const ByteSpan& s, std::uint64_t o) {
    const auto hi = s.U32(o, ByteOrder::Motorola), lo = s.U32(o + 4, ByteOrder::Motorola);
    if (!hi || !lo) return std::nullopt;
    return (std::uint64_t(*hi) << 32) | *lo;
}
std::uint32_t U32Or0(const ByteSpan& s, std::uint64_t o) { return s.U32(o, ByteOrder::Motorola).value_or(0); }

// One child box of a box held in memory: its type, its payload (after the
// header and, for uuid, after the 16-byte user type) and that user type.
struct Child {
    std::uint32_t type = 0;
    ByteSpan body;
    std::string_view userType;
};

// Calls f(child) for each child box in s until f returns false; stops at a
// size that does not fit. Size 0 runs to the end of s.
template <typename F>
void ForEachChild(const ByteSpan& s, F&& f) {
    std::uint64_t o = 0;
    for (int n = 0; n < kMaxChildren && s.Has(o, 8); ++n) {
        std::uint64_t size = U32Or0(s, o), header = 8;
        const std::uint32_t type = U32Or0(s, o + 4);
        if (size == 1) {
            const auto large = U64(s, o + 8);
            if (!large) return;
            size = *large, header = 16;
        } else if (size == 0) {
            size = s.size() - o;
        }
        Child c{type, {}, {}};
        if (type == kUuid) {
            const auto user = s.Bytes(o + header, 16);
            if (!user) return;
            c.userType = *user, header += 16;
        }
        if (size < header || !s.Has(o, size)) return;
        c.body = *s.Sub(o + header, size - header);
        if (!f(c)) return;
        o += size;
    }
}

std::optional<Child> FindChild(const ByteSpan& s, std::uint32_t type) {
    std::optional<Child> found;
    ForEachChild(s, [&](const Child& c) {
        if (c.type == type) found = c;
        return !found;
    });
    return found;
}

// The children of a meta box: ISO writes it as a full box (4 bytes of
// version and flags first), QuickTime's movie meta box is a plain container.
ByteSpan MetaChildren(const ByteSpan& meta) {
    if (U32Or0(meta, 4) == kHdlr) return meta;
    return meta.Sub(4, meta.size() >= 4 ? meta.size() - 4 : 0).value_or(ByteSpan());
}

// The value of an item-list entry: the text of its 'data' box (type
// indicator and locale first), or a bare QuickTime text (size and language
// first) for the user-data form.
std::optional<std::string_view> ItemText(const ByteSpan& item) {
    if (const auto data = FindChild(item, kData))
        return data->body.Bytes(8, data->body.size() >= 8 ? data->body.size() - 8 : 0);
    const auto length = item.U16(0, ByteOrder::Motorola);
    if (length && item.Has(4, *length)) return item.Bytes(4, *length);
    return item.view();
}

// The movie's date candidates, the first found of which wins in this order.
struct MovieDates {
    std::optional<ZonedDate> keys;      // meta/keys com.apple.quicktime.creationdate
    std::optional<ZonedDate> userData;  // udta ©day or date, with a zone
    const char* userDataSource = "";
    std::optional<std::uint64_t> mvhd;      // seconds since 1904, UTC unless the maker writes local time
    std::optional<std::int32_t> makerZone;  // Sony's MTDT time zone, minutes
    bool localClockMaker = false;
    // The camera, from Keys or the user data's ©mak and ©mod.
    std::string make, model;
    // Where it was filmed: Keys location first, then the user data's ©xyz.
    std::optional<GeoPoint> position;
    const char* positionSource = "";
};

// Keys (handler mdta) or an item list (©day) in a meta box.
void ReadMeta(const ByteSpan& meta, MovieDates& dates) {
    const ByteSpan children = MetaChildren(meta);
    const auto hdlr = FindChild(children, kHdlr);
    const auto ilst = FindChild(children, kIlst);
    if (!hdlr || !ilst) return;
    if (U32Or0(hdlr->body, 8) != kMdta) {
        if (dates.userData) return;
        if (const auto day = FindChild(ilst->body, kDay))
            if (const auto text = ItemText(day->body))
                if (auto z = ParseZonedDate(*text); z && z->zone)
                    dates.userData = z, dates.userDataSource = "udta ©day";
        return;
    }
    const auto keys = FindChild(children, kKeys);
    if (!keys) return;
    // keys: version and flags, count, then (size, namespace, name) entries;
    // the item list refers to them by their 1-based index.
    const std::uint32_t count = U32Or0(keys->body, 4);
    std::uint64_t o = 8;
    std::uint32_t created = 0, make = 0, model = 0, location = 0;
    for (std::uint32_t k = 1; k <= count && k <= kMaxChildren; ++k) {
        const std::uint32_t size = U32Or0(keys->body, o);
        if (size < 8 || !keys->body.Has(o, size)) break;
        const auto name = keys->body.Bytes(o + 8, size - 8);
        if (name == kAppleCreationKey) created = k;
        if (name == kAppleMakeKey) make = k;
        if (name == kAppleModelKey) model = k;
        if (name == kAppleLocationKey) location = k;
        o += size;
    }
    if (created == 0 && make == 0 && model == 0 && location == 0) return;
    ForEachChild(ilst->body, [&](const Child& item) {
        if (item.type == 0 ||
            (item.type != created && item.type != make && item.type != model && item.type != location))
            return true;
        const auto text = ItemText(item.body);
        if (!text) return true;
        if (item.type == created) dates.keys = ParseZonedDate(*text);
        if (item.type == make) dates.make = CameraText(*text);
        if (item.type == model) dates.model = CameraText(*text);
        if (item.type == location)
            if (const auto point = ParseIso6709(*text))
                dates.position = point, dates.positionSource = "Keys:location.ISO6709";
        return true;
    });
}

// Sony's user media box: a count, then (size, tag, language, encoding, value) entries.
void ReadSonyUserMedia(const ByteSpan& usmt, MovieDates& dates) {
    const auto mtdt = FindChild(usmt, kMtdt);
    if (!mtdt) return;
    const std::uint32_t count = mtdt->body.U16(0, ByteOrder::Motorola).value_or(0);
    std::uint64_t o = 2;
    for (std::uint32_t k = 0; k < count; ++k) {
        const auto size = mtdt->body.U16(o, ByteOrder::Motorola);
        if (!size || *size < 10 || !mtdt->body.Has(o, *size)) return;
        if (U32Or0(mtdt->body, o + 2) == 0x0B && *size >= 12) {
            const auto v = mtdt->body.U16(o + 10, ByteOrder::Motorola);
            const std::int32_t minutes = static_cast<std::int16_t>(*v);
            if (minutes >= -14 * 60 && minutes <= 14 * 60) dates.makerZone = minutes;
        }
        o += *size;
    }
}

void ReadUserData(const ByteSpan& udta, MovieDates& dates) {
    ForEachChild(udta, [&](const Child& c) {
        for (std::uint32_t maker : kLocalClockMakerBoxes)
            if (c.type == maker) dates.localClockMaker = true;
        if (c.type == kTags && c.body.Bytes(0, kPentaxTags.size()) == kPentaxTags) dates.localClockMaker = true;
        if ((c.type == kDay || c.type == kDate) && !dates.userData) {
            if (const auto text = ItemText(c.body))
                if (auto z = ParseZonedDate(*text); z && z->zone)
                    dates.userData = z, dates.userDataSource = c.type == kDay ? "udta ©day" : "udta date";
        } else if ((c.type == kMak || c.type == kMod) && ItemText(c.body)) {
            // Keys, read from the movie's meta box, speak for the camera first.
            std::string& name = c.type == kMak ? dates.make : dates.model;
            if (name.empty()) name = CameraText(*ItemText(c.body));
        } else if (c.type == kXyz && !dates.position && ItemText(c.body)) {
            // Keys, read from the movie's meta box, speak for the place first.
            if (const auto point = ParseIso6709(*ItemText(c.body)))
                dates.position = point, dates.positionSource = "udta ©xyz";
        } else if (c.type == kMeta) {
            ReadMeta(c.body, dates);
        } else if (c.type == kUuid && c.userType == kSonyUsmtUuid) {
            ReadSonyUserMedia(c.body, dates);
        }
        return true;
    });
}

void ReadMovieHeader(const ByteSpan& mvhd, MovieDates& dates) {
    const auto version = mvhd.Byte(0);
    if (!version) return;
    std::optional<std::uint64_t> created = U64(mvhd, 4);  // 64-bit in version 1, 32-bit in version 0
    if (*version != 1) created = mvhd.U32(4, ByteOrder::Motorola);
    if (created) dates.mvhd = *created;
}

class IsoMediaReader {
public:
    IsoMediaReader(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx), facts_(ctx.facts), pass_(ctx.pass) {}

    MetadataOutcome Run() {
        facts_.TIFFMetadata = facts_.RIFFMetadata = facts_.CIFFMetadata = facts_.MovieMetadata = false;
        facts_.TIFFByteAlign = "Unknown";
        if (pass_.GpmfOffset >= 0 && pass_.KeptFacts) {
            facts_ = *pass_.KeptFacts;
            ReadGpmfSample(pass_.GpmfOffset, pass_.GpmfLength);
            return MetadataOutcome::Done;
        }
        if (pass_.RevisitOffset >= 0) {
            facts_.InternalFormat = kFormatHeif;
            ReadExifItem(static_cast<std::uint64_t>(pass_.RevisitOffset),
                         static_cast<std::uint64_t>(pass_.RevisitLength));
            if (pass_.RevisitXmpOffset >= 0 || !pass_.RevisitXmp.empty())
                TakeXmpOf({pass_.RevisitXmp, pass_.RevisitXmpOffset, pass_.RevisitXmpLength});
            Conclude();
            return MetadataOutcome::Done;
        }
        const std::int64_t end = view_.FileSize();
        std::int64_t offset = 0;
        bool done = false;
        for (int n = 0; n < kMaxBoxes && !done && offset <= end - 8; ++n) {
            const auto box = Header(offset, end, kTopLookahead);
            if (!box) break;
            if (box->type == kFtyp) {
                if (Fetch(box->start, box->Size(), kTopLookahead)) Brands(Body(*box));
            } else if (box->type == kMoov) {
                WalkMoov(*box);
                done = Format() != kFormatHeif || (sequence_ && sawHeifMeta_);
            } else if (box->type == kMeta && Format() == kFormatHeif) {
                if (ReadHeifMeta(*box)) return MetadataOutcome::Restart;
                sawHeifMeta_ = true;
                // An image sequence without an Exif item is dated by its movie header.
                done = !sequence_ || triedExif_ || sawMoov_;
            }
            offset = box->end;
        }
        Conclude();
        return GpsTimeOfGpmf();
    }

private:
    struct Box {
        std::uint32_t type;
        std::int64_t start, header, end;  // file offsets; header = payload start
        std::int64_t Size() const { return end - start; }
    };

    const std::string& Format() const { return facts_.InternalFormat; }
    std::int64_t Base() const { return view_.Position() - static_cast<std::int64_t>(view_.BufferSize()); }

    // Makes the file's bytes [offset, offset + n) available in the buffer,
    // with up to `extra` bytes more (the next header) when the file and the
    // byte budget allow. False when they lie before the buffer, past the
    // file's end or beyond the budget: the caller treats them as missing.
    bool Fetch(std::int64_t offset, std::int64_t n, std::int64_t extra, std::int64_t limit = -1) {
        const std::int64_t size = view_.FileSize();
        if (limit < 0 || limit > size) limit = size;
        if (offset < Base() || n < 0 || offset > size || n > size - offset) return false;
        if (offset + n <= view_.Position()) return true;
        if (offset >= view_.Position()) {
            view_.ClearBuffer();
            if (offset > view_.Position()) Require(view_.Skip(static_cast<std::uint64_t>(offset - view_.Position())));
        }
        const std::int64_t wanted = std::max(offset + n, std::min(offset + n + extra, limit)) - view_.Position();
        if (static_cast<std::uint64_t>(wanted) > kMaxBytesRead - bytesRead_) return false;
        Require(view_.Read(static_cast<std::uint64_t>(wanted)));
        bytesRead_ += static_cast<std::uint64_t>(wanted);
        return true;
    }

    ByteSpan Span(std::int64_t offset, std::int64_t n) const {
        const auto bytes = view_.Bytes(static_cast<std::uint64_t>(offset - Base()), static_cast<std::uint64_t>(n));
        return bytes ? ByteSpan(*bytes) : ByteSpan();
    }
    ByteSpan Body(const Box& box) const { return Span(box.header, box.end - box.header); }

    // The header of the box at `offset` inside a parent ending at `end`.
    std::optional<Box> Header(std::int64_t offset, std::int64_t end, std::int64_t lookahead) {
        if (!Fetch(offset, 8, lookahead, end)) return std::nullopt;
        ByteSpan h = Span(offset, 8);
        std::uint64_t size = U32Or0(h, 0);
        Box box{U32Or0(h, 4), offset, offset + 8, end};
        if (size == 1) {
            if (!Fetch(offset, 16, 0, end)) return std::nullopt;
            size = U64(Span(offset, 16), 8).value_or(0);
            box.header += 8;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(end - offset);
        }
        if (box.type == kUuid) {
            if (!Fetch(offset, box.header - offset + 16, 0, end)) return std::nullopt;
            userType_ = std::string(Span(box.header, 16).view());
            box.header += 16;
        }
        if (size < static_cast<std::uint64_t>(box.header - offset) || size > static_cast<std::uint64_t>(end - offset))
            return std::nullopt;
        box.end = offset + static_cast<std::int64_t>(size);
        return box;
    }

    void Brands(const ByteSpan& ftyp) {
        auto isHeif = [](std::uint32_t b) {
            for (const char* h :
                 {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "mif2", "msf1", "avif", "avis"})
                if (b == Fourcc(h)) return true;
            return false;
        };
        const std::uint32_t major = U32Or0(ftyp, 0);
        sequence_ = major == Fourcc("msf1") || major == Fourcc("avis");
        if (major == Fourcc("crx ")) {
            facts_.InternalFormat = kFormatCr3;
        } else if (isHeif(major)) {
            facts_.InternalFormat = kFormatHeif;
        } else if (major != Fourcc("qt  ")) {
            for (std::uint64_t o = 8; ftyp.Has(o, 4); o += 4)
                if (isHeif(U32Or0(ftyp, o)) && U32Or0(ftyp, o) != Fourcc("hevc")) facts_.InternalFormat = kFormatHeif;
        }
    }

    // A GoPro movie's GPS time, from the first sample of its GPMF track: read
    // on when it lies ahead or is still held; behind (the movie box after the
    // media data, as GoPro writes it), read after going back to it, or, where
    // the stream cannot go back, by beginning the file again for just that sample.
    MetadataOutcome GpsTimeOfGpmf() {
        if (!gpmf_ || facts_.GPSDateTime || !facts_.MovieMetadata) return MetadataOutcome::Done;
        const auto size = static_cast<std::uint64_t>(view_.FileSize());
        if (gpmf_->offset >= size) return MetadataOutcome::Done;
        const auto offset = static_cast<std::int64_t>(gpmf_->offset);
        const auto length = static_cast<std::int64_t>(std::min<std::uint64_t>(
            {gpmf_->length, size - gpmf_->offset, static_cast<std::uint64_t>(kMaxGpmfSample)}));
        if (offset >= Base() || view_.GoBack(offset)) {
            ReadGpmfSample(offset, length);
            return MetadataOutcome::Done;
        }
        if (!pass_.SkippingAllowed) return MetadataOutcome::Done;
        pass_.GpmfOffset = offset, pass_.GpmfLength = length;
        pass_.KeptFacts = std::make_unique<FileFacts>(facts_);
        return MetadataOutcome::Restart;
    }

    void ReadGpmfSample(std::int64_t offset, std::int64_t length) {
        if (!Fetch(offset, length, 0)) return;
        if (const auto utc = GpmfGpsTime(Span(offset, length), ctx_)) facts_.GPSDateTime = utc;
    }

    // A track is looked into only as far as its header brought along: a
    // GPMF track's tables (small) are then read; other tracks, with their
    // sample tables, are skipped.
    void LookAtTrack(const Box& trak, std::int64_t end) {
        if (gpmf_) return;
        const std::int64_t held = std::min(trak.end, view_.Position()) - trak.header;
        if (held <= 0 || !IsGpmfTrack(Span(trak.header, held))) return;
        if (trak.Size() > kMaxGpmfTrack || !Fetch(trak.start, trak.Size(), kMoovLookahead, end)) return;
        gpmf_ = FirstGpmfSample(Body(trak));
    }

    // moov's children one by one: the movie header, meta, user data and
    // Canon's box are read; tracks, with their sample tables, are skipped.
    void WalkMoov(const Box& moov) {
        sawMoov_ = true;
        std::int64_t offset = moov.header;
        for (int n = 0; n < kMaxBoxes && offset <= moov.end - 8; ++n) {
            const auto box = Header(offset, moov.end, kMoovLookahead);
            if (!box) return;
            const bool wanted = box->type == kMvhd || box->type == kMeta || box->type == kUdta ||
                                (box->type == kUuid && (userType_ == kCanonUuid || userType_ == kSonyUsmtUuid));
            if (box->type == kTrak) LookAtTrack(*box, moov.end);
            if (wanted && Fetch(box->start, box->Size(), kMoovLookahead, moov.end)) {
                const ByteSpan body = Body(*box);
                if (box->type == kMvhd)
                    ReadMovieHeader(body, dates_);
                else if (box->type == kMeta)
                    ReadMeta(body, dates_);
                else if (box->type == kUdta)
                    ReadUserData(body, dates_);
                else if (userType_ == kSonyUsmtUuid)
                    ReadSonyUserMedia(body, dates_);
                else if (Format() == kFormatCr3)
                    ReadCanonBox(*box);
            }
            offset = box->end;
        }
    }

    // CMT1 holds IFD0 (its DateTime); CMT2 the EXIF directory.
    void ReadCanonBox(const Box& box) {
        std::optional<Child> cmt1, cmt2;
        ForEachChild(Body(box), [&](const Child& c) {
            if (c.type == kCmt1) cmt1 = c;
            if (c.type == kCmt2) cmt2 = c;
            return true;
        });
        auto at = [&](const Child& c) { return Base() + (c.body.view().data() - view_.Buffer().data()); };
        if (!cmt1) return;
        triedExif_ = true;
        ReadTIFFBlock(ctx_, cmt1->body, at(*cmt1));
        if (cmt2 && facts_.TIFFMetadata) ReadExifDirectoryBlock(ctx_, cmt2->body, at(*cmt2));
    }

    // HEIF: the Exif item's place from iinf and iloc, then its bytes. True
    // when the item lies before the meta box: the file is begun again.
    bool ReadHeifMeta(const Box& meta) {
        if (!Fetch(meta.start, meta.Size(), kTopLookahead)) return false;
        const ByteSpan children = MetaChildren(Body(meta));
        const auto iinf = FindChild(children, kIinf);
        const auto iloc = FindChild(children, kIloc);
        if (!iinf || !iloc) return false;
        const ItemIds items = FindItems(iinf->body);
        // The XMP packet's place, taken before the Exif item's read lets the meta box go.
        const std::optional<XmpPlace> xmp = items.xmp ? PlaceXmp(children, iloc->body, *items.xmp) : std::nullopt;
        if (ReadExifItemOf(children, iloc->body, items.exif)) {
            // The restart reads the packet too when the Exif item gives no date.
            if (xmp) {
                pass_.RevisitXmp = xmp->inIdat;
                pass_.RevisitXmpOffset = xmp->offset, pass_.RevisitXmpLength = xmp->length;
            }
            return true;
        }
        if (xmp) TakeXmpOf(*xmp);
        return false;
    }

    // The bytes of an item stored in the meta box's idat (construction method 1).
    static std::optional<std::string_view> InIdat(const ByteSpan& children, std::uint64_t offset,
                                                  std::uint64_t length) {
        const auto idat = FindChild(children, kIdat);
        return idat ? idat->body.Bytes(offset, length) : std::nullopt;
    }

    // An XMP item: its bytes when the meta box's idat holds them, else its
    // place in the file (at most kMaxXmpPacket of it).
    struct XmpPlace {
        std::string inIdat;
        std::int64_t offset = 0, length = 0;
    };
    std::optional<XmpPlace> PlaceXmp(const ByteSpan& children, const ByteSpan& iloc, std::uint32_t item) {
        std::uint64_t offset = 0, length = 0;
        int method = 0;
        if (!ItemExtent(iloc, item, offset, length, method)) return std::nullopt;
        length = std::min<std::uint64_t>(length, kMaxXmpPacket);
        if (method == 1) {
            const auto bytes = InIdat(children, offset, length);
            if (!bytes || bytes->empty()) return std::nullopt;
            return XmpPlace{std::string(*bytes), 0, 0};
        }
        const auto size = static_cast<std::uint64_t>(view_.FileSize());
        if (offset >= size || length == 0) return std::nullopt;
        length = std::min(length, size - offset);
        return XmpPlace{{}, static_cast<std::int64_t>(offset), static_cast<std::int64_t>(length)};
    }

    // An XMP packet serves a picture without EXIF dates (an edited export).
    // One passed over is read after going back to it, where the stream can.
    void TakeXmpOf(const XmpPlace& xmp) {
        if (HasExifDate(facts_)) return;
        if (!xmp.inIdat.empty()) return TakeXmpDate(xmp.inIdat, facts_);
        if (xmp.length > 0 && (xmp.offset >= Base() || view_.GoBack(xmp.offset)) && Fetch(xmp.offset, xmp.length, 0))
            TakeXmpDate(Span(xmp.offset, xmp.length).view(), facts_);
    }

    // The Exif item, when there is one. True when it lies before the meta box
    // and the stream cannot go back to it: the file is begun again.
    bool ReadExifItemOf(const ByteSpan& children, const ByteSpan& iloc, std::optional<std::uint32_t> item) {
        if (!item) return false;
        std::uint64_t offset = 0, length = 0;
        int method = 0;
        if (!ItemExtent(iloc, *item, offset, length, method)) return false;
        if (method == 1) {  // inside the meta box's idat
            const auto bytes = InIdat(children, offset, length);
            if (bytes) ReadExifBlock(*bytes, Base() + (bytes->data() - view_.Buffer().data()));
            return false;
        }
        const auto size = static_cast<std::uint64_t>(view_.FileSize());
        if (offset >= size) return false;
        if (length == 0 || length > size - offset) length = size - offset;  // 0: to the end of the file
        length = std::min(length, kMaxExifItem);
        // Passed over: read after going back to it, or where the stream
        // cannot go back, by beginning the file again.
        if (static_cast<std::int64_t>(offset) < Base() && !view_.GoBack(static_cast<std::int64_t>(offset)) &&
            pass_.SkippingAllowed) {
            pass_.SkippingAllowed = false;
            pass_.RevisitOffset = static_cast<std::int64_t>(offset);
            pass_.RevisitLength = static_cast<std::int64_t>(length);
            return true;
        }
        ReadExifItem(offset, length);
        return false;
    }

    void ReadExifItem(std::uint64_t offset, std::uint64_t length) {
        const auto at = static_cast<std::int64_t>(offset), n = static_cast<std::int64_t>(length);
        if (Fetch(at, n, 0)) ReadExifBlock(Span(at, n).view(), at);
    }

    // An Exif item: a 4-byte offset to the TIFF header ("Exif\0\0" usually
    // in between), then the TIFF block.
    void ReadExifBlock(std::string_view item, std::int64_t at) {
        const ByteSpan e(item);
        const auto skip = e.U32(0, ByteOrder::Motorola);
        if (!skip || *skip > item.size() - 4) return;
        const std::uint64_t tiff = 4 + *skip;
        triedExif_ = true;
        ReadTIFFBlock(ctx_, *e.Sub(tiff, item.size() - tiff), at + static_cast<std::int64_t>(tiff));
    }

    // The Exif item and the XMP packet's item (type mime, content type
    // application/rdf+xml after the item's name).
    struct ItemIds {
        std::optional<std::uint32_t> exif, xmp;
    };
    static ItemIds FindItems(const ByteSpan& iinf) {
        ItemIds ids;
        const auto version = iinf.Byte(0);
        if (!version) return ids;
        const std::uint64_t first = *version == 0 ? 6 : 8;  // after the 16- or 32-bit entry count
        const auto entries = iinf.Sub(first, iinf.size() >= first ? iinf.size() - first : 0);
        if (!entries) return ids;
        ForEachChild(*entries, [&](const Child& infe) {
            const auto v = infe.body.Byte(0);
            if (infe.type != kInfe || !v || *v < 2) return true;
            const bool wide = *v >= 3;
            const auto itemId = wide ? infe.body.U32(4, ByteOrder::Motorola) : infe.body.U16(4, ByteOrder::Motorola);
            const std::uint64_t typeAt = wide ? 10 : 8;
            if (!itemId) return true;
            if (U32Or0(infe.body, typeAt) == kExif && !ids.exif) ids.exif = *itemId;
            if (U32Or0(infe.body, typeAt) == kMime && !ids.xmp) {
                const std::string_view rest = infe.body.view().substr(std::min<std::size_t>(typeAt + 4, infe.body.size()));
                const std::size_t name = rest.find('\0');
                if (name != std::string_view::npos && rest.substr(name + 1, kXmpContentType.size()) == kXmpContentType)
                    ids.xmp = *itemId;
            }
            return !ids.exif || !ids.xmp;
        });
        return ids;
    }

    // The single extent (or the contiguous extents) of an item in iloc. The
    // extents of other items are passed over at once, their size known from
    // the field widths; the item's own take steps of the file's allowance, as
    // widths of 0 give extents of no bytes.
    bool ItemExtent(const ByteSpan& iloc, std::uint32_t item, std::uint64_t& offset, std::uint64_t& length,
                    int& method) {
        const auto version = iloc.Byte(0), sizes = iloc.Byte(4), sizes2 = iloc.Byte(5);
        if (!version || !sizes || !sizes2 || *version > 2) return false;
        const unsigned offsetSize = *sizes >> 4, lengthSize = *sizes & 15, baseSize = *sizes2 >> 4;
        const unsigned indexSize = *version >= 1 ? (*sizes2 & 15) : 0;
        for (unsigned s : {offsetSize, lengthSize, baseSize, indexSize})
            if (s != 0 && s != 4 && s != 8) return false;
        std::uint64_t o = 6;
        // The next n-byte number (n = 0 gives 0).
        auto take = [&](unsigned n, std::uint64_t& v) {
            if (!iloc.Has(o, n)) return false;
            v = 0;
            for (unsigned k = 0; k < n; ++k) v = (v << 8) | iloc.Byte(o + k).value_or(0);
            o += n;
            return true;
        };
        std::uint64_t count = 0;
        if (!take(*version < 2 ? 2 : 4, count)) return false;
        for (std::uint64_t i = 0; i < count && i < kMaxChildren; ++i) {
            std::uint64_t id = 0, construction = 0, reference = 0, base = 0, extents = 0;
            if (!take(*version < 2 ? 2 : 4, id)) return false;
            if (*version >= 1 && !take(2, construction)) return false;
            if (!take(2, reference) || !take(baseSize, base) || !take(2, extents)) return false;
            if (id != item) {
                const std::uint64_t skip = extents * (indexSize + offsetSize + lengthSize);  // at most 65535 * 24
                if (!iloc.Has(o, skip)) return false;
                o += skip;
                continue;
            }
            bool first = true;
            for (std::uint64_t k = 0; k < extents && ctx_.Step(); ++k) {
                std::uint64_t index = 0, eo = 0, el = 0;
                if (!take(indexSize, index) || !take(offsetSize, eo) || !take(lengthSize, el)) return false;
                if (eo > UINT64_MAX - base) return false;
                if (first) {
                    offset = base + eo, length = el, first = false;
                } else if (base + eo == offset + length && el <= UINT64_MAX - length) {
                    length += el;
                }
            }
            method = static_cast<int>(construction & 15);
            return !first && method <= 1;
        }
        return false;
    }

    // The movie's date by the first found of: its Keys creation date, a
    // user-data date with a zone, the movie header with the maker's zone,
    // the movie header alone (UTC, except for makers that write their
    // clock's local time).
    void Conclude() {
        const std::string& format = Format();
        const bool movieLike = sequence_ && !triedExif_ && sawMoov_ && dates_.mvhd;
        if ((format == kFormatHeif && !movieLike) || format == kFormatCr3) {
            // A block that was tried has given its own reason; an XMP date
            // names the picture without one.
            if (triedExif_) return;
            if (facts_.XMPDate) facts_.TIFFMetadata = false;
            else ctx_.Invalid(facts_.TIFFMetadata, " does not contain valid EXIF metadata.");
            return;
        }
        if (!sawMoov_ || !dates_.mvhd)
            return ctx_.Invalid(facts_.MovieMetadata, " does not contain a valid movie header.");
        facts_.MovieMetadata = true;
        facts_.CameraMake = dates_.make;
        facts_.CameraModel = dates_.model;
        if (dates_.position) {
            facts_.Latitude = dates_.position->latitude, facts_.Longitude = dates_.position->longitude;
            facts_.PositionSource = dates_.positionSource;
        }
        auto take = [&](const ZonedDate& z, const char* source) {
            facts_.MovieDate = z.local, facts_.MovieUTCOffset = z.zone, facts_.MovieDateSource = source;
        };
        if (dates_.keys) return take(*dates_.keys, "Keys:CreationDate");
        if (dates_.userData) return take(*dates_.userData, dates_.userDataSource);
        if (*dates_.mvhd <= kSeconds1904To1970) return;  // zero or before 1970: no date
        const std::uint64_t unix = *dates_.mvhd - kSeconds1904To1970;
        if (unix > 253402300799u) return;  // after 9999
        const auto utc = DateTime::FromCivilSeconds(static_cast<std::int64_t>(unix));
        if (dates_.makerZone)
            return take({utc.PlusSeconds(std::int64_t(*dates_.makerZone) * 60), dates_.makerZone}, "mvhd+MTDT");
        if (dates_.localClockMaker) return take({utc, std::nullopt}, "mvhd (camera clock)");
        // UTC; the run turns it into the chosen zone's local time.
        take({utc, 0}, "mvhd");
        facts_.MovieDateIsUTC = true;
    }

    ReadView& view_;
    ReaderContext& ctx_;
    FileFacts& facts_;
    MetadataPass& pass_;
    std::uint64_t bytesRead_ = 0;
    std::string userType_;  // of the last uuid header read
    MovieDates dates_;
    bool sawMoov_ = false, triedExif_ = false;
    std::optional<GpmfSample> gpmf_;  // a GoPro movie's first GPMF sample
    bool sequence_ = false, sawHeifMeta_ = false;  // an image sequence (msf1, avis) and its meta box
};

}  // namespace

std::optional<ByteOrder> DetectIsoMedia(std::string_view head) {
    const ByteSpan s(head);
    const std::uint32_t size = U32Or0(s, 0), type = U32Or0(s, 4);
    if (size != 0 && size != 1 && size < 8) return std::nullopt;
    for (const char* t : {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"})
        if (type == Fourcc(t)) return ByteOrder::Unknown;
    return std::nullopt;
}

MetadataOutcome ReadIsoMediaMetadata(ReadView& view, ReaderContext& ctx) { return IsoMediaReader(view, ctx).Run(); }

}  // namespace ravlen
