#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "quorvel/engine/file_ops.hpp"
#include "quorvel/engine/replace_policy.hpp"
#include "temporary_registry.hpp"

namespace quorvel::engine {

// A new file being written without a name (where the system has such files, so that
// a killed process leaves nothing) or under a temporary name beside its target; it takes
// the target's name only in Commit, once every byte is written. The first output into a
// folder removes the temporary files that killed runs left there.
// A symbolic link at the target is followed: the file it leads to is what is replaced.
// Every failure removes the temporary file and throws; so does destroying an object
// that was not committed. The target is never touched before the last step, and no
// file but the temporary one this object created is ever removed.
class TemporaryOutput {
public:
    // Refuses a read-only file at target ("File access denied"), then creates the
    // temporary file exclusively beside it under an unpredictable name (another name is
    // tried when one is taken) and, when it will replace a file, gives it that file's
    // permission bits, owner and group. Throws IoError.
    TemporaryOutput(FileOps& ops, std::filesystem::path target);
    ~TemporaryOutput();
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    // Appends size bytes, in as many writes as the system needs; a write that delivers
    // nothing counts as a full disk. Throws IoError.
    void Write(const std::uint8_t* data, std::size_t size);

    // Closes the file and moves it to the target's name as policy says. When a file is
    // replaced, the new bytes are flushed to disk before the move and the folder after
    // it. Throws IoError ("File access denied" for a target that became read-only), or
    // OutputFileExists when the final move found the name taken and may not replace it.
    void Commit(ReplacePolicy policy);

private:
    void CommitUnnamed(ReplacePolicy policy, bool replacing);
    void MoveToTarget(ReplacePolicy policy, bool replacing);
    [[noreturn]] void Fail(std::ptrdiff_t negativeErrno);
    void Abandon() noexcept;

    FileOps& ops_;
    OutputTarget target_;
    std::filesystem::path temporary_;
    RegisteredTemporary registered_;
    int handle_ = -1;
    bool pending_ = false;  // the temporary file exists under its name and is ours to remove
    bool unnamed_ = false;  // the file has no name yet (CreateUnnamed)
};

}  // namespace quorvel::engine
