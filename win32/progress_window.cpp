// Before <windows.h>, whose FormatMessage macro would rename the batch library's.
#include "quorvel/batch/messages.hpp"

#include "progress_window.hpp"
#undef FormatMessage

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "control_ids.hpp"
#include "file_controls.hpp"

namespace quorvel::win32 {
namespace {

int Px(double scale, int designed) { return static_cast<int>(std::lround(designed * scale)); }

void RegisterOnce() {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = ProgressWindowClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

}  // namespace

ProgressWindow::ProgressWindow(HWND owner, std::function<void()> onStop) : owner_(owner), onStop_(std::move(onStop)) {
    RegisterOnce();
    const std::wstring title = Widen(batch::ApplicationTitle);
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME, ProgressWindowClass, title.c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0, 100, 100, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProgressWindow::WindowProc));
    const auto child = [this](const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
        return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    };
    count_ = child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX, ProgressCount);
    bar_ = child(PROGRESS_CLASSW, L"", 0, ProgressBar);
    file_ = child(L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, ProgressFile);
    const std::wstring stop = Widen(batch::StopCaption);
    stop_ = child(L"BUTTON", stop.c_str(), BS_PUSHBUTTON | WS_TABSTOP, StopButton);
}

ProgressWindow::~ProgressWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void ProgressWindow::ApplyFont(HFONT font, double scale) {
    for (HWND control : {count_, file_, stop_}) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    const int margin = Px(scale, 12), width = Px(scale, 440), line = Px(scale, 20);
    const int buttonWidth = Px(scale, 100), buttonHeight = Px(scale, 30);
    int y = margin;
    MoveWindow(count_, margin, y, width, line, TRUE);
    y += line + Px(scale, 6);
    MoveWindow(bar_, margin, y, width, Px(scale, 18), TRUE);
    y += Px(scale, 18) + Px(scale, 6);
    MoveWindow(file_, margin, y, width, line, TRUE);
    y += line + Px(scale, 10);
    MoveWindow(stop_, margin + width - buttonWidth, y, buttonWidth, buttonHeight, TRUE);
    y += buttonHeight + margin;
    RECT frame{0, 0, width + 2 * margin, y};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ProgressWindow::SetProgress(const batch::BatchProgress& progress) {
    const std::wstring count = Widen(batch::FormatMessage(batch::ProgressPattern, {std::to_string(progress.done),
                                                                                   std::to_string(progress.total)}));
    SetWindowTextW(count_, count.c_str());
    SendMessageW(bar_, PBM_SETRANGE32, 0, std::max(progress.total, 1));
    SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(progress.done), 0);
    SetWindowTextW(file_, Widen(progress.current).c_str());
}

void ProgressWindow::Reset() { EnableWindow(stop_, TRUE); }

void ProgressWindow::Show() {
    // Centred over the main window, wherever that is now.
    RECT owner{}, own{};
    GetWindowRect(owner_, &owner);
    GetWindowRect(hwnd_, &own);
    const int w = own.right - own.left, h = own.bottom - own.top;
    SetWindowPos(hwnd_, nullptr, (owner.left + owner.right - w) / 2, (owner.top + owner.bottom - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, SW_SHOWNA);
}

void ProgressWindow::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void ProgressWindow::Stop() {
    if (!IsWindowEnabled(stop_)) return;
    // The focus must not stay on a disabled button, or the keyboard is lost.
    if (GetFocus() == stop_) SetFocus(hwnd_);
    EnableWindow(stop_, FALSE);
    if (onStop_) onStop_();
}

LRESULT CALLBACK ProgressWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == StopButton || LOWORD(wParam) == IDCANCEL) {
            self->Stop();
            return 0;
        }
        break;
    case WM_CLOSE: self->Stop(); return 0;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace quorvel::win32
