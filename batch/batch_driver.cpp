#include "quorvel/batch/batch_driver.hpp"

#include <filesystem>
#include <new>

#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/naming.hpp"

namespace quorvel::batch {
namespace {

// Paths travel as UTF-8 text; the engine takes them as file-system paths.
std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

int NoSelected(const BatchWindow& window) {
    int selected = 0;
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i)
        if (window.FileSelected(i)) ++selected;
    return selected;
}

std::string InputPath(const BatchWindow& window, std::string_view displayName) {
    return ComposePath(window.FileDirectory(), displayName);
}

std::string OutputPath(const BatchWindow& window, BatchKind kind, std::string_view displayName) {
    return ComposePath(window.OutputDirectory(), RemoveExt(displayName) + std::string(Traits(kind).extension));
}

void RunBatch(BatchKind kind, BatchWindow& window, EngineCalls& engine) {
    const BatchTraits& traits = Traits(kind);
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i) {
        if (!window.FileSelected(i)) continue;
        const std::string displayName = window.FileEntry(i);
        const std::string inputPath = InputPath(window, displayName);
        const std::string outputPath = OutputPath(window, kind, displayName);
        // Converting a file onto itself asks first, when the option says so. Only the two
        // texts are compared; an existing file under another name is replaced silently.
        if (SamePathIgnoringAsciiCase(inputPath, outputPath) &&
            window.OptionChecked(BatchOption::PromptBeforeOverwriting) &&
            window.Confirm(ConfirmTitle, FormatMessage("%s - Replace existing file?", {displayName})) ==
                BoxAnswer::Cancel)
            continue;
        const FileOutcome outcome =
            ConvertFile(kind, PathFromText(inputPath), PathFromText(outputPath), displayName, engine);
        if (outcome.AlwaysShown() || window.OptionChecked(BatchOption::PromptBetweenFiles))
            window.PlainMessage(ApplicationTitle, outcome.text);
    }
    window.PlainMessage(ApplicationTitle, NoSelected(window) == 0 ? NoFilesSelectedText : traits.completionText);
}

void SelectAll(BatchWindow& window) {
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i) window.SetFileSelected(i, true);
}

void ToggleOption(BatchWindow& window, BatchOption option) {
    window.SetOptionChecked(option, !window.OptionChecked(option));
}

void ShowAbout(BatchWindow& window) {
    window.InformationMessage(InformationTitle, AboutText());
}

std::string ErrorReportText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory.";
    return std::string(error.what()) + ".";
}

void RunHandler(BatchWindow& window, const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        try {
            window.ErrorReport(ApplicationTitle, ErrorReportText(error));
        } catch (...) {
            // Nothing is left to report with; the window must survive its own handler.
        }
    }
}

}  // namespace quorvel::batch
