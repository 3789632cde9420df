#pragma once

namespace quorvel::win32 {

// Identifiers of the main window's controls and menu items, named after the components
// they stand for; tests find the controls with GetDlgItem and send the menu commands.
enum ControlId : int {
    MidiPanel = 100,
    GroupBox1 = 101,
    DriveComboBox1 = 102,
    DirectoryListBox1 = 103,
    FileListBox1 = 104,
    FilterComboBox1 = 105,
    GroupBox2 = 106,
    DriveComboBox2 = 107,
    DirectoryListBox2 = 108,
    Button2 = 109,
    Button1 = 110,
    Button5 = 111,
    Button3 = 112,
    Button4 = 113,
    InputPath = 114,   // the full path of the input tree's folder, under the tree
    OutputPath = 115,  // the same for the output tree

    PromptBetweenFiles1 = 201,
    PromptBeforeOverwriting1 = 202,
    ShowResultsInOneList1 = 203,
    About1 = 204,
    Refresh1 = 205,
    NewFolder1 = 206,

    ProgressCount = 301,
    ProgressBar = 302,
    ProgressFile = 303,
    StopButton = 304,

    ResultsCounts = 401,
    ResultsText = 402,
    CopyButton = 403,
    SaveButton = 404,
    CloseButton = 405,

    NewFolderPromptText = 501,
    NewFolderNameEdit = 502,
    // The replacement question's own dialog, where no task dialog is at hand.
    ReplaceCheckBox = 503,
    ReplaceIcon = 504,
    ReplaceText = 505,
};

// Window classes, for FindWindowW.
inline constexpr wchar_t MainWindowClass[] = L"TMidiForm";
inline constexpr wchar_t ProgressWindowClass[] = L"TProgressWindow";
inline constexpr wchar_t ResultsWindowClass[] = L"TResultsWindow";

}  // namespace quorvel::win32
