#include "quorvel/batch/batch_driver.hpp"

#include <atomic>
#include <filesystem>
#include <vector>

#include "quorvel/batch/batch_plan.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/convert_file.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::batch {
namespace {

// Paths travel as UTF-8 text; the engine takes them as file-system paths.
std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

BatchRequest TakeSnapshot(const BatchWindow& window, BatchKind kind) {
    BatchRequest request;
    request.kind = kind;
    request.inputDirectory = window.FileDirectory();
    request.outputDirectory = window.OutputDirectory();
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i)
        if (window.FileSelected(i)) request.files.push_back({window.FileEntry(i), window.FileName(i)});
    request.promptBetweenFiles = window.OptionChecked(BatchOption::PromptBetweenFiles);
    request.promptBeforeOverwriting = window.OptionChecked(BatchOption::PromptBeforeOverwriting);
    request.resultsInOneList = window.OptionChecked(BatchOption::ResultsInOneList);
    return request;
}

void RunBatch(const BatchRequest& request, BatchWindow& window, EngineCalls& engine) {
    const BatchKindRow& row = Row(request.kind);
    const int total = static_cast<int>(request.files.size());
    if (total == 0) {
        window.PlainMessage(ApplicationTitle, NoFilesSelectedText);
        return;
    }
    const std::filesystem::path inputDirectory = PathFromText(request.inputDirectory);
    std::vector<BatchInput> inputs;
    inputs.reserve(request.files.size());
    for (const BatchFile& file : request.files)
        inputs.push_back({inputDirectory / file.name, file.displayName, std::nullopt});
    const ReplacementPolicy policy = request.promptBeforeOverwriting ? ReplacementPolicy::Ask
                                                                     : ReplacementPolicy::Replace;
    const std::vector<PlannedFile> plan = PlanBatch(inputs, {request.kind, PathFromText(request.outputDirectory),
                                                             request.outputDirectory, policy, NameStyle::AsIs});

    // A box after each converted file: the next file starts only once it is closed.
    const bool boxPerFile = request.promptBetweenFiles && !request.resultsInOneList;
    std::atomic<int> done{0};
    RunOptions options;
    options.jobs = boxPerFile ? 1 : request.jobs;
    options.policy = policy;
    options.endOnFileError = true;
    options.stopRequested = [&] { return window.StopRequested(); };
    options.started = [&](std::size_t i) { window.ShowProgress({done.load(), total, plan[i].shownName, false}); };
    options.confirm = [&](const PlannedFile& file) {
        return window.Confirm(ConfirmTitle, ReplaceQuestion(file)) == BoxAnswer::Ok;
    };

    ResultsList results;
    bool ended = false;  // by a file error
    RunPlan(plan, request.kind, engine, options, [&](std::vector<RunResult>&& ready, std::size_t) {
        for (const RunResult& result : ready) {
            if (!result.outcome) continue;
            const FileOutcome& outcome = *result.outcome;
            ++done;
            if (outcome.fileError) {
                // The error ends the batch; its line names the file, in the list or a box.
                ended = true;
                window.ShowProgress({done.load(), total, {}, true});
                if (request.resultsInOneList)
                    results.Add(outcome);
                else
                    window.ErrorReport(ApplicationTitle, outcome.text);
            } else if (request.resultsInOneList) {
                results.Add(outcome);
            } else if (outcome.AlwaysShown() ||
                       (outcome.kind == FileOutcome::Kind::Converted && request.promptBetweenFiles)) {
                window.PlainMessage(ApplicationTitle, outcome.text);
            }
        }
    });
    if (ended) {
        if (request.resultsInOneList) window.ShowResults(results);
        return;
    }
    const std::string finalText = done < total ? FormatMessage(StoppedPattern,
                                                               {std::to_string(done.load()), std::to_string(total)})
                                               : std::string(row.completionText);
    window.ShowProgress({done.load(), total, {}, true});
    if (request.resultsInOneList) {
        results.lines.push_back(finalText);
        window.ShowResults(results);
    } else {
        window.PlainMessage(ApplicationTitle, finalText);
    }
}

void RunBatch(BatchKind kind, BatchWindow& window, EngineCalls& engine) {
    RunBatch(TakeSnapshot(window, kind), window, engine);
}

void SelectAll(BatchWindow& window) {
    const int count = window.FileCount();
    for (int i = 0; i < count; ++i) window.SetFileSelected(i, true);
}

void ToggleOption(BatchWindow& window, BatchOption option) {
    window.SetOptionChecked(option, !window.OptionChecked(option));
}

void ShowAbout(BatchWindow& window) { window.InformationMessage(InformationTitle, AboutText()); }

std::string ErrorReportText(const std::exception& error) { return ErrorText(error) + "."; }

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
