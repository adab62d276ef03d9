#include "platform/win32/win32desktop.h"

#include "platform/win32/res/resource.h"
#include "runtime/errors.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <iterator>
#include <utility>
#include <vector>

namespace valumat::win32 {

namespace {

constexpr const wchar_t* kHookProperty = L"Valumat.WindowHook";
constexpr const wchar_t* kMessageWindowClass = L"ValumatMessageWindow";
constexpr int kLowestSystemId = 1;
constexpr int kHighestSystemId = 0xBFFF;
// A pump that keeps finding messages (a window that never validates itself) still returns after this many.
constexpr int kMaxMessagesPerPump = 10000;

// The window procedure that was in place before a hook, as a platform::WindowProc.
struct NativeProcedure {
    WNDPROC procedure;
    std::intptr_t operator()(platform::WindowHandle window, unsigned message, std::intptr_t wParam,
                             std::intptr_t lParam) const {
        return CallWindowProcW(procedure, hwndOf(window), message, static_cast<WPARAM>(wParam),
                               static_cast<LPARAM>(lParam));
    }
};

WNDPROC currentProcedure(HWND window) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
}

HICON programIcon(HINSTANCE instance) {
    auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VALUMAT), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    return icon != nullptr ? icon : LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION
}

HWND createMessageWindow(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kMessageWindowClass;
    RegisterClassExW(&windowClass); // fails harmlessly when a previous desktop registered it
    // A top-level window that is never shown: a message-only window would not hear the shell's broadcasts.
    HWND window =
        CreateWindowExW(0, kMessageWindowClass, L"Valumat", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        throw RuntimeError(err::kOutOfMemory);
    }
    return window;
}

} // namespace

std::wstring argumentsAfterProgram(const wchar_t* commandLine) {
    if (commandLine == nullptr) {
        return {};
    }
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p != L'\0' && *p != L'"') {
            ++p;
        }
        if (*p == L'"') {
            ++p;
        }
    } else {
        while (*p != L'\0' && *p != L' ' && *p != L'\t') {
            ++p;
        }
    }
    while (*p == L' ' || *p == L'\t') {
        ++p;
    }
    return p;
}

// --- hot keys --------------------------------------------------------------------------------------------------

HotKeys::~HotKeys() {
    for (const auto& [key, systemId] : systemIds_) {
        UnregisterHotKey(key.first, systemId);
    }
}

bool HotKeys::registerHotKey(platform::WindowHandle window, int id, unsigned modifiers, unsigned virtualKey) {
    HWND hwnd = hwndOf(window);
    const auto key = std::make_pair(hwnd, id);
    const auto existing = systemIds_.find(key);
    int systemId = -1;
    if (existing != systemIds_.end()) {
        systemId = existing->second; // registering again replaces the combination
    } else {
        for (int candidate = kLowestSystemId; candidate <= kHighestSystemId; ++candidate) {
            if (!runtimeIds_.contains(std::make_pair(hwnd, candidate))) {
                systemId = candidate;
                break;
            }
        }
        if (systemId < 0) {
            return false;
        }
    }
    if (!RegisterHotKey(hwnd, systemId, modifiers | MOD_NOREPEAT, virtualKey)) {
        return false; // a combination that was registered before stays registered
    }
    systemIds_[key] = systemId;
    runtimeIds_[std::make_pair(hwnd, systemId)] = id;
    return true;
}

bool HotKeys::unregisterHotKey(platform::WindowHandle window, int id) {
    HWND hwnd = hwndOf(window);
    const auto it = systemIds_.find(std::make_pair(hwnd, id));
    if (it == systemIds_.end()) {
        return false;
    }
    const int systemId = it->second;
    systemIds_.erase(it);
    runtimeIds_.erase(std::make_pair(hwnd, systemId));
    return UnregisterHotKey(hwnd, systemId) != FALSE;
}

int HotKeys::systemId(HWND window, int id) const {
    const auto it = systemIds_.find(std::make_pair(window, id));
    return it == systemIds_.end() ? -1 : it->second;
}

std::intptr_t HotKeys::runtimeId(HWND window, WPARAM wParam) const {
    if (wParam <= static_cast<WPARAM>(kHighestSystemId)) {
        const auto it = runtimeIds_.find(std::make_pair(window, static_cast<int>(wParam)));
        if (it != runtimeIds_.end()) {
            return it->second;
        }
    }
    return static_cast<std::intptr_t>(wParam);
}

void HotKeys::awaitRelease(LPARAM lParam) {
    const UINT modifiers = LOWORD(lParam);
    std::vector<int> keys;
    if (const UINT key = HIWORD(lParam); key != 0) {
        keys.push_back(static_cast<int>(key));
    }
    for (const auto& [modifier, key] :
         {std::pair{MOD_ALT, VK_MENU}, std::pair{MOD_CONTROL, VK_CONTROL}, std::pair{MOD_SHIFT, VK_SHIFT},
          std::pair{MOD_WIN, VK_LWIN}, std::pair{MOD_WIN, VK_RWIN}}) {
        if ((modifiers & modifier) != 0) {
            keys.push_back(key);
        }
    }
    const auto anyDown = [&keys] {
        return std::any_of(keys.begin(), keys.end(), [](int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; });
    };
    const ULONGLONG deadline = GetTickCount64() + platform::kHotKeyReleaseWaitMs;
    while (anyDown()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return;
        }
        const auto wait = static_cast<DWORD>(std::min<ULONGLONG>(10, deadline - now));
        if (MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void HotKeys::forgetWindow(HWND window) {
    std::erase_if(systemIds_, [window](const auto& entry) { return entry.first.first == window; });
    std::erase_if(runtimeIds_, [window](const auto& entry) { return entry.first.first == window; });
}

// --- atoms -----------------------------------------------------------------------------------------------------

std::uint16_t Atoms::globalAddAtom(const std::string& name) {
    const ATOM atom = GlobalAddAtomW(widen(name).c_str());
    if (atom == 0) {
        throw RuntimeError(err::kOutOfMemory);
    }
    return atom;
}

void Atoms::globalDeleteAtom(std::uint16_t atom) {
    GlobalDeleteAtom(atom);
}

// --- window hook -----------------------------------------------------------------------------------------------

WindowHook::~WindowHook() {
    while (!windows_.empty()) {
        unhook(windows_.begin()->first);
    }
}

void WindowHook::unhook(HWND window) {
    const auto it = windows_.find(window);
    if (it == windows_.end()) {
        return;
    }
    // Only when nobody subclassed the window after us: their procedure calls ours as its previous one.
    if (IsWindow(window) && currentProcedure(window) == &WindowHook::procedure) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.original));
        RemovePropW(window, kHookProperty);
        windows_.erase(it);
    } else if (!IsWindow(window)) {
        windows_.erase(it);
    } else {
        it->second.procedure = nullptr; // stays in the chain, passing everything on
    }
}

platform::WindowProc WindowHook::setWindowProc(platform::WindowHandle window, platform::WindowProc procedure) {
    HWND hwnd = hwndOf(window);
    if (hwnd == nullptr || !IsWindow(hwnd)) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    const NativeProcedure* native = procedure.target<NativeProcedure>();
    const auto it = windows_.find(hwnd);
    if (it == windows_.end()) {
        if (native != nullptr) {
            // A plain window procedure on a window we do not hook: set it as it is.
            const WNDPROC previous = currentProcedure(hwnd);
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(native->procedure));
            return NativeProcedure{previous};
        }
        SetLastError(0);
        const LONG_PTR previous =
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowHook::procedure));
        if (previous == 0 && GetLastError() != 0) {
            throw RuntimeError(err::kInvalidProcedureCall);
        }
        SetPropW(hwnd, kHookProperty, this);
        const auto original = reinterpret_cast<WNDPROC>(previous);
        windows_[hwnd] = Hooked{original, std::move(procedure)};
        return NativeProcedure{original};
    }
    Hooked& hooked = it->second;
    platform::WindowProc previous =
        hooked.procedure ? std::move(hooked.procedure) : platform::WindowProc(NativeProcedure{hooked.original});
    if (native != nullptr && native->procedure == hooked.original) {
        hooked.procedure = nullptr;
        unhook(hwnd); // the window's own procedure again
    } else {
        hooked.procedure = std::move(procedure);
    }
    return previous;
}

LRESULT CALLBACK WindowHook::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<WindowHook*>(GetPropW(window, kHookProperty));
    if (self == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const auto it = self->windows_.find(window);
    if (it == self->windows_.end()) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // Copies: the procedure may replace or remove itself while it runs.
    const platform::WindowProc installed = it->second.procedure;
    const WNDPROC original = it->second.original;
    LRESULT result = 0;
    if (!installed) {
        result = CallWindowProcW(original, window, message, wParam, lParam);
    } else {
        std::intptr_t first = static_cast<std::intptr_t>(wParam);
        if (message == WM_HOTKEY && self->hotKeys_ != nullptr) {
            first = self->hotKeys_->runtimeId(window, wParam);
            HotKeys::awaitRelease(lParam);
        }
        try {
            result = installed(handleOf(window), message, first, static_cast<std::intptr_t>(lParam));
        } catch (const std::exception& e) {
            // Exceptions cannot travel through the system's frames.
            OutputDebugStringA(e.what());
        } catch (...) {
            OutputDebugStringA("valumat: exception in a window procedure");
        }
    }
    if (message == WM_NCDESTROY) {
        if (self->hotKeys_ != nullptr) {
            self->hotKeys_->forgetWindow(window);
        }
        RemovePropW(window, kHookProperty);
        self->windows_.erase(window);
    }
    return result;
}

// --- key events, sleeping, the pump ----------------------------------------------------------------------------

namespace {

// What a process's token says about its rights.
struct TokenRights {
    bool elevated = false;
    DWORD integrity = 0; // SECURITY_MANDATORY_*_RID; 0 when the token names none
};

// The rights of the process; false with the error when its token cannot be read.
bool readRights(HANDLE process, TokenRights& rights, DWORD& error) {
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token) == 0) {
        error = GetLastError();
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != 0) {
        rights.elevated = elevation.TokenIsElevated != 0;
    }
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<DWORD_PTR> buffer(size / sizeof(DWORD_PTR) + 1); // aligned for the structure
    if (size != 0 && GetTokenInformation(token, TokenIntegrityLevel, buffer.data(),
                                         static_cast<DWORD>(buffer.size() * sizeof(DWORD_PTR)), &size) != 0) {
        const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
        const UCHAR count = *GetSidSubAuthorityCount(sid);
        if (count > 0) {
            rights.integrity = *GetSidSubAuthority(sid, count - 1U);
        }
    }
    CloseHandle(token);
    return true;
}

} // namespace

platform::KeyEvents::Front KeyEvents::front() {
    Front front;
    DWORD processId = 0;
    const HWND window = GetForegroundWindow();
    if (window == nullptr || GetWindowThreadProcessId(window, &processId) == 0 || processId == GetCurrentProcessId()) {
        return front;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        // Only a process with higher rights refuses us even this much.
        front.reachable = GetLastError() != ERROR_ACCESS_DENIED;
        return front;
    }
    TokenRights theirs;
    TokenRights ours;
    DWORD error = 0;
    if (!readRights(process, theirs, error)) {
        // An elevated program's token is closed to a program without elevation.
        front.reachable = error != ERROR_ACCESS_DENIED;
    } else if (readRights(GetCurrentProcess(), ours, error)) {
        front.reachable = theirs.integrity <= ours.integrity && (ours.elevated || !theirs.elevated);
    }
    if (!front.reachable) {
        std::wstring path(MAX_PATH, L'\0');
        auto length = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process, 0, path.data(), &length) != 0) {
            path.resize(length);
            front.program = narrow(path.substr(path.find_last_of(L"\\/") + 1));
        }
    }
    CloseHandle(process);
    return front;
}

void KeyEvents::keyEvent(std::uint8_t virtualKey, std::uint32_t flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = 0;
    if ((flags & platform::kKeyEventExtended) != 0) {
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    }
    if ((flags & platform::kKeyEventKeyUp) != 0) {
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
    }
    if (SendInput(1, &input, sizeof input) != 1) {
        throw RuntimeError(err::kPermissionDenied); // blocked, e.g. by a program with higher rights in front
    }
}

void Sleeper::sleep(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    if (clipboard_ != nullptr) {
        clipboard_->sleepWatching(milliseconds);
    } else {
        Sleep(static_cast<DWORD>(milliseconds));
    }
}

bool MessagePump::dispatch(MSG& message) {
    if (message.message == WM_QUIT) {
        return false;
    }
    if (dialogWindow != nullptr && IsWindow(dialogWindow) && IsDialogMessageW(dialogWindow, &message)) {
        return true;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
    return true;
}

void MessagePump::pumpMessages() {
    MSG message;
    for (int count = 0; count < kMaxMessagesPerPump && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++count) {
        if (!dispatch(message)) {
            PostQuitMessage(static_cast<int>(message.wParam)); // for the program's message loop
            return;
        }
    }
}

// --- tray --------------------------------------------------------------------------------------------------------

TrayIcon::TrayIcon(HWND window, HICON icon)
    : window_(window), icon_(icon), taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
    // Explorer announces a new task bar to every top-level window, also to programs with other rights.
    ChangeWindowMessageFilterEx(window_, taskbarCreated_, MSGFLT_ALLOW, nullptr);
}

TrayIcon::~TrayIcon() {
    remove();
}

NOTIFYICONDATAW TrayIcon::data(UINT flags) const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = 1;
    data.uFlags = flags;
    data.uCallbackMessage = kTrayCallbackMessage;
    data.hIcon = icon_;
    const std::size_t length = std::min(tooltip_.size(), std::size(data.szTip) - 1);
    std::wmemcpy(data.szTip, tooltip_.c_str(), length);
    data.szTip[length] = L'\0';
    return data;
}

bool TrayIcon::tryAdd() {
    NOTIFYICONDATAW icon = data(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    if (Shell_NotifyIconW(NIM_ADD, &icon)) {
        return true;
    }
    // A busy Explorer may time out, and may have added the icon anyway: a few more tries while there is a task bar.
    for (int attempt = 0; attempt < 3 && available(); ++attempt) {
        if (Shell_NotifyIconW(NIM_MODIFY, &icon) || Shell_NotifyIconW(NIM_ADD, &icon)) {
            return true;
        }
        Sleep(200);
    }
    return false;
}

bool TrayIcon::available() {
    return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
}

void TrayIcon::showMessage(const std::string& title, const std::string& text) {
    if (!shown_) {
        return;
    }
    NOTIFYICONDATAW balloon = data(NIF_INFO);
    const std::wstring wideTitle = widen(title);
    const std::wstring wideText = widen(text);
    const std::size_t titleLength = std::min(wideTitle.size(), std::size(balloon.szInfoTitle) - 1);
    std::wmemcpy(balloon.szInfoTitle, wideTitle.c_str(), titleLength);
    balloon.szInfoTitle[titleLength] = L'\0';
    const std::size_t textLength = std::min(wideText.size(), std::size(balloon.szInfo) - 1);
    std::wmemcpy(balloon.szInfo, wideText.c_str(), textLength);
    balloon.szInfo[textLength] = L'\0';
    balloon.dwInfoFlags = NIIF_WARNING;
    Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void TrayIcon::add(const std::string& tooltip) {
    tooltip_ = widen(tooltip);
    wanted_ = true;
    if (shown_) {
        NOTIFYICONDATAW icon = data(NIF_TIP);
        Shell_NotifyIconW(NIM_MODIFY, &icon);
        return;
    }
    shown_ = tryAdd();
    if (!shown_ && available()) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    // Without a task bar yet, the icon comes with "TaskbarCreated".
}

void TrayIcon::remove() {
    wanted_ = false;
    if (shown_) {
        NOTIFYICONDATAW icon = data(0);
        Shell_NotifyIconW(NIM_DELETE, &icon);
        shown_ = false;
    }
}

void TrayIcon::setMouseHandler(std::function<void(int message)> handler) {
    handler_ = std::move(handler);
}

void TrayIcon::setIcon(HICON icon) {
    icon_ = icon;
    if (shown_) {
        NOTIFYICONDATAW data = this->data(NIF_ICON);
        Shell_NotifyIconW(NIM_MODIFY, &data);
    }
}

bool TrayIcon::handleMessage(UINT message, WPARAM, LPARAM lParam) {
    if (message == kTrayCallbackMessage) {
        const int mouse = LOWORD(lParam);
        static_assert(platform::kTrayMessageClick == NIN_BALLOONUSERCLICK);
        if ((mouse == platform::kTrayLeftDoubleClick || mouse == platform::kTrayRightButtonUp ||
             mouse == platform::kTrayMessageClick) &&
            handler_) {
            handler_(mouse);
        }
        return true;
    }
    if (message == taskbarCreated_ && taskbarCreated_ != 0) {
        shown_ = false; // the new task bar knows no icons
        if (wanted_) {
            shown_ = tryAdd();
        }
        return true;
    }
    return false;
}

int trackTrayMenu(HWND owner, HMENU menu) {
    SetForegroundWindow(owner);
    POINT at{};
    GetCursorPos(&at);
    const int command = static_cast<int>(
        TrackPopupMenuEx(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0); // lets the menu close properly next time
    return command;
}

// --- shell, autostart, message boxes, process -------------------------------------------------------------------

void ShellOpen::shellOpen(platform::WindowHandle owner, const std::string& verb, const std::string& target,
                          const std::string& directory) {
    const std::wstring wideVerb = widen(verb);
    const std::wstring wideTarget = widen(target);
    const std::wstring wideDirectory = widen(directory);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = hwndOf(owner);
    info.lpVerb = wideVerb.empty() ? nullptr : wideVerb.c_str();
    info.lpFile = wideTarget.c_str();
    info.lpDirectory = wideDirectory.empty() ? nullptr : wideDirectory.c_str();
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
}

std::wstring Autostart::commandFor(const std::string& programPath) {
    const std::wstring path = widen(programPath);
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
        return path;
    }
    return L"\"" + path + L"\"";
}

void Autostart::setEntry(const std::string& programPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root_, subKey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    const std::wstring data = commandFor(programPath);
    RegSetValueExW(key, valueName_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

void Autostart::removeEntry() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, subKey_.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueW(key, valueName_.c_str());
    RegCloseKey(key);
}

platform::MessageAnswer MessageBoxes::messageBox(const std::string& text, const std::string& title,
                                                 platform::MessageIcon icon, platform::MessageButtons buttons,
                                                 platform::DefaultButton defaultButton) {
    UINT style = MB_SETFOREGROUND;
    switch (icon) {
    case platform::MessageIcon::Critical:
        style |= MB_ICONHAND;
        break;
    case platform::MessageIcon::Question:
        style |= MB_ICONQUESTION;
        break;
    case platform::MessageIcon::Exclamation:
        style |= MB_ICONEXCLAMATION;
        break;
    case platform::MessageIcon::Information:
        style |= MB_ICONASTERISK;
        break;
    case platform::MessageIcon::None:
        break;
    }
    const bool yesNo = buttons == platform::MessageButtons::YesNo;
    style |= yesNo ? MB_YESNO : MB_OK;
    if (yesNo && defaultButton == platform::DefaultButton::Second) {
        style |= MB_DEFBUTTON2;
    }
    HWND parent = owner != nullptr && IsWindow(owner) ? owner : nullptr;
    if (parent == nullptr) {
        style |= MB_TASKMODAL;
    }
    const int answer = MessageBoxW(parent, widen(text).c_str(), widen(title).c_str(), style);
    switch (answer) {
    case IDYES:
        return platform::MessageAnswer::Yes;
    case IDNO:
        return platform::MessageAnswer::No;
    case IDOK:
        return platform::MessageAnswer::Ok;
    default: // no box could be shown
        if (!yesNo) {
            return platform::MessageAnswer::Ok;
        }
        return defaultButton == platform::DefaultButton::First ? platform::MessageAnswer::Yes
                                                               : platform::MessageAnswer::No;
    }
}

std::string Process::programPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return narrow(std::wstring_view(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string Process::commandLine() {
    return narrow(argumentsAfterProgram(GetCommandLineW()));
}

void Process::endProgram(int status) {
    if (beforeEnd) {
        try {
            beforeEnd();
        } catch (...) {
            // ending anyway
        }
    }
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(status));
}

// --- the desktop -------------------------------------------------------------------------------------------------

namespace {

// COM for the shell, from ole32.dll loaded when needed (the program imports only the core system libraries).
template <class Fn> Fn ole32Function(const char* name) {
    static HMODULE module = LoadLibraryW(L"ole32.dll");
    return module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                             : nullptr;
}
using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
using CoUninitializeFn = void(WINAPI*)();

} // namespace

Win32Desktop::Win32Desktop(HINSTANCE instance)
    : instance_(instance), window_(createMessageWindow(instance)),
      clipboard_(window_, [this] { pump_.pumpMessages(); }), sleeper_(&clipboard_), windowHook_(&hotKeys_),
      tray_(window_, programIcon(instance)) {
    // Shell extensions behind ShellExecuteEx want COM on the calling thread.
    if (const auto coInitializeEx = ole32Function<CoInitializeExFn>("CoInitializeEx")) {
        comInitialized_ = SUCCEEDED(coInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Desktop::messageWindowProcedure));
    // Ending without the window's destruction (no WM_RENDERALLFORMATS then): the promised result is rendered here.
    process_.beforeEnd = [this] {
        clipboard_.renderPromised();
        tray_.remove();
    };
}

Win32Desktop::~Win32Desktop() {
    tray_.remove();
    // Still set user data: WM_RENDERALLFORMATS during the destruction leaves a promised result behind.
    DestroyWindow(window_);
    if (comInitialized_) {
        if (const auto coUninitialize = ole32Function<CoUninitializeFn>("CoUninitialize")) {
            coUninitialize();
        }
    }
}

platform::Platform Win32Desktop::platform() {
    platform::Platform services;
    services.hotKeys = &hotKeys_;
    services.atoms = &atoms_;
    services.keyEvents = &keyEvents_;
    services.clipboard = &clipboard_;
    services.sleeper = &sleeper_;
    services.pump = &pump_;
    services.windowHook = &windowHook_;
    services.tray = &tray_;
    services.shell = &shell_;
    services.autostart = &autostart_;
    services.messageBoxes = &messageBoxes_;
    services.process = &process_;
    services.folders = &folders_;
    services.rates = &rates_;
    return services;
}

void Win32Desktop::setMainWindow(HWND window, bool dialogKeys) {
    mainWindow_ = window;
    messageBoxes_.owner = window;
    pump_.dialogWindow = dialogKeys ? window : nullptr;
}

int Win32Desktop::runMessageLoop() {
    MSG message;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            return got == 0 ? static_cast<int>(message.wParam) : 1;
        }
        pump_.dispatch(message);
    }
}

void Win32Desktop::endSession() {
    if (ending_) {
        // WM_ENDSESSION for another of our windows, handled while the clean-up pumps messages: the first one ends
        // the process.
        return;
    }
    ending_ = true;
    if (onSessionEnd) {
        try {
            onSessionEnd();
        } catch (...) {
            // ending anyway
        }
    }
    process_.endProgram(0);
}

bool Win32Desktop::handleSessionMessage(UINT message, WPARAM wParam, LRESULT& result) {
    if (message == WM_QUERYENDSESSION) {
        result = TRUE;
        return true;
    }
    if (message == WM_ENDSESSION) {
        if (wParam != FALSE) {
            endSession();
        }
        result = 0;
        return true;
    }
    return false;
}

LRESULT CALLBACK Win32Desktop::messageWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32Desktop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        LRESULT result = 0;
        if (self->handleSessionMessage(message, wParam, result)) {
            return result;
        }
        if (self->clipboard_.handleMessage(message, wParam, lParam)) {
            return 0;
        }
        if (self->tray_.handleMessage(message, wParam, lParam)) {
            return 0;
        }
        if (self->rates_.handleMessage(message, wParam, lParam)) {
            return 0;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace valumat::win32
