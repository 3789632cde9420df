#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "quorvel/engine/file_ops.hpp"
#include "quorvel/engine/replace_policy.hpp"

namespace quorvel::engine {

// A new file being written under a temporary name beside its target, which takes the
// target's name only in Commit, once every byte is written and the file is closed.
// Every failure removes the temporary file and throws; so does destroying an object
// that was not committed. The target is never touched before the last step.
class TemporaryOutput {
public:
    // Creates the temporary file exclusively beside target (another name is tried when
    // one is taken). Throws IoError.
    TemporaryOutput(FileOps& ops, std::filesystem::path target);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Appends size bytes. A short write counts as a full disk. Throws IoError.
    void Write(const std::uint8_t* data, std::size_t size);

    // Closes the file and moves it to the target's name as policy says. Throws IoError,
    // or OutputFileExists when policy is NeverReplace and the name is taken.
    void Commit(ReplacePolicy policy);

private:
    [[noreturn]] void Fail(std::ptrdiff_t negativeErrno);
    void Abandon() noexcept;

    FileOps& ops_;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int handle_ = -1;
    bool pending_ = false;  // the temporary file exists and is ours to remove
};

}  // namespace quorvel::engine
