#pragma once
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
};

}  // namespace ravlen
