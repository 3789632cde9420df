#pragma once

#include <cstdint>
#include <string>

namespace quorvel::engine {

// The most memory one conversion's file image may take, for the whole process.
inline constexpr std::uint64_t DefaultMemoryLimit = std::uint64_t{1} << 30;

// Sets the limit (at least one page of the image; smaller values are raised to it).
// Safe to call from any thread; conversions already running keep the limit they began with.
void SetMemoryLimit(std::uint64_t bytes) noexcept;

// The current limit.
std::uint64_t MemoryLimit() noexcept;

// The memory a conversion of an input of inputBytes takes at most in the usual case
// (the input, an output of about its size, and the image's rounding): what a batch
// reserves before it starts the file.
std::uint64_t ConversionMemoryEstimate(std::uint64_t inputBytes) noexcept;

// A size for people: "1 GiB", "512 MiB", "64 KiB", "1536 B"; whole units only, the
// largest unit that divides the size.
std::string MemorySizeText(std::uint64_t bytes);

}  // namespace quorvel::engine
