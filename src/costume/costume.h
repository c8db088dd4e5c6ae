// The decoded costume: one character's images, in 16 tables of up to 256.
#pragma once

#include <cstdint>

#include "resfile/lecfile.h"

struct BITMAP;

enum class CostumeMode : uint8_t { MI2, DOTT };

constexpr int kTableCount = 16;
constexpr int kSlotsPerTable = 256;

struct ImageSlot {
    uint16_t width = 0;
    uint16_t height = 0;
    int16_t x = 0;  // offset of the top left corner from the reference point
    int16_t y = 0;
    BITMAP *bitmap = nullptr;  // owned; width x height in the decode depth
    bool valid = false;
};

struct CostumeTable {
    int16_t image_count = 0;  // 0..256; only slots below it are read
    uint16_t image_offsets[kSlotsPerTable] = {};  // block-relative, 0 = no image
    ImageSlot slots[kSlotsPerTable];
};

struct Costume {
    CostumeMode mode = CostumeMode::MI2;
    int16_t color_count = 16;  // 16 or 32
    uint8_t color_map[32] = {};  // indices into room_palette
    uint16_t table_offsets[kTableCount] = {};  // block-relative
    CostumeTable tables[kTableCount];
};

// The one decoded costume, overwritten by each successful decode.
extern Costume costume;

// Decodes the COST block into costume, one bitmap of the current colour
// depth per valid image, painted with room_palette through makecol.
// Expects every slot's bitmap to be none. False after a reported failure.
bool decode_costume(BlockLocation costume_block);

// The same decoder, painting 8-bit bitmaps whose pixel values are the
// colour-map indices (0..color_count-1) instead of colours; for exports
// that write indexed images. Pixels that no run reached (run data cut by
// the end of the file) hold kUnpaintedIndex: on screen they keep the
// cleared colour, black, not the colour of map entry 0.
bool decode_costume_indexed(BlockLocation costume_block);
constexpr int kUnpaintedIndex = 255;

// Destroys the bitmap of every slot of all 16 tables and sets it to none.
void release_costume_bitmaps();

// A costume whose valid images together need more pixels than this is
// refused before any bitmap is made (real costumes need well under 1 Mi).
// Each image row also costs the bitmap a row pointer, as much memory as
// two 32-bit pixels: an image counts as width x height + 2 x height, so
// that tall, narrow images cannot need three times what the cap allows.
constexpr uint64_t kCostumePixelCap = uint64_t{64} << 20;
constexpr uint64_t costume_pixel_cost(uint16_t width, uint16_t height) {
    return uint64_t{width} * height + 2 * uint64_t{height};
}
