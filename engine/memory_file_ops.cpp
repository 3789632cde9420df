#include "quorvel/engine/memory_file_ops.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

namespace quorvel::engine {

MemoryFileOps::MemoryFileOps(std::size_t maxRead) noexcept : maxRead_(std::max<std::size_t>(maxRead, 1)) {}

// Allocation failures become -ENOMEM, as every FileOps call reports failure by value.
int MemoryFileOps::Open(std::string name, bool writable) {
    const int handle = nextHandle_;
    try {
        handles_.emplace(handle, Handle{std::move(name), 0, writable});
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
    ++nextHandle_;
    return handle;
}

int MemoryFileOps::OpenRead(const std::filesystem::path& name) {
    std::string key = name.string();
    if (files_.find(key) == files_.end()) return -ENOENT;
    return Open(std::move(key), false);
}

int MemoryFileOps::CreateNew(const std::filesystem::path& name) {
    std::string key = name.string();
    if (files_.find(key) != files_.end()) return -EEXIST;
    try {
        files_.emplace(key, Bytes{});
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
    const int handle = Open(key, true);
    if (handle < 0) files_.erase(key);
    return handle;
}

std::ptrdiff_t MemoryFileOps::Read(int handle, void* buffer, std::size_t size) {
    const auto h = handles_.find(handle);
    if (h == handles_.end() || h->second.writable) return -EBADF;
    const auto file = files_.find(h->second.name);
    if (file == files_.end()) return -EIO;
    const Bytes& bytes = file->second;
    const std::size_t available = bytes.size() - std::min(bytes.size(), h->second.position);
    const std::size_t n = std::min({size, available, maxRead_});
    if (n != 0) std::memcpy(buffer, bytes.data() + h->second.position, n);
    h->second.position += n;
    return static_cast<std::ptrdiff_t>(n);
}

std::int64_t MemoryFileOps::SizeHint(int handle) {
    const auto h = handles_.find(handle);
    if (h == handles_.end()) return -1;
    const auto file = files_.find(h->second.name);
    if (file == files_.end()) return -1;
    return static_cast<std::int64_t>(file->second.size());
}

std::ptrdiff_t MemoryFileOps::Write(int handle, const void* buffer, std::size_t size) {
    const auto h = handles_.find(handle);
    if (h == handles_.end() || !h->second.writable) return -EBADF;
    const auto file = files_.find(h->second.name);
    if (file == files_.end()) return -EIO;
    const auto* data = static_cast<const std::uint8_t*>(buffer);
    try {
        file->second.insert(file->second.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
    h->second.position += size;
    return static_cast<std::ptrdiff_t>(size);
}

int MemoryFileOps::Close(int handle) { return handles_.erase(handle) != 0 ? 0 : -EBADF; }

int MemoryFileOps::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    const auto source = files_.find(from.string());
    if (source == files_.end()) return -ENOENT;
    // The target's entry is made before anything moves, so that a failure loses nothing.
    std::map<std::string, Bytes>::iterator target;
    try {
        target = files_.try_emplace(to.string()).first;
    } catch (const std::bad_alloc&) {
        return -ENOMEM;
    }
    if (target == source) return 0;
    target->second = std::move(source->second);
    files_.erase(source);
    return 0;
}

int MemoryFileOps::Remove(const std::filesystem::path& name) { return files_.erase(name.string()) != 0 ? 0 : -ENOENT; }

void MemoryFileOps::Put(const std::filesystem::path& name, Bytes bytes) {
    files_.insert_or_assign(name.string(), std::move(bytes));
}

const MemoryFileOps::Bytes* MemoryFileOps::Find(const std::filesystem::path& name) const {
    const auto file = files_.find(name.string());
    return file != files_.end() ? &file->second : nullptr;
}

std::optional<MemoryFileOps::Bytes> MemoryFileOps::Take(const std::filesystem::path& name) {
    const auto file = files_.find(name.string());
    if (file == files_.end()) return std::nullopt;
    std::optional<Bytes> bytes(std::move(file->second));
    files_.erase(file);
    return bytes;
}

}  // namespace quorvel::engine
