#include "windows_file_ops.hpp"

#include <chrono>
#include <system_error>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "quorvel/engine/errors.hpp"

namespace quorvel::engine {
namespace {

// Full paths from this length on go to the system in the \\?\ form: the classic limit
// (MAX_PATH, 260 with the final NUL) less the 12 characters Windows keeps free for
// an 8.3 name inside a directory, so that directories stay under it as well.
constexpr std::size_t ClassicPathLimit = MAX_PATH - 12;

// Windows hands out kernel handles that fit in 32 bits (HandleToLong and LongToHandle
// are there for exactly this), so a handle travels as FileOps' int.
HANDLE FromHandle(int handle) noexcept { return LongToHandle(handle); }

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

std::wstring FullPathOf(const std::wstring& name) {
    std::wstring full(std::max<std::size_t>(name.size() + MAX_PATH, 512), L'\0');
    for (;;) {
        const DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return name;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);
    }
}

}  // namespace

HANDLE Win32FileCalls::Open(const std::wstring& name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    return CreateFileW(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

BOOL Win32FileCalls::ReadBytes(HANDLE file, void* buffer, DWORD size, DWORD* done) {
    return ReadFile(file, buffer, size, done, nullptr);
}

BOOL Win32FileCalls::WriteBytes(HANDLE file, const void* buffer, DWORD size, DWORD* done) {
    return WriteFile(file, buffer, size, done, nullptr);
}

BOOL Win32FileCalls::CloseFile(HANDLE file) { return CloseHandle(file); }

DWORD Win32FileCalls::TypeOf(HANDLE file) { return GetFileType(file); }

DWORD Win32FileCalls::AttributesOf(const std::wstring& name) { return GetFileAttributesW(name.c_str()); }

BOOL Win32FileCalls::Move(const std::wstring& from, const std::wstring& to, DWORD flags) {
    return MoveFileExW(from.c_str(), to.c_str(), flags);
}

BOOL Win32FileCalls::Delete(const std::wstring& name) { return DeleteFileW(name.c_str()); }

DWORD Win32FileCalls::LastError() { return GetLastError(); }

Win32FileCalls& SystemWin32FileCalls() {
    static Win32FileCalls calls;
    return calls;
}

std::wstring SystemPathForm(const std::filesystem::path& name) {
    const std::wstring& given = name.native();
    if (StartsWith(given, L"\\\\?\\") || StartsWith(given, L"\\\\.\\")) return given;
    if (given.size() < ClassicPathLimit && name.is_absolute()) return given;
    std::wstring full = FullPathOf(given);
    if (full.size() < ClassicPathLimit) return given;
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

int WindowsFileOps::Failure() {
    const DWORD error = calls_.LastError();
    // A failed call that left no error still counts as a failure.
    return -ErrnoFromWindowsError(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
}

int WindowsFileOps::HandOut(HANDLE file) {
    const long handle = HandleToLong(file);
    if (handle < 0 || handle > INT32_MAX) {
        calls_.CloseFile(file);
        return -EMFILE;
    }
    return static_cast<int>(handle);
}

int WindowsFileOps::OpenRead(const std::filesystem::path& name) {
    const HANDLE file = calls_.Open(SystemPathForm(name), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
    if (file == INVALID_HANDLE_VALUE) return Failure();
    // Only files on a disk are inputs: a console, a pipe or a device such as NUL is not.
    if (calls_.TypeOf(file) != FILE_TYPE_DISK) {
        calls_.CloseFile(file);
        return -EINVAL;
    }
    return HandOut(file);
}

int WindowsFileOps::CreateNew(const std::filesystem::path& name) {
    const HANDLE file = calls_.Open(SystemPathForm(name), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE) return Failure();
    return HandOut(file);
}

std::ptrdiff_t WindowsFileOps::Read(int handle, void* buffer, std::size_t size) {
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD done = 0;
    if (!calls_.ReadBytes(FromHandle(handle), buffer, ask, &done)) {
        if (calls_.LastError() == ERROR_HANDLE_EOF) return 0;
        return Failure();
    }
    return static_cast<std::ptrdiff_t>(done);
}

std::ptrdiff_t WindowsFileOps::Write(int handle, const void* buffer, std::size_t size) {
    const auto ask = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD done = 0;
    if (!calls_.WriteBytes(FromHandle(handle), buffer, ask, &done)) return Failure();
    return static_cast<std::ptrdiff_t>(done);
}

int WindowsFileOps::Close(int handle) { return calls_.CloseFile(FromHandle(handle)) ? 0 : Failure(); }

int WindowsFileOps::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::wstring target = SystemPathForm(to);
    // Windows refuses to replace a read-only file or a directory; Wine and some network
    // file systems would replace the file, so the attributes decide first.
    const DWORD attributes = calls_.AttributesOf(target);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0)
        return -EACCES;
    if (!calls_.Move(SystemPathForm(from), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Failure();
    return 0;
}

int WindowsFileOps::RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (!calls_.Move(SystemPathForm(from), SystemPathForm(to), MOVEFILE_WRITE_THROUGH)) return Failure();
    return 0;
}

bool WindowsFileOps::RemoveIfAbandoned(const std::filesystem::path& name) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(name, ec);
    if (ec || std::filesystem::file_time_type::clock::now() - written < std::chrono::seconds(60)) return false;
    return calls_.Delete(SystemPathForm(name));
}

int WindowsFileOps::Remove(const std::filesystem::path& name) {
    return calls_.Delete(SystemPathForm(name)) ? 0 : Failure();
}

int WindowsFileOps::ExamineOutput(const std::filesystem::path& name, OutputTarget& target) {
    target = OutputTarget{};
    target.path = name;
    const DWORD attributes = calls_.AttributesOf(SystemPathForm(name));
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const int error = Failure();
        return error == -ENOENT ? 0 : error;
    }
    target.exists = true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        target.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        target.attributes = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
    return 0;
}

int WindowsFileOps::KeepMetadata(int, const std::filesystem::path& temporary, const OutputTarget& replaced) {
    if (replaced.attributes == 0) return 0;
    return SetFileAttributesW(SystemPathForm(temporary).c_str(), replaced.attributes) ? 0 : Failure();
}

int WindowsFileOps::Flush(int handle) { return FlushFileBuffers(FromHandle(handle)) ? 0 : Failure(); }

int WindowsFileOps::FlushFolder(const std::filesystem::path&) { return 0; }

}  // namespace quorvel::engine
