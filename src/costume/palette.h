// The room palette: the 256 colours a costume is painted with.
#pragma once

#include <cstdint>

#include "resfile/lecfile.h"

struct PaletteEntry {
    uint8_t r, g, b;  // 0..255, passed to makecol unscaled
};

struct RoomPalette {
    PaletteEntry entries[256];
};

// All black at start-up; only load_room_palette writes it, all 256 at once.
extern RoomPalette room_palette;

// A palette block is a CLUT or APAL block: 8-byte header, then 256 colours
// of three bytes (red, green, blue), entry 0 first. The header's size field
// is not consulted.
constexpr size_t kPaletteBlockSize = 8 + 3 * 256;

// Fills room_palette from the block. kNoBlock keeps the palette in force.
// False after a reported failure, the palette unchanged.
bool load_room_palette(BlockLocation palette_block);
