#include "quorvel/engine/file_ops.hpp"

#include <cerrno>

#ifdef _WIN32
#include "windows_file_ops.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
        return fd < 0 ? -errno : fd;
    }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override {
        ssize_t n;
        do n = ::read(handle, buffer, size);
        while (n < 0 && errno == EINTR);
        return n < 0 ? -errno : n;
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
    int Remove(const std::filesystem::path& name) override {
        return ::unlink(name.c_str()) < 0 ? -errno : 0;
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

FileOps& SystemFileOps() {
    static SystemOps ops;
    return ops;
}

}  // namespace quorvel::engine
