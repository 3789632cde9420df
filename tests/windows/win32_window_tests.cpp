// The native Windows window, driven as a user would under Wine: the real TMidiForm runs
// on a thread of its own with its message loop, and each test finds its controls by
// their identifiers, sets selections, clicks, and answers the message boxes itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.hpp"
#include "control_ids.hpp"
#include "file_controls.hpp"
#include "midi_form.hpp"
#include "quorvel/batch/messages.hpp"
#include "quorvel/batch/window_folders.hpp"
#include "smf_test_support.hpp"

#ifndef QUORVEL_WINDOW_PATH
#error "QUORVEL_WINDOW_PATH must name quorvel.exe"
#endif

namespace quorvel::win32 {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::Concat;
using testing::Header;
using testing::Hex;
using testing::Meta;
using testing::ReadFile;
using testing::TempDir;
using testing::Track;
using testing::WriteFile;

constexpr wchar_t TestSettingsKey[] = L"Software\\Quorvel\\WindowTests";
constexpr auto Patience = std::chrono::seconds(20);

// Format 1, two tracks: tempo, then one note on channel 1.
Bytes Format1() {
    return Concat({Header(1, 2, 96), Track(Concat({Meta(0, 0x51, {0x07, 0xA1, 0x20}), Meta(0, 0x2F, {})})),
                   Track(Concat({Hex("00 90 3C 40 60 80 3C 40"), Meta(0, 0x2F, {})}))});
}

Bytes Format0() {
    return Concat({Header(0, 1, 96), Track(Concat({Hex("00 90 3C 40 60 80 3C 40"), Meta(0, 0x2F, {})}))});
}

// Polls until ready() holds; false after Patience.
bool WaitFor(const std::function<bool()>& ready) {
    const auto end = std::chrono::steady_clock::now() + Patience;
    while (std::chrono::steady_clock::now() < end) {
        if (ready()) return true;
        Sleep(20);
    }
    return ready();
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring WithoutMnemonic(std::wstring text) {
    std::erase(text, L'&');
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

// A window below hwnd (at any depth) showing exactly this text, or null.
HWND ChildWithText(HWND hwnd, const std::wstring& text) {
    struct Search {
        const std::wstring* text;
        HWND found;
    } search{&text, nullptr};
    EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            if (IsWindowVisible(child) && TextOf(child) == *s->text) s->found = child;
            return s->found == nullptr ? TRUE : FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A folder as the window shows it.
std::string Shown(const fs::path& folder) { return Narrow(NormalDirectory(folder.native())); }

// A message box as the test sees it.
struct Box {
    HWND hwnd = nullptr;
    std::wstring text;
    HICON icon = nullptr;
    bool hasCancel = false;
};

// The real window on a thread of its own, started in a directory. The About box that its
// creation shows is answered here, so a test starts with the main window shown.
class RunningWindow {
public:
    explicit RunningWindow(const fs::path& directory, batch::EngineCalls& engine = batch::RealEngineCalls()) {
        SetCurrentDirectoryW(directory.c_str());
        thread_ = std::thread([this, &engine] {
            threadId_ = GetCurrentThreadId();
            try {
                TMidiForm form(engine, TestSettingsKey);
                form.Show(SW_SHOWNORMAL);
                main_ = form.Handle();
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                    if (form.TranslateDialogMessage(msg)) continue;
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
            }
            ended_ = true;
        });
        WaitFor([this] { return threadId_ != 0; });
    }

    ~RunningWindow() {
        // Whatever a failed test left open is answered, then the window is closed.
        for (int round = 0; round < 200 && !ended_; ++round) {
            for (HWND box : Boxes()) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            if (main_ != nullptr) PostMessageW(main_, WM_CLOSE, 0, 0);
            Sleep(50);
        }
        if (ended_)
            thread_.join();
        else
            thread_.detach();
    }

    // The About box of the start, answered; then the main window, once shown.
    HWND Start() {
        const Box about = ExpectBox(Widen(batch::InformationTitle));
        EXPECT_EQ(main_.load(), nullptr) << "the main window exists before the About box is closed";
        Answer(about, IDOK);
        EXPECT_TRUE(WaitFor([this] { return main_ != nullptr && IsWindowVisible(main_); }));
        return main_;
    }

    HWND Main() const { return main_; }
    HWND Control(int id) const { return GetDlgItem(main_, id); }
    bool Ended() const { return ended_; }

    // The visible top-level windows of the window's thread of one class.
    std::vector<HWND> Windows(const char* className) const {
        struct Search {
            const char* cls;
            std::vector<HWND> found;
        } search{className, {}};
        EnumThreadWindows(
            threadId_,
            [](HWND hwnd, LPARAM data) {
                auto* s = reinterpret_cast<Search*>(data);
                if (IsWindowVisible(hwnd) && ClassOf(hwnd) == s->cls) s->found.push_back(hwnd);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    std::vector<HWND> Boxes() const { return Windows("#32770"); }

    // The text of a path line, and its tool tip.
    std::string PathLine(int id) const { return Narrow(TextOf(Control(id))); }
    std::string PathTip(int id) const {
        struct Search {
            DWORD thread;
            HWND found;
        } search{threadId_, nullptr};
        EnumThreadWindows(
            threadId_,
            [](HWND hwnd, LPARAM data) {
                if (ClassOf(hwnd) == "tooltips_class32") reinterpret_cast<Search*>(data)->found = hwnd;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        wchar_t text[1024] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = main_;
        tool.uId = reinterpret_cast<UINT_PTR>(Control(id));
        tool.lpszText = text;
        SendMessageW(search.found, TTM_GETTEXTW, std::size(text), reinterpret_cast<LPARAM>(&tool));
        return Narrow(text);
    }

    // Opens a folder of a tree with a double click on its entry; false when not listed.
    bool Enter(int tree, const fs::path& folder) const {
        const auto entries = ListTexts(tree);
        const auto entry = std::find(entries.begin(), entries.end(), Shown(folder));
        if (entry == entries.end()) return false;
        SendMessageW(Control(tree), LB_SETCURSEL, static_cast<WPARAM>(entry - entries.begin()), 0);
        Handle(tree, LBN_DBLCLK);
        return true;
    }

    // Waits for the message box with this title and reads it.
    Box ExpectBox(const std::wstring& title) const {
        Box box;
        const bool shown = WaitFor([&] {
            for (HWND hwnd : Boxes())
                if (TextOf(hwnd) == title) box.hwnd = hwnd;
            return box.hwnd != nullptr;
        });
        EXPECT_TRUE(shown) << "no box titled " << Narrow(title);
        if (!shown) return box;
        box.text = TextOf(GetDlgItem(box.hwnd, 0xFFFF));
        const HWND cancel = GetDlgItem(box.hwnd, IDCANCEL);
        box.hasCancel = cancel != nullptr && IsWindowVisible(cancel);
        for (HWND child = GetWindow(box.hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (ClassOf(child) == "Static" && IsWindowVisible(child) &&
                (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                box.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        }
        return box;
    }

    // Presses a box's button and waits until the box is gone.
    static void Answer(const Box& box, int button) {
        PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, button)));
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box.hwnd); }));
    }

    // A plain box with this text, answered with OK.
    void ExpectPlain(const std::string& text) const {
        const Box box = ExpectBox(Widen(batch::ApplicationTitle));
        EXPECT_EQ(Narrow(box.text), text);
        EXPECT_EQ(box.icon, nullptr);
        EXPECT_FALSE(box.hasCancel);
        Answer(box, IDOK);
    }

    // A click on a button or menu item, or a control's notification, that may show a box:
    // posted, so the test goes on while the box waits for it.
    void Click(int id) const { Notify(id, BN_CLICKED); }
    void Notify(int id, int code) const {
        PostMessageW(main_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(id)));
    }
    // The same for one that shows no box: returns once the window has handled it.
    void Handle(int id, int code = BN_CLICKED) const {
        SendMessageW(main_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(id)));
    }
    // Returns once the window's thread is back in its message loop (a box's handler
    // has finished).
    void Settle() const { SendMessageW(main_, WM_NULL, 0, 0); }
    void WaitForBatchEnd() const {
        EXPECT_TRUE(WaitFor([this] { return IsWindowEnabled(Control(Button2)) != FALSE; }));
    }

    std::vector<std::string> ListTexts(int id) const {
        const HWND list = Control(id);
        std::vector<std::string> texts;
        const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i,
                                                              reinterpret_cast<LPARAM>(text.data()))));
            texts.push_back(Narrow(text));
        }
        return texts;
    }
    std::string ComboText(int id) const {
        const HWND combo = Control(id);
        const LRESULT current = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (current < 0) return {};
        std::wstring text(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, current, 0)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXT, current,
                                                          reinterpret_cast<LPARAM>(text.data()))));
        return Narrow(text);
    }
    bool Checked(int command) const {
        return (GetMenuState(GetSubMenu(GetMenu(main_), 0), command, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }

private:
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> main_{nullptr};
    std::atomic<bool> ended_{false};
};

// The entries of a list box that are selected, in list order; also the list of another
// process (the system carries LB_GETTEXT across).
std::vector<std::string> SelectedTexts(HWND list) {
    std::vector<std::string> texts;
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        if (SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) continue;
        std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        texts.push_back(Narrow(text));
    }
    return texts;
}

// A drop handle as Explorer hands one over: DROPFILES, then the paths, each ended by a
// null, and one more null. The window frees it (DragFinish).
HDROP MakeDrop(const std::vector<fs::path>& paths) {
    std::wstring list;
    for (const fs::path& path : paths) {
        list += path.wstring();
        list += L'\0';
    }
    list += L'\0';
    const std::size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// A folder with two format-1 files, a format-0 file, a karaoke file and a subfolder.
struct Songs {
    TempDir dir;
    Songs() {
        WriteFile(dir / "a.mid", Format1());
        WriteFile(dir / "b.mid", Format0());
        WriteFile(dir / "c.mid", Format1());
        WriteFile(dir / "k.kar", Format0());
        fs::create_directory(dir / "out");
    }
};

TEST(Win32Window, ShowsTheAboutBoxFirstThenTheMainWindowCentredWithItsControls) {
    Songs songs;
    RunningWindow window(songs.dir.Path());
    const Box about = window.ExpectBox(L"Information");
    std::wstring expected;  // each carriage return shown as a line break
    for (const wchar_t c : Widen(batch::AboutText()))
        expected += c == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, c);
    EXPECT_EQ(about.text, expected);
    EXPECT_EQ(about.icon, LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_FALSE(about.hasCancel);
    EXPECT_EQ(window.Main(), nullptr);
    RunningWindow::Answer(about, IDOK);
    ASSERT_TRUE(WaitFor([&] { return window.Main() != nullptr && IsWindowVisible(window.Main()); }));
    const HWND main = window.Main();

    EXPECT_EQ(TextOf(main), L"Quorvel");
    EXPECT_EQ(ClassOf(main), "TMidiForm");
    RECT frame{};
    GetWindowRect(main, &frame);
    MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTOPRIMARY), &monitor);
    EXPECT_LE(std::abs((frame.left + frame.right) - (monitor.rcWork.left + monitor.rcWork.right)), 2);
    EXPECT_LE(std::abs((frame.top + frame.bottom) - (monitor.rcWork.top + monitor.rcWork.bottom)), 2);

    const std::pair<int, const wchar_t*> captions[] = {
        {GroupBox1, L"Input File(s)"},
        {GroupBox2, L"Output Directory"},
        {Button2, L"Convert to SMF 0 (.MID)"},
        {Button1, L"Convert to SMF 1 (.MID)"},
        {Button5, L"Convert to Karaoke  (.KAR)"},
        {Button3, L"Exit"},
        {Button4, L"Select all"},
    };
    for (const auto& [id, caption] : captions) EXPECT_EQ(WithoutMnemonic(TextOf(window.Control(id))), caption) << id;
    // The group boxes side by side, the input on the left.
    RECT input{}, output{};
    GetWindowRect(window.Control(GroupBox1), &input);
    GetWindowRect(window.Control(GroupBox2), &output);
    EXPECT_LT(input.right, output.left);
    EXPECT_EQ(input.top, output.top);

    // Under each tree the full path of its folder, also as the line's tool tip.
    for (const int line : {InputPath, OutputPath}) {
        EXPECT_EQ(window.PathLine(line), Shown(songs.dir.Path())) << line;
        EXPECT_EQ(window.PathTip(line), Shown(songs.dir.Path())) << line;
    }

    EXPECT_EQ(window.ComboText(FilterComboBox1), "Midi Files (*.mid)");
    EXPECT_EQ(window.ListTexts(FileListBox1), (std::vector<std::string>{"a.mid", "b.mid", "c.mid"}));
    EXPECT_FALSE(window.Checked(PromptBetweenFiles1));
    EXPECT_TRUE(window.Checked(PromptBeforeOverwriting1));
    const HMENU bar = GetMenu(main);
    wchar_t text[64];
    GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_EQ(WithoutMnemonic(text), L"Options");
    GetMenuStringW(bar, 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(WithoutMnemonic(text), L"View");
    GetMenuStringW(bar, 2, text, 64, MF_BYPOSITION);
    EXPECT_EQ(WithoutMnemonic(text), L"Help");
    const HMENU view = GetSubMenu(bar, 1);
    GetMenuStringW(view, Refresh1, text, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(text), L"&Refresh\tF5");

    window.Click(Button3);
    EXPECT_TRUE(WaitFor([&] { return window.Ended(); }));
}

TEST(Win32Window, SelectAllThenSmf0WritesWhatTheCommandLineWritesIntoAnEmptyFolder) {
    Songs songs;
    RunningWindow window(songs.dir.Path());
    window.Start();
    // The output tree enters "out" on a double click.
    const auto entries = window.ListTexts(DirectoryListBox2);
    const auto out = std::find(entries.begin(), entries.end(), Narrow((songs.dir / "out").native()));
    ASSERT_NE(out, entries.end());
    SendMessageW(window.Control(DirectoryListBox2), LB_SETCURSEL, static_cast<WPARAM>(out - entries.begin()), 0);
    window.Handle(DirectoryListBox2, LBN_DBLCLK);
    EXPECT_EQ(window.ListTexts(DirectoryListBox2).back(), Narrow((songs.dir / "out").native()));

    window.Handle(Button4);
    for (int i = 0; i < 3; ++i) EXPECT_GT(SendMessageW(window.Control(FileListBox1), LB_GETSEL, i, 0), 0) << i;
    window.Click(Button2);
    window.ExpectPlain("b.mid - Not a Type 1 Midifile");
    window.ExpectPlain("Conversion Complete\r\n2 converted, 1 refused, 0 failed");
    window.WaitForBatchEnd();

    TempDir cliOut;
    const testing::CliRun cli = testing::RunCli(
        {"smf0", "-f", "-o", Narrow(cliOut.Path().native()), "a.mid", "b.mid", "c.mid"}, songs.dir.Path());
    EXPECT_EQ(cli.status, 1) << cli.out << cli.err;
    const fs::path written = songs.dir / "out";
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(written)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, cliOut.Entries());
    for (const std::string& name : cliOut.Entries())
        EXPECT_EQ(ReadFile(written / name), ReadFile(cliOut / name)) << name;
}

TEST(Win32Window, TheReplacementQuestionAsksForEachFileUntilItsCheckBoxHoldsTheAnswer) {
    Songs songs;
    const fs::path out = songs.dir / "out";
    RunningWindow window(songs.dir.Path());
    window.Start();
    ASSERT_TRUE(window.Enter(DirectoryListBox2, out));
    EXPECT_EQ(window.PathLine(OutputPath), Shown(out));
    struct Answer {
        int button;
        bool sameForRemaining;
    };
    const struct {
        std::vector<Answer> answers;  // to the questions for a.mid, then c.mid
        bool aReplaced, cReplaced;
    } rounds[] = {
        {{{IDOK, false}, {IDCANCEL, false}}, true, false}, {{{IDOK, true}}, true, true},  // no question for c.mid
    };
    for (const auto& round : rounds) {
        // Earlier outputs of a.mid and c.mid: format 1, where the conversions give format 0.
        WriteFile(out / "a.mid", Format1());
        WriteFile(out / "c.mid", Format1());
        SendMessageW(window.Control(FileListBox1), LB_SETSEL, FALSE, -1);
        SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 0);
        SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 2);
        window.Click(Button2);
        const char* const names[] = {"a.mid", "c.mid"};
        for (std::size_t i = 0; i < round.answers.size(); ++i) {
            const Box question = window.ExpectBox(Widen(batch::ConfirmTitle));
            ASSERT_NE(question.hwnd, nullptr);
            EXPECT_NE(ChildWithText(question.hwnd, Widen(std::string(names[i]) + " - Replace existing file?")),
                      nullptr);
            EXPECT_NE(ChildWithText(question.hwnd, Widen(batch::SameForRemainingCaption)), nullptr);
            EXPECT_EQ(question.icon, LoadIconW(nullptr, IDI_QUESTION));
            if (round.answers[i].sameForRemaining) SendMessageW(question.hwnd, TDM_CLICK_VERIFICATION, TRUE, FALSE);
            PostMessageW(question.hwnd, TDM_CLICK_BUTTON, static_cast<WPARAM>(round.answers[i].button), 0);
            EXPECT_TRUE(WaitFor([&] { return !IsWindow(question.hwnd); }));
        }
        // The next box is the final one: no question is left.
        const Box done = window.ExpectBox(Widen(batch::ApplicationTitle));
        EXPECT_TRUE(Narrow(done.text).starts_with("Conversion Complete")) << Narrow(done.text);
        RunningWindow::Answer(done, IDOK);
        window.WaitForBatchEnd();
        for (const auto& [name, replaced] :
             {std::pair{"a.mid", round.aReplaced}, std::pair{"c.mid", round.cReplaced}}) {
            const Bytes written = ReadFile(out / name);
            ASSERT_GT(written.size(), 9u) << name;
            EXPECT_EQ(written[9] == 0, replaced) << name;
        }
    }
}

TEST(Win32Window, TheFilterSwitchesTheFileList) {
    Songs songs;
    RunningWindow window(songs.dir.Path());
    window.Start();
    const struct {
        int entry;
        std::vector<std::string> files;
    } rows[] = {{1, {"k.kar"}}, {0, {"a.mid", "b.mid", "c.mid"}}};
    for (const auto& row : rows) {
        SendMessageW(window.Control(FilterComboBox1), CB_SETCURSEL, row.entry, 0);
        window.Handle(FilterComboBox1, CBN_SELCHANGE);
        EXPECT_EQ(window.ListTexts(FileListBox1), row.files) << row.entry;
    }
}

TEST(Win32Window, OptionTogglesChangeOnlyTheirOwnCheckMarkAndTheBatch) {
    RegDeleteKeyW(HKEY_CURRENT_USER, TestSettingsKey);
    Songs songs;
    RunningWindow window(songs.dir.Path());
    window.Start();
    EXPECT_FALSE(window.Checked(ShowResultsInOneList1));
    for (const int item : {PromptBetweenFiles1, PromptBeforeOverwriting1}) {
        const bool was = window.Checked(item);
        window.Handle(item);
        EXPECT_NE(window.Checked(item), was) << item;
    }
    // Prompt After Each File on, no question before replacing a.mid with its own output.
    SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 0);
    window.Click(Button2);
    window.ExpectPlain("a.mid converted to type 0");
    window.ExpectPlain("Conversion Complete");
    window.WaitForBatchEnd();

    // Results in one list: no box, the results window with every line; remembered.
    window.Handle(ShowResultsInOneList1);
    EXPECT_TRUE(window.Checked(ShowResultsInOneList1));
    DWORD stored = 0, size = sizeof stored;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, TestSettingsKey, L"ShowResultsInOneList", RRF_RT_REG_DWORD, nullptr,
                           &stored, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(stored, 1u);
    SendMessageW(window.Control(FileListBox1), LB_SETSEL, FALSE, -1);
    SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 1);
    SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 2);
    window.Click(Button1);
    HWND results = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        const auto found = window.Windows("TResultsWindow");
        results = found.empty() ? nullptr : found.front();
        return results != nullptr;
    }));
    EXPECT_EQ(TextOf(GetDlgItem(results, ResultsText)),
              L"b.mid converted to type 1\r\nc.mid - Not a Type 0 Midifile\r\nOperation Complete");
    EXPECT_EQ(TextOf(GetDlgItem(results, ResultsCounts)), L"1 converted, 1 refused, 0 failed");
    EXPECT_TRUE(window.Boxes().empty());
    PostMessageW(results, WM_COMMAND, CloseButton, 0);
    window.WaitForBatchEnd();
    RegDeleteKeyW(HKEY_CURRENT_USER, TestSettingsKey);
}

// Each conversion takes a while, so that a batch shows its progress window.
class SlowEngine final : public batch::EngineCalls {
public:
    int ConvertToType0(const fs::path& in, const fs::path& out) override {
        Sleep(400);
        return batch::RealEngineCalls().ConvertToType0(in, out);
    }
    int ConvertToType1(const fs::path& in, const fs::path& out) override {
        Sleep(400);
        return batch::RealEngineCalls().ConvertToType1(in, out);
    }
    std::optional<std::string> CopyFileFailIfExists(const fs::path& in, const fs::path& out) override {
        return batch::RealEngineCalls().CopyFileFailIfExists(in, out);
    }
    std::optional<std::string> CopyFileReplacing(const fs::path& in, const fs::path& out) override {
        return batch::RealEngineCalls().CopyFileReplacing(in, out);
    }
};

TEST(Win32Window, StopInTheProgressWindowEndsALongBatchBetweenFiles) {
    TempDir dir;
    for (char name = 'a'; name < 'a' + 12; ++name) WriteFile(dir / (std::string(1, name) + ".mid"), Format1());
    fs::create_directory(dir / "out");
    SlowEngine engine;
    RunningWindow window(dir.Path(), engine);
    window.Start();
    window.Click(PromptBeforeOverwriting1);  // the outputs replace the inputs, unasked
    window.Click(Button4);
    window.Click(Button2);
    HWND progress = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        const auto found = window.Windows("TProgressWindow");
        progress = found.empty() ? nullptr : found.front();
        return progress != nullptr;
    }));
    EXPECT_FALSE(IsWindowEnabled(window.Control(Button1)));
    EXPECT_EQ(TextOf(GetDlgItem(progress, StopButton)), L"Stop");
    PostMessageW(progress, WM_COMMAND, StopButton, 0);
    const Box stopped = window.ExpectBox(L"Quorvel");
    const std::string text = Narrow(stopped.text);
    const std::string firstLine = text.substr(0, text.find('\r'));
    EXPECT_TRUE(firstLine.starts_with("Stopped after ") && firstLine.ends_with(" of 12 files")) << text;
    EXPECT_FALSE(IsWindowVisible(progress));
    RunningWindow::Answer(stopped, IDOK);
    window.WaitForBatchEnd();
}

TEST(Win32Window, ADriveThatIsNotReadyIsReportedAndTheTreeStaysWhereItWas) {
    Songs songs;
    RunningWindow window(songs.dir.Path());
    window.Start();
    const HWND drives = window.Control(DriveComboBox1);
    LRESULT missing = -1;
    const LRESULT count = SendMessageW(drives, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[MAX_PATH + 8] = {};
        if (SendMessageW(drives, CB_GETLBTEXTLEN, i, 0) < MAX_PATH)
            SendMessageW(drives, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        if (std::wstring_view(text).starts_with(L"q:")) missing = i;
    }
    ASSERT_GE(missing, 0) << "drive Q: is not listed: run-window-tests points it at a missing folder";
    const std::string driveBefore = window.ComboText(DriveComboBox1);
    const auto treeBefore = window.ListTexts(DirectoryListBox1);
    const auto filesBefore = window.ListTexts(FileListBox1);

    // The arrow keys in the closed selector move its selection only (with these
    // notifications); Enter takes the drive.
    SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(missing), 0);
    for (const int arrowNotification : {CBN_SELENDOK, CBN_SELCHANGE}) {
        window.Handle(DriveComboBox1, arrowNotification);
        EXPECT_TRUE(window.Boxes().empty()) << arrowNotification;
        EXPECT_EQ(window.ListTexts(DirectoryListBox1), treeBefore) << arrowNotification;
    }
    PostMessageW(drives, WM_KEYDOWN, VK_RETURN, 1);
    const Box error = window.ExpectBox(L"Quorvel");
    EXPECT_EQ(error.text, L"Drive Q: is not ready.");
    EXPECT_EQ(error.icon, LoadIconW(nullptr, IDI_ERROR));
    RunningWindow::Answer(error, IDOK);
    window.Settle();
    EXPECT_EQ(window.ComboText(DriveComboBox1), driveBefore);
    EXPECT_EQ(window.ListTexts(DirectoryListBox1), treeBefore);
    EXPECT_EQ(window.ListTexts(FileListBox1), filesBefore);
}

TEST(Win32Window, RefreshListsWhatWasMadeSinceAndKeepsTheSelection) {
    Songs songs;
    RunningWindow window(songs.dir.Path());
    window.Start();
    SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 1);  // b.mid
    WriteFile(songs.dir / "d.mid", Format0());
    fs::create_directory(songs.dir / "later");
    // F5 as it comes from the keyboard, through the window's message loop.
    PostMessageW(window.Control(FileListBox1), WM_KEYDOWN, VK_F5, 1);
    const std::vector<std::string> files{"a.mid", "b.mid", "c.mid", "d.mid"};
    EXPECT_TRUE(WaitFor([&] { return window.ListTexts(FileListBox1) == files; }));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(SendMessageW(window.Control(FileListBox1), LB_GETSEL, i, 0) > 0, i == 1) << files[i];
    for (const int tree : {DirectoryListBox1, DirectoryListBox2}) {
        const auto entries = window.ListTexts(tree);
        EXPECT_NE(std::find(entries.begin(), entries.end(), Shown(songs.dir / "later")), entries.end()) << tree;
    }
}

TEST(Win32Window, NewFolderMakesAndOpensTheFolderOrReportsWhyNot) {
    Songs songs;
    const fs::path out = songs.dir / "out";
    RunningWindow window(songs.dir.Path());
    window.Start();
    ASSERT_TRUE(window.Enter(DirectoryListBox2, out));
    const struct {
        const char* typed;
        const char* failure;  // the start of the error report, or null when made
    } rows[] = {
        {"a/b", "Cannot make the folder \"a/b\""},
        {"bad:name", "Cannot make the folder \"bad:name\""},
        {"Songs", nullptr},
    };
    for (const auto& row : rows) {
        window.Click(NewFolder1);
        const Box ask = window.ExpectBox(L"New Folder");
        ASSERT_NE(ask.hwnd, nullptr) << row.typed;
        EXPECT_EQ(Narrow(TextOf(GetDlgItem(ask.hwnd, NewFolderPromptText))),
                  "Name of the new folder in " + Shown(out) + ":");
        const HWND name = GetDlgItem(ask.hwnd, NewFolderNameEdit);
        EXPECT_EQ(TextOf(name), L"New Folder");
        SetWindowTextW(name, Widen(row.typed).c_str());
        RunningWindow::Answer(ask, IDOK);
        if (row.failure != nullptr) {
            const Box error = window.ExpectBox(Widen(batch::ApplicationTitle));
            EXPECT_TRUE(Narrow(error.text).starts_with(row.failure)) << Narrow(error.text);
            EXPECT_EQ(error.icon, LoadIconW(nullptr, IDI_ERROR));
            RunningWindow::Answer(error, IDOK);
            window.Settle();
            EXPECT_EQ(window.PathLine(OutputPath), Shown(out)) << row.typed;
            EXPECT_TRUE(fs::is_empty(out)) << row.typed;
        } else {
            EXPECT_TRUE(WaitFor([&] { return window.PathLine(OutputPath) == Shown(out / row.typed); }));
            EXPECT_TRUE(fs::is_directory(out / row.typed));
        }
    }
}

TEST(Win32Window, AFolderRemovedMeanwhileIsReportedOnceAndTheTreeMovesUp) {
    Songs songs;
    const fs::path out = songs.dir / "out", deep = out / "deep";
    RunningWindow window(songs.dir.Path());
    window.Start();
    enum class Then { Refresh, EnterIt, Batch };
    for (const Then then : {Then::Refresh, Then::EnterIt, Then::Batch}) {
        fs::create_directories(deep);
        window.Handle(Refresh1);  // the tree was read while out was gone
        ASSERT_TRUE(window.Enter(DirectoryListBox2, out));
        ASSERT_TRUE(window.Enter(DirectoryListBox2, deep));
        ASSERT_EQ(window.PathLine(OutputPath), Shown(deep));
        fs::remove_all(out);
        switch (then) {
        case Then::Refresh: window.Click(Refresh1); break;
        case Then::EnterIt: window.Notify(DirectoryListBox2, LBN_DBLCLK); break;  // deep is selected
        case Then::Batch:
            SendMessageW(window.Control(FileListBox1), LB_SETSEL, TRUE, 0);
            window.Click(Button2);
            break;
        }
        const Box missing = window.ExpectBox(Widen(batch::ApplicationTitle));
        EXPECT_EQ(Narrow(missing.text), batch::MissingFolderText(Shown(deep))) << static_cast<int>(then);
        EXPECT_EQ(missing.icon, LoadIconW(nullptr, IDI_ERROR));
        RunningWindow::Answer(missing, IDOK);
        window.WaitForBatchEnd();
        EXPECT_TRUE(WaitFor([&] { return window.PathLine(OutputPath) == Shown(songs.dir.Path()); }))
            << static_cast<int>(then) << " " << window.PathLine(OutputPath);
        window.Settle();
        EXPECT_TRUE(window.Boxes().empty()) << static_cast<int>(then);
        EXPECT_EQ(window.PathLine(InputPath), Shown(songs.dir.Path()));
    }
}

// quorvel.exe itself: the About box, the main window, and exit code 0 after its close box.
// Files and folders dropped on the window are taken as given ones: the folder of the
// first, the filter of its type, the dropped files of that folder selected. A drop
// while a batch runs changes nothing.
TEST(Win32Window, DroppedFilesAreTakenAsGivenOnesButNotWhileABatchRuns) {
    Songs songs;
    TempDir other;
    WriteFile(other / "x.kar", Format1());
    WriteFile(other / "y.mid", Format1());
    WriteFile(other / "z.kar", Format1());
    SlowEngine engine;
    RunningWindow window(songs.dir.Path(), engine);
    window.Start();
    SendMessageW(window.Main(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(MakeDrop({other / "z.kar", other / "y.mid", other / "x.kar"})), 0);
    EXPECT_EQ(window.PathLine(InputPath), Shown(other.Path()));
    EXPECT_EQ(window.ComboText(FilterComboBox1), "Karaoke Files (*.kar)");
    EXPECT_EQ(SelectedTexts(window.Control(FileListBox1)), (std::vector<std::string>{"x.kar", "z.kar"}));

    window.Click(Button2);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowEnabled(window.Control(Button2)); }));
    SendMessageW(window.Main(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({songs.dir / "a.mid"})), 0);
    EXPECT_EQ(window.PathLine(InputPath), Shown(other.Path())) << "a drop during a batch is refused";
    EXPECT_EQ(SelectedTexts(window.Control(FileListBox1)), (std::vector<std::string>{"x.kar", "z.kar"}));
    const Box done = window.ExpectBox(Widen(batch::ApplicationTitle));
    RunningWindow::Answer(done, IDOK);
    window.WaitForBatchEnd();
}

// quorvel.exe given files, as "Open with", the Start menu shortcut and a drop on the
// program's icon pass them: the About box first, then the window in their folder with
// them selected. QUORVEL_WINDOW_EXE names another quorvel.exe to start (an installed
// one), and QUORVEL_OPEN_COMMAND a registered command line whose %1 stands for the file.
TEST(Win32Program, OpensTheFilesItIsGiven) {
    TempDir dir, elsewhere;
    for (const char* name : {"a.mid", "b.mid", "c.mid"}) WriteFile(dir / name, Format1());
    const wchar_t* exe = _wgetenv(L"QUORVEL_WINDOW_EXE");
    const std::wstring program = exe != nullptr && *exe != L'\0' ? exe : Widen(QUORVEL_WINDOW_PATH);
    struct Start {
        std::wstring command;
        std::vector<std::string> selected;
    };
    std::vector<Start> starts = {
        {L"\"" + program + L"\" \"" + (dir / "c.mid").wstring() + L"\" \"" + (dir / "b.mid").wstring() + L"\"",
         {"b.mid", "c.mid"}}};
    if (const wchar_t* registered = _wgetenv(L"QUORVEL_OPEN_COMMAND"); registered != nullptr && *registered != L'\0') {
        std::wstring command = registered;
        const std::size_t at = command.find(L"%1");
        ASSERT_NE(at, std::wstring::npos) << Narrow(command);
        command.replace(at, 2, (dir / "a.mid").wstring());
        starts.push_back({command, {"a.mid"}});
    }
    for (Start& start : starts) {
        SCOPED_TRACE(Narrow(start.command));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(nullptr, start.command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   elsewhere.Path().c_str(), &startup, &process));
        const auto find = [&](const wchar_t* cls, const wchar_t* title) {
            HWND found = nullptr;
            WaitFor([&] {
                for (HWND hwnd = FindWindowExW(nullptr, nullptr, cls, title); hwnd != nullptr;
                     hwnd = FindWindowExW(nullptr, hwnd, cls, title)) {
                    DWORD pid = 0;
                    GetWindowThreadProcessId(hwnd, &pid);
                    if (pid == process.dwProcessId && IsWindowVisible(hwnd)) found = hwnd;
                }
                return found != nullptr;
            });
            return found;
        };
        const HWND about = find(L"#32770", L"Information");
        ASSERT_NE(about, nullptr);
        PostMessageW(about, WM_COMMAND, IDOK, 0);
        const HWND main = find(MainWindowClass, L"Quorvel");
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(Narrow(TextOf(GetDlgItem(main, InputPath))), Shown(dir.Path()));
        EXPECT_EQ(SelectedTexts(GetDlgItem(main, FileListBox1)), start.selected);
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

TEST(Win32Program, StartsWithTheAboutBoxAndEndsWithExitCodeZero) {
    TempDir dir;
    std::wstring command = L"\"" + Widen(QUORVEL_WINDOW_PATH) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.Path().c_str(),
                               &startup, &process));
    const auto findNow = [&](const wchar_t* cls, const wchar_t* title) {
        HWND found = nullptr;
        for (HWND hwnd = FindWindowExW(nullptr, nullptr, cls, title); hwnd != nullptr;
             hwnd = FindWindowExW(nullptr, hwnd, cls, title)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == process.dwProcessId && IsWindowVisible(hwnd)) found = hwnd;
        }
        return found;
    };
    const auto find = [&](const wchar_t* cls, const wchar_t* title) {
        HWND found = nullptr;
        WaitFor([&] { return (found = findNow(cls, title)) != nullptr; });
        return found;
    };
    const HWND about = find(L"#32770", L"Information");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(findNow(MainWindowClass, L"Quorvel"), nullptr) << "the main window shows before the About box is closed";
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    const HWND main = find(MainWindowClass, L"Quorvel");
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace quorvel::win32
