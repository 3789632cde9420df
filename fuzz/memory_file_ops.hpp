#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::fuzz {

using Bytes = std::vector<std::uint8_t>;

// Files kept in memory, so that a fuzzer drives the engine through the same code paths
// as real files without touching the disk. Names are compared as plain strings; there
// are no directories.
class MemoryFileOps final : public engine::FileOps {
public:
    // Each Read delivers at most readChunk bytes, to exercise callers that must loop.
    explicit MemoryFileOps(std::size_t readChunk = static_cast<std::size_t>(-1)) : readChunk_(readChunk) {}

    int OpenRead(const std::filesystem::path& name) override;
    int CreateNew(const std::filesystem::path& name) override;
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override;
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override;
    int Close(int handle) override;
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int Remove(const std::filesystem::path& name) override;

    void Put(const std::string& name, Bytes bytes) { files_[name] = std::move(bytes); }
    const std::map<std::string, Bytes>& Files() const noexcept { return files_; }
    std::size_t OpenHandles() const noexcept { return handles_.size(); }

private:
    struct Handle {
        std::string name;
        std::size_t position = 0;
        bool writable = false;
    };
    std::map<std::string, Bytes> files_;
    std::map<int, Handle> handles_;
    int nextHandle_ = 3;
    std::size_t readChunk_;
};

}  // namespace quorvel::fuzz
