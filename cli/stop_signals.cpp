#include "stop_signals.hpp"

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "quorvel/engine/temporary_files.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#include <unistd.h>
#endif

namespace quorvel::cli {
namespace {

std::atomic<int> stopStatus{0};
std::atomic<bool> batchRunning{false};

// How long a batch gets to print its finished lines and end after a stop.
constexpr auto GraceTime = std::chrono::seconds(5);

[[noreturn]] void EndProcess(int status) {
#ifdef _WIN32
    ExitProcess(static_cast<UINT>(status));
#else
    ::_exit(status);
#endif
}

// Runs on the thread that receives the stop, never in a signal handler.
[[noreturn]] void StopOnSignal(int status) {
    RequestStop(status);
    if (batchRunning.load()) std::this_thread::sleep_for(GraceTime);
    // Nothing more to wait for (or the batch is stuck, say on a blocked write): the
    // temporary files are gone already, so the process may end where it stands.
    EndProcess(StopStatus());
}

#ifdef _WIN32
constexpr int InterruptStatus = 130;  // as SIGINT ends a program on POSIX systems

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The system calls this on a thread of its own; for closing the console it ends
        // the process once this returns, so the stop is completed here.
        StopOnSignal(InterruptStatus);
    default: return FALSE;
    }
}
#endif

}  // namespace

void InstallStopHandlers() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    // Blocked here, before any thread starts, so every thread inherits the mask and
    // only the waiting thread takes them.
    if (pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0) return;
    try {
        std::thread([stops] {
            for (;;) {
                int signal = 0;
                if (sigwait(&stops, &signal) == 0) StopOnSignal(128 + signal);
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread: the signals end the program as they do by default.
        pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    }
#endif
}

void RequestStop(int status) noexcept {
    int none = 0;
    stopStatus.compare_exchange_strong(none, status);
    engine::RemoveTemporaryFiles();
}

int StopStatus() noexcept { return stopStatus.load(); }

BatchInProgress::BatchInProgress() noexcept { batchRunning.store(true); }

BatchInProgress::~BatchInProgress() { batchRunning.store(false); }

}  // namespace quorvel::cli
