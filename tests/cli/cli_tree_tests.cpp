// quorvel-cli -r over a generated folder tree: the outputs mirror it, whatever -j, and
// --json and --dry-run report it.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "quorvel/batch/naming.hpp"
#include "cli_process.hpp"
#include "smf_test_support.hpp"
#include "unprivileged.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// Format 1, two tracks: merges cleanly; key makes each file's bytes its own.
Bytes Song(int key) {
    const auto k = static_cast<std::uint8_t>(key);
    return Concat({Header(1, 2, 96),
                   Track(Concat({Hex("00 90"), Bytes{k}, Hex("40 60"), Bytes{k}, Hex("00 00 FF 2F 00")})),
                   Track(Hex("00 91 30 50 30 30 00 00 FF 2F 00"))});
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Every regular file under root with its bytes, names relative with "/".
std::map<std::string, std::string> Files(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_regular_file())
            files[fs::relative(it->path(), root).generic_string()] = AsString(ReadFile(it->path()));
    return files;
}

// Every entry under root (folders too), with the bytes of the files.
std::map<std::string, std::string> Everything(const fs::path& root) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        entries[fs::relative(it->path(), root).generic_string()] = it->is_directory() ? "folder"
                                                                                      : AsString(ReadFile(it->path()));
    return entries;
}

// The objects of a --json run, one per line; "seconds" removed from the summary.
std::vector<Json> Objects(const CliRun& run) {
    std::vector<Json> objects;
    for (const std::string& line : run.Lines()) {
        Json object = Json::parse(line);
        object.erase("seconds");
        objects.push_back(std::move(object));
    }
    return objects;
}

// The tree: in/ holds 8 files and 10 artist folders, each with 4 files and 10 album
// folders of 20 files (one album has a disc folder below it), 2,048 files in all (416
// on Windows), in the order -r walks them; names alternate in case and extension, and every folder holds a
// file that is not a MIDI file.
struct Tree {
    std::vector<std::string> order;             // relative paths of the MIDI files, "/"-separated
    std::map<std::string, std::string> merged;  // relative output path -> bytes of the merge
};

std::string SongName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s %03d.%s", i % 2 == 0 ? "song" : "Song", i, i % 7 == 3 ? "KAR" : "mid");
    return name;
}

void AddFiles(const fs::path& in, const std::string& folder, int count, int& key, Tree& tree) {
    fs::create_directories(in / folder);
    WriteFile(in / folder / "cover.txt", Text("not a song"));
    for (int i = 0; i < count; ++i) {
        const std::string name = (folder.empty() ? "" : folder + "/") + SongName(i);
        const Bytes song = Song(key++ % 96 + 16);
        WriteFile(in / name, song);
        tree.order.push_back(name);
        tree.merged[name.substr(0, name.rfind('/') + 1) + batch::RemoveExt(SongName(i)) + ".mid"] = AsString(
            RunType0(song).output);
    }
}

#ifdef _WIN32
// Under Wine every file operation is slow: a tree of the same shape with 416 files.
constexpr int Artists = 2;
#else
constexpr int Artists = 10;
#endif

Tree MakeTree(const fs::path& in) {
    Tree tree;
    int key = 0;
    AddFiles(in, "", 8, key, tree);
    for (int artist = 0; artist < Artists; ++artist) {
        const std::string a = "Artist " + std::to_string(artist);
        AddFiles(in, a, 4, key, tree);
        for (int album = 0; album < 10; ++album) {
            const std::string b = a + "/" + (album % 2 == 0 ? "album " : "Album ") + std::to_string(album);
            AddFiles(in, b, artist == 0 && album == 0 ? 12 : 20, key, tree);
            if (artist == 0 && album == 0) AddFiles(in, b + "/Disc 1", 8, key, tree);
        }
    }
    return tree;
}

#ifdef QUORVEL_PYTHON
// What Python's json module makes of a --json run's output, read line by line as a
// script reads it: "file N, summary 1", or the line at fault.
std::string ReadInPython(const TempDir& dir, const CliRun& run) {
    const fs::path file = dir / "lines.json";
    WriteFile(file, Bytes(run.rawOut.begin(), run.rawOut.end()));
    const std::string command = std::string("'") + QUORVEL_PYTHON + "' '" + QUORVEL_JSON_LINES_SCRIPT + "' '" +
                                file.string() + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "python3 could not be started";
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    const int status = pclose(pipe);
    fs::remove(file);
    return status == 0 ? text : text + "(exit status " + std::to_string(status) + ")";
}
#endif

std::string Native(std::string name) {
    std::replace(name.begin(), name.end(), '/', batch::PathSeparator);
    return name;
}

TEST(Tree, RecursiveRunsMirrorTheTreeWithAnyJobsAndDryRunsWriteNothing) {
    TempDir dir;
    const Tree tree = MakeTree(dir / "in");
    ASSERT_EQ(tree.order.size(), 8u + 204u * Artists);
    const std::string count = std::to_string(tree.order.size());
    fs::create_directory(dir / "out");

    // A dry run first: every file would be written, and nothing is.
    const auto before = Everything(dir.Path());
    const CliRun dry = RunCli({"smf0", "-r", "--dry-run", "--json", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(Everything(dir.Path()), before);
    const std::vector<Json> planned = Objects(dry);
    ASSERT_EQ(planned.size(), tree.order.size() + 1);
    for (std::size_t i = 0; i < tree.order.size(); ++i) EXPECT_EQ(planned[i].at("outcome"), "would-convert") << i;
    EXPECT_EQ(planned.back().at("counts").at("would-convert"), tree.order.size());

    std::map<std::string, std::vector<Json>> objects;
    for (const char* jobs : {"1", "2"}) {
        const CliRun run = RunCli({"smf0", "-r", "--json", "-j", jobs, "-o", "out", "in"}, dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Files(dir / "out"), tree.merged) << "-j " << jobs;
        objects[jobs] = Objects(run);
#ifdef QUORVEL_PYTHON
        EXPECT_EQ(ReadInPython(dir, run), "file " + count + ", summary 1\n");
#endif
        fs::rename(dir / "out", dir / (std::string("out-j") + jobs));
        fs::create_directory(dir / "out");
    }
    EXPECT_EQ(objects["1"], objects["2"]) << "the same objects in the same order, apart from the time taken";

    const std::vector<Json>& files = objects["1"];
    ASSERT_EQ(files.size(), tree.order.size() + 1);
    for (std::size_t i = 0; i < tree.order.size(); ++i) {
        SCOPED_TRACE(tree.order[i]);
        EXPECT_EQ(files[i].at("input"), batch::ComposePath("in", Native(tree.order[i])));
        EXPECT_EQ(files[i].at("outcome"), "converted");
        EXPECT_EQ(files[i].at("code"), 0);
        EXPECT_EQ(files[i].at("message"), Native(tree.order[i]) + " converted to type 0");
    }
    EXPECT_EQ(files.back().at("type"), "summary");
    EXPECT_EQ(files.back().at("counts").at("converted"), tree.order.size());
    EXPECT_EQ(files.back().at("message"), "Conversion Complete");

    // With the outputs there, a dry run finds every one of them: skipped without -f,
    // replaced with it; still nothing changes.
    fs::remove(dir / "out");
    fs::rename(dir / "out-j1", dir / "out");
    const auto done = Everything(dir.Path());
    const CliRun kept = RunCli({"smf0", "-r", "--dry-run", "-q", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(kept.status, 1);
    ASSERT_EQ(kept.Lines().size(), tree.order.size() + 1);
    EXPECT_EQ(kept.Lines()[8],
              Native("Artist 0/song 000.mid - song 000.mid exists in out/Artist 0, not replaced (use -f)"));
    EXPECT_EQ(kept.Lines().back(), "Dry run: 0 of " + count + " files would be converted, nothing written");
    const CliRun replacing = RunCli({"smf0", "-r", "--dry-run", "-f", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(replacing.status, 0);
    EXPECT_EQ(replacing.Lines()[8], Native("Artist 0/song 000.mid - would replace song 000.mid in out/Artist 0"));
    EXPECT_EQ(Everything(dir.Path()), done);
}

// Each outcome with its name, the engine's result code (null where it gave none) and the
// line as printed; -q changes nothing; the summary counts every outcome.
TEST(Json, EachFileHasItsOutcomeCodeAndLine) {
    TempDir dir;
    WriteFile(dir / "a.mid", Song(60));
    WriteFile(dir / "b.mid", Concat({Header(0, 1, 96), Track(Hex("00 90 3C 40 60 3C 00 00 FF 2F 00"))}));
    WriteFile(dir / "c.mid", Concat({Header(1, 2, 96), Track(Hex("00 FF 2F 00")), Text("XXXX"), Hex("00 00 00 00")}));
    WriteFile(dir / "d.mid", Song(62));
    fs::create_directory(dir / "out");
    WriteFile(dir / "out" / "d.mid", Text("old"));

    const CliRun run = RunCli({"smf0", "--json", "-q", "-o", "out", "a.mid", "b.mid", "c.mid", "d.mid"}, dir.Path());
    EXPECT_EQ(run.status, 1);
    std::vector<Json> objects = Objects(run);
    ASSERT_EQ(objects.size(), 5u) << run.out;
    const struct {
        const char* outcome;
        Json code;
        const char* message;
    } rows[] = {{"converted", 0, "a.mid converted to type 0"},
                {"refused", 2, "b.mid - Not a Type 1 Midifile"},
                {"malformed", nullptr, "c.mid - Malformed Midifile: track 2 is not an MTrk chunk"},
                {"skipped", nullptr, "d.mid - d.mid exists in out, not replaced (use -f)"}};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(objects[i].at("outcome"), rows[i].outcome);
        EXPECT_EQ(objects[i].at("code"), rows[i].code) << rows[i].outcome;
        EXPECT_EQ(objects[i].at("message"), rows[i].message);
        EXPECT_EQ(objects[i].at("output"), batch::ComposePath("out", objects[i].at("input").get<std::string>()));
    }
    EXPECT_EQ(objects[4], Json::parse(R"({"type": "summary", "files": 4, "counts": {"converted": 1, "copied": 0,
        "refused": 1, "malformed": 1, "too-large": 0, "failed": 0, "skipped": 1}, "message": "Conversion Complete"})"));

    const CliRun copy = RunCli({"kar", "--json", "-o", "out", "a.mid"}, dir.Path());
    EXPECT_EQ(copy.status, 0);
    ASSERT_FALSE(copy.Lines().empty());
    EXPECT_EQ(Json::parse(copy.Lines()[0]).at("outcome"), "copied");
    EXPECT_EQ(Json::parse(copy.Lines()[0]).at("code"), 2) << "the split's result code for a file it does not take";
}

// An output folder is made for the files that go into it: one that cannot be made fails
// only its own files, and one whose only file was refused is removed again.
TEST(Recursive, OutputFoldersAreMadeForOutputsOnly) {
    TempDir dir;
    for (const char* folder : {"in/sub", "in/refused/deeper", "out"}) fs::create_directories(dir / folder);
    WriteFile(dir / "in" / "b.mid", Song(60));
    WriteFile(dir / "in" / "refused" / "deeper" / "zero.mid",
              Concat({Header(0, 1, 96), Track(Hex("00 90 3C 40 60 3C 00 00 FF 2F 00"))}));
    WriteFile(dir / "in" / "sub" / "a.mid", Song(61));
    WriteFile(dir / "out" / "sub", Text("a file where the folder would go"));
    const CliRun run = RunCli({"smf0", "-r", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.Lines().size(), 4u) << run.out;
    EXPECT_EQ(run.Lines()[0], "b.mid converted to type 0");
    EXPECT_EQ(run.Lines()[1], Native("refused/deeper/zero.mid - Not a Type 1 Midifile"));
    EXPECT_EQ(run.Lines()[2].rfind(Native("sub/a.mid - cannot make the folder out/sub: "), 0), 0u) << run.Lines()[2];
    EXPECT_EQ(Everything(dir / "out"),
              (std::map<std::string, std::string>{{"b.mid", AsString(RunType0(Song(60)).output)},
                                                  {"sub", "a file where the folder would go"}}));
}

// What one look at the disk shows, the dry run says as the real run then does: the same
// line, "would-fail" where the real run fails. Each row in a folder of its own; the real
// run's outcome in --json is "failed" for every one of these file errors.
TEST(DryRun, SaysWhatTheRealRunThenDoes) {
    struct Row {
        const char* name;
        std::vector<std::string> arguments;  // after "smf0", before the inputs' options
        std::function<void(const TempDir&)> make;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"missing input", {"-o", "out", "missing.mid"}, [](const TempDir&) {}, "missing.mid - Error opening file"},
        {"folder at the output name",
         {"-o", "out", "a.mid"},
         [](const TempDir& dir) { fs::create_directory(dir / "out" / "a.mid"); },
         "a.mid - a.mid in out is not a file, not replaced"},
        {"folder at the output name, -f",
         {"-f", "-o", "out", "a.mid"},
         [](const TempDir& dir) { fs::create_directory(dir / "out" / "a.mid"); },
         "a.mid - a.mid in out is not a file, not replaced"},
        {"output folder blocked by a file",
         {"-r", "-o", "out", "in"},
         [](const TempDir& dir) {
             fs::create_directories(dir / "in" / "sub");
             WriteFile(dir / "in" / "sub" / "a.mid", Song(61));
             WriteFile(dir / "out" / "sub", Text("a file where the folder would go"));
         },
         Native("sub/a.mid - cannot make the folder out/sub: Not a directory")},
#ifndef _WIN32
        {"dangling link",
         {"-o", "out", "link.mid"},
         [](const TempDir& dir) { fs::create_symlink("nowhere.mid", dir / "link.mid"); },
         "link.mid - Error opening file"},
        {"looping link",
         {"-o", "out", "loop.mid"},
         [](const TempDir& dir) { fs::create_symlink("loop.mid", dir / "loop.mid"); },
         "loop.mid - Error opening file"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        fs::create_directory(dir / "out");
        WriteFile(dir / "a.mid", Song(60));
        row.make(dir);
        std::vector<std::string> dry = {"smf0", "--dry-run"}, real = {"smf0", "--json"};
        dry.insert(dry.end(), row.arguments.begin(), row.arguments.end());
        real.insert(real.end(), row.arguments.begin(), row.arguments.end());
        const auto before = Everything(dir / "out");
        const CliRun dryRun = RunCli(dry, dir.Path());
        EXPECT_EQ(Everything(dir / "out"), before) << "a dry run writes nothing";
        ASSERT_FALSE(dryRun.Lines().empty()) << dryRun.err;
        EXPECT_EQ(dryRun.Lines()[0], row.line);
        EXPECT_EQ(dryRun.status, 1);
        dry.insert(dry.begin() + 1, "--json");
        EXPECT_EQ(Objects(RunCli(dry, dir.Path())).at(0).at("outcome"), "would-fail");
        const std::vector<Json> objects = Objects(RunCli(real, dir.Path()));
        ASSERT_FALSE(objects.empty());
        EXPECT_EQ(objects[0].at("message"), row.line);
        EXPECT_EQ(objects[0].at("outcome"), "failed");
    }
#ifndef _WIN32
    // An input that may not be read, as a user whom permission bits bind.
    RunUnprivileged([] {
        TempDir dir;
        WriteFile(dir / "a.mid", Song(60));
        fs::permissions(dir / "a.mid", fs::perms::none);
        fs::create_directory(dir / "out");
        const CliRun dryRun = RunCli({"smf0", "--dry-run", "-o", "out", "a.mid"}, dir.Path());
        const CliRun realRun = RunCli({"smf0", "-o", "out", "a.mid"}, dir.Path());
        ASSERT_FALSE(dryRun.Lines().empty());
        EXPECT_EQ(dryRun.Lines()[0], "a.mid - Error opening file");
        EXPECT_EQ(realRun.Lines(), (std::vector<std::string>{"a.mid - Error opening file", "Conversion Complete"}));
    });
#endif
}

#ifndef _WIN32
// A tree deeper than the system's path limit (4096 bytes on Linux), made folder by
// folder through directory handles: the entry whose path is too long to look at gets its
// line, and the files above it are converted as usual.
TEST(Recursive, AnEntryPastThePathLimitGetsItsLine) {
    TempDir dir;
    fs::create_directories(dir / "tree");
    WriteFile(dir / "tree" / "top.mid", Song(60));
    fs::create_directory(dir / "out");
    const std::string name(253, 'd');
    int folder = ::open((dir / "tree").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::string relative;  // below tree, as long as the lines show it
    for (int depth = 0; depth < 17; ++depth) {
        ASSERT_EQ(::mkdirat(folder, name.c_str(), 0755), 0) << depth;
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        ASSERT_GE(next, 0) << depth;
        folder = next;
        relative += (relative.empty() ? "" : "/") + name;
    }
    ::close(folder);
    const CliRun run = RunCli({"smf0", "-r", "-o", "out", "tree"}, dir.Path());
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = run.Lines();
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(lines[0], "top.mid converted to type 0");
    EXPECT_NE(lines[1].find(" - cannot list the directory: File name too long"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[1].rfind(name + "/", 0), 0u) << "named by its path below the folder given";
    EXPECT_EQ(lines[2], "Conversion Complete");
}
#endif

// info keeps to --max-memory as the conversions do: a format-1 file whose events lie far
// apart in time needs room to check the merged track's gaps, counted with the file.
TEST(Info, KeepsToTheMemoryLimit) {
    TempDir dir;
    Bytes events;
    for (int i = 0; i < 140000; ++i) {
        const Bytes event{0x8F, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x40};  // the longest delta, a note
        events.insert(events.end(), event.begin(), event.end());
    }
    WriteFile(dir / "sparse.mid",
              Concat({Header(1, 2, 96), Track(Hex("00 FF 2F 00")), Track(Concat({events, Hex("00 FF 2F 00")}))}));
    const CliRun small = RunCli({"info", "--max-memory", "1M", "sparse.mid"}, dir.Path());
    EXPECT_EQ(small.status, 1);
    EXPECT_EQ(small.Lines(), std::vector<std::string>{"sparse.mid: File too large (over the memory limit of 1 MiB)"});
    const CliRun ample = RunCli({"info", "sparse.mid"}, dir.Path());
    EXPECT_EQ(ample.status, 0) << ample.out;
}

// What each field holds is the unit tests' business; here the command and its status.
TEST(Info, JsonGivesOneObjectPerFile) {
    TempDir dir;
    WriteFile(dir / "a.mid", Song(60));
    WriteFile(dir / "bad.mid", Text("RIFF0000RMIDdata"));
    const CliRun run = RunCli({"info", "--json", "a.mid", "bad.mid"}, dir.Path());
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.Lines().size(), 2u) << run.out;
    EXPECT_EQ(Json::parse(run.Lines()[0]).at("tracks"), 2);
    EXPECT_EQ(Json::parse(run.Lines()[1]).at("well_formed"), false);
}

}  // namespace
}  // namespace quorvel::testing
