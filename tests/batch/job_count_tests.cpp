#include "quorvel/batch/job_count.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using quorvel::batch::ChooseJobs;
using quorvel::batch::ParallelMeanBytes;

struct JobsCase {
    const char* name;
    std::vector<std::uint64_t> sizes;
    unsigned cores;
    unsigned expected;
};

TEST(ChooseJobs, OnePerCoreOnlyForFilesThatAverageTheThresholdAndNoMoreThanTheFiles) {
    const std::uint64_t at = ParallelMeanBytes;
    const JobsCase cases[] = {
        {"no file", {}, 8, 1},
        {"one large file", {100 * at}, 8, 1},
        {"small files", std::vector<std::uint64_t>(2000, at / 4), 8, 1},
        {"just below the mean", {at - 1, at}, 8, 1},
        {"at the mean", {at, at}, 8, 2},
        {"a large file lifts small ones", {40 * at, at / 4, at / 4, at / 4}, 8, 4},
        {"more files than cores", std::vector<std::uint64_t>(16, 1000 * at), 2, 2},
        {"one core", std::vector<std::uint64_t>(16, 1000 * at), 1, 1},
        {"no core told", std::vector<std::uint64_t>(16, 1000 * at), 0, 1},
        {"sizes that would overflow a sum", {~std::uint64_t{0}, ~std::uint64_t{0}, 0}, 4, 3},
    };
    for (const JobsCase& c : cases) EXPECT_EQ(ChooseJobs(c.sizes, c.cores), c.expected) << c.name;
}

}  // namespace
