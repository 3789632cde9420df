// The batch driver against a scripted window and a scripted engine: which boxes appear,
// in which order, with which titles and texts, and which engine calls are made.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <deque>
#include <functional>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "quorvel/batch/batch_driver.hpp"
#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/batch_session.hpp"
#include "quorvel/engine/errors.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"
#include "quorvel/batch/output_names.hpp"
#include "quorvel/batch/window_folders.hpp"
#include "smf_test_support.hpp"

namespace quorvel::batch {

// How GoogleTest prints a progress report (found next to BatchProgress).
void PrintTo(const BatchProgress& p, std::ostream* out) {
    *out << p.done << " of " << p.total << " [" << p.current << "]" << (p.finished ? " finished" : "");
}

namespace {

using engine::FileTooLarge;
using engine::IoError;
using engine::MalformedFile;
using engine::OutOfMemory;

struct Box {
    std::string kind;  // plain, confirm, information, error
    std::string title;
    std::string text;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << box.kind << " [" << box.title << "] " << box.text;
}

Box Plain(std::string text) { return {"plain", "Quorvel", std::move(text)}; }
Box Ask(std::string text) { return {"confirm", "Confirm", std::move(text)}; }
Box Error(std::string text) { return {"error", "Quorvel", std::move(text)}; }
// The final box of a batch of more than one file: its first line, the counts under it.
Box Final(const std::string& first, const std::string& counts) { return Plain(first + "\r" + counts); }

// Directories in the platform's form.
#ifdef _WIN32
const std::string Root = "C:\\";
#else
const std::string Root = "/";
#endif
std::filesystem::path U8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
// The folders the tests name, made once in a folder of their own: a batch checks that its
// folders exist before it starts. The files in them are the tests' business.
std::string Dir(std::string_view name) {
    static const testing::TempDir base;
    static const bool made = [] {
        for (const char* folder : {"music", "MUSIC", "out", "out1", "m\xc3\xbcsic", "m\xc3\x9csic"})
            std::filesystem::create_directories(base.Path() / U8(folder));
        return true;
    }();
    (void)made;
    const std::u8string text = (base.Path() / U8(name)).u8string();
    return std::string(text.begin(), text.end());
}
std::string In(std::string_view dir, std::string_view file) {
    return std::string(dir) + PathSeparator + std::string(file);
}

// A window whose file list, directories and options a test sets up; it records every box
// and answers confirmations from a script (a confirmation without a scripted answer fails).
class FakeWindow final : public BatchWindow {
public:
    struct Entry {
        std::string name;
        bool selected;
    };
    std::vector<Entry> entries;
    std::string directory = Dir("music");
    std::string output = Dir("out");
    bool promptBetweenFiles = false;
    bool promptBeforeOverwriting = true;
    bool resultsInOneList = false;
    std::deque<BoxAnswer> answers;
    // The replacement question's check box, one mark per question (unchecked when none is left).
    std::deque<bool> checks;
    std::vector<Box> boxes;
    std::vector<BatchProgress> progress;
    std::vector<ResultsList> results;
    bool stopPressed = false;  // what StopRequested answers

    // Entries all selected, or selected as marked by a leading '*' when any has one.
    void SetFiles(std::initializer_list<std::string> names) {
        bool marked = false;
        for (const auto& n : names) marked = marked || (!n.empty() && n[0] == '*');
        entries.clear();
        for (const auto& n : names) {
            const bool star = !n.empty() && n[0] == '*';
            entries.push_back({star ? n.substr(1) : n, marked ? star : true});
        }
    }

    int FileCount() const override { return static_cast<int>(entries.size()); }
    std::string FileEntry(int i) const override { return entries.at(static_cast<std::size_t>(i)).name; }
    std::filesystem::path FileName(int i) const override { return U8(entries.at(static_cast<std::size_t>(i)).name); }
    bool FileSelected(int i) const override { return entries.at(static_cast<std::size_t>(i)).selected; }
    void SetFileSelected(int i, bool on) override { entries.at(static_cast<std::size_t>(i)).selected = on; }
    std::string FileDirectory() const override { return directory; }
    std::string OutputDirectory() const override { return output; }
    bool OptionChecked(BatchOption option) const override {
        switch (option) {
        case BatchOption::PromptBetweenFiles: return promptBetweenFiles;
        case BatchOption::PromptBeforeOverwriting: return promptBeforeOverwriting;
        case BatchOption::ResultsInOneList: break;
        }
        return resultsInOneList;
    }
    void SetOptionChecked(BatchOption option, bool checked) override { Option(option) = checked; }
    void PlainMessage(std::string_view title, std::string_view text) override {
        boxes.push_back({"plain", std::string(title), std::string(text)});
    }
    BoxAnswer Confirm(std::string_view title, std::string_view text) override {
        boxes.push_back({"confirm", std::string(title), std::string(text)});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected confirmation: " << text;
            return BoxAnswer::Cancel;
        }
        const BoxAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    ReplaceAnswer ConfirmReplace(std::string_view title, std::string_view text,
                                 std::string_view checkCaption) override {
        EXPECT_EQ(checkCaption, "Do the same for the remaining files");
        const BoxAnswer answer = Confirm(title, text);
        bool checked = false;
        if (!checks.empty()) {
            checked = checks.front();
            checks.pop_front();
        }
        return {answer, checked};
    }
    void InformationMessage(std::string_view title, std::string_view text) override {
        boxes.push_back({"information", std::string(title), std::string(text)});
    }
    void ErrorReport(std::string_view title, std::string_view text) override {
        boxes.push_back({"error", std::string(title), std::string(text)});
    }
    void ShowProgress(const BatchProgress& p) override { progress.push_back(p); }
    bool StopRequested() const override { return stopPressed; }
    void ShowResults(const ResultsList& list) override { results.push_back(list); }

private:
    bool& Option(BatchOption option) {
        switch (option) {
        case BatchOption::PromptBetweenFiles: return promptBetweenFiles;
        case BatchOption::PromptBeforeOverwriting: return promptBeforeOverwriting;
        case BatchOption::ResultsInOneList: break;
        }
        return resultsInOneList;
    }
};

std::string Text(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

// An engine that records its calls ("type0 IN -> OUT", "type1 ...", "copy ...") and
// plays a script: one step per conversion, one result per copy.
class FakeEngine final : public EngineCalls {
public:
    std::deque<std::function<int()>> steps;
    struct CopyResult {
        bool copied;
        std::string reason;
    };
    std::deque<CopyResult> copies;
    std::vector<std::string> calls;

    int ConvertToType0(const std::filesystem::path& in, const std::filesystem::path& out) override {
        calls.push_back("type0 " + Text(in) + " -> " + Text(out));
        return Next();
    }
    int ConvertToType1(const std::filesystem::path& in, const std::filesystem::path& out) override {
        calls.push_back("type1 " + Text(in) + " -> " + Text(out));
        return Next();
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path& in,
                                                    const std::filesystem::path& out) override {
        return Copy("copy", in, out);
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& in,
                                                 const std::filesystem::path& out) override {
        return Copy("replacing copy", in, out);
    }

private:
    std::optional<std::string> Copy(std::string_view kind, const std::filesystem::path& in,
                                    const std::filesystem::path& out) {
        calls.push_back(std::string(kind) + " " + Text(in) + " -> " + Text(out));
        if (copies.empty()) {
            ADD_FAILURE() << "unexpected copy";
            return "unexpected copy";
        }
        const CopyResult r = copies.front();
        copies.pop_front();
        if (r.copied) return std::nullopt;
        return r.reason;
    }

    int Next() {
        if (steps.empty()) {
            ADD_FAILURE() << "unexpected engine call";
            return 0;
        }
        auto step = std::move(steps.front());
        steps.pop_front();
        return step();
    }
};

std::function<int()> Code(int c) {
    return [c] { return c; };
}
template <class E, class... A>
std::function<int()> Throws(A... args) {
    return [args...]() -> int { throw E(args...); };
}

std::string Call(std::string_view entry, const std::string& in, const std::string& out) {
    return std::string(entry) + " " + in + " -> " + out;
}

// ---- No selection -------------------------------------------------------------------

class NoSelectionTest : public ::testing::TestWithParam<BatchKind> {};

TEST_P(NoSelectionTest, OnlyTheFinalBoxAndNoEngineCall) {
    for (const bool emptyList : {false, true}) {
        FakeWindow window;
        if (!emptyList) window.SetFiles({"a.mid", "b.mid"});
        for (auto& e : window.entries) e.selected = false;
        window.promptBetweenFiles = true;
        FakeEngine engine;
        RunBatch(GetParam(), window, engine);
        EXPECT_EQ(window.boxes, std::vector<Box>{Plain("No Files Selected")}) << "empty list: " << emptyList;
        EXPECT_TRUE(engine.calls.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBatch, NoSelectionTest,
                         ::testing::Values(BatchKind::Smf0, BatchKind::Smf1, BatchKind::Karaoke));

// ---- Mixed results ------------------------------------------------------------------

TEST(MixedResults, Smf0ReportsEachRefusalAndGoesOn) {
    FakeWindow window;
    window.SetFiles({"*a.mid", "*b.mid", "skipped.mid", "*c.mid", "*d.mid", "*e.mid", "*f.mid", "*g.mid"});
    FakeEngine engine;
    engine.steps = {Code(0),
                    Code(1),
                    Code(2),
                    Code(3),
                    Throws<MalformedFile>(std::string("no MThd header")),
                    Throws<FileTooLarge>(std::uint64_t{1} << 30),
                    Code(0)};
    RunBatch(BatchKind::Smf0, window, engine);

    const std::string music = Dir("music"), out = Dir("out");
    std::vector<std::string> expectedCalls;
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g"})
        expectedCalls.push_back(Call("type0", In(music, std::string(name) + ".mid"),
                                     In(out, std::string(name) + ".mid")));
    EXPECT_EQ(engine.calls, expectedCalls);
    EXPECT_EQ(window.boxes, (std::vector<Box>{
                                Plain("b.mid - Error opening file"),
                                Plain("c.mid - Not a Type 1 Midifile"),
                                Plain("d.mid - Too many tracks encountered"),
                                Plain("e.mid - Malformed Midifile: no MThd header"),
                                Plain("f.mid - File too large (over the memory limit of 1 GiB)"),
                                Final("Conversion Complete", "2 converted, 5 refused, 0 failed"),
                            }));
}

TEST(MixedResults, Smf1ShowsEveryCodeOneToSixAndSuccessesWhenAsked) {
    FakeWindow window;
    window.SetFiles({"s0.mid", "s1.mid", "s2.mid", "s3.mid", "s4.mid", "s5.mid", "s6.mid"});
    window.promptBetweenFiles = true;
    FakeEngine engine;
    engine.steps = {Code(0), Code(1), Code(2), Code(3), Code(4), Code(5), Code(6)};
    RunBatch(BatchKind::Smf1, window, engine);

    ASSERT_EQ(engine.calls.size(), 7U);
    EXPECT_EQ(engine.calls[3], Call("type1", In(Dir("music"), "s3.mid"), In(Dir("out"), "s3.mid")));
    EXPECT_EQ(window.boxes, (std::vector<Box>{
                                Plain("s0.mid converted to type 1"),
                                Plain("s1.mid - Error opening file"),
                                Plain("s2.mid - Not a Type 0 Midifile"),
                                Plain("s3.mid - Pass 1 (no EOF)"),
                                Plain("s4.mid - Pass 1 (beyond EOF)"),
                                Plain("s5.mid - Pass 3 (no EOF)"),
                                Plain("s6.mid - Pass 3 (beyond EOF)"),
                                Final("Operation Complete", "1 converted, 6 refused, 0 failed"),
                            }));
}

TEST(MixedResults, KaraokeCopiesOnCodeTwoAndReportsOtherCodesAsSmf1) {
    FakeWindow window;
    window.SetFiles({"ok.mid", "fmt1.mid", "fmt1b.mid", "bad.mid", "broken.mid"});
    FakeEngine engine;
    engine.steps = {Code(0), Code(2), Code(2), Code(4), Throws<MalformedFile>(std::string("event past chunk end"))};
    engine.copies = {{true, ""}, {false, "Output file already exists"}};
    RunBatch(BatchKind::Karaoke, window, engine);

    const std::string music = Dir("music"), out = Dir("out");
    EXPECT_EQ(engine.calls, (std::vector<std::string>{
                                Call("type1", In(music, "ok.mid"), In(out, "ok.kar")),
                                Call("type1", In(music, "fmt1.mid"), In(out, "fmt1.kar")),
                                Call("copy", In(music, "fmt1.mid"), In(out, "fmt1.kar")),
                                Call("type1", In(music, "fmt1b.mid"), In(out, "fmt1b.kar")),
                                Call("copy", In(music, "fmt1b.mid"), In(out, "fmt1b.kar")),
                                Call("type1", In(music, "bad.mid"), In(out, "bad.kar")),
                                Call("type1", In(music, "broken.mid"), In(out, "broken.kar")),
                            }));
    // The copy is reported even with "Prompt After Each File" off; a copy that did not
    // take place says why.
    EXPECT_EQ(window.boxes, (std::vector<Box>{
                                Plain("fmt1.mid converted to karaoke"),
                                Plain("fmt1b.mid - Output file already exists"),
                                Plain("bad.mid - Pass 1 (beyond EOF)"),
                                Plain("broken.mid - Malformed Midifile: event past chunk end"),
                                Final("Operation Complete", "2 converted, 2 refused, 1 failed"),
                            }));
}

TEST(MixedResults, EveryFileFailingStillEndsWithTheCompletionText) {
    FakeWindow window;
    window.SetFiles({"a.mid", "b.mid"});
    FakeEngine engine;
    engine.steps = {Code(2), Code(2)};
    RunBatch(BatchKind::Smf0, window, engine);
    EXPECT_EQ(window.boxes,
              (std::vector<Box>{Plain("a.mid - Not a Type 1 Midifile"), Plain("b.mid - Not a Type 1 Midifile"),
                                Final("Conversion Complete", "0 converted, 2 refused, 0 failed")}));
}

// ---- "Prompt After Each File" ---------------------------------------------------------

struct OptionRow {
    BatchKind kind;
    bool promptBetweenFiles;
    std::vector<Box> boxes;
};

void PrintTo(const OptionRow& row, std::ostream* out) {
    *out << "kind " << static_cast<int>(row.kind) << ", prompt after each file " << row.promptBetweenFiles;
}

class PromptBetweenFilesTest : public ::testing::TestWithParam<OptionRow> {};

TEST_P(PromptBetweenFilesTest, SuccessBoxOnlyWhenOn) {
    const OptionRow& row = GetParam();
    FakeWindow window;
    window.SetFiles({"one.mid", "two.mid"});
    window.promptBetweenFiles = row.promptBetweenFiles;
    FakeEngine engine;
    engine.steps = {Code(0), Code(0)};
    RunBatch(row.kind, window, engine);
    EXPECT_EQ(window.boxes, row.boxes);
    EXPECT_EQ(engine.calls.size(), 2U);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBatch, PromptBetweenFilesTest,
    ::testing::Values(
        OptionRow{BatchKind::Smf0, false, {Final("Conversion Complete", "2 converted, 0 refused, 0 failed")}},
        OptionRow{BatchKind::Smf0,
                  true,
                  {Plain("one.mid converted to type 0"), Plain("two.mid converted to type 0"),
                   Final("Conversion Complete", "2 converted, 0 refused, 0 failed")}},
        OptionRow{BatchKind::Smf1, false, {Final("Operation Complete", "2 converted, 0 refused, 0 failed")}},
        OptionRow{BatchKind::Smf1,
                  true,
                  {Plain("one.mid converted to type 1"), Plain("two.mid converted to type 1"),
                   Final("Operation Complete", "2 converted, 0 refused, 0 failed")}},
        OptionRow{BatchKind::Karaoke, false, {Final("Operation Complete", "2 converted, 0 refused, 0 failed")}},
        OptionRow{BatchKind::Karaoke,
                  true,
                  {Plain("one.mid converted to karaoke"), Plain("two.mid converted to karaoke"),
                   Final("Operation Complete", "2 converted, 0 refused, 0 failed")}}));

// ---- The replacement test -------------------------------------------------------------

struct ReplaceRow {
    const char* name;
    std::string inputDir;
    std::string outputDir;
    std::string file;
    bool promptBeforeOverwriting;
    std::deque<BoxAnswer> answers;
    bool converts;  // the engine is called
    std::vector<Box> boxes;
};

void PrintTo(const ReplaceRow& row, std::ostream* out) { *out << row.name; }

class ReplacementTest : public ::testing::TestWithParam<ReplaceRow> {};

TEST_P(ReplacementTest, PromptsOnlyWhenTheOutputIsTheInput) {
    const ReplaceRow& row = GetParam();
    FakeWindow window;
    window.directory = row.inputDir;
    window.output = row.outputDir;
    window.SetFiles({row.file});
    window.promptBeforeOverwriting = row.promptBeforeOverwriting;
    window.answers = row.answers;
    FakeEngine engine;
    if (row.converts) engine.steps = {Code(0)};
    RunBatch(BatchKind::Smf0, window, engine);
    EXPECT_EQ(window.boxes, row.boxes);
    if (row.converts) {
        ASSERT_EQ(engine.calls.size(), 1U);
        EXPECT_EQ(engine.calls[0],
                  Call("type0", In(row.inputDir, row.file), In(row.outputDir, RemoveExt(row.file) + ".mid")));
    } else {
        EXPECT_TRUE(engine.calls.empty());
    }
    EXPECT_TRUE(window.answers.empty()) << "a scripted answer was not asked for";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplacementTest,
    ::testing::Values(ReplaceRow{"SameFileCancel",
                                 Dir("music"),
                                 Dir("music"),
                                 "song.mid",
                                 true,
                                 {BoxAnswer::Cancel},
                                 false,
                                 {Ask("song.mid - Replace existing file?"), Plain("Conversion Complete")}},
                      ReplaceRow{"SameFileOk",
                                 Dir("music"),
                                 Dir("music"),
                                 "song.mid",
                                 true,
                                 {BoxAnswer::Ok},
                                 true,
                                 {Ask("song.mid - Replace existing file?"), Plain("Conversion Complete")}},
                      ReplaceRow{"SameFileOptionOff",
                                 Dir("music"),
                                 Dir("music"),
                                 "song.mid",
                                 false,
                                 {},
                                 true,
                                 {Plain("Conversion Complete")}},
                      ReplaceRow{"KarFileGetsMidBeside",
                                 Dir("music"),
                                 Dir("music"),
                                 "song.kar",
                                 true,
                                 {},
                                 true,
                                 {Plain("Conversion Complete")}},
                      ReplaceRow{"OtherDirectoryNeverAsks",
                                 Dir("music"),
                                 Dir("out"),
                                 "song.mid",
                                 true,
                                 {},
                                 true,
                                 {Plain("Conversion Complete")}}),
    [](const ::testing::TestParamInfo<ReplaceRow>& info) { return std::string(info.param.name); });

#ifdef _WIN32
const ReplaceRow CaseRows[] = {
    // Windows file names ignore case, every letter's.
    ReplaceRow{"CaseFolds",
               Dir("MUSIC"),
               Dir("music"),
               "SONG.MID",
               true,
               {BoxAnswer::Ok},
               true,
               {Ask("SONG.MID - Replace existing file?"), Plain("Conversion Complete")}},
    ReplaceRow{"AccentedCaseFolds",
               Dir("m\xc3\xbcsic"),
               Dir("m\xc3\x9csic"),
               "song.mid",
               true,
               {BoxAnswer::Ok},
               true,
               {Ask("song.mid - Replace existing file?"), Plain("Conversion Complete")}},
};
#else
const ReplaceRow CaseRows[] = {
    // Elsewhere UPPER.MID is not UPPER.mid: the new file is written beside it, no question.
    ReplaceRow{"CaseIsExact", Dir("music"), Dir("music"), "UPPER.MID", true, {}, true, {Plain("Conversion Complete")}},
    ReplaceRow{
        "DirectoryCaseIsExact", Dir("MUSIC"), Dir("music"), "song.mid", true, {}, true, {Plain("Conversion Complete")}},
};
#endif

INSTANTIATE_TEST_SUITE_P(FileSystemCase, ReplacementTest, ::testing::ValuesIn(CaseRows),
                         [](const ::testing::TestParamInfo<ReplaceRow>& info) { return std::string(info.param.name); });

TEST(Replacement, CancelSkipsOnlyThatFile) {
    FakeWindow window;
    window.output = window.directory;
    window.SetFiles({"a.mid", "b.mid", "c.mid"});
    window.promptBetweenFiles = true;
    window.answers = {BoxAnswer::Ok, BoxAnswer::Cancel, BoxAnswer::Ok};
    FakeEngine engine;
    engine.steps = {Code(0), Code(0)};
    RunBatch(BatchKind::Smf1, window, engine);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{
                                Call("type1", In(Dir("music"), "a.mid"), In(Dir("music"), "a.mid")),
                                Call("type1", In(Dir("music"), "c.mid"), In(Dir("music"), "c.mid")),
                            }));
    EXPECT_EQ(window.boxes, (std::vector<Box>{
                                Ask("a.mid - Replace existing file?"),
                                Plain("a.mid converted to type 1"),
                                Ask("b.mid - Replace existing file?"),
                                Ask("c.mid - Replace existing file?"),
                                Plain("c.mid converted to type 1"),
                                Final("Operation Complete", "2 converted, 0 refused, 0 failed, 1 skipped"),
                            }));
}

struct SameForRemainingRow {
    const char* name;
    std::deque<BoxAnswer> answers;
    std::deque<bool> checks;
    std::vector<std::string> converted;  // the inputs handed to the engine
    int questions;
};

void PrintTo(const SameForRemainingRow& row, std::ostream* out) { *out << row.name; }

class SameForRemainingTest : public ::testing::TestWithParam<SameForRemainingRow> {};

// Every output of the batch is there already; the check box, once checked, answers the
// questions of the files after it.
TEST_P(SameForRemainingTest, TheCheckedAnswerHoldsForTheRestOfTheBatch) {
    const SameForRemainingRow& row = GetParam();
    FakeWindow window;
    window.output = window.directory;
    window.SetFiles({"a.mid", "b.mid", "c.mid", "d.mid"});
    window.resultsInOneList = true;
    window.answers = row.answers;
    window.checks = row.checks;
    FakeEngine engine;
    for (std::size_t i = 0; i < row.converted.size(); ++i) engine.steps.push_back(Code(0));
    RunBatch(BatchKind::Smf0, window, engine);
    std::vector<std::string> converted;
    for (const std::string& call : engine.calls) converted.push_back(call.substr(call.rfind(PathSeparator) + 1));
    EXPECT_EQ(converted, row.converted);
    EXPECT_EQ(window.boxes.size(), static_cast<std::size_t>(row.questions));
    EXPECT_TRUE(window.answers.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameForRemainingTest,
    ::testing::Values(
        SameForRemainingRow{"NeverChecked",
                            {BoxAnswer::Ok, BoxAnswer::Cancel, BoxAnswer::Ok, BoxAnswer::Cancel},
                            {},
                            {"a.mid", "c.mid"},
                            4},
        SameForRemainingRow{"OkCheckedFirst", {BoxAnswer::Ok}, {true}, {"a.mid", "b.mid", "c.mid", "d.mid"}, 1},
        SameForRemainingRow{"CancelCheckedSecond", {BoxAnswer::Ok, BoxAnswer::Cancel}, {false, true}, {"a.mid"}, 2}),
    [](const ::testing::TestParamInfo<SameForRemainingRow>& info) { return std::string(info.param.name); });

// ---- Progress and Stop ---------------------------------------------------------------

// The real engine, counting conversions; "Stop" is pressed while conversion number
// stopDuring (from 1) runs, as a user would press it during a long file.
class StoppingEngine final : public EngineCalls {
public:
    StoppingEngine(FakeWindow& window, int stopDuring) : window_(window), stopDuring_(stopDuring) {}
    int conversions = 0;
    int ConvertToType0(const std::filesystem::path& in, const std::filesystem::path& out) override {
        if (++conversions == stopDuring_) window_.stopPressed = true;
        return RealEngineCalls().ConvertToType0(in, out);
    }
    int ConvertToType1(const std::filesystem::path& in, const std::filesystem::path& out) override {
        return ConvertToType0(in, out);
    }
    std::optional<std::string> CopyFileFailIfExists(const std::filesystem::path&,
                                                    const std::filesystem::path&) override {
        ADD_FAILURE() << "unexpected copy";
        return std::string("unexpected copy");
    }
    std::optional<std::string> CopyFileReplacing(const std::filesystem::path& in,
                                                 const std::filesystem::path& out) override {
        return CopyFileFailIfExists(in, out);
    }

private:
    FakeWindow& window_;
    int stopDuring_;
};

class StopTest : public ::testing::TestWithParam<int> {};

TEST_P(StopTest, StopDuringFileKConvertsExactlyKFiles) {
    const int k = GetParam();
    const std::vector<std::string> names{"a.mid", "b.mid", "c.mid", "d.mid", "e.mid"};
    const int total = static_cast<int>(names.size());
    testing::TempDir in, out;
    const testing::Bytes format1 = testing::Concat(
        {testing::Header(1, 2, 96), testing::Track(testing::Hex("00 FF 2F 00")),
         testing::Track(testing::Hex("00 90 3C 40 60 80 3C 40 00 FF 2F 00"))});
    for (const std::string& name : names) testing::WriteFile(in / name, format1);
    FakeWindow window;
    window.directory = Text(in.Path());
    window.output = Text(out.Path());
    window.SetFiles({"a.mid", "b.mid", "c.mid", "d.mid", "e.mid"});
    StoppingEngine engine(window, k);
    RunBatch(BatchKind::Smf0, window, engine);

    EXPECT_EQ(engine.conversions, k);
    EXPECT_EQ(out.Entries(), std::vector<std::string>(names.begin(), names.begin() + k));
    const std::string counts = std::to_string(k) + " converted, 0 refused, 0 failed";
    EXPECT_EQ(window.boxes, std::vector<Box>{k == total ? Final("Conversion Complete", counts)
                                                        : Final("Stopped after " + std::to_string(k) + " of 5 files",
                                                                counts + ", " + std::to_string(total - k) +
                                                                    " not tried\rFirst file not tried: " +
                                                                    names[static_cast<std::size_t>(k)])});
    // Progress before each file, with the file's name, then once finished.
    std::vector<BatchProgress> expected;
    for (int i = 0; i < k; ++i) expected.push_back({i, total, names[static_cast<std::size_t>(i)], false});
    expected.push_back({k, total, "", true});
    EXPECT_EQ(window.progress, expected);
}

// Stop during the first, a middle and the last file (the last one ends as usual).
INSTANTIATE_TEST_SUITE_P(Files, StopTest, ::testing::Values(1, 3, 5));

TEST(Stop, SkippedFilesCountAsDoneAndTheListEndsWithTheStopLine) {
    FakeWindow window;
    window.output = window.directory;
    window.SetFiles({"a.mid", "b.mid", "c.mid"});
    window.resultsInOneList = true;
    window.answers = {BoxAnswer::Cancel, BoxAnswer::Ok};
    FakeEngine engine;
    engine.steps = {[&window] {
        window.stopPressed = true;
        return 0;
    }};
    RunBatch(BatchKind::Smf1, window, engine);
    EXPECT_EQ(engine.calls.size(), 1U);
    ASSERT_EQ(window.results.size(), 1U);
    EXPECT_EQ(window.results[0].lines,
              (std::vector<std::string>{"a.mid - not replaced, skipped", "b.mid converted to type 1",
                                        "c.mid - not tried", "Stopped after 2 of 3 files"}));
    EXPECT_EQ(window.results[0].counts, (ResultCounts{1, 0, 0, 1, 1}));
}

// ---- Results in one list -------------------------------------------------------------

TEST(ResultsInOneList, MixedBatchListsEveryLineWithCountsAndShowsNoPerFileBox) {
    FakeWindow window;
    window.output = window.directory;  // same directory: every file gets the replacement question
    window.SetFiles({"a.mid", "b.mid", "c.mid", "d.mid", "e.mid", "f.mid", "g.mid"});
    window.resultsInOneList = true;
    window.promptBetweenFiles = true;  // the list takes the place of the success boxes too
    window.answers = {BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Cancel, BoxAnswer::Ok,
                      BoxAnswer::Ok, BoxAnswer::Ok, BoxAnswer::Ok};
    FakeEngine engine;
    engine.steps = {Code(0),
                    Code(2),
                    Code(3),
                    Throws<MalformedFile>(std::string("no MThd header")),
                    Throws<FileTooLarge>(std::uint64_t{1} << 30),
                    Code(0)};
    RunBatch(BatchKind::Smf0, window, engine);

    EXPECT_EQ(engine.calls.size(), 6U);
    for (const Box& box : window.boxes) EXPECT_EQ(box.kind, "confirm") << box;
    EXPECT_EQ(window.boxes.size(), 7U);
    ASSERT_EQ(window.results.size(), 1U);
    EXPECT_EQ(window.results[0].lines, (std::vector<std::string>{
                                           "a.mid converted to type 0",
                                           "b.mid - Not a Type 1 Midifile",
                                           "c.mid - not replaced, skipped",
                                           "d.mid - Too many tracks encountered",
                                           "e.mid - Malformed Midifile: no MThd header",
                                           "f.mid - File too large (over the memory limit of 1 GiB)",
                                           "g.mid converted to type 0",
                                           "Conversion Complete",
                                       }));
    EXPECT_EQ(window.results[0].counts, (ResultCounts{2, 4, 0, 1}));
    EXPECT_EQ(CountsText(window.results[0].counts), "2 converted, 4 refused, 0 failed, 1 skipped");
    EXPECT_EQ(window.results[0].folder, window.output) << "where saving the list starts";
}

TEST(ResultsInOneList, KaraokeCopiesCountAsConvertedAndAFailedCopyAsFailed) {
    FakeWindow window;
    window.SetFiles({"fmt1.mid", "taken.mid", "pass.mid"});
    window.resultsInOneList = true;
    FakeEngine engine;
    engine.steps = {Code(2), Code(2), Code(5)};
    engine.copies = {{true, ""}, {false, "Output file already exists"}};
    RunBatch(BatchKind::Karaoke, window, engine);
    EXPECT_TRUE(window.boxes.empty());
    ASSERT_EQ(window.results.size(), 1U);
    EXPECT_EQ(window.results[0].lines,
              (std::vector<std::string>{"fmt1.mid converted to karaoke", "taken.mid - Output file already exists",
                                        "pass.mid - Pass 3 (no EOF)", "Operation Complete"}));
    EXPECT_EQ(window.results[0].counts, (ResultCounts{1, 1, 1, 0}));
    EXPECT_EQ(CountsText(window.results[0].counts), "1 converted, 1 refused, 1 failed");
}

TEST(ResultsInOneList, AFileErrorEndsTheBatchWithTheFilesNotTriedListed) {
    FakeWindow window;
    window.SetFiles({"a.mid", "b.mid", "c.mid"});
    window.resultsInOneList = true;
    FakeEngine engine;
    engine.steps = {Code(0), Throws<IoError>(101), Code(0)};
    RunHandler(window, [&] { RunBatch(BatchKind::Smf0, window, engine); });
    EXPECT_EQ(engine.calls.size(), 2U) << "c.mid must not be converted";
    EXPECT_TRUE(window.boxes.empty()) << "no error box: the list reports it";
    ASSERT_EQ(window.results.size(), 1U);
    EXPECT_EQ(window.results[0].lines, (std::vector<std::string>{"a.mid converted to type 0", "b.mid - Disk full",
                                                                 "c.mid - not tried", "Ended after 2 of 3 files"}));
    EXPECT_EQ(window.results[0].counts, (ResultCounts{1, 0, 1, 0, 1}));
    ASSERT_FALSE(window.progress.empty());
    EXPECT_TRUE(window.progress.back().finished);
}

TEST(ResultsInOneList, NoSelectionStillShowsTheBoxAndNoList) {
    FakeWindow window;
    window.resultsInOneList = true;
    FakeEngine engine;
    RunBatch(BatchKind::Smf1, window, engine);
    EXPECT_EQ(window.boxes, std::vector<Box>{Plain("No Files Selected")});
    EXPECT_TRUE(window.results.empty());
}

TEST(ResultsInOneList, SavedTextHasEveryLineThenTheCounts) {
    ResultsList list;
    list.Add({FileOutcome::Kind::Converted, 0, "a.mid converted to type 0"});
    list.Add(FailedOutcome("b.mid", std::bad_alloc()));
    list.lines.push_back("Conversion Complete");
    std::string expected;
    for (const char* line : {"a.mid converted to type 0", "b.mid - Out of memory", "Conversion Complete",
                             "1 converted, 0 refused, 1 failed"})
        expected += std::string(line) + std::string(ResultsLineEnd);
    EXPECT_EQ(ResultsText(list), expected);

    testing::TempDir dir;
    testing::WriteFile(dir / "results.txt", {'o', 'l', 'd'});
    EXPECT_EQ(SaveResults(list, dir / "results.txt"), std::nullopt);
    const testing::Bytes saved = testing::ReadFile(dir / "results.txt");
    EXPECT_EQ(std::string(saved.begin(), saved.end()), expected);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"results.txt"});
    // A folder that does not exist: a reason, and nothing written anywhere.
    EXPECT_NE(SaveResults(list, dir / "missing" / "results.txt"), std::nullopt);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"results.txt"});
}

// ---- Output folders that go while a batch runs ---------------------------------------

// Another run removed the output's folder (as empty) just as this one was to write into
// it: the folder is made again once and the file tried again; when it is gone again, the
// line names the folder.
TEST(OutputFolders, AFolderThatGoesUnderARunIsMadeAgainOnce) {
    for (const int removals : {1, 2}) {
        testing::TempDir dir;
        std::filesystem::create_directory(dir / "out");
        const std::vector<PlannedFile> plan = PlanBatch({{dir / "in" / "sub" / "a.mid", "a.mid", std::nullopt, "sub"}},
                                                        {BatchKind::Smf0, dir / "out", "out", ReplacementPolicy::Refuse,
                                                         NameStyle::Printable});
        FakeEngine engine;
        const auto folderGoes = [&]() -> int {
            std::filesystem::remove(dir / "out" / "sub");
            throw engine::IoError(2);
        };
        engine.steps = {folderGoes, removals == 1 ? Code(0) : folderGoes};
        std::vector<std::string> lines;
        RunPlan(plan, BatchKind::Smf0, engine, {}, [&](std::vector<RunResult>&& ready, std::size_t) {
            for (const RunResult& result : ready) lines.push_back(result.outcome->text);
        });
        EXPECT_EQ(engine.calls.size(), 2U);
        const std::string name = In("sub", "a.mid");
        const std::string gone = name + " - the output folder " + In("out", "sub") + " does not exist";
        EXPECT_EQ(lines, std::vector<std::string>{removals == 1 ? name + " converted to type 0" : gone}) << removals;
    }
}

// ---- The final box ------------------------------------------------------------------

TEST(FinalBox, PointsToTheOneListOptionOnlyAfterMoreThanTenBoxes) {
    for (const int files : {10, 11}) {
        FakeWindow window;
        for (int i = 0; i < files; ++i) window.entries.push_back({'f' + std::to_string(i) + ".mid", true});
        FakeEngine engine;
        for (int i = 0; i < files; ++i) engine.steps.push_back(Code(2));
        RunBatch(BatchKind::Smf0, window, engine);
        ASSERT_EQ(window.boxes.size(), static_cast<std::size_t>(files) + 1);
        std::string expected = "Conversion Complete\r0 converted, ";
        expected += std::to_string(files);
        expected += " refused, 0 failed";
        if (files > 10) expected += "\rOptions > Show Results in One List gathers these messages in one window.";
        EXPECT_EQ(window.boxes.back(), Plain(expected)) << files << " files";
    }
}

// ---- Folders that are gone --------------------------------------------------------------

TEST(MissingFolder, ABatchIntoAFolderThatIsGoneSaysSoAndTouchesNothing) {
    for (const bool inputGone : {false, true}) {
        FakeWindow window;
        window.SetFiles({"a.mid", "b.mid"});
        std::string& gone = inputGone ? window.directory : window.output;
        gone = In(Dir("out"), "removed");
        FakeEngine engine;
        RunBatch(BatchKind::Smf1, window, engine);
        EXPECT_TRUE(engine.calls.empty());
        EXPECT_EQ(window.boxes, std::vector<Box>{Error("The folder " + gone + " does not exist.")});
    }
}

TEST(MissingFolder, TheTreeGoesToTheNearestFolderAboveThatExists) {
    testing::TempDir dir;
    std::filesystem::create_directories(dir / "a" / "b");
    EXPECT_EQ(NearestExistingFolder(dir / "a" / "b"), dir / "a" / "b");
    EXPECT_EQ(NearestExistingFolder(dir.Path() / "a" / "gone" / "deeper"), dir / "a");
    testing::WriteFile(dir / "a" / "file", {1});
    EXPECT_EQ(NearestExistingFolder(dir.Path() / "a" / "file"), dir / "a") << "a file is not a folder";
}

struct NewFolderRow {
    const char* typed;
    std::optional<std::string> failure;  // nullopt: made, under its trimmed name
};

TEST(NewFolder, MakesTheFolderOrSaysWhyNot) {
    testing::TempDir dir;
    testing::WriteFile(dir / "taken", {1});
    const std::vector<NewFolderRow> rows = {
        {"New Folder", std::nullopt},
        {"  padded  ", std::nullopt},
        {"", "Cannot make the folder \"\": the name is empty."},
        {"   ", "Cannot make the folder \"\": the name is empty."},
        {"..", "Cannot make the folder \"..\": not a name of its own."},
        {"a/b", "Cannot make the folder \"a/b\": a name cannot contain /."},
        {"New Folder", "Cannot make the folder \"New Folder\": a file or folder of that name is there already."},
#ifdef _WIN32
        {"what?", "Cannot make the folder \"what?\": a name cannot contain ?."},
        {"dot.", "Cannot make the folder \"dot.\": a name cannot end with a dot."},
#endif
    };
    for (const NewFolderRow& row : rows) {
        const NewFolder result = MakeFolder(dir.Path(), row.typed);
        EXPECT_EQ(result.failure, row.failure) << '"' << row.typed << '"';
        if (!row.failure) {
            EXPECT_TRUE(std::filesystem::is_directory(result.made)) << row.typed;
            EXPECT_EQ(result.made.parent_path(), dir.Path());
        }
    }
    // A plain file at the name: the file system's own reason, and the file stays.
    const NewFolder onFile = MakeFolder(dir.Path(), "taken");
    ASSERT_TRUE(onFile.failure.has_value());
    EXPECT_EQ(onFile.failure->rfind("Cannot make the folder \"taken\": ", 0), 0U) << *onFile.failure;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "taken"));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"New Folder", "padded", "taken"}));
}

// ---- The karaoke copy -----------------------------------------------------------------

TEST(KaraokeCopy, ToANewNameAndOntoAnExistingFile) {
    {
        FakeWindow window;
        window.SetFiles({"a.mid"});
        FakeEngine engine;
        engine.steps = {Code(2)};
        engine.copies = {{true, ""}};
        RunBatch(BatchKind::Karaoke, window, engine);
        EXPECT_EQ(engine.calls.back(), Call("copy", In(Dir("music"), "a.mid"), In(Dir("out"), "a.kar")));
        EXPECT_EQ(window.boxes, (std::vector<Box>{Plain("a.mid converted to karaoke"), Plain("Operation Complete")}));
    }
    {
        // a.kar in its own directory: the prompt first; after OK the copy may replace, and
        // the file is its own copy.
        FakeWindow window;
        window.output = window.directory;
        window.SetFiles({"a.kar"});
        window.answers = {BoxAnswer::Ok};
        FakeEngine engine;
        engine.steps = {Code(2)};
        engine.copies = {{true, ""}};  // a file is its own copy already
        RunBatch(BatchKind::Karaoke, window, engine);
        EXPECT_EQ(engine.calls, (std::vector<std::string>{
                                    Call("type1", In(Dir("music"), "a.kar"), In(Dir("music"), "a.kar")),
                                    Call("replacing copy", In(Dir("music"), "a.kar"), In(Dir("music"), "a.kar")),
                                }));
        EXPECT_EQ(window.boxes, (std::vector<Box>{Ask("a.kar - Replace existing file?"),
                                                  Plain("a.kar converted to karaoke"), Plain("Operation Complete")}));
    }
}

TEST(KaraokeCopy, RealFileSystemNeverReplacesTheTarget) {
    testing::TempDir in, out;
    testing::WriteFile(in / "a.mid", {1, 2, 3});
    testing::WriteFile(in / "b.mid", {4, 5});
    testing::WriteFile(out / "b.kar", {9});
    EXPECT_EQ(RealEngineCalls().CopyFileFailIfExists(in / "a.mid", out / "a.kar"), std::nullopt);
    EXPECT_EQ(testing::ReadFile(out / "a.kar"), (testing::Bytes{1, 2, 3}));
    EXPECT_EQ(RealEngineCalls().CopyFileFailIfExists(in / "b.mid", out / "b.kar"),
              std::optional<std::string>("Output file already exists"));
    EXPECT_EQ(testing::ReadFile(out / "b.kar"), (testing::Bytes{9}));
}

// The window's rule replaces outputs, but never a read-only one: the batch ends with
// the error box of "File access denied", and the file keeps its bytes.
TEST(ReadOnlyOutput, EndsTheWindowsBatchWithTheErrorBox) {
    testing::TempDir in, out;
    testing::WriteFile(in / "a.mid",
                       testing::Concat({testing::Header(1, 1, 96), testing::Track(testing::Hex("00 FF 2F 00"))}));
    testing::WriteFile(out / "a.mid", {9});
    std::filesystem::permissions(out / "a.mid", std::filesystem::perms::owner_read);
    FakeWindow window;
    window.directory = in.Path().string();
    window.output = out.Path().string();
    window.SetFiles({"a.mid"});
    RunHandler(window, [&] { RunBatch(BatchKind::Smf0, window, RealEngineCalls()); });
    ASSERT_EQ(window.boxes.size(), 1U);
    EXPECT_EQ(window.boxes[0].kind, "error");
    EXPECT_NE(window.boxes[0].text.find("File access denied"), std::string::npos) << window.boxes[0].text;
    EXPECT_EQ(testing::ReadFile(out / "a.mid"), (testing::Bytes{9}));
    EXPECT_EQ(out.Entries(), std::vector<std::string>{"a.mid"});
}

// ---- Errors that end the batch --------------------------------------------------------

struct ErrorRow {
    const char* name;
    std::function<int()> failure;
    std::string report;
};

void PrintTo(const ErrorRow& row, std::ostream* out) { *out << row.name; }

class BatchEndingErrorTest : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(BatchEndingErrorTest, EndsAtThatFileWithTheErrorReportNamingTheFirstFileNotTried) {
    FakeWindow window;
    window.SetFiles({"a.mid", "b.mid", "c.mid"});
    window.promptBetweenFiles = true;
    FakeEngine engine;
    engine.steps = {Code(0), GetParam().failure, Code(0)};
    // The batch itself reports the error, naming the file; nothing propagates.
    EXPECT_NO_THROW(RunBatch(BatchKind::Smf0, window, engine));
    EXPECT_EQ(engine.calls.size(), 2U) << "c.mid must not be converted";
    EXPECT_EQ(window.boxes, (std::vector<Box>{Plain("a.mid converted to type 0"),
                                              Error("b.mid - " + GetParam().report +
                                                    "\r1 converted, 0 refused, 1 failed, 1 not tried"
                                                    "\rFirst file not tried: c.mid")}));

    // The window stays usable: the next batch runs normally.
    window.boxes.clear();
    engine.steps = {Code(0), Code(0), Code(0)};
    RunHandler(window, [&] { RunBatch(BatchKind::Smf0, window, engine); });
    EXPECT_EQ(window.boxes.back(), Final("Conversion Complete", "3 converted, 0 refused, 0 failed"));
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchEndingErrorTest,
                         ::testing::Values(ErrorRow{"DiskFull", Throws<IoError>(101), "Disk full"},
                                           ErrorRow{"InvalidFilename", Throws<IoError>(3), "Invalid filename"},
                                           ErrorRow{"AccessDenied", Throws<IoError>(5), "File access denied"},
                                           ErrorRow{"OtherIoError", Throws<IoError>(13), "I/O error 13"},
                                           ErrorRow{"OutOfMemory", Throws<OutOfMemory>(), "Out of memory"},
                                           ErrorRow{"BadAlloc", Throws<std::bad_alloc>(), "Out of memory"}),
                         [](const ::testing::TestParamInfo<ErrorRow>& info) { return std::string(info.param.name); });

TEST(RunHandler, PassesQuietlyWhenNothingIsThrown) {
    FakeWindow window;
    bool ran = false;
    RunHandler(window, [&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(window.boxes.empty());
}

// ---- Paths ---------------------------------------------------------------------------

struct PathRow {
    const char* name;
    std::string inputDir;
    std::string outputDir;
    BatchKind kind;
    std::string file;
    std::string inputPath;
    std::string outputPath;
};

void PrintTo(const PathRow& row, std::ostream* out) { *out << row.name; }

class PathTest : public ::testing::TestWithParam<PathRow> {};

TEST_P(PathTest, ComposesInputAndOutputPaths) {
    const PathRow& row = GetParam();
    FakeWindow window;
    window.directory = row.inputDir;
    window.output = row.outputDir;
    window.promptBeforeOverwriting = false;
    window.SetFiles({row.file});
    FakeEngine engine;
    engine.steps = {Code(0)};
    RunBatch(row.kind, window, engine);
    ASSERT_EQ(engine.calls.size(), 1U);
    EXPECT_EQ(engine.calls[0], Call(row.kind == BatchKind::Smf0 ? "type0" : "type1", row.inputPath, row.outputPath));
}

INSTANTIATE_TEST_SUITE_P(Cases, PathTest,
                         ::testing::Values(PathRow{"InputAtRoot", Root, Dir("out"), BatchKind::Smf0, "song.mid",
                                                   Root + "song.mid", In(Dir("out"), "song.mid")},
                                           PathRow{"OutputAtRoot", Dir("music"), Root, BatchKind::Smf1, "song.mid",
                                                   In(Dir("music"), "song.mid"), Root + "song.mid"},
                                           PathRow{"KaraokeAtRoot", Dir("music"), Root, BatchKind::Karaoke, "song.mid",
                                                   In(Dir("music"), "song.mid"), Root + "song.kar"},
                                           PathRow{"NoDot", Dir("music"), Dir("out"), BatchKind::Smf0, "song",
                                                   In(Dir("music"), "song"), In(Dir("out"), "song.mid")},
                                           PathRow{"NoDotKaraoke", Dir("music"), Dir("out"), BatchKind::Karaoke, "song",
                                                   In(Dir("music"), "song"), In(Dir("out"), "song.kar")},
                                           PathRow{"SeveralDots", Dir("music"), Dir("out"), BatchKind::Smf0,
                                                   "my.song.mid", In(Dir("music"), "my.song.mid"),
                                                   In(Dir("out"), "my.mid")},
                                           PathRow{"OnlyAnExtension", Dir("music"), Dir("out"), BatchKind::Smf1, ".mid",
                                                   In(Dir("music"), ".mid"), In(Dir("out"), ".mid")}),
                         [](const ::testing::TestParamInfo<PathRow>& info) { return std::string(info.param.name); });

// ---- The output-name rule ------------------------------------------------------------

struct NameRuleRow {
    const char* name;
    BatchKind kind;
    bool sameDirectory;  // outputs go beside the inputs
    std::vector<std::string> files;
    std::deque<std::function<int()>> steps;
    std::vector<std::string> converted;  // inputs handed to the engine
    std::vector<Box> boxes;
    std::deque<BoxAnswer> answers = {};
};

void PrintTo(const NameRuleRow& row, std::ostream* out) { *out << row.name; }

class OutputNameRuleTest : public ::testing::TestWithParam<NameRuleRow> {};

TEST_P(OutputNameRuleTest, RefusesBeforeAnyPromptOrEngineCall) {
    const NameRuleRow& row = GetParam();
    FakeWindow window;
    if (row.sameDirectory) window.output = window.directory;
    for (const std::string& file : row.files) window.entries.push_back({file, true});
    window.answers = row.answers;
    FakeEngine engine;
    engine.steps = row.steps;
    RunBatch(row.kind, window, engine);
    std::vector<std::string> converted;
    for (const std::string& call : engine.calls) converted.push_back(call.substr(0, call.find(" -> ")));
    std::vector<std::string> expected;
    for (const std::string& file : row.converted)
        expected.push_back((row.kind == BatchKind::Smf0 ? "type0 " : "type1 ") + In(Dir("music"), file));
    EXPECT_EQ(converted, expected);
    EXPECT_EQ(window.boxes, row.boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputNameRuleTest,
    ::testing::Values(
        // x.kar would give x.mid, another input: it is not written and claims no name, so
        // x.mid goes on by the usual rules (asked about, then converted in place).
        NameRuleRow{"OutputIsAnotherInput",
                    BatchKind::Smf0,
                    true,
                    {"x.kar", "x.mid"},
                    {Code(0)},
                    {"x.mid"},
                    {Plain("x.kar - output name x.mid is another input of this batch, not converted"),
                     Ask("x.mid - Replace existing file?"),
                     Final("Conversion Complete", "1 converted, 0 refused, 0 failed, 1 skipped")},
                    {BoxAnswer::Ok}},
        // The first file claims the name even though the engine refuses it.
        NameRuleRow{"FirstClaimsWhateverItsOutcome",
                    BatchKind::Smf0,
                    false,
                    {"a.b.c.mid", "a.x.mid", "b.mid"},
                    {Code(2), Code(0)},
                    {"a.b.c.mid", "b.mid"},
                    {Plain("a.b.c.mid - Not a Type 1 Midifile"),
                     Plain("a.x.mid - same output name as a.b.c.mid, not converted"),
                     Final("Conversion Complete", "1 converted, 1 refused, 0 failed, 1 skipped")}},
        NameRuleRow{"KaraokeNamesToo",
                    BatchKind::Karaoke,
                    false,
                    {"song.mid", "song.kar"},
                    {Code(0)},
                    {"song.mid"},
                    {Plain("song.kar - same output name as song.mid, not converted"),
                     Final("Operation Complete", "1 converted, 0 refused, 0 failed, 1 skipped")}}),
    [](const ::testing::TestParamInfo<NameRuleRow>& info) { return std::string(info.param.name); });

TEST(OutputNameRule, NamesCompareAsTheFileSystemDoes) {
    // Upper and lower case are two files on Linux and one on Windows.
    FakeWindow window;
    window.SetFiles({"Song.mid", "song.mid", "song.x.mid"});
    window.resultsInOneList = true;
    FakeEngine engine;
#ifdef _WIN32
    engine.steps = {Code(0)};
    const std::vector<std::string> lines{"Song.mid converted to type 0",
                                         "song.mid - given more than once, converted once",
                                         "song.x.mid - same output name as Song.mid, not converted",
                                         "Conversion Complete"};
    const ResultCounts counts{1, 0, 0, 2};
#else
    engine.steps = {Code(0), Code(0)};
    const std::vector<std::string> lines{"Song.mid converted to type 0", "song.mid converted to type 0",
                                         "song.x.mid - same output name as song.mid, not converted",
                                         "Conversion Complete"};
    const ResultCounts counts{2, 0, 0, 1};
#endif
    RunBatch(BatchKind::Smf0, window, engine);
    ASSERT_EQ(window.results.size(), 1U);
    EXPECT_EQ(window.results[0].lines, lines);
    EXPECT_EQ(window.results[0].counts, counts);
}

#ifndef _WIN32
TEST(OutputNameRule, AFolderReachedThroughALinkIsTheSameFolder) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir / "music");
    std::filesystem::create_directory_symlink(dir / "music", dir / "alias");
    testing::WriteFile(dir / "music" / "x.mid", {1});
    const std::vector<NamedOutput> files{{dir / "music" / "x.kar", dir / "alias" / "x.mid", "x.kar", "x.mid"},
                                         {dir / "music" / "x.mid", dir / "out" / "x.mid", "x.mid", "x.mid"},
                                         {dir / "music" / "y.mid", dir / "alias" / ".." / "out" / "x.mid", "y.mid",
                                          "x.mid"}};
    std::vector<std::optional<std::string>> refusals;
    for (const OutputNameCheck& check : CheckOutputNames(files)) refusals.push_back(check.refusal);
    EXPECT_EQ(refusals, (std::vector<std::optional<std::string>>{
                            "x.kar - output name x.mid is another input of this batch, not converted", std::nullopt,
                            "y.mid - same output name as x.mid, not converted"}));
}
#endif

TEST(Paths, DirectoriesAreTakenOnceAtTheClick) {
    // A window whose output directory would move while the batch runs: the batch keeps
    // the directory it found at the click, since its controls are not read afterwards.
    struct MovingWindow final : public BatchWindow {
        FakeWindow inner;
        mutable int outputReads = 0;
        int FileCount() const override { return inner.FileCount(); }
        std::string FileEntry(int i) const override { return inner.FileEntry(i); }
        std::filesystem::path FileName(int i) const override { return inner.FileName(i); }
        bool FileSelected(int i) const override { return inner.FileSelected(i); }
        void SetFileSelected(int i, bool on) override { inner.SetFileSelected(i, on); }
        std::string FileDirectory() const override { return inner.FileDirectory(); }
        std::string OutputDirectory() const override { return Dir("out" + std::to_string(++outputReads)); }
        bool OptionChecked(BatchOption o) const override { return inner.OptionChecked(o); }
        void SetOptionChecked(BatchOption o, bool c) override { inner.SetOptionChecked(o, c); }
        void PlainMessage(std::string_view t, std::string_view x) override { inner.PlainMessage(t, x); }
        BoxAnswer Confirm(std::string_view t, std::string_view x) override { return inner.Confirm(t, x); }
        void InformationMessage(std::string_view t, std::string_view x) override { inner.InformationMessage(t, x); }
        void ErrorReport(std::string_view t, std::string_view x) override { inner.ErrorReport(t, x); }
        void ShowProgress(const BatchProgress& p) override { inner.ShowProgress(p); }
        bool StopRequested() const override { return inner.StopRequested(); }
        void ShowResults(const ResultsList& r) override { inner.ShowResults(r); }
    } window;
    window.inner.SetFiles({"a.mid", "b.mid"});
    FakeEngine engine;
    engine.steps = {Code(0), Code(0)};
    RunBatch(BatchKind::Smf0, window, engine);
    EXPECT_EQ(window.outputReads, 1);
    EXPECT_EQ(engine.calls, (std::vector<std::string>{
                                Call("type0", In(Dir("music"), "a.mid"), In(Dir("out1"), "a.mid")),
                                Call("type0", In(Dir("music"), "b.mid"), In(Dir("out1"), "b.mid")),
                            }));
}

TEST(Snapshot, TakesTheSelectedEntriesInOrderAndEveryOption) {
    FakeWindow window;
    window.SetFiles({"a.mid", "*b.mid", "c.mid", "*d.kar"});
    window.promptBetweenFiles = true;
    window.promptBeforeOverwriting = false;
    window.resultsInOneList = true;
    const BatchRequest request = TakeSnapshot(window, BatchKind::Karaoke);
    EXPECT_EQ(request.kind, BatchKind::Karaoke);
    EXPECT_EQ(request.inputDirectory, Dir("music"));
    EXPECT_EQ(request.outputDirectory, Dir("out"));
    EXPECT_EQ(request.files, (std::vector<BatchFile>{{"b.mid", U8("b.mid")}, {"d.kar", U8("d.kar")}}));
    EXPECT_TRUE(request.promptBetweenFiles);
    EXPECT_FALSE(request.promptBeforeOverwriting);
    EXPECT_TRUE(request.resultsInOneList);
}

// ---- Selection, options, About -------------------------------------------------------

TEST(Selection, SelectAllSelectsEveryEntry) {
    FakeWindow window;
    window.SetFiles({"*a.mid", "b.mid", "*c.mid", "d.mid"});
    EXPECT_EQ(TakeSnapshot(window, BatchKind::Smf0).files.size(), 2U);
    SelectAll(window);
    EXPECT_EQ(TakeSnapshot(window, BatchKind::Smf0).files.size(), 4U);
    EXPECT_TRUE(window.boxes.empty());

    FakeWindow empty;
    SelectAll(empty);
    EXPECT_TRUE(TakeSnapshot(empty, BatchKind::Smf0).files.empty());
}

TEST(Options, EachToggleInvertsOnlyItsOwnMark) {
    FakeWindow window;
    ASSERT_FALSE(window.promptBetweenFiles);
    ASSERT_TRUE(window.promptBeforeOverwriting);
    ToggleOption(window, BatchOption::PromptBetweenFiles);
    EXPECT_TRUE(window.promptBetweenFiles);
    EXPECT_TRUE(window.promptBeforeOverwriting);
    ToggleOption(window, BatchOption::PromptBeforeOverwriting);
    EXPECT_TRUE(window.promptBetweenFiles);
    EXPECT_FALSE(window.promptBeforeOverwriting);
    ToggleOption(window, BatchOption::PromptBetweenFiles);
    EXPECT_FALSE(window.promptBetweenFiles);
    EXPECT_TRUE(window.boxes.empty());
}

TEST(About, InformationBoxWithTheAboutText) {
    FakeWindow window;
    ShowAbout(window);
    ShowAbout(window);
    const Box expected{"information", "Information", AboutText()};
    EXPECT_EQ(window.boxes, (std::vector<Box>{expected, expected}));
    const std::string text = AboutText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 6);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    // Four lines: the version, a credit line and an empty line, another credit line and
    // an empty line, a last line; the text ends with its carriage return.
    std::vector<std::string> lines{""};
    for (const char c : text) {
        if (c == '\r')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    ASSERT_EQ(lines.size(), 7U);
    EXPECT_EQ(lines[0], "Quorvel Version 2.0 (9850)");
    for (const std::size_t i : {1U, 3U, 5U}) EXPECT_FALSE(lines[i].empty()) << "line " << i;
    for (const std::size_t i : {2U, 4U, 6U}) EXPECT_TRUE(lines[i].empty()) << "line " << i;
}

// ---- One batch over real files -------------------------------------------------------

TEST(RealEngine, Smf0BatchWritesTheOutputAndReportsRefusals) {
    testing::TempDir in, out;
    const testing::Bytes format1 = testing::Concat(
        {testing::Header(1, 2, 96), testing::Track(testing::Hex("00 FF 2F 00")),
         testing::Track(testing::Hex("00 90 3C 40 60 80 3C 40 00 FF 2F 00"))});
    testing::WriteFile(in / "song.mid", format1);
    testing::WriteFile(in / "zero.mid",
                       testing::Concat({testing::Header(0, 1, 96), testing::Track(testing::Hex("00 FF 2F 00"))}));
    FakeWindow window;
    window.directory = Text(in.Path());
    window.output = Text(out.Path());
    window.SetFiles({"song.mid", "zero.mid"});
    window.promptBetweenFiles = true;
    RunBatch(BatchKind::Smf0, window, RealEngineCalls());
    EXPECT_EQ(window.boxes,
              (std::vector<Box>{Plain("song.mid converted to type 0"), Plain("zero.mid - Not a Type 1 Midifile"),
                                Final("Conversion Complete", "1 converted, 1 refused, 0 failed")}));
    EXPECT_EQ(out.Entries(), std::vector<std::string>{"song.mid"});
    const testing::Bytes written = testing::ReadFile(out / "song.mid");
    ASSERT_GE(written.size(), 14U);
    EXPECT_EQ(testing::ToHex(testing::Bytes(written.begin(), written.begin() + 14)),
              testing::ToHex(testing::Header(0, 1, 96)));
}

// ---- The session a window drives --------------------------------------------------

// Serves a session as a window's thread does: each wake lets Serve run, until the batch
// has ended.
struct ServingThread {
    std::mutex mutex;
    std::condition_variable woken;
    int wakes = 0;
    bool ended = false;
    void Wake() {
        const std::lock_guard lock(mutex);
        ++wakes;
        woken.notify_all();
    }
    void ServeUntilEnded(BatchSession& session) {
        std::unique_lock lock(mutex);
        while (!ended) {
            woken.wait_for(lock, std::chrono::milliseconds(100), [&] { return wakes > 0; });
            wakes = 0;
            lock.unlock();
            session.Serve();
            lock.lock();
        }
    }
};

TEST(Session, BoxesComeOnTheServingThreadAndTheBatchEndsThere) {
    FakeWindow window;
    window.output = window.directory;  // every output is its own input: asked about
    window.SetFiles({"a.mid", "b.mid"});
    window.answers = {BoxAnswer::Cancel, BoxAnswer::Ok};
    FakeEngine engine;
    engine.steps = {Code(0)};
    ServingThread serving;
    BatchSession session(
        window, engine, 2, [&] { serving.Wake(); }, [&] { serving.ended = true; });
    ASSERT_TRUE(session.Start(TakeSnapshot(window, BatchKind::Smf0)));
    EXPECT_FALSE(session.Start(TakeSnapshot(window, BatchKind::Smf0))) << "one batch at a time";
    serving.ServeUntilEnded(session);
    EXPECT_FALSE(session.Running());
    EXPECT_EQ(window.boxes,
              (std::vector<Box>{Ask("a.mid - Replace existing file?"), Ask("b.mid - Replace existing file?"),
                                Final("Conversion Complete", "1 converted, 0 refused, 0 failed, 1 skipped")}));
    EXPECT_EQ(engine.calls,
              std::vector<std::string>{Call("type0", In(Dir("music"), "b.mid"), In(Dir("music"), "b.mid"))});
    EXPECT_EQ(session.Progress(), (BatchProgress{2, 2, {}, true}));
}

TEST(Session, StopEndsTheBatchBetweenFiles) {
    FakeWindow window;
    window.SetFiles({"a.mid", "b.mid", "c.mid"});
    FakeEngine engine;
    BatchSession* running = nullptr;
    engine.steps = {[&] {
        running->Stop();
        return 0;
    }};
    ServingThread serving;
    BatchSession session(
        window, engine, 1, [&] { serving.Wake(); }, [&] { serving.ended = true; });
    running = &session;
    ASSERT_TRUE(session.Start(TakeSnapshot(window, BatchKind::Smf0)));
    serving.ServeUntilEnded(session);
    EXPECT_EQ(engine.calls.size(), 1U);
    EXPECT_EQ(window.boxes, std::vector<Box>{Final("Stopped after 1 of 3 files",
                                                   "1 converted, 0 refused, 0 failed, 2 not tried"
                                                   "\rFirst file not tried: b.mid")});
}

TEST(Session, ClosingWhileABoxWaitsAnswersItWithCancelUnshown) {
    FakeWindow window;
    window.output = window.directory;
    window.SetFiles({"a.mid", "b.mid"});
    FakeEngine engine;  // any engine call fails the test: both questions are answered Cancel
    std::atomic<bool> woken{false};
    {
        BatchSession session(
            window, engine, 1, [&] { woken = true; }, [] {});
        ASSERT_TRUE(session.Start(TakeSnapshot(window, BatchKind::Smf0)));
        while (!woken) std::this_thread::yield();
        EXPECT_TRUE(session.CallPending());
    }  // never served: the session answers for the window and waits for the batch
    EXPECT_TRUE(window.boxes.empty());
    EXPECT_TRUE(engine.calls.empty());
}

// ---- Batch kinds ----------------------------------------------------------------------

TEST(Kinds, EachRowHasItsOwnTextsAndEngineEntry) {
    const BatchKindRow& smf0 = Row(BatchKind::Smf0);
    const BatchKindRow& karaoke = Row(BatchKind::Karaoke);
    EXPECT_EQ(ResultText(smf0, 2), "Not a Type 1 Midifile");
    EXPECT_EQ(ResultText(Row(BatchKind::Smf1), 2), "Not a Type 0 Midifile");
    EXPECT_EQ(ResultText(smf0, 4), "") << "the merge has no code 4";
    EXPECT_EQ(ResultText(karaoke, -1), "");
    EXPECT_EQ(smf0.convert, &EngineCalls::ConvertToType0);
    EXPECT_EQ(karaoke.convert, &EngineCalls::ConvertToType1);
    EXPECT_EQ(karaoke.copyCode, 2);
    EXPECT_EQ(smf0.copyCode, -1);
    EXPECT_EQ(MnemonicCaption(karaoke), "Convert to &Karaoke  (.KAR)");
    std::vector<std::string_view> subcommands;
    for (const BatchKindRow& row : KindRows()) subcommands.push_back(row.subcommand);
    EXPECT_EQ(subcommands, (std::vector<std::string_view>{"smf0", "smf1", "kar"}));
}

}  // namespace
}  // namespace quorvel::batch
