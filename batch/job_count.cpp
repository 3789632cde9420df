#include "quorvel/batch/job_count.hpp"

#include <algorithm>
#include <thread>

namespace quorvel::batch {

unsigned ChooseJobs(std::span<const std::uint64_t> inputSizes, unsigned cores) noexcept {
    const std::size_t files = inputSizes.size();
    if (files < 2 || cores < 2) return 1;
    std::uint64_t total = 0;
    for (const std::uint64_t size : inputSizes) total += std::min<std::uint64_t>(size, ~std::uint64_t{0} - total);
    if (total / files < ParallelMeanBytes) return 1;
    return static_cast<unsigned>(std::min<std::size_t>(cores, files));
}

unsigned CoreCount() noexcept {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace quorvel::batch
