// The pieces of quorvel-cli that need no process: names, ordering and the progress bar.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "input_list.hpp"
#include "progress.hpp"
#include "result_line.hpp"

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

TEST(PrintedNames, ControlCharactersAndBytesOutsideUtf8AreEscaped) {
    const struct {
        const char* name;
        std::string text;
        std::string printed;
    } rows[] = {
        {"plain UTF-8", "F\xC3\xBCr Elise \xF0\x9F\x8E\xB5.mid", "F\xC3\xBCr Elise \xF0\x9F\x8E\xB5.mid"},
        {"tab, line feed, carriage return", "a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"escape and other C0", std::string("\x1b[2J\x01") + '\0', "\\x1b[2J\\x01\\x00"},
        {"delete", "a\x7f", "a\\x7f"},
        {"C1 control in UTF-8", "a\xC2\x9B" "1m", "a\\xc2\\x9b1m"},
        {"no-break space is text", "a\xC2\xA0" "b", "a\xC2\xA0" "b"},
        {"stray and truncated bytes", "\xFF\xE2\x82", "\\xff\\xe2\\x82"},
        {"overlong form and surrogate", "\xC0\xAF\xED\xA0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},
#ifndef _WIN32
        {"backslash", "a\\b", "a\\\\b"},
#endif
    };
    for (const auto& row : rows) EXPECT_EQ(cli::PrintableName(row.text), row.printed) << row.name;
}

}  // namespace
}  // namespace quorvel::testing
