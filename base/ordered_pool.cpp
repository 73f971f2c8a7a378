#include "base/ordered_pool.h"

#include <deque>
#include <thread>

namespace kelmora {

namespace {

class Workers {
public:
    ~Workers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        more_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }
    void Run(std::size_t threads, std::function<void()> task) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            while (threads_.size() < threads)
                threads_.emplace_back([this] { Work(); });
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
                more_.wait(lock, [&] { return stop_ || !tasks_.empty(); });
                if (tasks_.empty())
                    return;
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
    bool stop_ = false;
};

Workers& TheWorkers() {
    static Workers workers;
    return workers;
}

} // namespace

std::size_t CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

void RunOnWorkers(std::size_t threads, std::function<void()> task) { TheWorkers().Run(threads, std::move(task)); }

} // namespace kelmora
