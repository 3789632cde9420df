#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "quorvel/engine/file_ops.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {

// One of the two conversions, with inputs it converts: a small one and one whose output
// fills more than one page of the file image (so that it is written in several calls).
struct ConversionKind {
    const char* name;
    int (*convert)(const std::filesystem::path&, const std::filesystem::path&, engine::FileOps&);
    Bytes smallInput;
    Bytes largeInput;
    // The bytes the conversion makes of each input, from its entry on bytes.
    Bytes smallOutput;
    Bytes largeOutput;
    // An input the conversion refuses with a result code other than 0 and 1.
    Bytes refusedInput;
    int refusedCode;
};

// The merge (ConvertToType0) and the split (ConvertToType1).
const std::vector<ConversionKind>& ConversionKinds();

// Every file of a directory with its bytes.
std::map<std::string, Bytes> Snapshot(const std::filesystem::path& dir);

// The number of file descriptors this process has open, or -1 where that cannot be told.
int OpenDescriptorCount();

}  // namespace quorvel::testing
