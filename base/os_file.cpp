#include "base/os_file.h"

#include <atomic>
#include <mutex>

namespace kelmora {

namespace {

struct TestHooks {
    std::mutex Lock;
    FileEventRecorder Recorder;
    std::string FailingReads;
    // Whether either is set: ordinary runs skip the lock.
    std::atomic<bool> Recording{false}, Failing{false};
};

TestHooks& Hooks() {
    static TestHooks hooks;
    return hooks;
}

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

} // namespace

void SetFileEventRecorder(FileEventRecorder recorder) {
    std::lock_guard<std::mutex> hold(Hooks().Lock);
    Hooks().Recording = static_cast<bool>(recorder);
    Hooks().Recorder = std::move(recorder);
}

void RecordFileEvent(const FileEvent& event) {
    TestHooks& h = Hooks();
    if (!h.Recording)
        return;
    std::lock_guard<std::mutex> hold(h.Lock);
    if (h.Recorder)
        h.Recorder(event);
}

void SetFailingReads(const std::string& pathSuffix) {
    std::lock_guard<std::mutex> hold(Hooks().Lock);
    Hooks().Failing = !pathSuffix.empty();
    Hooks().FailingReads = pathSuffix;
}

bool ReadFailsFor(const std::string& path) {
    TestHooks& h = Hooks();
    if (!h.Failing)
        return false;
    std::lock_guard<std::mutex> hold(h.Lock);
    return !h.FailingReads.empty() && EndsWith(path, h.FailingReads);
}

std::string FolderOfPath(const std::string& path) {
    std::size_t i = path.size();
    while (i > 0 && !IsPathSeparator(path[i - 1]))
        --i;
    return path.substr(0, i);
}

} // namespace kelmora
