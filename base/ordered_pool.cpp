#include "base/ordered_pool.h"

#include <deque>
#include <thread>

namespace kelmora {

namespace {

class Workers {
public:
    void Run(std::size_t threads, std::function<void()> task) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            while (threads_.size() < threads) {
                threads_.emplace_back([this] { Work(); });
                threads_.back().detach(); // ended by the process's end
            }
            tasks_.push_back(std::move(task));
        }
        more_.notify_one();
    }

private:
    void Work() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                more_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable more_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
};

// Never destroyed: the workers live until the process ends, and no exit path
// waits for a thread (Windows ends them itself, after static destructors).
Workers& TheWorkers() {
    static Workers* workers = new Workers;
    return *workers;
}

} // namespace

std::size_t CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

void RunOnWorkers(std::size_t threads, std::function<void()> task) { TheWorkers().Run(threads, std::move(task)); }

} // namespace kelmora
