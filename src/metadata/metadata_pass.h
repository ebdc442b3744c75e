#pragma once
// What a reader asks of the folder walk when it is done with a file, and the
// per-file state that carries over when the walk begins the file again.

#include <cstdint>
#include <memory>
#include <string>

#include "model/file_facts.h"
#include "model/file_system.h"

namespace ravlen {

enum class MetadataOutcome {
    Done,     // the file's metadata is read (or known to be unusable)
    Restart,  // begin the file again: it holds something the forward read passed over
};

// Per-file reading state that survives a restart of the same file.
struct MetadataPass {
    MetadataPass() = default;
    MetadataPass(const MetadataPass&) = delete;
    MetadataPass& operator=(const MetadataPass&) = delete;
    ~MetadataPass() {
        if (OpenStream) OpenStream->Close();
    }

    bool SkippingAllowed = true;  // false after a restart: every skip becomes a read
    // The camera's names are read wherever they lie, at the cost of further
    // reads (a serial number after a long maker note); otherwise only from the
    // bytes already taken from the file. Wanted when camera offsets are kept.
    bool CameraTextsAnywhere = false;
    // A stretch found only after it was passed (a HEIF Exif item stored
    // before its meta box): the ISO media reader's restart reads just that.
    std::int64_t RevisitOffset = -1;
    std::int64_t RevisitLength = 0;
    // That HEIF's XMP item, for a restart whose Exif item gives no date: its
    // place in the file, or its bytes when the meta box held them.
    std::int64_t RevisitXmpOffset = -1;
    std::int64_t RevisitXmpLength = 0;
    std::string RevisitXmp;
    // A GoPro movie's first GPMF sample (its GPS time), found in the movie
    // box only after the media data it lies in was passed over: the restart
    // reads just that, into the facts the first pass gave.
    std::int64_t GpmfOffset = -1;
    std::int64_t GpmfLength = 0;
    std::unique_ptr<FileFacts> KeptFacts;

    // When the first pass skipped nothing, the restart costs nothing twice:
    // the bytes it read (the file's first KeptBytes.size() bytes) are read
    // again from here, and the file stays open, positioned just after them.
    std::string KeptBytes;
    std::unique_ptr<ReadStream> OpenStream;
};

}  // namespace ravlen
