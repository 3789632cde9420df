#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "quorvel/engine/replace_policy.hpp"

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
    // Copies inName to outName, replacing a file of that name (the user agreed to it), so
    // that outName ends up whole: the new bytes or, on failure, the old ones. Returns
    // nothing when it copied, otherwise why not.
    virtual std::optional<std::string> CopyFileReplacing(const std::filesystem::path& inName,
                                                         const std::filesystem::path& outName) = 0;
};

// The real engine and file system, by the window's rule: a conversion replaces an
// existing output, the karaoke copy never does. Stateless; safe to share between threads.
EngineCalls& RealEngineCalls();

// The real engine and file system with one policy for every output, the karaoke copy's
// included: with NeverReplace an existing output (also one that appears during the
// conversion) is left and OutputFileExists thrown (the copy returns its text). Stateless;
// safe to share between threads.
EngineCalls& RealEngineCalls(engine::ReplacePolicy policy);

}  // namespace quorvel::batch
