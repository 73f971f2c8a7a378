#pragma once
// A power cut, simulated. While recording, every change the file system is asked
// for in one folder is kept: creates, writes, truncates, syncs, renames, deletes
// and syncs of the folder. A crash after any prefix of them is then replayed as a
// disk may leave it:
//   - a file's writes and truncates since its last sync may each be lost, and a
//     write may be torn at 512-byte sectors (each sector of it kept or not);
//   - the names created, renamed or deleted since the folder's last sync are kept
//     in their order up to some point, and lost after it;
//   - what a sync made durable stays.
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/os_file.h"

namespace kelmora::testing {

using FolderFiles = std::map<std::string, std::vector<std::uint8_t>>; // file name -> bytes

// The regular files of a folder by name.
FolderFiles ReadFolder(const std::string& folder);
// Makes folder hold exactly files.
void WriteFolder(const std::string& folder, const FolderFiles& files);

class PowerLossRecorder {
public:
    // folder: with its trailing separator; what it holds now is the start.
    explicit PowerLossRecorder(const std::string& folder);
    ~PowerLossRecorder();
    void Start();
    void Stop();
    std::size_t Events() const { return events_.size(); }
    // How much a crash may lose.
    enum class Loss { None, Everything, Random };
    // The folder's files as a crash after the first `events` events leaves them.
    FolderFiles CrashAfter(std::size_t events, Loss loss, std::mt19937& random) const;

private:
    struct Event {
        FileEventKind Kind;
        std::string Name, To; // file names in the folder
        std::uint64_t Offset = 0, Size = 0;
        std::vector<std::uint8_t> Data;
    };
    std::string folder_;
    FolderFiles start_;
    std::vector<Event> events_;
    bool recording_ = false;
};

} // namespace kelmora::testing
