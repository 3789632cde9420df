#pragma once

#include <windows.h>

#include <functional>

#include "quorvel/batch/batch_driver.hpp"

namespace quorvel::win32 {

// The progress window of a long batch, owned by the main window: files done of files
// selected, a progress bar, the current file's name (cut in its middle when long) and a
// "Stop" button. Escape and the close box count as "Stop" too, since closing it cannot
// leave the batch running unseen. It only shows; onStop tells the owner, once per batch.
class ProgressWindow {
public:
    ProgressWindow(HWND owner, std::function<void()> onStop);
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Handle() const noexcept { return hwnd_; }
    // Shows where the batch is (whether the window is visible is the owner's choice).
    void SetProgress(const batch::BatchProgress& progress);
    // Enables "Stop" again for the next batch.
    void Reset();
    // Lays the window out for a font and a scale (1.0 at 120 pixels per inch); the font
    // stays the caller's.
    void ApplyFont(HFONT font, double scale);
    void Show();
    void Hide();

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Stop();

    HWND hwnd_ = nullptr;
    HWND owner_ = nullptr;
    HWND count_ = nullptr;
    HWND bar_ = nullptr;
    HWND file_ = nullptr;
    HWND stop_ = nullptr;
    std::function<void()> onStop_;
};

}  // namespace quorvel::win32
