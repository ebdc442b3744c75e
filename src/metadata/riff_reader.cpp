#include "metadata/riff_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "metadata/date_text.h"
#include "metadata/metadata_fault.h"

namespace ravlen {
namespace {

// The most of one value sub-chunk that is held in memory; dates sit at its
// start, the rest is passed over.
constexpr std::uint64_t kValueCap = 1u << 20;

std::string Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return std::string(s);
}

std::uint32_t Little32(std::string_view b) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[3])) << 24;
}

// Bytes from..from+n-1 of data, clipped to what is there.
std::string_view Mid(std::string_view data, std::size_t from, std::size_t n) {
    if (from >= data.size()) return {};
    return data.substr(from, n);
}

// A sub-chunk's data as text: up to its first zero byte. Data cut at the cap
// without a zero byte in the part held is too long to be a date.
std::optional<std::string_view> TextOf(std::string_view data, bool cut) {
    const std::size_t zero = data.find('\0');
    if (zero != std::string_view::npos) return data.substr(0, zero);
    if (cut) return std::nullopt;
    return data;
}

struct ChunkHeader {
    std::string id;  // trimmed of spaces
    std::uint32_t size = 0;
};

class RiffWalk {
public:
    RiffWalk(ReadView& view, ReaderContext& ctx) : view_(view), ctx_(ctx), facts_(ctx.facts) {}

    void Run();

private:
    // The next n bytes of the file, alone in the buffer.
    std::string_view Take(std::uint64_t n) {
        view_.ClearBuffer();
        Require(view_.Read(n));
        return *view_.Bytes(0, n);
    }
    void Pass(std::uint64_t n) {
        if (n == 0) return;
        Require(view_.Skip(n));
    }
    std::uint64_t Position() const { return static_cast<std::uint64_t>(view_.Position()); }

    void Fail(const char* text) { ctx_.Invalid(facts_.RIFFMetadata, text); }

    std::optional<ChunkHeader> NextHeader(std::uint64_t& o, std::uint64_t length, bool mayPad);
    bool WalkList(std::uint64_t length);
    bool WalkStrl(std::uint64_t length);
    void ReadValue(const std::string& id, std::uint32_t size);
    void TakeValue(const std::string& id, std::string_view data, bool cut);

    ReadView& view_;
    ReaderContext& ctx_;
    FileFacts& facts_;
};

// The header of the next chunk of a stretch of `length` bytes whose offset `o`
// (within the stretch) is the next byte of the file. When mayPad is set, one
// zero byte at o is the pad after an odd-sized chunk (or the filler a nested
// list may hold) and is passed over. Empty when fewer than 9 bytes remain,
// or when the file's allowance of steps is spent (chunks of no bytes could
// otherwise make a long file cost seconds).
std::optional<ChunkHeader> RiffWalk::NextHeader(std::uint64_t& o, std::uint64_t length, bool mayPad) {
    if (!(length > o + 8) || !ctx_.Step()) return std::nullopt;
    std::string raw;
    if (mayPad) {
        const char first = Take(1)[0];
        if (first == '\0') {
            ++o;
            if (!(length > o + 8)) return std::nullopt;
        } else {
            raw.push_back(first);
        }
    }
    raw += Take(8 - raw.size());
    return ChunkHeader{Trim(std::string_view(raw).substr(0, 4)), Little32(std::string_view(raw).substr(4, 4))};
}

void RiffWalk::Run() {
    const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(view_.FileSize(), 0));
    const auto header = view_.Bytes(4, 4);
    // Recorders pad files, long movies carry further RIFF chunks after the
    // first, and a recording cut short leaves a stale size: the size is only
    // asked to be plausible, and the walk below runs to the end of the file.
    if (!header || Little32(*header) <= 4 || fileSize < 12 || Position() != 8) {
        Fail(" contains an invalid RIFF size descriptor.");
        return;
    }
    facts_.RIFFForm = Trim(Take(4));

    // Positions are 64-bit and sizes unsigned 32-bit, so no sum can overflow:
    // movies beyond 2 GB walk like any other file, and a size that runs past
    // the end of the file is a size error, not an arithmetic fault.
    std::uint64_t pos = Position();
    bool odd = false;
    while (auto chunk = NextHeader(pos, fileSize, odd)) {
        // Zeros where a chunk should be: the rest of a recording cut short (or
        // a sparse file). Nothing follows, however long the run of zeros.
        if (chunk->size == 0 && chunk->id.find_first_not_of('\0') == std::string::npos) break;
        pos += 8;
        if (chunk->size > fileSize - pos) {
            Fail(" contains an invalid RIFF chunk size descriptor.");
            return;
        }
        odd = (chunk->size & 1) != 0;
        if (chunk->id != "LIST" || chunk->size < 5) {
            Pass(chunk->size);
            pos += chunk->size;
            continue;
        }
        const std::string type(Take(4));
        const std::uint64_t body = chunk->size - 4;
        pos += 4;
        if (type == "INFO" || type == "exif" || type == "hdrl" || type == "Cdat") {
            if (!WalkList(body)) return;
        } else {
            Pass(body);
        }
        pos += body;
    }
}

// One list body of `length` bytes, sub-chunk by sub-chunk; exactly `length`
// bytes are consumed unless a size check fails (false).
bool RiffWalk::WalkList(std::uint64_t length) {
    const std::uint64_t start = Position();
    std::uint64_t o = 0;
    bool odd = false;
    while (auto sub = NextHeader(o, length, odd)) {
        if (sub->size == 0 || sub->size > length - o - 8) {
            Fail(" contains an invalid RIFF LIST subchunk size descriptor.");
            return false;
        }
        if (sub->id == "LIST") {
            if (sub->size >= 4) {
                const bool strl = Take(4) == "strl";
                if (strl) {
                    if (!WalkStrl(sub->size - 4)) return false;
                } else {
                    Pass(sub->size - 4);
                }
            } else {
                Pass(sub->size);
            }
        } else {
            ReadValue(sub->id, sub->size);
        }
        o += 8 + std::uint64_t{sub->size};
        odd = (sub->size & 1) != 0;
    }
    Pass(length - (Position() - start));
    return true;
}

// The nested sub-chunks of a "strl" list (its data after the list type).
bool RiffWalk::WalkStrl(std::uint64_t length) {
    const std::uint64_t start = Position();
    std::uint64_t o = 0;
    while (auto sub = NextHeader(o, length, true)) {
        if (sub->size == 0 || sub->size > length - o - 8) {
            Fail(" contains an invalid RIFF nested LIST subchunk size descriptor.");
            return false;
        }
        if (sub->id == "strd")
            ReadValue(sub->id, sub->size);
        else
            Pass(sub->size);
        o += 8 + std::uint64_t{sub->size};
    }
    Pass(length - (Position() - start));
    return true;
}

void RiffWalk::ReadValue(const std::string& id, std::uint32_t size) {
    if (id != "ICRD" && id != "etim" && id != "IDIT" && id != "cmnt" && id != "strd") {
        Pass(size);
        return;
    }
    const std::uint64_t held = std::min<std::uint64_t>(size, kValueCap);
    TakeValue(id, Take(held), held < size);
    view_.ClearBuffer();
    Pass(size - held);
}

void RiffWalk::TakeValue(const std::string& id, std::string_view data, bool cut) {
    if (id == "ICRD") {
        if (auto text = TextOf(data, cut))
            // A calendar date: any time in the text is dropped, the etim time supplies it.
            if (auto d = ParseDateText(*text)) facts_.RIFFICRDDate = d->DateOnly();
    } else if (id == "etim") {
        if (auto d = ParseDateText(Mid(data, 0, 8))) facts_.RIFFetimTime = d;
    } else if (id == "IDIT") {
        // "Sat May 17 10:23:45 2003" becomes "2003 May 17 10:23:45".
        std::string text;
        text.append(Mid(data, 20, 4)).append(" ").append(Mid(data, 4, 3)).append(" ");
        text.append(Mid(data, 8, 2)).append(" ").append(Mid(data, 11, 8));
        if (auto d = ParseDateText(text)) {
            facts_.RIFFIDITDate = d;
        } else if (auto whole = TextOf(data, cut)) {
            if (auto w = ParseDateText(*whole)) facts_.RIFFIDITDate = w;
        }
    } else if (id == "cmnt") {
        // "20030517 10:23:45" becomes "2003 05 17 10:23:45".
        std::string text;
        text.append(Mid(data, 0, 4)).append(" ").append(Mid(data, 4, 2)).append(" ").append(Mid(data, 6, 11));
        if (auto d = ParseDateText(text)) facts_.RIFFcmntDate = d;
    } else if (id == "strd") {
        // An embedded "2003:05:17 10:23:45", found by its first colon.
        const std::size_t c = data.find(':');
        if (c == std::string_view::npos || c < 4) return;
        const std::size_t y = c - 4;
        std::string text;
        text.append(Mid(data, y, 4)).append("/").append(Mid(data, y + 5, 2)).append("/");
        text.append(Mid(data, y + 8, 2)).append(" ").append(Mid(data, y + 11, 8));
        if (auto d = ParseDateText(text)) facts_.RIFFstrdDate = d;
    }
}

}  // namespace

void ReadRIFFMetadata(ReadView& view, ReaderContext& ctx) {
    FileFacts& facts = ctx.facts;
    facts.RIFFForm = "Unknown";
    facts.RIFFICRDDate.reset();
    facts.RIFFetimTime.reset();
    facts.RIFFIDITDate.reset();
    facts.RIFFcmntDate.reset();
    facts.RIFFstrdDate.reset();
    RiffWalk(view, ctx).Run();
}

}  // namespace ravlen
