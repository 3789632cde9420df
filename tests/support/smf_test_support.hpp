#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/engine/file_ops.hpp"
#include "quorvel/engine/memory_limit.hpp"

namespace quorvel::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const noexcept { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
    // Names of every entry in the directory, sorted.
    std::vector<std::string> Entries() const;

private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
Bytes ReadFile(const std::filesystem::path& path);

// Byte builders for Standard MIDI Files.
Bytes Header(int format, int tracks, int division);
Bytes Track(const Bytes& events);  // "MTrk", the length, the events
Bytes Concat(std::initializer_list<Bytes> parts);
// The file with count more tracks, each holding just an end-of-track event at `time`
// (which the merge leaves out): with `time` no later than the file's last event, the
// merge's output stays the same, but from engine::WindowTracks tracks on it takes the
// events in windows rather than through its heap.
Bytes WithIdleTracks(const Bytes& file, int count, std::uint32_t time);
Bytes Text(std::string_view text);  // the bytes of a text
Bytes VarLen(std::uint32_t value);
// A meta event with delta, type and data, its length written as a variable-length number.
Bytes Meta(std::uint32_t delta, std::uint8_t type, const Bytes& data);
// Parses "4D 54 68 64" (blanks ignored) into bytes.
Bytes Hex(std::string_view hex);
std::string ToHex(const Bytes& bytes);

// Result of running a conversion on the file "in.mid" holding input, written to
// "out.mid", both kept in a MemoryFileOps. Exceptions pass through.
struct Conversion {
    int code = -1;
    bool wroteOutput = false;
    Bytes output;
};
Conversion RunType0(const Bytes& input);
Conversion RunType1(const Bytes& input);

// Sets the engine's memory limit while it lives, then puts the one before back.
class ScopedMemoryLimit {
public:
    explicit ScopedMemoryLimit(std::uint64_t bytes) : before_(engine::MemoryLimit()) { engine::SetMemoryLimit(bytes); }
    ~ScopedMemoryLimit() { engine::SetMemoryLimit(before_); }
    ScopedMemoryLimit(const ScopedMemoryLimit&) = delete;
    ScopedMemoryLimit& operator=(const ScopedMemoryLimit&) = delete;

private:
    std::uint64_t before_;
};

// Real files, with a failure injected into the Nth call of one operation.
class FaultyFileOps final : public engine::FileOps {
public:
    enum class Op { OpenRead, CreateNew, Read, Write, Close, Rename };
    // Fails call number `nth` (1-based) of `op` with -error. For Write, the call may
    // instead deliver `partial` bytes (a short write); every later Write then fails with
    // -error (a disk filling up), or goes through when error is 0.
    FaultyFileOps(Op op, int nth, int error, std::ptrdiff_t partial = -1)
        : op_(op), nth_(nth), error_(error), partial_(partial) {}

    int OpenRead(const std::filesystem::path& name) override;
    int CreateNew(const std::filesystem::path& name) override;
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override;
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override;
    int Close(int handle) override;
    int Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int Remove(const std::filesystem::path& name) override;
    // Never failing: the system's own.
    int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int ExamineOutput(const std::filesystem::path& name, engine::OutputTarget& target) override;
    int KeepMetadata(int handle, const std::filesystem::path& temporary, const engine::OutputTarget& replaced) override;
    int Flush(int handle) override;
    int FlushFolder(const std::filesystem::path& folder) override;

private:
    bool Fails(Op op);
    Op op_;
    int nth_;
    int error_;
    std::ptrdiff_t partial_;
    int calls_[6] = {};
};

}  // namespace quorvel::testing
