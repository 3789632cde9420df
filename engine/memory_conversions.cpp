// The conversions on bytes: the file forms run over a MemoryFileOps holding the input.
#include <new>

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/memory_file_ops.hpp"

namespace quorvel::engine {
namespace {

using ConvertFile = int (*)(const std::filesystem::path&, const std::filesystem::path&, FileOps&);

ConversionResult ConvertInMemory(std::span<const std::uint8_t> input, ConvertFile convert) {
    static const std::filesystem::path inName = "in.mid";
    static const std::filesystem::path outName = "out.mid";
    MemoryFileOps ops;
    try {
        ops.Put(inName, MemoryFileOps::Bytes(input.begin(), input.end()));
    } catch (const std::bad_alloc&) {
        throw OutOfMemory();
    }
    ConversionResult result;
    result.code = convert(inName, outName, ops);
    if (result.code == 0) {
        if (auto output = ops.Take(outName)) result.output = std::move(*output);
    }
    return result;
}

}  // namespace

ConversionResult ConvertToType0(std::span<const std::uint8_t> input) {
    return ConvertInMemory(input, static_cast<ConvertFile>(&ConvertToType0));
}

ConversionResult ConvertToType1(std::span<const std::uint8_t> input) {
    return ConvertInMemory(input, static_cast<ConvertFile>(&ConvertToType1));
}

}  // namespace quorvel::engine
