#include "unprivileged.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace quorvel::testing {

bool RunningAsRoot() noexcept {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

void RunUnprivileged(const std::function<void()>& body) {
    if (!RunningAsRoot()) {
        body();
        return;
    }
#ifndef _WIN32
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t child = ::fork();
    ASSERT_GE(child, 0) << "fork failed";
    if (child == 0) {
        const auto id = static_cast<uid_t>(UnprivilegedId);
        if (::setgroups(0, nullptr) != 0 || ::setgid(static_cast<gid_t>(id)) != 0 || ::setuid(id) != 0 ||
            ::geteuid() == 0)
            ::_exit(3);
        body();
        std::fflush(nullptr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) FAIL() << "waitpid failed";
    ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged part ended without an exit status";
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not become user " << UnprivilegedId;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged part failed (its messages are above)";
#endif
}

}  // namespace quorvel::testing
