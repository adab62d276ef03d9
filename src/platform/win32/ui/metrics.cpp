#include "platform/win32/ui/metrics.h"

#include "platform/win32/ui/wintext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>

namespace valumat::win32ui {

namespace {

// The message font of the system, its height in pixels at the screen's resolution.
LOGFONTW messageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0) == 0) {
        // Systems before Vista know the structure without its last member.
        metrics.cbSize = sizeof(metrics) - sizeof(metrics.iPaddedBorderWidth);
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0) == 0) {
            LOGFONTW fallback{};
            fallback.lfHeight = -MulDiv(8, systemDpi(), 72);
            fallback.lfWeight = FW_NORMAL;
            fallback.lfCharSet = DEFAULT_CHARSET;
            wcscpy(fallback.lfFaceName, L"MS Shell Dlg 2");
            return fallback;
        }
    }
    return metrics.lfMessageFont;
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

GetDpiForWindowFn dpiForWindowFunction() {
    static const GetDpiForWindowFn function = [] {
        HMODULE user32 = GetModuleHandleW(L"user32.dll");
        FARPROC address = user32 != nullptr ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
        // A function pointer of another type, as GetProcAddress always hands them out.
        GetDpiForWindowFn typed = nullptr;
        static_assert(sizeof(typed) == sizeof(address));
        std::memcpy(&typed, &address, sizeof(typed));
        return typed;
    }();
    return function;
}

} // namespace

int systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

int dpiOf(HWND window) {
    if (window != nullptr) {
        if (const GetDpiForWindowFn function = dpiForWindowFunction()) {
            const UINT dpi = function(window);
            if (dpi > 0) {
                return static_cast<int>(dpi);
            }
        }
    }
    return systemDpi();
}

RECT pixelRect(const ui::Twips& rect, int dpi, POINT origin) {
    const ui::PixelRect r = ui::pixelRect(rect, dpi, origin.x, origin.y);
    return {r.left, r.top, r.right(), r.bottom()};
}

SIZE textExtent(HFONT font, const std::wstring& text, int wrapWidth) {
    HDC dc = GetDC(nullptr);
    HGDIOBJ before = SelectObject(dc, font);
    RECT r{0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
              DT_CALCRECT | DT_NOPREFIX | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, before);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
}

WindowFonts::WindowFonts(int dpi) : dpi_(dpi), base_(messageFont()) {
    const int screenDpi = systemDpi();
    const int height = base_.lfHeight < 0 ? -base_.lfHeight : base_.lfHeight;
    const int points = std::clamp(static_cast<int>(std::lround(height * 72.0 / screenDpi)), 8, 9);
    base_.lfHeight = -MulDiv(points, dpi_, 72);
    tenths_ = points * 10;
    base_.lfWidth = 0;
    text_ = CreateFontIndirectW(&base_);
    LOGFONTW underlined = base_;
    underlined.lfUnderline = TRUE;
    link_ = CreateFontIndirectW(&underlined);
}

WindowFonts::~WindowFonts() {
    for (auto& [key, font] : variants_) {
        DeleteObject(font);
    }
    for (auto& [key, font] : sized_) {
        DeleteObject(font);
    }
    DeleteObject(link_);
    DeleteObject(text_);
}

HFONT WindowFonts::sized(int tenths) {
    if (const auto it = sized_.find(tenths); it != sized_.end()) {
        return it->second;
    }
    LOGFONTW font = base_;
    font.lfHeight = -MulDiv(tenths, dpi_, 720);
    HFONT made = CreateFontIndirectW(&font);
    sized_[tenths] = made;
    return made;
}

HFONT WindowFonts::variant(const std::string& face, int points) {
    const auto key = std::make_pair(face, points);
    if (const auto it = variants_.find(key); it != variants_.end()) {
        return it->second;
    }
    LOGFONTW font = base_;
    if (!face.empty()) {
        const std::wstring wide = widen(face);
        wcsncpy(font.lfFaceName, wide.c_str(), LF_FACESIZE - 1);
        font.lfFaceName[LF_FACESIZE - 1] = L'\0';
    }
    if (points > 0) {
        font.lfHeight = -MulDiv(points, dpi_, 72);
    }
    HFONT made = CreateFontIndirectW(&font);
    variants_[key] = made;
    return made;
}

} // namespace valumat::win32ui
