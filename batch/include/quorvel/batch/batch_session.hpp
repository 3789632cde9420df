#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "quorvel/batch/batch_driver.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::batch {

// A window's running batch, whatever the toolkit: the batch's thread and its workers,
// the newest progress, Stop, the boxes the batch asks for (handed to the window's thread
// and waited for) and the batch's end.
//
// The window starts a batch with Start and from then on, each time wake is called (from
// any thread), calls Serve on its own thread: Serve shows the box the batch waits for,
// if any, through the window's BatchWindow calls, and once the batch has ended it ends
// it there (ended). The window reads Progress on a timer of its own.
class BatchSession {
public:
    // window answers the boxes and results list on the window's thread; engine must be
    // safe to call from any thread; jobs is the number of conversions at once (quorvel-cli's
    // default, AutoJobs, unless a test wants its scripted engine called in order);
    // wake must not block and may be called from any thread
    // (a toolkit posts an event that calls Serve); ended is called on the window's
    // thread, in Serve, once a batch has ended. All must outlive the session.
    BatchSession(BatchWindow& window, EngineCalls& engine, unsigned jobs, std::function<void()> wake,
                 std::function<void()> ended);
    // A running batch is asked to stop and waited for; the boxes it still asks for are
    // answered at once, without showing them (Cancel for the replacement question).
    ~BatchSession();
    BatchSession(const BatchSession&) = delete;
    BatchSession& operator=(const BatchSession&) = delete;

    // Starts request on a thread of its own. False, and nothing started, while a batch runs.
    bool Start(BatchRequest request);
    // True from Start until Serve has ended the batch.
    bool Running() const noexcept { return thread_.joinable(); }
    // Asks the running batch to stop: no file starts after this one. Safe from any thread.
    void Stop() noexcept { stop_ = true; }
    // The newest progress of the running (or last) batch.
    BatchProgress Progress() const;
    // The progress a progress window is to show now: none when no batch runs, it has
    // finished, or a box of the batch is up (a progress window would cover it).
    std::optional<BatchProgress> ProgressToShow() const;
    // True when the batch waits for a box that Serve has not shown yet.
    bool CallPending() const;
    // True while a box or the results list of the batch is up.
    bool Answering() const noexcept { return answering_; }
    // The output directory of the running or last batch.
    const std::string& OutputDirectory() const noexcept { return outputDirectory_; }

    // On the window's thread, after wake: shows the box the batch waits for, if any, and
    // ends a batch that has ended.
    void Serve();

private:
    class Relay;
    // Runs call on the window's thread (through wake and Serve) and waits for it; false
    // when the session is shutting down and call did not run.
    bool OnWindowThread(const std::function<void()>& call);
    void Body(const BatchRequest& request);

    BatchWindow& window_;
    EngineCalls& engine_;
    const unsigned jobs_;
    std::function<void()> wake_;
    std::function<void()> ended_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> answering_{false};
    std::string outputDirectory_;

    mutable std::mutex mutex_;
    std::condition_variable served_;
    BatchProgress progress_;
    const std::function<void()>* pending_ = nullptr;  // the call the batch waits for
    bool taken_ = false;                              // pending_ is running now
    bool finished_ = false;                           // the batch's thread is at its end
    bool shuttingDown_ = false;
};

}  // namespace quorvel::batch
