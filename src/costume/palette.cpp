#include "costume/palette.h"

#include "shell/fatal.h"

RoomPalette room_palette;

bool load_room_palette(BlockLocation palette_block) {
    if (palette_block == kNoBlock) return true;
    const ByteView file = lec_view();
    // Both tags carry the same layout. The 776 bytes must lie inside the
    // buffer: a block cut by the end of the file is refused as a whole.
    if (!(file.tag_is(palette_block, "CLUT") || file.tag_is(palette_block, "APAL")) ||
        !file.has(palette_block, kPaletteBlockSize)) {
        fatal_error("The file has an invalid palette block\n");
        return false;
    }
    const uint8_t *rgb = file.data + palette_block + 8;
    for (int i = 0; i < 256; ++i) {
        room_palette.entries[i] = PaletteEntry{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    }
    return true;
}
