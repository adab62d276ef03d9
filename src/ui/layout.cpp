#include "ui/layout.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace valumat::ui {

int twipsToPixels(int twips, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / 1440.0));
}

int pixelsToTwips(int pixels, int dpi) {
    return dpi > 0 ? static_cast<int>(std::lround(static_cast<double>(pixels) * 1440.0 / dpi)) : pixels * 15;
}

bool PixelRect::intersects(const PixelRect& other) const {
    return left < other.right() && other.left < right() && top < other.bottom() && other.top < bottom();
}

PixelRect pixelRect(const Twips& rect, int dpi, int originLeft, int originTop) {
    // Edges, not sizes, are converted: two controls that meet in twips meet in pixels.
    const int left = twipsToPixels(rect.left - originLeft, dpi);
    const int top = twipsToPixels(rect.top - originTop, dpi);
    return {left, top, twipsToPixels(rect.left - originLeft + rect.width, dpi) - left,
            twipsToPixels(rect.top - originTop + rect.height, dpi) - top};
}

bool isContainer(const Control& control) {
    return dynamic_cast<const Panel*>(&control) != nullptr || dynamic_cast<const TabStrip*>(&control) != nullptr;
}

bool hasCaption(const Control& control) {
    return dynamic_cast<const Label*>(&control) != nullptr || dynamic_cast<const Button*>(&control) != nullptr ||
           dynamic_cast<const CheckBox*>(&control) != nullptr || dynamic_cast<const OptionButton*>(&control) != nullptr;
}

namespace {

bool spansOverlap(int aStart, int aEnd, int bStart, int bEnd) {
    return aStart < bEnd && bStart < aEnd;
}

Alignment alignmentOf(const Control& control) {
    if (const auto* label = dynamic_cast<const Label*>(&control)) {
        return label->alignment;
    }
    return Alignment::Left;
}

} // namespace

std::vector<PixelRect> fitCaptions(const std::vector<const Control*>& controls, std::vector<PixelRect> placed,
                                   int parentWidth, int parentHeight, const MeasureCaption& measure) {
    const std::size_t n = std::min(controls.size(), placed.size());
    const auto takesPart = [&](std::size_t i) { return !isContainer(*controls[i]); };

    // Overlaps of the design: along the axis where they overlap less, the control that starts first ends where the
    // other one starts (two option buttons one above the other: the upper one is lower; a list beside a label: the
    // list is narrower).
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = 0; j < n; ++j) {
            if (i == j || !takesPart(i) || !takesPart(j) || !placed[i].intersects(placed[j])) {
                continue;
            }
            PixelRect& a = placed[i];
            const PixelRect& b = placed[j];
            const int across = std::min(a.right(), b.right()) - std::max(a.left, b.left);
            const int down = std::min(a.bottom(), b.bottom()) - std::max(a.top, b.top);
            if (across <= down && a.left < b.left) {
                a.width = b.left - a.left;
            } else if (across > down && a.top < b.top) {
                a.height = b.top - a.top;
            }
        }
    }

    for (std::size_t i = 0; i < n; ++i) {
        if (!takesPart(i) || !hasCaption(*controls[i])) {
            continue;
        }
        PixelRect& r = placed[i];
        CaptionNeed need = measure(*controls[i], r.width);
        if (need.width > r.width) {
            // The free space on this control's lines: up to the nearest control beside it, or the parent's edge.
            int rightLimit = parentWidth > 0 ? parentWidth : INT_MAX;
            int leftLimit = 0;
            for (std::size_t j = 0; j < n; ++j) {
                if (j == i || !takesPart(j) || !spansOverlap(r.top, r.bottom(), placed[j].top, placed[j].bottom())) {
                    continue;
                }
                if (placed[j].left >= r.right()) {
                    rightLimit = std::min(rightLimit, placed[j].left);
                } else if (placed[j].right() <= r.left) {
                    leftLimit = std::max(leftLimit, placed[j].right());
                }
            }
            const int missing = need.width - r.width;
            switch (alignmentOf(*controls[i])) {
            case Alignment::Right: {
                const int grow = std::min(missing, r.left - leftLimit);
                r.left -= grow;
                r.width += grow;
                break;
            }
            case Alignment::Center: {
                const int leftRoom = r.left - leftLimit;
                const int rightRoom = rightLimit - r.right();
                const int each = (missing + 1) / 2;
                const int toLeft = std::min(each, leftRoom);
                const int toRight = std::min(missing - toLeft, rightRoom);
                r.left -= toLeft;
                r.width += toLeft + toRight;
                break;
            }
            case Alignment::Left:
                r.width += std::min(missing, rightLimit - r.right());
                break;
            }
            need = measure(*controls[i], r.width);
        }
        if (need.height > r.height) {
            // Downwards, up to the nearest control below it or the parent's lower edge.
            int bottomLimit = parentHeight > 0 ? parentHeight : INT_MAX;
            for (std::size_t j = 0; j < n; ++j) {
                if (j == i || !takesPart(j) || !spansOverlap(r.left, r.right(), placed[j].left, placed[j].right())) {
                    continue;
                }
                if (placed[j].top >= r.bottom()) {
                    bottomLimit = std::min(bottomLimit, placed[j].top);
                }
            }
            r.height += std::max(0, std::min(need.height - r.height, bottomLimit - r.bottom()));
        }
    }
    return placed;
}

std::vector<PixelRect> fitCaptionsByParent(const std::vector<PlacedControl>& controls,
                                           const std::function<PixelSize(std::size_t i)>& parentArea,
                                           const std::function<CaptionNeed(std::size_t i, int width)>& measure) {
    std::vector<PixelRect> out(controls.size());
    std::vector<bool> done(controls.size(), false);
    // Parent by parent, in the order of their first controls.
    for (std::size_t first = 0; first < controls.size(); ++first) {
        if (done[first]) {
            continue;
        }
        std::vector<std::size_t> members;
        std::vector<const Control*> group;
        std::vector<PixelRect> placed;
        for (std::size_t i = first; i < controls.size(); ++i) {
            if (controls[i].parent == controls[first].parent) {
                members.push_back(i);
                group.push_back(controls[i].control);
                placed.push_back(controls[i].placed);
                done[i] = true;
            }
        }
        const PixelSize area = parentArea(first);
        const auto fitted =
            fitCaptions(group, std::move(placed), area.width, area.height, [&](const Control& control, int width) {
                for (const std::size_t i : members) {
                    if (controls[i].control == &control) {
                        return measure(i, width);
                    }
                }
                return CaptionNeed{};
            });
        for (std::size_t k = 0; k < members.size(); ++k) {
            out[members[k]] = fitted[k];
        }
    }
    return out;
}

void FittedRects::set(const Control& control, const PixelRect& fitted) {
    for (Entry& e : entries_) {
        if (e.control == &control) {
            e.from = control.rect();
            e.fitted = fitted;
            return;
        }
    }
    entries_.push_back({&control, control.rect(), fitted});
}

PixelRect FittedRects::of(const Control& control, const PixelRect& plain) const {
    for (const Entry& e : entries_) {
        if (e.control == &control) {
            return e.from == control.rect() ? e.fitted : plain;
        }
    }
    return plain;
}

} // namespace valumat::ui
