// libFuzzer target: the bytes are a file given to ConvertToType0 (the merge), once as
// bytes and once as a file converted in place.
#include <cstddef>
#include <cstdint>
#include <span>

#include "conversion_harness.hpp"
#include "output_check.hpp"
#include "quorvel/engine/conversions.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::fuzz::FuzzConversion(
        data, size, [](std::span<const std::uint8_t> input) { return quorvel::engine::ConvertToType0(input); },
        [](const auto& in, const auto& out, auto& ops) { return quorvel::engine::ConvertToType0(in, out, ops); }, 3,
        quorvel::fuzz::CheckType0Output);
    return 0;
}
