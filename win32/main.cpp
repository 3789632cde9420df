// Quorvel for Windows: the desktop window. The arguments are files or folders to start
// with ("Open with", the Start menu shortcut, a drop on the program's icon; see
// OpenPaths); without any, the window starts in the current directory. The one setting
// kept between runs is "Show Results in One List". The process ends with exit code 0
// once the main window is closed.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "midi_form.hpp"

namespace {

// The arguments after the program's name, as Windows splits its command line.
std::vector<std::wstring> GivenPaths() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> paths;
    if (arguments == nullptr) return paths;
    for (int i = 1; i < count; ++i) paths.emplace_back(arguments[i]);
    LocalFree(arguments);
    return paths;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // A drive without a medium is reported by the window, not by a system box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Creating the window runs FormCreate, which shows the About box first.
    quorvel::win32::TMidiForm MidiForm;
    if (const std::vector<std::wstring> given = GivenPaths(); !given.empty()) MidiForm.OpenPaths(given);
    MidiForm.Show(showCommand);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (MidiForm.TranslateDialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
