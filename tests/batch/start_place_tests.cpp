// Starting with files: where a window goes for the files and folders it is given on its
// command line or dropped on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/start_place.hpp"
#include "smf_test_support.hpp"

namespace quorvel::batch {
namespace {

namespace fs = std::filesystem;

struct PlanRow {
    const char* name;
    std::vector<std::string> given;  // relative to the test's folder; "" stays empty
    std::string directory;           // relative to the test's folder; "" for none
    int filterIndex;
    std::vector<std::string> selected;
    std::vector<std::string> missing;  // relative to the test's folder, as given
};

TEST(StartPlace, GoesToTheFirstFilesFolderWithItsFilterAndSelectsTheGivenFilesThere) {
    testing::TempDir dir;
    for (const char* name :
         {"a/one.mid", "a/two.mid", "a/Song.KAR", "a/notes.txt", "a/deep/three.mid", "b/four.mid", "b/five.kar"}) {
        fs::create_directories((dir / name).parent_path());
        testing::WriteFile(dir / name, {0});
    }
    const std::vector<PlanRow> rows = {
        {"one .mid file", {"a/two.mid"}, "a", 0, {"two.mid"}, {}},
        {"a .KAR file switches the filter", {"a/Song.KAR", "a/one.mid"}, "a", 1, {"Song.KAR", "one.mid"}, {}},
        {"a file of no mask keeps the filter", {"a/notes.txt", "a/one.mid"}, "a", -1, {"notes.txt", "one.mid"}, {}},
        {"files of other folders are not selected",
         {"b/five.kar", "a/one.mid", "b/four.mid", "a/deep/three.mid"},
         "b",
         1,
         {"five.kar", "four.mid"},
         {}},
        {"a folder first: its files given after it", {"a", "b/four.mid", "a/two.mid"}, "a", -1, {"two.mid"}, {}},
        {"a folder with a trailing separator", {"b/"}, "b", -1, {}, {}},
        {"a file given twice is selected once", {"a/one.mid", "a/./one.mid"}, "a", 0, {"one.mid"}, {}},
        {"names of nothing are skipped, the next one counts",
         {"a/gone.mid", "", "b/four.mid"},
         "b",
         0,
         {"four.mid"},
         {"a/gone.mid", ""}},
        {"nothing but missing names", {"c/gone.kar"}, "", -1, {}, {"c/gone.kar"}},
        {"no paths", {}, "", -1, {}, {}},
    };
    const std::vector<std::string> masks = FilterMasks(MidiFileFilter);
    ASSERT_EQ(masks, (std::vector<std::string>{"*.mid", "*.kar"}));
    const auto at = [&](const std::string& relative) { return relative.empty() ? fs::path() : dir / relative; };
    for (const PlanRow& row : rows) {
        std::vector<fs::path> given;
        for (const std::string& path : row.given) given.push_back(at(path));
        const StartPlace place = PlanStart(given, masks);
        EXPECT_EQ(place.directory, row.directory.empty() ? fs::path() : at(row.directory)) << row.name;
        EXPECT_EQ(place.filterIndex, row.filterIndex) << row.name;
        EXPECT_EQ(place.selected, std::vector<fs::path>(row.selected.begin(), row.selected.end())) << row.name;
        std::vector<std::string> missing;
        for (const std::string& path : row.missing) missing.push_back(at(path).string());
        EXPECT_EQ(place.missing, missing) << row.name;
    }

    // A path relative to the current directory.
    const fs::path before = fs::current_path();
    fs::current_path(dir / "b");
    const StartPlace relative = PlanStart({"five.kar"}, masks);
    fs::current_path(before);
    EXPECT_EQ(relative.directory, dir / "b");
    EXPECT_EQ(relative.selected, std::vector<fs::path>{"five.kar"});
}

TEST(StartPlace, MasksMatchWildcardsInAnyCaseAndMissingPathsAreOneLineEach) {
    const struct {
        const char* name;
        const char* mask;
        bool matches;
    } rows[] = {{"song.mid", "*.mid", true},    {"SONG.MID", "*.mid", true},  {"song.midi", "*.mid", false},
                {"a.kar", "*.mid;*.kar", true}, {"x1.mid", "x?.mid", true},   {"x12.mid", "x?.mid", false},
                {"mid", "*.mid", false},        {"a.b.mid", "*.*.mid", true}, {"anything", "*", true}};
    for (const auto& row : rows) EXPECT_EQ(MatchesMask(row.name, row.mask), row.matches) << row.name << " " << row.mask;
    EXPECT_EQ(MissingPathsText({"a.mid", "b/c.kar"}),
              "a.mid - No such file or folder\rb/c.kar - No such file or folder.");
}

}  // namespace
}  // namespace quorvel::batch
