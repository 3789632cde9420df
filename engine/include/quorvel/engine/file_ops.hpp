#pragma once

#include <cstddef>
#include <filesystem>

namespace quorvel::engine {

// The handful of file operations the engine needs. The real implementation talks to
// the operating system; tests and fuzzers substitute their own to inject failures or
// to keep files in memory. Every call reports failure as a negative errno value.
class FileOps {
public:
    virtual ~FileOps() = default;

    // Opens an existing regular file for reading only. Returns a handle >= 0 or -errno.
    virtual int OpenRead(const std::filesystem::path& name) = 0;
    // Creates a new file for writing; fails with -EEXIST when the name is taken.
    virtual int CreateNew(const std::filesystem::path& name) = 0;
    // Reads up to size bytes; returns the count delivered (0 at the end) or -errno.
    virtual std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) = 0;
    // Writes up to size bytes; returns the count delivered or -errno.
    virtual std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) = 0;
    // Closes the handle; 0 or -errno. The handle is gone either way.
    virtual int Close(int handle) = 0;
    // Moves from onto to, replacing an existing file at to. 0 or -errno.
    virtual int Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Moves from onto to only when no file is at to; -EEXIST when one is. 0 or -errno.
    // The default looks for to with OpenRead before calling Rename, which holds only
    // where nothing else creates files meanwhile (files kept in memory); the system's
    // files refuse in the move itself.
    virtual int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
    // Deletes a file; 0 or -errno.
    virtual int Remove(const std::filesystem::path& name) = 0;
};

// The operating system's files. Stateless and safe to share between threads.
FileOps& SystemFileOps();

}  // namespace quorvel::engine
