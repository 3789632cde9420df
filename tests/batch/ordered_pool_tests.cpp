// The worker pool of the batch runner: results come back in input order on the calling
// thread, whatever order the threads finish them in.

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "quorvel/batch/ordered_pool.hpp"

namespace quorvel::testing {
namespace {

struct Done {
    std::size_t index;
    std::thread::id thread;
};

TEST(OrderedPool, DeliversInInputOrderWhateverOrderTheThreadsFinishIn) {
    for (const unsigned threads : {1u, 2u, 4u, 16u}) {
        SCOPED_TRACE(threads);
        constexpr std::size_t count = 24;
        std::mutex mutex;
        std::vector<std::size_t> finishOrder;
        std::vector<std::size_t> delivered;
        std::set<std::thread::id> workers;
        std::size_t lastFinished = 0;
        bool finishedNeverFellBehind = true;
        const std::thread::id caller = std::this_thread::get_id();
        bool deliveredOnCaller = true;

        batch::RunInOrder<Done>(
            count, threads,
            [&](std::size_t i) {
                // Early items take longest, so that with several threads later ones finish first.
                std::this_thread::sleep_for(std::chrono::milliseconds(i % 4 == 0 ? 12 : 1));
                const std::lock_guard lock(mutex);
                finishOrder.push_back(i);
                return Done{i, std::this_thread::get_id()};
            },
            [&](std::vector<Done>&& ready, std::size_t finished) {
                deliveredOnCaller = deliveredOnCaller && std::this_thread::get_id() == caller;
                finishedNeverFellBehind = finishedNeverFellBehind && finished >= lastFinished &&
                                          finished >= delivered.size() + ready.size() && finished <= count;
                lastFinished = finished;
                for (const Done& d : ready) {
                    delivered.push_back(d.index);
                    workers.insert(d.thread);
                }
            });

        std::vector<std::size_t> inOrder(count);
        for (std::size_t i = 0; i < count; ++i) inOrder[i] = i;
        EXPECT_EQ(delivered, inOrder);
        EXPECT_EQ(finishOrder.size(), count) << "every item runs exactly once";
        EXPECT_TRUE(deliveredOnCaller);
        EXPECT_TRUE(finishedNeverFellBehind);
        if (threads > 1) {
            EXPECT_NE(finishOrder, inOrder) << "items did not overlap; the order check proved nothing";
            EXPECT_GT(workers.size(), 1u);
        }
    }
}

}  // namespace
}  // namespace quorvel::testing
