#pragma once
// What every format reader shares: the file's facts, the one way to give up
// on a file's metadata, the notes, and the pass state of a restart.
//
// Adding a format family (one reader file pair in metadata/):
//  - Detection: one row in the detector table in metadata.cpp: the format's
//    name (InternalFormat), its validity flag in FileFacts, a detector that
//    looks at the file's first bytes (up to kDetectLength; fewer when the
//    file is shorter) and gives the byte order, and the reader's entry. The
//    first matching row decides, so put a narrow signature before a broad one.
//  - The reader is entered with the view at Position 8 and those 8 bytes in
//    its buffer (the rest of the detection read is served again from memory),
//    with its own flag set and every other format's flag cleared. All byte
//    access goes through the ReadView / ByteSpan checked accessors.
//  - Failure path: a structure that is missing or inconsistent calls
//    ctx.Invalid(flag, " contains an invalid ...") and returns; notes that do
//    not stop the reading go through ctx.Proceeding or ctx.Note. An
//    arithmetic fault, a failed read or a broken limit throws MetadataFault
//    (metadata_fault.h: ThrowFault, Require); the dispatcher turns it into the
//    "Unable to extract metadata" note and clears every flag.
//  - A TIFF block (Exif in HEIF, CR3, PNG, WebP, a JPEG's APP1 held in
//    memory) is handed to ReadTIFFBlock (jpeg_tiff_reader.h), which fills the
//    TIFF fields, TIFFMetadata and the three EXIF dates as for a TIFF file.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "metadata/metadata_pass.h"
#include "model/file_facts.h"
#include "model/message_kind.h"

namespace ravlen {

// How many of a file's first bytes the detectors see (fewer when the file is
// shorter, never fewer than 8).
inline constexpr std::int64_t kDetectLength = 16;

// What one file may make a reader do. Each reader bounds the bytes it reads
// and the structures it visits (ReadView::kDefaultMaxBuffer, the ISO media
// reader's kMaxBytesRead and kMaxBoxes, the chunk and segment counts of the
// PNG, WebP and RAF readers, kMaxCIFFFileSize). A loop whose count the file
// states either advances through the file's bytes with each turn or takes a
// step of this allowance (ReaderContext::Step): a HEIF Exif item's extents,
// RIFF chunks, CIFF records and MDPM blocks, whose entries may take no bytes
// or be looked at more than once. A file then costs milliseconds at most.
inline constexpr std::int64_t kMaxWorkSteps = 100'000;

// Where notes about a file go: the sink adds the message to the notes (one
// space after earlier ones) and shows it when errors are reported.
using ProblemSink = std::function<void(std::string& notes, const std::string& message, MsgIcon icon)>;

// The note, after the file's name, for a file of no format that is read.
inline constexpr const char* kUnknownFormatNote = " is not a valid JPEG, TIFF, or RIFF file.";

struct ReaderContext {
    FileFacts& facts;
    MetadataPass& pass;
    bool strict;  // metadata dates only: a file without usable metadata is skipped, with its reason
    ProblemSink report;

    std::int64_t workLeft = kMaxWorkSteps;

    // A turn of a loop that the file's counts drive, costing n steps; false
    // once the file's allowance is spent: the loop then ends as at its
    // structure's end.
    bool Step(std::int64_t n = 1) {
        if (workLeft < n) {
            workLeft = 0;
            return false;
        }
        workLeft -= n;
        return true;
    }

    // The one way a reader gives up: the format's flag `valid` becomes false
    // and, in the strict date mode, the reason follows the file's name in the
    // notes as a warning.
    void Invalid(bool& valid, std::string_view reason) const {
        valid = false;
        StrictNote(reason);
    }
    // The reason alone, when no format's flag is concerned (a file too small
    // to detect, one that cannot be opened).
    void StrictNote(std::string_view reason) const {
        if (strict) Note(facts.SourceFileName + std::string(reason), MsgIcon::Exclamation);
    }
    // Something odd that the reading passes over.
    void Proceeding(std::string_view what) const {
        Note("Proceeding with parsing of " + facts.SourceFileName + " even though it contains " + std::string(what),
             MsgIcon::Information);
    }
    void Note(const std::string& message, MsgIcon icon) const {
        if (report) report(facts.Notes, message, icon);
    }
};

}  // namespace ravlen
