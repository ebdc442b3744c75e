#pragma once
// An unexpected failure while a file's metadata is read: it ends the reading of
// that file with the "Unable to extract metadata from ..." note. Thrown only
// inside the metadata readers and caught where the file is closed.

#include <stdexcept>
#include <string>

#include "model/file_system.h"

namespace ravlen {

struct MetadataFault : std::runtime_error {
    MetadataFault(int number, const std::string& description)
        : std::runtime_error(description), Number(number) {}
    int Number;
};

// Our own numbers for the faults the readers can meet.
enum MetadataFaultNumber : int {
    kFaultOverflow = 6,           // "Overflow": an offset or size beyond the signed 32-bit range
    kFaultOutOfMemory = 7,        // "Out of memory": a read beyond the buffer cap
    kFaultOutOfRange = 9,         // "Subscript out of range": a buffer position that does not exist
    kFaultReadError = 57,         // "Device I/O error" (the description is the system's text)
    kFaultPastEnd = 62,           // "Input past end of file"
    kFaultDateOutOfRange = 13,    // "Type mismatch": a date beyond the year 9999
};

// Throws the fault of that number with its usual description.
[[noreturn]] inline void ThrowFault(MetadataFaultNumber number) {
    switch (number) {
        case kFaultOverflow: throw MetadataFault(number, "Overflow");
        case kFaultOutOfMemory: throw MetadataFault(number, "Out of memory");
        case kFaultOutOfRange: throw MetadataFault(number, "Subscript out of range");
        case kFaultPastEnd: throw MetadataFault(number, "Input past end of file");
        case kFaultDateOutOfRange: throw MetadataFault(number, "Type mismatch");
        case kFaultReadError: break;
    }
    throw MetadataFault(kFaultReadError, "Device I/O error");
}

// The fault for a read or skip of the file that failed: the view's own limits
// keep their numbers, an end of file is "Input past end of file", anything
// else is a device error with the system's text.
inline MetadataFault FaultFromStatus(const FsStatus& status) {
    switch (status.fault) {
        case FsFault::OutOfMemory: return {kFaultOutOfMemory, status.error};
        case FsFault::Overflow: return {kFaultOverflow, status.error};
        case FsFault::PastEnd: return {kFaultPastEnd, "Input past end of file"};
        default: break;
    }
    return {kFaultReadError, status.error};
}

// A read or skip that must succeed.
inline void Require(const FsStatus& status) {
    if (!status) throw FaultFromStatus(status);
}

}  // namespace ravlen
