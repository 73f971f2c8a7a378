#include "viewer/thumbnails.h"

#include <QMetaObject>
#include <algorithm>

#include "dictionary/colour_rules.h"
#include "dictionary/dictionary.h"

using namespace kelmora;

TThumbnailWorker::TThumbnailWorker(QObject* receiver,
                                   std::function<void(std::uint64_t, int, const QImage&)> done)
    : receiver_(receiver), done_(std::move(done)), thread_([this] { Run(); }) {}

TThumbnailWorker::~TThumbnailWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void TThumbnailWorker::Request(std::uint64_t generation, std::shared_ptr<const ByteSource> source, std::deque<Job> jobs,
                               bool unswizzle) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        generation_ = generation;
        source_ = std::move(source);
        jobs_ = std::move(jobs);
        unswizzle_ = unswizzle;
    }
    wake_.notify_all();
}

void TThumbnailWorker::Deliver() {
    std::deque<Result> ready;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ready.swap(results_);
    }
    for (const Result& r : ready)
        done_(r.Generation, r.Entry, r.Image);
}

void TThumbnailWorker::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.clear();
}

bool TThumbnailWorker::Idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.empty() && !busy_;
}

QImage TThumbnailWorker::Make(const ByteSource& source, const TTexEntry& texture, bool unswizzle) {
    const DecodedTexture t = DecodeTexture(source, texture, {unswizzle, 0});
    if (!t.Ok() || t.State.TexWidth == 0 || t.State.TexHeight == 0)
        return {};
    const DecodeState& s = t.State;
    QImage full(static_cast<int>(s.TexWidth), static_cast<int>(s.TexHeight), QImage::Format_ARGB32);
    if (full.isNull())
        return {};
    for (std::uint32_t y = 0; y < s.TexHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(full.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < s.TexWidth; ++x) {
            const PaletteEntry e = s.Colour(x, y);
            line[x] = qRgba(e.R, e.G, e.B, s.Brightens(true) ? BrightenAlpha(e.A) : e.A);
        }
    }
    if (full.width() <= kSize && full.height() <= kSize)
        return full;
    // Each thumbnail pixel the average of the texels it covers. Done here rather
    // than by QImage::scaled, which may hand the work to threads of its own.
    const double scale = double(kSize) / std::max(full.width(), full.height());
    const int w = std::max(1, int(full.width() * scale)), h = std::max(1, int(full.height() * scale));
    QImage small(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        const int y0 = y * full.height() / h, y1 = std::max(y0 + 1, (y + 1) * full.height() / h);
        auto* out = reinterpret_cast<QRgb*>(small.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int x0 = x * full.width() / w, x1 = std::max(x0 + 1, (x + 1) * full.width() / w);
            unsigned sum[4] = {0, 0, 0, 0}, n = 0;
            for (int sy = y0; sy < y1; ++sy) {
                const auto* in = reinterpret_cast<const QRgb*>(full.constScanLine(sy));
                for (int sx = x0; sx < x1; ++sx, ++n)
                    sum[0] += qRed(in[sx]), sum[1] += qGreen(in[sx]), sum[2] += qBlue(in[sx]), sum[3] += qAlpha(in[sx]);
            }
            out[x] = qRgba(int(sum[0] / n), int(sum[1] / n), int(sum[2] / n), int(sum[3] / n));
        }
    }
    return small;
}

void TThumbnailWorker::Run() {
    for (;;) {
        Job job;
        std::shared_ptr<const ByteSource> source;
        std::uint64_t generation = 0;
        bool unswizzle = true;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            busy_ = false;
            wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (stop_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
            source = source_;
            generation = generation_;
            unswizzle = unswizzle_;
            busy_ = true;
        }
        QImage image;
        try {
            image = Make(*source, job.Texture, unswizzle);
        } catch (const std::exception&) {
            // A file that went away or memory that ran out: no thumbnail.
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            results_.push_back({generation, job.Entry, std::move(image)});
        }
        // The receiver's thread takes it from there; nothing runs if the receiver is gone.
        QMetaObject::invokeMethod(receiver_, [this] { Deliver(); }, Qt::QueuedConnection);
    }
}
