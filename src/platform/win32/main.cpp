// valumat for Windows: the configuration window and its dialogs as Win32 windows over the window models, the
// system services of the Win32 backend, one program per session.
//
// The program prints nothing. Its log lines for tests go to the debugger output (OutputDebugStringW): "valumat:
// bereit" once started, "valumat: Tastenkombination <id> erledigt" after each hot-key message it handled. Under
// Wine 8 they show on standard error with WINEDEBUG=warn+seh, as lines ending in
// OutputDebugStringA "valumat: bereit\n".
//
// The end of the session (WM_ENDSESSION) ends the program at once, without the question about unsaved changes:
// a running conversion gives the user's clipboard back, the hot keys and the tray icon go, and the process ends.
#include "platform/win32/ui/configwindowview.h"
#include "platform/win32/ui/modalhost.h"
#include "platform/win32/ui/traymenu.h"
#include "platform/win32/win32desktop.h"
#include "runtime/ending.h"
#include "runtime/tables.h"
#include "shell/startup.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

namespace {

using namespace valumat;

// One program per session: the mutex says whether one runs, its window's class finds it, and the message asks it
// to show its window.
constexpr const wchar_t* kInstanceMutex = L"Local\\Valumat.Instance";
constexpr const wchar_t* kShowRequest = L"Valumat.ShowWindow";

void log(const std::wstring& line) {
    OutputDebugStringW((line + L"\n").c_str());
}

// A second start: the running program shows its window (it may still be starting, so its window is looked for a
// while). Nothing else of this program starts: no second set of hot keys, no second tray icon.
int showRunningProgram(UINT showRequest) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND running = FindWindowW(win32ui::kConfigWindowClass, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            AllowSetForegroundWindow(process); // it may take the foreground that this start was given
            PostMessageW(running, showRequest, 0, 0);
            return 0;
        }
        Sleep(100);
    }
    return 0;
}

// Hands on one message of a message loop: keyboard navigation in the window, hot keys through its hooked
// procedure (logged once handled).
void dispatch(win32::Win32Desktop& desktop, MSG& message) {
    const bool hotKey = message.message == WM_HOTKEY;
    const std::intptr_t id = hotKey ? desktop.hotKeys().runtimeId(message.hwnd, message.wParam) : 0;
    desktop.pump().dispatch(message);
    if (hotKey) {
        log(L"valumat: Tastenkombination " + std::to_wstring(id) + L" erledigt");
    }
}

// The program's message loop, until WM_QUIT; returns the program's exit status.
int runMessageLoop(win32::Win32Desktop& desktop) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == -1) {
            return 1;
        }
        dispatch(desktop, message);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const UINT showRequest = RegisterWindowMessageW(kShowRequest);
    HANDLE instanceMutex = CreateMutexW(nullptr, FALSE, kInstanceMutex);
    if (instanceMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(instanceMutex);
        return showRunningProgram(showRequest);
    }

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);

    int status = 0;
    {
        win32::Win32Desktop desktop(instance);
        AppState state(desktop.platform());
        win32ui::Win32ModalHost modal(instance);
        shell::Program program(state, modal);
        ui::ConfigWindow& window = program.window;
        {
            win32ui::ConfigWindowView view(window, instance);
            // The window gets the hot keys (the runtime hooks its procedure), owns the dialogs, the message boxes
            // and the tray menu.
            desktop.setMainWindow(view.hwnd());
            state.configWindow = win32::handleOf(view.hwnd());
            modal.setOwner(view.hwnd());
            modal.dispatch = [&desktop](MSG& message) { dispatch(desktop, message); };
            modal.onTopWindow = [&desktop](HWND top) { desktop.messageBoxes().owner = top; };
            win32ui::TrayMenu menu(program.tray, view.hwnd());
            program.tray.popupMenu = [&menu] { menu.popup(); };
            program.quit = [] { PostQuitMessage(0); };
            desktop.onSessionEnd = [&state, &program] {
                log(L"valumat: Sitzungsende");
                state.endRequested = true; // a running script stops at its next line, should it ever get there
                runEndCleanups();          // the running script's user clipboard back
                program.Form_Unload();     // hot keys and tray icon away; no question about unsaved changes
            };
            view.onMessage() = [&program, &window, &desktop, showRequest](UINT message, WPARAM wParam, LPARAM,
                                                                          LRESULT& result) {
                if (desktop.handleSessionMessage(message, wParam, result)) {
                    return true;
                }
                if (message != showRequest) {
                    return false;
                }
                if (!program.unloaded()) {
                    program.tray.HideTray(false);
                    window.form.refresh(); // to the front, also when it was shown already
                }
                result = 0;
                return true;
            };

            program.Form_Load();
            log(L"valumat: bereit");
            if (!program.unloaded()) {
                status = runMessageLoop(desktop);
            }
            desktop.onSessionEnd = nullptr;
            program.tray.popupMenu = nullptr;
            program.quit = nullptr;
            modal.dispatch = nullptr;
            modal.onTopWindow = nullptr;
            desktop.setMainWindow(nullptr);
        }
    }
    if (instanceMutex != nullptr) {
        CloseHandle(instanceMutex);
    }
    return status;
}
