#pragma once
// Thumbnails of a dictionary's textures, decoded on a worker thread so that the
// window stays responsive, and handed to the user-interface thread one by one.
#include <QImage>
#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/byte_source.h"
#include "dictionary/tex_entry.h"

class TThumbnailWorker {
public:
    static constexpr int kSize = 64;
    // done runs on the receiver's thread for every thumbnail made.
    TThumbnailWorker(QObject* receiver, std::function<void(std::uint64_t generation, int entry, const QImage&)> done);
    ~TThumbnailWorker();
    TThumbnailWorker(const TThumbnailWorker&) = delete;
    TThumbnailWorker& operator=(const TThumbnailWorker&) = delete;

    struct Job {
        int Entry;
        kelmora::TTexEntry Texture;
    };
    // Replaces what is waiting: these textures of the source, in this order.
    void Request(std::uint64_t generation, std::shared_ptr<const kelmora::ByteSource> source, std::deque<Job> jobs,
                 bool unswizzle);
    // Drops what is waiting; a thumbnail being made is still delivered.
    void Cancel();
    // Whether nothing waits and nothing is being made.
    bool Idle() const;

    // The thumbnail of one texture: level 0 with its alpha, area-averaged to fit.
    static QImage Make(const kelmora::ByteSource& source, const kelmora::TTexEntry& texture, bool unswizzle);

private:
    void Run();

    QObject* receiver_;
    std::function<void(std::uint64_t, int, const QImage&)> done_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    // Made thumbnails wait here until the receiver's thread takes them: the
    // hand-over goes through this lock, not through the event queue.
    struct Result {
        std::uint64_t Generation;
        int Entry;
        QImage Image;
    };
    std::deque<Result> results_;
    void Deliver();
    std::shared_ptr<const kelmora::ByteSource> source_;
    std::uint64_t generation_ = 0;
    bool unswizzle_ = true;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};
