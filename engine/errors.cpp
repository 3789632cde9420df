#include "quorvel/engine/errors.hpp"

#include <cerrno>

namespace quorvel::engine {

IoError::IoError(int code) : EngineError(IoErrorText(code)), code_(code) {}

IoError IoError::FromErrno(int err) {
    const int code = IoErrorCodeFromErrno(err);
    if (code != 0) return IoError(code);
    return IoError(err, "I/O error " + std::to_string(err));
}

std::string IoErrorText(int code) {
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 101: return "Disk full";
    default: return "I/O error " + std::to_string(code);
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

}  // namespace quorvel::engine
