#include "tests/support/power_loss.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kelmora::testing {

namespace fs = std::filesystem;

FolderFiles ReadFolder(const std::string& folder) {
    FolderFiles files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

void WriteFolder(const std::string& folder, const FolderFiles& files) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : files) {
        std::ofstream out(fs::path(folder) / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
}

PowerLossRecorder::PowerLossRecorder(const std::string& folder) : folder_(folder), start_(ReadFolder(folder)) {}

PowerLossRecorder::~PowerLossRecorder() { Stop(); }

void PowerLossRecorder::Start() {
    recording_ = true;
    SetFileEventRecorder([this](const FileEvent& e) {
        auto inFolder = [&](const std::string& path, std::string& name) {
            if (path.compare(0, folder_.size(), folder_) != 0)
                return false;
            name = path.substr(folder_.size());
            return name.find('/') == std::string::npos;
        };
        Event ev{e.Kind, "", "", e.Offset, e.Size, {}};
        if (e.Kind == FileEventKind::SyncDirectory) {
            if (e.Path != folder_)
                return;
        } else if (!inFolder(e.Path, ev.Name) || (e.Kind == FileEventKind::Rename && !inFolder(e.To, ev.To))) {
            return;
        }
        if (e.Kind == FileEventKind::Write)
            ev.Data.assign(e.Data, e.Data + e.Size);
        events_.push_back(std::move(ev));
    });
}

void PowerLossRecorder::Stop() {
    if (recording_)
        SetFileEventRecorder(nullptr);
    recording_ = false;
}

namespace {

constexpr std::uint64_t kDiskSector = 512;

struct Change {
    bool Write = true;
    std::uint64_t Offset = 0, Size = 0;
    const std::vector<std::uint8_t>* Data = nullptr;
};

struct Inode {
    std::vector<std::uint8_t> Durable;
    std::vector<Change> Pending;
};

void Apply(std::vector<std::uint8_t>& bytes, const Change& c, std::uint64_t from, std::uint64_t to) {
    if (!c.Write) {
        bytes.resize(static_cast<std::size_t>(c.Size), 0);
        return;
    }
    if (bytes.size() < to)
        bytes.resize(static_cast<std::size_t>(to), 0);
    std::copy(c.Data->begin() + static_cast<std::ptrdiff_t>(from - c.Offset),
              c.Data->begin() + static_cast<std::ptrdiff_t>(to - c.Offset), bytes.begin() + static_cast<std::ptrdiff_t>(from));
}

void ApplyWhole(std::vector<std::uint8_t>& bytes, const Change& c) { Apply(bytes, c, c.Offset, c.Offset + c.Size); }

struct NameChange {
    FileEventKind Kind;
    std::string Name, To;
    std::size_t Inode = 0;
};

void ApplyName(std::map<std::string, std::size_t>& names, const NameChange& n) {
    if (n.Kind == FileEventKind::Create) {
        names[n.Name] = n.Inode;
    } else if (n.Kind == FileEventKind::Rename) {
        auto it = names.find(n.Name);
        if (it == names.end())
            return;
        const std::size_t inode = it->second;
        names.erase(it);
        names[n.To] = inode;
    } else {
        names.erase(n.Name);
    }
}

} // namespace

FolderFiles PowerLossRecorder::CrashAfter(std::size_t count, Loss loss, std::mt19937& random) const {
    std::vector<Inode> inodes;
    std::map<std::string, std::size_t> durable, names;
    for (const auto& [name, bytes] : start_) {
        durable[name] = names[name] = inodes.size();
        inodes.push_back({bytes, {}});
    }
    std::vector<NameChange> pendingNames;
    for (std::size_t i = 0; i < count && i < events_.size(); ++i) {
        const Event& e = events_[i];
        auto it = names.find(e.Name);
        switch (e.Kind) {
        case FileEventKind::Create:
            names[e.Name] = inodes.size();
            pendingNames.push_back({e.Kind, e.Name, "", inodes.size()});
            inodes.push_back({});
            break;
        case FileEventKind::Write:
            if (it != names.end())
                inodes[it->second].Pending.push_back({true, e.Offset, e.Size, &e.Data});
            break;
        case FileEventKind::Truncate:
            if (it != names.end())
                inodes[it->second].Pending.push_back({false, 0, e.Size, nullptr});
            break;
        case FileEventKind::Sync:
            if (it != names.end()) {
                Inode& n = inodes[it->second];
                for (const Change& c : n.Pending)
                    ApplyWhole(n.Durable, c);
                n.Pending.clear();
            }
            break;
        case FileEventKind::Rename:
        case FileEventKind::Remove:
            pendingNames.push_back({e.Kind, e.Name, e.To, 0});
            ApplyName(names, pendingNames.back());
            break;
        case FileEventKind::SyncDirectory:
            for (const NameChange& n : pendingNames)
                ApplyName(durable, n);
            pendingNames.clear();
            break;
        }
    }
    auto coin = [&](int inN) { return std::uniform_int_distribution<int>(0, inN - 1)(random) == 0; };
    std::size_t keptNames = pendingNames.size();
    if (loss == Loss::Everything)
        keptNames = 0;
    else if (loss == Loss::Random)
        keptNames = std::uniform_int_distribution<std::size_t>(0, pendingNames.size())(random);
    for (std::size_t i = 0; i < keptNames; ++i)
        ApplyName(durable, pendingNames[i]);

    FolderFiles out;
    for (const auto& [name, inode] : durable) {
        std::vector<std::uint8_t> bytes = inodes[inode].Durable;
        for (const Change& c : inodes[inode].Pending) {
            if (loss == Loss::None) {
                ApplyWhole(bytes, c);
            } else if (loss == Loss::Random && !coin(3)) {
                if (!c.Write || !coin(2)) {
                    ApplyWhole(bytes, c);
                    continue;
                }
                // Torn: each sector of the write reached the disk or did not.
                for (std::uint64_t at = c.Offset; at < c.Offset + c.Size;) {
                    const std::uint64_t end = std::min(c.Offset + c.Size, (at / kDiskSector + 1) * kDiskSector);
                    if (coin(2))
                        Apply(bytes, c, at, end);
                    at = end;
                }
            }
        }
        out[name] = std::move(bytes);
    }
    return out;
}

} // namespace kelmora::testing
