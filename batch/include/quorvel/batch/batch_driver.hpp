#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/batch_results.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// Titles of the message boxes; the plain box and the error report carry ApplicationTitle.
inline constexpr std::string_view ConfirmTitle = "Confirm";
inline constexpr std::string_view InformationTitle = "Information";

// The check-mark options of the Options menu.
enum class BatchOption {
    PromptBetweenFiles,       // "Prompt After Each File", off at start
    PromptBeforeOverwriting,  // "Prompt Before Overwriting Files", on at start
    ResultsInOneList,         // "Show Results in One List", off until the user turns it on; remembered
};

// Name under which a window keeps ResultsInOneList in the platform's settings store.
inline constexpr std::string_view ResultsInOneListSetting = "ShowResultsInOneList";

// Where a running batch is: files done of files selected, and the file being converted
// (empty once finished is set, just before the final message or the results list).
struct BatchProgress {
    int done = 0;
    int total = 0;
    std::string current;
    bool finished = false;
    bool operator==(const BatchProgress&) const = default;
};

enum class BoxAnswer { Ok, Cancel };

// The answer to the replacement question, and whether its check box ("Do the same for
// the remaining files") was checked.
struct ReplaceAnswer {
    BoxAnswer answer = BoxAnswer::Cancel;
    bool forRemaining = false;
    bool operator==(const ReplaceAnswer&) const = default;
};

// What the batch driver needs of the main window. The Qt window implements it; tests
// implement it with a scripted fake. Texts are UTF-8; directories are absolute, in the
// platform's form, ending with a separator only at a root.
//
// A window runs its batches through a BatchSession, which calls the boxes and
// ShowResults on the window's thread; each returns only when done (a box once the user
// has closed it). The file list, directory and option calls are made only by
// TakeSnapshot, on the window's thread.
class BatchWindow {
public:
    virtual ~BatchWindow() = default;

    // The input file list: its entries and their selection. An entry has a display text
    // (UTF-8, possibly with replacement characters) and a name as the file system spells
    // it (no directory), through which the file is opened and its output named.
    virtual int FileCount() const = 0;
    virtual std::string FileEntry(int index) const = 0;
    virtual std::filesystem::path FileName(int index) const = 0;
    virtual bool FileSelected(int index) const = 0;
    virtual void SetFileSelected(int index, bool selected) = 0;
    virtual std::string FileDirectory() const = 0;

    // The current directory of the output tree.
    virtual std::string OutputDirectory() const = 0;

    virtual bool OptionChecked(BatchOption option) const = 0;
    virtual void SetOptionChecked(BatchOption option, bool checked) = 0;

    // Modal boxes; each returns when the user has closed it.
    virtual void PlainMessage(std::string_view title, std::string_view text) = 0;        // no icon, OK
    virtual BoxAnswer Confirm(std::string_view title, std::string_view text) = 0;        // question, OK / Cancel
    virtual void InformationMessage(std::string_view title, std::string_view text) = 0;  // information, OK
    virtual void ErrorReport(std::string_view title, std::string_view text) = 0;         // error sign, OK
    // The replacement question: Confirm's box with a check box captioned checkCaption
    // under the text, unchecked at first. A window without one answers through Confirm.
    virtual ReplaceAnswer ConfirmReplace(std::string_view title, std::string_view text, std::string_view checkCaption) {
        (void)checkCaption;
        return {Confirm(title, text), false};
    }

    // Where the batch is: before each file, and once finished; it must not wait for the
    // user. A window driven by a BatchSession leaves this to the session, which keeps
    // the newest progress for the window's timer.
    virtual void ShowProgress(const BatchProgress&) {}
    // True once the user has asked the running batch to stop ("Stop"). Asked between
    // files. A window driven by a BatchSession leaves this to the session (Stop).
    virtual bool StopRequested() const { return false; }
    // The results list of a batch run with ResultsInOneList on; returns when the user has
    // closed it.
    virtual void ShowResults(const ResultsList& results) = 0;
};

// A selected entry of the file list: its display text and its name on the file system.
struct BatchFile {
    std::string displayName;
    std::filesystem::path name;
    bool operator==(const BatchFile&) const = default;
};

// What a batch needs, taken from the window at the click: afterwards the batch does not
// read the window's controls, so it can run while the window stays responsive.
struct BatchRequest {
    BatchKind kind = BatchKind::Smf0;
    std::string inputDirectory;
    std::string outputDirectory;
    std::vector<BatchFile> files;  // the selected entries, in list order
    bool promptBetweenFiles = false;
    bool promptBeforeOverwriting = true;
    bool resultsInOneList = false;
    // Conversions at once (RunOptions::jobs); a batch that shows a box for every
    // converted file runs one file at a time.
    unsigned jobs = 1;
};

// Reads the selected entries, both directories and the options from the window.
BatchRequest TakeSnapshot(const BatchWindow& window, BatchKind kind);

// Runs one batch over the request's files: plans it (PlanBatch, with the Ask policy when
// promptBeforeOverwriting is on and Replace when it is off, names as they are) and runs
// the plan (RunPlan, on request.jobs workers). No selected file gives only "No Files
// Selected"; an input or output folder that is not there any more only its error box
// ("The folder /out does not exist.").
//
// Before each file it reports progress, and Stop is asked for between files. With
// promptBeforeOverwriting, a file whose output name a file (or the input itself) stands
// at is asked about first (ConfirmReplace, "song.mid - Replace existing file?"); Cancel
// skips it without a box; with the check box checked the answer holds for every later
// file of the batch, which is not asked about.
//
// Results go in per-file boxes and a final box or, with resultsInOneList, in one list
// (every file's line, the final message last) and no box but the replacement question.
// The final box of a batch of more than one file has the counts under its first line,
// and, after more than ten per-file boxes, a line that points to the one-list option.
// A refused, malformed or too large file is reported and the batch goes on. A file
// error (an exception from the engine, a read-only output) ends the batch after that
// file: without the list its line, the counts and the first file not tried go in the
// error report box; in the list its line stays in place, each file not tried gets its
// line ("c.mid - not tried") and "Ended after N of M files" is last. Stop ends it with
// "Stopped after N of M files", the counts and the first file not tried.
// The boxes and ShowResults are called on the calling thread; ShowProgress and
// StopRequested on it and on the workers.
void RunBatch(const BatchRequest& request, BatchWindow& window, EngineCalls& engine);

// TakeSnapshot and RunBatch in one, on the caller's thread.
void RunBatch(BatchKind kind, BatchWindow& window, EngineCalls& engine);

// Turns on the selected state of every entry of the file list.
void SelectAll(BatchWindow& window);

// Inverts the check mark of one option.
void ToggleOption(BatchWindow& window, BatchOption option);

// Shows the About text in the information box.
void ShowAbout(BatchWindow& window);

// Runs a window handler; an exception that escapes it is shown in the error report box
// (the exception's text followed by ".") and goes no further, so the window stays usable.
void RunHandler(BatchWindow& window, const std::function<void()>& handler);

// The text of the error report for an exception.
std::string ErrorReportText(const std::exception& error);

}  // namespace quorvel::batch
