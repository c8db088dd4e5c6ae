// The screen composed onto memory bitmaps at 16 and 32 bits per pixel and
// read back pixel by pixel.
#include <allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "costume/costume.h"
#include "resfile/lecfile.h"
#include "test_support.h"
#include "viewer/viewer.h"

namespace {

using lecb::Slot;

lecb::CostumeSpec spec_with(int colors, bool dott) {
    lecb::CostumeSpec c;
    c.colors = colors;
    c.dott = dott;
    for (int i = 0; i < colors; ++i) c.color_map[size_t(i)] = map_entry(i);
    return c;
}

// An image whose colour indices vary from pixel to pixel, with index 0 and
// the mask colour among them.
lecb::Image pattern_image(uint16_t w, uint16_t h, int16_t x, int16_t y, int colors) {
    return lecb::image_of(w, h, x, y, [colors](int i, int j) { return uint8_t((3 * i + 5 * j + 1) % colors); });
}

// The colour the screen gives colour-map index c.
int screen_color(const lecb::Palette &p, int c) {
    const lecb::Rgb e = p[map_entry(c)];
    return makecol(e.r, e.g, e.b);
}

class ScreenTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        use_depth(GetParam());
        viewer_reset();
        back = create_bitmap(kBackWidth, kBackHeight);
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(bitmap_color_depth(back), GetParam());
        white = makecol(255, 255, 255);
        black = makecol(0, 0, 0);
    }
    void TearDown() override {
        if (back) destroy_bitmap(back);
        release_all();
        viewer_reset();
    }

    // Loads a file of `count` copies of the costume and shows costume
    // `shown` at its first image.
    void show(const lecb::CostumeSpec &spec, int count = 1, int shown = 0) {
        lecb::Room room{{lecb::clut(palette)}, {}};
        for (int i = 0; i < count; ++i) room.lflf_blocks.push_back(lecb::costume(spec));
        ASSERT_TRUE(load_bytes(lecb::lec_file({room})));
        selection.costume_index = shown;
        selection.previous_costume = shown;
        ASSERT_TRUE(viewer_load_costume()) << (rec.fatals().empty() ? "" : rec.fatals().back());
    }

    // Black, or white on the two lines of the crosshair.
    int background(int x, int y) const { return x == 160 || y == 120 ? white : black; }

    const lecb::Palette palette = test_palette();
    BITMAP *back = nullptr;
    int white = 0, black = 0;
    Recorder rec;
};

TEST_P(ScreenTest, CrosshairRunsAcrossTheBuffer) {
    lecb::CostumeSpec c = spec_with(16, false);
    c.images = {pattern_image(1, 1, -100, -100, 16)};
    c.tables = {{Slot::of(0)}};
    ASSERT_NO_FATAL_FAILURE(show(c));
    draw_back_buffer(back, selection);
    for (int x : {0, 100, 159, 161, 319}) EXPECT_EQ(getpixel(back, x, 120), white) << "x " << x;
    for (int y : {0, 100, 119, 121, 199}) EXPECT_EQ(getpixel(back, 160, y), white) << "y " << y;
    for (auto [x, y] : {std::pair{159, 119}, {161, 121}, {159, 121}, {161, 119}, {300, 150}}) {
        EXPECT_EQ(getpixel(back, x, y), black) << x << "," << y;
    }
}

// Each image is drawn with its top left corner at (160 + x, 120 + y);
// mask-colour pixels show what lies under them, index 0 is drawn, and what
// falls outside the buffer is cut off. The ring of pixels around the image
// stays background, so a placement one pixel off fails.
TEST_P(ScreenTest, SpritePlacedByItsOffsets) {
    struct Case {
        const char *name;
        uint16_t w, h;
        int16_t x, y;
    };
    const Case cases[] = {
        {"at the crossing", 4, 3, 0, 0},       {"negative offsets", 5, 4, -3, -2},
        {"cut on the left", 8, 2, -163, 20},   {"cut on the right", 8, 2, 155, 30},
        {"cut at the bottom", 3, 6, 40, 77},   {"cut at the top", 6, 3, -50, -121},
    };
    lecb::CostumeSpec c = spec_with(16, false);
    for (const Case &k : cases) {
        c.images.push_back(pattern_image(k.w, k.h, k.x, k.y, 16));
        c.tables.push_back({Slot::of(int(c.images.size()) - 1)});
    }
    ASSERT_NO_FATAL_FAILURE(show(c));
    for (size_t t = 0; t < std::size(cases); ++t) {
        const Case &k = cases[t];
        SCOPED_TRACE(k.name);
        const lecb::Image &img = c.images[t];
        selection.table_index = int(t);
        selection.image_index = 0;
        draw_back_buffer(back, selection);
        const int left = 160 + k.x, top = 120 + k.y;
        int checked = 0;
        for (int y = top - 1; y <= top + k.h; ++y) {
            for (int x = left - 1; x <= left + k.w; ++x) {
                if (x < 0 || y < 0 || x >= kBackWidth || y >= kBackHeight) continue;
                const int i = x - left, j = y - top;
                int expected = background(x, y);
                if (i >= 0 && j >= 0 && i < k.w && j < k.h) {
                    const int index = img.pixels[size_t(j) * k.w + size_t(i)];
                    if (index != kMagentaColor) expected = screen_color(palette, index);
                    ++checked;
                }
                ASSERT_EQ(getpixel(back, x, y), expected) << "at " << x << "," << y;
            }
        }
        EXPECT_GT(checked, 0);
    }
}

// 9 x 9 swatches at (8 + 8i, 180), each overlapping the previous one by a
// column: the last of 16 spans x 128..136, the last of 32 x 256..264.
TEST_P(ScreenTest, SwatchesCoverTheirColumns) {
    for (int colors : {16, 32}) {
        SCOPED_TRACE(colors);
        lecb::CostumeSpec c = spec_with(colors, false);
        c.images = {pattern_image(1, 1, 0, 0, colors)};
        c.tables = {{Slot::of(0)}};
        ASSERT_NO_FATAL_FAILURE(show(c));
        draw_back_buffer(back, selection);
        const int right = 16 + 8 * (colors - 1);
        for (int y = 170; y < 196; ++y) {
            for (int x = 0; x < kBackWidth; ++x) {
                int expected = background(x, y);
                if (y >= 180 && y <= 188 && x >= 8 && x <= right) {
                    expected = screen_color(palette, std::min((x - 8) / 8, colors - 1));
                }
                ASSERT_EQ(getpixel(back, x, y), expected) << "at " << x << "," << y;
            }
        }
        release_all();
        viewer_reset();
    }
}

// The data lines and the key help, compared with the expected text drawn
// on a scratch bitmap in the same font and colour. The regions hold
// nothing else, so stray pixels fail as well.
TEST_P(ScreenTest, DataLinesShowTheSelection) {
    struct Case {
        const char *name;
        lecb::CostumeSpec spec;
        int count, shown;
        std::vector<std::string> lines;
    };
    lecb::CostumeSpec small = spec_with(16, false);
    small.images = {pattern_image(3, 2, -1, -2, 16)};
    small.tables = {{Slot::of(0)}};
    // Table 2's fourth slot: a width above 32767 and extreme offsets.
    lecb::CostumeSpec wide = spec_with(32, true);
    wide.images = {pattern_image(40000, 1, -32768, 32767, 32)};
    wide.tables = {{}, {}, {Slot::none(), Slot::none(), Slot::none(), Slot::of(0)}};
    const Case cases[] = {
        {"first of three",
         small,
         3,
         0,
         {"costume: 0/2", "colors: 16", "table: 0", "image: 0/0", "x: -1", "y: -2", "width: 3", "height: 2",
          "mode: MI2"}},
        {"last of five, DOTT",
         wide,
         5,
         4,
         {"costume: 4/4", "colors: 32", "table: 2", "image: 3/3", "x: -32768", "y: 32767", "width: 40000",
          "height: 1", "mode: DOTT"}},
    };
    const char *const help[] = {"up/down: table",  "left/right: image", "pgdn/pgup: costume", "F10: save image",
                                "F11: save table", "F12: save costume", "esc: exit"};
    BITMAP *expected = create_bitmap(kBackWidth, kBackHeight);
    ASSERT_NE(expected, nullptr);
    const int grey = makecol(200, 200, 200);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        ASSERT_NO_FATAL_FAILURE(show(k.spec, k.count, k.shown));
        draw_back_buffer(back, selection);
        clear_to_color(expected, black);
        for (size_t i = 0; i < k.lines.size(); ++i) {
            textprintf_ex(expected, font, 0, int(8 * i), grey, -1, "%s", k.lines[i].c_str());
        }
        for (size_t i = 0; i < std::size(help); ++i) {
            textprintf_right_ex(expected, font, 319, int(8 * i), grey, -1, "%s", help[i]);
        }
        // Data lines left of the vertical line, help lines right of it.
        for (int y = 0; y < 72; ++y) {
            for (int x = 0; x < kBackWidth; ++x) {
                if (x == 160 || (x > 160 && y >= 56)) continue;
                ASSERT_EQ(getpixel(back, x, y), getpixel(expected, x, y)) << "at " << x << "," << y;
            }
        }
        release_all();
        viewer_reset();
    }
    destroy_bitmap(expected);
}

// compose_screen stretches the 320 x 200 buffer over the whole window:
// columns doubled, rows taken at 200/480 of the window row.
TEST_P(ScreenTest, ComposeStretchesOntoTheWindow) {
    lecb::CostumeSpec c = spec_with(32, false);
    c.images = {pattern_image(7, 5, 20, 10, 32)};
    c.tables = {{Slot::of(0)}};
    ASSERT_NO_FATAL_FAILURE(show(c));
    BITMAP *window = create_bitmap(kWindowWidth, kWindowHeight);
    ASSERT_NE(window, nullptr);
    clear_to_color(window, makecol(1, 2, 3));
    compose_screen(back, selection, window);
    int mismatches = 0;
    for (int y = 0; y < kWindowHeight; ++y) {
        for (int x = 0; x < kWindowWidth; ++x) {
            if (getpixel(window, x, y) != getpixel(back, x / 2, y * kBackHeight / kWindowHeight)) ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(getpixel(window, 320, 288), white);  // the crossing
    EXPECT_EQ(getpixel(window, 2 * 180, 312), screen_color(palette, c.images[0].pixels[0]));  // sprite corner
    EXPECT_EQ(getpixel(window, 639, 479), getpixel(back, 319, 199));
    destroy_bitmap(window);
}

INSTANTIATE_TEST_SUITE_P(Depths, ScreenTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param) + "bpp";
                         });

}  // namespace
