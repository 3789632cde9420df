#pragma once

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
    explicit IoError(int code);
    int Code() const noexcept { return code_; }

private:
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

// The input, or the output being built, needs more pages than the image has slots.
class FileTooLarge : public EngineError {
public:
    FileTooLarge() : EngineError("File too large") {}
};

// The user-facing text of an I/O error number: "File not found", ..., "I/O error 13".
std::string IoErrorText(int code);

// Maps a platform errno value onto the I/O error numbers above.
int IoErrorCodeFromErrno(int err) noexcept;

}  // namespace quorvel::engine
