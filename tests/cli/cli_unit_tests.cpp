// The pieces of quorvel-cli that need no process: names, ordering, listings, the JSON
// objects and the progress bar.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "quorvel/batch/file_names.hpp"
#include "quorvel/batch/naming.hpp"
#include "input_list.hpp"
#include "json_report.hpp"
#include "progress.hpp"
#include "smf_test_support.hpp"
#include "unprivileged.hpp"

namespace quorvel::testing {
namespace {

TEST(InputNames, MidAndKarMatchInAnyCase) {
    const struct {
        const char* name;
        bool matches;
    } rows[] = {{"a.mid", true},      {"A.MID", true}, {"b.Kar", true},  {".mid", true}, {"a.midi", false},
                {"a.mid.txt", false}, {"mid", false},  {"a_mid", false}, {"", false},    {"x.kar ", false}};
    for (const auto& row : rows) EXPECT_EQ(cli::HasMidiExtension(row.name), row.matches) << row.name;
}

TEST(InputNames, SortIgnoresCaseAndStaysTotal) {
    std::vector<std::string> names = {"b.mid", "B.mid", "a.MID", "C.kar", "_x.mid", "A.mid"};
    std::sort(names.begin(), names.end(), cli::LessIgnoringAsciiCase);
    EXPECT_EQ(names, (std::vector<std::string>{"_x.mid", "A.mid", "a.MID", "B.mid", "b.mid", "C.kar"}));
}

TEST(ProgressBarText, FillsInProportion) {
    EXPECT_EQ(cli::ProgressBar::Render(0, 4, 8), "[        ] 0/4");
    EXPECT_EQ(cli::ProgressBar::Render(1, 4, 8), "[##      ] 1/4");
    EXPECT_EQ(cli::ProgressBar::Render(3, 4, 8), "[######  ] 3/4");
    EXPECT_EQ(cli::ProgressBar::Render(4, 4, 8), "[########] 4/4");
    EXPECT_EQ(cli::ProgressBar::Render(9, 4, 8), "[########] 4/4") << "done never passes total";
    EXPECT_EQ(cli::ProgressBar::Render(0, 0, 4), "[####] 0/0");
}

TEST(ProgressBarText, ClearErasesOnlyWhatWasShown) {
    std::ostringstream out;
    cli::ProgressBar bar(out, 2);
    bar.Clear();
    EXPECT_EQ(out.str(), "");
    bar.Show(1);
    bar.Clear();
    const std::string shown = cli::ProgressBar::Render(1, 2);
#ifdef _WIN32
    EXPECT_EQ(out.str(), "\r" + shown + "\r" + std::string(shown.size(), ' ') + "\r");
#else
    EXPECT_EQ(out.str(), "\r" + shown + "\r\x1b[K");
#endif
}

namespace fs = std::filesystem;

// A relative name written with "/" in the platform's spelling.
std::string Native(std::string name) {
    std::replace(name.begin(), name.end(), '/', batch::PathSeparator);
    return name;
}

std::vector<std::string> ShownNames(const std::vector<cli::InputFile>& files) {
    std::vector<std::string> names;
    for (const cli::InputFile& file : files) names.push_back(file.ShownName() + (file.error ? " (error)" : ""));
    return names;
}

TEST(RecursiveInputs, FilesFirstThenSubfoldersByNameDepthFirst) {
    TempDir dir;
    const fs::path root = dir / "in";
    for (const char* name : {"b.mid", "A.kar", "notes.txt", "sub2/x.mid", "Sub/z.mid", "Sub/deep/Y.MID",
                             "Sub/deep/deeper/w.mid", "a.mid/inner.mid", "Sub/deep/c.kar"}) {
        fs::create_directories((root / name).parent_path());
        WriteFile(root / name, Header(1, 1, 96));
    }
    fs::create_directories(root / "empty");
    const std::string argument = batch::Utf8FromPath(root);

    const std::vector<cli::InputFile> files = cli::ExpandInputs({argument}, true);
    EXPECT_EQ(ShownNames(files),
              (std::vector<std::string>{"A.kar", "b.mid", Native("a.mid/inner.mid"), Native("Sub/z.mid"),
                                        Native("Sub/deep/c.kar"), Native("Sub/deep/Y.MID"),
                                        Native("Sub/deep/deeper/w.mid"), Native("sub2/x.mid")}));
    ASSERT_EQ(files.size(), 8u);
    EXPECT_EQ(files[6].folder, Native("Sub/deep/deeper"));
    EXPECT_EQ(files[6].displayName, "w.mid");
    EXPECT_EQ(files[6].path, root / "Sub" / "deep" / "deeper" / "w.mid");

    EXPECT_EQ(ShownNames(cli::ExpandInputs({argument}, false)), (std::vector<std::string>{"A.kar", "b.mid"}))
        << "without recursion the folders, a.mid/ too, are left out";
}

#ifndef _WIN32
// Links to folders would take the walk outside the tree or round in a loop; links to
// files are files. A folder that cannot be read is one entry, and the walk goes on.
TEST(RecursiveInputs, LinksToFoldersAreNotFollowedAndUnreadableFoldersAreReported) {
    RunUnprivileged([] {
        TempDir dir;
        const fs::path root = dir / "in";
        fs::create_directories(root / "a" / "inner");
        fs::create_directories(root / "b");
        fs::create_directories(root / "c");
        WriteFile(root / "a" / "inner" / "song.mid", Header(1, 1, 96));
        WriteFile(root / "c" / "last.mid", Header(1, 1, 96));
        fs::create_directory_symlink("a", root / "b" / "loop");
        fs::create_directory_symlink("..", root / "b" / "up.mid");
        fs::create_symlink("../a/inner/song.mid", root / "b" / "tune.mid");
        fs::permissions(root / "b", fs::perms::owner_read | fs::perms::owner_exec);
        fs::create_directories(root / "locked");
        fs::permissions(root / "locked", fs::perms::none);

        const std::vector<cli::InputFile> files = cli::ExpandInputs({root.string()}, true);
        fs::permissions(root / "locked", fs::perms::owner_all);
        EXPECT_EQ(ShownNames(files),
                  (std::vector<std::string>{"a/inner/song.mid", "b/tune.mid", "c/last.mid", "locked (error)"}));
        ASSERT_EQ(files.size(), 4u);
        EXPECT_EQ(files[3].error.value_or(""), "cannot list the directory: Permission denied");
    });
}
#endif

TEST(JsonOutcomes, EachKindHasItsName) {
    using Kind = batch::FileOutcome::Kind;
    const struct {
        Kind kind;
        const char* name;
        const char* dryRun;
    } rows[] = {{Kind::Converted, "converted", "would-fail"},  {Kind::Copied, "copied", "would-fail"},
                {Kind::Refused, "refused", "would-refuse"},    {Kind::Malformed, "malformed", "would-refuse"},
                {Kind::TooLarge, "too-large", "would-refuse"}, {Kind::Failed, "failed", "would-fail"},
                {Kind::Skipped, "skipped", "would-skip"},      {Kind::Declined, "skipped", "would-skip"}};
    for (const auto& row : rows) {
        EXPECT_EQ(cli::OutcomeName(row.kind), row.name);
        EXPECT_EQ(cli::DryRunRefusalName(row.kind), row.dryRun) << row.name;
    }
    EXPECT_EQ(cli::BatchOutcomeNames().size(), std::size(rows) - 1) << "declined counts as skipped";
}

batch::PlannedFile Planned(const std::string& input, const std::string& output) {
    batch::PlannedFile file;
    file.input = {batch::PathFromUtf8(input), input, std::nullopt};
    file.outputPath = batch::PathFromUtf8(output);
    return file;
}

TEST(JsonObjects, AFolderThatCouldNotBeListedHasNoOutput) {
    batch::PlannedFile unlisted = Planned("in/locked", "out/locked.mid");
    unlisted.input.error = "cannot list the directory";
    const auto failed = nlohmann::json::parse(cli::FileJson(unlisted, "failed", -1, "locked - cannot list"));
    EXPECT_TRUE(failed.at("code").is_null());
    EXPECT_TRUE(failed.at("output").is_null());
}

#ifndef _WIN32
// Names are bytes on Linux: one that is not UTF-8 keeps its exact bytes beside a readable form.
TEST(JsonObjects, ANameThatIsNotUtf8KeepsItsBytes) {
    const std::string object = cli::FileJson(Planned("a\xFF\n.mid", "b.mid"), "skipped", -1, "a\\xff\\n.mid - x");
    EXPECT_EQ(std::count(object.begin(), object.end(), '\n'), 0) << "one object, one line";
    const auto parsed = nlohmann::json::parse(object);
    EXPECT_EQ(parsed.at("input"), "a\xEF\xBF\xBD\n.mid");
    EXPECT_EQ(parsed.at("input_bytes"), "61ff0a2e6d6964");
    EXPECT_FALSE(parsed.contains("output_bytes")) << "only where the name is not UTF-8";
}
#else
// Windows names are UTF-16: one with an unpaired surrogate keeps its code units.
TEST(JsonObjects, ANameWithALoneSurrogateKeepsItsCodeUnits) {
    batch::PlannedFile file = Planned("a.mid", "b.mid");
    file.input.path = std::filesystem::path(std::wstring{L'a', wchar_t(0xD800), L'.', L'm'});
    const auto parsed = nlohmann::json::parse(cli::FileJson(file, "failed", -1, "x"));
    EXPECT_EQ(parsed.at("input_utf16"), "610000d82e006d00");
    EXPECT_FALSE(parsed.contains("output_utf16"));
}
#endif

TEST(JsonObjects, InfoHasTheFieldsTheReportPrints) {
    engine::Inspection info;
    info.headerRead = true;
    info.format = 1;
    info.tracks = 2;
    info.division = 96;
    info.eventsPerTrack = {4, 3};
    info.channels = 0x0201;  // channels 1 and 10
    info.lyricEvents = 5;
    info.karaokeMarkerTrack = 2;
    info.trailingBytes = 7;
    EXPECT_EQ(nlohmann::json::parse(cli::InfoJson("x.mid", info)), nlohmann::json::parse(R"({"type": "info",
        "file": "x.mid", "read_error": null, "format": 1, "tracks": 2, "division": 96, "events_per_track": [4, 3],
        "channels": [1, 10], "lyric_events": 5, "karaoke_marker_track": 2, "problem": null, "missing_bytes": 0,
        "trailing_bytes": 7, "well_formed": true})"));

    engine::Inspection noHeader;
    noHeader.problem = "no MThd header";
    const auto malformed = nlohmann::json::parse(cli::InfoJson("y.mid", noHeader));
    EXPECT_TRUE(malformed.at("format").is_null());
    EXPECT_TRUE(malformed.at("karaoke_marker_track").is_null());
    EXPECT_EQ(malformed.at("problem"), "no MThd header");
    EXPECT_EQ(malformed.at("well_formed"), false);

    engine::Inspection unreadable;
    unreadable.readError = "Error opening file";
    const auto unread = nlohmann::json::parse(cli::InfoJson("z.mid", unreadable));
    EXPECT_EQ(unread.at("read_error"), "Error opening file");
    EXPECT_TRUE(unread.at("trailing_bytes").is_null());
}

}  // namespace
}  // namespace quorvel::testing
