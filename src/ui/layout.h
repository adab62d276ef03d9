// From the design in twips to pixels on the screen, for every renderer: the twips-to-pixel conversion, and the
// layout of one window's controls so that every caption fits with the fonts the toolkit uses. The design positions
// stay; where they overlap (the design has a few controls overlapping by a pixel or two) the upper or left control
// gives way, and where a caption does not fit, its control grows towards free space (to the right, to the left for
// right-aligned labels, downwards for wrapped text), never over another control.
#pragma once

#include "ui/controls.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace valumat::ui {

// Twips (1/1440 inch) to pixels at a resolution in dots per inch, and back.
int twipsToPixels(int twips, int dpi);
int pixelsToTwips(int pixels, int dpi);

struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool intersects(const PixelRect& other) const;
    bool operator==(const PixelRect&) const = default;
};

// A rectangle in twips as pixels; (originLeft, originTop) is where the parent starts, in the same twips coordinates.
PixelRect pixelRect(const Twips& rect, int dpi, int originLeft = 0, int originTop = 0);

// What a control's caption needs in pixels, as the toolkit draws it (indicator, margins and frame included), when
// the control is `width` pixels wide: the width of its widest line and the height of all its lines. {0, 0} for a
// control without a caption.
struct CaptionNeed {
    int width = 0;
    int height = 0;
};
using MeasureCaption = std::function<CaptionNeed(const Control& control, int width)>;

// Panels, frames and tab strips hold other controls: they take no part in the fitting.
bool isContainer(const Control& control);
// Labels, buttons, check boxes and option buttons.
bool hasCaption(const Control& control);

// Lays out the controls of one parent (`controls` and their `placed` rectangles, in the same order) inside a parent
// area of `parentWidth` × `parentHeight` pixels: first the overlaps of the design are taken out, then every caption
// that does not fit gets the room it needs as far as free space allows. Returns the new rectangles.
std::vector<PixelRect> fitCaptions(const std::vector<const Control*>& controls, std::vector<PixelRect> placed,
                                   int parentWidth, int parentHeight, const MeasureCaption& measure);

// A control of a window with several parents (the form, the frames of its tabs): `parent` is whatever the renderer
// knows the parent by, `placed` its rectangle inside that parent.
struct PlacedControl {
    const Control* control = nullptr;
    const void* parent = nullptr;
    PixelRect placed;
};
struct PixelSize {
    int width = 0;
    int height = 0;
};

// fitCaptions for a whole window: the controls of each parent are fitted together, inside that parent's area
// (`parentArea(i)`: the area of the parent of controls[i]); controls of different parents do not meet.
// `measure(i, width)` measures controls[i]. Returns the new rectangles, in the order of `controls`.
std::vector<PixelRect> fitCaptionsByParent(const std::vector<PlacedControl>& controls,
                                           const std::function<PixelSize(std::size_t i)>& parentArea,
                                           const std::function<CaptionNeed(std::size_t i, int width)>& measure);

// The fitted rectangle of each control of a window, kept by the renderer with the design rectangle it came from:
// once the model's rectangle changes, the plain conversion applies again.
class FittedRects {
public:
    void set(const Control& control, const PixelRect& fitted);
    // The fitted rectangle when the model still has the rectangle it was fitted from, else `plain`.
    PixelRect of(const Control& control, const PixelRect& plain) const;
    void clear() { entries_.clear(); }

private:
    struct Entry {
        const Control* control;
        Twips from;
        PixelRect fitted;
    };
    std::vector<Entry> entries_;
};

} // namespace valumat::ui
