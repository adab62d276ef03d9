// The Windows desktop: every system service of platform/platform.h over the wide-character Win32 API (texts are
// UTF-8 at the interfaces, UTF-16 inside), gathered in Win32Desktop.
//
//   valumat::win32::Win32Desktop desktop(instance);   // before any window of the program
//   valumat::AppState state(desktop.platform());
//   HWND window = ...;                                  // the configuration window
//   desktop.setMainWindow(window);                      // owner of message boxes, dialog keys in the pump
//   state.configWindow = valumat::win32::handleOf(window);
//
// Everything runs on the one user-interface thread that created the Win32Desktop.
#pragma once

#include "platform/platform.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32clipboard.h"
#include "platform/win32/win32folders.h"
#include "platform/win32/win32rates.h"

#include <windows.h>

#include <shellapi.h>

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace valumat::win32 {

inline platform::WindowHandle handleOf(HWND window) {
    return reinterpret_cast<platform::WindowHandle>(window);
}
inline HWND hwndOf(platform::WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

// The command line without the program name, by the rules Windows uses for the first argument: a quoted name ends
// at the next quote, an unquoted one at the first blank. Leading blanks of the rest are dropped.
std::wstring argumentsAfterProgram(const wchar_t* commandLine);

// The notification icon's mouse messages arrive at the backend's message window with this message.
inline constexpr UINT kTrayCallbackMessage = WM_APP + 1;

// Hot keys through RegisterHotKey. The runtime names its hot keys by global atoms widened as signed 16-bit numbers
// (-16384 to -1), while Windows reserves identifiers from 0xC000 up (negative ones included) for shared libraries
// and the system's own hot keys. So each (window, identifier) gets a system identifier of its own, the lowest free
// one from 1 up (at most 0xBFFF), and the window hook turns the wParam of WM_HOTKEY back into the runtime's
// identifier: the window procedure sees exactly the number that was registered. MOD_NOREPEAT is always added, so a
// key held down runs its script once.
//
// The window hook also hands a hot key on only once the user has let go of it. The script it runs sends keys at once
// (Ctrl+C first), and Windows keeps one state per key, whoever pressed it: when the user lets go of Ctrl between the
// script's Ctrl going down and its C (or V), the application gets a typed "c" (or "v") in place of the selection.
class HotKeys final : public platform::HotKeys {
public:
    // How long a hot key waits for the user to let go of its key and modifiers before it runs all the same.
    // Returns once the key and the modifiers of a WM_HOTKEY's lParam are up, or after platform::kHotKeyReleaseWaitMs.
    // Windows tells no other program when a key goes up, so the key state is looked at every 10 ms; messages sent to
    // our windows (a target asking for a rendered result) are answered meanwhile, posted ones (a next hot key) stay
    // queued.
    static void awaitRelease(LPARAM lParam);

    ~HotKeys() override;
    bool registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) override;
    bool unregisterHotKey(platform::WindowHandle window, int id) override;

    // The identifier Windows knows for (window, id); -1 when it is not registered.
    int systemId(HWND window, int id) const;
    // The runtime's identifier for the wParam of a WM_HOTKEY message; other values come back unchanged.
    std::intptr_t runtimeId(HWND window, WPARAM wParam) const;
    // Forgets the identifiers of a destroyed window (Windows dropped its hot keys with it).
    void forgetWindow(HWND window);

private:
    std::map<std::pair<HWND, int>, int> systemIds_;  // (window, runtime id) -> system id
    std::map<std::pair<HWND, int>, int> runtimeIds_; // (window, system id) -> runtime id
};

// Global atoms (GlobalAddAtomW / GlobalDeleteAtom).
class Atoms final : public platform::Atoms {
public:
    std::uint16_t globalAddAtom(const std::string& name) override;
    void globalDeleteAtom(std::uint16_t atom) override;
};

// Window procedures. A hooked window gets one C window procedure that calls the std::function installed for it
// (translating the identifier of WM_HOTKEY, see HotKeys). The procedure that was in place before comes back as a
// std::function calling CallWindowProcW; installing that one again puts the window's own procedure back in place.
class WindowHook final : public platform::WindowHook {
public:
    explicit WindowHook(HotKeys* hotKeys = nullptr) : hotKeys_(hotKeys) {}
    ~WindowHook() override;
    WindowHook(const WindowHook&) = delete;
    WindowHook& operator=(const WindowHook&) = delete;

    platform::WindowProc setWindowProc(platform::WindowHandle window, platform::WindowProc procedure) override;
    bool hooked(HWND window) const { return windows_.contains(window); }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void unhook(HWND window);

    struct Hooked {
        WNDPROC original = nullptr;
        platform::WindowProc procedure;
    };
    HotKeys* hotKeys_;
    std::map<HWND, Hooked> windows_;
};

// Synthetic key strokes through SendInput, with the scan code of the current layout. Windows drops them silently
// when the window in front belongs to a program with higher rights: front() tells from the tokens of both programs
// (elevation, integrity level).
class KeyEvents final : public platform::KeyEvents {
public:
    void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) override;
    Front front() override;
};

// Blocks the thread for the time asked; with a clipboard, render requests are answered and clipboard changes noted
// meanwhile (Clipboard::sleepWatching), nothing else.
class Sleeper final : public platform::Sleeper {
public:
    explicit Sleeper(Clipboard* clipboard = nullptr) : clipboard_(clipboard) {}
    void sleep(int milliseconds) override;

private:
    Clipboard* clipboard_;
};

// Handles every pending message of the thread, then returns. Messages for the main window and its children go
// through IsDialogMessageW first (Tab, Enter, Escape), when the main window asks for it. A WM_QUIT ends the pump and
// is posted again for the program's message loop.
class MessagePump final : public platform::MessagePump {
public:
    void pumpMessages() override;
    // Dispatches one message as the pump does; false for WM_QUIT.
    bool dispatch(MSG& message);
    HWND dialogWindow = nullptr;
};

// The icon in the notification area, on the backend's message window. Without a task bar (Explorer not started yet,
// as at log-on) the icon is added as soon as the shell announces its task bar ("TaskbarCreated"), and again after
// Explorer restarts.
class TrayIcon final : public platform::TrayIcon {
public:
    TrayIcon(HWND window, HICON icon);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    void add(const std::string& tooltip) override;
    void remove() override;
    void setMouseHandler(std::function<void(int message)> handler) override;
    void showMessage(const std::string& title, const std::string& text) override;

    void setIcon(HICON icon);
    bool shown() const { return shown_; }
    // True when a task bar with a notification area exists.
    static bool available();
    // Messages of the message window; true when handled.
    bool handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    NOTIFYICONDATAW data(UINT flags) const;
    bool tryAdd();

    HWND window_;
    HICON icon_;
    UINT taskbarCreated_;
    std::wstring tooltip_;
    std::function<void(int)> handler_;
    bool wanted_ = false; // added and not removed by the program
    bool shown_ = false;  // the shell has it
};

// ShellExecuteExW without any error user interface: nothing is shown when there is no associated program.
class ShellOpen final : public platform::ShellOpen {
public:
    void shellOpen(platform::WindowHandle owner, const std::string& verb, const std::string& target,
                   const std::string& directory) override;
};

// The per-user autostart value: REG_SZ "Valumat" under HKEY_CURRENT_USER\Software\microsoft\windows\currentversion\run
// holding the program's full path in double quotes (a path with blanks must not name another program).
class Autostart final : public platform::Autostart {
public:
    static constexpr const wchar_t* kRunKey = L"Software\\microsoft\\windows\\currentversion\\run";
    explicit Autostart(std::wstring subKey = kRunKey, std::wstring valueName = L"Valumat",
                       HKEY root = HKEY_CURRENT_USER)
        : root_(root), subKey_(std::move(subKey)), valueName_(std::move(valueName)) {}
    void setEntry(const std::string& programPath) override;
    void removeEntry() override;
    // The value's data for a program path.
    static std::wstring commandFor(const std::string& programPath);

private:
    HKEY root_;
    std::wstring subKey_;
    std::wstring valueName_;
};

class MessageBoxes final : public platform::MessageBoxes {
public:
    platform::MessageAnswer messageBox(const std::string& text, const std::string& title, platform::MessageIcon icon,
                                       platform::MessageButtons buttons,
                                       platform::DefaultButton defaultButton) override;
    HWND owner = nullptr;
};

class Process final : public platform::Process {
public:
    std::string programPath() override;
    char pathSeparator() override { return '\\'; }
    std::string commandLine() override;
    // Runs beforeEnd (errors ignored), then ends the process.
    [[noreturn]] void endProgram(int status) override;
    // What must happen before the process ends without its normal shut-down (the desktop sets it).
    std::function<void()> beforeEnd;
};

// Opens a pop-up menu at the mouse position for the notification icon: makes the owner the foreground window first
// (else the menu does not close when the user clicks elsewhere) and returns the chosen command, 0 for none.
int trackTrayMenu(HWND owner, HMENU menu);

// The whole desktop, with a hidden top-level message window that owns the clipboard results and receives the
// notification icon's messages (a top-level window, so that it also hears the shell's "TaskbarCreated" and the end
// of the session).
//
// The end of the session: WM_QUERYENDSESSION is always answered with TRUE (nothing of ours needs the user's say);
// WM_ENDSESSION with wParam TRUE runs onSessionEnd (the program's own clean-up, no questions asked), then ends the
// process through Process::endProgram: a result still promised on the clipboard is rendered and the tray icon
// removed first. Windows may end the process any time after WM_ENDSESSION returns, so nothing is left for later.
class Win32Desktop {
public:
    explicit Win32Desktop(HINSTANCE instance);
    ~Win32Desktop();
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    // The services for AppState; they live as long as this object.
    platform::Platform platform();

    // The configuration window: owner of message boxes; with dialogKeys its messages go through IsDialogMessageW in
    // the pump and in runMessageLoop. nullptr forgets it.
    void setMainWindow(HWND window, bool dialogKeys = true);
    HWND mainWindow() const { return mainWindow_; }
    HWND messageWindow() const { return window_; }
    // The notification icon (default: IDI_VALUMAT of the instance, else the system's application icon).
    void setTrayIcon(HICON icon) { tray_.setIcon(icon); }

    // The program's message loop: GetMessageW and the pump's dispatching until WM_QUIT; returns its exit code.
    int runMessageLoop();

    HotKeys& hotKeys() { return hotKeys_; }
    KeyEvents& keyEvents() { return keyEvents_; }
    WindowHook& windowHook() { return windowHook_; }
    Clipboard& clipboard() { return clipboard_; }
    TrayIcon& tray() { return tray_; }
    MessagePump& pump() { return pump_; }
    MessageBoxes& messageBoxes() { return messageBoxes_; }
    Process& process() { return process_; }

    // Run on WM_ENDSESSION (with wParam TRUE) before the process ends.
    std::function<void()> onSessionEnd;
    // The session ends: onSessionEnd, then the end of the process. Also for WM_ENDSESSION reaching other windows.
    // Returns only when called again while the first call runs.
    void endSession();
    // Session messages of any top-level window of the program (WM_QUERYENDSESSION, WM_ENDSESSION); true when
    // handled, with the result to return.
    bool handleSessionMessage(UINT message, WPARAM wParam, LRESULT& result);

private:
    static LRESULT CALLBACK messageWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    HWND mainWindow_ = nullptr;
    HWND window_;
    bool comInitialized_ = false;
    bool ending_ = false;
    HotKeys hotKeys_;
    Atoms atoms_;
    KeyEvents keyEvents_;
    Clipboard clipboard_;
    Sleeper sleeper_;
    MessagePump pump_;
    WindowHook windowHook_;
    TrayIcon tray_;
    ShellOpen shell_;
    Autostart autostart_;
    MessageBoxes messageBoxes_;
    Process process_;
    Folders folders_;
    RateLoader rates_{window_};
};

} // namespace valumat::win32
