#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "quorvel/batch/batch_kind.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// Titles of the message boxes; the plain box and the error report carry ApplicationTitle.
inline constexpr std::string_view ConfirmTitle = "Confirm";
inline constexpr std::string_view InformationTitle = "Information";

// The two check-mark options of the Options menu.
enum class BatchOption {
    PromptBetweenFiles,       // "Prompt After Each File", off at start
    PromptBeforeOverwriting,  // "Prompt Before Overwriting Files", on at start
};

enum class BoxAnswer { Ok, Cancel };

// What the batch driver needs of the main window. The Qt window implements it; tests
// implement it with a scripted fake. Texts are UTF-8; directories are absolute, in the
// platform's form, ending with a separator only at a root.
class BatchWindow {
public:
    virtual ~BatchWindow() = default;

    // The input file list: its entries (display names, no directory) and their selection.
    virtual int FileCount() const = 0;
    virtual std::string FileEntry(int index) const = 0;
    virtual bool FileSelected(int index) const = 0;
    virtual void SetFileSelected(int index, bool selected) = 0;
    virtual std::string FileDirectory() const = 0;

    // The current directory of the output tree.
    virtual std::string OutputDirectory() const = 0;

    virtual bool OptionChecked(BatchOption option) const = 0;
    virtual void SetOptionChecked(BatchOption option, bool checked) = 0;

    // Modal boxes; each returns when the user has closed it.
    virtual void PlainMessage(std::string_view title, std::string_view text) = 0;       // no icon, OK
    virtual BoxAnswer Confirm(std::string_view title, std::string_view text) = 0;       // question, OK / Cancel
    virtual void InformationMessage(std::string_view title, std::string_view text) = 0; // information, OK
    virtual void ErrorReport(std::string_view title, std::string_view text) = 0;        // error sign, OK
};

// Number of selected entries of the file list.
int NoSelected(const BatchWindow& window);

// The input path of a display name: the file list's directory joined with it.
std::string InputPath(const BatchWindow& window, std::string_view displayName);

// The output path of a display name: the output directory, the name cut at its first
// "." and the batch's extension. The output directory is read afresh on every call.
std::string OutputPath(const BatchWindow& window, BatchKind kind, std::string_view displayName);

// Runs one batch over the selected entries in list order: the replacement prompt, one
// engine call per file, the per-file boxes and the final box. A refused, malformed or
// too large file is reported and the batch goes on. IoError and OutOfMemory (and any
// other exception) end the batch at that file and propagate to the caller, with no
// message for that file and no final message.
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
