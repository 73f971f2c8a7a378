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
#include <memory>
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
        : state_(std::make_shared<State>()) {
        State& s = *state_;
        s.Prepare = std::move(prepare);
        s.Jobs = jobs;
        s.Window = 4 * jobs;
        s.Count = count;
        if (jobs <= 1)
            return;
        s.Slots.resize(count);
        std::lock_guard<std::mutex> lock(s.Mutex);
        Schedule(state_);
    }
    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;
    // Items being prepared are finished; the rest are not started. What the
    // workers touch after that (the lock) lives on with their last task.
    ~OrderedPool() {
        State& s = *state_;
        std::unique_lock<std::mutex> lock(s.Mutex);
        s.Stop = true;
        s.Changed.wait(lock, [&] { return s.Running == 0; });
    }

    // Item k, in order: k is the item after the one taken last.
    T Take(std::size_t k) {
        State& s = *state_;
        if (s.Jobs <= 1)
            return s.Prepare(k);
        std::unique_lock<std::mutex> lock(s.Mutex);
        s.Changed.wait(lock, [&] { return s.Slots[k].has_value(); });
        T item = std::move(*s.Slots[k]);
        s.Slots[k].reset();
        s.Taken = k + 1;
        Schedule(state_);
        return item;
    }

private:
    struct State {
        std::function<T(std::size_t)> Prepare;
        std::size_t Jobs = 1, Window = 2, Count = 0;
        std::vector<std::optional<T>> Slots;
        std::size_t Next = 0, Taken = 0, Running = 0;
        bool Stop = false;
        std::mutex Mutex;
        std::condition_variable Changed;
    };

    // Starts workers while there is room ahead; the mutex is held.
    static void Schedule(const std::shared_ptr<State>& shared) {
        State& s = *shared;
        while (!s.Stop && s.Running < s.Jobs && s.Next < s.Count && s.Next < s.Taken + s.Window) {
            ++s.Running;
            RunOnWorkers(s.Jobs, [shared] { Pump(*shared); });
        }
    }
    // Prepares items until none is left within the window.
    static void Pump(State& s) {
        std::unique_lock<std::mutex> lock(s.Mutex);
        while (!s.Stop && s.Next < s.Count && s.Next < s.Taken + s.Window) {
            const std::size_t k = s.Next++;
            lock.unlock();
            T item = s.Prepare(k);
            lock.lock();
            s.Slots[k] = std::move(item);
            s.Changed.notify_all();
        }
        --s.Running;
        s.Changed.notify_all();
    }

    std::shared_ptr<State> state_;
};

} // namespace kelmora
