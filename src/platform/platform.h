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
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace valumat::platform {

// An opaque window handle; 0 means none.
using WindowHandle = std::uintptr_t;

// Window messages we care about.
inline constexpr unsigned kWmHotKey = 786; // 0x0312

// Hot-key modifiers.
inline constexpr unsigned kModControl = 2;

// A hot key runs once the user has let go of its key and modifiers (so that the script's keys never meet the user's
// hands), at most this long after the press.
inline constexpr int kHotKeyReleaseWaitMs = 1000;

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

// Who put the clipboard's current content there, as far as the desktop can tell.
enum class ClipboardOrigin {
    Ours,    // this program
    Front,   // the application in front when the clipboard was emptied (any of its windows or connections)
    Other,   // another program (a clipboard manager or history, a monitor)
    Unknown, // the desktop cannot say who (Wayland's data control; a change without owner on Windows)
};

// Content that clipboard histories on Linux are to leave out carries this format with this value (the convention
// password managers follow for a password; which histories honour it: README, "Clipboard histories"). A result is
// offered with it; the user's own content keeps it when it carried it.
inline constexpr const char* kHistoryHintFormat = "x-kde-passwordManagerHint";
inline constexpr const char* kHistoryHintValue = "secret";

// The system clipboard, as primitives and events. The rules of a conversion's round trip over it (which change is
// the application's copy, when the paste is over, when the user's content comes back) are the same on every
// desktop and live in runtime/roundtrip.h; a backend only does what it is told and reports what it sees.
class Clipboard {
public:
    // What the clipboard held at one moment, as the saving rule (runtime/clipsave.h) keeps it.
    class Snapshot {
    public:
        virtual ~Snapshot() = default;
    };

    // What the backend reports while a listener is set, synchronously, from within its waits and the handling of
    // its events. A listener only takes note: it never changes the clipboard from there.
    class Listener {
    public:
        virtual ~Listener() = default;
        // The clipboard got new content, not ours. `text`: the new content's text when the backend read it along
        // with the change (Windows does, while it holds the clipboard open to look); nullopt otherwise.
        virtual void ownerChanged(ClipboardOrigin origin, const std::optional<std::string>& text) = 0;
        // A program asks for the result we offer, in a text format or another one (the list of formats, say).
        // Returns whether it gets it; a desktop that cannot refuse a request serves it anyway.
        virtual bool resultRequested(ClipboardOrigin origin, bool textFormat) = 0;
    };

    // How this desktop's pastes look to the owner of the clipboard.
    struct Traits {
        // A paste may ask for the result several times (formats, connections): it is over this long after the last
        // request. 0 where the first served request is the whole paste (Windows: once rendered, the system serves
        // every further read itself).
        int pasteQuietMs = 40;
        // After further keys following a paste (Enter in a spreadsheet, which may paste once more): how long the
        // target gets to start another paste. 0 where such a paste would not reach us (Windows, as above).
        int laterPasteMs = 60;
    };

    virtual ~Clipboard() = default;
    virtual void setListener(Listener* listener) = 0;
    virtual Traits traits() const { return {}; }

    // Copies the clipboard's content as the saving rule says (runtime/clipsave.h), within its time; what came too
    // late is left out and noted. Fails with RuntimeError when the clipboard cannot be opened.
    virtual std::unique_ptr<Snapshot> save() = 0;
    // Puts a snapshot back (all its formats), replacing what is there. Fails with RuntimeError.
    virtual void restore(const Snapshot& snapshot) = 0;
    // Empties the clipboard WITHOUT making this program its owner (an owner that sleeps would block the target's
    // copy), and takes note of the application in front: later owner changes are told apart against it. Fails with
    // RuntimeError.
    virtual void empty() = 0;
    // The text of the clipboard's current content (another program's), waiting at most maxMilliseconds for its
    // owner to hand it over while events go on; "" when it holds no text or did not come in time. Never fails.
    virtual std::string readText(int maxMilliseconds) = 0;
    // Offers a text as this program's (kept out of clipboard histories where the desktop has a way to say so).
    // Where applications that watch the clipboard must have settled before a paste can go out, it waits for that
    // too. Fails with RuntimeError.
    virtual void offerText(const std::string& text) = 0;
    // Whether the clipboard's content is still ours. Never fails.
    virtual bool isOurs() = 0;

    // The backend's clock, in milliseconds.
    virtual std::int64_t nowMs() = 0;
    // Handles events until one was reported to the listener, or maxMilliseconds passed, or the waits were
    // abandoned (the program is ending). Never fails.
    virtual void waitForEvents(int maxMilliseconds) = 0;

    // A conversion that came to nothing, said where this program's log lines go ("valumat: " + text on the
    // standard error by default). Never fails.
    virtual void note(const std::string& text) { std::fprintf(stderr, "valumat: %s\n", text.c_str()); }
    // One step of a conversion, when clipboard tracing is on (VALUMAT_TRACE_CLIPBOARD). Never fails.
    virtual void trace(const std::string& text) { static_cast<void>(text); }
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
// A click on the message shown beside the icon (Windows' NIN_BALLOONUSERCLICK; a notification's default action).
inline constexpr int kTrayMessageClick = 1029;
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
    // Changes the tooltip of the shown icon (the next add shows it too). Never fails.
    virtual void setTooltip(const std::string& tooltip) { static_cast<void>(tooltip); }
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

// Reference rates against the Euro as a rates file lists them: per day, each currency code with its units per
// Euro, both as the file writes them ("USD", "1.0856"); the date as YYYY-MM-DD, "" when the file gives none.
struct ReferenceRate {
    std::string code;
    std::string rate;
};
struct RateDay {
    std::string date;
    std::vector<ReferenceRate> rates;
};
struct RateLoad {
    std::vector<RateDay> days; // in the file's order
    std::string error;         // German, "" when a rates file was read
};

// Loads a rates file from an https:// address or a local file without holding up the user-interface thread: `done`
// runs later on that thread with what was read. One load at a time; never fails (problems are in RateLoad::error).
class RateSource {
public:
    virtual ~RateSource() = default;
    virtual void load(const std::string& address, std::function<void(RateLoad)> done) = 0;
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
    RateSource* rates = nullptr; // nullptr: this desktop loads no rates
};

} // namespace valumat::platform
