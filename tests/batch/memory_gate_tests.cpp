// The admission of files to the worker threads by memory, in input order.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "quorvel/batch/memory_gate.hpp"

namespace quorvel::testing {
namespace {

using namespace std::chrono_literals;
using batch::MemoryGate;

// Whether file `index` is let in within a short while; the future is kept either way,
// so that a file still waiting is let in (and waited for) later.
bool EntersSoon(MemoryGate& gate, std::size_t index, std::uint64_t bytes, std::future<void>& entered) {
    entered = std::async(std::launch::async, [&gate, index, bytes] { gate.Enter(index, bytes); });
    return entered.wait_for(100ms) == std::future_status::ready;
}

TEST(MemoryGate, FilesShareTheLimitAndAFileOfMoreThanHalfRunsAlone) {
    MemoryGate gate(100);
    std::future<void> entered;
    // 40 and 50 fit together; 20 more would pass the limit and waits for a file to end.
    ASSERT_TRUE(EntersSoon(gate, 0, 40, entered));
    ASSERT_TRUE(EntersSoon(gate, 1, 50, entered));
    EXPECT_FALSE(EntersSoon(gate, 2, 20, entered));
    gate.Leave(40);
    EXPECT_EQ(entered.wait_for(5s), std::future_status::ready);
    // 60 is more than half: it waits until nothing runs, then runs alone.
    EXPECT_FALSE(EntersSoon(gate, 3, 60, entered));
    gate.Leave(50);
    EXPECT_EQ(entered.wait_for(100ms), std::future_status::timeout) << "entered beside a running file";
    gate.Leave(20);
    EXPECT_EQ(entered.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(EntersSoon(gate, 4, 1, entered)) << "a small file entered beside the one running alone";
    gate.Leave(60);
    EXPECT_EQ(entered.wait_for(5s), std::future_status::ready);
    gate.Leave(1);
    // More than the whole limit still starts when nothing else runs.
    EXPECT_TRUE(EntersSoon(gate, 5, 500, entered));
    gate.Leave(500);
}

TEST(MemoryGate, FilesEnterInInputOrder) {
    MemoryGate gate(100);
    std::future<void> second;
    // File 1 asks first but waits for file 0, though memory would allow it.
    EXPECT_FALSE(EntersSoon(gate, 1, 10, second));
    std::future<void> first;
    EXPECT_TRUE(EntersSoon(gate, 0, 10, first));
    EXPECT_EQ(second.wait_for(5s), std::future_status::ready);
    gate.Leave(10);
    gate.Leave(10);
}

}  // namespace
}  // namespace quorvel::testing
