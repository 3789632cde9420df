#pragma once

#include <cstdint>
#include <span>

namespace quorvel::batch {

// RunOptions::jobs for "choose from the work": the number every front end starts with.
inline constexpr unsigned AutoJobs = 0;

// The smallest mean input size at which a batch converts on every core. Below it a
// file's time goes to the file system (opening, creating and naming files, which two
// threads in one folder take in turn) rather than to converting: a second worker wins
// nothing there and only takes a second core.
inline constexpr std::uint64_t ParallelMeanBytes = std::uint64_t{8} << 10;

// The conversions a batch of files with these input sizes runs at once when not told:
// one per core (cores, at least 1) when the files are ParallelMeanBytes or more on
// average, and no more than there are files; otherwise one.
unsigned ChooseJobs(std::span<const std::uint64_t> inputSizes, unsigned cores) noexcept;

// The number of cores of this machine (1 when it cannot be told).
unsigned CoreCount() noexcept;

}  // namespace quorvel::batch
