// The engine's file copy (the karaoke batch's copy): whole or absent, never replacing
// with NeverReplace, replacing with Replace.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <functional>
#include <string>

#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/file_copy.hpp"
#include "robustness_fixtures.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using engine::ReplacePolicy;

// The system's files, with a failing write and a step run just before the final move.
class CopyOps final : public engine::FileOps {
public:
    int failingWrite = 0;         // 1-based call of Write that fails; 0: none
    std::ptrdiff_t partial = -1;  // that call delivers this many bytes instead of failing
    int error = ENOSPC;
    bool baseNoReplace = false;  // RenameNoReplace as FileOps does it for every other FileOps
    std::function<void()> beforeMove;

    int OpenRead(const fs::path& name) override { return System().OpenRead(name); }
    int CreateNew(const fs::path& name) override { return System().CreateNew(name); }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override {
        return System().Read(handle, buffer, size);
    }
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override {
        if (++writes_ != failingWrite) return System().Write(handle, buffer, size);
        if (partial < 0) return -error;
        return System().Write(handle, buffer, std::min(size, static_cast<std::size_t>(partial)));
    }
    int Close(int handle) override { return System().Close(handle); }
    int Rename(const fs::path& from, const fs::path& to) override {
        if (beforeMove) beforeMove();
        return System().Rename(from, to);
    }
    int RenameNoReplace(const fs::path& from, const fs::path& to) override {
        if (beforeMove) beforeMove();
        return baseNoReplace ? FileOps::RenameNoReplace(from, to) : System().RenameNoReplace(from, to);
    }
    int Remove(const fs::path& name) override { return System().Remove(name); }

private:
    static engine::FileOps& System() { return engine::SystemFileOps(); }
    int writes_ = 0;
};

// More than one read of the copy's 64 KiB, so that a later write can fail.
Bytes LargeInput() {
    Bytes bytes(150'000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
    return bytes;
}

const Bytes kOld = Text("the file that was there");

struct PolicyCase {
    const char* name;
    ReplacePolicy policy;
    bool targetExists;
    bool copies;  // the target ends up holding the input
};

void PrintTo(const PolicyCase& c, std::ostream* os) { *os << c.name; }

class CopyPolicy : public ::testing::TestWithParam<PolicyCase> {};

TEST_P(CopyPolicy, CopiesOrKeepsTheTarget) {
    const PolicyCase& c = GetParam();
    TempDir dir;
    const Bytes input = LargeInput();
    WriteFile(dir / "in.mid", input);
    if (c.targetExists) WriteFile(dir / "out.kar", kOld);
    if (c.copies)
        engine::CopyFileAtomically(dir / "in.mid", dir / "out.kar", c.policy);
    else
        EXPECT_THROW(engine::CopyFileAtomically(dir / "in.mid", dir / "out.kar", c.policy), engine::OutputFileExists);
    EXPECT_TRUE(ReadFile(dir / "out.kar") == (c.copies ? input : kOld));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.kar"}));
}

INSTANTIATE_TEST_SUITE_P(
    Policies, CopyPolicy,
    ::testing::Values(PolicyCase{"NeverReplaceToANewName", ReplacePolicy::NeverReplace, false, true},
                      PolicyCase{"NeverReplaceOntoAFile", ReplacePolicy::NeverReplace, true, false},
                      PolicyCase{"ReplaceToANewName", ReplacePolicy::Replace, false, true},
                      PolicyCase{"ReplaceOntoAFile", ReplacePolicy::Replace, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A write failing part way: "Disk full", no temporary file, and the target as it was
// (absent, or the earlier file).
TEST(CopyWholeOrAbsent, AFailedWriteLeavesNoPartOfTheCopy) {
    const struct {
        const char* name;
        int failingWrite;
        std::ptrdiff_t partial;
        int error;
    } faults[] = {{"second write on a full disk", 2, -1, ENOSPC}, {"second write delivering nothing", 2, 0, 0}};
    for (const auto& fault : faults) {
        for (const ReplacePolicy policy : {ReplacePolicy::NeverReplace, ReplacePolicy::Replace}) {
            for (const bool targetExists : {false, true}) {
                if (targetExists && policy == ReplacePolicy::NeverReplace) continue;  // refused before writing
                SCOPED_TRACE(std::string(fault.name) + (policy == ReplacePolicy::Replace ? ", Replace" : "") +
                             (targetExists ? ", onto a file" : ""));
                TempDir dir;
                WriteFile(dir / "in.mid", LargeInput());
                if (targetExists) WriteFile(dir / "out.kar", kOld);
                const auto before = Snapshot(dir.Path());
                CopyOps ops;
                ops.failingWrite = fault.failingWrite;
                ops.partial = fault.partial;
                ops.error = fault.error;
                try {
                    engine::CopyFileAtomically(dir / "in.mid", dir / "out.kar", policy, ops);
                    ADD_FAILURE() << "the copy succeeded";
                } catch (const engine::IoError& e) {
                    EXPECT_EQ(e.Code(), 101);
                    EXPECT_EQ(std::string(e.what()), "Disk full");
                }
                EXPECT_EQ(Snapshot(dir.Path()), before);
            }
        }
    }
}

// The name is free when the copy starts and taken just before the final move: the
// file that appeared stays, the copy is dropped. The system's move also keeps a
// dangling symbolic link, which FileOps' own check cannot see.
TEST(CopyNeverReplace, ATargetThatAppearsDuringTheCopyIsKept) {
    const struct {
        const char* name;
        bool link;
        bool base;
    } cases[] = {{"a file, the system's move", false, false},
#ifndef _WIN32
                 {"a dangling symbolic link, the system's move", true, false},
#endif
                 {"a file, FileOps' own RenameNoReplace", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        WriteFile(dir / "in.mid", LargeInput());
        CopyOps ops;
        ops.baseNoReplace = c.base;
        ops.beforeMove = [&] {
            if (c.link)
                fs::create_symlink("nowhere.mid", dir / "out.kar");
            else
                WriteFile(dir / "out.kar", kOld);
        };
        EXPECT_THROW(engine::CopyFileAtomically(dir / "in.mid", dir / "out.kar", ReplacePolicy::NeverReplace, ops),
                     engine::OutputFileExists);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.kar"}));
        if (c.link)
            EXPECT_EQ(fs::read_symlink(dir / "out.kar"), fs::path("nowhere.mid"));
        else
            EXPECT_TRUE(ReadFile(dir / "out.kar") == kOld);
    }
}

#ifndef _WIN32
// Onto itself, directly or through a symbolic link: the file is not rewritten at all.
TEST(CopyReplace, OntoItselfLeavesTheFileAsItIs) {
    TempDir dir;
    const Bytes input = LargeInput();
    WriteFile(dir / "song.kar", input);
    fs::create_symlink("song.kar", dir / "alias.kar");
    struct stat before {};
    ASSERT_EQ(::stat((dir / "song.kar").c_str(), &before), 0);
    CopyOps ops;
    ops.beforeMove = [] { ADD_FAILURE() << "the file was moved over itself"; };
    engine::CopyFileAtomically(dir / "song.kar", dir / "song.kar", ReplacePolicy::Replace, ops);
    engine::CopyFileAtomically(dir / "song.kar", dir / "alias.kar", ReplacePolicy::Replace, ops);
    struct stat after {};
    ASSERT_EQ(::stat((dir / "song.kar").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_TRUE(fs::is_symlink(dir / "alias.kar"));
    EXPECT_TRUE(ReadFile(dir / "song.kar") == input);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"alias.kar", "song.kar"}));
}
#endif

}  // namespace
}  // namespace quorvel::testing
