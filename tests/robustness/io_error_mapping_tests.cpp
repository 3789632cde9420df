// The platform's errno values onto the I/O error numbers, and the numbers onto the
// texts the user sees.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "quorvel/engine/errors.hpp"

namespace quorvel::testing {
namespace {

using engine::IoError;
using engine::IoErrorCodeFromErrno;
using engine::IoErrorText;

struct Mapping {
    const char* name;
    int error;
    int code;
};

TEST(IoErrorMapping, ErrnoValuesMapOntoTheTable) {
    const Mapping table[] = {
        {"ENOENT", ENOENT, 2},       {"ENAMETOOLONG", ENAMETOOLONG, 3}, {"ENOTDIR", ENOTDIR, 3},
        {"EISDIR", EISDIR, 3},       {"EINVAL", EINVAL, 3},             {"EMFILE", EMFILE, 4},
        {"ENFILE", ENFILE, 4},       {"EACCES", EACCES, 5},             {"EPERM", EPERM, 5},
        {"EROFS", EROFS, 5},         {"ENOSPC", ENOSPC, 101},           {"EFBIG", EFBIG, 101},
#ifdef EDQUOT
        {"EDQUOT", EDQUOT, 101},
#endif
    };
    for (const Mapping& m : table) EXPECT_EQ(IoErrorCodeFromErrno(m.error), m.code) << m.name;
}

// Errors with no entry of their own map to no code and keep the platform's number and
// its "I/O error N", also where that number equals one of the table's codes (on Linux
// EIO is 5, EINTR 4, ESRCH 3 and ENETUNREACH 101).
TEST(IoErrorMapping, OtherErrnoValuesKeepTheirOwnNumber) {
    const Mapping table[] = {
        {"EIO", EIO, EIO},       {"EINTR", EINTR, EINTR},    {"ESRCH", ESRCH, ESRCH},
        {"ENETUNREACH", ENETUNREACH, ENETUNREACH},           {"EBADF", EBADF, EBADF},
        {"EBUSY", EBUSY, EBUSY}, {"EXDEV", EXDEV, EXDEV},    {"ENOMEM", ENOMEM, ENOMEM},
        {"ELOOP", ELOOP, ELOOP}, {"ETXTBSY", ETXTBSY, ETXTBSY},
    };
    for (const Mapping& m : table) {
        EXPECT_EQ(IoErrorCodeFromErrno(m.error), 0) << m.name;
        const IoError error = IoError::FromErrno(m.error);
        EXPECT_EQ(error.Code(), m.code) << m.name;
        EXPECT_EQ(std::string(error.what()), "I/O error " + std::to_string(m.error)) << m.name;
    }
}

TEST(IoErrorMapping, MappedErrnoValuesReadAsTheirCode) {
    const struct {
        const char* name;
        int error;
        const char* text;
    } table[] = {
        {"ENOENT", ENOENT, "File not found"},  {"ENOTDIR", ENOTDIR, "Invalid filename"},
        {"EMFILE", EMFILE, "Too many open files"}, {"EROFS", EROFS, "File access denied"},
        {"ENOSPC", ENOSPC, "Disk full"},
    };
    for (const auto& row : table) {
        const IoError error = IoError::FromErrno(row.error);
        EXPECT_EQ(error.Code(), IoErrorCodeFromErrno(row.error)) << row.name;
        EXPECT_EQ(std::string(error.what()), row.text) << row.name;
    }
}

TEST(IoErrorMapping, CodesHaveTheirTexts) {
    const struct {
        int code;
        const char* text;
    } table[] = {
        {2, "File not found"},  {3, "Invalid filename"}, {4, "Too many open files"}, {5, "File access denied"},
        {101, "Disk full"},     {0, "I/O error 0"},      {1, "I/O error 1"},         {6, "I/O error 6"},
        {13, "I/O error 13"},   {100, "I/O error 100"},  {102, "I/O error 102"},     {-7, "I/O error -7"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(IoErrorText(row.code), row.text) << row.code;
        const IoError error(row.code);
        EXPECT_EQ(error.Code(), row.code);
        EXPECT_EQ(std::string(error.what()), row.text);
    }
}

}  // namespace
}  // namespace quorvel::testing
