#pragma once
#include <string>

#include "model/file_facts.h"

namespace ravlen {

// Where the engine hands each file's finished record in a processing pass
// (the text and CSV logs). FinishTime is already set.
class FileRecordSink {
public:
    virtual ~FileRecordSink() = default;
    virtual void WriteFileRecord(const FileFacts& facts) = 0;
    // A record could not be written: the pass stops after the current file.
    virtual bool Failed() const { return false; }
    // Whether the file at path is one of the records being written, which a
    // pass over its own output folder must leave alone.
    virtual bool Holds(const FsItem& file) const {
        (void)file;
        return false;
    }
};

}  // namespace ravlen
