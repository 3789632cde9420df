#include "quorvel/engine/errors.hpp"

#include <cerrno>

namespace quorvel::engine {

IoError::IoError(int code) : EngineError(IoErrorText(code)), code_(code) {}

namespace {

std::string OtherErrorText(int code) {
    std::string text = "I/O error ";
    text += std::to_string(code);
    return text;
}

}  // namespace

IoError IoError::FromErrno(int err) {
    const int code = IoErrorCodeFromErrno(err);
    if (code != 0) return IoError(code);
    const int number = err >= WindowsErrorBase ? err - WindowsErrorBase : err;
    return IoError(number, OtherErrorText(number));
}

std::string IoErrorText(int code) {
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 101: return "Disk full";
    default: return OtherErrorText(code);
    }
}

int IoErrorCodeFromErrno(int err) noexcept {
    switch (err) {
    case ENOENT: return 2;
    case ENAMETOOLONG:
    case ENOTDIR:
    case EINVAL:
    case EILSEQ:
    case EISDIR: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS: return 5;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG: return 101;
    default: return 0;
    }
}

int ErrnoFromWindowsError(std::uint32_t error) noexcept {
    // The numbers of winerror.h, written out so that the table compiles everywhere.
    switch (error) {
    case 2: return ENOENT;          // ERROR_FILE_NOT_FOUND
    case 3:                         // ERROR_PATH_NOT_FOUND
    case 15:                        // ERROR_INVALID_DRIVE
    case 53:                        // ERROR_BAD_NETPATH
    case 67:                        // ERROR_BAD_NET_NAME
    case 267: return ENOTDIR;       // ERROR_DIRECTORY
    case 123:                       // ERROR_INVALID_NAME
    case 161: return EINVAL;        // ERROR_BAD_PATHNAME
    case 206: return ENAMETOOLONG;  // ERROR_FILENAME_EXCED_RANGE
    case 4: return EMFILE;          // ERROR_TOO_MANY_OPEN_FILES
    case 5:                         // ERROR_ACCESS_DENIED
    case 32:                        // ERROR_SHARING_VIOLATION
    case 33: return EACCES;         // ERROR_LOCK_VIOLATION
    case 19: return EROFS;          // ERROR_WRITE_PROTECT
    case 39:                        // ERROR_HANDLE_DISK_FULL
    case 112:                       // ERROR_DISK_FULL
    case 1295: return ENOSPC;       // ERROR_DISK_QUOTA_EXCEEDED
    case 80:                        // ERROR_FILE_EXISTS
    case 183: return EEXIST;        // ERROR_ALREADY_EXISTS
    default:
        // System error numbers are far below 2^28; the mask keeps the sum an int.
        return WindowsErrorBase + static_cast<int>(error & 0x0FFFFFFF);
    }
}

}  // namespace quorvel::engine
