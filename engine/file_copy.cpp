#include "quorvel/engine/file_copy.hpp"

#include <cstdint>
#include <memory>
#include <new>
#include <system_error>

#include "quorvel/engine/errors.hpp"
#include "temporary_output.hpp"

namespace quorvel::engine {
namespace {

constexpr std::size_t ChunkSize = 64 * 1024;

// An open input, closed when it goes out of scope unless Close was called.
class InputHandle {
public:
    InputHandle(FileOps& ops, int handle) noexcept : ops_(ops), handle_(handle) {}
    ~InputHandle() {
        if (handle_ >= 0) ops_.Close(handle_);
    }
    InputHandle(const InputHandle&) = delete;
    InputHandle& operator=(const InputHandle&) = delete;
    int Get() const noexcept { return handle_; }
    int Close() noexcept {
        const int handle = handle_;
        handle_ = -1;
        return ops_.Close(handle);
    }

private:
    FileOps& ops_;
    int handle_;
};

// The two names reach one file: the same text, or (for files on disk) the same file.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.lexically_normal() == b.lexically_normal()) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

// True when ops can open a regular file at name.
bool Taken(FileOps& ops, const std::filesystem::path& name) {
    const int handle = ops.OpenRead(name);
    if (handle < 0) return false;
    ops.Close(handle);
    return true;
}

}  // namespace

void CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to, ReplacePolicy policy,
                        FileOps& ops) {
    const int opened = ops.OpenRead(from);
    if (opened < 0) throw IoError::FromErrno(-opened);
    InputHandle input(ops, opened);
    if (policy == ReplacePolicy::Replace && SameFile(from, to)) return;  // it is its own copy already
    // A target seen now saves reading and writing the whole file; one that appears
    // later is refused by the last step.
    if (policy == ReplacePolicy::NeverReplace && Taken(ops, to)) throw OutputFileExists();

    std::unique_ptr<std::uint8_t[]> buffer;
    try {
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(ChunkSize);
    } catch (const std::bad_alloc&) {
        throw OutOfMemory();
    }
    TemporaryOutput output(ops, to);
    for (;;) {
        const std::ptrdiff_t n = ops.Read(input.Get(), buffer.get(), ChunkSize);
        if (n < 0) throw IoError::FromErrno(static_cast<int>(-n));
        if (n == 0) break;
        output.Write(buffer.get(), static_cast<std::size_t>(n));
    }
    const int closed = input.Close();
    if (closed < 0) throw IoError::FromErrno(-closed);
    output.Commit(policy);
}

}  // namespace quorvel::engine
