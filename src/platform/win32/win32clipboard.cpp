#include "platform/win32/win32clipboard.h"

#include "platform/win32/wide.h"
#include "runtime/errors.h"

#include <cstring>
#include <cwchar>
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

} // namespace

// The clipboard open for the lifetime of the object.
class Clipboard::Session {
public:
    Session(HWND window, int attempts, DWORD pause) {
        for (int attempt = 0; attempt < attempts; ++attempt) {
            if (OpenClipboard(window)) {
                return;
            }
            Sleep(pause);
        }
        throw RuntimeError(err::kPermissionDenied);
    }
    ~Session() { CloseClipboard(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

Clipboard::Clipboard(HWND owner, std::function<void()> pump)
    : owner_(owner), pump_(std::move(pump)),
      excludeFormat_(RegisterClipboardFormatW(L"ExcludeClipboardContentFromMonitorProcessing")),
      historyFormat_(RegisterClipboardFormatW(L"CanIncludeInClipboardHistory")) {}

bool Clipboard::lost() const {
    return resultSet_ && GetClipboardOwner() != owner_ && GetClipboardSequenceNumber() != ourSequence_;
}

std::unique_ptr<platform::Clipboard::Snapshot> Clipboard::save() {
    resultSet_ = false;
    fetched_ = false;
    auto snapshot = std::make_unique<SavedClipboard>();
    savedFormats_ = 0;
    skippedFormats_ = 0;
    Session session(owner_, openAttempts_, openPause_);
    reading_ = true;
    for (UINT format = EnumClipboardFormats(0); format != 0; format = EnumClipboardFormats(format)) {
        SavedFormat saved;
        if (saveFormat(format, saved)) {
            snapshot->formats.push_back(std::move(saved));
            ++savedFormats_;
        } else {
            ++skippedFormats_;
        }
    }
    reading_ = false;
    return snapshot;
}

void Clipboard::restore(const platform::Clipboard::Snapshot& snapshot) {
    const auto* saved = dynamic_cast<const SavedClipboard*>(&snapshot);
    if (saved == nullptr) {
        throw RuntimeError(err::kInvalidProcedureCall);
    }
    if (lost()) {
        return; // another program put something new there: that stays
    }
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
    ourSequence_ = GetClipboardSequenceNumber();
}

std::string Clipboard::getText() {
    Session session(owner_, openAttempts_, openPause_);
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

void Clipboard::clear() {
    if (lost()) {
        return;
    }
    {
        // Without a window: emptying leaves the clipboard without owner.
        Session session(nullptr, openAttempts_, openPause_);
        if (!EmptyClipboard()) {
            throw RuntimeError(err::kPermissionDenied);
        }
    }
    ourSequence_ = GetClipboardSequenceNumber();
}

void Clipboard::setText(const std::string& text) {
    {
        Session session(owner_, openAttempts_, openPause_);
        if (!EmptyClipboard()) {
            throw RuntimeError(err::kPermissionDenied);
        }
        result_ = widen(text);
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
    }
    resultSet_ = true;
    fetched_ = false;
    ourSequence_ = GetClipboardSequenceNumber();
}

bool Clipboard::resultPending() {
    return resultSet_ && !fetched_ && GetClipboardOwner() == owner_;
}

bool Clipboard::waitFetched(int maxMilliseconds) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(maxMilliseconds > 0 ? maxMilliseconds : 0);
    for (;;) {
        if (pump_) {
            pump_();
        }
        if (!resultPending()) {
            return true;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        // Sleeps until a message arrives (the render request is a sent message) or the time is up.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void Clipboard::render() {
    if (HGLOBAL memory = globalText(result_)) {
        if (SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
            GlobalFree(memory);
        }
    }
}

bool Clipboard::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_RENDERFORMAT:
        if (wParam == CF_UNICODETEXT) {
            render();
            if (!reading_) {
                fetched_ = true;
            }
        }
        return true;
    case WM_RENDERALLFORMATS:
        // The message window goes away while the result is still promised: leave the text itself behind.
        if (OpenClipboard(owner_)) {
            if (GetClipboardOwner() == owner_) {
                render();
            }
            CloseClipboard();
        }
        return true;
    case WM_DESTROYCLIPBOARD:
        return true; // the data handed to the clipboard belongs to it; nothing of ours to free
    default:
        return false;
    }
}

} // namespace valumat::win32
