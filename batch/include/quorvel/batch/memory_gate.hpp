#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace quorvel::batch {

// Admits the files of a batch to the worker threads by the memory their conversions
// take, in input order: a file starts only once every file before it has started and
// the files in flight, it included, stay within the limit; a file that needs more than
// half of the limit runs alone. A file always starts when nothing else runs (the engine
// then refuses it if it really passes the limit). Safe to share between threads.
class MemoryGate {
public:
    explicit MemoryGate(std::uint64_t limit) noexcept : limit_(limit) {}

    // Waits until file `index` (each index from 0 up, once) may start with `bytes`.
    void Enter(std::size_t index, std::uint64_t bytes) {
        std::unique_lock lock(mutex_);
        const bool alone = bytes > limit_ / 2;
        changed_.wait(lock, [&] {
            if (index != turn_) return false;
            if (running_ == 0) return true;
            return !alone && !aloneRunning_ && inFlight_ + bytes <= limit_;
        });
        ++turn_;
        ++running_;
        inFlight_ += bytes;
        aloneRunning_ = aloneRunning_ || alone;
        lock.unlock();
        changed_.notify_all();
    }

    // Ends the file that Enter admitted with `bytes`.
    void Leave(std::uint64_t bytes) {
        {
            const std::lock_guard lock(mutex_);
            --running_;
            inFlight_ -= bytes;
            if (bytes > limit_ / 2) aloneRunning_ = false;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    const std::uint64_t limit_;
    std::size_t turn_ = 0;
    std::size_t running_ = 0;
    std::uint64_t inFlight_ = 0;
    bool aloneRunning_ = false;
};

}  // namespace quorvel::batch
