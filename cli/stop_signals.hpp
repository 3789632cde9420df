#pragma once

namespace quorvel::cli {

// Makes SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and closing the
// console) stop the program through RequestStop with 128 + the signal's number (130 on
// Windows), and a closed standard output an ordinary write failure (EPIPE, no SIGPIPE).
// The signals are taken by a thread of their own, never inside a signal handler. While
// a BatchInProgress exists the batch ends by itself (RunBatch watches StopStatus), and
// the process ends regardless a few seconds later; otherwise it ends at once. Call once
// from main, before any other thread starts.
void InstallStopHandlers();

// Asks the running batch to stop with exit status status (the first request wins) and
// removes every temporary file of the conversions. Safe from any thread.
void RequestStop(int status) noexcept;

// The exit status a stop asked for; 0 while none did.
int StopStatus() noexcept;

// Marks the span during which a batch runs and ends itself on a stop.
class BatchInProgress {
public:
    BatchInProgress() noexcept;
    ~BatchInProgress();
    BatchInProgress(const BatchInProgress&) = delete;
    BatchInProgress& operator=(const BatchInProgress&) = delete;
};

}  // namespace quorvel::cli
