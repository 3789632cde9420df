#pragma once

#include <filesystem>

#include "quorvel/engine/file_ops.hpp"
#include "quorvel/engine/replace_policy.hpp"

namespace quorvel::engine {

// Copies the bytes of from to a new file named to: reads from through ops, writes a
// temporary file beside to and moves it to the name only once every byte is written,
// so the copy is whole or absent. With NeverReplace an existing file at to (also one
// that appears while the copy runs) stays and OutputFileExists is thrown; with Replace
// it is replaced (keeping its permission bits, owner and group where the process may
// set them), and copying a file onto itself leaves it as it is. A read-only file at to
// is never replaced (IoError 5); a symbolic link there is followed.
// Throws IoError (a full disk is "Disk full") or OutOfMemory; to is then untouched and
// no temporary file is left. (Not named CopyFile: <windows.h> defines that as a macro.)
void CopyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to, ReplacePolicy policy,
                        FileOps& ops = SystemFileOps());

}  // namespace quorvel::engine
