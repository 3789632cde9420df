#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::fuzz {

// The bytes of a whole file.
using Bytes = std::vector<std::uint8_t>;

}  // namespace quorvel::fuzz
