#pragma once
// The one way Kelmora writes a file. The bytes go to a new temporary file beside
// the target, which replaces the target only once all of it is written and
// closed: a failure or a kill leaves the old file exactly as it was, and a link
// under the target's name is replaced, never written through.
#include <cstddef>
#include <string>

#include "base/os_file.h"

namespace kelmora {

class AtomicOutput {
public:
    // Throws KelmoraError "Cannot create file \"PATH\". reason", and ReadOnly for
    // a file there that may not be written.
    explicit AtomicOutput(const std::string& path);
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;
    // Removes the temporary unless Commit succeeded.
    ~AtomicOutput();

    // Throws KelmoraError "Stream write error: \"PATH\". reason".
    void Write(const void* data, std::size_t n);
    // Closes the temporary and puts it in place. A failed close is a write error.
    // durable: the bytes reach the disk before the name does, and the name the
    // disk before this returns, for files whose loss after a power cut would cost
    // more than the time (dictionaries and archives).
    void Commit(bool durable = false);

    const std::string& Path() const { return path_; }

private:
    // Closes and removes the temporary after a failure.
    void Discard();

    std::string path_;      // the target
    std::string temporary_;
    OsFile file_;
    bool committed_ = false;
};

// Temporaries are hidden files named ".kelmora-PID-N.tmp": nothing takes them
// for outputs. This removes those in dir whose process no longer runs.
void RemoveStaleTemporaries(const std::string& dir);
// The same in the folder that holds file.
void RemoveStaleTemporariesBeside(const std::string& file);
bool IsTemporaryName(const std::string& fileName);

} // namespace kelmora
