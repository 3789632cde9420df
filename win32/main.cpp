// Quorvel for Windows: the desktop window. It takes no arguments; the one setting kept
// between runs is "Show Results in One List". The process ends with exit code 0 once
// the main window is closed.
#include <windows.h>

#include "midi_form.hpp"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // A drive without a medium is reported by the window, not by a system box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // Creating the window runs FormCreate, which shows the About box first.
    quorvel::win32::TMidiForm MidiForm;
    MidiForm.Show(showCommand);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (MidiForm.TranslateDialogMessage(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
