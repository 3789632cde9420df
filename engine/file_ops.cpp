#include "quorvel/engine/file_ops.hpp"

#include <cerrno>

#ifdef _WIN32
#include "windows_file_ops.hpp"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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
    int Remove(const std::filesystem::path& name) override {
        return ::unlink(name.c_str()) < 0 ? -errno : 0;
    }
};
#endif

}  // namespace

FileOps& SystemFileOps() {
    static SystemOps ops;
    return ops;
}

}  // namespace quorvel::engine
