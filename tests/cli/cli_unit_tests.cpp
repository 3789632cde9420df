// The pieces of quorvel-cli that need no process: names, ordering and the progress bar.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "input_list.hpp"
#include "progress.hpp"

namespace quorvel::testing {
namespace {

TEST(InputNames, MidAndKarMatchInAnyCase) {
    const struct {
        const char* name;
        bool matches;
    } rows[] = {{"a.mid", true}, {"A.MID", true}, {"b.Kar", true}, {".mid", true},  {"a.midi", false},
                {"a.mid.txt", false}, {"mid", false}, {"a_mid", false}, {"", false}, {"x.kar ", false}};
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

}  // namespace
}  // namespace quorvel::testing
