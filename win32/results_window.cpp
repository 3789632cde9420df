#include "results_window.hpp"

#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "control_ids.hpp"
#include "file_controls.hpp"
#include "quorvel/batch/messages.hpp"

namespace quorvel::win32 {
namespace {

struct ResultsState {
    const batch::ResultsList* results = nullptr;
    double scale = 1.0;
    bool done = false;
    HFONT font = nullptr;
    int widest = 0;  // the widest line of the list in pixels, in font
};

int Px(double scale, int designed) { return static_cast<int>(std::lround(designed * scale)); }

// Line feeds as Windows' edit controls and clipboard want them.
std::wstring WithCrLf(std::string_view text) {
    std::wstring wide;
    for (wchar_t c : Widen(text)) {
        if (c == L'\n') wide += L'\r';
        wide += c;
    }
    return wide;
}

void CopyAll(HWND hwnd, const batch::ResultsList& results) {
    const std::wstring text = Widen(batch::ResultsText(results));  // lines already end with CR LF
    if (!OpenClipboard(hwnd)) return;
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        std::memcpy(GlobalLock(memory), text.c_str(), bytes);
        GlobalUnlock(memory);
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) GlobalFree(memory);
    }
    CloseClipboard();
}

void SaveAs(HWND hwnd, const batch::ResultsList& results) {
    // The proposed name in the batch's output folder: a whole path, as the dialog starts
    // in the folder of the name it is given; the initial folder alone may be overruled by
    // the folder last used.
    const std::wstring folder = Widen(results.folder);
    std::wstring proposed = Widen(batch::ResultsFileName);
    if (!folder.empty()) proposed = folder + (folder.back() == L'\\' ? L"" : L"\\") + proposed;
    std::wstring name(32768, L'\0');
    proposed.copy(name.data(), name.size() - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd;
    dialog.lpstrFilter = L"Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = L"txt";
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return;
    if (const auto failure = batch::SaveResults(results, std::filesystem::path(std::wstring(name.c_str())))) {
        MessageBoxW(hwnd, Widen(*failure + ".").c_str(), Widen(batch::ApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
    }
}

// The widest of lines in font, in pixels.
int WidestLine(HWND control, HFONT font, const std::vector<std::string>& lines) {
    const HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, font);
    int widest = 0;
    for (const std::string& line : lines) {
        const std::wstring wide = Widen(line);
        SIZE size{};
        if (GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size))
            widest = std::max<int>(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return widest;
}

// The list's edit control: lines never wrap (ES_AUTOHSCROLL); a horizontal scroll bar
// only with a line wider than the control, since an edit control given WS_HSCROLL always
// shows one, disabled when nothing is to scroll.
HWND MakeListControl(HWND hwnd, const std::wstring& text, bool horizontalBar, HFONT font) {
    DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                  WS_TABSTOP;
    if (horizontalBar) style |= WS_HSCROLL;
    const HWND control = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", text.c_str(), style, 0, 0, 10, 10, hwnd,
                                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(ResultsText)),
                                         GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    // Second in Tab order, after the counts, as when the window was made.
    SetWindowPos(control, GetDlgItem(hwnd, ResultsCounts), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return control;
}

// Gives the list its horizontal scroll bar when its widest line does not fit, and takes
// it away when it does: the control is made again with the other style, keeping its
// text, selection, first line shown and focus.
void FitHorizontalBar(HWND hwnd, const ResultsState& state) {
    const HWND list = GetDlgItem(hwnd, ResultsText);
    RECT client{};
    GetClientRect(list, &client);
    const LRESULT margins = SendMessageW(list, EM_GETMARGINS, 0, 0);
    const int room = client.right - LOWORD(margins) - HIWORD(margins) - GetSystemMetrics(SM_CXBORDER);
    const bool needed = state.widest > room;
    const bool shown = (GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL) != 0;
    if (needed == shown) return;
    RECT bounds{};
    GetWindowRect(list, &bounds);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&bounds), 2);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(list)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(list, text.data(), static_cast<int>(text.size()))));
    DWORD start = 0, end = 0;
    SendMessageW(list, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const LRESULT firstLine = SendMessageW(list, EM_GETFIRSTVISIBLELINE, 0, 0);
    const bool focused = GetFocus() == list;
    DestroyWindow(list);
    const HWND made = MakeListControl(hwnd, text, needed, state.font);
    MoveWindow(made, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top, TRUE);
    SendMessageW(made, EM_SETSEL, start, end);
    SendMessageW(made, EM_LINESCROLL, 0, firstLine);
    if (focused) SetFocus(made);
}

void Layout(HWND hwnd, const ResultsState& state) {
    const double scale = state.scale;
    RECT client{};
    GetClientRect(hwnd, &client);
    const int margin = Px(scale, 12), line = Px(scale, 20);
    const int buttonWidth = Px(scale, 100), buttonHeight = Px(scale, 30), gap = Px(scale, 8);
    const int width = client.right - 2 * margin;
    MoveWindow(GetDlgItem(hwnd, ResultsCounts), margin, margin, width, line, TRUE);
    const int buttonsTop = client.bottom - margin - buttonHeight;
    const int textTop = margin + line + gap;
    MoveWindow(GetDlgItem(hwnd, ResultsText), margin, textTop, width, buttonsTop - gap - textTop, TRUE);
    int x = client.right - margin - buttonWidth;
    for (int id : {CloseButton, SaveButton, CopyButton}) {
        MoveWindow(GetDlgItem(hwnd, id), x, buttonsTop, buttonWidth, buttonHeight, TRUE);
        x -= buttonWidth + gap;
    }
    FitHorizontalBar(hwnd, state);
}

LRESULT CALLBACK ResultsProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ResultsState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case CopyButton: CopyAll(hwnd, *state->results); return 0;
        case SaveButton: SaveAs(hwnd, *state->results); return 0;
        case CloseButton:
        case IDOK:
        case IDCANCEL: state->done = true; return 0;
        default: break;
        }
        break;
    case WM_CLOSE: state->done = true; return 0;
    case WM_SIZE: Layout(hwnd, *state); return 0;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {Px(state->scale, 420), Px(state->scale, 220)};
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        // The read-only list keeps the background of text to read; the counts take the
        // window's.
        if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == ResultsText) {
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default: break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

void ShowResultsWindow(HWND owner, const batch::ResultsList& results, HFONT font, double scale) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ResultsProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = ResultsWindowClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;

    ResultsState state{&results, scale, false, font};
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    RECT frame{0, 0, Px(scale, 760), Px(scale, 420)};
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_DLGMODALFRAME);
    const int w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT over{};
    if (owner != nullptr) {
        GetWindowRect(owner, &over);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &over, 0);
    }
    const HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, ResultsWindowClass, Widen(batch::ApplicationTitle).c_str(),
                                      style, (over.left + over.right - w) / 2, (over.top + over.bottom - h) / 2, w, h,
                                      owner, nullptr, instance, nullptr);
    if (hwnd == nullptr) return;
    const auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD childStyle, DWORD exStyle, int id) {
        const HWND control = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | childStyle, 0, 0, 10,
                                             10, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                             nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    child(L"STATIC", Widen(batch::CountsText(results.counts)), SS_LEFT | SS_NOPREFIX, 0, ResultsCounts);
    std::string lines;
    for (const std::string& line : results.lines) {
        if (!lines.empty()) lines += '\n';
        lines += line;
    }
    const HWND text = MakeListControl(hwnd, WithCrLf(lines), false, font);
    state.widest = WidestLine(text, font, results.lines);
    child(L"BUTTON", Widen(batch::CopyCaption), BS_PUSHBUTTON | WS_TABSTOP, 0, CopyButton);
    child(L"BUTTON", Widen(batch::SaveCaption), BS_PUSHBUTTON | WS_TABSTOP, 0, SaveButton);
    const HWND close = child(L"BUTTON", Widen(batch::CloseCaption), BS_DEFPUSHBUTTON | WS_TABSTOP, 0, CloseButton);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    Layout(hwnd, state);

    // Modal over the owner: it takes no input until this window is closed.
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) EnableWindow(owner, FALSE);
    ShowWindow(hwnd, SW_SHOW);
    SetFocus(close);
    MSG msg;
    while (!state.done) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        if (IsDialogMessageW(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (ownerWasEnabled) EnableWindow(owner, TRUE);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
    if (owner != nullptr) SetActiveWindow(owner);
}

}  // namespace quorvel::win32
