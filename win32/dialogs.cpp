#include "dialogs.hpp"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "control_ids.hpp"

namespace quorvel::win32 {
namespace {

// A dialog template built in memory (DLGTEMPLATE and its items), in dialog units, with
// the system's message font, so these small dialogs need no resource script.
class DialogTemplate {
public:
    DialogTemplate(const std::wstring& title, short width, short height) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96);
        const LONG height96 = metrics.lfMessageFont.lfHeight < 0 ? -metrics.lfMessageFont.lfHeight : 12;
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
        Add32(style);
        Add32(0);
        countAt_ = words_.size();
        words_.push_back(0);
        for (const short value : {short{0}, short{0}, width, height}) words_.push_back(static_cast<WORD>(value));
        words_.push_back(0);  // no menu
        words_.push_back(0);  // the standard dialog class
        AddText(title);
        words_.push_back(static_cast<WORD>(MulDiv(height96, 72, 96)));
        AddText(metrics.lfMessageFont.lfFaceName[0] != 0 ? metrics.lfMessageFont.lfFaceName : L"MS Shell Dlg");
    }

    // cls is the predefined class's atom: 0x80 button, 0x81 edit, 0x82 static.
    void Item(WORD cls, const std::wstring& text, DWORD style, short x, short y, short cx, short cy, int id) {
        if (words_.size() % 2 != 0) words_.push_back(0);  // items start on a DWORD boundary
        Add32(WS_CHILD | WS_VISIBLE | style);
        Add32(0);
        for (const short value : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(value));
        words_.push_back(static_cast<WORD>(id));
        words_.push_back(0xFFFF);
        words_.push_back(cls);
        AddText(text);
        words_.push_back(0);  // no creation data
        ++words_[countAt_];
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Add32(DWORD value) {
        words_.push_back(LOWORD(value));
        words_.push_back(HIWORD(value));
    }
    void AddText(const std::wstring& text) {
        for (const wchar_t c : text) words_.push_back(static_cast<WORD>(c));
        words_.push_back(0);
    }

    std::vector<WORD> words_;  // WORD-aligned, as DialogBoxIndirectParamW needs
    std::size_t countAt_ = 0;
};

constexpr WORD ButtonClass = 0x80;
constexpr WORD EditClass = 0x81;
constexpr WORD StaticClass = 0x82;

// Puts a dialog over the middle of its owner (the monitor's work area without one),
// kept on that monitor.
void CenterOver(HWND dialog, HWND owner) {
    RECT box{}, over{};
    GetWindowRect(dialog, &box);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    if (owner == nullptr || !GetWindowRect(owner, &over)) over = monitor.rcWork;
    const int w = box.right - box.left, h = box.bottom - box.top;
    int x = (over.left + over.right - w) / 2, y = (over.top + over.bottom - h) / 2;
    x = std::max<int>(monitor.rcWork.left, std::min<int>(x, monitor.rcWork.right - w));
    y = std::max<int>(monitor.rcWork.top, std::min<int>(y, monitor.rcWork.bottom - h));
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

struct FolderNameState {
    const std::wstring* prompt;
    const std::wstring* proposed;
    std::wstring typed;
    HWND owner;
};

INT_PTR CALLBACK FolderNameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* state = reinterpret_cast<FolderNameState*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetDlgItemTextW(dialog, NewFolderPromptText, state->prompt->c_str());
        const HWND edit = GetDlgItem(dialog, NewFolderNameEdit);
        SetWindowTextW(edit, state->proposed->c_str());
        SendMessageW(edit, EM_SETSEL, 0, -1);
        CenterOver(dialog, state->owner);
        SetFocus(edit);
        return FALSE;  // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* state = reinterpret_cast<FolderNameState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            const HWND edit = GetDlgItem(dialog, NewFolderNameEdit);
            state->typed.assign(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            state->typed.resize(static_cast<std::size_t>(GetWindowTextW(edit, state->typed.data(),
                                                                        static_cast<int>(state->typed.size()))));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

struct ReplaceState {
    HWND owner;
    bool checked = false;
};

INT_PTR CALLBACK ReplaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SendDlgItemMessageW(dialog, ReplaceIcon, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_QUESTION)), 0);
        CenterOver(dialog, reinterpret_cast<ReplaceState*>(lParam)->owner);
        MessageBeep(MB_ICONQUESTION);
        return TRUE;  // the focus goes to OK, the first button
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            auto* state = reinterpret_cast<ReplaceState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            state->checked = IsDlgButtonChecked(dialog, ReplaceCheckBox) == BST_CHECKED;
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default: break;
    }
    return FALSE;
}

using TaskDialogIndirectCall = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// TaskDialogIndirect of the common controls the process uses: only version 6 has it, and
// a program without the manifest that asks for it gets version 5.
TaskDialogIndirectCall TaskDialogFunction() {
    const HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    if (controls == nullptr) return nullptr;
    const FARPROC found = GetProcAddress(controls, "TaskDialogIndirect");
    return reinterpret_cast<TaskDialogIndirectCall>(reinterpret_cast<void (*)()>(found));
}

}  // namespace

batch::ReplaceAnswer AskReplace(HWND owner, const std::wstring& title, const std::wstring& text,
                                const std::wstring& checkCaption) {
    if (const TaskDialogIndirectCall taskDialog = TaskDialogFunction()) {
        TASKDIALOGCONFIG config{};
        config.cbSize = sizeof config;
        config.hwndParent = owner;
        config.dwFlags = TDF_USE_HICON_MAIN | TDF_ALLOW_DIALOG_CANCELLATION |
                         (owner != nullptr ? TDF_POSITION_RELATIVE_TO_WINDOW : 0);
        config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
        config.pszWindowTitle = title.c_str();
        config.hMainIcon = LoadIconW(nullptr, IDI_QUESTION);
        config.pszContent = text.c_str();
        config.pszVerificationText = checkCaption.c_str();
        config.nDefaultButton = IDOK;
        int button = IDCANCEL;
        BOOL checked = FALSE;
        if (SUCCEEDED(taskDialog(&config, &button, nullptr, &checked)))
            return {button == IDOK ? batch::BoxAnswer::Ok : batch::BoxAnswer::Cancel, checked != FALSE};
    }
    // The same parts in a dialog of our own: icon, text, check box, OK and Cancel.
    DialogTemplate dialog(title, 230, 74);
    dialog.Item(StaticClass, L"", SS_ICON, 10, 10, 21, 20, ReplaceIcon);
    dialog.Item(StaticClass, text, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 40, 10, 180, 26, ReplaceText);
    dialog.Item(ButtonClass, checkCaption, BS_AUTOCHECKBOX | WS_TABSTOP, 40, 38, 180, 10, ReplaceCheckBox);
    dialog.Item(ButtonClass, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 116, 54, 50, 14, IDOK);
    dialog.Item(ButtonClass, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 170, 54, 50, 14, IDCANCEL);
    ReplaceState state{owner};
    const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, ReplaceProc,
                                                   reinterpret_cast<LPARAM>(&state));
    return {answer == IDOK ? batch::BoxAnswer::Ok : batch::BoxAnswer::Cancel, answer == IDOK && state.checked};
}

std::optional<std::wstring> AskFolderName(HWND owner, const std::wstring& title, const std::wstring& prompt,
                                          const std::wstring& proposed) {
    // The prompt holds a whole path: three lines, broken anywhere, as an edit control would.
    DialogTemplate dialog(title, 236, 82);
    dialog.Item(StaticClass, L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, 7, 7, 222, 26, NewFolderPromptText);
    dialog.Item(EditClass, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 38, 222, 14, NewFolderNameEdit);
    dialog.Item(ButtonClass, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 125, 61, 50, 14, IDOK);
    dialog.Item(ButtonClass, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 179, 61, 50, 14, IDCANCEL);
    FolderNameState state{&prompt, &proposed, {}, owner};
    if (DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), owner, FolderNameProc,
                                reinterpret_cast<LPARAM>(&state)) != IDOK)
        return std::nullopt;
    return state.typed;
}

}  // namespace quorvel::win32
