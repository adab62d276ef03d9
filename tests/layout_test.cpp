// The shared layout of the renderers: twips to pixels, overlaps of the design taken out, captions given room.
#include "ui/layout.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace valumat {
namespace {

using ui::CaptionNeed;
using ui::PixelRect;

TEST(Layout, TwipsBecomePixelsEdgeByEdge) {
    EXPECT_EQ(ui::twipsToPixels(1440, 96), 96);
    EXPECT_EQ(ui::twipsToPixels(1440, 144), 144);
    EXPECT_EQ(ui::pixelsToTwips(481, 96), 7215);
    // Adjoining controls stay adjoining: 1095 wide from 120 ends at 1215 -> 81 px, the next one starts there.
    EXPECT_EQ(ui::pixelRect({120, 2880, 1095, 330}, 96), (PixelRect{8, 192, 73, 22}));
    EXPECT_EQ(ui::pixelRect({1215, 2880, 100, 330}, 96).left, 81);
    // Relative to a parent that starts at (120, 480).
    EXPECT_EQ(ui::pixelRect({240, 600, 1440, 1440}, 144, 120, 480), (PixelRect{12, 12, 144, 144}));
}

// Controls of one parent with the caption widths a toolkit would report.
struct Scene {
    std::vector<std::unique_ptr<ui::Control>> owned;
    std::vector<const ui::Control*> controls;
    std::vector<PixelRect> rects;
    std::map<const ui::Control*, CaptionNeed> needs;

    template <class T> T& add(PixelRect rect, CaptionNeed need = {}) {
        auto control = std::make_unique<T>("c" + std::to_string(owned.size()));
        T& raw = *control;
        controls.push_back(&raw);
        rects.push_back(rect);
        needs[&raw] = need;
        owned.push_back(std::move(control));
        return raw;
    }
    std::vector<PixelRect> fit(int width = 400, int height = 300) {
        return ui::fitCaptions(controls, rects, width, height,
                               [this](const ui::Control& c, int) { return needs.at(&c); });
    }
};

TEST(Layout, OverlapsOfTheDesignGiveWayAlongTheSmallerOverlap) {
    Scene s;
    s.add<ui::OptionButton>({100, 159, 73, 17}); // "davor"
    s.add<ui::OptionButton>({100, 173, 65, 17}); // "dahinter", 3 px lower than the first one ends
    s.add<ui::ListBox>({8, 192, 73, 22});        // a list reaching 1 px into the label beside it
    s.add<ui::Label>({80, 192, 25, 25});         // "+"
    s.add<ui::Panel>({0, 0, 400, 300});          // a frame around all of them takes no part
    const auto r = s.fit();
    EXPECT_EQ(r[0], (PixelRect{100, 159, 73, 14}));
    EXPECT_EQ(r[1], (PixelRect{100, 173, 65, 17}));
    EXPECT_EQ(r[2], (PixelRect{8, 192, 72, 22}));
    EXPECT_EQ(r[3], (PixelRect{80, 192, 25, 25}));
    EXPECT_EQ(r[4], (PixelRect{0, 0, 400, 300}));
}

TEST(Layout, CaptionsGrowTowardsFreeSpaceOnly) {
    Scene s;
    auto& check = s.add<ui::CheckBox>({256, 165, 65, 17}, {76, 13}); // "+ Kürzel:" before a text box at 328
    s.add<ui::TextBox>({328, 163, 33, 21});
    auto& right = s.add<ui::Label>({256, 200, 113, 17}, {130, 13}); // right-aligned, free space to its left
    right.alignment = ui::Alignment::Right;
    s.add<ui::Label>({200, 200, 40, 17});                           // ... up to x 240
    auto& wrapped = s.add<ui::Label>({16, 60, 433, 33}, {433, 39}); // three lines where two fit
    s.add<ui::TextBox>({16, 104, 209, 19});                         // below it, 11 px further down
    auto& last = s.add<ui::Button>({300, 280, 80, 15}, {120, 13});  // at the parent's right edge (400)
    const auto r = s.fit();
    EXPECT_EQ(r[0], (PixelRect{256, 165, 72, 17})) << check.name() << ": only up to the text box";
    EXPECT_EQ(r[2], (PixelRect{240, 200, 129, 17})) << right.name() << ": to the left, up to its neighbour";
    EXPECT_EQ(r[4], (PixelRect{16, 60, 433, 39})) << wrapped.name() << ": downwards";
    EXPECT_EQ(r[6], (PixelRect{300, 280, 100, 15})) << last.name() << ": up to the edge";
    EXPECT_EQ(r[1], s.rects[1]);
    EXPECT_EQ(r[3], s.rects[3]);
}

TEST(Layout, EachParentIsFittedOnItsOwnInsideItsArea) {
    // Two labels that would grow into each other, but in two parents; the parents' controls come interleaved.
    const ui::Label form("form", "a");
    const ui::Label inFrame("inFrame", "b");
    const ui::Label beside("beside", "c");
    int formParent = 0;
    int frameParent = 0;
    const std::vector<ui::PlacedControl> controls = {{&form, &formParent, {10, 10, 40, 17}},
                                                     {&inFrame, &frameParent, {10, 10, 40, 17}},
                                                     {&beside, &formParent, {60, 10, 40, 17}}};
    const auto r = ui::fitCaptionsByParent(
        controls,
        [&](std::size_t i) {
            return controls[i].parent == &formParent ? ui::PixelSize{400, 300} : ui::PixelSize{70, 50};
        },
        [](std::size_t, int) {
            return CaptionNeed{100, 13};
        });
    EXPECT_EQ(r[0], (PixelRect{10, 10, 50, 17})) << "up to its neighbour in the form";
    EXPECT_EQ(r[1], (PixelRect{10, 10, 60, 17})) << "up to the frame's edge, whatever the form holds";
    EXPECT_EQ(r[2], (PixelRect{60, 10, 100, 17}));
}

} // namespace
} // namespace valumat
