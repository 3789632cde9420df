#include "quorvel/engine/memory_limit.hpp"

#include <atomic>

#include "quorvel/engine/errors.hpp"
#include "file_image.hpp"

namespace quorvel::engine {
namespace {

std::atomic<std::uint64_t> memoryLimit{DefaultMemoryLimit};

}  // namespace

void SetMemoryLimit(std::uint64_t bytes) noexcept {
    memoryLimit.store(std::max<std::uint64_t>(bytes, FileImage::PageSize), std::memory_order_relaxed);
}

std::uint64_t MemoryLimit() noexcept { return memoryLimit.load(std::memory_order_relaxed); }

std::uint64_t ConversionMemoryEstimate(std::uint64_t inputBytes) noexcept {
    // The input and the read that finds its end, an output of about the input's size
    // (the split adds track headers and status bytes), each rounded to whole pages.
    constexpr std::uint64_t page = FileImage::PageSize;
    const std::uint64_t input = (inputBytes + page) / page * page;
    return input + input + 4 * page;
}

std::string MemorySizeText(std::uint64_t bytes) {
    static constexpr const char* Units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (unit < 4 && bytes != 0 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + Units[unit];
}

FileTooLarge::FileTooLarge(std::uint64_t memoryLimit)
    : FileTooLarge(Why{"over the memory limit of " + MemorySizeText(memoryLimit)}) {}

FileTooLarge FileTooLarge::TrackTooLong() { return FileTooLarge(Why{"a track of 4 GiB or more cannot be written"}); }

}  // namespace quorvel::engine
