// windows.h would rename batch::FormatMessage to FormatMessageW in every header after it.
#include <windows.h>
#undef FormatMessage

#include "midi_form.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "control_ids.hpp"
#include "dialogs.hpp"
#include "file_controls.hpp"
#include "progress_window.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/start_place.hpp"
#include "quorvel/batch/window_folders.hpp"
#include "results_window.hpp"

namespace quorvel::win32 {

using batch::BatchKind;
using batch::BatchOption;
using batch::BoxAnswer;
using batch::RunHandler;

namespace {

// The main window's message to itself: the batch session asks to be served (a box the
// batch waits for, its progress finished, or its end). Posted rather than sent: a box
// shown from inside a message sent by another thread is closed at once under Wine.
constexpr UINT WM_QUORVEL_SERVE = WM_APP + 1;
// Posted when a batch has ended: the trees' folders are looked at once its last box is gone.
constexpr UINT WM_QUORVEL_CHECK_FOLDERS = WM_APP + 2;

// Notification of a drive selector to its window: Enter was pressed while its list was
// closed, or the list was closed (the choice is taken once the list's own notifications
// have all arrived). Not a CBN_ code of the system's.
constexpr int DriveKeyChosen = 0x4000;
constexpr int DriveListClosed = 0x4001;

constexpr UINT_PTR ProgressDelayTimer = 1;
constexpr UINT_PTR ProgressRefreshTimer = 2;

// Bounds of the controls in the main window's client area as designed at 120 pixels per
// inch: the panel and group-box offsets added to the bounds inside their parents.
struct Bounds {
    int id, left, top, width, height;
};
constexpr Bounds Designed[] = {
    {MidiPanel, 16, 8, 681, 481},
    {GroupBox1, 48, 32, 289, 385},
    {DriveComboBox1, 56, 56, 273, 300},  // combo boxes: the height includes the open list
    {DirectoryListBox1, 56, 88, 273, 113},
    {InputPath, 56, 203, 273, 22},
    {FileListBox1, 56, 232, 273, 145},
    {FilterComboBox1, 56, 384, 273, 200},
    {GroupBox2, 376, 32, 289, 233},
    {DriveComboBox2, 384, 56, 273, 300},
    {DirectoryListBox2, 384, 88, 273, 145},
    {OutputPath, 384, 235, 273, 22},
    {Button2, 416, 288, 209, 41},
    {Button1, 416, 336, 209, 41},
    {Button5, 416, 384, 209, 41},
    {Button3, 416, 432, 209, 41},
    {Button4, 88, 432, 209, 41},
};
constexpr int DesignedClientWidth = 16 + 681 + 16;
constexpr int DesignedClientHeight = 8 + 481 + 8;

constexpr int BatchControls[] = {DriveComboBox1, DirectoryListBox1, FileListBox1, FilterComboBox1,
                                 DriveComboBox2, DirectoryListBox2, Button2,      Button1,
                                 Button5,        Button3,           Button4};

// Our texts break lines with single carriage returns; a message box breaks them only at
// CR LF, so each break is shown as one.
std::wstring ForDisplay(std::string_view text) {
    const std::wstring wide = Widen(text);
    std::wstring shown;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if (c == L'\r' || c == L'\n') {
            shown += L"\r\n";
            if (c == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
        } else {
            shown += c;
        }
    }
    return shown;
}

// Enter presses a focused button, opens a focused directory tree's entry, as a double
// click does, and takes the drive shown in a closed drive selector; a window that is not
// a dialog gives none of them that key. An open drive list keeps Enter for itself.
LRESULT CALLBACK EnterKeyProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR code) {
    if (code == DriveKeyChosen && SendMessageW(hwnd, CB_GETDROPPEDSTATE, 0, 0) != 0)
        return DefSubclassProc(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_GETDLGCODE:
        if (lParam != 0) {
            const MSG* msg = reinterpret_cast<const MSG*>(lParam);
            if ((msg->message == WM_KEYDOWN || msg->message == WM_CHAR) && msg->wParam == VK_RETURN)
                return DefSubclassProc(hwnd, message, wParam, lParam) | DLGC_WANTALLKEYS;
        }
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if ((lParam & (1 << 30)) == 0)  // not a repeat
                PostMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), static_cast<WORD>(code)),
                             reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == VK_RETURN) return 0;
        break;
    case WM_NCDESTROY: RemoveWindowSubclass(hwnd, EnterKeyProc, 1); break;
    default: break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

HICON FolderIcon(bool open) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_USEFILEATTRIBUTES | SHGFI_ICON | SHGFI_SMALLICON;
    if (open) flags |= SHGFI_OPENICON;
    SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags);
    return info.hIcon;
}

// "Show Results in One List" as the registry keeps it; off when never set.
bool StoredOption(const std::wstring& key) {
    DWORD value = 0;
    DWORD size = sizeof value;
    const std::wstring name = Widen(batch::ResultsInOneListSetting);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return false;
    return value != 0;
}

void StoreOption(const std::wstring& key, bool on) {
    const DWORD value = on ? 1 : 0;
    const std::wstring name = Widen(batch::ResultsInOneListSetting);
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS)
        return;  // not remembered; the check mark still holds for this run
    RegSetValueExW(opened, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(opened);
}

int CommandId(BatchOption option) {
    switch (option) {
    case BatchOption::PromptBetweenFiles: return PromptBetweenFiles1;
    case BatchOption::PromptBeforeOverwriting: return PromptBeforeOverwriting1;
    case BatchOption::ResultsInOneList: break;
    }
    return ShowResultsInOneList1;
}

}  // namespace

TMidiForm::TMidiForm(batch::EngineCalls& engine, const wchar_t* settingsKey, unsigned jobs)
    : settingsKey_(settingsKey), session_(
                                     *this, engine, jobs,
                                     [this] {
                                         if (const HWND window = hwnd_) PostMessageW(window, WM_QUORVEL_SERVE, 0, 0);
                                     },
                                     [this] { BatchEnded(); }) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    static const bool registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TMidiForm::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        wc.lpszClassName = MainWindowClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;

    const std::wstring title = Widen(batch::ApplicationTitle);
    CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, MainWindowClass, title.c_str(),
                    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, 100, 100,
                    nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) throw std::runtime_error("The main window cannot be created");
    openIcon_ = FolderIcon(true);
    closedIcon_ = FolderIcon(false);
    CreateMenuBar();
    CreateControls();
    // The focus is always shown, also before the first key press: the trees draw their
    // own and the window is no dialog, where Windows would hide it until then.
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    progress_ = new ProgressWindow(hwnd_, [this] { session_.Stop(); });
    ApplyDpi(GetDpiForWindow(hwnd_));
    const SIZE frame = FrameSize();
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    // Both trees, and so the file list, start in the process's current directory.
    std::wstring current(MAX_PATH, L'\0');
    const DWORD size = GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    if (size > current.size()) {
        current.resize(size);
        GetCurrentDirectoryW(size, current.data());
    }
    current.resize(wcslen(current.c_str()));
    for (Tree* tree : {&inputTree_, &outputTree_}) {
        try {
            SetTreeDirectory(*tree, current);
        } catch (const std::exception&) {
            SetTreeDirectory(*tree, RootOf(NormalDirectory(current)));
        }
    }
    FormCreate();
}

TMidiForm::~TMidiForm() {
    delete progress_;
    progress_ = nullptr;
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (font_ != nullptr) DeleteObject(font_);
    if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
    for (HICON icon : {openIcon_, closedIcon_})
        if (icon != nullptr) DestroyIcon(icon);
}

void TMidiForm::CreateMenuBar() {
    const HMENU bar = CreateMenu();
    const auto item = [](HMENU menu, UINT flags, UINT_PTR id, std::string_view caption) {
        AppendMenuW(menu, flags, id, Widen(caption).c_str());
    };
    options_ = CreatePopupMenu();
    item(options_, MF_STRING, PromptBetweenFiles1, batch::PromptBetweenFilesCaption);
    item(options_, MF_STRING | MF_CHECKED, PromptBeforeOverwriting1, batch::PromptBeforeOverwritingCaption);
    item(options_, MF_STRING | (StoredOption(settingsKey_) ? MF_CHECKED : 0), ShowResultsInOneList1,
         batch::ResultsInOneListMenuCaption);
    item(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(options_), batch::OptionsMenuCaption);
    const HMENU view = CreatePopupMenu();
    item(view, MF_STRING, Refresh1, std::string(batch::RefreshMenuCaption) + "\tF5");
    item(view, MF_STRING, NewFolder1, batch::NewFolderMenuCaption);
    item(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), batch::ViewMenuCaption);
    const HMENU help = CreatePopupMenu();
    item(help, MF_STRING, About1, batch::AboutMenuCaption);
    item(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), batch::HelpMenuCaption);
    SetMenu(hwnd_, bar);
    ACCEL keys[] = {{FVIRTKEY, VK_F5, Refresh1}};
    accelerators_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
}

void TMidiForm::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // Created in Tab order: the input side with "Select all", then the output side with
    // the conversion buttons and "Exit". A group box's mnemonic goes to the control after it.
    const auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int id) {
        return CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    };
    const DWORD listStyle = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
    const DWORD treeStyle = listStyle | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS;
    const DWORD comboStyle = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
    const DWORD buttonStyle = WS_TABSTOP | BS_PUSHBUTTON;
    // The path lines elide the middle of a path that does not fit; SS_NOTIFY lets their
    // tool tips see the mouse.
    const DWORD pathStyle = SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS | SS_CENTERIMAGE | SS_NOTIFY;
    make(L"STATIC", L"", SS_ETCHEDFRAME, 0, MidiPanel);
    make(L"BUTTON", Widen(batch::InputGroupCaption).c_str(), BS_GROUPBOX, 0, GroupBox1);
    inputTree_.drives = make(WC_COMBOBOXW, L"", comboStyle, 0, DriveComboBox1);
    inputTree_.list = make(WC_LISTBOXW, L"", treeStyle, WS_EX_CLIENTEDGE, DirectoryListBox1);
    inputTree_.path = make(L"STATIC", L"", pathStyle, 0, InputPath);
    fileList_ = make(WC_LISTBOXW, L"", listStyle | LBS_EXTENDEDSEL, WS_EX_CLIENTEDGE, FileListBox1);
    filter_ = make(WC_COMBOBOXW, L"", comboStyle, 0, FilterComboBox1);
    make(L"BUTTON", Widen(batch::SelectAllCaption).c_str(), buttonStyle, 0, Button4);
    make(L"BUTTON", Widen(batch::OutputGroupCaption).c_str(), BS_GROUPBOX, 0, GroupBox2);
    outputTree_.drives = make(WC_COMBOBOXW, L"", comboStyle, 0, DriveComboBox2);
    outputTree_.list = make(WC_LISTBOXW, L"", treeStyle, WS_EX_CLIENTEDGE, DirectoryListBox2);
    outputTree_.path = make(L"STATIC", L"", pathStyle, 0, OutputPath);
    make(L"BUTTON", Widen(batch::MnemonicCaption(batch::Row(BatchKind::Smf0))).c_str(), buttonStyle, 0, Button2);
    make(L"BUTTON", Widen(batch::MnemonicCaption(batch::Row(BatchKind::Smf1))).c_str(), buttonStyle, 0, Button1);
    make(L"BUTTON", Widen(batch::MnemonicCaption(batch::Row(BatchKind::Karaoke))).c_str(), buttonStyle, 0, Button5);
    make(L"BUTTON", Widen(batch::ExitCaption).c_str(), buttonStyle, 0, Button3);

    for (int id : {Button2, Button1, Button5, Button3, Button4})
        SetWindowSubclass(GetDlgItem(hwnd_, id), EnterKeyProc, 1, BN_CLICKED);
    for (HWND tree : {inputTree_.list, outputTree_.list}) SetWindowSubclass(tree, EnterKeyProc, 1, LBN_DBLCLK);
    for (HWND drives : {inputTree_.drives, outputTree_.drives})
        SetWindowSubclass(drives, EnterKeyProc, 1, DriveKeyChosen);

    // The full path of each tree's folder as a tool tip of its path line, which may show
    // it shortened.
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr, instance,
                               nullptr);
    for (HWND path : {inputTree_.path, outputTree_.path}) {
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(path);
        tool.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    ReadDrives();
    filterEntries_ = ParseFilter(Widen(batch::MidiFileFilter));
    for (const auto& [description, mask] : filterEntries_)
        SendMessageW(filter_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(description.c_str()));
    SendMessageW(filter_, CB_SETCURSEL, 0, 0);
}

void TMidiForm::ApplyDpi(UINT dpi) {
    dpi_ = dpi == 0 ? 96 : dpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_);
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    const HDC dc = GetDC(hwnd_);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW text{};
    GetTextMetricsW(dc, &text);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    // The window was drawn at 120 pixels per inch with a font whose lines are 16 pixels
    // high; its bounds follow the DPI, and grow when the font's lines are taller.
    scale_ = std::max(dpi_ / 120.0, text.tmHeight / 16.0);
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (tooltip_ != nullptr) SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (font_ != nullptr) DeleteObject(font_);
    font_ = font;
    const int iconSize = MulDiv(16, static_cast<int>(dpi_), 96);
    const int itemHeight = std::max<int>(text.tmHeight, iconSize) + static_cast<int>(std::lround(2 * scale_));
    for (HWND tree : {inputTree_.list, outputTree_.list}) SendMessageW(tree, LB_SETITEMHEIGHT, 0, itemHeight);
    Layout();
    progress_->ApplyFont(font_, scale_);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

SIZE TMidiForm::FrameSize() const {
    RECT frame{0, 0, static_cast<LONG>(std::lround(DesignedClientWidth * scale_)),
               static_cast<LONG>(std::lround(DesignedClientHeight * scale_))};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), TRUE,
                             static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)), dpi_);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void TMidiForm::Layout() {
    for (const Bounds& b : Designed) {
        const auto px = [this](int designed) { return static_cast<int>(std::lround(designed * scale_)); };
        MoveWindow(GetDlgItem(hwnd_, b.id), px(b.left), px(b.top), px(b.width), px(b.height), TRUE);
    }
}

void TMidiForm::Show(int showCommand) {
    RECT window{};
    GetWindowRect(hwnd_, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int w = window.right - window.left, h = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, area.left + std::max<int>(0, (area.right - area.left - w) / 2),
                 area.top + std::max<int>(0, (area.bottom - area.top - h) / 2), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    SetFocus(fileList_);
}

bool TMidiForm::TranslateDialogMessage(MSG& msg) {
    if (progress_ != nullptr && IsWindowVisible(progress_->Handle()) && IsDialogMessageW(progress_->Handle(), &msg))
        return true;
    if (hwnd_ != nullptr && accelerators_ != nullptr && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd)) &&
        TranslateAcceleratorW(hwnd_, accelerators_, &msg))
        return true;
    return hwnd_ != nullptr && IsDialogMessageW(hwnd_, &msg);
}

LRESULT CALLBACK TMidiForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TMidiForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TMidiForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT TMidiForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_MEASUREITEM: {
        auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        item->itemHeight = static_cast<UINT>(std::lround(18 * scale_));
        return TRUE;
    }
    case WM_DRAWITEM: DrawTreeItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_DPICHANGED: {
        // Where Windows suggests, at the size the layout needs at the new scale (the
        // font's lines need not grow in step with the DPI).
        ApplyDpi(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        const SIZE size = FrameSize();
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_ACTIVATE:
        // A window that is not a dialog keeps its focused control itself.
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus != nullptr && IsChild(hwnd_, focus)) lastFocus_ = focus;
        } else if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
            SetFocus(lastFocus_);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == ProgressDelayTimer) {
            KillTimer(hwnd_, ProgressDelayTimer);
            if (const std::optional<batch::BatchProgress> progress = session_.ProgressToShow()) {
                progress_->SetProgress(*progress);
                progress_->Show();
            }
        } else if (wParam == ProgressRefreshTimer) {
            RefreshProgress();
        }
        return 0;
    case WM_QUORVEL_SERVE: ServeBatch(); return 0;
    case WM_QUORVEL_CHECK_FOLDERS:
        if (!BatchRunning()) {
            // A folder the batch already reported as missing is not reported again.
            std::set<std::string> shown = std::move(reportedDuringBatch_);
            reportedDuringBatch_.clear();
            for (Tree* tree : {&inputTree_, &outputTree_}) LeaveMissingFolder(*tree, shown);
        }
        return 0;
    case WM_DROPFILES: {
        // Files and folders dropped on the window are taken as the command line's; not
        // while a batch runs, which keeps its folder and selection to the end.
        const auto drop = reinterpret_cast<HDROP>(wParam);
        std::vector<std::wstring> paths;
        if (!BatchRunning()) {
            const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
                path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
                paths.push_back(std::move(path));
            }
        }
        DragFinish(drop);
        if (!paths.empty()) OpenPaths(paths);
        return 0;
    }
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == outputTree_.list) {
            ShowTreeMenu(lParam);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (BatchRunning()) {
            // Closing stops the batch; the window closes once it has ended.
            session_.Stop();
            closeWhenDone_ = true;
            return 0;
        }
        DestroyWindow(hwnd_);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void TMidiForm::OnCommand(int id, int code) {
    switch (id) {
    case Button2:
        if (code == BN_CLICKED) Button2Click();
        break;
    case Button1:
        if (code == BN_CLICKED) Button1Click();
        break;
    case Button5:
        if (code == BN_CLICKED) Button5Click();
        break;
    case Button4:
        if (code == BN_CLICKED) Button4Click();
        break;
    case Button3:
        if (code == BN_CLICKED) Button3Click();
        break;
    case PromptBetweenFiles1: PromptBetweenFiles1Click(); break;
    case PromptBeforeOverwriting1: PromptBeforeOverwriting1Click(); break;
    case ShowResultsInOneList1: ShowResultsInOneList1Click(); break;
    case About1: About1Click(); break;
    case Refresh1: Refresh1Click(); break;
    case NewFolder1: NewFolder1Click(); break;
    case DriveComboBox1: DriveNotification(inputTree_, code); break;
    case DriveComboBox2: DriveNotification(outputTree_, code); break;
    case FilterComboBox1:
        if (code == CBN_SELCHANGE) FilterComboBox1Change();
        break;
    case DirectoryListBox1:
    case DirectoryListBox2: {
        Tree& tree = id == DirectoryListBox1 ? inputTree_ : outputTree_;
        if (code == LBN_DBLCLK) EnterTreeEntry(tree);
        // The selected entry looks different with and without the focus.
        if (code == LBN_SETFOCUS || code == LBN_KILLFOCUS) InvalidateRect(tree.list, nullptr, FALSE);
        break;
    }
    default: break;
    }
}

void TMidiForm::DrawTreeItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_LISTBOX || item.itemID == static_cast<UINT>(-1)) return;
    const Tree& tree = item.CtlID == DirectoryListBox1 ? inputTree_ : outputTree_;
    if (item.itemID >= tree.entries.size()) return;
    const auto& [path, level] = tree.entries[item.itemID];
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = (item.itemState & ODS_DISABLED) == 0;
    // The selected entry in the highlight colour while the tree has the focus, in the
    // face colour without it, so that the focused tree stands out.
    const bool focused = GetFocus() == item.hwndItem;
    const int background = !selected || !enabled ? COLOR_WINDOW : focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(background));
    const int iconSize = MulDiv(16, static_cast<int>(dpi_), 96);
    const int indent = static_cast<int>(std::lround(10 * scale_));
    RECT rc = item.rcItem;
    rc.left += static_cast<int>(std::lround(2 * scale_)) + level * indent;
    const bool open = static_cast<std::size_t>(item.itemID) + 1 < tree.entries.size()
                          ? tree.entries[item.itemID + 1].second > level || path == tree.directory
                          : path == tree.directory;
    if (const HICON icon = open ? openIcon_ : closedIcon_)
        DrawIconEx(item.hDC, rc.left, rc.top + (rc.bottom - rc.top - iconSize) / 2, icon, iconSize, iconSize, 0,
                   nullptr, DI_NORMAL);
    rc.left += iconSize + static_cast<int>(std::lround(4 * scale_));
    const std::size_t cut = path.find_last_of(L'\\', path.size() >= 2 ? path.size() - 2 : 0);
    const std::wstring name = level == 0 || cut == std::wstring::npos ? path : path.substr(cut + 1);
    const HGDIOBJ old = SelectObject(item.hDC, font_);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(!enabled                        ? COLOR_GRAYTEXT
                                       : background == COLOR_HIGHLIGHT ? COLOR_HIGHLIGHTTEXT
                                       : background == COLOR_BTNFACE   ? COLOR_BTNTEXT
                                                                       : COLOR_WINDOWTEXT));
    DrawTextW(item.hDC, name.c_str(), static_cast<int>(name.size()), &rc,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(item.hDC, old);
    // The focus mark whenever the tree has the focus, whether or not keyboard cues are
    // hidden (ODS_NOFOCUSRECT): a tree without it gives no sign of where the keys go.
    if ((item.itemState & ODS_FOCUS) != 0 && focused) DrawFocusRect(item.hDC, &item.rcItem);
}

void TMidiForm::ShowTreeMenu(LPARAM where) {
    if (BatchRunning()) return;
    POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (where == -1) {
        // From the keyboard (Shift+F10, the menu key): under the selected entry.
        RECT rc{};
        const LRESULT current = SendMessageW(outputTree_.list, LB_GETCURSEL, 0, 0);
        if (current < 0 || SendMessageW(outputTree_.list, LB_GETITEMRECT, static_cast<WPARAM>(current),
                                        reinterpret_cast<LPARAM>(&rc)) == LB_ERR)
            GetClientRect(outputTree_.list, &rc);
        at = {rc.left + (rc.bottom - rc.top), rc.bottom};
        ClientToScreen(outputTree_.list, &at);
    }
    const HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, NewFolder1, Widen(batch::NewFolderMenuCaption).c_str());
    AppendMenuW(menu, MF_STRING, Refresh1, Widen(std::string(batch::RefreshMenuCaption) + "\tF5").c_str());
    const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON |
                       (GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    const int command = static_cast<int>(TrackPopupMenuEx(menu, flags, at.x, at.y, hwnd_, nullptr));
    DestroyMenu(menu);
    if (command != 0) OnCommand(command, 0);
}

void TMidiForm::SetTreeDirectory(Tree& tree, const std::wstring& directory, bool reread) {
    const std::wstring target = NormalDirectory(directory);
    CheckDirectory(target);
    if (target == tree.directory && !reread) return;
    // Read again in place: the entry selected and the scroll position stay where they were.
    const bool same = target == tree.directory;
    const LRESULT top = SendMessageW(tree.list, LB_GETTOPINDEX, 0, 0);
    const LRESULT current = SendMessageW(tree.list, LB_GETCURSEL, 0, 0);
    const std::wstring selectedPath = same && current >= 0 && static_cast<std::size_t>(current) < tree.entries.size()
                                          ? tree.entries[static_cast<std::size_t>(current)].first
                                          : std::wstring();
    tree.directory = target;
    tree.entries.clear();
    const std::vector<std::wstring> chain = DirectoryChain(target);
    for (std::size_t i = 0; i < chain.size(); ++i) tree.entries.emplace_back(chain[i], static_cast<int>(i));
    for (const std::wstring& name : Subdirectories(target)) {
        std::wstring path = target;
        if (path.back() != L'\\') path += L'\\';
        tree.entries.emplace_back(path + name, static_cast<int>(chain.size()));
    }
    SendMessageW(tree.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(tree.list, LB_RESETCONTENT, 0, 0);
    for (const auto& entry : tree.entries)
        SendMessageW(tree.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.first.c_str()));
    std::size_t selection = chain.size() - 1;
    for (std::size_t i = 0; i < tree.entries.size(); ++i)
        if (!selectedPath.empty() && tree.entries[i].first == selectedPath) selection = i;
    SendMessageW(tree.list, LB_SETCURSEL, selection, 0);
    if (same) SendMessageW(tree.list, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(top, 0)), 0);
    SendMessageW(tree.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(tree.list, nullptr, TRUE);
    SetWindowTextW(tree.path, target.c_str());
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(tree.path);
    tool.lpszText = const_cast<wchar_t*>(target.c_str());
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    ShowDriveOf(tree);
    if (&tree == &inputTree_) DirectoryListBox1Change();
}

void TMidiForm::DriveNotification(Tree& tree, int code) {
    // The drive changes when the choice is made: Enter, a click in the open list, the
    // list closing on another drive, or the focus leaving a selector that shows another
    // drive. The arrow keys in a closed selector only move its selection (they bring
    // CBN_SELCHANGE and, from some versions of the control, CBN_SELENDOK too).
    switch (code) {
    case CBN_DROPDOWN:
        tree.listOpen = true;
        tree.listCancel = false;
        break;
    case CBN_SELENDCANCEL:
        if (tree.listOpen) tree.listCancel = true;
        break;
    case CBN_CLOSEUP:
        // CBN_SELENDOK or CBN_SELENDCANCEL may still follow; the choice waits for them.
        if (tree.listOpen)
            PostMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(tree.drives), DriveListClosed),
                         reinterpret_cast<LPARAM>(tree.drives));
        break;
    case DriveListClosed:
        tree.listOpen = false;
        if (tree.listCancel)
            ShowDriveOf(tree);
        else
            ChooseDrive(tree);
        break;
    case DriveKeyChosen:
    case CBN_KILLFOCUS:
        if (!tree.listOpen) ChooseDrive(tree);
        break;
    default: break;
    }
}

void TMidiForm::ChooseDrive(Tree& tree) {
    if (choosingDrive_) return;  // the focus leaves the selector for the box of a drive not ready
    const LRESULT index = SendMessageW(tree.drives, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size() ||
        SameName(drives_[static_cast<std::size_t>(index)], RootOf(tree.directory)))
        return;
    choosingDrive_ = true;
    if (&tree == &inputTree_)
        DriveComboBox1Change();
    else
        DriveComboBox2Change();
    choosingDrive_ = false;
}

void TMidiForm::ReadDrives() {
    drives_.clear();
    for (HWND combo : {inputTree_.drives, outputTree_.drives}) SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const Drive& drive : Drives()) {
        for (HWND combo : {inputTree_.drives, outputTree_.drives})
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive.text.c_str()));
        drives_.push_back(drive.root);
    }
    for (const Tree* tree : {&inputTree_, &outputTree_})
        if (!tree->directory.empty()) ShowDriveOf(*tree);
}

bool TMidiForm::LeaveMissingFolder(Tree& tree, std::set<std::string>& shown) {
    if (tree.directory.empty() || batch::FolderExists(std::filesystem::path(tree.directory))) return false;
    const std::string text = batch::MissingFolderText(Narrow(tree.directory));
    if (shown.insert(text).second) ErrorReport(batch::ApplicationTitle, text);
    MoveToNearestFolder(tree, tree.directory);
    return true;
}

void TMidiForm::MoveToNearestFolder(Tree& tree, const std::wstring& folder) {
    const std::wstring nearest = batch::NearestExistingFolder(std::filesystem::path(folder)).native();
    RunHandler(*this, [&] { SetTreeDirectory(tree, nearest, true); });
}

void TMidiForm::MoveTreeToDrive(Tree& tree) {
    const LRESULT index = SendMessageW(tree.drives, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return;
    const std::wstring& root = drives_[static_cast<std::size_t>(index)];
    const std::wstring current = RootOf(tree.directory);
    if (SameName(current, root)) return;
    std::wstring target;
    for (const auto& [drive, directory] : tree.lastOnDrive)
        if (SameName(drive, root)) target = directory;
    if (target.empty() || GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // The drive's own current directory, or its root.
        target = NormalDirectory(root.substr(0, 2));
        if (!SameName(RootOf(target), root) || GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            target = root;
    }
    const std::wstring left = tree.directory;
    SetTreeDirectory(tree, target);
    auto known = std::find_if(tree.lastOnDrive.begin(), tree.lastOnDrive.end(),
                              [&](const auto& entry) { return SameName(entry.first, current); });
    if (known != tree.lastOnDrive.end())
        known->second = left;
    else
        tree.lastOnDrive.emplace_back(current, left);
}

void TMidiForm::ShowDriveOf(const Tree& tree) {
    const std::wstring root = RootOf(tree.directory);
    LRESULT index = -1;
    for (std::size_t i = 0; i < drives_.size(); ++i)
        if (SameName(drives_[i], root)) index = static_cast<LRESULT>(i);
    SendMessageW(tree.drives, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TMidiForm::EnterTreeEntry(Tree& tree) {
    const LRESULT index = SendMessageW(tree.list, LB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= tree.entries.size()) return;
    const std::wstring target = tree.entries[static_cast<std::size_t>(index)].first;
    // A folder removed or renamed since the tree was read; a drive's root that cannot be
    // entered is the drive's own report ("Drive Q: is not ready").
    if (!SameName(target, RootOf(target)) && !batch::FolderExists(std::filesystem::path(target))) {
        ErrorReport(batch::ApplicationTitle, batch::MissingFolderText(Narrow(target)));
        MoveToNearestFolder(tree, target);
        return;
    }
    RunHandler(*this, [&] { SetTreeDirectory(tree, target); });
}

void TMidiForm::SetFileDirectory(const std::wstring& directory) {
    if (!fileDirectory_.empty() && SameName(directory, fileDirectory_)) return;
    fileDirectory_ = directory;
    RereadFiles(false);
}

void TMidiForm::SetFileMask(const std::wstring& mask) {
    if (mask == fileMask_) return;
    fileMask_ = mask;
    RereadFiles(false);
}

void TMidiForm::RereadFiles(bool keepSelection) {
    std::set<std::wstring> selected;
    if (keepSelection) {
        for (int i = 0; i < FileCount(); ++i)
            if (FileSelected(i)) selected.insert(fileNames_[static_cast<std::size_t>(i)]);
    }
    fileNames_ = ListFiles(fileDirectory_, fileMask_);
    SendMessageW(fileList_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(fileList_, LB_RESETCONTENT, 0, 0);
    SendMessageW(fileList_, LB_INITSTORAGE, fileNames_.size(), fileNames_.size() * 32 * sizeof(wchar_t));
    for (std::size_t i = 0; i < fileNames_.size(); ++i) {
        SendMessageW(fileList_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fileNames_[i].c_str()));
        if (selected.count(fileNames_[i]) != 0) SendMessageW(fileList_, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
    }
    SendMessageW(fileList_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(fileList_, nullptr, TRUE);
}

void TMidiForm::OpenPaths(const std::vector<std::wstring>& paths) {
    const std::vector<std::filesystem::path> given(paths.begin(), paths.end());
    const batch::StartPlace place = batch::PlanStart(given, batch::FilterMasks(batch::MidiFileFilter));
    if (!place.missing.empty()) ErrorReport(batch::ApplicationTitle, batch::MissingPathsText(place.missing));
    if (place.directory.empty()) return;
    RunHandler(*this, [&] {
        // Through the controls, as a user would go: the window's handlers follow them.
        SetTreeDirectory(inputTree_, place.directory.wstring());
        if (place.filterIndex >= 0) {
            SendMessageW(filter_, CB_SETCURSEL, static_cast<WPARAM>(place.filterIndex), 0);
            FilterComboBox1Change();
        }
        SendMessageW(fileList_, LB_SETSEL, FALSE, -1);
        bool first = true;
        for (std::size_t i = 0; i < fileNames_.size(); ++i) {
            const bool given = std::any_of(place.selected.begin(), place.selected.end(),
                                           [&](const std::filesystem::path& name) {
                                               return SameName(name.wstring(), fileNames_[i]);
                                           });
            if (!given) continue;
            SendMessageW(fileList_, LB_SETSEL, TRUE, static_cast<LPARAM>(i));
            if (first) SendMessageW(fileList_, LB_SETCARETINDEX, i, FALSE);
            first = false;
        }
    });
}

void TMidiForm::FormCreate() {
    About1Click();
    // The texts of the result codes are constant, in the batch kinds' rows (batch_kind.cpp).
    const LRESULT current = SendMessageW(filter_, CB_GETCURSEL, 0, 0);
    if (current >= 0 && static_cast<std::size_t>(current) < filterEntries_.size())
        SetFileMask(filterEntries_[static_cast<std::size_t>(current)].second);
}

void TMidiForm::Button2Click() { StartBatch(BatchKind::Smf0); }

void TMidiForm::Button1Click() { StartBatch(BatchKind::Smf1); }

void TMidiForm::Button5Click() { StartBatch(BatchKind::Karaoke); }

void TMidiForm::Button4Click() { SendMessageW(fileList_, LB_SETSEL, TRUE, -1); }

void TMidiForm::Button3Click() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

void TMidiForm::PromptBetweenFiles1Click() { batch::ToggleOption(*this, BatchOption::PromptBetweenFiles); }

void TMidiForm::PromptBeforeOverwriting1Click() { batch::ToggleOption(*this, BatchOption::PromptBeforeOverwriting); }

void TMidiForm::ShowResultsInOneList1Click() { batch::ToggleOption(*this, BatchOption::ResultsInOneList); }

void TMidiForm::DriveComboBox1Change() {
    RunHandler(*this, [this] { MoveTreeToDrive(inputTree_); });
    // A drive that cannot be entered leaves the tree where it was; so is the selector.
    ShowDriveOf(inputTree_);
}

void TMidiForm::DirectoryListBox1Change() { SetFileDirectory(inputTree_.directory); }

void TMidiForm::DriveComboBox2Change() {
    RunHandler(*this, [this] { MoveTreeToDrive(outputTree_); });
    ShowDriveOf(outputTree_);
}

void TMidiForm::FilterComboBox1Change() {
    const LRESULT current = SendMessageW(filter_, CB_GETCURSEL, 0, 0);
    if (current >= 0 && static_cast<std::size_t>(current) < filterEntries_.size())
        SetFileMask(filterEntries_[static_cast<std::size_t>(current)].second);
}

void TMidiForm::About1Click() { batch::ShowAbout(*this); }

void TMidiForm::Refresh1Click() {
    if (BatchRunning()) return;
    ReadDrives();
    std::set<std::string> shown;
    for (Tree* tree : {&inputTree_, &outputTree_}) {
        if (!LeaveMissingFolder(*tree, shown))
            RunHandler(*this, [&] { SetTreeDirectory(*tree, tree->directory, true); });
    }
    RereadFiles(true);
}

void TMidiForm::NewFolder1Click() {
    if (BatchRunning()) return;
    std::set<std::string> shown;
    if (LeaveMissingFolder(outputTree_, shown)) return;
    const std::wstring parent = outputTree_.directory;
    std::wstring title = Widen(batch::NewFolderCaption);
    while (!title.empty() && title.back() == L'.') title.pop_back();
    const std::optional<std::wstring> name = AskFolderName(
        BoxOwner(), title, Widen(batch::FormatMessage(batch::NewFolderPrompt, {Narrow(parent)})),
        Widen(batch::NewFolderName));
    if (!name) return;
    const batch::NewFolder made = batch::MakeFolder(std::filesystem::path(parent), Narrow(*name));
    if (made.failure) {
        ErrorReport(batch::ApplicationTitle, *made.failure);
        return;
    }
    RunHandler(*this, [&] { SetTreeDirectory(outputTree_, made.made.native(), true); });
}

void TMidiForm::StartBatch(BatchKind kind) {
    if (BatchRunning()) return;  // one batch at a time
    progress_->Reset();
    reportedDuringBatch_.clear();
    session_.Start(batch::TakeSnapshot(*this, kind));
    progress_->SetProgress(session_.Progress());
    SetBatchControlsEnabled(false);
    SetTimer(hwnd_, ProgressDelayTimer, ProgressDelayMs, nullptr);
    SetTimer(hwnd_, ProgressRefreshTimer, ProgressRefreshMs, nullptr);
}

void TMidiForm::ServeBatch() {
    if (session_.CallPending()) {
        // A box of the batch hides the progress window, which would cover it; the window
        // comes back a delay after the box is closed, if the batch still runs.
        progress_->Hide();
        session_.Serve();
        if (BatchRunning()) SetTimer(hwnd_, ProgressDelayTimer, ProgressDelayMs, nullptr);
    } else {
        session_.Serve();
    }
    RefreshProgress();
}

void TMidiForm::BatchEnded() {
    KillTimer(hwnd_, ProgressDelayTimer);
    KillTimer(hwnd_, ProgressRefreshTimer);
    progress_->Hide();
    // A batch that wrote into the folder the file list shows: its new files are listed,
    // and the entries still there stay selected.
    if (SameName(Widen(session_.OutputDirectory()), fileDirectory_)) RereadFiles(true);
    SetBatchControlsEnabled(true);
    if (closeWhenDone_) {
        DestroyWindow(hwnd_);
        return;
    }
    PostMessageW(hwnd_, WM_QUORVEL_CHECK_FOLDERS, 0, 0);
}

void TMidiForm::RefreshProgress() {
    const batch::BatchProgress progress = session_.Progress();
    if (progress.finished || !BatchRunning()) {
        KillTimer(hwnd_, ProgressDelayTimer);
        KillTimer(hwnd_, ProgressRefreshTimer);
        progress_->Hide();
    } else if (IsWindowVisible(progress_->Handle())) {
        progress_->SetProgress(progress);
    }
}

void TMidiForm::SetBatchControlsEnabled(bool enabled) {
    const HWND focus = GetFocus();
    for (int id : BatchControls) {
        const HWND control = GetDlgItem(hwnd_, id);
        // A disabled control cannot keep the keyboard; the window takes it meanwhile.
        if (!enabled && control == focus) {
            lastFocus_ = control;
            SetFocus(hwnd_);
        }
        EnableWindow(control, enabled ? TRUE : FALSE);
        // Owner-drawn lists draw their enabled look only when painted again.
        InvalidateRect(control, nullptr, TRUE);
    }
    for (UINT menu : {0u, 1u})  // Options and View
        EnableMenuItem(GetMenu(hwnd_), menu, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(hwnd_);
    if (enabled && lastFocus_ != nullptr && GetActiveWindow() == hwnd_) SetFocus(lastFocus_);
}

HWND TMidiForm::BoxOwner() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_) ? hwnd_ : nullptr; }

int TMidiForm::ShowBox(std::string_view title, std::string_view text, UINT style) {
    return MessageBoxW(BoxOwner(), ForDisplay(text).c_str(), Widen(title).c_str(), style);
}

int TMidiForm::FileCount() const { return static_cast<int>(fileNames_.size()); }

std::string TMidiForm::FileEntry(int index) const {
    if (index < 0 || index >= FileCount()) return {};
    return Narrow(fileNames_[static_cast<std::size_t>(index)]);
}

std::filesystem::path TMidiForm::FileName(int index) const {
    if (index < 0 || index >= FileCount()) return {};
    return std::filesystem::path(fileNames_[static_cast<std::size_t>(index)]);
}

bool TMidiForm::FileSelected(int index) const {
    return index >= 0 && index < FileCount() && SendMessageW(fileList_, LB_GETSEL, static_cast<WPARAM>(index), 0) > 0;
}

void TMidiForm::SetFileSelected(int index, bool selected) {
    if (index >= 0 && index < FileCount()) SendMessageW(fileList_, LB_SETSEL, selected ? TRUE : FALSE, index);
}

std::string TMidiForm::FileDirectory() const { return Narrow(fileDirectory_); }

std::string TMidiForm::OutputDirectory() const { return Narrow(outputTree_.directory); }

bool TMidiForm::OptionChecked(BatchOption option) const {
    return (GetMenuState(options_, static_cast<UINT>(CommandId(option)), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TMidiForm::SetOptionChecked(BatchOption option, bool checked) {
    CheckMenuItem(options_, static_cast<UINT>(CommandId(option)), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    if (option == BatchOption::ResultsInOneList) StoreOption(settingsKey_, checked);
}

void TMidiForm::PlainMessage(std::string_view title, std::string_view text) { ShowBox(title, text, MB_OK); }

BoxAnswer TMidiForm::Confirm(std::string_view title, std::string_view text) {
    return ShowBox(title, text, MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1) == IDOK ? BoxAnswer::Ok
                                                                                       : BoxAnswer::Cancel;
}

void TMidiForm::InformationMessage(std::string_view title, std::string_view text) {
    ShowBox(title, text, MB_OK | MB_ICONINFORMATION);
}

void TMidiForm::ErrorReport(std::string_view title, std::string_view text) {
    progress_->Hide();
    if (BatchRunning()) reportedDuringBatch_.emplace(text);
    ShowBox(title, text, MB_OK | MB_ICONERROR);
}

batch::ReplaceAnswer TMidiForm::ConfirmReplace(std::string_view title, std::string_view text,
                                               std::string_view checkCaption) {
    progress_->Hide();
    return AskReplace(BoxOwner(), Widen(title), ForDisplay(text), Widen(checkCaption));
}

void TMidiForm::ShowResults(const batch::ResultsList& results) {
    progress_->Hide();
    ShowResultsWindow(BoxOwner(), results, font_, scale_);
}

}  // namespace quorvel::win32
