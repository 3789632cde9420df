// quorvel-cli and the files around it: outputs that appear after planning or belong to
// a concurrent run, read-only outputs, and the ways a batch is stopped (signals, a
// closed standard output, a failed write of the lines).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "cli_process.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

const Bytes kEarlier = Text("an earlier output file");

// Format 1 with two tracks of many notes: long enough that a batch of a few hundred
// takes a while.
Bytes LongSong() {
    Bytes lead, bass;
    for (int i = 0; i < 3000; ++i) {
        const auto key = static_cast<std::uint8_t>(40 + i % 40);
        const Bytes note{0x10, 0x90, key, 0x40, 0x10, 0x80, key, 0x00};
        lead.insert(lead.end(), note.begin(), note.end());
        bass.insert(bass.end(), note.begin(), note.end());
    }
    return Concat({Header(1, 2, 96), Track(Concat({lead, Hex("00 FF 2F 00")})),
                   Track(Concat({bass, Hex("00 FF 2F 00")}))});
}

// count copies of LongSong as in/s0000.mid, ...; an empty folder out beside.
void MakeBatch(const TempDir& dir, int count) {
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    const Bytes song = LongSong();
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%04d.mid", i);
        WriteFile(dir / "in" / name, song);
    }
}

// Names in folder that look like temporary files, sorted.
std::vector<std::string> TemporaryFiles(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".tmp") found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// Waits until the file name holds at least one line (or a few seconds passed).
bool WaitForALine(const std::string& name) {
    for (int i = 0; i < 5000; ++i) {
        std::ifstream in(name);
        std::string line;
        if (std::getline(in, line) && in) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A read-only output is never replaced, with -f or without, by a conversion or by the
// karaoke copy: the line says "File access denied".
TEST(ReadOnlyOutput, IsRefusedWithAndWithoutForce) {
    const std::vector<std::vector<std::string>> runs = {{"smf0", "-o", "out", "a.mid"},
                                                        {"smf0", "-f", "-o", "out", "a.mid"},
                                                        {"kar", "-f", "-o", "out", "a.mid"}};
    for (const auto& arguments : runs) {
        SCOPED_TRACE(arguments[0] + " " + arguments[1]);
        TempDir dir;
        fs::create_directory(dir / "out");
        WriteFile(dir / "a.mid", LongSong());
        const std::string output = arguments[0] == "kar" ? "a.kar" : "a.mid";
        WriteFile(dir / "out" / output, kEarlier);
        fs::permissions(dir / "out" / output, fs::perms::owner_read | fs::perms::group_read);
        const CliRun run = RunCli(arguments, dir.Path());
        EXPECT_EQ(run.status, 1);
        ASSERT_FALSE(run.Lines().empty());
        EXPECT_EQ(run.Lines()[0], "a.mid - File access denied");
        EXPECT_TRUE(ReadFile(dir / "out" / output) == kEarlier);
        EXPECT_TRUE(TemporaryFiles(dir / "out").empty());
    }
}

// Two runs without -f into one folder at the same time: every output is written once,
// by one of them; the other reports it "exists, not replaced".
TEST(Concurrent, TwoRunsNeverReplaceEachOthersOutputs) {
    constexpr int Count = 200;
    TempDir dir;
    MakeBatch(dir, Count);
    const StartedCli first = StartCli({"smf0", "-j", "1", "-o", "out", "in"}, dir.Path());
    const StartedCli second = StartCli({"smf0", "-j", "1", "-o", "out", "in"}, dir.Path());
    const CliRun runs[] = {FinishCli(first), FinishCli(second)};
    std::map<std::string, int> converted;
    for (const CliRun& run : runs) {
        for (const std::string& line : run.Lines()) {
            const std::string name = line.substr(0, line.find(' '));
            if (line == name + " converted to type 0") {
                ++converted[name];
            } else if (line != "Conversion Complete") {
                EXPECT_EQ(line, name + " - " + name + " exists in out, not replaced (use -f)");
            }
        }
    }
    EXPECT_EQ(converted.size(), static_cast<std::size_t>(Count));
    for (const auto& [name, times] : converted) EXPECT_EQ(times, 1) << name << " converted by both runs";
    EXPECT_TRUE(TemporaryFiles(dir / "out").empty());
}

struct SignalRow {
    const char* name;
    int signal;
    int status;
};

void PrintTo(const SignalRow& row, std::ostream* out) { *out << row.name; }

class StopSignal : public ::testing::TestWithParam<SignalRow> {};

// A signal during a batch: no temporary file is left, the lines printed are those of
// finished files in input order (each output whole), no final line, and the exit
// status is 128 + the signal's number.
TEST_P(StopSignal, LeavesNoTemporaryFileAndPrintsTheFinishedLines) {
    constexpr int Count = 600;
    TempDir dir;
    MakeBatch(dir, Count);
    const StartedCli started = StartCli({"smf0", "-j", "2", "-o", "out", "in"}, dir.Path());
    ASSERT_TRUE(WaitForALine(started.outName));
    ::kill(started.pid, GetParam().signal);
    const CliRun run = FinishCli(started);
    EXPECT_EQ(run.status, GetParam().status);
    EXPECT_TRUE(TemporaryFiles(dir / "out").empty());
    const std::vector<std::string> lines = run.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_LT(lines.size(), static_cast<std::size_t>(Count)) << "the batch ended before the signal";
    std::string previous;
    std::set<std::string> printed;
    const Bytes expected = ReadFile(fs::path(dir / "out") / "s0000.mid");
    for (const std::string& line : lines) {
        const std::string name = line.substr(0, line.find(' '));
        ASSERT_EQ(line, name + " converted to type 0");
        EXPECT_LT(previous, name) << "out of input order";
        EXPECT_TRUE(ReadFile(dir / "out" / name) == expected) << name;
        printed.insert(name);
        previous = name;
    }
    // And the other way round: every output on disk has its line, also one that a
    // worker finished while the stop came.
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        EXPECT_EQ(printed.count(entry.path().filename().string()), 1U) << entry.path() << " has no line";
}

// A run killed outright (SIGKILL, a power cut) cannot clean up: its outputs are written
// without a name until they are whole, so none is left. A temporary file that an older
// or other run left (named, unchanged for long, locked by nobody) goes with the next run
// into that folder; one a live writer holds stays.
TEST(Kill, LeavesNoTemporaryFileAndTheNextRunSweepsStaleOnes) {
    TempDir dir;
    MakeBatch(dir, 600);
    const StartedCli started = StartCli({"smf0", "-j", "2", "-o", "out", "in"}, dir.Path());
    ASSERT_TRUE(WaitForALine(started.outName));
    ::kill(started.pid, SIGKILL);
    FinishCli(started);  // ended by the signal itself: no exit status
    // Where the file system has files without a name, nothing is left; elsewhere the
    // killed run's named temporary files are, and the next run sweeps them once they are
    // old (made old here rather than waited for).
    const int unnamed = ::open((dir / "out").c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        ::close(unnamed);
        EXPECT_EQ(TemporaryFiles(dir / "out"), std::vector<std::string>{});
    }
    const auto age = [](const fs::path& path) {
        const struct timespec old[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), old, 0);
    };
    for (const std::string& left : TemporaryFiles(dir / "out")) age(dir / "out" / left);

    const auto stale = [&](const char* name) {
        const fs::path path = dir / "out" / name;
        WriteFile(path, kEarlier);
        age(path);
        return path;
    };
    stale(".qv-abcdefghijklm.tmp");
    const int held = ::open(stale(".qv-nopqrstuvwxyz.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);            // as a live writer holds its file
    WriteFile(dir / "out" / "notes.tmp", kEarlier);  // not one of Quorvel's
    const CliRun second = RunCli({"smf0", "-f", "-o", "out", "in/s0000.mid"}, dir.Path());
    ::close(held);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(TemporaryFiles(dir / "out"), (std::vector<std::string>{".qv-nopqrstuvwxyz.tmp", "notes.tmp"}));
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal,
                         ::testing::Values(SignalRow{"SIGINT", SIGINT, 130}, SignalRow{"SIGTERM", SIGTERM, 143},
                                           SignalRow{"SIGHUP", SIGHUP, 129}),
                         [](const ::testing::TestParamInfo<SignalRow>& info) { return std::string(info.param.name); });

// quorvel-cli ... | head -1: the reader goes after one line; the batch stops as on a
// signal, without a message, and exits with 1.
TEST(ClosedOutput, StopsTheBatchWithStatusOne) {
    TempDir dir;
    MakeBatch(dir, 600);
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);  // the child keeps no copy of the reading end
    const StartedCli started = StartCli({"smf0", "-j", "2", "-o", "out", "in"}, dir.Path(), -1, ends[1]);
    ::close(ends[1]);
    std::string first;
    for (char c; ::read(ends[0], &c, 1) == 1 && c != '\n';) first += c;
    ::close(ends[0]);
    const CliRun run = FinishCli(started);
    EXPECT_EQ(first, "s0000.mid converted to type 0");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(TemporaryFiles(dir / "out").empty());
    EXPECT_FALSE(fs::exists(dir / "out" / "s0599.mid")) << "the batch went on to the end";
}

// quorvel-cli ... > /dev/full: the lines cannot be written; a message on standard error
// and exit status 1, though every file converted.
TEST(FailedWrite, OfTheLinesGivesAMessageAndStatusOne) {
    TempDir dir;
    MakeBatch(dir, 3);
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const StartedCli started = StartCli({"smf0", "-o", "out", "in"}, dir.Path(), -1, full);
    ::close(full);
    const CliRun run = FinishCli(started);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "quorvel-cli: cannot write the results: No space left on device\n");
    EXPECT_TRUE(TemporaryFiles(dir / "out").empty());
}

// Every other text quorvel-cli writes says so too when it cannot be written: info's
// report and --help, each with a message on standard error and exit status 1.
TEST(FailedWrite, OfInfoAndHelpGivesAMessageAndStatusOne) {
    TempDir dir;
    MakeBatch(dir, 1);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"info", "in/s0000.mid"}, std::vector<std::string>{"--help"}}) {
        const int full = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        const StartedCli started = StartCli(arguments, dir.Path(), -1, full);
        ::close(full);
        const CliRun run = FinishCli(started);
        EXPECT_EQ(run.status, 1) << arguments[0];
        EXPECT_EQ(run.err, "quorvel-cli: cannot write the results: No space left on device\n") << arguments[0];
    }
}

// The same folder named twice: its files are converted once, and the second naming of
// each says so (no "same output name" clash with itself).
TEST(GivenTwice, IsConvertedOnce) {
    TempDir dir;
    MakeBatch(dir, 2);
    const CliRun run = RunCli({"smf0", "-o", "out", "in", "in"}, dir.Path());
    EXPECT_EQ(run.Lines(),
              (std::vector<std::string>{"s0000.mid converted to type 0", "s0001.mid converted to type 0",
                                        "s0000.mid - given more than once, converted once",
                                        "s0001.mid - given more than once, converted once", "Conversion Complete"}));
}

}  // namespace
}  // namespace quorvel::testing
