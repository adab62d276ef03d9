#include "platform/win32/win32clipboard.h"

#include "platform/win32/wide.h"
#include "runtime/clipsave.h"
#include "runtime/errors.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace valumat::win32 {

namespace {

// One format of a saved clipboard.
struct SavedFormat {
    enum class Kind { Memory, EnhancedMetafile, MetafilePicture, Palette };
    UINT format = 0;
    Kind kind = Kind::Memory;
    std::vector<unsigned char> bytes; // memory contents, metafile bits or palette entries
    METAFILEPICT picture{};           // mapping mode and extent of a metafile picture (hMF unused)
};

class SavedClipboard final : public platform::Clipboard::Snapshot {
public:
    std::vector<SavedFormat> formats;
};

HGLOBAL globalCopy(const void* data, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size == 0 ? 1 : size);
    if (memory == nullptr) {
        return nullptr;
    }
    if (void* target = GlobalLock(memory)) {
        if (size > 0) {
            std::memcpy(target, data, size);
        }
        GlobalUnlock(memory);
        return memory;
    }
    GlobalFree(memory);
    return nullptr;
}

HGLOBAL globalText(const std::wstring& text) {
    return globalCopy(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// The bytes of a memory format; false when the handle is no global memory block.
bool copyMemory(HANDLE handle, std::vector<unsigned char>& bytes) {
    const SIZE_T size = GlobalSize(handle);
    if (size == 0) {
        return false;
    }
    const void* data = GlobalLock(handle);
    if (data == nullptr) {
        return false;
    }
    const auto* begin = static_cast<const unsigned char*>(data);
    bytes.assign(begin, begin + size);
    GlobalUnlock(handle);
    return true;
}

bool isHandleFormat(UINT format) {
    switch (format) {
    case CF_BITMAP:
    case CF_DSPBITMAP:
    case CF_ENHMETAFILE:
    case CF_DSPENHMETAFILE:
    case CF_METAFILEPICT:
    case CF_DSPMETAFILEPICT:
    case CF_PALETTE:
    case CF_OWNERDISPLAY:
        return true;
    default:
        return (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) ||
               (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST);
    }
}

// Reads one format into `saved`; false when it is skipped.
bool saveFormat(UINT format, SavedFormat& saved) {
    saved.format = format;
    switch (format) {
    case CF_BITMAP:
    case CF_DSPBITMAP:
        // Windows renders the bitmap again from the DIB saved with it.
        return false;
    case CF_METAFILEPICT:
    case CF_DSPMETAFILEPICT: {
        if (format == CF_METAFILEPICT && IsClipboardFormatAvailable(CF_ENHMETAFILE)) {
            return false; // made again from the enhanced metafile
        }
        HANDLE handle = GetClipboardData(format);
        if (handle == nullptr) {
            return false;
        }
        const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(handle));
        if (picture == nullptr) {
            return false;
        }
        saved.kind = SavedFormat::Kind::MetafilePicture;
        saved.picture = *picture;
        saved.picture.hMF = nullptr;
        const UINT size = GetMetaFileBitsEx(picture->hMF, 0, nullptr);
        saved.bytes.resize(size);
        const bool ok = size > 0 && GetMetaFileBitsEx(picture->hMF, size, saved.bytes.data()) == size;
        GlobalUnlock(handle);
        return ok;
    }
    case CF_ENHMETAFILE:
    case CF_DSPENHMETAFILE: {
        auto metafile = static_cast<HENHMETAFILE>(GetClipboardData(format));
        if (metafile == nullptr) {
            return false;
        }
        const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
        saved.kind = SavedFormat::Kind::EnhancedMetafile;
        saved.bytes.resize(size);
        return size > 0 && GetEnhMetaFileBits(metafile, size, saved.bytes.data()) == size;
    }
    case CF_PALETTE: {
        auto palette = static_cast<HPALETTE>(GetClipboardData(format));
        if (palette == nullptr) {
            return false;
        }
        const UINT count = GetPaletteEntries(palette, 0, 0, nullptr);
        if (count == 0) {
            return false;
        }
        saved.kind = SavedFormat::Kind::Palette;
        saved.bytes.resize(count * sizeof(PALETTEENTRY));
        return GetPaletteEntries(palette, 0, count, reinterpret_cast<PALETTEENTRY*>(saved.bytes.data())) == count;
    }
    default:
        if (isHandleFormat(format)) {
            return false; // owner display, private and GDI-object formats: only their owner knows them
        }
        HANDLE handle = GetClipboardData(format);
        saved.kind = SavedFormat::Kind::Memory;
        return handle != nullptr && copyMemory(handle, saved.bytes);
    }
}

// The name the saving rule knows a format by: "CF_..." for the standard ones, else its registered name.
std::string formatName(UINT format) {
    static const std::pair<UINT, const char*> kStandard[] = {
        {CF_TEXT, "CF_TEXT"},
        {CF_BITMAP, "CF_BITMAP"},
        {CF_METAFILEPICT, "CF_METAFILEPICT"},
        {CF_SYLK, "SYLK"},
        {CF_DIF, "DIF"},
        {CF_TIFF, "CF_TIFF"},
        {CF_OEMTEXT, "CF_OEMTEXT"},
        {CF_DIB, "CF_DIB"},
        {CF_PALETTE, "CF_PALETTE"},
        {CF_PENDATA, "CF_PENDATA"},
        {CF_RIFF, "CF_RIFF"},
        {CF_WAVE, "CF_WAVE"},
        {CF_UNICODETEXT, "CF_UNICODETEXT"},
        {CF_ENHMETAFILE, "CF_ENHMETAFILE"},
        {CF_HDROP, "CF_HDROP"},
        {CF_LOCALE, "CF_LOCALE"},
        {CF_DIBV5, "CF_DIBV5"},
        {CF_OWNERDISPLAY, "CF_OWNERDISPLAY"},
        {CF_DSPTEXT, "CF_DSPTEXT"},
        {CF_DSPBITMAP, "CF_DSPBITMAP"},
        {CF_DSPMETAFILEPICT, "CF_DSPMETAFILEPICT"},
        {CF_DSPENHMETAFILE, "CF_DSPENHMETAFILE"},
    };
    for (const auto& [id, name] : kStandard) {
        if (id == format) {
            return name;
        }
    }
    wchar_t name[256];
    const int length = GetClipboardFormatNameW(format, name, 256);
    return length > 0 ? narrow(std::wstring_view(name, static_cast<std::size_t>(length)))
                      : "#" + std::to_string(format);
}

// Puts one saved format back (the clipboard is open and empty).
void restoreFormat(const SavedFormat& saved) {
    switch (saved.kind) {
    case SavedFormat::Kind::Memory:
        if (HGLOBAL memory = globalCopy(saved.bytes.data(), saved.bytes.size())) {
            if (SetClipboardData(saved.format, memory) == nullptr) {
                GlobalFree(memory);
            }
        }
        return;
    case SavedFormat::Kind::EnhancedMetafile:
        if (HENHMETAFILE metafile = SetEnhMetaFileBits(static_cast<UINT>(saved.bytes.size()), saved.bytes.data())) {
            if (SetClipboardData(saved.format, metafile) == nullptr) {
                DeleteEnhMetaFile(metafile);
            }
        }
        return;
    case SavedFormat::Kind::MetafilePicture: {
        HMETAFILE metafile = SetMetaFileBitsEx(static_cast<UINT>(saved.bytes.size()), saved.bytes.data());
        if (metafile == nullptr) {
            return;
        }
        METAFILEPICT picture = saved.picture;
        picture.hMF = metafile;
        HGLOBAL memory = globalCopy(&picture, sizeof picture);
        if (memory == nullptr || SetClipboardData(saved.format, memory) == nullptr) {
            if (memory != nullptr) {
                GlobalFree(memory);
            }
            DeleteMetaFile(metafile);
        }
        return;
    }
    case SavedFormat::Kind::Palette: {
        const std::size_t count = saved.bytes.size() / sizeof(PALETTEENTRY);
        std::vector<unsigned char> buffer(sizeof(LOGPALETTE) + count * sizeof(PALETTEENTRY));
        auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
        logical->palVersion = 0x300;
        logical->palNumEntries = static_cast<WORD>(count);
        std::memcpy(logical->palPalEntry, saved.bytes.data(), saved.bytes.size());
        if (HPALETTE palette = CreatePalette(logical)) {
            if (SetClipboardData(saved.format, palette) == nullptr) {
                DeleteObject(palette);
            }
        }
        return;
    }
    }
}

DWORD processOf(HWND window) {
    DWORD process = 0;
    if (window != nullptr) {
        GetWindowThreadProcessId(window, &process);
    }
    return process;
}

// "window 1a2b (process 40)" for the trace.
std::string describe(HWND window) {
    if (window == nullptr) {
        return "none";
    }
    char text[64];
    std::snprintf(text, sizeof text, "window %lx (process %lu)",
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)),
                  static_cast<unsigned long>(processOf(window)));
    return text;
}

} // namespace

// The clipboard open for the lifetime of the object.
class Clipboard::Session {
public:
    Session(HWND window, int attempts, DWORD pause) {
        const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(attempts > 1 ? attempts - 1 : 0) * pause;
        for (;;) {
            if (OpenClipboard(window)) {
                return;
            }
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) {
                throw RuntimeError(err::kPermissionDenied);
            }
            // Whoever holds the clipboard open may be waiting for us to render a format: messages sent to us are
            // answered while we wait for it to let go.
            const auto wait = static_cast<DWORD>(std::min<ULONGLONG>(pause, deadline - now));
            if (MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0) {
                MSG message;
                PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
    }
    ~Session() { CloseClipboard(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

Clipboard::Clipboard(HWND owner, std::function<void()> pump)
    : owner_(owner), pump_(std::move(pump)),
      excludeFormat_(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing")),
      historyFormat_(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory")),
      listening_(AddClipboardFormatListener(owner) != FALSE),
      tracing_(GetEnvironmentVariableW(L"VALUMAT_TRACE_CLIPBOARD", nullptr, 0) > 1) {}

Clipboard::~Clipboard() {
    if (listening_ && IsWindow(owner_)) {
        RemoveClipboardFormatListener(owner_);
    }
}

void Clipboard::trace(const std::string& what) {
    if (tracing_) {
        OutputDebugStringW(
            widen("valumat: clipboard " + std::to_string(GetTickCount64() % 100000) + " " + what + "\n").c_str());
    }
}

void Clipboard::note(const std::string& text) {
    OutputDebugStringW(widen("valumat: " + text + "\n").c_str());
}

std::int64_t Clipboard::nowMs() {
    return static_cast<std::int64_t>(GetTickCount64());
}

void Clipboard::ownedChange() {
    watching_ = false;
    seenSequence_ = GetClipboardSequenceNumber();
}

bool Clipboard::inForegroundProcess(HWND window) const {
    const DWORD process = processOf(window);
    if (process == 0) {
        return false;
    }
    const DWORD front = foregroundProcess_ != 0 ? foregroundProcess_ : processOf(GetForegroundWindow());
    return process == front;
}

platform::ClipboardOrigin Clipboard::originOf(HWND window) const {
    if (window == nullptr || window == owner_) {
        return platform::ClipboardOrigin::Unknown;
    }
    return inForegroundProcess(window) ? platform::ClipboardOrigin::Front : platform::ClipboardOrigin::Other;
}

bool Clipboard::lookAtChange() {
    if (listener_ == nullptr || GetClipboardSequenceNumber() == seenSequence_) {
        return true;
    }
    if (!watching_) {
        // The result is offered: who took the clipboard is enough (no need to open it).
        seenSequence_ = GetClipboardSequenceNumber();
        HWND owner = GetClipboardOwner();
        if (owner == owner_) {
            return true;
        }
        trace("change " + std::to_string(seenSequence_) + ": owner " + describe(owner));
        listener_->ownerChanged(originOf(owner), std::nullopt);
        return true;
    }
    try {
        Session session(owner_, openAttempts_, openPause_);
        const DWORD sequence = GetClipboardSequenceNumber();
        seenSequence_ = sequence;
        HWND owner = GetClipboardOwner();
        if (owner == owner_) {
            return true;
        }
        const int formats = CountClipboardFormats();
        if (owner == nullptr && formats == 0) {
            trace("change " + std::to_string(sequence) + ": empty, no owner");
            return true; // as empty as empty() left it (emptied again by someone): nothing to report
        }
        const platform::ClipboardOrigin origin = originOf(owner);
        trace("change " + std::to_string(sequence) + ": owner " + describe(owner) + ", " + std::to_string(formats) +
              " formats");
        std::optional<std::string> text;
        if (origin != platform::ClipboardOrigin::Other) {
            text = textNow(); // read while the clipboard is held open: what is read is what was judged
        }
        listener_->ownerChanged(origin, text);
        return true;
    } catch (const RuntimeError&) {
        trace("change not looked at: the clipboard is held open by " + describe(GetOpenClipboardWindow()));
        return false; // held open by someone all the while: looked at again with the next change or call
    }
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    resultSet_ = false;
    watching_ = false;
    auto snapshot = std::make_unique<SavedClipboard>();
    savedFormats_ = 0;
    skippedFormats_ = 0;
    Session session(owner_, openAttempts_, openPause_);
    reading_ = true;
    // What the saving rule plans (src/runtime/clipsave): the formats Windows synthesises and those of the owner's
    // own process are left, delayed-rendered pictures of a text never asked for. A read cannot be cut short here
    // (GetClipboardData waits for the owner's rendering): the bound is kept between reads.
    std::vector<std::string> names;
    std::vector<UINT> ids;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        names.push_back(formatName(format));
        ids.push_back(format);
    }
    const auto idOf = [&names, &ids](const std::string& name) {
        return ids[static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin())];
    };
    const clipsave::Plan plan = clipsave::plan(names);
    const std::int64_t start = nowMs();
    std::vector<std::string> late;
    for (const clipsave::Fetch& fetch : plan.fetches) {
        if (clipsave::timeLeft(fetch, nowMs() - start) <= 0) {
            late.push_back(fetch.type);
            continue;
        }
        SavedFormat saved;
        if (!saveFormat(idOf(fetch.type), saved)) {
            ++skippedFormats_;
            continue;
        }
        for (const std::string& alias : fetch.aliases) {
            SavedFormat copy = saved;
            copy.format = idOf(alias);
            snapshot->formats.push_back(std::move(copy));
        }
        snapshot->formats.push_back(std::move(saved));
        ++savedFormats_;
    }
    skippedFormats_ += static_cast<int>(plan.left.size());
    if (!late.empty()) {
        note(clipsave::lateNote(late));
    }
    reading_ = false;
    trace("save " + std::to_string(savedFormats_) + " formats, " + std::to_string(skippedFormats_) + " skipped");
    return snapshot;
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    watching_ = false;
    trace("restore " + std::to_string(saved->formats.size()) + " formats");
    {
        Session session(owner_, openAttempts_, openPause_);
        if (!EmptyClipboard()) {
            throw RuntimeError(err::kPermissionDenied);
        }
        for (const SavedFormat& format : saved->formats) {
            restoreFormat(format);
        }
    }
    resultSet_ = false;
    ownedChange();
}

std::string Clipboard::textNow() {
    reading_ = true;
    HANDLE handle = GetClipboardData(CF_UNICODETEXT);
    reading_ = false;
    if (handle == nullptr) {
        return {};
    }
    const SIZE_T size = GlobalSize(handle);
    const auto* text = static_cast<const wchar_t*>(GlobalLock(handle));
    if (text == nullptr) {
        return {};
    }
    const std::string result = narrow(std::wstring_view(text, wcsnlen(text, size / sizeof(wchar_t))));
    GlobalUnlock(handle);
    return result;
}

std::string Clipboard::readText(int maxMilliseconds) {
    const int attempts = std::max(1, maxMilliseconds / static_cast<int>(openPause_ > 0 ? openPause_ : 1));
    try {
        Session session(owner_, std::min(attempts, openAttempts_), openPause_);
        return GetClipboardOwner() == owner_ ? std::string() : textNow();
    } catch (const RuntimeError&) {
        return {};
    }
}

void Clipboard::empty() {
    resultSet_ = false;
    // The watch starts even when emptying fails: the application's copy is still reported.
    watching_ = true;
    foregroundProcess_ = processOf(GetForegroundWindow());
    seenSequence_ = GetClipboardSequenceNumber();
    {
        // Opened with our window first: that fails while another program holds the clipboard open, whichever
        // window it used, while opening without a window would take the clipboard over from a program that opened
        // it without one, in the middle of its reading.
        Session probe(owner_, openAttempts_, openPause_);
    }
    {
        // Without a window: emptying leaves the clipboard without owner.
        Session session(nullptr, openAttempts_, openPause_);
        if (!EmptyClipboard()) {
            throw RuntimeError(err::kPermissionDenied);
        }
    }
    seenSequence_ = GetClipboardSequenceNumber();
    trace("empty " + std::to_string(seenSequence_) + ", in front: process " + std::to_string(foregroundProcess_));
}

void Clipboard::waitForEvents(int maxMilliseconds) {
    // Looks at the clipboard before handling anything: a manager that takes the clipboard after the copy may be
    // waiting for one of our windows to answer it. Sleeps until a message arrives (WM_CLIPBOARDUPDATE is posted to
    // our window, a render request is sent to it) or the time is up.
    lookAtChange();
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::max(maxMilliseconds, 0)), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    lookAtChange();
    if (pump_) {
        pump_();
    }
}

void Clipboard::sleepWatching(int milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds > 0 ? milliseconds : 0);
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, owner_, WM_CLIPBOARDUPDATE, WM_CLIPBOARDUPDATE, PM_REMOVE)) {
        }
        lookAtChange();
        // Marks everything queued so far as seen: the wait below wakes only for what arrives later. A message sent
        // to us before that (while the clipboard was looked at) is answered now: seen, it would no longer wake the
        // wait, and its sender (a target fetching our result, a program taking the clipboard from us) would hang
        // until the SLEEP is over.
        GetQueueStatus(QS_ALLINPUT);
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return;
        }
        // Sent messages (render requests) are answered by the peek after the wait.
        if (MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE | QS_SENDMESSAGE,
                                        0) == WAIT_OBJECT_0) {
            lookAtChange();
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void Clipboard::offer() {
    Session session(owner_, openAttempts_, openPause_);
    if (!EmptyClipboard()) {
        throw RuntimeError(err::kPermissionDenied);
    }
    SetClipboardData(CF_UNICODETEXT, nullptr); // rendered when someone asks (WM_RENDERFORMAT)
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        throw RuntimeError(err::kPermissionDenied);
    }
    const DWORD zero = 0;
    for (UINT marker : {excludeFormat_, historyFormat_}) {
        if (marker == 0) {
            continue;
        }
        if (HGLOBAL memory = globalCopy(&zero, sizeof zero)) {
            if (SetClipboardData(marker, memory) == nullptr) {
                GlobalFree(memory);
            }
        }
    }
    // Closing the session below is the change; our sequence number is taken after it by the callers.
}

void Clipboard::offerText(const std::string& text) {
    watching_ = false;
    result_ = widen(text);
    offer();
    resultSet_ = true;
    ownedChange();
}

bool Clipboard::isOurs() {
    return GetClipboardOwner() == owner_;
}

void Clipboard::render() {
    if (HGLOBAL memory = globalText(result_)) {
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
}

void Clipboard::renderPromised() {
    if (!resultSet_ || GetClipboardOwner() != owner_) {
        return;
    }
    if (OpenClipboard(owner_)) {
        if (GetClipboardOwner() == owner_) {
            render();
        }
        CloseClipboard();
    }
}

bool Clipboard::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_RENDERFORMAT:
        if (wParam == CF_UNICODETEXT) {
            // The one who asks holds the clipboard open: its window tells who it is.
            HWND asker = GetOpenClipboardWindow();
            const bool serve = reading_ || listener_ == nullptr || listener_->resultRequested(originOf(asker), true);
            if (!reading_) {
                trace("render request from " + describe(asker) + (serve ? ": served" : ": refused"));
            }
            if (serve) {
                render();
            }
        }
        return true;
    case WM_RENDERALLFORMATS:
        // The message window goes away while the result is still promised: leave the text itself behind.
        renderPromised();
        return true;
    case WM_DESTROYCLIPBOARD:
        return true; // the data handed to the clipboard belongs to it; nothing of ours to free
    case WM_CLIPBOARDUPDATE:
        lookAtChange();
        return true;
    default:
        return false;
    }
}

} // namespace valumat::win32
