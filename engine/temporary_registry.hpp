#pragma once

#include <filesystem>

namespace quorvel::engine {

// The process-wide list of the temporary files being written, which
// RemoveTemporaryFiles sweeps. A name is entered before its file is created and leaves
// once the file is moved to its final name or removed.
class RegisteredTemporary {
public:
    RegisteredTemporary() noexcept = default;
    ~RegisteredTemporary() { Release(); }
    RegisteredTemporary(const RegisteredTemporary&) = delete;
    RegisteredTemporary& operator=(const RegisteredTemporary&) = delete;

    // Enters name, in place of the name held so far. Returns 0, -ENAMETOOLONG for a name
    // the list cannot hold, -EMFILE when every entry is taken, -EINTR once the files are
    // being removed for good.
    int Enter(const std::filesystem::path& name) noexcept;
    // Takes the name out of the list; the file is no longer swept.
    void Release() noexcept;

private:
    int slot_ = -1;
};

// True once RemoveTemporaryFiles ran: a temporary file created after entering its name
// must be removed by its creator, as the sweep may have passed already.
bool TemporaryFilesRemoved() noexcept;

}  // namespace quorvel::engine
