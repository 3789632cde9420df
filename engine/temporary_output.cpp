#include "temporary_output.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <utility>

#include "quorvel/engine/errors.hpp"

#ifdef _WIN32
#include <process.h>
#define QUORVEL_GETPID _getpid
#else
#include <unistd.h>
#define QUORVEL_GETPID getpid
#endif

namespace quorvel::engine {
namespace {

// A short name, unique across processes and threads, for the temporary output file.
// Kept short so that an output name close to the platform's length limit still works.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string name = ".qv" + std::to_string(QUORVEL_GETPID()) + "-" +
                             std::to_string(counter.fetch_add(1)) + "-" +
                             std::to_string((ticks + attempt) % 100000) + ".tmp";
    return target.parent_path() / name;
}

}  // namespace

TemporaryOutput::TemporaryOutput(FileOps& ops, std::filesystem::path target)
    : ops_(ops), target_(std::move(target)) {
    for (unsigned attempt = 0; attempt < 100 && handle_ < 0; ++attempt) {
        temporary_ = TemporaryNameBeside(target_, attempt);
        handle_ = ops_.CreateNew(temporary_);
        if (handle_ < 0 && handle_ != -EEXIST) throw IoError::FromErrno(-handle_);
    }
    if (handle_ < 0) throw IoError::FromErrno(EEXIST);
    pending_ = true;
}

TemporaryOutput::~TemporaryOutput() {
    Abandon();
}

void TemporaryOutput::Abandon() noexcept {
    if (handle_ >= 0) ops_.Close(handle_);
    handle_ = -1;
    if (pending_) ops_.Remove(temporary_);
    pending_ = false;
}

void TemporaryOutput::Fail(std::ptrdiff_t negativeErrno) {
    Abandon();
    throw IoError::FromErrno(static_cast<int>(-negativeErrno));
}

void TemporaryOutput::Write(const std::uint8_t* data, std::size_t size) {
    const std::ptrdiff_t n = ops_.Write(handle_, data, size);
    if (n < 0) Fail(n);
    if (static_cast<std::size_t>(n) != size) Fail(-ENOSPC);  // a short write counts as a full disk
}

void TemporaryOutput::Commit(ReplacePolicy policy) {
    const int closed = ops_.Close(std::exchange(handle_, -1));
    if (closed < 0) Fail(closed);
    const int moved = policy == ReplacePolicy::Replace ? ops_.Rename(temporary_, target_)
                                                       : ops_.RenameNoReplace(temporary_, target_);
    if (moved == -EEXIST && policy == ReplacePolicy::NeverReplace) {
        Abandon();
        throw OutputFileExists();
    }
    if (moved < 0) Fail(moved);
    pending_ = false;
}

}  // namespace quorvel::engine
