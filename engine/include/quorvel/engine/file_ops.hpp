#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace quorvel::engine {

// What stands at an output name before a new file takes it.
struct OutputTarget {
    // Where the new file goes: the output name, or the file a symbolic link there leads
    // to (the link stays, its target is replaced).
    std::filesystem::path path;
    bool exists = false;    // something is at path: the new file replaces it
    bool readOnly = false;  // a regular file there without any write permission
    // What the replacement keeps of a regular file there. POSIX: the permission bits,
    // owner and group (-1 when unknown); Windows: the file attributes.
    std::uint32_t mode = 0;
    std::int64_t owner = -1;
    std::int64_t group = -1;
    std::uint32_t attributes = 0;
};

// The handful of file operations the engine needs. The real implementation talks to
// the operating system; tests and fuzzers substitute their own to inject failures or
// to keep files in memory. Every call reports failure as a negative errno value.
class FileOps {
public:
    virtual ~FileOps() = default;

    // Opens an existing regular file for reading only. Returns a handle >= 0 or -errno.
    virtual int OpenRead(const std::filesystem::path& name) = 0;
    // Creates a new file for writing; fails with -EEXIST when the name is taken.
    virtual int CreateNew(const std::filesystem::path& name) = 0;
    // Reads up to size bytes; returns the count delivered (0 at the end) or -errno.
    virtual std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) = 0;
    // The size of the file just opened as handle (by OpenRead, nothing read yet) as far
    // as the system knows, or -1 when it cannot tell. Only a hint for the size of the
    // first read: the file may change meanwhile. The default is -1.
    virtual std::int64_t SizeHint(int handle);
    // Writes up to size bytes; returns the count delivered or -errno.
    virtual std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) = 0;
    // Closes the handle; 0 or -errno. The handle is gone either way.
    virtual int Close(int handle) = 0;
    // Moves from onto to, replacing an existing file at to. 0 or -errno.
    virtual int Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    // Moves from onto to only when no file is at to; -EEXIST when one is. 0 or -errno.
    // The default looks for to with OpenRead before calling Rename, which holds only
    // where nothing else creates files meanwhile (files kept in memory); the system's
    // files refuse in the move itself.
    virtual int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
    // Deletes a file; 0 or -errno.
    virtual int Remove(const std::filesystem::path& name) = 0;

    // Fills target for the output name: follows symbolic links at it and tells what is
    // at the end. 0 or -errno. The default, for files that have no links and no
    // metadata (files in memory), looks with OpenRead.
    virtual int ExamineOutput(const std::filesystem::path& name, OutputTarget& target);
    // Gives the new file open as handle (named temporary) what the file it is to
    // replace has (replaced, from ExamineOutput): permission bits, and owner and group
    // where the process may set them; attributes on Windows. 0 or -errno. The default
    // does nothing.
    virtual int KeepMetadata(int handle, const std::filesystem::path& temporary, const OutputTarget& replaced);
    // Makes the bytes written to handle durable on disk. 0 or -errno; the default does nothing.
    virtual int Flush(int handle);
    // Makes the names in folder durable on disk (after a move into it). 0 or -errno; the
    // default does nothing.
    virtual int FlushFolder(const std::filesystem::path& folder);

    // A new file without a name in folder, for writing: the system discards it when the
    // process ends before LinkUnnamed gives it one, so a killed run leaves nothing behind.
    // Returns a handle or -errno; -EOPNOTSUPP where there are no such files (the default,
    // Windows, file systems without them).
    virtual int CreateUnnamed(const std::filesystem::path& folder);
    // Gives the unnamed file open as handle the name to, which must be free (-EEXIST when
    // it is taken). 0 or -errno; the default has no unnamed files (-EOPNOTSUPP).
    virtual int LinkUnnamed(int handle, const std::filesystem::path& to);
    // Removes name, a temporary file of Quorvel's, when no process writes it any more
    // and it has not changed for a while (a run that was killed); a file a live run
    // writes is never touched. True when it was removed. The default removes nothing.
    virtual bool RemoveIfAbandoned(const std::filesystem::path& name);
};

// The operating system's files. Stateless and safe to share between threads.
FileOps& SystemFileOps();

}  // namespace quorvel::engine
