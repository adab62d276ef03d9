// Tests of the Windows backend against the real system (run under Wine by run_backend_tests.sh). A console program
// with a small runner: every TEST runs in order; a failed CHECK is reported with its line and the test goes on.
// Prints "N passed, M failed" and exits with 1 when anything failed.
#include "platform/win32/win32desktop.h"
#include "runtime/errors.h"
#include "runtime/roundtrip.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace valumat;
using namespace valumat::win32;

struct Test {
    const char* name;
    void (*run)();
};
std::vector<Test>& tests() {
    static std::vector<Test> all;
    return all;
}
int failedChecks = 0;

struct Registrar {
    Registrar(const char* name, void (*run)()) { tests().push_back({name, run}); }
};

#define TEST(name)                                                                                                     \
    void name();                                                                                                       \
    const Registrar name##Registrar(#name, name);                                                                      \
    void name()

#define CHECK(condition)                                                                                               \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::printf("    line %d: CHECK(%s) failed\n", __LINE__, #condition);                                      \
            ++failedChecks;                                                                                            \
        }                                                                                                              \
    } while (false)

HINSTANCE instance() {
    return GetModuleHandleW(nullptr);
}

// A plain window of our own that records what reaches its own procedure.
std::vector<UINT> ownMessages;
LRESULT CALLBACK recordingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER || message == WM_HOTKEY) {
        ownMessages.push_back(message);
        return 1000 + static_cast<LRESULT>(message - (message >= WM_USER ? WM_USER : 0));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createWindow() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = recordingProcedure;
        windowClass.hInstance = instance();
        windowClass.lpszClassName = L"ValumatTestWindow";
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
    return CreateWindowExW(0, L"ValumatTestWindow", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           instance(), nullptr);
}

void pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Puts data on the clipboard as another program would (opened without our windows).
void putOnClipboard(const std::vector<std::pair<UINT, std::vector<unsigned char>>>& formats) {
    if (!OpenClipboard(nullptr)) {
        std::printf("    cannot open the clipboard\n");
        ++failedChecks;
        return;
    }
    EmptyClipboard();
    for (const auto& [format, bytes] : formats) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
        GlobalUnlock(memory);
        SetClipboardData(format, memory);
    }
    CloseClipboard();
}

std::vector<unsigned char> textBytes(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.c_str());
    return std::vector<unsigned char>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

// The bytes of a clipboard format now (empty when it is not there).
std::vector<unsigned char> clipboardBytes(UINT format) {
    std::vector<unsigned char> bytes;
    bool opened = false;
    for (int attempt = 0; attempt < 100 && !(opened = OpenClipboard(nullptr)); ++attempt) {
        Sleep(5); // a helper program may be reading it
    }
    if (!opened) {
        return bytes;
    }
    if (HANDLE handle = GetClipboardData(format)) {
        const SIZE_T size = GlobalSize(handle);
        const auto* data = static_cast<const unsigned char*>(GlobalLock(handle));
        if (data != nullptr) {
            bytes.assign(data, data + size);
            GlobalUnlock(handle);
        }
    }
    CloseClipboard();
    return bytes;
}

std::wstring clipboardText() {
    const std::vector<unsigned char> bytes = clipboardBytes(CF_UNICODETEXT);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

bool startsWith(const std::vector<unsigned char>& bytes, const std::vector<unsigned char>& prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// --- text, command line, process -----------------------------------------------------------------------------

TEST(utf8AndUtf16RoundTrip) {
    const std::string text = "12.345,60 \xE2\x82\xAC \xC3\xA4\xC3\xB6\xC3\xBC \xF0\x9F\x92\xB0"; // € äöü and a coin
    const std::wstring wide = widen(text);
    CHECK(wide.size() == 18); // the coin is a surrogate pair
    CHECK(wide.find(L'\x20AC') != std::wstring::npos);
    CHECK(narrow(wide) == text);
    CHECK(widen("").empty());
    CHECK(narrow(L"").empty());
    CHECK(widen("a\xFF") == L"a\xFFFD");
}

TEST(commandLineAfterTheProgramName) {
    CHECK(argumentsAfterProgram(L"\"C:\\Program Files\\Valumat\\valumat.exe\" /config") == L"/config");
    CHECK(argumentsAfterProgram(L"valumat.exe   /config") == L"/config");
    CHECK(argumentsAfterProgram(L"valumat.exe\t/config x") == L"/config x");
    CHECK(argumentsAfterProgram(L"\"valumat.exe\"/config") == L"/config");
    CHECK(argumentsAfterProgram(L"valumat.exe") == L"");
    CHECK(argumentsAfterProgram(L"\"C:\\a b\\valumat.exe\"") == L"");
    CHECK(argumentsAfterProgram(L"\"unterminated") == L"");
    CHECK(argumentsAfterProgram(nullptr) == L"");
}

TEST(processKnowsItsProgramFile) {
    Process process;
    const std::string path = process.programPath();
    CHECK(path.size() > 4 && path.substr(path.size() - 4) == ".exe");
    CHECK(path.find('\\') != std::string::npos);
    CHECK(GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(process.pathSeparator() == '\\');
    CHECK(process.commandLine() == narrow(argumentsAfterProgram(GetCommandLineW())));
}

// --- atoms and hot keys --------------------------------------------------------------------------------------

TEST(atomsAreCountedGlobalAtoms) {
    Atoms atoms;
    const std::uint16_t first = atoms.globalAddAtom("Rate200");
    const std::uint16_t second = atoms.globalAddAtom("rate200"); // atom names ignore case
    CHECK(first >= 0xC000);
    CHECK(first == second);
    wchar_t name[32] = {};
    GlobalGetAtomNameW(first, name, 32);
    CHECK(std::wstring(name) == L"Rate200");
    atoms.globalDeleteAtom(first);
    CHECK(GlobalFindAtomW(L"Rate200") == first); // still used once
    atoms.globalDeleteAtom(second);
    CHECK(GlobalFindAtomW(L"Rate200") == 0);
    atoms.globalDeleteAtom(second); // unknown now: ignored
}

TEST(hotKeyIdentifiersAreMappedIntoTheApplicationRange) {
    HWND window = createWindow();
    HotKeys hotKeys;
    const auto handle = handleOf(window);
    CHECK(hotKeys.registerHotKey(handle, -16384, platform::kModControl, VK_F11));
    CHECK(hotKeys.registerHotKey(handle, -16383, 0, VK_F12));
    const int a = hotKeys.systemId(window, -16384);
    const int b = hotKeys.systemId(window, -16383);
    CHECK(a >= 0 && a <= 0xBFFF);
    CHECK(b >= 0 && b <= 0xBFFF);
    CHECK(a != b);
    CHECK(hotKeys.runtimeId(window, static_cast<WPARAM>(a)) == -16384);
    CHECK(hotKeys.runtimeId(window, static_cast<WPARAM>(b)) == -16383);
    CHECK(hotKeys.runtimeId(window, 0xBEEF) == 0xBEEF); // not ours: unchanged
    // Registering the same identifier again keeps its system identifier.
    CHECK(hotKeys.registerHotKey(handle, -16384, platform::kModControl, VK_F10));
    CHECK(hotKeys.systemId(window, -16384) == a);
    // The old combination was replaced: it can be registered by someone else now.
    CHECK(RegisterHotKey(nullptr, 77, MOD_CONTROL, VK_F11));
    UnregisterHotKey(nullptr, 77);
    // A combination that is taken is refused and leaves nothing behind.
    CHECK(RegisterHotKey(nullptr, 78, MOD_CONTROL | MOD_ALT, VK_F9));
    CHECK(!hotKeys.registerHotKey(handle, -16000, platform::kModControl | MOD_ALT, VK_F9));
    CHECK(hotKeys.systemId(window, -16000) == -1);
    UnregisterHotKey(nullptr, 78);

    CHECK(hotKeys.unregisterHotKey(handle, -16384));
    CHECK(!hotKeys.unregisterHotKey(handle, -16384));
    CHECK(hotKeys.systemId(window, -16384) == -1);
    CHECK(hotKeys.unregisterHotKey(handle, -16383));
    DestroyWindow(window);
}

// --- window hook ---------------------------------------------------------------------------------------------

TEST(windowHookInstallsAndRestoresProcedures) {
    HWND window = createWindow();
    WindowHook hook;
    const auto handle = handleOf(window);
    std::vector<unsigned> seen;
    platform::WindowProc previous =
        hook.setWindowProc(handle,
                           [&seen, &previous](platform::WindowHandle w, unsigned message, std::intptr_t wParam,
                                              std::intptr_t lParam) -> std::intptr_t {
                               seen.push_back(message);
                               if (message == WM_USER + 1) {
                                   return 42;
                               }
                               return previous(w, message, wParam, lParam);
                           });
    CHECK(static_cast<bool>(previous));
    CHECK(hook.hooked(window));
    ownMessages.clear();
    CHECK(SendMessageW(window, WM_USER + 1, 0, 0) == 42);   // handled by the hook
    CHECK(SendMessageW(window, WM_USER + 2, 0, 0) == 1002); // passed on to the window's own procedure
    CHECK(seen.size() >= 2);
    CHECK(ownMessages == std::vector<UINT>{WM_USER + 2});

    // A second procedure replaces the first; the first comes back.
    platform::WindowProc first = hook.setWindowProc(
        handle, [](platform::WindowHandle, unsigned, std::intptr_t, std::intptr_t) -> std::intptr_t { return 7; });
    CHECK(SendMessageW(window, WM_USER + 1, 0, 0) == 7);
    platform::WindowProc second = hook.setWindowProc(handle, first);
    CHECK(SendMessageW(window, WM_USER + 1, 0, 0) == 42);
    CHECK(second(handle, WM_USER + 1, 0, 0) == 7);

    // Installing the procedure from before the hook unhooks the window.
    hook.setWindowProc(handle, previous);
    CHECK(!hook.hooked(window));
    CHECK(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == recordingProcedure);
    CHECK(SendMessageW(window, WM_USER + 1, 0, 0) == 1001);
    DestroyWindow(window);

    bool refused = false;
    try {
        hook.setWindowProc(handle, previous); // the window is gone
    } catch (const RuntimeError&) {
        refused = true;
    }
    CHECK(refused);
}

TEST(hotKeyMessageReachesTheHookWithTheRegisteredIdentifier) {
    HWND window = createWindow();
    HotKeys hotKeys;
    WindowHook hook(&hotKeys);
    const auto handle = handleOf(window);
    std::vector<std::intptr_t> identifiers;
    platform::WindowProc previous = hook.setWindowProc(
        handle, [&](platform::WindowHandle w, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
            if (message == platform::kWmHotKey) {
                identifiers.push_back(wParam);
                return std::intptr_t{0};
            }
            return previous(w, message, wParam, lParam);
        });
    const int id = static_cast<std::int16_t>(0xC123); // an atom widened as the runtime does: -16093
    CHECK(hotKeys.registerHotKey(handle, id, 0, VK_F8));
    const int systemId = hotKeys.systemId(window, id);

    // Delivered by Windows as a message with the system identifier ...
    SendMessageW(window, WM_HOTKEY, static_cast<WPARAM>(systemId), MAKELPARAM(0, VK_F8));
    CHECK(identifiers.size() == 1 && identifiers.back() == id);
    CHECK(identifiers.size() == 1 && identifiers.back() == static_cast<std::int16_t>(0xC123));

    // ... and for a real key press through the system's input.
    KeyEvents keys;
    keys.keyEvent(VK_F8, 0);
    keys.keyEvent(VK_F8, platform::kKeyEventKeyUp);
    const ULONGLONG until = GetTickCount64() + 2000;
    while (identifiers.size() < 2 && GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pump();
    }
    CHECK(identifiers.size() == 2);
    CHECK(identifiers.size() == 2 && identifiers.back() == id);

    CHECK(hotKeys.unregisterHotKey(handle, id));
    hook.setWindowProc(handle, previous);
    DestroyWindow(window);
}

// The script a hot key runs sends Ctrl+C at once: the user's hands must be off the keys first, or letting go of Ctrl
// in the middle of it makes the application type a "c" over the selection. Held past the bound, it runs all the same.
TEST(aHotKeyReachesTheHookOnceItsKeysAreUp) {
    HWND window = createWindow();
    HotKeys hotKeys;
    WindowHook hook(&hotKeys);
    const auto handle = handleOf(window);
    std::vector<bool> keysDownWhenSeen;
    platform::WindowProc previous = hook.setWindowProc(
        handle, [&](platform::WindowHandle w, unsigned message, std::intptr_t wParam, std::intptr_t lParam) {
            if (message == platform::kWmHotKey) {
                keysDownWhenSeen.push_back((GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0 ||
                                           (GetAsyncKeyState(VK_F9) & 0x8000) != 0);
                return std::intptr_t{0};
            }
            return previous(w, message, wParam, lParam);
        });
    CHECK(hotKeys.registerHotKey(handle, 7, MOD_CONTROL, VK_F9));
    const auto waitForHotKeys = [&](std::size_t count) {
        const ULONGLONG until = GetTickCount64() + 4000;
        while (keysDownWhenSeen.size() < count && GetTickCount64() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            pump();
        }
    };
    KeyEvents keys;
    // Pressed, held for a while, the key let go before Ctrl (as people do).
    keys.keyEvent(VK_CONTROL, 0);
    keys.keyEvent(VK_F9, 0);
    std::thread user([] {
        Sleep(300);
        KeyEvents hands;
        hands.keyEvent(VK_F9, platform::kKeyEventKeyUp);
        Sleep(30);
        hands.keyEvent(VK_CONTROL, platform::kKeyEventKeyUp);
    });
    waitForHotKeys(1);
    user.join();
    CHECK(keysDownWhenSeen.size() == 1);
    CHECK(keysDownWhenSeen == std::vector<bool>{false});

    // Held and never let go: handed on after the bound, keys still down.
    keys.keyEvent(VK_CONTROL, 0);
    keys.keyEvent(VK_F9, 0);
    waitForHotKeys(2);
    keys.keyEvent(VK_F9, platform::kKeyEventKeyUp);
    keys.keyEvent(VK_CONTROL, platform::kKeyEventKeyUp);
    CHECK(keysDownWhenSeen == (std::vector<bool>{false, true}));

    CHECK(hotKeys.unregisterHotKey(handle, 7));
    hook.setWindowProc(handle, previous);
    DestroyWindow(window);
}

TEST(messagePumpHandlesEverythingAndKeepsQuit) {
    HWND window = createWindow();
    MessagePump messagePump;
    ownMessages.clear();
    PostMessageW(window, WM_USER + 3, 0, 0);
    PostMessageW(window, WM_USER + 4, 0, 0);
    messagePump.pumpMessages();
    CHECK(ownMessages == (std::vector<UINT>{WM_USER + 3, WM_USER + 4}));
    PostQuitMessage(3);
    messagePump.pumpMessages();
    MSG message;
    CHECK(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && message.wParam == 3);
    DestroyWindow(window);
}

// --- other programs on the same clipboard ------------------------------------------------------------------------

// The test program started again as "--helper KIND [TEXT]" plays another program (helperMain below).
constexpr const wchar_t* kReadyEvent = L"Local\\ValumatTest.Ready";
constexpr const wchar_t* kGoEvent = L"Local\\ValumatTest.Go";
constexpr const wchar_t* kQuitEvent = L"Local\\ValumatTest.Quit";
constexpr const wchar_t* kActedEvent = L"Local\\ValumatTest.Acted";

HANDLE namedEvent(const wchar_t* name) {
    static std::vector<std::pair<std::wstring, HANDLE>> events;
    for (const auto& [known, handle] : events) {
        if (known == name) {
            return handle;
        }
    }
    HANDLE handle = CreateEventW(nullptr, FALSE, FALSE, name); // auto-reset; opens the parent's when it exists
    events.emplace_back(name, handle);
    return handle;
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// Opens the clipboard with the window (retrying while someone holds it) and puts text there, owned by the window.
bool copyFrom(HWND window, const std::wstring& text) {
    bool opened = false;
    for (int attempt = 0; attempt < 100 && !(opened = OpenClipboard(window)); ++attempt) {
        Sleep(5);
    }
    if (!opened) {
        return false;
    }
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory);
    SetClipboardData(CF_UNICODETEXT, memory);
    CloseClipboard();
    return true;
}

// The clipboard's text read through a window, retrying while someone holds it ("" when it holds none).
std::wstring readThrough(HWND window) {
    bool opened = false;
    for (int attempt = 0; attempt < 100 && !(opened = OpenClipboard(window)); ++attempt) {
        Sleep(5);
    }
    std::wstring text;
    if (!opened) {
        return text;
    }
    if (HANDLE handle = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(handle));
        GlobalUnlock(handle);
    }
    CloseClipboard();
    return text;
}

// Another program, running while it lives: started, it has done its first step (kReadyEvent); destroyed, it is told
// to end and waited for.
class Helper {
public:
    // verb: started through the shell with that verb ("runas": with higher rights, where the system can).
    explicit Helper(const std::wstring& arguments, const wchar_t* verb = nullptr) {
        ResetEvent(namedEvent(kReadyEvent));
        ResetEvent(namedEvent(kGoEvent));
        ResetEvent(namedEvent(kActedEvent));
        ResetEvent(namedEvent(kQuitEvent));
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(path) + L"\" --helper " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        SHELLEXECUTEINFOW shell{};
        shell.cbSize = sizeof shell;
        shell.fMask = SEE_MASK_NOCLOSEPROCESS;
        shell.lpVerb = verb;
        shell.lpFile = path;
        const std::wstring parameters = L"--helper " + arguments;
        shell.lpParameters = parameters.c_str();
        shell.nShow = SW_SHOW;
        if (verb != nullptr && ShellExecuteExW(&shell) != 0 && shell.hProcess != nullptr) {
            info_.hProcess = shell.hProcess;
            info_.dwProcessId = GetProcessId(shell.hProcess);
        }
        if (info_.hProcess != nullptr ||
            (verb == nullptr && CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                               nullptr, &startup, &info_))) {
            const HANDLE waits[] = {namedEvent(kReadyEvent), info_.hProcess};
            started_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
        }
        if (!started_) {
            std::printf("    helper \"%ls\" did not start\n", arguments.c_str());
            ++failedChecks;
        }
    }
    ~Helper() {
        if (info_.hProcess == nullptr) {
            return;
        }
        SetEvent(namedEvent(kQuitEvent));
        // It may need one of our windows to answer while it ends.
        while (MsgWaitForMultipleObjects(1, &info_.hProcess, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
            pump();
        }
        TerminateProcess(info_.hProcess, 1); // no effect when it ended
        CloseHandle(info_.hProcess);
        if (info_.hThread != nullptr) {
            CloseHandle(info_.hThread);
        }
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;
    HANDLE process() const { return info_.hProcess; }
    DWORD id() const { return info_.dwProcessId; }
    // Waits until the helper has acted (taken or read the clipboard), handling our messages meanwhile.
    bool acted(DWORD milliseconds = 5000) const {
        HANDLE acted = namedEvent(kActedEvent);
        const ULONGLONG deadline = GetTickCount64() + milliseconds;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) {
                return false;
            }
            if (MsgWaitForMultipleObjects(1, &acted, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT) ==
                WAIT_OBJECT_0) {
                return true;
            }
            pump();
        }
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// A window of this test program in front, standing for the application the hot key was pressed in (one for all
// tests: showing a window takes Wine a while without a window manager).
struct ForegroundWindow {
    HWND window;
    ForegroundWindow() {
        static const HWND shared = [] {
            HWND created = createWindow();
            ShowWindow(created, SW_SHOW);
            return created;
        }();
        window = shared;
        SetForegroundWindow(window);
        pump();
        if (GetForegroundWindow() != window) {
            std::printf("    the test window could not be brought to the front\n");
            ++failedChecks;
        }
    }
};

// The application's copy made from another thread after a while, as the target answers our Ctrl+C.
std::thread copyLater(HWND window, std::wstring text, DWORD delay = 50) {
    return std::thread([window, text = std::move(text), delay] {
        Sleep(delay);
        copyFrom(window, text);
    });
}

// Runs work on another thread and handles our messages until it is done (it may need our windows to answer).
void whilePumping(const std::function<void()>& work) {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&work, done] {
        work();
        SetEvent(done);
    });
    while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        pump();
    }
    worker.join();
    CloseHandle(done);
}

// The message window of a Win32Desktop in another process.
HWND messageWindowOf(DWORD process) {
    struct Search {
        DWORD process;
        HWND found;
    } search{process, nullptr};
    EnumWindows(
        [](HWND candidate, LPARAM parameter) -> BOOL CALLBACK {
            auto* s = reinterpret_cast<Search*>(parameter);
            wchar_t name[64] = {};
            GetClassNameW(candidate, name, 64);
            if (processOf(candidate) == s->process && std::wstring(name) == L"ValumatMessageWindow") {
                s->found = candidate;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// What a target does on Ctrl+V: opens the clipboard without a window and takes the text.
std::thread pasteLater(std::wstring& pasted, DWORD delay = 30) {
    return std::thread([&pasted, delay] {
        Sleep(delay);
        pasted = readThrough(nullptr);
    });
}

// --- clipboard -----------------------------------------------------------------------------------------------

// One conversion's round trip over the desktop's clipboard, driven step by step as the dispatcher drives it:
// begun (saved and emptied) when made.
struct Trip {
    explicit Trip(Clipboard& clipboard) : trip(clipboard, [] { return false; }) { trip.begin(); }
    // Our Ctrl+C goes out; then the copy's text, waited for.
    std::string copy() {
        trip.keysGoingOut();
        return trip.copiedText();
    }
    // The result is offered and our Ctrl+V goes out.
    void offerAndPaste(const std::string& result) {
        trip.offer(result);
        trip.keysGoingOut();
    }
    RoundTrip trip;
};

TEST(clipboardKeepsTextAndRegisteredFormatsAcrossSaveAndRestore) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    const UINT custom = RegisterClipboardFormatW(L"Valumat Test Format");
    const std::vector<unsigned char> customBytes{1, 2, 3, 0, 255, 7};
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"Gr\u00fc\u00dfe 100 \u20ac")}, {custom, customBytes}});

    auto saved = clipboard.save();
    CHECK(clipboard.lastSavedFormats() >= 2);
    clipboard.empty();
    CHECK(clipboard.readText(100).empty());
    CHECK(CountClipboardFormats() == 0);
    clipboard.restore(*saved);
    CHECK(clipboardText() == L"Gr\u00fc\u00dfe 100 \u20ac");
    CHECK(startsWith(clipboardBytes(custom), customBytes));
    CHECK(IsClipboardFormatAvailable(CF_TEXT)); // made again from the Unicode text
    // The snapshot stays usable.
    clipboard.empty();
    clipboard.restore(*saved);
    CHECK(startsWith(clipboardBytes(custom), customBytes));
}

TEST(clipboardKeepsPicturesAcrossSaveAndRestore) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    // A 2x2 32-bit DIB and an enhanced metafile, as a drawing program would offer them.
    std::vector<unsigned char> dib(sizeof(BITMAPINFOHEADER) + 16);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 2;
    header->biHeight = 2;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    for (std::size_t i = 0; i < 16; ++i) {
        dib[sizeof(BITMAPINFOHEADER) + i] = static_cast<unsigned char>(i * 16);
    }
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    Rectangle(recorder, 0, 0, 40, 30);
    HENHMETAFILE metafile = CloseEnhMetaFile(recorder);
    const UINT metafileSize = GetEnhMetaFileBits(metafile, 0, nullptr);
    OpenClipboard(nullptr);
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, dib.size());
    std::memcpy(GlobalLock(memory), dib.data(), dib.size());
    GlobalUnlock(memory);
    SetClipboardData(CF_DIB, memory);
    SetClipboardData(CF_ENHMETAFILE, metafile);
    CloseClipboard();

    auto saved = clipboard.save();
    CHECK(clipboard.lastSkippedFormats() >= 1); // the bitmap (made from the DIB) at least
    clipboard.empty();
    CHECK(!IsClipboardFormatAvailable(CF_DIB));
    clipboard.restore(*saved);
    CHECK(startsWith(clipboardBytes(CF_DIB), dib));
    CHECK(IsClipboardFormatAvailable(CF_BITMAP));
    UINT restoredSize = 0;
    if (OpenClipboard(nullptr)) {
        if (auto restored = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE))) {
            restoredSize = GetEnhMetaFileBits(restored, 0, nullptr);
        }
        CloseClipboard();
    }
    CHECK(restoredSize == metafileSize);
}

// An owner that renders each of its formats on request, slowly (aSlowDelayedRenderingOwner...).
struct SlowOwner {
    std::vector<UINT> formats;
    std::vector<UINT> rendered;
    HWND window = nullptr;
};
SlowOwner slowOwner;
LRESULT CALLBACK slowOwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RENDERFORMAT) {
        const auto format = static_cast<UINT>(wParam);
        slowOwner.rendered.push_back(format);
        Sleep(300);
        const std::vector<unsigned char> bytes =
            format == CF_UNICODETEXT ? textBytes(L"1\t2") : std::vector<unsigned char>{7, 7, 7, 7};
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
        std::memcpy(GlobalLock(memory), bytes.data(), bytes.size());
        GlobalUnlock(memory);
        SetClipboardData(format, memory);
        return 0;
    }
    if (message == WM_RENDERALLFORMATS || message == WM_DESTROYCLIPBOARD) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// An owner of its own thread that offers many formats with delayed rendering, each taking 300 ms to render (a
// spreadsheet's range: its own format and its older ones, text, HTML, RTF, pictures of the range). The save
// asks only for the text and the owner's format; the pictures of the text are never rendered, the extras not once
// the bound for them is over, and what comes back is those two.
TEST(aSlowDelayedRenderingOwnerRendersOnlyWhatTheSaveKeeps) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    slowOwner = {};
    SlowOwner& owner = slowOwner;
    const UINT biff = RegisterClipboardFormatW(L"Biff12");
    owner.formats = {biff,
                     RegisterClipboardFormatW(L"HTML Format"),
                     RegisterClipboardFormatW(L"Rich Text Format"),
                     CF_UNICODETEXT,
                     CF_ENHMETAFILE,
                     CF_DIB,
                     RegisterClipboardFormatW(L"PNG")};
    for (const wchar_t* name : {L"JFIF", L"GIF", L"Biff8", L"Biff5", L"Wk1", L"Csv"}) {
        owner.formats.push_back(RegisterClipboardFormatW(name));
    }
    for (const UINT format : {CF_METAFILEPICT, CF_SYLK, CF_DIF, CF_TIFF}) {
        owner.formats.push_back(format);
    }
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread([ready] {
        WNDCLASSW type{};
        type.lpfnWndProc = slowOwnerProcedure;
        type.hInstance = instance();
        type.lpszClassName = L"ValumatSlowOwner";
        RegisterClassW(&type);
        slowOwner.window =
            CreateWindowW(L"ValumatSlowOwner", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance(), nullptr);
        OpenClipboard(slowOwner.window);
        EmptyClipboard();
        for (const UINT format : slowOwner.formats) {
            SetClipboardData(format, nullptr);
        }
        CloseClipboard();
        SetEvent(ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        DestroyWindow(slowOwner.window);
    });
    WaitForSingleObject(ready, 5000);

    auto saved = clipboard.save();
    CHECK((owner.rendered == std::vector<UINT>{CF_UNICODETEXT, biff}));
    clipboard.empty();
    clipboard.restore(*saved);
    CHECK(clipboardText() == L"1\t2");
    CHECK(startsWith(clipboardBytes(biff), {7, 7, 7, 7}));
    CHECK(!IsClipboardFormatAvailable(CF_DIB));
    PostThreadMessageW(GetWindowThreadProcessId(owner.window, nullptr), WM_QUIT, 0, 0);
    thread.join();
    CloseHandle(ready);
}

TEST(emptyingLeavesTheClipboardWithoutOwner) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.offerText("195,58");
    CHECK(GetClipboardOwner() == desktop.messageWindow());
    CHECK(clipboard.isOurs());
    clipboard.empty();
    CHECK(GetClipboardOwner() == nullptr);
    CHECK(CountClipboardFormats() == 0);
    CHECK(!clipboard.isOurs());
}

TEST(resultIsRenderedWhenTheTargetFetchesIt) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    Trip trip(clipboard);
    trip.offerAndPaste("24.145,89 \xE2\x82\xAC");
    CHECK(clipboard.isOurs());
    CHECK(IsClipboardFormatAvailable(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing")));

    std::wstring fetched;
    std::thread target([&fetched] {
        Sleep(50);
        for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) {
            Sleep(10);
        }
        if (HANDLE handle = GetClipboardData(CF_UNICODETEXT)) { // sends WM_RENDERFORMAT to the owner
            fetched = static_cast<const wchar_t*>(GlobalLock(handle));
            GlobalUnlock(handle);
        }
        CloseClipboard();
    });
    const ULONGLONG start = GetTickCount64();
    trip.trip.awaitPaste();
    const ULONGLONG waited = GetTickCount64() - start;
    target.join();
    CHECK(trip.trip.fetched());
    CHECK(waited < 1500);
    CHECK(fetched == L"24.145,89 \u20ac");
    // Our own result is no application's copy: readText does not read it.
    clipboard.offerText("1");
    CHECK(clipboard.readText(100).empty());
    CHECK(clipboard.isOurs());
    clipboard.empty();
}

TEST(anAnsiTargetFetchingTheResultCountsToo) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    Trip trip(clipboard);
    trip.offerAndPaste("195,58");
    std::string fetched;
    std::thread target([&fetched] {
        Sleep(30);
        for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) {
            Sleep(10);
        }
        if (HANDLE handle = GetClipboardData(CF_TEXT)) { // made by the system from our Unicode text
            fetched = static_cast<const char*>(GlobalLock(handle));
            GlobalUnlock(handle);
        }
        CloseClipboard();
    });
    trip.trip.awaitPaste();
    target.join();
    CHECK(trip.trip.fetched());
    CHECK(fetched == "195,58");
}

TEST(aResultStillPromisedWhenTheProgramEndsStaysOnTheClipboard) {
    {
        Win32Desktop desktop(instance());
        desktop.clipboard().offerText("24.145,89");
    }
    CHECK(clipboardText() == L"24.145,89");
}

TEST(waitingForAFetchThatNeverComesEndsOnTimeOnce) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    Trip trip(clipboard);
    trip.offerAndPaste("195,58");
    ULONGLONG start = GetTickCount64();
    trip.trip.awaitPaste();
    const ULONGLONG waited = GetTickCount64() - start;
    CHECK(waited >= RoundTrip::kFetchWaitMs - 20);
    CHECK(waited < RoundTrip::kFetchWaitMs + 1500);
    CHECK(!trip.trip.fetched());
    CHECK(clipboard.isOurs());
    // Further keys: the target that did not paste is not waited for again.
    trip.trip.keysGoingOut();
    start = GetTickCount64();
    trip.trip.awaitPaste();
    CHECK(GetTickCount64() - start < 200);
    trip.trip.finish();
}

TEST(wholeConversionRestoresTheUsersClipboard) {
    // The dispatcher's order: save, clear, (the application copies), wait for the copy, read, set the result,
    // (the target pastes), wait for the fetch, restore.
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    ForegroundWindow front;
    const UINT custom = RegisterClipboardFormatW(L"Valumat Test Format");
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}, {custom, {9, 8, 7}}});
    Trip trip(clipboard);
    std::thread application = copyLater(front.window, L"100");
    CHECK(trip.copy() == "100");
    application.join();
    trip.offerAndPaste("195,58");
    std::wstring pasted;
    std::thread target = pasteLater(pasted);
    trip.trip.awaitPaste();
    target.join();
    CHECK(trip.trip.fetched());
    CHECK(pasted == L"195,58");
    trip.trip.finish();
    CHECK(clipboardText() == L"user's text");
    CHECK(startsWith(clipboardBytes(custom), {9, 8, 7}));
}

TEST(anEmptyClipboardComesBackEmpty) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    auto saved = clipboard.save();
    clipboard.offerText("x");
    clipboard.empty();
    clipboard.restore(*saved);
    CHECK(CountClipboardFormats() == 0);
}

TEST(aClipboardHeldOpenElsewhereIsRefused) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.setOpenRetries(3, 5);
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([opened, release] {
        OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, 5000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 5000);
    bool refused = false;
    try {
        clipboard.save();
    } catch (const RuntimeError& e) {
        refused = e.description() == "Zugriff verweigert";
    }
    CHECK(refused);
    // Held only briefly: the retries get it.
    clipboard.setOpenRetries(50, 10);
    std::thread releaser([release] {
        Sleep(60);
        SetEvent(release);
    });
    bool read = true;
    try {
        clipboard.save();
    } catch (const RuntimeError&) {
        read = false;
    }
    CHECK(read);
    releaser.join();
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
}

TEST(theForegroundApplicationsCopyIsRecognised) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    ForegroundWindow front;
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}});
    Trip trip(clipboard);
    CHECK(clipboard.readText(100).empty()); // nothing copied yet: not the user's text either
    std::thread application = copyLater(front.window, L"100");
    const ULONGLONG start = GetTickCount64();
    const std::string copied = trip.copy();
    const ULONGLONG waited = GetTickCount64() - start;
    application.join();
    CHECK(waited < RoundTrip::kCopyWaitMs - 100); // woken by the change, not by the bound
    CHECK(trip.trip.copyRecognised());
    CHECK(copied == "100");
    trip.trip.finish();
    CHECK(clipboardText() == L"user's text");
}

TEST(aChangeByAnotherProgramIsNotTheApplicationsCopy) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    ForegroundWindow front;
    struct Case {
        const char* name;
        bool otherProgramFirst; // another process takes the clipboard after it was emptied, before our keys
        bool withoutOwner;      // then text copied with OpenClipboard(NULL)
        bool applicationCopies; // then the window in front copies
        bool recognised;
        std::string text;
    };
    const Case cases[] = {
        {"another program alone", true, false, false, false, ""},
        {"another program, then the application", true, false, true, true, "100"},
        {"a copy without owner first", false, true, false, true, "200"},
        {"another program, then a copy without owner", true, true, false, false, ""},
    };
    for (const Case& c : cases) {
        std::printf("    case: %s\n", c.name);
        const int before = failedChecks;
        Trip trip(clipboard);
        std::unique_ptr<Helper> other;
        if (c.otherProgramFirst) {
            other = std::make_unique<Helper>(L"own Verlauf");
            CHECK(processOf(GetClipboardOwner()) == other->id());
            pump(); // its change is seen, as while the conversion waits for the copy
        }
        trip.trip.keysGoingOut();
        if (c.withoutOwner) {
            putOnClipboard({{CF_UNICODETEXT, textBytes(L"200")}});
        }
        std::thread application;
        if (c.applicationCopies) {
            application = copyLater(front.window, L"100");
        }
        const ULONGLONG start = GetTickCount64();
        CHECK(trip.trip.copiedText() == c.text);
        CHECK(trip.trip.copyRecognised() == c.recognised);
        if (application.joinable()) {
            application.join();
        }
        if (!c.recognised) {
            CHECK(GetTickCount64() - start >= RoundTrip::kCopyWaitMs - 20); // waited for the whole bound
        }
        trip.trip.finish();
        if (failedChecks != before) {
            std::printf("    ... in case: %s\n", c.name);
        }
    }
}

TEST(waitingForACopyThatNeverComesEndsAtTheBound) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    Trip trip(clipboard);
    const ULONGLONG start = GetTickCount64();
    CHECK(trip.copy().empty());
    const ULONGLONG waited = GetTickCount64() - start;
    CHECK(waited >= RoundTrip::kCopyWaitMs - 20);
    CHECK(waited < RoundTrip::kCopyWaitMs + 1500);
    CHECK(!trip.trip.copyRecognised());
    CHECK(CountClipboardFormats() == 0);
}

TEST(theUsersClipboardComesBackWhateverAMonitorDid) {
    enum class When { AllAlong, BeforePaste, AfterPaste };
    struct Case {
        const char* name;
        const wchar_t* helper;     // the other program at work
        When when;                 // all along (reacting to every change), or taking the clipboard once
        const wchar_t* afterwards; // the text on the clipboard at the end
        bool customFormatBack;
    };
    const Case cases[] = {
        {"a monitor takes the clipboard after the paste", L"own-on-go Kopie", When::AfterPaste, L"user's text", true},
        {"a manager takes the clipboard before the paste", L"own-on-go Kopie", When::BeforePaste, L"user's text", true},
        {"a history tool reads every change", L"watch", When::AllAlong, L"user's text", true},
        {"a manager re-takes every change", L"retake", When::AllAlong, L"user's text", false},
    };
    const UINT custom = RegisterClipboardFormatW(L"Valumat Test Format");
    for (const Case& c : cases) {
        std::printf("    case: %s\n", c.name);
        const int before = failedChecks;
        Win32Desktop desktop(instance());
        Clipboard& clipboard = desktop.clipboard();
        ForegroundWindow front;
        putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}, {custom, {9, 8, 7}}});
        Helper helper(c.helper);
        Trip trip(clipboard);
        std::thread application = copyLater(front.window, L"100");
        CHECK(trip.copy() == "100");
        application.join();
        if (c.when == When::AllAlong) {
            CHECK(helper.acted()); // it has seen the application's copy (and taken it, the manager)
        }
        trip.trip.offer("195,58");
        if (c.when == When::AllAlong) {
            CHECK(helper.acted()); // it was refused our result: its asking is no paste
            CHECK(!trip.trip.fetched());
        }
        if (c.when == When::BeforePaste) {
            SetEvent(namedEvent(kGoEvent));
            CHECK(helper.acted());
            pump();                 // its change is seen
            trip.trip.awaitPaste(); // offered again, before the paste keys go out
            CHECK(trip.trip.reoffers() == 1);
            CHECK(GetClipboardOwner() == desktop.messageWindow());
        }
        trip.trip.keysGoingOut();
        std::wstring pasted;
        std::thread target = pasteLater(pasted);
        trip.trip.awaitPaste();
        target.join();
        CHECK(trip.trip.fetched());
        CHECK(pasted == L"195,58");
        if (c.when == When::AfterPaste) {
            SetEvent(namedEvent(kGoEvent));
            CHECK(helper.acted());
            CHECK(processOf(GetClipboardOwner()) == helper.id());
        }
        trip.trip.finish();
        if (c.when == When::AllAlong) {
            CHECK(helper.acted()); // it has seen the restored text (and taken it, the manager)
        }
        CHECK(clipboardText() == c.afterwards);
        if (c.customFormatBack) {
            CHECK(startsWith(clipboardBytes(custom), {9, 8, 7}));
        }
        if (failedChecks != before) {
            std::printf("    ... in case: %s\n", c.name);
        }
    }
}

// A paste that asks for several formats while it holds the clipboard open (here without a window, which Wine would
// let another thread take over) gets our result for every one of them: neither the restore nor empty() lands in
// the middle of it.
TEST(aPasteHoldingTheClipboardOpenIsNeverCutShort) {
    for (const bool clearing : {false, true}) {
        std::printf("    case: %s\n", clearing ? "empty() during the paste" : "restore() during the paste");
        Win32Desktop desktop(instance());
        Clipboard& clipboard = desktop.clipboard();
        putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}});
        Trip trip(clipboard);
        trip.offerAndPaste("195,58");
        HANDLE fetchedOnce = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::wstring first;
        std::string second;
        std::thread target([&] {
            if (!OpenClipboard(nullptr)) {
                return;
            }
            if (HANDLE handle = GetClipboardData(CF_UNICODETEXT)) {
                first = static_cast<const wchar_t*>(GlobalLock(handle));
                GlobalUnlock(handle);
            }
            SetEvent(fetchedOnce);
            Sleep(150); // still pasting
            if (HANDLE handle = GetClipboardData(CF_TEXT)) {
                second = static_cast<const char*>(GlobalLock(handle));
                GlobalUnlock(handle);
            }
            CloseClipboard();
        });
        trip.trip.awaitPaste();
        CHECK(trip.trip.fetched());
        WaitForSingleObject(fetchedOnce, 5000);
        if (clearing) {
            clipboard.empty();
        } else {
            trip.trip.finish();
        }
        target.join();
        CloseHandle(fetchedOnce);
        CHECK(first == L"195,58");
        CHECK(second == "195,58");
        if (!clearing) {
            CHECK(clipboardText() == L"user's text");
        } else {
            CHECK(CountClipboardFormats() == 0);
        }
    }
}

// A copy in the application after our result (a script that copies again), or one that comes too late for the
// conversion: the user's content comes back all the same.
TEST(theUsersContentComesBackAfterALaterCopy) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    ForegroundWindow front;
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}});
    {
        Trip trip(clipboard);
        std::thread application = copyLater(front.window, L"100");
        CHECK(trip.copy() == "100");
        application.join();
        trip.offerAndPaste("195,58");
        std::wstring pasted;
        std::thread target = pasteLater(pasted);
        trip.trip.awaitPaste();
        target.join();
        CHECK(pasted == L"195,58");
        trip.trip.keysGoingOut(); // the script copies again
        whilePumping([&front] { copyFrom(front.window, L"neuer"); });
        trip.trip.awaitPaste(); // the result is gone by the script's own doing: nothing to wait for
        CHECK(trip.trip.reoffers() == 0);
        trip.trip.finish();
        CHECK(clipboardText() == L"user's text");
    }
    {
        Trip trip(clipboard); // the copy did not come in time: no result
        whilePumping([&front] { copyFrom(front.window, L"spaet"); });
        trip.trip.finish();
        CHECK(clipboardText() == L"user's text");
    }
}

TEST(aSleepStillAnswersRenderRequestsAndSeesTheCopyBeforeAManager) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    platform::Sleeper& sleeper = *desktop.platform().sleeper;
    ForegroundWindow front;
    Helper manager(L"own-on-go Verwaltung");
    Trip trip(clipboard);
    trip.trip.keysGoingOut();
    // The application copies during the SLEEP, and a manager takes the clipboard a little later, still during it.
    std::thread application([&front] {
        Sleep(50);
        copyFrom(front.window, L"100");
        Sleep(100);
        SetEvent(namedEvent(kGoEvent));
    });
    sleeper.sleep(1500); // long enough for a loaded machine: what counts happens early in it
    application.join();
    CHECK(WaitForSingleObject(namedEvent(kActedEvent), 0) == WAIT_OBJECT_0);
    CHECK(processOf(GetClipboardOwner()) == manager.id());
    CHECK(trip.trip.copyRecognised()); // seen during the SLEEP, before the manager took over
    CHECK(trip.trip.copiedText() == "100");

    // A target fetching our result during a SLEEP is answered at once, not when the SLEEP is over.
    trip.offerAndPaste("195,58");
    ULONGLONG fetchedAt = 0;
    std::wstring pasted;
    std::thread target([&] {
        Sleep(30);
        pasted = readThrough(nullptr);
        fetchedAt = GetTickCount64();
    });
    sleeper.sleep(1500); // long enough for a loaded machine: what counts happens early in it
    const ULONGLONG sleepEnded = GetTickCount64();
    target.join();
    CHECK(pasted == L"195,58");
    CHECK(fetchedAt != 0 && fetchedAt + 200 < sleepEnded);
    CHECK(trip.trip.fetched());
}

// The end of the session reaches a program in the middle of a conversion ("restore": the user's clipboard goes
// back) or with a result still promised ("promise": the result is rendered before the process goes).
TEST(theEndOfTheSessionEndsTheProgramWithTheClipboardInPlace) {
    struct Case {
        const wchar_t* mode;
        const wchar_t* afterwards;
    };
    for (const Case& c : {Case{L"restore", L"Benutzertext"}, Case{L"promise", L"24.145,89"}}) {
        std::printf("    case: %ls\n", c.mode);
        Helper program(std::wstring(L"session-end ") + c.mode);
        HWND window = messageWindowOf(program.id());
        CHECK(window != nullptr);
        DWORD_PTR answer = 0;
        CHECK(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, &answer));
        CHECK(answer == TRUE);
        const ULONGLONG start = GetTickCount64();
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 3000, nullptr);
        CHECK(WaitForSingleObject(program.process(), 5000) == WAIT_OBJECT_0);
        std::printf("    ended %llu ms after WM_ENDSESSION\n",
                    static_cast<unsigned long long>(GetTickCount64() - start));
        DWORD status = 1;
        GetExitCodeProcess(program.process(), &status);
        CHECK(status == 0);
        CHECK(clipboardText() == c.afterwards);
    }
}

// --- tray, message boxes, shell, autostart -------------------------------------------------------------------

TEST(trayIconReportsDoubleClickAndRightButtonRelease) {
    Win32Desktop desktop(instance());
    std::vector<int> events;
    desktop.tray().setMouseHandler([&events](int message) { events.push_back(message); });
    bool added = true;
    try {
        desktop.tray().add("Valumat - www.valumat.example");
        desktop.tray().add("Valumat - www.valumat.example"); // refused quietly
    } catch (const RuntimeError&) {
        added = false;
    }
    CHECK(added);
    HWND window = desktop.messageWindow();
    for (UINT mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MOUSEMOVE}) {
        SendMessageW(window, kTrayCallbackMessage, 1, static_cast<LPARAM>(mouse));
    }
    CHECK(events == (std::vector<int>{515, 517}));
    // A restarted Explorer gets the icon again.
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    CHECK(desktop.tray().shown() == TrayIcon::available());
    desktop.tray().remove();
    CHECK(!desktop.tray().shown());
    SendMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    CHECK(!desktop.tray().shown()); // removed by the program: stays away
}

// Whether the process's token is elevated.
bool elevated(HANDLE process) {
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool read = OpenProcessToken(process, TOKEN_QUERY, &token) != 0 &&
                      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0;
    if (token != nullptr) {
        CloseHandle(token);
    }
    return read && elevation.TokenIsElevated != 0;
}

// Waits (handling messages) until a window of the process is in front.
bool inFront(DWORD processId) {
    for (int attempt = 0; attempt < 200; ++attempt) {
        DWORD owner = 0;
        GetWindowThreadProcessId(GetForegroundWindow(), &owner);
        if (owner == processId) {
            return true;
        }
        pump();
        Sleep(10);
    }
    return false;
}

TEST(keysReachTheFrontUnlessItRunsWithHigherRights) {
    Win32Desktop desktop(instance());
    {
        ForegroundWindow own;
        CHECK(desktop.keyEvents().front().reachable);
    }
    {
        Helper same(L"front");
        CHECK(inFront(same.id()));
        CHECK(desktop.keyEvents().front().reachable);
    }
    // Started with higher rights where the system grants them (Wine may start it as it is): refused exactly when
    // its token is elevated and ours is not, and then named.
    Helper higher(L"front", L"runas");
    CHECK(inFront(higher.id()));
    const bool above = elevated(higher.process()) && !elevated(GetCurrentProcess());
    const platform::KeyEvents::Front front = desktop.keyEvents().front();
    std::printf("    a program started with \"runas\" is %s\n", above ? "elevated" : "not elevated here");
    CHECK(front.reachable == !above);
    CHECK(front.program == (above ? "valumat_backend_test.exe" : ""));
}

// Answers the next message box of this process with its default button and reports the box's text.
std::thread answerMessageBox(std::wstring& text, const wchar_t* title) {
    return std::thread([&text, title] {
        for (int attempt = 0; attempt < 300; ++attempt) {
            HWND box = FindWindowW(L"#32770", title);
            if (box != nullptr && IsWindowVisible(box)) { // shown once it is set up
                wchar_t buffer[512] = {};
                GetDlgItemTextW(box, 0xFFFF, buffer, 512); // the static text of a message box
                text = buffer;
                // The default button is the one drawn as such (BS_DEFPUSHBUTTON).
                int chosen = 0;
                for (int id : {IDOK, IDYES, IDNO, IDCANCEL}) {
                    HWND button = GetDlgItem(box, id);
                    if (button != nullptr && (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                        chosen = id;
                    }
                }
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(chosen != 0 ? chosen : IDCANCEL, BN_CLICKED), 0);
                return;
            }
            Sleep(20);
        }
    });
}

TEST(messageBoxesAnswerWithTheChosenDefaultButton) {
    MessageBoxes boxes;
    std::wstring text;
    std::thread answer = answerMessageBox(text, L"Frage");
    const auto no = boxes.messageBox("M\xC3\xB6"
                                     "chten Sie die \xC3\x84nderungen speichern?",
                                     "Frage", platform::MessageIcon::Question, platform::MessageButtons::YesNo,
                                     platform::DefaultButton::Second);
    answer.join();
    CHECK(no == platform::MessageAnswer::No);
    CHECK(text == L"M\u00f6chten Sie die \u00c4nderungen speichern?");

    answer = answerMessageBox(text, L"Fehler!");
    const auto yes = boxes.messageBox("x", "Fehler!", platform::MessageIcon::Critical, platform::MessageButtons::YesNo,
                                      platform::DefaultButton::First);
    answer.join();
    CHECK(yes == platform::MessageAnswer::Yes);

    answer = answerMessageBox(text, L"Information");
    const auto ok = boxes.messageBox("y", "Information", platform::MessageIcon::Information,
                                     platform::MessageButtons::Ok, platform::DefaultButton::First);
    answer.join();
    CHECK(ok == platform::MessageAnswer::Ok);
}

TEST(shellOpenOfSomethingMissingShowsNothingAndReturns) {
    ShellOpen shell;
    const ULONGLONG start = GetTickCount64();
    shell.shellOpen(0, "open", "gibt-es-nicht-4711.txt", "C:\\gibt-es-nicht-4711\\");
    CHECK(GetTickCount64() - start < 10000);
    CHECK(FindWindowW(L"#32770", nullptr) == nullptr);
}

TEST(autostartEntryHoldsTheQuotedProgramPath) {
    const std::wstring key = L"Software\\Valumat-Test\\Run";
    Autostart autostart(key);
    autostart.setEntry("C:\\Program Files\\Valumat Tools\\valumat.exe");
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    CHECK(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Valumat", RRF_RT_ANY, &type, data, &size) == ERROR_SUCCESS);
    CHECK(type == REG_SZ);
    CHECK(std::wstring(data) == L"\"C:\\Program Files\\Valumat Tools\\valumat.exe\"");
    CHECK(size == (std::wstring(data).size() + 1) * sizeof(wchar_t)); // with the terminating null
    autostart.setEntry("C:\\Programme\\Tools\\rechner.exe");          // overwrites
    size = sizeof data;
    RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Valumat", RRF_RT_REG_SZ, nullptr, data, &size);
    CHECK(std::wstring(data) == L"\"C:\\Programme\\Tools\\rechner.exe\"");
    autostart.removeEntry();
    CHECK(RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"Valumat", RRF_RT_ANY, nullptr, nullptr, nullptr) ==
          ERROR_FILE_NOT_FOUND);
    autostart.removeEntry();                                           // absent already: nothing happens
    Autostart(L"Software\\Valumat-Test\\Gibt-es-nicht").removeEntry(); // no key at all
    CHECK(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Valumat-Test\\Gibt-es-nicht", nullptr, RRF_RT_ANY, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Valumat-Test");
}

TEST(dataFoldersOfTheUserAndTheInstallation) {
    Folders folders;
    wchar_t appdata[MAX_PATH] = {};
    CHECK(GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH) > 0);
    const std::string user = folders.userDataFolder();
    CHECK(user == narrow(appdata) + "\\Valumat\\");
    CHECK(folders.installedDataFolder("C:\\Users\\anna\\AppData\\Local\\Programs\\Valumat\\valumat.exe") ==
          "C:\\Users\\anna\\AppData\\Local\\Programs\\Valumat\\vorgaben\\");

    // A folder made below the temporary folder, with its parents; writable; the probe leaves nothing behind.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::string base = narrow(temp) + "valumat-ordner-" + std::to_string(GetCurrentProcessId()) + "\\";
    const std::string nested = base + "a\\b\\Valumat\\";
    CHECK(!folders.folderWritable(nested));
    folders.createFolder(nested);
    CHECK(GetFileAttributesW(widen(nested).c_str()) != INVALID_FILE_ATTRIBUTES);
    folders.createFolder(nested); // exists already: fine
    CHECK(folders.folderWritable(nested));
    CHECK(folders.folderWritable(nested.substr(0, nested.size() - 1))); // without the final backslash
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(widen(nested + "*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            ++entries;
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    CHECK(entries == 2); // "." and ".."
    // A folder below a file cannot be made.
    const std::wstring file = widen(base + "datei");
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    bool refused = false;
    try {
        folders.createFolder(base + "datei\\unter\\");
    } catch (const RuntimeError&) {
        refused = true;
    }
    CHECK(refused);
    DeleteFileW(file.c_str());
    RemoveDirectoryW(widen(nested).c_str());
    RemoveDirectoryW(widen(base + "a\\b").c_str());
    RemoveDirectoryW(widen(base + "a").c_str());
    RemoveDirectoryW(widen(base).c_str());
}

TEST(desktopFillsEveryService) {
    Win32Desktop desktop(instance());
    const platform::Platform services = desktop.platform();
    CHECK(services.hotKeys && services.atoms && services.keyEvents && services.clipboard && services.sleeper &&
          services.pump && services.windowHook && services.tray && services.shell && services.autostart &&
          services.messageBoxes && services.process && services.folders);
    HWND window = createWindow();
    desktop.setMainWindow(window);
    CHECK(desktop.mainWindow() == window);
    CHECK(desktop.messageBoxes().owner == window);
    CHECK(desktop.pump().dialogWindow == window);
    desktop.setMainWindow(window, false);
    CHECK(desktop.pump().dialogWindow == nullptr);
    DestroyWindow(window);
}

// The other programs of the clipboard tests (see Helper).
//   own TEXT          copies TEXT with a window of its own, then waits to be told to end;
//   own-on-go TEXT    the same once kGoEvent is set (kActedEvent once done);
//   watch             a clipboard history: reads the text of every change made by someone else (kActedEvent);
//   retake            a clipboard manager: takes every text someone else puts there and owns it itself;
//   session-end MODE  a desktop in the middle of a conversion (restore) or with a promised result (promise);
//   front             a window of its own in front.
int helperMain(const std::string& kind, const std::wstring& text) {
    HANDLE ready = namedEvent(kReadyEvent);
    HANDLE go = namedEvent(kGoEvent);
    HANDLE quit = namedEvent(kQuitEvent);
    HANDLE acted = namedEvent(kActedEvent);
    std::unique_ptr<Win32Desktop> desktop;
    std::unique_ptr<platform::Clipboard::Snapshot> saved;
    HWND window = createWindow();
    bool waitingForGo = false;
    if (kind == "own") {
        copyFrom(window, text);
    } else if (kind == "own-on-go") {
        waitingForGo = true;
    } else if (kind == "watch" || kind == "retake") {
        AddClipboardFormatListener(window);
    } else if (kind == "front") {
        ShowWindow(window, SW_SHOW);
        SetForegroundWindow(window);
    } else if (kind == "session-end") {
        desktop = std::make_unique<Win32Desktop>(instance());
        Clipboard& clipboard = desktop->clipboard();
        if (text == L"restore") {
            putOnClipboard({{CF_UNICODETEXT, textBytes(L"Benutzertext")}});
            saved = clipboard.save();
            clipboard.empty();
            clipboard.offerText("195,58");
            desktop->onSessionEnd = [&clipboard, &saved] { clipboard.restore(*saved); };
        } else {
            clipboard.offerText("24.145,89");
        }
    } else {
        return 2;
    }
    SetEvent(ready);
    for (;;) {
        const HANDLE waits[] = {quit, go};
        const DWORD woken = MsgWaitForMultipleObjects(waitingForGo ? 2 : 1, waits, FALSE, 30000, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_TIMEOUT) {
            return 0;
        }
        if (woken == WAIT_OBJECT_0 + 1 && waitingForGo) {
            waitingForGo = false;
            copyFrom(window, text);
            SetEvent(acted);
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_CLIPBOARDUPDATE && message.hwnd == window && GetClipboardOwner() != window &&
                IsClipboardFormatAvailable(CF_UNICODETEXT)) {
                const std::wstring seen = readThrough(window);
                if (kind == "retake" && !seen.empty()) {
                    copyFrom(window, seen);
                }
                SetEvent(acted);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--helper") {
        const std::string text = argc >= 4 ? argv[3] : "";
        return helperMain(argv[2], std::wstring(text.begin(), text.end()));
    }
    int passed = 0;
    int failed = 0;
    for (const Test& test : tests()) {
        const int before = failedChecks;
        const ULONGLONG start = GetTickCount64();
        try {
            test.run();
        } catch (const std::exception& e) {
            std::printf("    exception: %s\n", e.what());
            ++failedChecks;
        }
        const bool ok = failedChecks == before;
        std::printf("%s %s (%llu ms)\n", ok ? "ok  " : "FAIL", test.name,
                    static_cast<unsigned long long>(GetTickCount64() - start));
        ++(ok ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
