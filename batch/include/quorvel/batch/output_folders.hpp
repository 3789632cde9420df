#pragma once

#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

namespace quorvel::batch {

// The folders a batch makes for its outputs (-r), so that those no output went into can
// go again: a refused file leaves no folder behind.
class OutputFolders {
public:
    OutputFolders() = default;
    OutputFolders(const OutputFolders&) = delete;
    OutputFolders& operator=(const OutputFolders&) = delete;
    // Removes the made folders that are still empty (RemoveEmpty).
    ~OutputFolders();

    // Makes folder and whichever of its parents are missing, and notes those it made.
    // Returns false with error set when a folder could not be made. Safe from any thread.
    bool Make(const std::filesystem::path& folder, std::error_code& error);

    // Removes every folder Make made that is empty now, deepest first; a folder that holds
    // anything (or is no longer a folder) stays. Call when no conversion is running.
    void RemoveEmpty() noexcept;

private:
    std::mutex mutex_;
    std::vector<std::filesystem::path> made_;
};

}  // namespace quorvel::batch
