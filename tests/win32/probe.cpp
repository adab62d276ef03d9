// valumat_probe: a Windows console program that the end-to-end test and the figures script run under Wine beside
// valumat.exe, for what X tools cannot see or do from outside Wine.
//
//   valumat_probe end-session
//       The end of the session, to the running valumat.exe alone (ending the whole Wine session would take Wine's
//       clipboard with it): WM_QUERYENDSESSION to each of its top-level windows, then WM_ENDSESSION. Prints the
//       answers and "ended N ms after WM_ENDSESSION" once its process has ended. Exit status 0 when all agreed and
//       it ended within 10 s.
//
//   valumat_probe rounds N
//       Times in notepad (which must be in front), N rounds of each, interleaved: the limit, our own round trip
//       with nobody in between (Ctrl+C, wait for the copy, read it, offer "195,58" by delayed rendering, Ctrl+V,
//       render it, the text changed, the clipboard put back), and Valumat's (Ctrl+D bound to Euro to Deutsche Mark).
//       Each round selects "100" in notepad and puts a user's text on the clipboard; the clock starts when the keys
//       have been sent (the combination released). Prints every round and the medians, in milliseconds.
//
//   valumat_probe hold-hotkey
//       Another program holding Ctrl+D: registers it, prints "holding" and waits (at most 5 minutes) to be ended.
//
//   valumat_probe tab N
//       Shows tab N (1 to 4) of Valumat's configuration window the way the keyboard does: TCM_SETCURFOCUS to its tab
//       strip, which tells the window (TCN_SELCHANGE) as a click would. Exit status 0 when the strip shows it.
//
//   valumat_probe balloons SECONDS
//       Watches the balloons beside tray icons (tooltip windows with TTS_BALLOON) for SECONDS and prints
//       "balloon: TEXT" each time one is shown, or shows another text, then "N balloons".
//
//   valumat_probe readonly TEXT SECONDS
//       A window "Nur lesen" of its own with a read-only edit control holding TEXT, selected and focused: Ctrl+C
//       copies from it, a paste is refused without looking at the clipboard (as a web page's text). Prints "ready",
//       then "paste refused" for each Ctrl+V or WM_PASTE that reached it, until the window is closed or SECONDS
//       passed.
//
//   valumat_probe slow-owner SECONDS
//       Owns the clipboard with delayed rendering of many formats, as a spreadsheet holding a copied range does: the
//       text "vom Besitzer", its own format "Biff12", its older ones, HTML, RTF and pictures of the range; each takes
//       300 ms to render. Prints "owning", then "rendered NAME" for every format rendered, until it loses the
//       clipboard or SECONDS passed.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// --- the end of the session ----------------------------------------------------------------------------------

int endSession() {
    HWND found = FindWindowW(L"ValumatMessageWindow", nullptr);
    if (found == nullptr) {
        std::printf("no valumat running\n");
        return 2;
    }
    struct Windows {
        DWORD process;
        std::vector<HWND> list;
    } windows{processOf(found), {}};
    EnumWindows(
        [](HWND candidate, LPARAM parameter) -> BOOL CALLBACK {
            auto* w = reinterpret_cast<Windows*>(parameter);
            if (processOf(candidate) == w->process) {
                w->list.push_back(candidate);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    int refused = 0;
    for (HWND window : windows.list) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer) ||
            answer == FALSE) {
            ++refused;
        }
    }
    std::printf("WM_QUERYENDSESSION: %zu windows, %d refused\n", windows.list.size(), refused);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, windows.process);
    const ULONGLONG start = GetTickCount64();
    for (HWND window : windows.list) {
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    bool ended = false;
    if (process != nullptr) {
        ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        CloseHandle(process);
    }
    if (ended) {
        std::printf("ended %llu ms after WM_ENDSESSION\n", static_cast<unsigned long long>(GetTickCount64() - start));
    } else {
        std::printf("still running 10 s after WM_ENDSESSION\n");
    }
    return refused == 0 && ended ? 0 : 1;
}

// --- rounds in notepad -----------------------------------------------------------------------------------------

double nowMs() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

constexpr const wchar_t* kResult = L"195,58";
HWND probeWindow = nullptr;
bool offering = false; // our result is promised on the clipboard (the limit's round)
int renderRequests = 0;

HGLOBAL globalText(const std::wstring& text) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory != nullptr) {
        std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
        GlobalUnlock(memory);
    }
    return memory;
}

LRESULT CALLBACK probeProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RENDERFORMAT && wParam == CF_UNICODETEXT && offering) {
        SetClipboardData(CF_UNICODETEXT, globalText(kResult));
        ++renderRequests;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void pumpFor(double milliseconds) {
    const double until = nowMs() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        const double left = until - nowMs();
        if (left <= 0) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max(1.0, left)), QS_ALLINPUT);
    }
}

bool openClipboard() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (OpenClipboard(probeWindow)) {
            return true;
        }
        pumpFor(1);
    }
    return false;
}

std::wstring clipboardText() {
    std::wstring text;
    if (!openClipboard()) {
        return text;
    }
    if (HANDLE handle = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(handle));
        GlobalUnlock(handle);
    }
    CloseClipboard();
    return text;
}

void putText(const std::wstring& text) {
    if (!openClipboard()) {
        return;
    }
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, globalText(text));
    CloseClipboard();
}

std::wstring editText(HWND edit) {
    wchar_t buffer[256] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(edit, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000, &length);
    return buffer;
}

// Ctrl plus a key, pressed and released.
void sendCtrl(WORD key) {
    INPUT inputs[4] = {};
    const WORD keys[4] = {VK_CONTROL, key, key, VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = keys[i];
        inputs[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(keys[i], MAPVK_VK_TO_VSC));
        inputs[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, inputs, sizeof(INPUT));
}

struct Times {
    double text = -1;      // the converted text in notepad
    double clipboard = -1; // the user's clipboard back
};

// Waits (handling messages) until the condition holds; false after timeoutMs.
template <class Condition> bool waitUntil(Condition condition, double timeoutMs) {
    const double until = nowMs() + timeoutMs;
    while (!condition()) {
        if (nowMs() > until) {
            return false;
        }
        pumpFor(0.5);
    }
    return true;
}

void prepare(HWND edit, const std::wstring& users) {
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"100"));
    SendMessageW(edit, EM_SETSEL, 0, -1);
    putText(users);
    pumpFor(150); // everybody has seen the new clipboard
}

Times valumatRound(HWND edit, const std::wstring& users) {
    static const UINT resultMarker = RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing");
    HWND valumatWindow = FindWindowW(L"ValumatMessageWindow", nullptr);
    prepare(edit, users);
    DWORD looked = GetClipboardSequenceNumber();
    sendCtrl('D');
    const double start = nowMs();
    Times times;
    waitUntil(
        [&] {
            if (times.text < 0 && editText(edit) == kResult) {
                times.text = nowMs() - start;
            }
            // Back: Valumat owns the clipboard with text that is not its result (marked for monitors). The
            // clipboard is opened only then: opening it earlier could make notepad's paste fail.
            const DWORD sequence = GetClipboardSequenceNumber();
            if (times.clipboard < 0 && sequence != looked && GetClipboardOwner() == valumatWindow &&
                IsClipboardFormatAvailable(CF_UNICODETEXT) && !IsClipboardFormatAvailable(resultMarker)) {
                looked = sequence;
                if (clipboardText() == users) {
                    times.clipboard = nowMs() - start;
                }
            }
            return times.text >= 0 && times.clipboard >= 0;
        },
        3000);
    return times;
}

Times limitRound(HWND notepad, HWND edit, const std::wstring& users) {
    prepare(edit, users);
    const DWORD notepadProcess = processOf(notepad);
    const DWORD before = GetClipboardSequenceNumber();
    sendCtrl('C');
    const double start = nowMs();
    Times times;
    // The copy: a new owner in notepad's process.
    if (!waitUntil(
            [&] { return GetClipboardSequenceNumber() != before && processOf(GetClipboardOwner()) == notepadProcess; },
            3000) ||
        clipboardText() != L"100") {
        return times;
    }
    // Our result, rendered when the paste asks for it.
    if (openClipboard()) {
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, nullptr);
        CloseClipboard();
    }
    offering = true;
    renderRequests = 0;
    sendCtrl('V');
    if (waitUntil([&] { return editText(edit) == kResult; }, 3000)) {
        times.text = nowMs() - start;
    }
    offering = false;
    putText(users);
    times.clipboard = nowMs() - start;
    return times;
}

double median(std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }), values.end());
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int rounds(int count) {
    HWND notepad = FindWindowW(L"Notepad", nullptr);
    HWND edit = notepad != nullptr ? FindWindowExW(notepad, nullptr, L"Edit", nullptr) : nullptr;
    if (edit == nullptr) {
        std::printf("no notepad\n");
        return 2;
    }
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = probeProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ValumatProbe";
    RegisterClassW(&windowClass);
    probeWindow = CreateWindowW(L"ValumatProbe", L"probe", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    std::vector<double> limitText, limitClipboard, valumatText, valumatClipboard;
    int failed = 0;
    for (int round = 1; round <= count; ++round) {
        const std::wstring users = L"Runde " + std::to_wstring(round);
        const Times limit = limitRound(notepad, edit, users);
        pumpFor(200);
        const Times valumat = valumatRound(edit, users);
        pumpFor(300);
        std::printf("round %2d: limit %6.1f / %6.1f ms, valumat %6.1f / %6.1f ms (text / clipboard back)\n", round,
                    limit.text, limit.clipboard, valumat.text, valumat.clipboard);
        std::fflush(stdout);
        failed += (limit.text < 0 || valumat.text < 0 || valumat.clipboard < 0) ? 1 : 0;
        limitText.push_back(limit.text);
        limitClipboard.push_back(limit.clipboard);
        valumatText.push_back(valumat.text);
        valumatClipboard.push_back(valumat.clipboard);
    }
    std::printf("median of %d rounds: limit %.1f ms to the text, %.1f ms to the clipboard back; valumat %.1f ms to the "
                "text, %.1f ms to the clipboard back; %d rounds failed\n",
                count, median(limitText), median(limitClipboard), median(valumatText), median(valumatClipboard),
                failed);
    return failed == 0 ? 0 : 1;
}

// --- the configuration window's tabs --------------------------------------------------------------------------

BOOL CALLBACK findStrip(HWND window, LPARAM found) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    auto* strip = reinterpret_cast<HWND*>(found);
    // The window's own strip, not the one on the info tab: the highest one.
    if (std::wstring(name) == WC_TABCONTROLW) {
        RECT mine{};
        RECT best{};
        GetWindowRect(window, &mine);
        if (*strip != nullptr) {
            GetWindowRect(*strip, &best);
        }
        if (*strip == nullptr || mine.top < best.top) {
            *strip = window;
        }
    }
    return TRUE;
}

int showTab(int tab) {
    HWND window = FindWindowW(L"ValumatConfigWindow", nullptr);
    HWND strip = nullptr;
    if (window != nullptr) {
        EnumChildWindows(window, findStrip, reinterpret_cast<LPARAM>(&strip));
    }
    if (strip == nullptr) {
        std::printf("no configuration window\n");
        return 2;
    }
    SendMessageW(strip, TCM_SETCURFOCUS, static_cast<WPARAM>(tab - 1), 0);
    const auto shown = static_cast<int>(SendMessageW(strip, TCM_GETCURSEL, 0, 0)) + 1;
    std::printf("tab %d\n", shown);
    return shown == tab ? 0 : 1;
}

// --- another program's hot key, balloons -----------------------------------------------------------------------

int holdHotKey() {
    if (RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_NOREPEAT, 'D') == 0) {
        std::printf("Ctrl+D is taken already\n");
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(300000);
    return 0;
}

std::string utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

struct Shown {
    HWND window;
    std::wstring text;
};

BOOL CALLBACK collectBalloon(HWND window, LPARAM list) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (std::wstring(name) == TOOLTIPS_CLASSW && IsWindowVisible(window) != 0 &&
        (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) != 0) {
        wchar_t text[512] = {};
        // WM_GETTEXT of a tooltip: the text it shows (the system carries it across processes).
        SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 500, nullptr);
        reinterpret_cast<std::vector<Shown>*>(list)->push_back({window, text});
    }
    return TRUE;
}

int balloons(int seconds) {
    std::vector<Shown> before;
    int count = 0;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    while (GetTickCount64() < end) {
        std::vector<Shown> now;
        EnumWindows(collectBalloon, reinterpret_cast<LPARAM>(&now));
        // Without a text (it is being set, or the answer came too late) a balloon counts as it was before.
        for (Shown& shown : now) {
            const auto was = std::find_if(before.begin(), before.end(),
                                          [&shown](const Shown& b) { return b.window == shown.window; });
            if (shown.text.empty() && was != before.end()) {
                shown.text = was->text;
            }
        }
        now.erase(std::remove_if(now.begin(), now.end(), [](const Shown& shown) { return shown.text.empty(); }),
                  now.end());
        for (const Shown& shown : now) {
            const bool seen = std::any_of(before.begin(), before.end(), [&shown](const Shown& b) {
                return b.window == shown.window && b.text == shown.text;
            });
            if (!seen) {
                ++count;
                std::printf("balloon: %s\n", utf8(shown.text).c_str());
                std::fflush(stdout);
            }
        }
        before = std::move(now);
        Sleep(20);
    }
    std::printf("%d balloons\n", count);
    return 0;
}

// --- a read-only text ------------------------------------------------------------------------------------------

WNDPROC editProcedure = nullptr;

LRESULT CALLBACK readOnlyEditProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    // Ctrl+V comes as its character (0x16), which Wine's control drops for a read-only text before any WM_PASTE.
    if (message == WM_PASTE || (message == WM_CHAR && wParam == 0x16)) {
        std::printf("paste refused\n");
        std::fflush(stdout);
    }
    return CallWindowProcW(editProcedure, edit, message, wParam, lParam);
}

LRESULT CALLBACK readOnlyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS) {
        SetFocus(GetWindow(window, GW_CHILD)); // the text keeps its selection
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int readOnly(const std::wstring& text, int seconds) {
    WNDCLASSW type{};
    type.lpfnWndProc = readOnlyProcedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    type.lpszClassName = L"ValumatProbeReadOnly";
    RegisterClassW(&type);
    HWND window = CreateWindowW(type.lpszClassName, L"Nur lesen", WS_OVERLAPPEDWINDOW, 100, 100, 300, 120, nullptr,
                                nullptr, type.hInstance, nullptr);
    HWND edit = CreateWindowW(L"Edit", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL,
                              10, 10, 260, 24, window, nullptr, type.hInstance, nullptr);
    if (window == nullptr || edit == nullptr) {
        std::printf("cannot make the window\n");
        return 2;
    }
    editProcedure = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(readOnlyEditProcedure)));
    SendMessageW(edit, EM_SETSEL, 0, -1);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(edit);
    std::printf("ready\n");
    std::fflush(stdout);
    SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == window) {
            DestroyWindow(window);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

// --- a slow owner of the clipboard ------------------------------------------------------------------------------

std::string formatName(UINT format) {
    if (format == CF_UNICODETEXT) {
        return "CF_UNICODETEXT";
    }
    char name[128] = {};
    return GetClipboardFormatNameA(format, name, sizeof name) > 0 ? name : "#" + std::to_string(format);
}

LRESULT CALLBACK slowOwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RENDERFORMAT) {
        const auto format = static_cast<UINT>(wParam);
        Sleep(300);
        const std::wstring text = L"vom Besitzer";
        const std::size_t size = format == CF_UNICODETEXT ? (text.size() + 1) * sizeof(wchar_t) : 4;
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
        auto* bytes = static_cast<unsigned char*>(GlobalLock(memory));
        if (format == CF_UNICODETEXT) {
            std::memcpy(bytes, text.c_str(), size);
        } else {
            std::memset(bytes, 7, size);
        }
        GlobalUnlock(memory);
        SetClipboardData(format, memory);
        std::printf("rendered %s\n", formatName(format).c_str());
        std::fflush(stdout);
        return 0;
    }
    if (message == WM_DESTROYCLIPBOARD) {
        PostQuitMessage(0);
        return 0;
    }
    if (message == WM_RENDERALLFORMATS) {
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int slowOwner(int seconds) {
    WNDCLASSW type{};
    type.lpfnWndProc = slowOwnerProcedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"ValumatProbeSlowOwner";
    RegisterClassW(&type);
    HWND window = CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
    if (window == nullptr || !OpenClipboard(window)) {
        std::printf("cannot own the clipboard\n");
        return 2;
    }
    EmptyClipboard();
    for (const wchar_t* name : {L"Biff12", L"Biff8", L"Biff5", L"HTML Format", L"Rich Text Format", L"PNG", L"JFIF"}) {
        SetClipboardData(RegisterClipboardFormatW(name), nullptr);
    }
    for (const UINT format : {UINT{CF_UNICODETEXT}, UINT{CF_ENHMETAFILE}, UINT{CF_DIB}, UINT{CF_SYLK}, UINT{CF_DIF}}) {
        SetClipboardData(format, nullptr);
    }
    CloseClipboard();
    std::printf("owning\n");
    std::fflush(stdout);
    SetTimer(window, 1, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            break;
        }
        DispatchMessageW(&message);
    }
    DestroyWindow(window);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    if (command == "end-session") {
        return endSession();
    }
    if (command == "rounds") {
        return rounds(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 30);
    }
    if (command == "hold-hotkey") {
        return holdHotKey();
    }
    if (command == "tab") {
        return showTab(argc >= 3 ? std::atoi(argv[2]) : 1);
    }
    if (command == "balloons") {
        return balloons(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 10);
    }
    if (command == "slow-owner") {
        return slowOwner(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 30);
    }
    if (command == "readonly" && argc >= 3) {
        const std::string text = argv[2];
        return readOnly(std::wstring(text.begin(), text.end()), argc >= 4 ? std::max(1, std::atoi(argv[3])) : 60);
    }
    std::printf("usage: valumat_probe end-session | rounds N | hold-hotkey | tab N | balloons SECONDS | slow-owner "
                "SECONDS | readonly TEXT SECONDS\n");
    return 2;
}
