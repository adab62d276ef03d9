// The system services Valumat uses, one narrow interface each. Every backend (fake, x11/qt, win32)
// implements them; the runtime, the store and the window logic see only these interfaces.
//
// Conventions for all interfaces:
// - Texts are UTF-8.
// - A call that "fails with RuntimeError" throws valumat::RuntimeError (runtime/errors.h) carrying a German
//   description; callers decide whether to report it or skip the step.
// - A call documented as "never fails" swallows its own problems.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace valumat::platform {

// An opaque window handle; 0 means none.
using WindowHandle = std::uintptr_t;

// Window messages we care about.
inline constexpr unsigned kWmHotKey = 786; // 0x0312

// Hot-key modifiers.
inline constexpr unsigned kModControl = 2;

// Global system-wide hot keys. A key press arrives later as a kWmHotKey message with the identifier as the first
// parameter, delivered through the message pump to the window's current window procedure (WindowHook).
class HotKeys {
public:
    virtual ~HotKeys() = default;
    // Returns false when the system refuses (another program holds the combination); never throws.
    virtual bool registerHotKey(WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) = 0;
    // Returns false when nothing was registered under (window, id); never throws.
    virtual bool unregisterHotKey(WindowHandle window, int id) = 0;
};

// Global atoms used as hot-key identifiers.
class Atoms {
public:
    virtual ~Atoms() = default;
    // Returns the atom for the name (a new one or the existing one, with its use count raised).
    // Fails with RuntimeError when the atom table is full.
    virtual std::uint16_t globalAddAtom(const std::string& name) = 0;
    // Lowers the use count; unknown atoms are ignored. Never fails.
    virtual void globalDeleteAtom(std::uint16_t atom) = 0;
};

// Synthetic key strokes into the system input stream (towards the foreground application).
inline constexpr std::uint32_t kKeyEventExtended = 1;
inline constexpr std::uint32_t kKeyEventKeyUp = 2;
class KeyEvents {
public:
    // Whether our keys can reach the window in front. Windows drops synthetic keys sent to a program with higher
    // rights (an elevated program, or one of a higher integrity level) without saying so.
    struct Front {
        bool reachable = true;
        std::string program; // the program in front, e.g. "regedit.exe"; may be "" when reachable
    };

    virtual ~KeyEvents() = default;
    // One key event: Windows virtual-key code 1..255, flags kKeyEventExtended and/or kKeyEventKeyUp.
    // Fails with RuntimeError when the system rejects the event.
    virtual void keyEvent(std::uint8_t virtualKey, std::uint32_t flags) = 0;
    // Never fails: when the rights of the program in front cannot be told, it counts as reachable.
    virtual Front front() { return {}; }
};

// The system clipboard.
//
// A conversion uses it in this order: save(), clear(), the application's copy (our Ctrl+C), waitCopied() and
// getText(), then setText(result), the paste (our Ctrl+V), waitFetched(), restore(). Whatever the
// application does, nothing but our result may be pasted: never the user's saved content, never a clipboard
// manager's.
class Clipboard {
public:
    // Everything the clipboard held at one moment, in every format the backend can copy.
    class Snapshot {
    public:
        virtual ~Snapshot() = default;
    };

    virtual ~Clipboard() = default;
    // Copies every format now on the clipboard. Fails with RuntimeError when the clipboard cannot be opened.
    virtual std::unique_ptr<Snapshot> save() = 0;
    // Puts a snapshot back (all its formats), replacing what is there, even when a clipboard manager took the
    // clipboard meanwhile. Fails with RuntimeError.
    virtual void restore(const Snapshot& snapshot) = 0;
    // The text of the application's copy made since the last clear(); "" when no copy was recognised or it holds
    // no text. Fails with RuntimeError when the clipboard cannot be opened.
    virtual std::string getText() = 0;
    // Empties the clipboard WITHOUT making this program its owner: an owner that sleeps would block the
    // target application's copy. From here on the backend watches for the application's copy. Fails with
    // RuntimeError.
    virtual void clear() = 0;
    // Waits, handling messages, until the application in front has copied since the last clear(): the clipboard
    // got a new owner belonging to that application (any of its connections or windows), not a clipboard manager
    // taking the clipboard back. Returns at once when that happened already; false when nothing came within
    // maxMilliseconds. Never fails.
    virtual bool waitCopied(int maxMilliseconds) = 0;
    // Puts text on the clipboard; this program owns it until another program takes it. The target usually
    // fetches the text later, when it handles the paste. Fails with RuntimeError.
    virtual void setText(const std::string& text) = 0;
    // True while text set by setText has not yet been fetched by another application and is still ours.
    virtual bool resultPending() = 0;
    // Waits, handling messages, until the target has fetched the text set by the last setText and finished its
    // paste (a paste may ask for the list of formats and several formats, one after another, from more than one
    // connection), or another program took the clipboard, or maxMilliseconds passed. Called again after further keys
    // went out, it waits until a paste those keys started (if any) is over too. Returns true when it was fetched (or is
    // no longer pending). Never fails.
    virtual bool waitFetched(int maxMilliseconds) = 0;
};

// Blocking wait of the one user-interface thread. Never fails.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void sleep(int milliseconds) = 0;
};

// Processes all pending window messages of this program, then returns. Never fails (handlers that throw are the
// handlers' business).
class MessagePump {
public:
    virtual ~MessagePump() = default;
    virtual void pumpMessages() = 0;
};

// Window procedures: the function that receives a window's messages.
using WindowProc =
    std::function<std::intptr_t(WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam)>;
class WindowHook {
public:
    virtual ~WindowHook() = default;
    // Replaces the window's procedure and returns the one in place before. Fails with RuntimeError for an invalid
    // window.
    virtual WindowProc setWindowProc(WindowHandle window, WindowProc procedure) = 0;
};

// The icon in the notification area. Mouse events on it arrive as the message numbers 515 (left double-click)
// and 517 (right button released) through the callback, on the user-interface thread.
inline constexpr int kTrayLeftDoubleClick = 515;
inline constexpr int kTrayRightButtonUp = 517;
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Adds the icon (a second add while it is shown is refused and ignored). Fails with RuntimeError when no
    // notification area can take it.
    virtual void add(const std::string& tooltip) = 0;
    // Removes the icon; never fails.
    virtual void remove() = 0;
    // Where the icon's mouse messages go.
    virtual void setMouseHandler(std::function<void(int message)> handler) = 0;
    // A short message beside the shown icon (a balloon), gone after a few seconds or a click. Never fails; a
    // desktop without such messages shows nothing.
    virtual void showMessage(const std::string& title, const std::string& text) {
        static_cast<void>(title);
        static_cast<void>(text);
    }
};

// Opening files, web addresses and "mailto:" addresses with their associated programs. Never fails (nothing is
// shown when there is no associated program).
class ShellOpen {
public:
    virtual ~ShellOpen() = default;
    virtual void shellOpen(WindowHandle owner, const std::string& verb, const std::string& target,
                           const std::string& directory) = 0;
};

// The per-user autostart entry named "Valumat". Never fails: a failing call leaves the entry as it was.
class Autostart {
public:
    virtual ~Autostart() = default;
    // Creates or overwrites the entry so that the program at programPath starts with the user's session.
    virtual void setEntry(const std::string& programPath) = 0;
    virtual void removeEntry() = 0;
};

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, YesNo };
enum class DefaultButton { First, Second };
enum class MessageAnswer { Ok, Yes, No };
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal message box and returns the answer. Never fails (an impossible box answers with the default
    // button).
    virtual MessageAnswer messageBox(const std::string& text, const std::string& title, MessageIcon icon,
                                     MessageButtons buttons, DefaultButton defaultButton) = 0;
};

// The program itself.
class Process {
public:
    virtual ~Process() = default;
    // Full path of the program file, e.g. "C:\Programme\Tools\valumat.exe" or "/opt/valumat/valumat".
    virtual std::string programPath() = 0;
    // The path separator of this platform: '\\' or '/'.
    virtual char pathSeparator() = 0;
    // The command line after the program name, as one text ("" when none).
    virtual std::string commandLine() = 0;
    // Ends the program at once with the given status. Does not return (the fake desktop throws ProgramEnded).
    [[noreturn]] virtual void endProgram(int status) = 0;
};

// The folders the program's data can live in. Folder names end in the path separator.
class Folders {
public:
    virtual ~Folders() = default;
    // This user's own folder for the program's data: "%APPDATA%\Valumat\" on Windows, "$XDG_CONFIG_HOME/valumat/"
    // (by default "~/.config/valumat/") on Linux. "" when the system names no such place. Never fails.
    virtual std::string userDataFolder() = 0;
    // Where an installation keeps the shipped data files for the program file at programPath: "/usr/share/valumat/"
    // for "/usr/bin/valumat", the subfolder "vorgaben\" of the program's folder on Windows. The folder need not
    // exist. Never fails.
    virtual std::string installedDataFolder(const std::string& programPath) = 0;
    // Whether this program can create files in the folder now: tried with a file that is removed again, since
    // permissions alone do not tell (access lists, read-only mounts, a folder of another user). Never fails.
    virtual bool folderWritable(const std::string& folder) = 0;
    // Creates the folder and any missing parents; an existing folder is fine. Fails with RuntimeError.
    virtual void createFolder(const std::string& folder) = 0;
};

// All services of one desktop. Backends fill every pointer.
struct Platform {
    HotKeys* hotKeys = nullptr;
    Atoms* atoms = nullptr;
    KeyEvents* keyEvents = nullptr;
    Clipboard* clipboard = nullptr;
    Sleeper* sleeper = nullptr;
    MessagePump* pump = nullptr;
    WindowHook* windowHook = nullptr;
    TrayIcon* tray = nullptr;
    ShellOpen* shell = nullptr;
    Autostart* autostart = nullptr;
    MessageBoxes* messageBoxes = nullptr;
    Process* process = nullptr;
    Folders* folders = nullptr;
};

} // namespace valumat::platform
