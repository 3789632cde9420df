#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::engine {

// Files kept in memory, so that a conversion runs through the same code as on disk
// without touching it: for converting bytes, for tests, fuzzing and benchmarks. Names
// are compared as plain strings (no folders, no case folding). Renaming moves the bytes
// under the new name, replacing what was there; a handle refers to its file by name.
// Not safe to share between threads.
class MemoryFileOps final : public FileOps {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Each Read delivers at most maxRead bytes (at least 1), so that callers which
    // must loop over short reads can be exercised.
    explicit MemoryFileOps(std::size_t maxRead = std::numeric_limits<std::size_t>::max()) noexcept;

    int OpenRead(const std::filesystem::path& name) override;
    int CreateNew(const std::filesystem::path& name) override;
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override;
    std::int64_t SizeHint(int handle) override;
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override;
    int Close(int handle) override;
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int Remove(const std::filesystem::path& name) override;

    // Stores bytes as the file name, replacing any file of that name.
    void Put(const std::filesystem::path& name, Bytes bytes);
    // The bytes of the file name, or nullptr when there is none; valid until the next
    // call that changes the files.
    const Bytes* Find(const std::filesystem::path& name) const;
    // Removes the file name and hands over its bytes; nothing when there is no such file.
    std::optional<Bytes> Take(const std::filesystem::path& name);
    // Every file, by name.
    const std::map<std::string, Bytes>& Files() const noexcept { return files_; }
    // How many handles are open (opened and not yet closed).
    std::size_t OpenHandles() const noexcept { return handles_.size(); }

private:
    struct Handle {
        std::string name;
        std::size_t position = 0;
        bool writable = false;
    };
    int Open(std::string name, bool writable);

    std::map<std::string, Bytes> files_;
    std::map<int, Handle> handles_;
    int nextHandle_ = 3;
    std::size_t maxRead_;
};

}  // namespace quorvel::engine
