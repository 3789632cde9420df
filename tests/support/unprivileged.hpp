#pragma once

#include <functional>

namespace quorvel::testing {

// The user and group an unprivileged run takes when the tests run as root ("nobody").
inline constexpr int UnprivilegedId = 65534;

// True when the process runs as root, whom permission bits do not bind.
bool RunningAsRoot() noexcept;

// Runs body as a user whom permission bits bind. When the tests run as root, body runs
// in a forked child that has dropped to user and group 65534 with no supplementary
// groups (so it must make its own temporary folders); its GoogleTest failures are
// printed by the child and fail the calling test. Otherwise body runs right here.
void RunUnprivileged(const std::function<void()>& body);

}  // namespace quorvel::testing
