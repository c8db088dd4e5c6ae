// The viewer's one screen, drawn at 320 x 200 and stretched to 640 x 480:
//
//   - a white crosshair through (160, 120), the costume's reference point;
//   - the image with its top left corner at (160 + x, 120 + y), drawn as a
//     sprite (pixels of the library's mask colour are left out);
//   - one 9 x 9 swatch per colour of the costume at (8 + 8i, 180), each
//     overlapping the previous one by a column;
//   - nine data lines at the top left and seven help lines at the top
//     right, in the built-in 8 x 8 font, text grey, no background.
#include <allegro.h>

#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"
#include "viewer/viewer.h"

namespace {
constexpr int kCrossX = 160;
constexpr int kCrossY = 120;
constexpr int kSwatchY = 180;
constexpr int kLineHeight = 8;
const char *const kHelpLines[] = {
    "up/down: table", "left/right: image", "pgdn/pgup: costume", "F10: save image",
    "F11: save table", "F12: save costume", "esc: exit",
};
}  // namespace

void draw_back_buffer(BITMAP *back, const Selection &sel) {
    const int white = makecol(255, 255, 255);
    const int grey = makecol(200, 200, 200);
    const CostumeTable &table = costume.tables[sel.table_index];
    // Relies on the viewer's rule that image_index names a valid slot.
    const ImageSlot &slot = table.slots[sel.image_index];

    clear_bitmap(back);
    hline(back, 0, kCrossY, kBackWidth - 1, white);
    vline(back, kCrossX, 0, kBackHeight - 1, white);
    draw_sprite(back, slot.bitmap, kCrossX + slot.x, kCrossY + slot.y);

    for (int i = 0; i < costume.color_count; ++i) {
        const PaletteEntry &e = room_palette.entries[costume.color_map[i]];
        rectfill(back, 8 + 8 * i, kSwatchY, 16 + 8 * i, kSwatchY + 8, makecol(e.r, e.g, e.b));
    }

    int y = 0;
    textprintf_ex(back, font, 0, y, grey, -1, "costume: %d/%d", sel.costume_index, lec_index.count - 1);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "colors: %d", costume.color_count);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "table: %d", sel.table_index);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "image: %d/%d", sel.image_index, table.image_count - 1);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "x: %d", slot.x);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "y: %d", slot.y);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "width: %d", slot.width);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "height: %d", slot.height);
    textprintf_ex(back, font, 0, y += kLineHeight, grey, -1, "%s",
                  costume.mode == CostumeMode::DOTT ? "mode: DOTT" : "mode: MI2");

    y = 0;
    for (const char *line : kHelpLines) {
        textprintf_right_ex(back, font, kBackWidth - 1, y, grey, -1, "%s", line);
        y += kLineHeight;
    }
}

void compose_screen(BITMAP *back, const Selection &sel, BITMAP *window) {
    draw_back_buffer(back, sel);
    stretch_blit(back, window, 0, 0, kBackWidth, kBackHeight, 0, 0, kWindowWidth, kWindowHeight);
}
