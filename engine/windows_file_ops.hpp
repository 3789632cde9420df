#pragma once

// The Windows file layer: FileOps on CreateFileW, ReadFile, WriteFile and friends, with
// UTF-16 paths at the system boundary. Compiled for Windows only.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <string>

#include "quorvel/engine/file_ops.hpp"

namespace quorvel::engine {

// The Win32 calls the Windows file layer makes. The default methods are the system's
// own; a test derives from it to watch the names that reach the system or to fail a
// call the way the system would.
class Win32FileCalls {
public:
    virtual ~Win32FileCalls() = default;
    // CreateFileW; INVALID_HANDLE_VALUE on failure.
    virtual HANDLE Open(const std::wstring& name, DWORD access, DWORD share, DWORD disposition, DWORD flags);
    // ReadFile and WriteFile, synchronous; FALSE on failure.
    virtual BOOL ReadBytes(HANDLE file, void* buffer, DWORD size, DWORD* done);
    virtual BOOL WriteBytes(HANDLE file, const void* buffer, DWORD size, DWORD* done);
    // CloseHandle.
    virtual BOOL CloseFile(HANDLE file);
    // GetFileType: FILE_TYPE_DISK for files on a disk.
    virtual DWORD TypeOf(HANDLE file);
    // GetFileAttributesW; INVALID_FILE_ATTRIBUTES when the name does not exist.
    virtual DWORD AttributesOf(const std::wstring& name);
    // MoveFileExW and DeleteFileW.
    virtual BOOL Move(const std::wstring& from, const std::wstring& to, DWORD flags);
    virtual BOOL Delete(const std::wstring& name);
    // GetLastError: the error of the latest failed call on this thread.
    virtual DWORD LastError();
};

// The system's calls. Stateless and safe to share between threads.
Win32FileCalls& SystemWin32FileCalls();

// name as it is handed to the Win32 calls: its UTF-16 text unchanged while its full
// path fits the classic limit (MAX_PATH), otherwise the full path (made absolute,
// separators turned into backslashes, "." and ".." resolved) behind the \\?\ prefix,
// or \\?\UNC\ for \\server\share paths, so that the system takes it whole. Names that
// already carry \\?\ or \\.\ are left as they are.
std::wstring SystemPathForm(const std::filesystem::path& name);

// FileOps for Windows over calls. Failures are GetLastError values turned into errno
// values with ErrnoFromWindowsError. Inputs are opened sharing only reading, so a file
// another program is writing (or holds locked) cannot be opened; outputs are written
// unshared. Rename refuses (EACCES) to replace a read-only file or a directory, as
// Windows does, before asking the system to move. Safe to share between threads when
// calls is.
class WindowsFileOps : public FileOps {
public:
    explicit WindowsFileOps(Win32FileCalls& calls) noexcept : calls_(calls) {}

    int OpenRead(const std::filesystem::path& name) override;
    int CreateNew(const std::filesystem::path& name) override;
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override;
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override;
    int Close(int handle) override;
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    // Moves without MOVEFILE_REPLACE_EXISTING: an existing target gives EEXIST.
    int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int Remove(const std::filesystem::path& name) override;
    // The read-only attribute refuses a replacement; hidden, system, archive and
    // not-indexed attributes are kept by it. MinGW's file system library knows no
    // symbolic links, so the output name is taken as it is.
    int ExamineOutput(const std::filesystem::path& name, OutputTarget& target) override;
    int KeepMetadata(int handle, const std::filesystem::path& temporary, const OutputTarget& replaced) override;
    int Flush(int handle) override;
    // The moves are made with MOVEFILE_WRITE_THROUGH: nothing is left to flush.
    int FlushFolder(const std::filesystem::path& folder) override;
    // Unchanged for a minute, and deletable: a live writer holds its file open without
    // sharing, so the delete fails for it.
    bool RemoveIfAbandoned(const std::filesystem::path& name) override;

private:
    int Failure();
    // A new handle as FileOps hands it out, or a negative errno value.
    int HandOut(HANDLE file);

    Win32FileCalls& calls_;
};

}  // namespace quorvel::engine
