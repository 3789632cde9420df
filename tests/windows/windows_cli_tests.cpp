// quorvel-cli as a Windows user runs it, under Wine: non-ASCII names, Windows path
// forms, names that differ only in case, long paths, read-only targets, CR LF lines.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "cli_process.hpp"
#include "quorvel/batch/file_names.hpp"
#include "smf_test_support.hpp"
#include "windows_console.hpp"

namespace quorvel::testing {
namespace {

namespace fs = std::filesystem;
using batch::PathFromUtf8;
using batch::Utf8FromPath;

// Format 1, two tracks: merges cleanly; key tells files apart.
Bytes Song(std::uint8_t key = 0x3C) {
    return Concat({Header(1, 2, 96),
                   Track(Concat({Hex("00 90"), Bytes{key}, Hex("40 60"), Bytes{key}, Hex("00 00 FF 2F 00")})),
                   Track(Hex("00 91 30 50 30 30 00 00 FF 2F 00"))});
}

fs::path Under(const TempDir& dir, std::string_view utf8) { return dir.Path() / PathFromUtf8(utf8); }

TEST(NonAsciiNames, ConvertAndPrintTheirNamesInUtf8) {
    TempDir dir;
    fs::create_directory(Under(dir, "Eingänge"));
    fs::create_directory(Under(dir, "Ausgabe ü"));
    WriteFile(Under(dir, "Eingänge/Für Elise.mid"), Song(0x40));
    WriteFile(Under(dir, "Eingänge/夜曲.mid"), Song(0x41));
    const std::vector<std::string> expected{"Für Elise.mid converted to type 0", "夜曲.mid converted to type 0",
                                            "Conversion Complete"};

    const CliRun listed = RunCli({"smf0", "-o", "Ausgabe ü", "Eingänge"}, dir.Path());
    EXPECT_EQ(listed.Lines(), expected);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(ReadFile(Under(dir, "Ausgabe ü/Für Elise.mid")), RunType0(Song(0x40)).output);
    EXPECT_EQ(ReadFile(Under(dir, "Ausgabe ü/夜曲.mid")), RunType0(Song(0x41)).output);

    const CliRun named = RunCli({"smf0", "-f", "-o", "Ausgabe ü", "Eingänge\\Für Elise.mid", "Eingänge/夜曲.mid"},
                                dir.Path());
    EXPECT_EQ(named.Lines(), expected);

    const CliRun info = RunCli({"info", "Eingänge\\夜曲.mid"}, dir.Path());
    EXPECT_EQ(info.Lines().at(0), "Eingänge\\夜曲.mid: format 1, 2 tracks, division 96");
}

TEST(ConsoleLines, EndInCarriageReturnLineFeed) {
    TempDir dir;
    WriteFile(dir / "a.mid", Song());
    fs::create_directory(dir / "out");
    const CliRun run = RunCli({"smf0", "-o", "out", "a.mid", "missing.mid"}, dir.Path());
    EXPECT_EQ(run.rawOut, "a.mid converted to type 0\r\nmissing.mid - Error opening file\r\nConversion Complete\r\n");
}

TEST(ConsoleText, IsUtf16WithCrLfAndKeepsCutCharactersForLater) {
    std::string pending;
    EXPECT_EQ(cli::ConsoleText("a\nb", pending), L"a\r\nb");
    // 夜 is E5 A4 9C: its first two bytes come in one piece, the last in the next.
    EXPECT_EQ(cli::ConsoleText("x\xE5\xA4", pending), L"x");
    EXPECT_EQ(pending, "\xE5\xA4");
    EXPECT_EQ(cli::ConsoleText("\x9C\n", pending), L"\u591C\r\n");
    EXPECT_EQ(pending, "");
    EXPECT_EQ(cli::ConsoleText("\xFF!", pending), L"\uFFFD!") << "invalid bytes";
}

// The same files named in every form Windows users write paths in.
TEST(PathForms, DriveLettersBackslashesAndLongFormAllWork) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    WriteFile(dir / "in" / "a.mid", Song());
    const std::string absolute = Utf8FromPath(dir.Path());  // C:\users\...\Temp\quorvel-test-...
    ASSERT_EQ(absolute.substr(1, 2), ":\\");
    std::string forward = absolute;
    for (char& c : forward)
        if (c == '\\') c = '/';
    const struct {
        const char* name;
        std::string input;
        std::string output;
    } table[] = {
        {"drive letter, backslashes", absolute + "\\in\\a.mid", absolute + "\\out"},
        {"drive letter, slashes", forward + "/in/a.mid", forward + "/out/"},
        {"relative, backslashes", "in\\a.mid", "out\\"},
        {"long form", "\\\\?\\" + absolute + "\\in\\a.mid", "\\\\?\\" + absolute + "\\out"},
        {"drive-relative", absolute.substr(2) + "\\in\\a.mid", absolute.substr(0, 2) + "out"},
    };
    for (const auto& row : table) {
        fs::remove(dir / "out" / "a.mid");
        const CliRun run = RunCli({"smf0", "-o", row.output, row.input}, dir.Path());
        EXPECT_EQ(run.Lines(), (std::vector<std::string>{"a.mid converted to type 0", "Conversion Complete"}))
            << row.name << "\n"
            << run.err;
        EXPECT_EQ(ReadFile(dir / "out" / "a.mid"), RunType0(Song()).output) << row.name;
    }
}

TEST(PathForms, UncPathsOfNoServerFailPerFileOrAsUsage) {
    TempDir dir;
    WriteFile(dir / "a.mid", Song());
    fs::create_directory(dir / "out");
    const CliRun input = RunCli({"smf0", "-o", "out", "\\\\nosuchserver\\music\\b.mid", "a.mid"}, dir.Path());
    EXPECT_EQ(input.Lines(), (std::vector<std::string>{"b.mid - Error opening file", "a.mid converted to type 0",
                                                       "Conversion Complete"}));
    EXPECT_EQ(input.status, 1);
    const CliRun output = RunCli({"smf0", "-o", "\\\\nosuchserver\\music", "a.mid"}, dir.Path());
    EXPECT_EQ(output.status, 2);
    EXPECT_NE(output.err.find("Directory does not exist: \\\\nosuchserver\\music"), std::string::npos) << output.err;
}

// CLI11 reads "/name" as an option on Windows unless told not to; here it is a file.
TEST(PathForms, SlashRootedArgumentsAreFilesNotOptions) {
    TempDir dir;
    WriteFile(dir / "a.mid", Song());
    fs::create_directory(dir / "out");
    const CliRun run = RunCli({"smf0", "-o", "out", "/nosuchfolder/b.mid", "a.mid"}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"b.mid - Error opening file", "a.mid converted to type 0",
                                                     "Conversion Complete"}))
        << run.err;
}

TEST(CaseOnlyNames, ShareTheirOutputWhateverLettersDifferInCase) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    for (const char* name : {"Song.mid", "SONG.x.mid", "Ärger.mid", "äRGER.x.mid"})
        WriteFile(Under(dir, std::string("in/") + name), Song());
    // Windows opens in\SONG.MID as in\Song.mid: the same file, given twice. SONG.x.mid is
    // another file whose output, SONG.mid, is Song.mid's output whatever the case.
    const CliRun run = RunCli({"smf0", "-o", "out", "in\\Song.mid", "in\\SONG.MID", "in\\SONG.x.mid", "in\\Ärger.mid",
                               "in\\äRGER.x.mid"},
                              dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{
                               "Song.mid converted to type 0",
                               "SONG.MID - given more than once, converted once",
                               "SONG.x.mid - same output name as Song.mid, not converted",
                               "Ärger.mid converted to type 0",
                               "äRGER.x.mid - same output name as Ärger.mid, not converted",
                               "Conversion Complete",
                           }));
    EXPECT_EQ(run.status, 1);
}

TEST(CaseOnlyNames, DirectoriesListIgnoringTheCaseOfEveryLetter) {
    TempDir dir;
    fs::create_directory(dir / "in");
    fs::create_directory(dir / "out");
    // Byte order (and a to z folded only) would put Äb before äa.
    for (const char* name : {"Äb.mid", "äa.mid", "B.mid", "a.mid"})
        WriteFile(Under(dir, std::string("in/") + name), Song());
    const CliRun run = RunCli({"smf0", "-o", "out", "in"}, dir.Path());
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> order;
    for (const std::string& line : run.Lines()) order.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(order, (std::vector<std::string>{"a.mid", "B.mid", "äa.mid", "Äb.mid", "Conversion"}));
}

TEST(LongPaths, ConvertBeyondTheClassicLimit) {
    TempDir dir;
    fs::path folder = dir.Path();
    while (folder.native().size() <= 280) folder /= std::string(50, 'l') + std::to_string(folder.native().size());
    fs::create_directories(folder / "out");
    WriteFile(folder / "a.mid", Song());
    const std::string out = Utf8FromPath(folder / "out");
    const CliRun run = RunCli({"smf0", "-o", out, Utf8FromPath(folder / "a.mid")}, dir.Path());
    EXPECT_EQ(run.Lines(), (std::vector<std::string>{"a.mid converted to type 0", "Conversion Complete"})) << run.err;
    EXPECT_EQ(ReadFile(folder / "out" / "a.mid"), RunType0(Song()).output);
}

// A read-only target is never replaced, with -f or without (-f would not help).
TEST(ReadOnlyTarget, IsRefusedWithAndWithoutForce) {
    TempDir dir;
    fs::create_directory(dir / "out");
    WriteFile(dir / "a.mid", Song());
    WriteFile(dir / "b.mid", Song(0x45));
    const Bytes old = Text("read-only bytes");
    WriteFile(dir / "out" / "a.mid", old);
    ASSERT_TRUE(SetFileAttributesW((dir / "out" / "a.mid").c_str(), FILE_ATTRIBUTE_READONLY));
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string line;
    } table[] = {
        {"without -f", {"smf0", "-o", "out", "a.mid", "b.mid"}, "a.mid - File access denied"},
        {"with -f", {"smf0", "-f", "-o", "out", "a.mid", "b.mid"}, "a.mid - File access denied"},
    };
    for (const auto& row : table) {
        fs::remove(dir / "out" / "b.mid");
        const CliRun run = RunCli(row.arguments, dir.Path());
        EXPECT_EQ(run.Lines(), (std::vector<std::string>{row.line, "b.mid converted to type 0", "Conversion Complete"}))
            << row.name;
        EXPECT_EQ(run.status, 1) << row.name;
        EXPECT_EQ(ReadFile(dir / "out" / "a.mid"), old) << row.name;
        EXPECT_NE(GetFileAttributesW((dir / "out" / "a.mid").c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << row.name;
    }
    SetFileAttributesW((dir / "out" / "a.mid").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(CommandLine, QuotingGivesBackEveryArgument) {
    EXPECT_EQ(WindowsCommandLine({"a", "b c", "", "d\"e", "f\\\\", "g\\h", "i j\\"}),
              "a \"b c\" \"\" \"d\\\"e\" f\\\\ g\\h \"i j\\\\\"");
}

}  // namespace
}  // namespace quorvel::testing
