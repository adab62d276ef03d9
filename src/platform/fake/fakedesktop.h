// An in-memory desktop for the tests: hot keys, atoms, a key-event transcript, a clipboard, a virtual clock,
// message boxes answered from a queue, a notification icon, shell and autostart records, and a simulated
// foreground application (a text editor or a spreadsheet) that reacts to the synthetic key strokes.
//
// Time is virtual: sleep() advances the clock and never really waits. The foreground application works
// asynchronously, as a real one in another process would: key events go into its input queue and are handled
// whenever this program yields (pumpMessages, sleep, waitFetched), in order, each not before its due time.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace valumat::fake {

class FakeDesktop;

// A simulated foreground application. It sees every synthetic key event in order, with the key state
// (which virtual keys are down) as it was after that event.
class TargetApp {
public:
    virtual ~TargetApp() = default;
    // Called for each key event the application handles. `down` lists the keys down after this event.
    virtual void onKey(FakeDesktop& desktop, std::uint8_t virtualKey, bool keyDown,
                       const std::set<std::uint8_t>& down) = 0;
};

// A text editor: one line of text with a selection. Ctrl+C copies the selection (nothing when it is empty),
// Ctrl+V replaces the selection by the clipboard text and leaves the caret after it, typing is not modelled.
class FakeEditor : public TargetApp {
public:
    explicit FakeEditor(std::string text = "");
    void onKey(FakeDesktop& desktop, std::uint8_t virtualKey, bool keyDown,
               const std::set<std::uint8_t>& down) override;

    void setText(const std::string& text); // caret at the end, nothing selected
    void select(std::size_t start, std::size_t length);
    void selectAll();
    const std::string& text() const { return text_; }
    std::string selectedText() const;
    int copies() const { return copies_; }
    int pastes() const { return pastes_; }

private:
    std::string text_;
    std::size_t selStart_ = 0;
    std::size_t selLength_ = 0;
    int copies_ = 0;
    int pastes_ = 0;
};

// A spreadsheet column: cells A1, A2, ...; one current cell. Not editing: Ctrl+C copies the cell's text followed by
// CR LF (as spreadsheets do), Ctrl+V pastes into the cell, F2 enters edit mode with the caret at the end, Enter
// moves down. Editing: Home and End
// move the caret, Shift+Home / Shift+End select to the start / end, Ctrl+C copies the selection, Ctrl+V replaces the
// selection (or inserts at the caret), Enter commits the edit text into the cell and moves down, Escape cancels.
class FakeSpreadsheet : public TargetApp {
public:
    explicit FakeSpreadsheet(std::vector<std::string> cells = {});
    void onKey(FakeDesktop& desktop, std::uint8_t virtualKey, bool keyDown,
               const std::set<std::uint8_t>& down) override;

    void setCell(std::size_t row, const std::string& text);
    std::string cell(std::size_t row) const;
    void selectCell(std::size_t row); // leaves edit mode
    std::size_t currentRow() const { return current_; }
    bool editing() const { return editing_; }
    const std::string& editText() const { return editText_; }
    // Outside edit mode Ctrl+V pastes into the cell. With enterPastes, Enter after a copy of the cell pastes the
    // clipboard into the cell before moving down (as some spreadsheets do). ignoreF2(n): the next n F2 presses go
    // nowhere (the spreadsheet enters edit mode too late for the keys that follow).
    void setEnterPastes(bool on) { enterPastes_ = on; }
    void ignoreF2(int presses) { f2Ignored_ = presses; }

private:
    std::vector<std::string> cells_;
    std::size_t current_ = 0;
    bool editing_ = false;
    std::string editText_;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0; // selection is [min(anchor, caret), max(anchor, caret))
    bool marquee_ = false;   // the cell was copied (outside edit mode)
    bool enterPastes_ = false;
    int f2Ignored_ = 0;
};

// One message box shown.
struct ShownBox {
    std::string text;
    std::string title;
    platform::MessageIcon icon = platform::MessageIcon::None;
    platform::MessageButtons buttons = platform::MessageButtons::Ok;
    platform::DefaultButton defaultButton = platform::DefaultButton::First;
    platform::MessageAnswer answer = platform::MessageAnswer::Ok;
};

// One shell-open request.
struct ShellRequest {
    platform::WindowHandle owner = 0;
    std::string verb;
    std::string target;
    std::string directory;
};

class FakeDesktop {
public:
    FakeDesktop();
    ~FakeDesktop();
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // All services, backed by this desktop.
    platform::Platform platform();

    // --- windows and messages -------------------------------------------------------------------------------
    // Creates a window whose procedure records nothing and returns 0.
    platform::WindowHandle createWindow();
    // Queues a message for the window; pumpMessages delivers it to the window's current procedure.
    void postMessage(platform::WindowHandle window, unsigned message, std::intptr_t wParam, std::intptr_t lParam);
    // Delivers queued messages (the same as the program's message pump, without writing "pump" to the transcript).
    void runUntilIdle();
    int pumpCount() const;

    // --- hot keys and atoms -----------------------------------------------------------------------------------
    // The user presses a combination: when it is registered, the system posts kWmHotKey with its identifier to
    // the registering window. Returns whether it was registered. Nothing is delivered until the queue is pumped.
    bool pressHotKey(unsigned modifiers, unsigned virtualKey);
    bool isRegistered(unsigned modifiers, unsigned virtualKey) const;
    std::size_t registeredCount() const;
    // Makes registerHotKey refuse this combination (as when another program holds it).
    void takenByOtherProgram(unsigned modifiers, unsigned virtualKey);
    // The atom's name, or nullopt when it is not (or no longer) in the table. Atoms start at 0xC000.
    std::optional<std::string> atomName(std::uint16_t atom) const;
    std::size_t atomCount() const;

    // --- keys ----------------------------------------------------------------------------------------------------
    // Readable transcript of key events, pumps and sleeps since the last clear, comma separated, e.g.
    // "Alt up, Ctrl up, Shift up, Ctrl down, V down (ext), pump, V up, Ctrl up". Keys are named Alt, Ctrl, Shift,
    // Enter, Tab, Back, Esc, Space, Home, End, Left, Up, Right, Down, Ins, Del, PgUp, PgDn, A..Z, 0..9, F1..F24,
    // else "VK<n>". "sleep <ms>" for sleeps.
    std::string transcript() const;
    void clearTranscript();
    // Keys currently down as far as the system knows (initially those set by setKeyDown).
    std::set<std::uint8_t> keysDown() const;
    void setKeyDown(std::uint8_t virtualKey, bool down); // e.g. the user still holds Ctrl of the hot key
    // Runs after every synthetic key event has been recorded (before the application sees it); tests use it to
    // post a second hot key in the middle of a script.
    void onKeyEvent(std::function<void(std::uint8_t virtualKey, std::uint32_t flags)> hook);
    // Makes keyEvent fail with RuntimeError for this virtual key.
    void failKey(std::uint8_t virtualKey);

    // --- foreground application -------------------------------------------------------------------------------
    void setForeground(std::shared_ptr<TargetApp> app);
    // The program in front runs with higher rights than ours (elevated): our keys would not reach it. Its name is
    // what KeyEvents::front() reports.
    void setForegroundElevated(bool elevated, const std::string& program = "");
    // Milliseconds between a key event and the moment the application handles it (default 0: at the next yield).
    void setInputLatency(int milliseconds);
    // Milliseconds between the moment the application handles a paste and the moment it fetches the clipboard
    // (default 0). A late fetch shows whether the program waits before restoring the clipboard.
    void setFetchDelay(int milliseconds);
    // A paste asks the clipboard `requests` times, gapMilliseconds apart (the list of formats first, then formats
    // one by one), and inserts what the last request brought; the result counts as fetched only then.
    void setFetchSteps(int requests, int gapMilliseconds);
    int fetchRequests() const; // clipboard requests the applications made so far
    // Milliseconds between the moment the application handles Ctrl+C and the moment its copy is on the clipboard.
    void setCopyDelay(int milliseconds);
    // Starts a clipboard manager: it takes the clipboard back with the last content it saw whenever the clipboard
    // is emptied, and takes over (owner "manager", same content) whatever an application or the user copies; with
    // takesResults, whatever this program offers too.
    void runClipboardManager(bool takesResults = false);
    // Starts a clipboard monitor (a history): it reads every new content at once, ours included.
    void runClipboardMonitor();
    // The monitor's history, oldest first: the text of each new content it read, except content carrying the hint
    // (platform::kHistoryHintFormat); a text it holds already moves up to the newest.
    const std::vector<std::string>& clipboardHistory() const;
    // Owner changes and requests are reported without saying who (as Wayland's data control does).
    void setOriginsUnknown(bool unknown);
    // How late the owner of a copy hands its text over (default 0; -1: never).
    void setTextHandOverDelay(int milliseconds);
    // The quiet time and the later-paste window this desktop reports (default: those of the Linux desktops).
    void setClipboardTraits(platform::Clipboard::Traits traits);
    // The notes of conversions that came to nothing, in order (the newest few hundred).
    const std::vector<std::string>& clipboardNotes() const;

    // --- clipboard ---------------------------------------------------------------------------------------------
    // What the user had on the clipboard: plain text, or any format (e.g. "image/png") with its bytes.
    void setClipboardText(const std::string& text);
    void setClipboardFormat(const std::string& format, const std::string& data);
    // An owner that offers its types in this order and renders each on request, taking renderMs virtual
    // milliseconds for it (the program's save waits on the clock as it would for a real owner).
    struct OfferedType {
        std::string type;
        std::string bytes;
        int renderMs = 0;
    };
    void setClipboardOffer(const std::vector<OfferedType>& types);
    // The types the program's last save read from the owner, in order (none when it used what was read ahead).
    const std::vector<std::string>& savedReads() const;
    // Read ahead of the hot key (on by default): the types read ahead so far, in order, and whether the last save
    // used what was kept.
    const std::vector<std::string>& aheadReads() const;
    bool savedAhead() const;
    void setReadAhead(bool on);
    // Time passes while the program waits for events (the background work and the applications go on).
    void idle(int milliseconds);
    // Snapshots of the clipboard the program holds now.
    int snapshotsAlive() const;
    std::optional<std::string> clipboardText() const;
    std::map<std::string, std::string> clipboardFormats() const;
    // The owner of the clipboard: "program" (this program, after setText or restore), "app" (the
    // foreground application), "user" (set by the test), "manager" (the clipboard manager), "" (nobody).
    std::string clipboardOwner() const;
    // Makes the next n clipboard operations of the program fail with RuntimeError.
    void failClipboard(int operations);
    // Used by the simulated applications. Each request of a paste is reported to the program's clipboard listener.
    void appCopies(const std::string& text);
    std::optional<std::string> appFetches(); // the last request of a paste: the text, nullopt when refused
    // A paste: fetches the clipboard (appFetches) now, or after the fetch delay, and hands the text to `insert`.
    // The application handles no further input before that.
    void appPastes(std::function<void(const std::optional<std::string>& text)> insert);

    // --- clock -----------------------------------------------------------------------------------------------------
    long long now() const; // virtual milliseconds since creation
    long long totalSlept() const;

    // --- message boxes -----------------------------------------------------------------------------------------
    // Answers given in order; when the queue is empty a box is answered with its default button.
    void queueAnswer(platform::MessageAnswer answer);
    const std::vector<ShownBox>& boxes() const;
    void clearBoxes();
    // Called while a box is shown (after it was recorded, before it is answered); may queue an answer.
    void onMessageBox(std::function<void(const ShownBox&)> hook);

    // --- tray, shell, autostart, process -------------------------------------------------------------------------
    bool trayIconShown() const;
    std::string trayTooltip() const;
    int trayAdds() const;
    // The messages shown beside the icon: "title: text", in order.
    const std::vector<std::string>& trayMessages() const;
    void trayMouse(int message); // the user acts on the icon: calls the handler set by the program
    const std::vector<ShellRequest>& shellRequests() const;
    std::optional<std::string> autostartEntry() const;
    void setAutostartEntry(std::optional<std::string> entry);
    void setProgramPath(const std::string& path, char separator); // default "C:\\Valumat\\valumat.exe", '\\'
    void setCommandLine(const std::string& commandLine);
    bool ended() const;
    int endStatus() const;

    // --- folders --------------------------------------------------------------------------------------------------
    // The user's data folder (default "": the system names none) and the installation's data folder (default "").
    // Folders are real ones on the disk: createFolder creates them there, and a folder is writable when it exists
    // and was not marked otherwise.
    void setUserDataFolder(const std::string& folder);
    void setInstalledDataFolder(const std::string& folder);
    std::string installedDataFolderAskedFor() const; // the program path of the last installedDataFolder call
    void setFolderWritable(const std::string& folder, bool writable);
    void failCreateFolder(const std::string& folder); // createFolder fails with "Zugriff verweigert"
    const std::vector<std::string>& createdFolders() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace valumat::fake
