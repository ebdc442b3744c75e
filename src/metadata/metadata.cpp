#include "metadata/metadata.h"

#include <new>
#include <string>

#include "metadata/ciff_reader.h"
#include "metadata/jpeg_tiff_reader.h"
#include "metadata/metadata_fault.h"
#include "metadata/read_view.h"
#include "metadata/riff_reader.h"
#include "model/report.h"
#include "model/version.h"

namespace ravlen {
namespace {

constexpr std::int64_t kSignatureLength = 8;

void ClearFlags(FileFacts& facts) {
    facts.TIFFMetadata = false;
    facts.RIFFMetadata = false;
    facts.CIFFMetadata = false;
    facts.MovieMetadata = false;
}

bool AnyFlag(const FileFacts& facts) {
    return facts.TIFFMetadata || facts.RIFFMetadata || facts.CIFFMetadata || facts.MovieMetadata;
}

// In the strict date mode a file without usable metadata goes no further.
// Each reason was noted where it arose.
void StopWithoutMetadata(const RunOptions& options, FileFacts& facts, RunTally& tally) {
    if (options.DateMode == DateMode::MetadataOnly && !AnyFlag(facts)) {
        facts.Timestamped = false;
        ++tally.NumberOfInvalidEXIFFiles;
    }
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The format by the first eight bytes; the first matching row decides.
bool Detect(std::string_view sig, FileFacts& facts) {
    const std::string_view two = sig.substr(0, 2);
    const bool ciffMark = Upper(sig[6]) == 'H' && Upper(sig[7]) == 'E';
    auto set = [&](const char* format, ByteOrder order) {
        facts.InternalFormat = format;
        facts.TIFFByteAlign = ByteOrderName(order);
    };
    if (static_cast<unsigned char>(sig[0]) == 0xFF && static_cast<unsigned char>(sig[1]) == 0xD8) {
        set("JPEG", ByteOrder::Unknown);
        facts.TIFFOffset = -1;
    } else if (two == "II" && sig[2] == 0x2A && sig[3] == 0x00) {
        set("TIFF", ByteOrder::Intel);
        facts.TIFFOffset = 0;
    } else if (two == "MM" && sig[2] == 0x00 && sig[3] == 0x2A) {
        set("TIFF", ByteOrder::Motorola);
        facts.TIFFOffset = 0;
    } else if (sig.substr(0, 4) == "RIFF") {
        set("RIFF", ByteOrder::Intel);
        facts.RIFFForm = "Unknown";
    } else if (two == "II" && ciffMark) {
        set("CIFF", ByteOrder::Intel);
        facts.TIFFOffset = -1;
    } else if (two == "MM" && ciffMark) {
        set("CIFF", ByteOrder::Motorola);
        facts.TIFFOffset = -1;
    } else {
        return false;
    }
    return true;
}

std::string FaultMessage(const std::string& fileName, int number, const std::string& description) {
    return "Unable to extract metadata from " + fileName + " due to the following: Error " +
           std::to_string(number) + ": " + description + ". If this problem persists, please contact " +
           Version().CompanyName + " for assistance.";
}

// Detection and the reader of the detected kind. True when the file must be
// begun again.
bool ReadDetected(ReadStream& stream, std::int64_t fileSize, UserPort& port, const RunOptions& options,
                  FileFacts& facts, MetadataPass& pass, const ProblemReporter& report) {
    const bool strict = options.DateMode == DateMode::MetadataOnly;
    ReadView view(stream, port, fileSize);
    if (fileSize < kSignatureLength) {
        ClearFlags(facts);
        if (strict)
            report(facts.Notes, facts.SourceFileName + " is too small to be a valid JPEG, TIFF, or RIFF file.",
                   MsgIcon::Exclamation);
        return false;
    }
    if (FsStatus st = view.Read(kSignatureLength); !st) throw FaultFromStatus(st);
    if (!Detect(std::string_view(view.Buffer()).substr(0, kSignatureLength), facts)) {
        ClearFlags(facts);
        if (strict)
            report(facts.Notes, facts.SourceFileName + " is not a valid JPEG, TIFF, or RIFF file.",
                   MsgIcon::Exclamation);
        return false;
    }

    // At most the detected kind of metadata can be valid.
    const std::string& format = facts.InternalFormat;
    if (format == "JPEG" || format == "TIFF") return ReadTIFFMetadata(view, facts, options, report, pass);
    if (format == "RIFF") {
        facts.TIFFMetadata = false;
        facts.CIFFMetadata = false;
        ReadRIFFMetadata(view, facts, options, report);
    } else {
        facts.TIFFMetadata = false;
        facts.RIFFMetadata = false;
        ReadCIFFMetadata(view, facts, options, report);
    }
    return false;
}

}  // namespace

bool ReadMetadataFromStream(ReadStream& stream, std::int64_t fileSize, UserPort& port, const RunOptions& options,
                            FileFacts& facts, MetadataPass& pass, RunTally& tally) {
    const ProblemReporter report{port, options.ReportErrors};
    facts.TIFFMetadata = facts.RIFFMetadata = facts.CIFFMetadata = true;

    // Any unexpected failure while the file is read ends its reading here.
    auto fault = [&](int number, const std::string& description) {
        report(facts.Notes, FaultMessage(facts.SourceFileName, number, description), MsgIcon::Critical);
        ClearFlags(facts);
    };
    try {
        if (ReadDetected(stream, fileSize, port, options, facts, pass, report)) return true;
    } catch (const MetadataFault& f) {
        fault(f.Number, f.what());
    } catch (const std::bad_alloc&) {
        fault(kFaultOutOfMemory, "Out of memory");
    }
    StopWithoutMetadata(options, facts, tally);
    return false;
}

bool ReadMetadata(FileSystem& fs, UserPort& port, const RunOptions& options, FileFacts& facts,
                  MetadataPass& pass, RunTally& tally) {
    // With file-system dates only, no file is opened and no metadata is valid.
    if (options.DateMode == DateMode::FileSystemOnly) {
        ClearFlags(facts);
        return false;
    }
    std::string error;
    std::unique_ptr<ReadStream> stream = fs.OpenRead(facts.SourceFilePath, error);
    port.PumpEvents();
    if (!stream) {
        ClearFlags(facts);
        if (options.DateMode == DateMode::MetadataOnly) {
            const ProblemReporter report{port, options.ReportErrors};
            report(facts.Notes, facts.SourceFileName + " could not be opened due to the following error: " + error + ".",
                   MsgIcon::Exclamation);
        }
        StopWithoutMetadata(options, facts, tally);
        return false;
    }
    const bool restart = ReadMetadataFromStream(*stream, facts.Size, port, options, facts, pass, tally);
    stream->Close();  // nothing to do about a failure to close a file only read
    port.PumpEvents();
    return restart;
}

}  // namespace ravlen
