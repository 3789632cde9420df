// The Windows file layer, run under Wine: the I/O error table from real failing calls,
// long paths reaching the system in the \\?\ form, locked inputs, read-only targets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "smf_test_support.hpp"
#include "windows_file_ops.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using engine::IoError;

// Format 1, two tracks: merges cleanly.
Bytes Song() {
    return Concat({Header(1, 2, 96), Track(Hex("00 90 3C 40 60 3C 00 00 FF 2F 00")),
                   Track(Hex("00 91 30 50 30 30 00 00 FF 2F 00"))});
}

// The error the user sees for a failed FileOps call.
IoError ErrorOf(long long negativeErrno) { return IoError::FromErrno(static_cast<int>(-negativeErrno)); }

// Records every name that reaches the system; fails writes or moves on request with
// the error the system would set.
class RecordingCalls final : public engine::Win32FileCalls {
public:
    HANDLE Open(const std::wstring& name, DWORD access, DWORD share, DWORD disposition, DWORD flags) override {
        names.push_back(name);
        return Win32FileCalls::Open(name, access, share, disposition, flags);
    }
    BOOL WriteBytes(HANDLE file, const void* buffer, DWORD size, DWORD* done) override {
        if (writeError != 0) return Fail(writeError);
        return Win32FileCalls::WriteBytes(file, buffer, size, done);
    }
    DWORD AttributesOf(const std::wstring& name) override {
        names.push_back(name);
        return Win32FileCalls::AttributesOf(name);
    }
    BOOL Move(const std::wstring& from, const std::wstring& to, DWORD flags) override {
        names.push_back(from);
        names.push_back(to);
        if (moveError != 0) return Fail(moveError);
        return Win32FileCalls::Move(from, to, flags);
    }
    BOOL Delete(const std::wstring& name) override {
        names.push_back(name);
        return Win32FileCalls::Delete(name);
    }

    std::vector<std::wstring> names;
    DWORD writeError = 0;
    DWORD moveError = 0;

private:
    static BOOL Fail(DWORD error) {
        SetLastError(error);
        return FALSE;
    }
};

bool HasLongForm(const std::wstring& name) { return name.rfind(L"\\\\?\\", 0) == 0; }

// A directory under dir whose full path is longer than 300 characters.
fs::path LongDirectoryIn(const TempDir& dir) {
    fs::path path = dir.Path();
    while (path.native().size() <= 300) path /= std::string(60, 'd') + std::to_string(path.native().size());
    fs::create_directories(path);
    return path;
}

// A handle on name held the way another program might hold it.
class Holder {
public:
    Holder(const fs::path& name, DWORD access, DWORD share)
        : handle_(CreateFileW(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Holder() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// --- The error table -------------------------------------------------------------------

TEST(WindowsErrors, SystemErrorsMapOntoTheTableAndKeepTheirNumberOtherwise) {
    const struct {
        const char* name;
        DWORD error;
        int code;
        const char* text;
    } table[] = {
        {"FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND, 2, "File not found"},
        {"PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND, 3, "Invalid filename"},
        {"INVALID_DRIVE", ERROR_INVALID_DRIVE, 3, "Invalid filename"},
        {"BAD_NETPATH", ERROR_BAD_NETPATH, 3, "Invalid filename"},
        {"INVALID_NAME", ERROR_INVALID_NAME, 3, "Invalid filename"},
        {"BAD_PATHNAME", ERROR_BAD_PATHNAME, 3, "Invalid filename"},
        {"FILENAME_EXCED_RANGE", ERROR_FILENAME_EXCED_RANGE, 3, "Invalid filename"},
        {"DIRECTORY", ERROR_DIRECTORY, 3, "Invalid filename"},
        {"TOO_MANY_OPEN_FILES", ERROR_TOO_MANY_OPEN_FILES, 4, "Too many open files"},
        {"ACCESS_DENIED", ERROR_ACCESS_DENIED, 5, "File access denied"},
        {"SHARING_VIOLATION", ERROR_SHARING_VIOLATION, 5, "File access denied"},
        {"LOCK_VIOLATION", ERROR_LOCK_VIOLATION, 5, "File access denied"},
        {"WRITE_PROTECT", ERROR_WRITE_PROTECT, 5, "File access denied"},
        {"DISK_FULL", ERROR_DISK_FULL, 101, "Disk full"},
        {"HANDLE_DISK_FULL", ERROR_HANDLE_DISK_FULL, 101, "Disk full"},
        {"DISK_QUOTA_EXCEEDED", 1295, 101, "Disk full"},
        // Numbers of the table's own size that mean something else keep their number.
        {"NOT_READY", ERROR_NOT_READY, 21, "I/O error 21"},
        {"CRC", ERROR_CRC, 23, "I/O error 23"},
        {"NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY, 8, "I/O error 8"},
        {"NETNAME_DELETED", ERROR_NETNAME_DELETED, 64, "I/O error 64"},
        {"DEVICE_REMOVED", ERROR_DEVICE_REMOVED, 1617, "I/O error 1617"},
    };
    for (const auto& row : table) {
        const IoError error = IoError::FromErrno(engine::ErrnoFromWindowsError(row.error));
        EXPECT_EQ(error.Code(), row.code) << row.name;
        EXPECT_EQ(std::string(error.what()), row.text) << row.name;
    }
}

TEST(WindowsErrors, RealFailingCallsGiveTheTablesTexts) {
    TempDir dir;
    engine::FileOps& ops = engine::SystemFileOps();
    WriteFile(dir / "taken.mid", Song());
    fs::create_directory(dir / "folder.mid");

    EXPECT_EQ(ops.OpenRead(dir / "missing.mid"), -ENOENT);
    EXPECT_EQ(std::string(ErrorOf(ops.OpenRead(dir / "missing.mid")).what()), "File not found");
    const struct {
        const char* name;
        fs::path path;
        int code;
    } creates[] = {
        {"in a missing directory", dir / "nowhere" / "out.mid", 3},
        {"with a character no name may hold", dir / "a<b>.mid", 3},
    };
    for (const auto& row : creates) {
        const int result = ops.CreateNew(row.path);
        ASSERT_LT(result, 0) << row.name;
        EXPECT_EQ(ErrorOf(result).Code(), row.code) << row.name << ": " << ErrorOf(result).what();
    }
    EXPECT_EQ(ops.CreateNew(dir / "taken.mid"), -EEXIST) << "the engine retries another temporary name";
    EXPECT_EQ(ops.Rename(dir / "taken.mid", dir / "folder.mid"), -EACCES) << "a directory is never replaced";
    EXPECT_EQ(ops.Rename(dir / "missing.mid", dir / "other.mid"), -ENOENT);
    EXPECT_LT(ops.OpenRead(dir / "folder.mid"), 0) << "a directory is no input";
    EXPECT_EQ(ops.OpenRead(fs::path(L"NUL")), -EINVAL) << "a device is no input";
}

// --- Paths -----------------------------------------------------------------------------

TEST(SystemPathForm, LongPathsAloneTakeTheLongForm) {
    const std::wstring name(300, L'n');
    const struct {
        const char* name;
        std::wstring given;
        std::wstring expected;
    } table[] = {
        {"short with drive letter", L"C:\\music\\song.mid", L"C:\\music\\song.mid"},
        {"short relative", L"music\\song.mid", L"music\\song.mid"},
        {"already long form", L"\\\\?\\C:\\music\\song.mid", L"\\\\?\\C:\\music\\song.mid"},
        {"device", L"\\\\.\\NUL", L"\\\\.\\NUL"},
        {"long with drive letter", L"C:\\music\\" + name, L"\\\\?\\C:\\music\\" + name},
        {"long with slashes and dots", L"C:/music/./old/../" + name, L"\\\\?\\C:\\music\\" + name},
        {"long UNC", L"\\\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name},
    };
    for (const auto& row : table) EXPECT_EQ(engine::SystemPathForm(fs::path(row.given)), row.expected) << row.name;
}

TEST(LongPaths, ReachTheSystemInTheLongFormAndConvert) {
    TempDir dir;
    const fs::path folder = LongDirectoryIn(dir);
    WriteFile(folder / "in.mid", Song());
    RecordingCalls calls;
    engine::WindowsFileOps ops(calls);
    ASSERT_EQ(engine::ConvertToType0(folder / "in.mid", folder / "out.mid", ops), 0);
    EXPECT_EQ(ReadFile(folder / "out.mid"), RunType0(Song()).output);
    ASSERT_FALSE(calls.names.empty());
    for (const std::wstring& name : calls.names) EXPECT_TRUE(HasLongForm(name)) << batch::Utf8FromPath(name);
}

TEST(LongPaths, ShortPathsReachTheSystemAsGiven) {
    TempDir dir;
    WriteFile(dir / "in.mid", Song());
    RecordingCalls calls;
    engine::WindowsFileOps ops(calls);
    ASSERT_EQ(engine::ConvertToType0(dir / "in.mid", dir / "out.mid", ops), 0);
    ASSERT_FALSE(calls.names.empty());
    for (const std::wstring& name : calls.names) EXPECT_FALSE(HasLongForm(name)) << batch::Utf8FromPath(name);
    EXPECT_EQ(calls.names.front(), (dir / "in.mid").native());
}

// --- Inputs held by other programs -------------------------------------------------------

TEST(LockedInput, CannotBeOpenedAndGivesResultOne) {
    const struct {
        const char* name;
        DWORD access;
        DWORD share;
    } holders[] = {
        {"opened unshared", GENERIC_READ, 0},
        {"being written", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    for (const auto& row : holders) {
        TempDir dir;
        WriteFile(dir / "in.mid", Song());
        const Holder holder(dir / "in.mid", row.access, row.share);
        ASSERT_TRUE(holder.Held()) << row.name;
        EXPECT_EQ(engine::ConvertToType0(dir / "in.mid", dir / "out.mid"), 1) << row.name;
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid"})) << row.name;
    }
}

TEST(LockedInput, ReadersThatShareReadingDoNotStopTheConversion) {
    TempDir dir;
    WriteFile(dir / "in.mid", Song());
    const Holder holder(dir / "in.mid", GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(holder.Held());
    EXPECT_EQ(engine::ConvertToType0(dir / "in.mid", dir / "out.mid"), 0);
}

// --- Replacing outputs -------------------------------------------------------------------

TEST(ReadOnlyTarget, IsRefusedAsFileAccessDeniedAndKept) {
    TempDir dir;
    WriteFile(dir / "in.mid", Song());
    const Bytes old = Text("old bytes");
    WriteFile(dir / "out.mid", old);
    ASSERT_TRUE(SetFileAttributesW((dir / "out.mid").c_str(), FILE_ATTRIBUTE_READONLY));
    try {
        engine::ConvertToType0(dir / "in.mid", dir / "out.mid");
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), 5);
        EXPECT_EQ(std::string(e.what()), "File access denied");
    }
    EXPECT_EQ(ReadFile(dir / "out.mid"), old);
    EXPECT_NE(GetFileAttributesW((dir / "out.mid").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"})) << "no temporary file is left";
    SetFileAttributesW((dir / "out.mid").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(FailingSystem, WriteAndMoveErrorsLeaveTheOldOutputAndNoTemporaryFile) {
    const struct {
        const char* name;
        DWORD writeError;
        DWORD moveError;
        const char* text;
    } table[] = {
        {"disk full while writing", ERROR_DISK_FULL, 0, "Disk full"},
        {"device gone while writing", ERROR_DEVICE_REMOVED, 0, "I/O error 1617"},
        {"target held open by another program", 0, ERROR_SHARING_VIOLATION, "File access denied"},
    };
    for (const auto& row : table) {
        TempDir dir;
        WriteFile(dir / "in.mid", Song());
        WriteFile(dir / "out.mid", Text("old bytes"));
        RecordingCalls calls;
        calls.writeError = row.writeError;
        calls.moveError = row.moveError;
        engine::WindowsFileOps ops(calls);
        try {
            engine::ConvertToType0(dir / "in.mid", dir / "out.mid", ops);
            ADD_FAILURE() << row.name << ": no error";
        } catch (const IoError& e) {
            EXPECT_EQ(std::string(e.what()), row.text) << row.name;
        }
        EXPECT_EQ(ReadFile(dir / "out.mid"), Text("old bytes")) << row.name;
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"})) << row.name;
    }
}

}  // namespace
}  // namespace quorvel::testing
