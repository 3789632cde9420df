#include <gtest/gtest.h>

#include <string>

#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/printable_name.hpp"

namespace quorvel::batch {
namespace {

struct RemoveExtRow {
    const char* name;
    std::string input;
    std::string base;
};

class RemoveExtTest : public ::testing::TestWithParam<RemoveExtRow> {};

TEST_P(RemoveExtTest, CutsAtTheFirstDot) { EXPECT_EQ(RemoveExt(GetParam().input), GetParam().base); }

INSTANTIATE_TEST_SUITE_P(Names, RemoveExtTest,
                         ::testing::Values(RemoveExtRow{"plain", "song.mid", "song"},
                                           RemoveExtRow{"two_dots", "my.song.mid", "my"},
                                           RemoveExtRow{"no_dot", "song", "song"},
                                           RemoveExtRow{"only_extension", ".mid", ""}, RemoveExtRow{"empty", "", ""},
                                           // A tail of more than 128 characters after the dot goes too.
                                           RemoveExtRow{"long_tail", "song." + std::string(140, 'x') + ".mid", "song"},
                                           RemoveExtRow{"utf8", "F\xC3\xBCr Elise.mid", "F\xC3\xBCr Elise"}),
                         [](const auto& info) { return std::string(info.param.name); });

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
        {"C1 control in UTF-8",
         "a\xC2\x9B"
         "1m",
         "a\\xc2\\x9b1m"},
        {"no-break space is text",
         "a\xC2\xA0"
         "b",
         "a\xC2\xA0"
         "b"},
        {"stray and truncated bytes", "\xFF\xE2\x82", "\\xff\\xe2\\x82"},
        {"direction overrides and marks",
         "evil\xE2\x80\xAE"
         "dim.mid\xE2\x80\x8F\xD8\x9C\xE2\x81\xA6",
         "evil\\u202Edim.mid\\u200F\\u061C\\u2066"},
        {"other punctuation of that block is text",
         "a\xE2\x80\x94"
         "b",
         "a\xE2\x80\x94"
         "b"},
        {"overlong form and surrogate", "\xC0\xAF\xED\xA0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},
#ifndef _WIN32
        {"backslash", "a\\b", "a\\\\b"},
#endif
    };
    for (const auto& row : rows) EXPECT_EQ(PrintableName(row.text), row.printed) << row.name;
}

}  // namespace
}  // namespace quorvel::batch
