// Tests of the Windows backend against the real system (run under Wine by run_backend_tests.sh). A console program
// with a small runner: every TEST runs in order; a failed CHECK is reported with its line and the test goes on.
// Prints "N passed, M failed" and exits with 1 when anything failed.
#include "platform/win32/win32desktop.h"
#include "runtime/errors.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
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
    if (!OpenClipboard(nullptr)) {
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

// --- clipboard -----------------------------------------------------------------------------------------------

TEST(clipboardKeepsTextAndRegisteredFormatsAcrossSaveAndRestore) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    const UINT custom = RegisterClipboardFormatW(L"Valumat Test Format");
    const std::vector<unsigned char> customBytes{1, 2, 3, 0, 255, 7};
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"Gr\u00fc\u00dfe 100 \u20ac")}, {custom, customBytes}});

    auto saved = clipboard.save();
    CHECK(clipboard.getText() == "Gr\xC3\xBC\xC3\x9F"
                                 "e 100 \xE2\x82\xAC");
    clipboard.clear();
    CHECK(clipboard.getText().empty());
    CHECK(CountClipboardFormats() == 0);
    clipboard.restore(*saved);
    CHECK(clipboardText() == L"Gr\u00fc\u00dfe 100 \u20ac");
    CHECK(startsWith(clipboardBytes(custom), customBytes));
    CHECK(IsClipboardFormatAvailable(CF_TEXT)); // made again from the Unicode text
    // The snapshot stays usable.
    clipboard.clear();
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
    clipboard.clear();
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

TEST(clearingLeavesTheClipboardWithoutOwner) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.setText("195,58");
    CHECK(GetClipboardOwner() == desktop.messageWindow());
    clipboard.clear();
    CHECK(GetClipboardOwner() == nullptr);
    CHECK(CountClipboardFormats() == 0);
    CHECK(!clipboard.resultPending());
}

TEST(resultIsRenderedWhenTheTargetFetchesIt) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.setText("24.145,89 \xE2\x82\xAC");
    CHECK(clipboard.resultPending());
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
    const bool result = clipboard.waitFetched(3000);
    const ULONGLONG waited = GetTickCount64() - start;
    target.join();
    CHECK(result);
    CHECK(waited < 2000);
    CHECK(fetched == L"24.145,89 \u20ac");
    CHECK(!clipboard.resultPending());
    // Our own reading is no fetch.
    clipboard.setText("1");
    CHECK(clipboard.getText() == "1");
    CHECK(clipboard.resultPending());
    clipboard.clear();
}

TEST(anAnsiTargetFetchingTheResultCountsToo) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.setText("195,58");
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
    CHECK(clipboard.waitFetched(3000));
    target.join();
    CHECK(fetched == "195,58");
}

TEST(aResultStillPromisedWhenTheProgramEndsStaysOnTheClipboard) {
    {
        Win32Desktop desktop(instance());
        desktop.clipboard().setText("24.145,89");
    }
    CHECK(clipboardText() == L"24.145,89");
}

TEST(waitingForAFetchThatNeverComesEndsOnTime) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    clipboard.setText("195,58");
    const ULONGLONG start = GetTickCount64();
    CHECK(!clipboard.waitFetched(300));
    const ULONGLONG waited = GetTickCount64() - start;
    CHECK(waited >= 280);
    CHECK(waited < 1500);
    CHECK(clipboard.resultPending());
    clipboard.clear();
    CHECK(clipboard.waitFetched(300)); // nothing pending any more
}

TEST(somethingNewFromAnotherProgramIsNeitherClearedNorOverwritten) {
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}});
    auto saved = clipboard.save();
    clipboard.clear();
    clipboard.setText("195,58");
    // Another program copies something while we wait for the paste (its EmptyClipboard tells us, the owner).
    std::thread other([] {
        Sleep(50);
        for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) {
            Sleep(10);
        }
        EmptyClipboard();
        const std::wstring text = L"newer";
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
        std::memcpy(GlobalLock(memory), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        SetClipboardData(CF_UNICODETEXT, memory);
        CloseClipboard();
    });
    CHECK(clipboard.waitFetched(3000)); // not ours any more: nothing to wait for
    other.join();
    clipboard.clear();
    clipboard.restore(*saved);
    CHECK(clipboardText() == L"newer");
}

TEST(wholeConversionRestoresTheUsersClipboard) {
    // The dispatcher's order: save, clear, (target copies), read, clear, set, (target pastes), wait, clear, restore.
    Win32Desktop desktop(instance());
    Clipboard& clipboard = desktop.clipboard();
    const UINT custom = RegisterClipboardFormatW(L"Valumat Test Format");
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"user's text")}, {custom, {9, 8, 7}}});
    auto saved = clipboard.save();
    clipboard.clear();
    putOnClipboard({{CF_UNICODETEXT, textBytes(L"100")}}); // the target's copy
    CHECK(clipboard.getText() == "100");
    clipboard.clear();
    clipboard.setText("195,58");
    std::wstring pasted;
    std::thread target([&pasted] {
        Sleep(30);
        for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) {
            Sleep(10);
        }
        if (HANDLE handle = GetClipboardData(CF_UNICODETEXT)) {
            pasted = static_cast<const wchar_t*>(GlobalLock(handle));
            GlobalUnlock(handle);
        }
        CloseClipboard();
    });
    CHECK(clipboard.waitFetched(3000));
    target.join();
    CHECK(pasted == L"195,58");
    clipboard.clear();
    clipboard.restore(*saved);
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
    clipboard.setText("x");
    clipboard.clear();
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
        clipboard.getText();
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
        clipboard.getText();
    } catch (const RuntimeError&) {
        read = false;
    }
    CHECK(read);
    releaser.join();
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
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

TEST(desktopFillsEveryService) {
    Win32Desktop desktop(instance());
    const platform::Platform services = desktop.platform();
    CHECK(services.hotKeys && services.atoms && services.keyEvents && services.clipboard && services.sleeper &&
          services.pump && services.windowHook && services.tray && services.shell && services.autostart &&
          services.messageBoxes && services.process);
    HWND window = createWindow();
    desktop.setMainWindow(window);
    CHECK(desktop.mainWindow() == window);
    CHECK(desktop.messageBoxes().owner == window);
    CHECK(desktop.pump().dialogWindow == window);
    desktop.setMainWindow(window, false);
    CHECK(desktop.pump().dialogWindow == nullptr);
    DestroyWindow(window);
}

} // namespace

int main() {
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
