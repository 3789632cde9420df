#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace quorvel::batch {

// What the batches need of the engine and the file system, behind one interface so
// that tests can script results and record calls.
class EngineCalls {
public:
    virtual ~EngineCalls() = default;
    virtual int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) = 0;
    virtual int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) = 0;
    // Copies inName to outName unless a file of that name exists, so that outName ends
    // up whole or absent. Returns nothing when it copied, otherwise why not ("Output
    // file already exists", "Disk full", ...).
    virtual std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path& inName,
                                                            const std::filesystem::path& outName) = 0;
};

// The real engine and file system. Stateless; safe to share between threads.
EngineCalls& RealEngineCalls();

}  // namespace quorvel::batch
