// Writes the LEC file that the end-to-end tests open, with a geometry
// simple enough to check on a screenshot: solid rectangles at known
// offsets, in colours that appear nowhere else.
//
//   costume 0  room 1 (CLUT)  MI2 16   no image: the viewer opens on 1
//   costume 1  room 1 (CLUT)  MI2 16   table 0: slot 0 red 40 x 30 at
//                                      (-40, -30) with a 10 x 10 hole of
//                                      the mask colour at columns 15..24,
//                                      rows 10..19; slot 1 no image; slot
//                                      2 green 40 x 30 at (0, 0)
//                                      table 1: slot 0 blue 30 x 20 at
//                                      (-15, -40), over the vertical line
//   costume 2  room 1 (CLUT)  MI2 16   no image: Page Up/Down skip it
//   costume 3  room 2 (APAL)  DOTT 32  table 0: slot 0 orange 40 x 30 at
//                                      (-40, -30)
//
// Colour index i of every costume is palette entry i. The tests hold the
// same numbers (e2e_fixture.sh); change both together.
#include <cstdio>

#include "lec_builder.h"

using namespace lecb;

namespace {

Image solid(uint16_t w, uint16_t h, int16_t x, int16_t y, uint8_t colour) {
    return image_of(w, h, x, y, [colour](int, int) { return colour; });
}

CostumeSpec spec(bool dott, int colors) {
    CostumeSpec c;
    c.dott = dott;
    c.colors = colors;
    for (int i = 0; i < 32; ++i) c.color_map[size_t(i)] = uint8_t(i);
    return c;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: e2e_fixture OUTPUT.lec\n");
        return 2;
    }
    // Room 1: entry 0 the mask colour, 1 red, 2 green, 3 blue, then a ramp
    // for the other swatches.
    Palette p1{};
    for (int i = 0; i < 256; ++i) p1[size_t(i)] = Rgb{uint8_t(16 * (i % 16)), 100, uint8_t(255 - 16 * (i % 16))};
    p1[0] = Rgb{255, 0, 255};
    p1[1] = Rgb{200, 40, 40};
    p1[2] = Rgb{40, 200, 40};
    p1[3] = Rgb{40, 40, 200};
    // Room 2: entry 1 orange, entry 31 teal (the last of 32 swatches).
    Palette p2{};
    for (int i = 0; i < 256; ++i) p2[size_t(i)] = Rgb{uint8_t(8 * (i % 32)), 60, 60};
    p2[0] = Rgb{255, 0, 255};
    p2[1] = Rgb{230, 130, 20};
    p2[31] = Rgb{20, 180, 180};

    const CostumeSpec empty = spec(false, 16);

    CostumeSpec shown = spec(false, 16);
    Image red = solid(40, 30, -40, -30, 1);
    for (int y = 10; y < 20; ++y)
        for (int x = 15; x < 25; ++x) red.pixels[size_t(y) * 40 + size_t(x)] = 0;
    shown.images = {red, solid(40, 30, 0, 0, 2), solid(30, 20, -15, -40, 3)};
    shown.tables = {{Slot::of(0), Slot::none(), Slot::of(1)}, {Slot::of(2)}};

    CostumeSpec dott = spec(true, 32);
    dott.images = {solid(40, 30, -40, -30, 1)};
    dott.tables = {{Slot::of(0)}};

    Room room1{{clut(p1)}, {costume(empty), costume(shown), costume(empty)}};
    Room room2{{pals(p2)}, {costume(dott)}};
    return write_file(argv[1], lec_file({room1, room2})) ? 0 : 1;
}
