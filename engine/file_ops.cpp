#include "quorvel/engine/file_ops.hpp"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include "windows_file_ops.hpp"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>
#ifdef __linux__
#include <sys/syscall.h>
#endif
#endif

namespace quorvel::engine {
namespace {

#ifdef _WIN32
// CreateFileW, ReadFile, WriteFile and MoveFileExW with UTF-16 paths: windows_file_ops.cpp.
class SystemOps final : public WindowsFileOps {
public:
    SystemOps() noexcept : WindowsFileOps(SystemWin32FileCalls()) {}
};
#else
// The file name reaches after following the symbolic links at it (a link's relative
// target counts from the link's folder); name itself when there is none. 0 or -errno.
int FollowLinks(const std::filesystem::path& name, std::filesystem::path& resolved) {
    constexpr int MaxLinks = 40;  // as the kernel's own limit on links in one lookup
    resolved = name;
    for (int links = 0;; ++links) {
        std::error_code ec;
        const std::filesystem::file_status status = std::filesystem::symlink_status(resolved, ec);
        if (ec && status.type() != std::filesystem::file_type::not_found) return ec.value() > 0 ? -ec.value() : -EIO;
        if (status.type() != std::filesystem::file_type::symlink) return 0;
        if (links == MaxLinks) return -ELOOP;
        std::filesystem::path next = std::filesystem::read_symlink(resolved, ec);
        if (ec) return ec.value() > 0 ? -ec.value() : -EIO;
        resolved = next.is_absolute() ? next : resolved.parent_path() / next;
    }
}

// How long a temporary file must have been left unchanged before it counts as left by
// a run that was killed.
constexpr std::time_t AbandonedAfterSeconds = 60;

class SystemOps final : public FileOps {
public:
    int OpenRead(const std::filesystem::path& name) override {
        // Non-blocking, so that a FIFO cannot stall the open; only regular files are
        // inputs (a directory opens on Linux, a device never ends).
        int fd;
        do fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) return -errno;
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return -EINVAL;
        }
        return fd;
    }
    int CreateNew(const std::filesystem::path& name) override {
        int fd;
        do fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) return -errno;
        // Held while the file is written, so that a later run can tell a live writer's
        // temporary file from one a killed run left (RemoveIfAbandoned). A file system
        // without locks still writes the file.
        ::flock(fd, LOCK_EX | LOCK_NB);
        return fd;
    }
    int CreateUnnamed(const std::filesystem::path& folder) override {
#ifdef O_TMPFILE
        // Named later through /proc/self/fd (no privilege needed); without /proc the
        // file could never be named, so none is made.
        static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
        if (!procFds) return -EOPNOTSUPP;
        const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
        int fd;
        do fd = ::open(name.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) return fd;
        // EISDIR, EINVAL, EOPNOTSUPP: the kernel or the file system has no unnamed files.
        return errno == EISDIR || errno == EINVAL || errno == EOPNOTSUPP ? -EOPNOTSUPP : -errno;
#else
        (void)folder;
        return -EOPNOTSUPP;
#endif
    }
    int LinkUnnamed(int handle, const std::filesystem::path& to) override {
        const std::string self = "/proc/self/fd/" + std::to_string(handle);
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) < 0 ? -errno : 0;
    }
    bool RemoveIfAbandoned(const std::filesystem::path& name) override {
        const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat info;
        bool removed = false;
        // Unchanged for a minute and locked by nobody: its writer is gone. (A writer holds
        // its lock until it closes the file, just before the move to the final name.)
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::time(nullptr) - info.st_mtime >= AbandonedAfterSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            removed = ::unlink(name.c_str()) == 0;
        ::close(fd);
        return removed;
    }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override {
        ssize_t n;
        do n = ::read(handle, buffer, size);
        while (n < 0 && errno == EINTR);
        return n < 0 ? -errno : n;
    }
    std::int64_t SizeHint(int handle) override {
        struct stat info;
        if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
        return static_cast<std::int64_t>(info.st_size);
    }
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override {
        ssize_t n;
        do n = ::write(handle, buffer, size);
        while (n < 0 && errno == EINTR);
        return n < 0 ? -errno : n;
    }
    int Close(int handle) override { return ::close(handle) < 0 ? -errno : 0; }
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ::rename(from.c_str(), to.c_str()) < 0 ? -errno : 0;
    }
    int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) override {
#if defined(__linux__) && defined(SYS_renameat2)
        constexpr unsigned renameNoReplace = 1;  // RENAME_NOREPLACE
        if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), renameNoReplace) == 0) return 0;
        // EINVAL: the file system has no such move; ENOSYS: the kernel has none.
        if (errno != EINVAL && errno != ENOSYS) return -errno;
#endif
        // A new link fails when the name is taken, so it cannot replace a file either.
        if (::link(from.c_str(), to.c_str()) < 0) return -errno;
        // The file is in place under both names; a temporary name left behind on a
        // failure here does not make the move undone.
        ::unlink(from.c_str());
        return 0;
    }
    int Remove(const std::filesystem::path& name) override { return ::unlink(name.c_str()) < 0 ? -errno : 0; }
    int ExamineOutput(const std::filesystem::path& name, OutputTarget& target) override {
        target = OutputTarget{};
        target.path = name;
        // One look at the name itself; links (rare) are followed step by step.
        struct stat info;
        if (::lstat(name.c_str(), &info) != 0) return errno == ENOENT ? 0 : -errno;
        if (S_ISLNK(info.st_mode)) {
            if (const int followed = FollowLinks(name, target.path); followed < 0) return followed;
            if (::stat(target.path.c_str(), &info) != 0) return errno == ENOENT ? 0 : -errno;
        }
        target.exists = true;
        if (S_ISREG(info.st_mode)) {
            target.readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
            target.mode = static_cast<std::uint32_t>(info.st_mode & 07777);
            target.owner = static_cast<std::int64_t>(info.st_uid);
            target.group = static_cast<std::int64_t>(info.st_gid);
        }
        return 0;
    }
    int KeepMetadata(int handle, const std::filesystem::path&, const OutputTarget& replaced) override {
        if (replaced.owner >= 0 && replaced.group >= 0) {
            // Owner and group first: a change of owner clears the set-user-ID bits the
            // mode then restores. Only root may give a file away, and a user may set
            // only a group of their own; what may not be set stays the process's own.
            if (::fchown(handle, static_cast<uid_t>(replaced.owner), static_cast<gid_t>(replaced.group)) != 0) {
                if (errno != EPERM) return -errno;
                if (::fchown(handle, static_cast<uid_t>(-1), static_cast<gid_t>(replaced.group)) != 0 && errno != EPERM)
                    return -errno;
            }
        }
        if (::fchmod(handle, static_cast<mode_t>(replaced.mode)) != 0 && errno != EPERM) return -errno;
        return 0;
    }
    int Flush(int handle) override {
        int result;
        do result = ::fsync(handle);
        while (result != 0 && errno == EINTR);
        // EINVAL and EROFS: a file that cannot be flushed (a special file system); the
        // close and the move still report real failures.
        if (result != 0 && errno != EINVAL && errno != EROFS) return -errno;
        return 0;
    }
    int FlushFolder(const std::filesystem::path& folder) override {
        const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
        const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return -errno;
        int result;
        do result = ::fsync(fd);
        while (result != 0 && errno == EINTR);
        const int error = result != 0 && errno != EINVAL ? -errno : 0;
        ::close(fd);
        return error;
    }
};
#endif

}  // namespace

int FileOps::RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    const int handle = OpenRead(to);
    if (handle >= 0) {
        Close(handle);
        return -EEXIST;
    }
    // Only a name that is free may be taken; something there that cannot be read as a
    // regular file (a directory, a file without read permission) is in the way too.
    if (handle == -EINVAL || handle == -EACCES) return -EEXIST;
    if (handle != -ENOENT) return handle;
    return Rename(from, to);
}

int FileOps::ExamineOutput(const std::filesystem::path& name, OutputTarget& target) {
    target = OutputTarget{};
    target.path = name;
    const int handle = OpenRead(name);
    if (handle >= 0) Close(handle);
    // Something that cannot be read as a regular file is there too.
    target.exists = handle >= 0 || handle == -EINVAL || handle == -EACCES;
    return handle >= 0 || handle == -ENOENT || target.exists ? 0 : handle;
}

std::int64_t FileOps::SizeHint(int) { return -1; }

int FileOps::KeepMetadata(int, const std::filesystem::path&, const OutputTarget&) { return 0; }

int FileOps::Flush(int) { return 0; }

int FileOps::FlushFolder(const std::filesystem::path&) { return 0; }

int FileOps::CreateUnnamed(const std::filesystem::path&) { return -EOPNOTSUPP; }

int FileOps::LinkUnnamed(int, const std::filesystem::path&) { return -EOPNOTSUPP; }

bool FileOps::RemoveIfAbandoned(const std::filesystem::path&) { return false; }

FileOps& SystemFileOps() {
    static SystemOps ops;
    return ops;
}

}  // namespace quorvel::engine
