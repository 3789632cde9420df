#pragma once

namespace quorvel::engine {

// Removes every temporary file the engine has created and not yet moved to its name or
// removed itself (writes still running are abandoned: their final step fails), and makes
// every later attempt to create one fail. For a process about to end on a signal or a
// closed output. Lock-free and async-signal-safe: callable from any thread, from a
// signal handler too; calling it again does no harm.
void RemoveTemporaryFiles() noexcept;

}  // namespace quorvel::engine
