#include "temporary_output.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "quorvel/engine/errors.hpp"

namespace quorvel::engine {
namespace {

constexpr int AccessDenied = 5;

// 64 bits no other process can foresee: a generator per thread, seeded from the
// system's random source, the clock and the thread's own storage.
std::uint64_t RandomBits() {
    thread_local std::mt19937_64 generator = [] {
        std::uint64_t seed = static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count());
        static std::atomic<std::uint64_t> threads{0};
        seed ^= (threads.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ULL;
        try {
            std::random_device device;
            seed ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (...) {
            // No random source: the clock and the counter still differ from run to run.
        }
        std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                               static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&seed))};
        return std::mt19937_64(sequence);
    }();
    return generator();
}

// A name beside target that no other program can predict (so none can plant a file
// under it beforehand), ".qv-" and 13 letters or digits: short enough that an output
// name close to the platform's length limit still works.
std::filesystem::path TemporaryNameBeside(const std::filesystem::path& target) {
    static constexpr char Digits[] = "abcdefghijklmnopqrstuvwxyz234567";
    std::uint64_t bits = RandomBits();
    std::string name = ".qv-";
    for (int i = 0; i < 13; ++i, bits >>= 5) name += Digits[bits & 31];
    name += ".tmp";
    return target.parent_path() / name;
}

// True for a name TemporaryNameBeside gives.
bool IsTemporaryName(const std::string& name) {
    return name.size() == 4 + 13 + 4 && name.compare(0, 4, ".qv-") == 0 && name.compare(17, 4, ".tmp") == 0;
}

// Removes the temporary files that killed runs left in folder, the first time this
// process writes there (once per folder: a batch of many files into one folder lists it
// once).
void SweepOnce(FileOps& ops, const std::filesystem::path& folder) {
    static std::mutex mutex;
    static std::set<std::filesystem::path> swept;
    {
        const std::lock_guard lock(mutex);
        if (!swept.insert(folder).second) return;
    }
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? std::filesystem::path(".") : folder, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::filesystem::path name = it->path().filename();
        if (IsTemporaryName(name.string())) ops.RemoveIfAbandoned(it->path());
    }
}

}  // namespace

TemporaryOutput::TemporaryOutput(FileOps& ops, std::filesystem::path target) : ops_(ops) {
    if (const int examined = ops_.ExamineOutput(target, target_); examined < 0) throw IoError::FromErrno(-examined);
    if (target_.exists && target_.readOnly) throw IoError(AccessDenied);
    const std::filesystem::path folder = target_.path.parent_path();
    try {
        SweepOnce(ops_, folder);
    } catch (...) {
        // No memory to note the folder: the stale files wait for another run.
    }
    // A file without a name first, where the system has them: nothing is left if the
    // process is killed.
    handle_ = ops_.CreateUnnamed(folder);
    if (handle_ >= 0) {
        unnamed_ = true;
    } else if (handle_ != -EOPNOTSUPP) {
        throw IoError::FromErrno(-handle_);
    }
    for (unsigned attempt = 0; attempt < 100 && handle_ < 0; ++attempt) {
        temporary_ = TemporaryNameBeside(target_.path);
        // Entered before the file exists, so that a sweep never misses it.
        if (const int entered = registered_.Enter(temporary_); entered < 0) throw IoError::FromErrno(-entered);
        handle_ = ops_.CreateNew(temporary_);
        // Taken (by anything: a file, a folder, a link): not ours, so left alone.
        if (handle_ < 0 && handle_ != -EEXIST) {
            registered_.Release();
            throw IoError::FromErrno(-handle_);
        }
    }
    if (handle_ < 0) {
        registered_.Release();
        throw IoError::FromErrno(EEXIST);
    }
    pending_ = !unnamed_;
    // The sweep may have passed before the file was created.
    if (TemporaryFilesRemoved()) Fail(-EINTR);
    if (target_.exists) {
        // Before any byte goes in, so that a private file's bytes are never readable by others.
        if (const int kept = ops_.KeepMetadata(handle_, temporary_, target_); kept < 0) Fail(kept);
    }
}

TemporaryOutput::~TemporaryOutput() { Abandon(); }

void TemporaryOutput::Abandon() noexcept {
    if (handle_ >= 0) ops_.Close(handle_);
    handle_ = -1;
    if (pending_) ops_.Remove(temporary_);
    pending_ = false;
    registered_.Release();
}

void TemporaryOutput::Fail(std::ptrdiff_t negativeErrno) {
    Abandon();
    throw IoError::FromErrno(static_cast<int>(-negativeErrno));
}

void TemporaryOutput::Write(const std::uint8_t* data, std::size_t size) {
    // A write may deliver less than asked (Linux at most about 2 GiB a call, Windows 1 GiB
    // here); the rest follows. A write that delivers nothing counts as a full disk.
    while (size > 0) {
        const std::ptrdiff_t n = ops_.Write(handle_, data, size);
        if (n < 0) Fail(n);
        if (n == 0) Fail(-ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void TemporaryOutput::Commit(ReplacePolicy policy) {
    // After a stop nothing takes a final name; the file is removed here too, where the
    // sweep could not (Windows deletes no file that is still open).
    if (TemporaryFilesRemoved()) Fail(-EINTR);
    // Looked at again: the name may have been taken, or made read-only, meanwhile.
    OutputTarget now;
    if (const int examined = ops_.ExamineOutput(target_.path, now); examined < 0) Fail(-examined);
    if (now.exists && now.readOnly) {
        Abandon();
        throw IoError(AccessDenied);
    }
    const bool replacing = now.exists && policy == ReplacePolicy::Replace;
    // A power cut after the move must find the new bytes, not an empty file, where an
    // old file stood. A new name costs no flush: the worst loss is the new file alone.
    if (replacing) {
        if (const int flushed = ops_.Flush(handle_); flushed < 0) Fail(flushed);
    }
    if (unnamed_) {
        CommitUnnamed(policy, replacing);
        return;
    }
    const int closed = ops_.Close(std::exchange(handle_, -1));
    if (closed < 0) Fail(closed);
    MoveToTarget(policy, replacing);
}

void TemporaryOutput::MoveToTarget(ReplacePolicy policy, bool replacing) {
    const int moved = policy == ReplacePolicy::Replace ? ops_.Rename(temporary_, target_.path)
                                                       : ops_.RenameNoReplace(temporary_, target_.path);
    // Also from Rename: a caller's FileOps may refuse to replace there (see the
    // conversions' entries with a policy).
    if (moved == -EEXIST) {
        Abandon();
        throw OutputFileExists();
    }
    if (moved < 0) Fail(moved);
    pending_ = false;
    registered_.Release();
    // The move is done; a folder that cannot be flushed changes nothing of that.
    if (replacing) ops_.FlushFolder(target_.path.parent_path());
}

void TemporaryOutput::CommitUnnamed(ReplacePolicy policy, bool replacing) {
    if (!replacing) {
        // A name that is free is simply taken; the kernel refuses a taken one.
        const int linked = ops_.LinkUnnamed(handle_, target_.path);
        if (linked == 0) {
            const int closed = ops_.Close(std::exchange(handle_, -1));
            registered_.Release();
            if (closed < 0) throw IoError::FromErrno(-closed);
            return;
        }
        if (linked != -EEXIST) Fail(linked);
        if (policy != ReplacePolicy::Replace) {
            Abandon();
            throw OutputFileExists();
        }
        // Taken meanwhile, and to be replaced: as any other file below.
    }
    // Replacing: the file gets a temporary name first and is then moved over the old one
    // in one step, so the target is never missing or half written.
    int linked = -EEXIST;
    for (unsigned attempt = 0; attempt < 100 && linked == -EEXIST; ++attempt) {
        temporary_ = TemporaryNameBeside(target_.path);
        if (const int entered = registered_.Enter(temporary_); entered < 0) Fail(entered);
        linked = ops_.LinkUnnamed(handle_, temporary_);
    }
    if (linked < 0) Fail(linked);
    pending_ = true;
    const int closed = ops_.Close(std::exchange(handle_, -1));
    if (closed < 0) Fail(closed);
    if (TemporaryFilesRemoved()) Fail(-EINTR);
    MoveToTarget(policy, replacing);
}

}  // namespace quorvel::engine
