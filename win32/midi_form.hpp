#pragma once

#include <windows.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "quorvel/batch/batch_driver.hpp"
#include "quorvel/batch/batch_run.hpp"
#include "quorvel/batch/batch_session.hpp"
#include "quorvel/batch/engine_calls.hpp"

namespace quorvel::win32 {

class ProgressWindow;

// Delay before a running batch shows its progress window, and the interval at which the
// window then follows the batch, in milliseconds.
inline constexpr UINT ProgressDelayMs = 1000;
inline constexpr UINT ProgressRefreshMs = 100;

// Where "Show Results in One List" is kept: a DWORD value under this key of
// HKEY_CURRENT_USER.
inline constexpr wchar_t SettingsKey[] = L"Software\\Quorvel\\Quorvel";

// The main window MidiForm, a native Win32 window of class TMidiForm: the system's own
// combo boxes, list boxes, buttons, menus and message boxes, laid out at the window's DPI
// with the system's message font. It answers the batch driver's questions; the batches
// run in a batch::BatchSession on threads of their own, and the boxes they ask for are
// shown on the window's thread while they wait. While a batch runs the controls and the
// Options and View menus are disabled, and after a second a progress window with "Stop"
// appears. Under each folder tree a line shows the full path of the folder the batch will
// use; a tree whose folder is gone (removed or renamed meanwhile) says so once and moves
// to the nearest folder above it that is still there.
// Every window it makes belongs to the thread that constructs it, which must run a
// message loop that passes each message through TranslateDialogMessage first.
class TMidiForm final : public batch::BatchWindow {
public:
    // Creates the window hidden, in the current directory, and runs FormCreate (the
    // About box, modal, before it returns). engine must outlive the window and be safe
    // to call from the batch's threads; settingsKey is the registry key (under
    // HKEY_CURRENT_USER) of the remembered option; jobs the conversions at once.
    explicit TMidiForm(batch::EngineCalls& engine = batch::RealEngineCalls(), const wchar_t* settingsKey = SettingsKey,
                       unsigned jobs = batch::AutoJobs);
    // A running batch is asked to stop and waited for; the boxes it still asks for are
    // answered at once (Cancel for the replacement question).
    ~TMidiForm() override;
    TMidiForm(const TMidiForm&) = delete;
    TMidiForm& operator=(const TMidiForm&) = delete;

    HWND Handle() const noexcept { return hwnd_; }
    // Shows the window centred on its monitor's work area.
    void Show(int showCommand);
    // Keyboard handling of the window and its progress window (Tab, mnemonics, Enter, F5
    // for Refresh); true when msg was used and must not be dispatched.
    bool TranslateDialogMessage(MSG& msg);
    // True from a batch's click until its last box or results list is closed.
    bool BatchRunning() const noexcept { return session_.Running(); }
    // Moves the input side to the place for paths (files or folders, as the command line
    // or a drop gives them; batch::PlanStart): the folder of the first file, the filter of
    // its type, the given files of that folder selected. Paths that name nothing are
    // reported in one error box and the others still taken.
    void OpenPaths(const std::vector<std::wstring>& paths);

    // BatchWindow
    int FileCount() const override;
    std::string FileEntry(int index) const override;
    std::filesystem::path FileName(int index) const override;
    bool FileSelected(int index) const override;
    void SetFileSelected(int index, bool selected) override;
    std::string FileDirectory() const override;
    std::string OutputDirectory() const override;
    bool OptionChecked(batch::BatchOption option) const override;
    void SetOptionChecked(batch::BatchOption option, bool checked) override;
    void PlainMessage(std::string_view title, std::string_view text) override;
    batch::BoxAnswer Confirm(std::string_view title, std::string_view text) override;
    void InformationMessage(std::string_view title, std::string_view text) override;
    void ErrorReport(std::string_view title, std::string_view text) override;
    batch::ReplaceAnswer ConfirmReplace(std::string_view title, std::string_view text,
                                        std::string_view checkCaption) override;
    void ShowResults(const batch::ResultsList& results) override;

    // Handlers, named after the components that raise them.
    void FormCreate();
    void Button2Click();
    void Button1Click();
    void Button5Click();
    void Button4Click();
    void Button3Click();
    void PromptBetweenFiles1Click();
    void PromptBeforeOverwriting1Click();
    void ShowResultsInOneList1Click();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void DriveComboBox2Change();
    void FilterComboBox1Change();
    void About1Click();
    // View > Refresh (F5): both trees and the file list read again; selected files that
    // are still there stay selected.
    void Refresh1Click();
    // View > New Folder... (also in the output tree's context menu): asks for a name, makes
    // the folder in the output tree's folder and opens it there.
    void NewFolder1Click();

private:
    // One directory tree: the chain from the root to its directory, then the directory's
    // subfolders, in an owner-drawn list box.
    struct Tree {
        HWND list = nullptr;
        HWND drives = nullptr;
        std::wstring directory;
        std::vector<std::pair<std::wstring, int>> entries;               // path and indent level
        std::vector<std::pair<std::wstring, std::wstring>> lastOnDrive;  // root, directory
        HWND path = nullptr;      // the line under the tree with the directory's full path
        bool listOpen = false;    // the drive selector's list is dropped down
        bool listCancel = false;  // and was closed without a choice
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(int id, int code);
    void CreateControls();
    void CreateMenuBar();
    void ApplyDpi(UINT dpi);
    void Layout();
    SIZE FrameSize() const;  // the outer size of the window for the layout at its DPI
    void DrawTreeItem(const DRAWITEMSTRUCT& item);
    void ShowTreeMenu(LPARAM where);

    // Throws as CheckDirectory. The same directory is read again only when reread is set.
    void SetTreeDirectory(Tree& tree, const std::wstring& directory, bool reread = false);
    void DriveNotification(Tree& tree, int code);
    void ChooseDrive(Tree& tree);
    void MoveTreeToDrive(Tree& tree);
    void ShowDriveOf(const Tree& tree);
    void EnterTreeEntry(Tree& tree);
    // A tree whose folder is gone: the box (unless its text is in shown, where it goes
    // then) and the move to the nearest folder that is there. False when the folder is there.
    bool LeaveMissingFolder(Tree& tree, std::set<std::string>& shown);
    void MoveToNearestFolder(Tree& tree, const std::wstring& folder);
    void ReadDrives();
    void SetFileDirectory(const std::wstring& directory);
    void SetFileMask(const std::wstring& mask);
    void RereadFiles(bool keepSelection);

    void StartBatch(batch::BatchKind kind);
    void ServeBatch();
    void BatchEnded();
    void RefreshProgress();
    void SetBatchControlsEnabled(bool enabled);
    int ShowBox(std::string_view title, std::string_view text, UINT style);
    HWND BoxOwner() const;

    std::wstring settingsKey_;
    HWND hwnd_ = nullptr;
    HMENU options_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HWND tooltip_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    double scale_ = 1.0;

    Tree inputTree_;
    Tree outputTree_;
    std::vector<std::wstring> drives_;  // roots, in the order of the drive selectors
    HICON openIcon_ = nullptr;
    HICON closedIcon_ = nullptr;
    HWND lastFocus_ = nullptr;
    HWND fileList_ = nullptr;
    HWND filter_ = nullptr;
    std::wstring fileDirectory_;
    std::wstring fileMask_ = L"*";
    std::vector<std::wstring> fileNames_;  // one per entry of the file list
    std::vector<std::pair<std::wstring, std::wstring>> filterEntries_;

    bool closeWhenDone_ = false;
    bool choosingDrive_ = false;
    std::set<std::string> reportedDuringBatch_;  // texts of the running batch's error reports
    ProgressWindow* progress_ = nullptr;
    batch::BatchSession session_;  // last: a batch still running ends before the window goes
};

}  // namespace quorvel::win32
