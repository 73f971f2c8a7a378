#pragma once
// Work done ahead on several threads and taken in order: item k is prepared by
// any worker, at most `window` items ahead of the one taken last, and handed to
// the caller in the order 0, 1, 2, ... Whatever the number of workers, the
// caller sees the same items in the same order, so a run's files and lines do
// not depend on it. With one job every item is prepared when it is taken.
//
// The workers are the process's: threads started once and kept, so that what a
// worker keeps for itself (a compressor, its buffers) serves every run of a batch.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace kelmora {

// The cores this machine has, at least 1.
std::size_t CoreCount();

// Runs tasks on at least `threads` threads of the process, started on first use
// and ended when the program ends.
void RunOnWorkers(std::size_t threads, std::function<void()> task);

template <typename T>
class OrderedPool {
public:
    // prepare must not throw: it carries its failures in the item.
    OrderedPool(std::size_t count, std::size_t jobs, std::function<T(std::size_t)> prepare)
        : prepare_(std::move(prepare)), jobs_(jobs), window_(2 * jobs), count_(count) {
        if (jobs_ <= 1)
            return;
        slots_.resize(count);
        std::lock_guard<std::mutex> lock(mutex_);
        Schedule();
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;
    // Items being prepared are finished; the rest are not started.
    ~OrderedPool() {
        std::unique_lock<std::mutex> lock(mutex_);
        stop_ = true;
        changed_.wait(lock, [&] { return running_ == 0; });
    }

    // Item k, in order: k is the item after the one taken last.
    T Take(std::size_t k) {
        if (jobs_ <= 1)
            return prepare_(k);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slots_[k].has_value(); });
        T item = std::move(*slots_[k]);
        slots_[k].reset();
        taken_ = k + 1;
        Schedule();
        return item;
    }

private:
    // Starts workers while there is room ahead; the mutex is held.
    void Schedule() {
        while (!stop_ && running_ < jobs_ && next_ < count_ && next_ < taken_ + window_) {
            ++running_;
            RunOnWorkers(jobs_, [this] { Pump(); });
        }
    }
    // Prepares items until none is left within the window.
    void Pump() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_ && next_ < count_ && next_ < taken_ + window_) {
            const std::size_t k = next_++;
            lock.unlock();
            T item = prepare_(k);
            lock.lock();
            slots_[k] = std::move(item);
            changed_.notify_all();
        }
        --running_;
        changed_.notify_all();
    }

    std::function<T(std::size_t)> prepare_;
    std::size_t jobs_, window_, count_;
    std::vector<std::optional<T>> slots_;
    std::size_t next_ = 0, taken_ = 0, running_ = 0;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
};

} // namespace kelmora
