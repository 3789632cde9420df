// What the engine's last step does to the files around it: a file appearing under the
// output name, names of its temporary files another program took, the metadata of a
// replaced file, read-only files, symbolic links and the flushes before a replacement.
#include <gtest/gtest.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "quorvel/engine/conversions.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/engine/file_copy.hpp"
#include "quorvel/engine/temporary_files.hpp"
#include "robustness_fixtures.hpp"
#include "unprivileged.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using engine::ReplacePolicy;

const Bytes kEarlier = Text("an earlier output file");

// The system's files, recording the calls of the last step and running hooks in them.
class SeamOps final : public engine::FileOps {
public:
    std::function<void()> beforeMove;        // runs just before the final move
    std::function<void()> onWrite;           // runs before each write
    int collisions = 0;                      // CreateNew answers -EEXIST this many times first
    std::vector<std::string> calls;          // "flush", "close", "move", "flush folder"
    std::vector<fs::path> created, removed;  // names CreateNew was asked for; Remove was called with

    int OpenRead(const fs::path& name) override { return System().OpenRead(name); }
    int CreateNew(const fs::path& name) override {
        created.push_back(name);
        if (collisions > 0) {
            --collisions;
            return -EEXIST;
        }
        return System().CreateNew(name);
    }
    std::ptrdiff_t Read(int handle, void* buffer, std::size_t size) override {
        return System().Read(handle, buffer, size);
    }
    std::ptrdiff_t Write(int handle, const void* buffer, std::size_t size) override {
        if (onWrite) onWrite();
        return System().Write(handle, buffer, size);
    }
    int Close(int handle) override {
        calls.push_back("close");
        return System().Close(handle);
    }
    int Rename(const fs::path& from, const fs::path& to) override {
        if (beforeMove) beforeMove();
        calls.push_back("move");
        return System().Rename(from, to);
    }
    int RenameNoReplace(const fs::path& from, const fs::path& to) override {
        if (beforeMove) beforeMove();
        calls.push_back("move");
        return System().RenameNoReplace(from, to);
    }
    int Remove(const fs::path& name) override {
        removed.push_back(name);
        return System().Remove(name);
    }
    int ExamineOutput(const fs::path& name, engine::OutputTarget& target) override {
        return System().ExamineOutput(name, target);
    }
    int KeepMetadata(int handle, const fs::path& temporary, const engine::OutputTarget& replaced) override {
        return System().KeepMetadata(handle, temporary, replaced);
    }
    int Flush(int handle) override {
        calls.push_back("flush");
        return System().Flush(handle);
    }
    int FlushFolder(const fs::path& folder) override {
        calls.push_back("flush folder");
        return System().FlushFolder(folder);
    }

private:
    static engine::FileOps& System() { return engine::SystemFileOps(); }
};

using PolicyConversion = int (*)(const fs::path&, const fs::path&, ReplacePolicy, engine::FileOps&);

struct PolicyKind {
    const ConversionKind& kind;
    PolicyConversion convert;
};

std::vector<PolicyKind> PolicyKinds() {
    return {{ConversionKinds()[0], static_cast<PolicyConversion>(&engine::ConvertToType0)},
            {ConversionKinds()[1], static_cast<PolicyConversion>(&engine::ConvertToType1)}};
}

// Without replacing, a file that takes the output name while the conversion runs (after
// any check a caller made) stays, and nothing is left beside it.
TEST(NeverReplace, AFileAppearingBeforeTheLastStepStays) {
    for (const PolicyKind& c : PolicyKinds()) {
        SCOPED_TRACE(c.kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", c.kind.smallInput);
        SeamOps ops;
        ops.beforeMove = [&] { WriteFile(dir / "out.mid", kEarlier); };
        EXPECT_THROW(c.convert(dir / "in.mid", dir / "out.mid", ReplacePolicy::NeverReplace, ops),
                     engine::OutputFileExists);
        EXPECT_EQ(Snapshot(dir.Path()),
                  (std::map<std::string, Bytes>{{"in.mid", c.kind.smallInput}, {"out.mid", kEarlier}}));
    }
}

// Files and folders under names of temporary files, as another process (or an earlier
// one with the same process id) may have left them: never touched, and the conversion
// still succeeds.
TEST(TemporaryNames, PlantedFilesAndFoldersOfOldNamesSurvive) {
#ifdef _WIN32
    const int pid = 0;
#else
    const int pid = static_cast<int>(::getpid());
#endif
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", kind.smallInput);
        std::map<std::string, Bytes> planted;
        for (int n = 0; n < 8; ++n) {
            const std::string name = ".qv" + std::to_string(pid) + "-" + std::to_string(n) + ".tmp";
            if (n % 2 == 0) {
                WriteFile(dir / name, kEarlier);
                planted[name] = kEarlier;
            } else {
                fs::create_directory(dir / name);
                WriteFile(dir / name / "keep", kEarlier);
                planted[name] = {};  // how Snapshot lists a folder
            }
        }
        ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", engine::SystemFileOps()), 0);
        planted["in.mid"] = kind.smallInput;
        planted["out.mid"] = kind.smallOutput;
        EXPECT_EQ(Snapshot(dir.Path()), planted);
        for (int n = 1; n < 8; n += 2)
            EXPECT_EQ(Snapshot(dir / (".qv" + std::to_string(pid) + "-" + std::to_string(n) + ".tmp")),
                      (std::map<std::string, Bytes>{{"keep", kEarlier}}));
    }
}

// A taken temporary name is not the engine's: another name is tried, the taken one is
// never removed, and no name carries anything a planting program could foresee.
TEST(TemporaryNames, ATakenNameIsLeftAloneAndAnotherTried) {
    TempDir dir;
    const ConversionKind& kind = ConversionKinds()[0];
    WriteFile(dir / "in.mid", kind.smallInput);
    SeamOps ops;
    ops.collisions = 3;
    ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", ops), 0);
    EXPECT_TRUE(ReadFile(dir / "out.mid") == kind.smallOutput);
    ASSERT_EQ(ops.created.size(), 4U);
    EXPECT_EQ(std::set<fs::path>(ops.created.begin(), ops.created.end()).size(), 4U) << "a name tried twice";
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::count(ops.removed.begin(), ops.removed.end(), ops.created[i]), 0)
            << ops.created[i] << " was not created here, yet removed";
#ifndef _WIN32
    for (const fs::path& name : ops.created)
        EXPECT_EQ(name.filename().string().find(std::to_string(::getpid())), std::string::npos)
            << name << " holds the process id";
#endif
}

// RemoveTemporaryFiles (a stop) abandons a write in progress: its temporary file goes,
// the output name stays untouched, and no later write can start. In a child process,
// as the sweep is for good.
// In the child of the death test below: 0 when removing the temporary files during a
// write abandons it (IoError, the directory as it was) and refuses every later write.
int AbandonedWriteStatus(const TempDir& dir, const ConversionKind& kind) {
    const auto before = Snapshot(dir.Path());
    SeamOps ops;
    ops.onWrite = [] { engine::RemoveTemporaryFiles(); };
    bool failed = false;
    try {
        kind.convert(dir / "in.mid", dir / "out.mid", ops);
    } catch (const engine::IoError&) {
        failed = true;
    }
    const bool untouched = Snapshot(dir.Path()) == before;
    bool laterRefused = false;
    try {
        kind.convert(dir / "in.mid", dir / "new.mid", engine::SystemFileOps());
    } catch (const engine::IoError&) {
        laterRefused = !fs::exists(dir / "new.mid");
    }
    return failed && untouched && laterRefused ? 0 : 1;
}

// RemoveTemporaryFiles (a stop) abandons a write in progress: its temporary file goes,
// the output name stays untouched, and no later write can start. In a child process,
// as the sweep is for good.
TEST(TemporaryFilesDeathTest, RemovingThemAbandonsAWriteInProgress) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const ConversionKind& kind = ConversionKinds()[1];
    TempDir dir;
    WriteFile(dir / "in.mid", kind.largeInput);
    WriteFile(dir / "out.mid", kEarlier);
    EXPECT_EXIT(std::exit(AbandonedWriteStatus(dir, kind)), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(Snapshot(dir.Path()), (std::map<std::string, Bytes>{{"in.mid", kind.largeInput}, {"out.mid", kEarlier}}));
}

// A read-only output (no write permission at all, so root is refused too) is never
// replaced, whatever the policy: "File access denied".
TEST(ReadOnlyOutput, IsNeverReplaced) {
    const std::function<void(const fs::path&, const fs::path&, ReplacePolicy)> writers[] = {
        [](const fs::path& in, const fs::path& out, ReplacePolicy p) { engine::ConvertToType0(in, out, p); },
        [](const fs::path& in, const fs::path& out, ReplacePolicy p) { engine::CopyFileAtomically(in, out, p); },
    };
    for (const auto& write : writers) {
        for (const ReplacePolicy policy : {ReplacePolicy::Replace, ReplacePolicy::NeverReplace}) {
            TempDir dir;
            WriteFile(dir / "in.mid", ConversionKinds()[0].smallInput);
            WriteFile(dir / "out.mid", kEarlier);
            fs::permissions(dir / "out.mid", fs::perms::owner_read | fs::perms::group_read);
            try {
                write(dir / "in.mid", dir / "out.mid", policy);
                ADD_FAILURE() << "a read-only file was replaced";
            } catch (const engine::IoError& e) {
                EXPECT_EQ(e.Code(), 5);
            } catch (const engine::OutputFileExists&) {
                EXPECT_EQ(policy, ReplacePolicy::NeverReplace);  // the copy looks for the name first
            }
            EXPECT_TRUE(ReadFile(dir / "out.mid") == kEarlier);
            EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
        }
    }
}

#ifndef _WIN32
// A replaced file keeps its permission bits and, where the process may set them, its
// owner and group (as root: a file of another user stays that user's).
TEST(ReplacedFile, KeepsModeOwnerAndGroup) {
    for (const PolicyKind& c : PolicyKinds()) {
        for (const unsigned mode : {0600U, 0640U, 0755U}) {
            SCOPED_TRACE(std::string(c.kind.name) + " mode " + std::to_string(mode));
            TempDir dir;
            WriteFile(dir / "in.mid", c.kind.smallInput);
            WriteFile(dir / "out.mid", kEarlier);
            ASSERT_EQ(::chmod((dir / "out.mid").c_str(), mode), 0);
            if (RunningAsRoot()) {
                ASSERT_EQ(::chown((dir / "out.mid").c_str(), UnprivilegedId, UnprivilegedId), 0);
            }
            struct stat before {};
            ASSERT_EQ(::stat((dir / "out.mid").c_str(), &before), 0);
            ASSERT_EQ(c.convert(dir / "in.mid", dir / "out.mid", ReplacePolicy::Replace, engine::SystemFileOps()), 0);
            struct stat after {};
            ASSERT_EQ(::stat((dir / "out.mid").c_str(), &after), 0);
            EXPECT_TRUE(ReadFile(dir / "out.mid") == c.kind.smallOutput);
            EXPECT_EQ(after.st_mode & 07777, mode);
            EXPECT_EQ(after.st_uid, before.st_uid);
            EXPECT_EQ(after.st_gid, before.st_gid);
        }
    }
}

// A symbolic link at the output name is followed: the file it leads to is replaced,
// the link stays a link.
TEST(ReplacedFile, ASymbolicLinkLeadsToTheFileReplaced) {
    for (const PolicyKind& c : PolicyKinds()) {
        SCOPED_TRACE(c.kind.name);
        TempDir dir;
        fs::create_directory(dir / "real");
        WriteFile(dir / "in.mid", c.kind.smallInput);
        WriteFile(dir / "real" / "target.mid", kEarlier);
        fs::create_symlink("real/target.mid", dir / "out.mid");
        ASSERT_EQ(c.convert(dir / "in.mid", dir / "out.mid", ReplacePolicy::Replace, engine::SystemFileOps()), 0);
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "out.mid")));
        EXPECT_EQ(fs::read_symlink(dir / "out.mid"), fs::path("real/target.mid"));
        EXPECT_TRUE(ReadFile(dir / "real" / "target.mid") == c.kind.smallOutput);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid", "real"}));
        EXPECT_EQ(Snapshot(dir / "real").size(), 1U);
    }
}
#endif

// Replacing a file flushes the new bytes before the move and the folder after it; a new
// name is written without either.
TEST(ReplacedFile, IsFlushedBeforeTheMoveANewFileIsNot) {
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing ? "replacing" : "new");
        TempDir dir;
        const ConversionKind& kind = ConversionKinds()[0];
        WriteFile(dir / "in.mid", kind.smallInput);
        if (existing) WriteFile(dir / "out.mid", kEarlier);
        SeamOps ops;
        ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", ops), 0);
        const std::vector<std::string> expected = existing ? std::vector<std::string>{"close", "flush", "close", "move",
                                                                                      "flush folder"}
                                                           : std::vector<std::string>{"close", "close", "move"};
        EXPECT_EQ(ops.calls, expected);  // the first close is the input's
    }
}

}  // namespace
}  // namespace quorvel::testing
