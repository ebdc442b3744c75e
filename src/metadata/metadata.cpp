#include "metadata/metadata.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <string>

#include "metadata/avchd_reader.h"
#include "metadata/ciff_reader.h"
#include "metadata/iso_media_reader.h"
#include "metadata/jpeg_tiff_reader.h"
#include "metadata/jxl_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/png_reader.h"
#include "metadata/raf_reader.h"
#include "metadata/riff_reader.h"
#include "metadata/webp_reader.h"
#include "model/version.h"

namespace ravlen {
namespace {

// The shortest file that can be detected; readers are entered with this many
// bytes read.
constexpr std::int64_t kSignatureLength = 8;

// Every format's validity flag: at most the detected format's can stay set.
constexpr std::array kMetadataFlags{&FileFacts::TIFFMetadata, &FileFacts::RIFFMetadata, &FileFacts::CIFFMetadata,
                                    &FileFacts::MovieMetadata};

void ClearFlags(FileFacts& facts) {
    for (bool FileFacts::*flag : kMetadataFlags) facts.*flag = false;
}

bool AnyFlag(const FileFacts& facts) {
    return std::any_of(kMetadataFlags.begin(), kMetadataFlags.end(), [&](bool FileFacts::*flag) { return facts.*flag; });
}

// In the strict date mode a file without usable metadata (nor an XMP date)
// goes no further.
// Each reason was noted where it arose.
void StopWithoutMetadata(const RunOptions& options, FileFacts& facts, RunTally& tally) {
    if (options.DateMode == DateMode::MetadataOnly && !AnyFlag(facts) && !facts.XMPDate) {
        facts.Timestamped = false;
        ++tally.NumberOfInvalidEXIFFiles;
    }
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool Starts(std::string_view head, std::string_view signature) { return head.substr(0, signature.size()) == signature; }

std::optional<ByteOrder> DetectJpeg(std::string_view head) {
    if (Starts(head, "\xFF\xD8")) return ByteOrder::Unknown;
    return std::nullopt;
}
std::optional<ByteOrder> DetectTiff(std::string_view head) {
    if (Starts(head, std::string_view("II\x2A\0", 4))) return ByteOrder::Intel;
    if (Starts(head, std::string_view("MM\0\x2A", 4))) return ByteOrder::Motorola;
    // BigTIFF: 8-byte offsets, an offset size of 8.
    if (Starts(head, std::string_view("II\x2B\0\x08\0\0\0", 8))) return ByteOrder::Intel;
    if (Starts(head, std::string_view("MM\0\x2B\0\x08\0\0", 8))) return ByteOrder::Motorola;
    return std::nullopt;
}
// Olympus and Panasonic raws: TIFF under signatures of their own.
std::optional<ByteOrder> DetectOrf(std::string_view head) {
    if (Starts(head, "IIRO") || Starts(head, "IIRS")) return ByteOrder::Intel;
    if (Starts(head, "MMOR")) return ByteOrder::Motorola;
    return std::nullopt;
}
std::optional<ByteOrder> DetectRw2(std::string_view head) {
    if (Starts(head, std::string_view("IIU\0", 4))) return ByteOrder::Intel;
    return std::nullopt;
}
// A RIFF form of its own: the WebP still carries EXIF, not RIFF dates.
std::optional<ByteOrder> DetectWebP(std::string_view head) {
    if (Starts(head, "RIFF") && head.substr(8, 4) == "WEBP") return ByteOrder::Unknown;
    return std::nullopt;
}
std::optional<ByteOrder> DetectRiff(std::string_view head) {
    if (Starts(head, "RIFF")) return ByteOrder::Intel;
    return std::nullopt;
}
std::optional<ByteOrder> DetectCiff(std::string_view head) {
    if (Upper(head[6]) != 'H' || Upper(head[7]) != 'E') return std::nullopt;
    if (Starts(head, "II")) return ByteOrder::Intel;
    if (Starts(head, "MM")) return ByteOrder::Motorola;
    return std::nullopt;
}

std::optional<ByteOrder> DetectRaf(std::string_view head) {
    if (Starts(head, "FUJIFILM")) return ByteOrder::Unknown;
    return std::nullopt;
}
std::optional<ByteOrder> DetectPng(std::string_view head) {
    if (Starts(head, "\x89PNG\r\n\x1A\n")) return ByteOrder::Unknown;
    return std::nullopt;
}
// Confirmed by the reader on the following packets.
std::optional<ByteOrder> DetectAvchd(std::string_view head) {
    if (LooksLikeTransportStream(head)) return ByteOrder::Unknown;
    return std::nullopt;
}

// A reader that never asks for a restart.
template <void (*Read)(ReadView&, ReaderContext&)>
MetadataOutcome Once(ReadView& view, ReaderContext& ctx) {
    Read(view, ctx);
    return MetadataOutcome::Done;
}

// One format family: its name, its validity flag, its detector over the
// file's first bytes (kSignatureLength to kDetectLength of them) giving the
// byte order, and its reader.
struct FormatFamily {
    const char* format;
    bool FileFacts::*valid;
    std::optional<ByteOrder> (*detect)(std::string_view head);
    MetadataOutcome (*read)(ReadView& view, ReaderContext& ctx);
};

// The first matching row decides.
constexpr std::array<FormatFamily, 12> kFamilies{{
    {"JPEG", &FileFacts::TIFFMetadata, DetectJpeg, ReadTIFFMetadata},
    {"TIFF", &FileFacts::TIFFMetadata, DetectTiff, ReadTIFFMetadata},
    {"ORF", &FileFacts::TIFFMetadata, DetectOrf, ReadTIFFMetadata},
    {"RW2", &FileFacts::TIFFMetadata, DetectRw2, ReadTIFFMetadata},
    {"WebP", &FileFacts::TIFFMetadata, DetectWebP, Once<ReadWebPMetadata>},
    {"RIFF", &FileFacts::RIFFMetadata, DetectRiff, Once<ReadRIFFMetadata>},
    {"CIFF", &FileFacts::CIFFMetadata, DetectCiff, ReadCIFFMetadata},
    {"RAF", &FileFacts::TIFFMetadata, DetectRaf, Once<ReadRAFMetadata>},
    {"PNG", &FileFacts::TIFFMetadata, DetectPng, Once<ReadPNGMetadata>},
    {kFormatJxl, &FileFacts::TIFFMetadata, DetectJxl, Once<ReadJXLMetadata>},
    {kFormatIsoMedia, &FileFacts::MovieMetadata, DetectIsoMedia, ReadIsoMediaMetadata},  // HEIF, CR3 by the brand
    {"AVCHD", &FileFacts::MovieMetadata, DetectAvchd, Once<ReadAVCHDMetadata>},  // the broadest signature last
}};

std::string FaultMessage(const std::string& fileName, int number, const std::string& description) {
    return "Unable to extract metadata from " + fileName + " due to the following: Error " +
           std::to_string(number) + ": " + description + ". If this problem persists, please contact " +
           Version().CompanyName + " for assistance.";
}

// Detection and the reader of the detected kind.
MetadataOutcome ReadDetected(ReadStream& stream, std::int64_t fileSize, const ReadHooks& hooks, ReaderContext& ctx) {
    FileFacts& facts = ctx.facts;
    if (fileSize < kSignatureLength) {
        ClearFlags(facts);
        ctx.StrictNote(" is too small to be a valid JPEG, TIFF, or RIFF file.");
        return MetadataOutcome::Done;
    }
    // The first bytes: those a first pass kept, or a first read.
    std::string head = std::move(ctx.pass.KeptBytes);
    ctx.pass.KeptBytes.clear();
    const std::int64_t want = std::min(fileSize, kDetectLength);
    if (static_cast<std::int64_t>(head.size()) < want) Require(stream.Read(want - head.size(), head));

    const std::string_view first = std::string_view(head).substr(0, static_cast<std::size_t>(want));
    const FormatFamily* family = nullptr;
    std::optional<ByteOrder> order;
    for (const FormatFamily& row : kFamilies) {
        if ((order = row.detect(first))) {
            family = &row;
            break;
        }
    }
    if (!family) {
        ClearFlags(facts);
        ctx.StrictNote(kUnknownFormatNote);
        return MetadataOutcome::Done;
    }
    facts.InternalFormat = family->format;
    facts.TIFFByteAlign = ByteOrderName(*order);
    ClearFlags(facts);
    facts.*(family->valid) = true;

    ReadView view(stream, hooks.pump, fileSize, ReadView::kDefaultMaxBuffer, hooks.stopped);
    view.Replay(std::move(head));
    Require(view.Read(kSignatureLength));
    const MetadataOutcome outcome = family->read(view, ctx);
    if (outcome == MetadataOutcome::Restart) {
        ctx.pass.SkippingAllowed = false;
        if (view.Contiguous()) ctx.pass.KeptBytes = view.ReleaseBytes();
    }
    return outcome;
}

}  // namespace

MetadataOutcome ReadMetadataFromStream(ReadStream& stream, std::int64_t fileSize, const ReadHooks& hooks,
                                       const RunOptions& options, FileFacts& facts, MetadataPass& pass,
                                       RunTally& tally) {
    ReaderContext ctx{facts, pass, options.DateMode == DateMode::MetadataOnly, hooks.report};
    // Any unexpected failure while the file is read ends its reading here.
    auto fault = [&](int number, const std::string& description) {
        ctx.Note(FaultMessage(facts.SourceFileName, number, description), MsgIcon::Critical);
        ClearFlags(facts);
    };
    try {
        if (ReadDetected(stream, fileSize, hooks, ctx) == MetadataOutcome::Restart) return MetadataOutcome::Restart;
    } catch (const MetadataFault& f) {
        fault(f.Number, f.what());
    } catch (const std::bad_alloc&) {
        fault(kFaultOutOfMemory, "Out of memory");
    }
    StopWithoutMetadata(options, facts, tally);
    return MetadataOutcome::Done;
}

MetadataOutcome ReadMetadata(FileSource& source, const ReadHooks& hooks, const RunOptions& options, FileFacts& facts,
                             MetadataPass& pass, RunTally& tally) {
    // With file-system dates only, no file is opened and no metadata is valid.
    if (options.DateMode == DateMode::FileSystemOnly) {
        ClearFlags(facts);
        return MetadataOutcome::Done;
    }
    std::unique_ptr<ReadStream> stream = std::move(pass.OpenStream);
    if (!stream) {
        pass.KeptBytes.clear();  // they belong to the stream that was closed
        FsStatus opened;
        stream = source.OpenRead(facts.SourceFilePath, opened);
        if (hooks.pump) hooks.pump();
        if (!stream) {
            ClearFlags(facts);
            if (opened.Is(FsFault::Gone)) {
                // Removed since it was listed: it lacks nothing, it just cannot be placed.
                facts.Timestamped = false;
                ++tally.NumberOfLockedFiles;
                ReaderContext{facts, pass, false, hooks.report}.Note(facts.SourceFileName + " no longer exists.",
                                                                    MsgIcon::Exclamation);
                return MetadataOutcome::Done;
            }
            ReaderContext{facts, pass, options.DateMode == DateMode::MetadataOnly, hooks.report}.StrictNote(
                " could not be opened due to the following error: " + opened.error + ".");
            StopWithoutMetadata(options, facts, tally);
            return MetadataOutcome::Done;
        }
    }
    const MetadataOutcome outcome = ReadMetadataFromStream(*stream, facts.Size, hooks, options, facts, pass, tally);
    if (outcome == MetadataOutcome::Restart && !pass.KeptBytes.empty()) {
        pass.OpenStream = std::move(stream);
        return outcome;
    }
    stream->Close();  // nothing to do about a failure to close a file only read
    if (hooks.pump) hooks.pump();
    return outcome;
}

}  // namespace ravlen
