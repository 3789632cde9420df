#pragma once

#include <filesystem>
#include <string>

namespace quorvel::batch {

// What the batches need of the engine and the file system, behind one interface so
// that tests can script results and record calls.
class EngineCalls {
public:
    virtual ~EngineCalls() = default;
    virtual int ConvertToType0(const std::filesystem::path& inName, const std::filesystem::path& outName) = 0;
    virtual int ConvertToType1(const std::filesystem::path& inName, const std::filesystem::path& outName) = 0;
    // Copies inName to outName unless a file of that name exists. Returns true when it
    // copied; otherwise reason says why ("Output file already exists", or the system's text).
    virtual bool CopyFileFailIfExists(const std::filesystem::path& inName, const std::filesystem::path& outName,
                                      std::string& reason) = 0;
};

// The real engine and file system. Stateless; safe to share between threads.
EngineCalls& RealEngineCalls();

}  // namespace quorvel::batch
