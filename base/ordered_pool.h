#pragma once
// Work done ahead on several threads and taken in order: item k is prepared by
// any worker, at most `window` items ahead of the one taken last, and handed to
// the caller in the order 0, 1, 2, ... Whatever the number of workers, the
// caller sees the same items in the same order, so a run's files and lines do
// not depend on it. With one job every item is prepared when it is taken.
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace kelmora {

// The cores this machine has, at least 1.
std::size_t CoreCount();

template <typename T>
class OrderedPool {
public:
    OrderedPool(std::size_t count, std::size_t jobs, std::function<T(std::size_t)> prepare)
        : prepare_(std::move(prepare)), slots_(jobs > 1 ? count : 0), window_(2 * jobs) {
        if (jobs <= 1)
            return;
        for (std::size_t i = 0; i < jobs && i < count; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;
    // Items being prepared are finished; the rest are not started.
    ~OrderedPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        more_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    // Item k, in order: k is the item after the one taken last.
    T Take(std::size_t k) {
        if (workers_.empty())
            return prepare_(k);
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return slots_[k].has_value(); });
        T item = std::move(*slots_[k]);
        slots_[k].reset();
        taken_ = k + 1;
        lock.unlock();
        more_.notify_all();
        return item;
    }

private:
    void Work() {
        for (;;) {
            std::size_t k;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                more_.wait(lock, [&] { return stop_ || next_ >= slots_.size() || next_ < taken_ + window_; });
                if (stop_ || next_ >= slots_.size())
                    return;
                k = next_++;
            }
            T item = prepare_(k);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slots_[k] = std::move(item);
            }
            ready_.notify_all();
        }
    }

    std::function<T(std::size_t)> prepare_;
    std::vector<std::optional<T>> slots_;
    std::size_t window_, next_ = 0, taken_ = 0;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable more_, ready_;
    std::vector<std::thread> workers_;
};

} // namespace kelmora
