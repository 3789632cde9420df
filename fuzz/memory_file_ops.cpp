#include "memory_file_ops.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvel::fuzz {

int MemoryFileOps::OpenRead(const std::filesystem::path& name) {
    if (files_.find(name.string()) == files_.end()) return -ENOENT;
    const int handle = nextHandle_++;
    handles_[handle] = Handle{name.string(), 0, false};
    return handle;
}

int MemoryFileOps::CreateNew(const std::filesystem::path& name) {
    if (files_.find(name.string()) != files_.end()) return -EEXIST;
    files_[name.string()];
    const int handle = nextHandle_++;
    handles_[handle] = Handle{name.string(), 0, true};
    return handle;
}

std::ptrdiff_t MemoryFileOps::Read(int handle, void* buffer, std::size_t size) {
    const auto h = handles_.find(handle);
    if (h == handles_.end()) return -EBADF;
    if (h->second.writable) return -EBADF;
    const auto file = files_.find(h->second.name);
    if (file == files_.end()) return -EIO;
    const Bytes& bytes = file->second;
    const std::size_t available = bytes.size() - std::min(bytes.size(), h->second.position);
    const std::size_t n = std::min({size, available, readChunk_});
    if (n != 0) std::memcpy(buffer, bytes.data() + h->second.position, n);
    h->second.position += n;
    return static_cast<std::ptrdiff_t>(n);
}

std::ptrdiff_t MemoryFileOps::Write(int handle, const void* buffer, std::size_t size) {
    const auto h = handles_.find(handle);
    if (h == handles_.end() || !h->second.writable) return -EBADF;
    const auto file = files_.find(h->second.name);
    if (file == files_.end()) return -EIO;
    const auto* data = static_cast<const std::uint8_t*>(buffer);
    file->second.insert(file->second.end(), data, data + size);
    h->second.position += size;
    return static_cast<std::ptrdiff_t>(size);
}

int MemoryFileOps::Close(int handle) { return handles_.erase(handle) != 0 ? 0 : -EBADF; }

int MemoryFileOps::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    const auto file = files_.find(from.string());
    if (file == files_.end()) return -ENOENT;
    Bytes bytes = std::move(file->second);
    files_.erase(file);
    files_[to.string()] = std::move(bytes);
    return 0;
}

int MemoryFileOps::Remove(const std::filesystem::path& name) {
    return files_.erase(name.string()) != 0 ? 0 : -ENOENT;
}

}  // namespace quorvel::fuzz
