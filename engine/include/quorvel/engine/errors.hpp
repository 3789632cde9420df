#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvel::engine {

// Base of every exception the engine throws; what() is the text shown to the user.
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file error after the input was opened: reading, creating, writing, closing or
// renaming. Code() is the I/O error number (2, 3, 4, 5, 101 or the platform's own).
class IoError : public EngineError {
public:
    // The error of one of the numbers of the table: 2, 3, 4, 5, 101, or "I/O error N".
    explicit IoError(int code);
    // The error for a platform errno value, mapped onto the table where it belongs; any
    // other value keeps its own number and reads "I/O error N", even where that number
    // coincides with one of the table (EIO is 5 on Linux, yet no access problem). A
    // Windows system error carried as WindowsErrorBase + N reads "I/O error N".
    static IoError FromErrno(int err);
    int Code() const noexcept { return code_; }

private:
    IoError(int code, const std::string& text) : EngineError(text), code_(code) {}
    int code_;
};

// No memory for another page of the file image.
class OutOfMemory : public EngineError {
public:
    OutOfMemory() : EngineError("Out of memory") {}
};

// The input's structure is broken; Reason() says where ("track 2 is not an MTrk chunk").
class MalformedFile : public EngineError {
public:
    explicit MalformedFile(std::string reason)
        : EngineError("Malformed Midifile: " + reason), reason_(std::move(reason)) {}
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::string reason_;
};

// The input and the output being built together need more memory than the memory
// limit allows, or the output would need a track chunk longer than 4 bytes can state.
class FileTooLarge : public EngineError {
public:
    // "File too large (over the memory limit of 1 GiB)" for a limit of 1 GiB.
    explicit FileTooLarge(std::uint64_t memoryLimit);
    // "File too large (a track of 4 GiB or more cannot be written)".
    static FileTooLarge TrackTooLong();

private:
    struct Why {
        std::string text;
    };
    explicit FileTooLarge(const Why& why) : EngineError("File too large (" + why.text + ")") {}
};

// The user-facing text of an I/O error number: "File not found", ..., "I/O error 13".
std::string IoErrorText(int code);

// Maps a platform errno value onto the I/O error numbers above; 0 when it has none
// of them.
int IoErrorCodeFromErrno(int err) noexcept;

// FileOps report failures as errno values. On Windows a system error (GetLastError)
// that the I/O error table names travels as the errno value of that entry; any other
// travels as WindowsErrorBase + its number, above every errno value, so that the user
// sees the system's own number.
inline constexpr int WindowsErrorBase = 0x20000000;

// The errno value (positive, as FileOps negate it) for a Windows system error number:
// not found ENOENT; path not found and bad names ENOTDIR, EINVAL or ENAMETOOLONG; too
// many open files EMFILE; access denied, sharing and lock violations EACCES; write
// protection EROFS; disk full and quota ENOSPC; name taken EEXIST; any other
// WindowsErrorBase + error. Pure arithmetic on the number: usable on every platform.
int ErrnoFromWindowsError(std::uint32_t error) noexcept;

}  // namespace quorvel::engine
