// libFuzzer target: the bytes are a file given to ConvertToType0 (the merge).
#include <cstddef>
#include <cstdint>

#include "conversion_harness.hpp"
#include "quorvel/engine/conversions.hpp"
#include "output_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quorvel::fuzz::FuzzConversion(
        data, size,
        [](const auto& in, const auto& out, auto& ops) { return quorvel::engine::ConvertToType0(in, out, ops); },
        3, quorvel::fuzz::CheckType0Output);
    return 0;
}
