// quorvel-cli run as a user runs it, over files in a temporary directory.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "cli_process.hpp"
#include "smf_test_support.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;

// Format 1, two tracks, running status: merges cleanly.
Bytes FormatOneSong(std::uint8_t key = 0x3C) {
    return Concat({Header(1, 2, 96),
                   Track(Concat({Meta(0, 0x03, Text("Lead")), Hex("00 90"), Bytes{key}, Hex("40 60"), Bytes{key},
                                 Hex("00 00 FF 2F 00")})),
                   Track(Hex("00 91 30 50 30 30 00 00 FF 2F 00"))});
}

// Format 0, one track on two channels with a lyric: splits cleanly.
Bytes FormatZeroSong() {
    return Concat({Header(0, 1, 120),
                   Track(Concat({Meta(0, 0x05, Text("La\r")), Hex("00 90 3C 40 00 91 30 50 60 80 3C 00 00 81 30 00"),
                                 Hex("00 FF 2F 00")}))});
}

// The second chunk is not a track.
Bytes MalformedSong() {
    return Concat({Header(1, 2, 96), Track(Hex("00 90 3C 40 60 3C 00 00 FF 2F 00")), Text("XXXX"),
                   Hex("00 00 00 04 00 FF 2F 00")});
}

#ifndef _WIN32
// A valid format-1 file of more than 64 pages of 16384 bytes.
Bytes TooLargeSong() {
    Bytes events = Hex("00 90 3C 40");
    events.reserve(1'100'000);
    while (events.size() < 1'060'000) {
        const Bytes more = Hex("00 3C 40");
        events.insert(events.end(), more.begin(), more.end());
    }
    const Bytes end = Hex("00 FF 2F 00");
    events.insert(events.end(), end.begin(), end.end());
    return Concat({Header(1, 1, 96), Track(events)});
}
#endif

// Every entry under root with its bytes (a symbolic link: its target), names relative.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string name = fs::relative(it->path(), root).generic_string();
        if (it->is_symlink())
            entries[name] = "link to " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[name] = "directory";
        else {
            const Bytes bytes = ReadFile(it->path());
            entries[name] = std::string(bytes.begin(), bytes.end());
        }
    }
    return entries;
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// --- The three batches over a format-1 and a format-0 file ---------------------------

struct BatchCase {
    const char* batch;
    std::vector<std::string> lines;
    int status;
    // Output name -> how its bytes come about: "merge a", "split b", "copy a".
    std::map<std::string, std::string> outputs;
};

void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.batch; }

class EveryBatch : public ::testing::TestWithParam<BatchCase> {};

TEST_P(EveryBatch, GivesTheWindowsTextsAndTheEnginesBytes) {
    const BatchCase& c = GetParam();
    TempDir dir;
    const Bytes a = FormatOneSong();
    const Bytes b = FormatZeroSong();
    WriteFile(dir / "a.mid", a);
    WriteFile(dir / "b.mid", b);
    fs::create_directory(dir / "out");

    const CliRun run = RunCli({c.batch, "-o", "out", "a.mid", "b.mid"}, dir.Path());
    EXPECT_EQ(run.Lines(), c.lines);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "") << "no progress bar when standard error is not a terminal";

    std::map<std::string, std::string> expected;
    for (const auto& [name, how] : c.outputs) {
        const Bytes& source = how.back() == 'a' ? a : b;
        if (how.rfind("merge", 0) == 0) expected[name] = AsString(RunType0(source).output);
        if (how.rfind("split", 0) == 0) expected[name] = AsString(RunType1(source).output);
        if (how.rfind("copy", 0) == 0) expected[name] = AsString(source);
    }
    std::map<std::string, std::string> written;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        written[entry.path().filename().string()] = AsString(ReadFile(entry.path()));
    EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Batches, EveryBatch,
    ::testing::Values(BatchCase{"smf0",
                                {"a.mid converted to type 0", "b.mid - Not a Type 1 Midifile", "Conversion Complete"},
                                1,
                                {{"a.mid", "merge a"}}},
                      BatchCase{"smf1",
                                {"a.mid - Not a Type 0 Midifile", "b.mid converted to type 1", "Operation Complete"},
                                1,
                                {{"b.mid", "split b"}}},
                      BatchCase{"kar",
                                {"a.mid converted to karaoke", "b.mid converted to karaoke", "Operation Complete"},
                                0,
                                {{"a.kar", "copy a"}, {"b.kar", "split b"}}}),
    [](const auto& info) { return std::string(info.param.batch); });

TEST(Batch, QuietPrintsOnlyProblemsAndTheFinalText) {
    TempDir dir;
    WriteFile(dir / "a.mid", FormatOneSong());
    WriteFile(dir / "b.mid", FormatZeroSong());
    WriteFile(dir / "c.mid", FormatOneSong(0x40));
    fs::create_directory(dir / "out");
    const CliRun run = RunCli({"smf0", "-q", "-o", "out", "a.mid", "b.mid", "c.mid"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"b.mid - Not a Type 1 Midifile", "Conversion Complete"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(dir / "out" / "a.mid"));
    EXPECT_TRUE(fs::exists(dir / "out" / "c.mid"));
}

TEST(Batch, OutputNameIsCutAtTheFirstDotAndSameNamesAreNotWrittenTwice) {
    TempDir dir;
    const Bytes first = FormatOneSong(0x3C);
    WriteFile(dir / "my.song.mid", first);
    WriteFile(dir / "my.tune.mid", FormatOneSong(0x40));
    WriteFile(dir / "plain", FormatOneSong(0x43));
    fs::create_directory(dir / "out");
    const CliRun run = RunCli({"smf0", "-o", "out", "my.song.mid", "my.tune.mid", "plain"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"my.song.mid converted to type 0",
                                                     "my.tune.mid - same output name as my.song.mid, not converted",
                                                     "plain converted to type 0", "Conversion Complete"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ReadFile(dir / "out" / "my.mid"), RunType0(first).output);
    EXPECT_TRUE(fs::exists(dir / "out" / "plain.mid"));
}

// x.kar's output would be the input x.mid: it is not written, with -f too, and claims
// no name, so x.mid is converted in place by the usual rules (-f here).
TEST(Batch, AnOutputThatIsAnotherInputIsNotWrittenEvenWithForce) {
    TempDir dir;
    const Bytes kar = FormatOneSong(0x3C);
    const Bytes mid = FormatOneSong(0x40);
    WriteFile(dir / "x.kar", kar);
    WriteFile(dir / "x.mid", mid);
    const CliRun run = RunCli({"smf0", "-f", "-o", ".", "."}, dir.Path());
    EXPECT_EQ(run.Lines(),
              (std::vector<std::string>{"x.kar - output name x.mid is another input of this batch, not converted",
                                        "x.mid converted to type 0", "Conversion Complete"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(Snapshot(dir.Path()), (std::map<std::string, std::string>{{"x.kar", AsString(kar)},
                                                                        {"x.mid", AsString(RunType0(mid).output)}}));
}

#ifndef _WIN32
// Control characters in names are printed escaped, so each file keeps one line and no
// terminal codes are sent; --help says how. (Windows allows none of these names.)
TEST(Batch, PrintedNamesShowControlCharactersEscaped) {
    TempDir dir;
    const std::vector<std::string> names = {"line\nbreak.mid", "esc\x1b[2J.mid", "back\\slash.mid", "bad\xff.mid"};
    for (const std::string& name : names) WriteFile(dir / name, FormatZeroSong());
    fs::create_directory(dir / "out");
    std::vector<std::string> arguments = {"smf0", "-o", "out"};
    arguments.insert(arguments.end(), names.begin(), names.end());
    const CliRun run = RunCli(arguments, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"line\\nbreak.mid - Not a Type 1 Midifile",
                                                     "esc\\x1b[2J.mid - Not a Type 1 Midifile",
                                                     "back\\\\slash.mid - Not a Type 1 Midifile",
                                                     "bad\\xff.mid - Not a Type 1 Midifile", "Conversion Complete"}));
    const CliRun help = RunCli({"--help"}, dir.Path());
    EXPECT_NE(help.out.find("\\xNN"), std::string::npos) << help.out;
}
#endif

// --- Existing outputs and -f ---------------------------------------------------------

TEST(Force, ExistingOutputIsKeptWithoutForceAndReplacedWithIt) {
    TempDir dir;
    const Bytes song = FormatOneSong();
    WriteFile(dir / "a.mid", song);
    fs::create_directory(dir / "out");
    const Bytes old = Text("old bytes");
    WriteFile(dir / "out" / "a.mid", old);

    const CliRun kept = RunCli({"smf0", "-o", "out", "a.mid"}, dir.Path());
    EXPECT_EQ(kept.Lines(),
              (std::vector<std::string>{"a.mid - a.mid exists in out, not replaced (use -f)", "Conversion Complete"}));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(ReadFile(dir / "out" / "a.mid"), old);

    const CliRun replaced = RunCli({"smf0", "-f", "-o", "out", "a.mid"}, dir.Path());
    EXPECT_EQ(replaced.Lines(), (std::vector<std::string>{"a.mid converted to type 0", "Conversion Complete"}));
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(ReadFile(dir / "out" / "a.mid"), RunType0(song).output);
}

TEST(Force, ConvertingAFileOntoItselfNeedsForce) {
    TempDir dir;
    const Bytes song = FormatZeroSong();
    WriteFile(dir / "b.mid", song);

    const CliRun kept = RunCli({"smf1", "b.mid"}, dir.Path());
    EXPECT_EQ(kept.Lines(),
              (std::vector<std::string>{"b.mid - would be replaced by its own output, not converted (use -f)",
                                        "Operation Complete"}));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(ReadFile(dir / "b.mid"), song);

    const CliRun replaced = RunCli({"smf1", "-f", "b.mid"}, dir.Path());
    EXPECT_EQ(replaced.Lines(), (std::vector<std::string>{"b.mid converted to type 1", "Operation Complete"}));
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(ReadFile(dir / "b.mid"), RunType1(song).output);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"b.mid"})) << "no temporary file left behind";
}

TEST(Force, KaraokeCopyReplacesAnExistingFileOnlyWithForce) {
    TempDir dir;
    const Bytes song = FormatOneSong();
    WriteFile(dir / "a.mid", song);
    fs::create_directory(dir / "out");
    WriteFile(dir / "out" / "a.kar", Text("old"));

    const CliRun kept = RunCli({"kar", "-o", "out", "a.mid"}, dir.Path());
    EXPECT_EQ(kept.Lines(),
              (std::vector<std::string>{"a.mid - a.kar exists in out, not replaced (use -f)", "Operation Complete"}));
    EXPECT_EQ(kept.status, 1);
    EXPECT_EQ(ReadFile(dir / "out" / "a.kar"), Text("old"));

    const CliRun replaced = RunCli({"kar", "-f", "-o", "out", "a.mid"}, dir.Path());
    EXPECT_EQ(replaced.Lines(), (std::vector<std::string>{"a.mid converted to karaoke", "Operation Complete"}));
    EXPECT_EQ(replaced.status, 0);
    EXPECT_EQ(ReadFile(dir / "out" / "a.kar"), song);
    EXPECT_EQ(Snapshot(dir / "out").size(), 1u) << "no temporary file left behind";
}

// A karaoke copy cut short by a full disk (here a file-size limit, so POSIX only): "Disk
// full", and no part of the copy under the output name, neither a new one nor over an
// earlier file (-f); the next file goes on.
#ifndef _WIN32
TEST(Force, KaraokeCopyOnAFullDiskLeavesNoPartialFile) {
    for (const bool force : {false, true}) {
        SCOPED_TRACE(force ? "-f over an earlier file" : "to a new name");
        TempDir dir;
        Bytes events;
        while (events.size() < 60'000) {
            const Bytes note = Hex("00 90 3C 40 10 80 3C 00");
            events.insert(events.end(), note.begin(), note.end());
        }
        const Bytes end = Hex("00 FF 2F 00");
        events.insert(events.end(), end.begin(), end.end());
        WriteFile(dir / "a.mid", Concat({Header(1, 1, 96), Track(events)}));
        const Bytes b = FormatOneSong();
        WriteFile(dir / "b.mid", b);
        fs::create_directory(dir / "out");
        if (force) WriteFile(dir / "out" / "a.kar", Text("old"));

        std::vector<std::string> arguments = {"kar", "-o", "out", "a.mid", "b.mid"};
        if (force) arguments.insert(arguments.begin() + 1, "-f");
        const CliRun run = RunCli(arguments, dir.Path(), 16384);
        EXPECT_EQ(run.Lines(),
                  (std::vector<std::string>{"a.mid - Disk full", "b.mid converted to karaoke", "Operation Complete"}));
        EXPECT_EQ(run.status, 1);
        std::map<std::string, std::string> expected = {{"b.kar", AsString(b)}};
        if (force) expected["a.kar"] = "old";
        EXPECT_EQ(Snapshot(dir / "out"), expected);
    }
}
#endif

// A file that cannot be written (here: the output name is a folder, which -f cannot
// replace) is reported on its line, with the reason; the batch goes on with the next file.
TEST(Force, AFolderAtTheOutputNameEndsOnlyItsOwnFile) {
    TempDir dir;
    WriteFile(dir / "a.mid", FormatOneSong());
    WriteFile(dir / "b.mid", FormatOneSong(0x40));
    fs::create_directories(dir / "out" / "a.mid");
    const CliRun run = RunCli({"smf0", "-f", "-o", "out", "a.mid", "b.mid"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"a.mid - a.mid in out is not a file, not replaced",
                                                     "b.mid converted to type 0", "Conversion Complete"}));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::is_directory(dir / "out" / "a.mid"));
    EXPECT_TRUE(fs::is_regular_file(dir / "out" / "b.mid"));
}

// --- Arguments -----------------------------------------------------------------------

TEST(Arguments, ADirectoryStandsForItsMidAndKarFilesSortedIgnoringCase) {
    TempDir dir;
    fs::create_directory(dir / "in");
    for (const char* name : {"c.kar", "B.MID", "a.mid", "d.Mid"}) WriteFile(dir / "in" / name, FormatOneSong());
    WriteFile(dir / "in" / "notes.txt", Text("not a song"));
    fs::create_directory(dir / "in" / "sub.mid");
    WriteFile(dir / "z.mid", FormatOneSong());
    fs::create_directory(dir / "out");

    const CliRun run = RunCli({"smf0", "-o", "out", "z.mid", "in"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"z.mid converted to type 0", "a.mid converted to type 0",
                                                     "B.MID converted to type 0", "c.kar converted to type 0",
                                                     "d.Mid converted to type 0", "Conversion Complete"}));
}

TEST(Arguments, AnEmptyDirectoryGivesNoFilesSelected) {
    TempDir dir;
    fs::create_directory(dir / "empty");
    const CliRun run = RunCli({"smf1", "empty"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"No Files Selected"}));
    EXPECT_EQ(run.status, 2);
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, ExitWithTwoAndConvertNothing) {
    TempDir dir;
    WriteFile(dir / "a.mid", FormatOneSong());
    const auto before = Snapshot(dir.Path());
    const CliRun run = RunCli(GetParam().arguments, dir.Path());
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_NE(run.err, "") << "a usage error says what is wrong";
    EXPECT_EQ(Snapshot(dir.Path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, UsageErrors,
    ::testing::Values(UsageCase{"NoCommand", {}}, UsageCase{"UnknownCommand", {"smf2", "a.mid"}},
                      UsageCase{"NoFiles", {"smf0"}}, UsageCase{"InfoWithoutFiles", {"info"}},
                      UsageCase{"UnknownOption", {"smf0", "--bogus", "a.mid"}},
                      UsageCase{"ZeroJobs", {"smf0", "-j", "0", "a.mid"}},
                      UsageCase{"JobsNotANumber", {"smf0", "-j", "many", "a.mid"}},
                      UsageCase{"MissingOutputDirectory", {"smf0", "-o", "nowhere", "a.mid"}},
                      UsageCase{"EmptyFileName", {"kar", "a.mid", ""}}, UsageCase{"EmptyInfoFileName", {"info", ""}},
                      UsageCase{"MemoryLimitBelowOneMebibyte", {"smf0", "--max-memory", "512K", "a.mid"}},
                      UsageCase{"MemoryLimitWithAnUnknownUnit", {"info", "--max-memory", "2T", "a.mid"}},
                      UsageCase{"MemoryLimitNotANumber", {"smf1", "--max-memory", "lots", "a.mid"}},
                      UsageCase{"MemoryLimitPast64Bits", {"smf0", "--max-memory", "999999999999G", "a.mid"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Arguments, HelpAndVersionExitWithZero) {
    TempDir dir;
    const CliRun version = RunCli({"--version"}, dir.Path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quorvel-cli 2.0.0\n");
    const CliRun help = RunCli({"--help"}, dir.Path());
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"smf0", "smf1", "kar", "info"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    const CliRun batchHelp = RunCli({"kar", "--help"}, dir.Path());
    EXPECT_EQ(batchHelp.status, 0);
    for (const char* option : {"-o", "-f", "-j", "-q"})
        EXPECT_NE(batchHelp.out.find(option), std::string::npos) << option;
}

// --- Failures among good files -------------------------------------------------------

// A malformed file in the middle of a batch gets its own line, the others are
// converted (with one thread and several), and nothing else on disk changes. Which
// failure reads how is the batch library's business (tests/batch).
TEST(Failures, AFailedFileAmongGoodOnesLeavesEverythingElseAsItWas) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    const Bytes a = FormatOneSong();
    const Bytes c = FormatOneSong(0x45);
    WriteFile(dir / "in" / "a.mid", a);
    WriteFile(dir / "in" / "b.mid", MalformedSong());
    WriteFile(dir / "in" / "c.mid", c);
    WriteFile(dir / "out" / "keep.txt", Text("untouched"));
    const auto before = Snapshot(dir.Path());

    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(std::string("-j ") + jobs);
        const CliRun run = RunCli({"smf0", "-j", jobs, "-o", "out", "in"}, dir.Path());
        EXPECT_EQ(run.Lines(), (std::vector<std::string>{"a.mid converted to type 0",
                                                         "b.mid - Malformed Midifile: track 2 is not an MTrk chunk",
                                                         "c.mid converted to type 0", "Conversion Complete"}));
        EXPECT_EQ(run.status, 1);

        auto expected = before;
        expected["out/a.mid"] = AsString(RunType0(a).output);
        expected["out/c.mid"] = AsString(RunType0(c).output);
        EXPECT_EQ(Snapshot(dir.Path()), expected);
        fs::remove(dir / "out" / "a.mid");
        fs::remove(dir / "out" / "c.mid");
    }
}

#ifndef _WIN32
// A FIFO (POSIX only) would block a plain open.
TEST(Failures, ANonRegularFileIsNotOpened) {
    TempDir dir;
    ASSERT_EQ(mkfifo((dir / "pipe.mid").c_str(), 0600), 0);
    WriteFile(dir / "a.mid", FormatOneSong());
    fs::create_directory(dir / "out");
    const CliRun run = RunCli({"smf0", "-o", "out", "pipe.mid", "a.mid"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"pipe.mid - not a regular file, not converted",
                                                     "a.mid converted to type 0", "Conversion Complete"}));
    EXPECT_EQ(run.status, 1);
}
#endif

// --- Parallel conversions ------------------------------------------------------------

TEST(Parallel, ManyJobsGiveTheSameBytesAndTheSameLinesInTheSameOrder) {
    TempDir dir;
    fs::create_directory(dir / "in");
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "song" + std::to_string(10 + i) + ".mid";
        // Different sizes, so that the files finish out of order; every third one is refused.
        Bytes song = i % 3 == 2 ? FormatZeroSong() : FormatOneSong(static_cast<std::uint8_t>(0x30 + i));
        if (i % 4 == 0) {
            Bytes events;
            for (int n = 0; n < 5000 * (i + 1); ++n) {
                const Bytes note = Hex("01 91 30 50");
                events.insert(events.end(), note.begin(), note.end());
            }
            const Bytes end = Hex("00 FF 2F 00");
            events.insert(events.end(), end.begin(), end.end());
            song = Concat({Header(1, 3, 96), Track(Hex("00 FF 2F 00")), Track(Hex("00 90 3C 40 00 FF 2F 00")),
                           Track(events)});
        }
        WriteFile(dir / "in" / name, song);
        names.push_back(name);
    }
    std::map<std::string, CliRun> runs;
    std::map<std::string, std::map<std::string, std::string>> outputs;
    for (const char* jobs : {"1", "2", "4"}) {
        const std::string out = std::string("out") + jobs;
        fs::create_directory(dir / out);
        runs[jobs] = RunCli({"smf0", "-j", jobs, "-o", out, "in"}, dir.Path());
        outputs[jobs] = Snapshot(dir / out);
    }
    const std::vector<std::string> lines = runs["1"].Lines();
    ASSERT_EQ(lines.size(), names.size() + 1);
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(lines[i].rfind(names[i], 0), 0u) << lines[i];
    EXPECT_EQ(outputs["1"].size(), 9u) << "the three format-0 files are refused";
    for (const char* jobs : {"2", "4"}) {
        EXPECT_EQ(runs[jobs].out, runs["1"].out) << "-j " << jobs;
        EXPECT_EQ(runs[jobs].status, runs["1"].status);
        EXPECT_EQ(outputs[jobs], outputs["1"]) << "-j " << jobs;
    }
}

// --- info ----------------------------------------------------------------------------

// What the file holds is the engine's inspection, tested there; here the wording of
// each part of the report and the exit status.
struct InfoCase {
    const char* name;
    Bytes bytes;
    std::string report;
    int status;
};

void PrintTo(const InfoCase& c, std::ostream* os) { *os << c.name; }

class Info : public ::testing::TestWithParam<InfoCase> {};

TEST_P(Info, DescribesTheFile) {
    TempDir dir;
    WriteFile(dir / "x.mid", GetParam().bytes);
    const CliRun run = RunCli({"info", "x.mid"}, dir.Path());
    EXPECT_EQ(run.out, GetParam().report);
    EXPECT_EQ(run.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Files, Info,
    ::testing::Values(
        InfoCase{"FormatZeroWithLyrics", FormatZeroSong(),
                 "x.mid: format 0, 1 track, division 120\n"
                 "  events per track: 6\n"
                 "  channels used: 1, 2\n"
                 "  lyrics: 1 lyric events; karaoke marker: no\n",
                 0},
        InfoCase{"KaraokeMarkerInTrackTwo",
                 Concat({Header(1, 2, 48), Track(Hex("00 FF 2F 00")),
                         Track(Concat({Meta(0, 0x01, Text("@KMIDI KARAOKE FILE")), Hex("00 C9 05 00 FF 2F 00")}))}),
                 "x.mid: format 1, 2 tracks, division 48\n"
                 "  events per track: 1, 3\n"
                 "  channels used: 10\n"
                 "  lyrics: none; karaoke marker: yes, track 2\n",
                 0},
        InfoCase{"Malformed", MalformedSong(),
                 "x.mid: format 1, 2 tracks, division 96\n"
                 "  events per track: -\n"
                 "  channels used: none\n"
                 "  lyrics: none; karaoke marker: no\n"
                 "  malformed: track 2 is not an MTrk chunk\n",
                 1},
        InfoCase{"NoHeader", Text("RIFF0000RMIDdata"),
                 "x.mid:\n"
                 "  malformed: no MThd header\n",
                 1},
        InfoCase{"TrailingBytes", Concat({FormatZeroSong(), Hex("00 00")}),
                 "x.mid: format 0, 1 track, division 120\n"
                 "  events per track: 6\n"
                 "  channels used: 1, 2\n"
                 "  lyrics: 1 lyric events; karaoke marker: no\n"
                 "  2 bytes follow the last track\n",
                 0},
        InfoCase{"ChunkPastTheEnd", Concat({Header(0, 1, 96), Hex("4D 54 72 6B 00 00 00 10 00 C3 05")}),
                 "x.mid: format 0, 1 track, division 96\n"
                 "  events per track: -\n"
                 "  channels used: 4\n"
                 "  lyrics: none; karaoke marker: no\n"
                 "  the track chunk reaches 13 bytes past the end of the file\n",
                 1}),
    [](const auto& info) { return std::string(info.param.name); });

// POSIX only: MinGW's std::filesystem makes no symbolic links (tests/windows covers
// unreadable inputs there).
#ifndef _WIN32
TEST(InfoCommand, ReportsEveryFileAndFailsWhenOneIsBadOrUnreadable) {
    TempDir dir;
    WriteFile(dir / "a.mid", FormatOneSong());
    WriteFile(dir / "big.mid", TooLargeSong());
    fs::create_symlink("nowhere.mid", dir / "gone.mid");
    fs::create_directory(dir / "folder.mid");
    const CliRun run = RunCli({"info", "--max-memory", "1M", "gone.mid", "a.mid", "folder.mid", "big.mid"}, dir.Path());
    EXPECT_EQ(run.out,
              "gone.mid: Error opening file\n"
              "a.mid: format 1, 2 tracks, division 96\n"
              "  events per track: 4, 3\n"
              "  channels used: 1, 2\n"
              "  lyrics: none; karaoke marker: no\n"
              "folder.mid: not a regular file\n"
              "big.mid: File too large (over the memory limit of 1 MiB)\n");
    EXPECT_EQ(run.status, 1);

    const CliRun good = RunCli({"info", "a.mid"}, dir.Path());
    EXPECT_EQ(good.status, 0);
}
#endif

}  // namespace
}  // namespace quorvel::testing
