#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "metadata/read_view.h"
#include "metadata/reader_context.h"
#include "model/date_time.h"

namespace ravlen {

// Whether the first bytes of a file look like an MPEG transport stream of
// 188-byte packets, or of 192-byte packets with a 4-byte time code first
// (AVCHD .MTS/.M2TS). The reader confirms it on the following packets.
bool LooksLikeTransportStream(std::string_view first8);

// The recording time of an AVCHD camera: its clock's local time and, when the
// camera states it, that clock's offset from UTC.
struct MdpmRecording {
    DateTime local;
    std::optional<std::int32_t> utcOffsetMinutes;
};

// The date entries (0x18, 0x19) of the MDPM block that follows the "MDPM"
// mark of an H.264 user-data SEI message, emulation-prevention bytes still in
// it. Empty when the block holds no valid date or is cut off.
std::optional<MdpmRecording> ParseMdpm(std::string_view afterMark);

struct TransportScan {
    bool transport = false;  // the sync bytes repeat at a packet's length
    std::optional<MdpmRecording> recording;
};

// Entered with the first 8 bytes read (Position 8). Reads the first packets of
// the stream (at most 2 MiB) for the H.264 SEI user data that carries the MDPM
// block; stops at the first block with a date, or when the file's allowance
// of steps is spent.
TransportScan ScanTransportStream(ReadView& view, ReaderContext& ctx);

// The same for an AVCHD movie detected by its first bytes: a transport stream
// has valid movie metadata, and MovieDate, its source "MDPM" and its UTC
// offset when the block gives a date. A file that turns out not to be a
// transport stream is of unknown format, with that note.
void ReadAVCHDMetadata(ReadView& view, ReaderContext& ctx);

}  // namespace ravlen
