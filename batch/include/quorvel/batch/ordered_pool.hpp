#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace quorvel::batch {

// Runs work(i) for every i from 0 to count - 1 on up to `threads` threads (on the
// calling thread alone when none can be started) and hands the results back on the
// calling thread in index order, whatever order they finish in: deliver(ready, finished)
// gets the results that have become next in line (possibly none) and how many items are
// finished so far, each time either changes. Returns once every result was delivered
// and every thread has ended. Neither work nor deliver may throw; work(i) runs on any
// of the threads.
template <class Result, class Work, class Deliver>
void RunInOrder(std::size_t count, unsigned threads, Work&& work, Deliver&& deliver) {
    if (threads <= 1 || count <= 1) {
        // One at a time: on the calling thread, each result delivered as it is made.
        for (std::size_t i = 0; i < count; ++i) {
            std::vector<Result> ready;
            ready.push_back(work(i));
            deliver(std::move(ready), i + 1);
        }
        return;
    }
    std::vector<std::optional<Result>> results(count);
    std::size_t finished = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            Result result = work(i);
            {
                const std::lock_guard lock(mutex);
                results[i] = std::move(result);
                ++finished;
            }
            changed.notify_all();
        }
    };

    const std::size_t threadCount = std::min<std::size_t>(std::max(threads, 1u), count);
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threadCount; ++t) {
        try {
            pool.emplace_back(worker);
        } catch (const std::system_error&) {
            break;  // run with the threads there are
        }
    }
    if (pool.empty()) worker();

    std::size_t delivered = 0;
    std::size_t shownFinished = static_cast<std::size_t>(-1);
    std::unique_lock lock(mutex);
    while (delivered < count) {
        changed.wait(lock, [&] { return results[delivered].has_value() || finished != shownFinished; });
        std::vector<Result> ready;
        while (delivered < count && results[delivered]) ready.push_back(std::move(*results[delivered++]));
        shownFinished = finished;
        lock.unlock();
        deliver(std::move(ready), shownFinished);
        lock.lock();
    }
    lock.unlock();
    for (std::thread& thread : pool) thread.join();
}

}  // namespace quorvel::batch
