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

// Each errno value with a code of the table gives that code and its text.
TEST(IoErrorMapping, ErrnoValuesMapOntoTheTable) {
    const struct {
        const char* name;
        int error;
        int code;
        const char* text;
    } table[] = {
        {"ENOENT", ENOENT, 2, "File not found"},      {"ENAMETOOLONG", ENAMETOOLONG, 3, "Invalid filename"},
        {"ENOTDIR", ENOTDIR, 3, "Invalid filename"},  {"EISDIR", EISDIR, 3, "Invalid filename"},
        {"EINVAL", EINVAL, 3, "Invalid filename"},    {"EILSEQ", EILSEQ, 3, "Invalid filename"},
        {"EMFILE", EMFILE, 4, "Too many open files"}, {"ENFILE", ENFILE, 4, "Too many open files"},
        {"EACCES", EACCES, 5, "File access denied"},  {"EPERM", EPERM, 5, "File access denied"},
        {"EROFS", EROFS, 5, "File access denied"},    {"ENOSPC", ENOSPC, 101, "Disk full"},
        {"EFBIG", EFBIG, 101, "Disk full"},
#ifdef EDQUOT
        {"EDQUOT", EDQUOT, 101, "Disk full"},
#endif
    };
    for (const auto& row : table) {
        EXPECT_EQ(IoErrorCodeFromErrno(row.error), row.code) << row.name;
        const IoError error = IoError::FromErrno(row.error);
        EXPECT_EQ(error.Code(), row.code) << row.name;
        EXPECT_EQ(std::string(error.what()), row.text) << row.name;
    }
}

// Errors with no entry of their own map to no code and keep the platform's number and
// its "I/O error N", also where that number equals one of the table's codes (on Linux
// EIO is 5, EINTR 4, ESRCH 3 and ENETUNREACH 101).
TEST(IoErrorMapping, OtherErrnoValuesKeepTheirOwnNumber) {
    const Mapping table[] = {
        {"EIO", EIO, EIO},       {"EINTR", EINTR, EINTR},
        {"ESRCH", ESRCH, ESRCH}, {"ENETUNREACH", ENETUNREACH, ENETUNREACH},
        {"EBADF", EBADF, EBADF}, {"EBUSY", EBUSY, EBUSY},
        {"EXDEV", EXDEV, EXDEV}, {"ENOMEM", ENOMEM, ENOMEM},
        {"ELOOP", ELOOP, ELOOP}, {"ETXTBSY", ETXTBSY, ETXTBSY},
    };
    for (const Mapping& m : table) {
        EXPECT_EQ(IoErrorCodeFromErrno(m.error), 0) << m.name;
        const IoError error = IoError::FromErrno(m.error);
        EXPECT_EQ(error.Code(), m.code) << m.name;
        EXPECT_EQ(std::string(error.what()), "I/O error " + std::to_string(m.error)) << m.name;
    }
}

TEST(IoErrorMapping, CodesHaveTheirTexts) {
    const struct {
        int code;
        const char* text;
    } table[] = {
        {2, "File not found"}, {3, "Invalid filename"}, {4, "Too many open files"}, {5, "File access denied"},
        {101, "Disk full"},    {0, "I/O error 0"},      {1, "I/O error 1"},         {6, "I/O error 6"},
        {13, "I/O error 13"},  {100, "I/O error 100"},  {102, "I/O error 102"},     {-7, "I/O error -7"},
    };
    for (const auto& row : table) {
        EXPECT_EQ(IoErrorText(row.code), row.text) << row.code;
        const IoError error(row.code);
        EXPECT_EQ(error.Code(), row.code) << row.code;
        EXPECT_EQ(std::string(error.what()), row.text) << row.code;
    }
}

}  // namespace
}  // namespace quorvel::testing
