#pragma once
#include "model/file_facts.h"

namespace ravlen {

// Where the engine hands each file's finished record in a processing pass
// (the text and CSV logs). FinishTime is already set.
class FileRecordSink {
public:
    virtual ~FileRecordSink() = default;
    virtual void WriteFileRecord(const FileFacts& facts) = 0;
};

}  // namespace ravlen
