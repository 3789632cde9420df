// Conversions against the real file system: an output name taken by a directory,
// read-only inputs and directories, a failed conversion in place, and a file-size limit
// that stops the output part way through.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "quorvel/engine/errors.hpp"
#include "robustness_fixtures.hpp"
#include "unprivileged.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

const Bytes kEarlier = Text("an earlier output file");

// An output name taken by a directory: the finished file cannot replace it. The
// directory and its contents stay, and no temporary file is left beside it.
TEST(OutputName, TakenByDirectoryFailsAndLeavesItAlone) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", kind.smallInput);
        fs::create_directory(dir / "out.mid");
        WriteFile(dir / "out.mid" / "keep.txt", kEarlier);
        EXPECT_THROW(kind.convert(dir / "in.mid", dir / "out.mid", engine::SystemFileOps()), engine::IoError);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
        EXPECT_TRUE(fs::is_directory(dir / "out.mid"));
        EXPECT_EQ(Snapshot(dir / "out.mid"), (std::map<std::string, Bytes>{{"keep.txt", kEarlier}}));
    }
}

// The input is only ever read, so a file without write permission converts.
TEST(ReadOnlyInput, Converts) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "in.mid", kind.smallInput);
        fs::permissions(dir / "in.mid", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        ASSERT_EQ(kind.convert(dir / "in.mid", dir / "out.mid", engine::SystemFileOps()), 0);
        EXPECT_TRUE(ReadFile(dir / "out.mid") == kind.smallOutput);
        EXPECT_TRUE(ReadFile(dir / "in.mid") == kind.smallInput);
        EXPECT_EQ(fs::status(dir / "in.mid").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.mid", "out.mid"}));
    }
}

#ifndef _WIN32
// An output directory that refuses new files: "File access denied", nothing created,
// the input untouched. Permission bits do not bind root: as root the test runs as an
// unprivileged user. A refused create is also injected at the file seam in
// fault_injection_tests.
TEST(ReadOnlyOutputDirectory, RefusesWithFileAccessDenied) {
    RunUnprivileged([] {
        for (const ConversionKind& kind : ConversionKinds()) {
            SCOPED_TRACE(kind.name);
            TempDir dir;
            fs::create_directory(dir / "src");
            fs::create_directory(dir / "dst");
            WriteFile(dir / "src" / "in.mid", kind.smallInput);
            WriteFile(dir / "dst" / "out.mid", kEarlier);
            fs::permissions(dir / "dst", fs::perms::owner_read | fs::perms::owner_exec);
            try {
                kind.convert(dir / "src" / "in.mid", dir / "dst" / "out.mid", engine::SystemFileOps());
                ADD_FAILURE() << "no exception from a read-only directory";
            } catch (const engine::IoError& e) {
                EXPECT_EQ(e.Code(), 5);
                EXPECT_EQ(std::string(e.what()), "File access denied");
            }
            fs::permissions(dir / "dst", fs::perms::owner_all);
            EXPECT_EQ(Snapshot(dir / "dst"), (std::map<std::string, Bytes>{{"out.mid", kEarlier}}));
            EXPECT_EQ(Snapshot(dir / "src"), (std::map<std::string, Bytes>{{"in.mid", kind.smallInput}}));
        }
    });
}
#endif

TEST(InPlace, RefusedInputStaysAsItWas) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        WriteFile(dir / "song.mid", kind.refusedInput);
        EXPECT_EQ(kind.convert(dir / "song.mid", dir / "song.mid", engine::SystemFileOps()), kind.refusedCode);
        EXPECT_EQ(Snapshot(dir.Path()), (std::map<std::string, Bytes>{{"song.mid", kind.refusedInput}}));
    }
}

TEST(InPlace, MalformedInputStaysAsItWas) {
    for (const ConversionKind& kind : ConversionKinds()) {
        SCOPED_TRACE(kind.name);
        TempDir dir;
        // The track claims one byte more than its events: the last event runs past it.
        Bytes broken = kind.smallInput;
        broken[21] = static_cast<std::uint8_t>(broken[21] - 1);
        WriteFile(dir / "song.mid", broken);
        EXPECT_THROW(kind.convert(dir / "song.mid", dir / "song.mid", engine::SystemFileOps()), engine::MalformedFile);
        EXPECT_EQ(Snapshot(dir.Path()), (std::map<std::string, Bytes>{{"song.mid", broken}}));
    }
}

#ifndef _WIN32
// A file-size limit (RLIMIT_FSIZE) in a child process makes the kernel refuse the
// output part way through, as a full disk would: the first page is written, the second
// is cut short (a short write) or refused outright (EFBIG). The child reports by its
// exit status; the parent checks the directory.
enum ChildExit { kDiskFullReported = 0, kReturned = 10, kOtherIoError = 11, kOtherException = 12, kNoLimit = 13 };

int ConvertUnderFileSizeLimit(const ConversionKind& kind, const fs::path& in, const fs::path& out, rlim_t limit) {
    std::cout.flush();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{};
        rl.rlim_cur = limit;
        rl.rlim_max = limit;
        if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(kNoLimit);
        try {
            kind.convert(in, out, engine::SystemFileOps());
            ::_exit(kReturned);
        } catch (const engine::IoError& e) {
            ::_exit(e.Code() == 101 && std::string(e.what()) == "Disk full" ? kDiskFullReported : kOtherIoError);
        } catch (...) {
            ::_exit(kOtherException);
        }
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(FileSizeLimit, OutputCutShortIsDiskFullAndChangesNothing) {
    for (const ConversionKind& kind : ConversionKinds()) {
        ASSERT_GT(kind.largeOutput.size(), 16384u + 100u);
        for (const rlim_t limit : {rlim_t{16384}, rlim_t{16384 + 100}, rlim_t{0}}) {
            for (const bool inPlace : {false, true}) {
                SCOPED_TRACE(std::string(kind.name) + ", limit " + std::to_string(limit) +
                             (inPlace ? ", in place" : ""));
                TempDir dir;
                const auto in = dir / "in.mid";
                const auto out = inPlace ? in : dir / "out.mid";
                WriteFile(in, kind.largeInput);
                if (!inPlace) WriteFile(out, kEarlier);
                const auto before = Snapshot(dir.Path());
                EXPECT_EQ(ConvertUnderFileSizeLimit(kind, in, out, limit), kDiskFullReported);
                EXPECT_EQ(Snapshot(dir.Path()), before);
            }
        }
    }
}
#endif

}  // namespace
}  // namespace quorvel::testing
