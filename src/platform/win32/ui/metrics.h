// Sizes and fonts: the models lay their controls out in twips for an 8-point window font; the windows show them
// at the screen's resolution with the system's message font.
#pragma once

#include "ui/controls.h"
#include "ui/layout.h"

#include <windows.h>

#include <map>
#include <string>
#include <utility>

namespace valumat::win32ui {

using ui::pixelsToTwips;
using ui::twipsToPixels;

// The resolution of the screen as the program sees it (LOGPIXELSX of the screen).
int systemDpi();
// The resolution a window is shown at: the window's own where the system keeps one per window, else the screen's.
int dpiOf(HWND window);

// A control's rectangle in pixels, relative to its parent; `origin` is where the parent starts, in the same twips
// coordinates as the rectangle.
RECT pixelRect(const ui::Twips& rect, int dpi, POINT origin = {});

// The size of a text in a font: one line, or wrapped at `wrapWidth` pixels when that is above 0.
SIZE textExtent(HFONT font, const std::wstring& text, int wrapWidth = 0);

// The fonts of one window at its resolution: the message font (held between 8 and 9 points, the size the layout was
// made for), its underlined form for links, and the faces and sizes single labels ask for.
class WindowFonts {
public:
    explicit WindowFonts(int dpi);
    ~WindowFonts();
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;

    HFONT text() const { return text_; }
    HFONT link() const { return link_; }
    // The message font with another face (empty: the same) and size in points (0: the same); made once.
    HFONT variant(const std::string& face, int points);
    // The message font's size in tenths of a point, and the font at another such size (made once).
    int tenths() const { return tenths_; }
    HFONT sized(int tenths);

private:
    int dpi_;
    LOGFONTW base_{};
    HFONT text_ = nullptr;
    HFONT link_ = nullptr;
    std::map<std::pair<std::string, int>, HFONT> variants_;
    std::map<int, HFONT> sized_;
    int tenths_ = 80;
};

} // namespace valumat::win32ui
