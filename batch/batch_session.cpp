#include "quorvel/batch/batch_session.hpp"

#include <utility>

namespace quorvel::batch {

// The window as the batch's thread sees it: boxes and the results list run on the
// window's thread, progress and Stop stay in the session. The batch reads nothing of the
// window's controls (it has its request).
class BatchSession::Relay final : public BatchWindow {
public:
    explicit Relay(BatchSession& session) : session_(session) {}

    int FileCount() const override { return 0; }
    std::string FileEntry(int) const override { return {}; }
    std::filesystem::path FileName(int) const override { return {}; }
    bool FileSelected(int) const override { return false; }
    void SetFileSelected(int, bool) override {}
    std::string FileDirectory() const override { return {}; }
    std::string OutputDirectory() const override { return session_.outputDirectory_; }
    bool OptionChecked(BatchOption) const override { return false; }
    void SetOptionChecked(BatchOption, bool) override {}

    void PlainMessage(std::string_view title, std::string_view text) override {
        session_.OnWindowThread([&] { session_.window_.PlainMessage(title, text); });
    }
    BoxAnswer Confirm(std::string_view title, std::string_view text) override {
        BoxAnswer answer = BoxAnswer::Cancel;
        session_.OnWindowThread([&] { answer = session_.window_.Confirm(title, text); });
        return answer;
    }
    ReplaceAnswer ConfirmReplace(std::string_view title, std::string_view text,
                                 std::string_view checkCaption) override {
        ReplaceAnswer answer;  // Cancel, for this file only, when the window is closing
        session_.OnWindowThread([&] { answer = session_.window_.ConfirmReplace(title, text, checkCaption); });
        return answer;
    }
    void InformationMessage(std::string_view title, std::string_view text) override {
        session_.OnWindowThread([&] { session_.window_.InformationMessage(title, text); });
    }
    void ErrorReport(std::string_view title, std::string_view text) override {
        session_.OnWindowThread([&] { session_.window_.ErrorReport(title, text); });
    }
    void ShowResults(const ResultsList& results) override {
        session_.OnWindowThread([&] { session_.window_.ShowResults(results); });
    }
    void ShowProgress(const BatchProgress& progress) override {
        // Kept for the window's timer: a batch of small files neither floods the window's
        // thread nor waits for it. The end is told at once, so that the progress window
        // is gone before the final box or the results list.
        {
            const std::lock_guard lock(session_.mutex_);
            session_.progress_ = progress;
        }
        if (progress.finished) session_.wake_();
    }
    bool StopRequested() const override { return session_.stop_; }

private:
    BatchSession& session_;
};

BatchSession::BatchSession(BatchWindow& window, EngineCalls& engine, unsigned jobs, std::function<void()> wake,
                           std::function<void()> ended)
    : window_(window), engine_(engine), jobs_(jobs), wake_(std::move(wake)), ended_(std::move(ended)) {}

BatchSession::~BatchSession() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        shuttingDown_ = true;
    }
    stop_ = true;
    served_.notify_all();
    thread_.join();
}

bool BatchSession::Start(BatchRequest request) {
    if (thread_.joinable()) return false;
    stop_ = false;
    {
        const std::lock_guard lock(mutex_);
        progress_ = {0, static_cast<int>(request.files.size()), {}, false};
        finished_ = false;
    }
    outputDirectory_ = request.outputDirectory;
    request.jobs = jobs_;
    thread_ = std::thread([this, request = std::move(request)] { Body(request); });
    return true;
}

void BatchSession::Body(const BatchRequest& request) {
    Relay relay(*this);
    RunHandler(relay, [&] { RunBatch(request, relay, engine_); });
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    wake_();
}

BatchProgress BatchSession::Progress() const {
    const std::lock_guard lock(mutex_);
    return progress_;
}

std::optional<BatchProgress> BatchSession::ProgressToShow() const {
    if (!Running() || answering_) return std::nullopt;
    BatchProgress progress = Progress();
    if (progress.finished) return std::nullopt;
    return progress;
}

bool BatchSession::CallPending() const {
    const std::lock_guard lock(mutex_);
    return pending_ != nullptr && !taken_;
}

bool BatchSession::OnWindowThread(const std::function<void()>& call) {
    std::unique_lock lock(mutex_);
    if (shuttingDown_) return false;
    pending_ = &call;
    taken_ = false;
    lock.unlock();
    wake_();
    lock.lock();
    served_.wait(lock, [&] { return pending_ == nullptr || shuttingDown_; });
    const bool ran = pending_ == nullptr;
    pending_ = nullptr;
    return ran;
}

void BatchSession::Serve() {
    std::unique_lock lock(mutex_);
    if (pending_ != nullptr && !taken_) {
        taken_ = true;
        const std::function<void()>* call = pending_;
        lock.unlock();
        answering_ = true;
        try {
            (*call)();
        } catch (...) {
            // A box that could not be shown: the batch goes on as if it had been closed.
        }
        answering_ = false;
        lock.lock();
        pending_ = nullptr;
        lock.unlock();
        served_.notify_all();
        lock.lock();
    }
    if (!finished_ || !thread_.joinable()) return;
    lock.unlock();
    thread_.join();
    ended_();
}

}  // namespace quorvel::batch
