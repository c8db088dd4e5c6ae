// The costume decoder.
//
// A COST block, offsets from its first tag byte. Values inside the costume
// are 16-bit little-endian; only the block size is big-endian.
//
//   0      "COST"
//   4      block size (not consulted)
//   8      DOTT layout only: 4 bytes skipped
//   12     DOTT layout only: "CO"
//   S      1 byte, not used          S (data start) = 14 DOTT, 8 MI2
//   S+1    format byte: bit 0 set = 32 colours, clear = 16; other bits ignored
//   S+2    colour map, C = 16 or 32 bytes, indices into the room palette
//   S+2+C  a stored offset, not used
//   S+4+C  16 table offsets, stored offsets, table 0 first
//
// A stored offset counts from 6 bytes before the data start; adding the
// offset base (2 MI2, 8 DOTT) modulo 65536 makes it block-relative. Table
// t's list holds (offset[t+1] - offset[t]) / 2 stored image offsets (none
// when offset[t+1] <= offset[t]); table 15 has no successor and never holds
// an image. An image offset that becomes the base or less means no image.
//
// An image record:
//
//   0  width (u16)   2  height (u16)   4  x (s16)   6  y (s16)
//   8  move_x        10 move_y (neither used)       12 run-length data
//
// A run is one byte: colour index in the upper 4 bits and length in the
// lower 4 (16 colours), or upper 5 and lower 3 (32 colours); a length of 0
// means the next byte holds the length (0..255). Pixels run in column
// order, each column top to bottom, columns left to right; the image ends
// with the run during which width x height pixels are reached, the rest of
// that run falling outside the bitmap and being dropped.
//
// Everything the file says is checked against the buffer before it is
// used: the header up to the table offsets must be inside it (or the
// costume is refused), an offset list entry or record outside it makes the
// slot not valid, and run data cut by the end of the buffer ends the image
// there. Counts are cut to the 256 slots of a table.
#include "costume/costume.h"

#include <allegro.h>

#include <algorithm>
#include <cstring>

#include "costume/palette.h"
#include "shell/fatal.h"

Costume costume;

namespace {

constexpr const char *kMsgBadCostume = "This is not a valid costume file\n";
constexpr const char *kMsgNoMemory = "Not enough memory\n";
constexpr size_t kImageRecordSize = 12;

// What the header and the records say, validated, before anything of the
// costume is changed or any bitmap is made.
struct SlotPlan {
    uint16_t offset;  // block-relative, 0 = no image
    uint16_t width, height;
    int16_t x, y;
    bool valid;
};

struct CostumePlan {
    CostumeMode mode;
    int16_t color_count;
    uint8_t color_map[32];
    uint16_t table_offsets[kTableCount];
    int16_t image_count[kTableCount];
    SlotPlan slots[kTableCount][kSlotsPerTable];
};

// Reads and validates everything but the pixels. False (with nothing
// reported) when the costume must be refused.
bool plan_costume(const ByteView &file, size_t block, CostumePlan &plan) {
    if (!file.tag_is(block, "COST")) return false;
    const bool dott = file.has(block + 12, 2) && file.data[block + 12] == 'C' && file.data[block + 13] == 'O';
    plan.mode = dott ? CostumeMode::DOTT : CostumeMode::MI2;
    const size_t data_start = dott ? 14 : 8;
    const uint16_t base = dott ? 8 : 2;

    uint8_t format;
    if (!file.u8(block + data_start + 1, format)) return false;
    plan.color_count = (format & 1) ? 32 : 16;
    const size_t map_at = block + data_start + 2;
    const size_t tables_at = map_at + plan.color_count + 2;
    if (!file.has(tables_at, 2 * kTableCount)) return false;
    std::memcpy(plan.color_map, file.data + map_at, plan.color_count);
    for (int t = 0; t < kTableCount; ++t) {
        plan.table_offsets[t] = static_cast<uint16_t>(file.le16_at(tables_at + 2 * t) + base);
    }

    uint64_t pixels = 0;
    for (int t = 0; t < kTableCount; ++t) {
        int count = 0;
        if (t < kTableCount - 1 && plan.table_offsets[t] < plan.table_offsets[t + 1]) {
            count = (plan.table_offsets[t + 1] - plan.table_offsets[t]) / 2;
            if (count > kSlotsPerTable) count = kSlotsPerTable;
        }
        plan.image_count[t] = static_cast<int16_t>(count);
        for (int i = 0; i < count; ++i) {
            SlotPlan &slot = plan.slots[t][i];
            slot = SlotPlan{};
            uint16_t stored;
            if (!file.le16(block + plan.table_offsets[t] + 2 * size_t(i), stored)) continue;
            const uint16_t offset = static_cast<uint16_t>(stored + base);
            if (offset <= base) continue;  // stored 0 and the top values: no image
            slot.offset = offset;
            const size_t record = block + offset;
            if (!file.has(record, kImageRecordSize)) continue;
            slot.width = file.le16_at(record);
            slot.height = file.le16_at(record + 2);
            slot.x = static_cast<int16_t>(file.le16_at(record + 4));
            slot.y = static_cast<int16_t>(file.le16_at(record + 6));
            slot.valid = slot.width != 0 && slot.height != 0;
            if (slot.valid) pixels += costume_pixel_cost(slot.width, slot.height);
        }
    }
    return pixels <= kCostumePixelCap;
}

// Writes one pixel value of the bitmap's depth at (x, y); Bytes is the
// number of bytes per pixel. Memory bitmaps are written through their row
// pointers directly.
template <int Bytes>
inline void store(BITMAP *bmp, int x, int y, uint32_t value) {
    uint8_t *p = bmp->line[y] + size_t(x) * Bytes;
    if constexpr (Bytes == 1) {
        *p = static_cast<uint8_t>(value);
    } else if constexpr (Bytes == 2) {
        const uint16_t v = static_cast<uint16_t>(value);
        std::memcpy(p, &v, 2);
    } else if constexpr (Bytes == 3) {
        // 24-bit pixels are stored low byte first.
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
        p[2] = static_cast<uint8_t>(value >> 16);
    } else {
        std::memcpy(p, &value, 4);
    }
}

// Paints the run-length data from pos (inside the file) into bmp, which is
// width x height and already cleared. colors[c] is the pixel value of
// colour-map index c. Every step consumes at least one byte of input.
//
// A run whose length byte is 0 paints nothing. No encoder writes such runs,
// but a stream of them would keep an image reading to the end of the file,
// and every slot of a costume can point at the same record: a few MiB of
// them stalled a decode for seconds. So an image takes at most as many
// empty runs as it has pixels and ends at the next one, which bounds the
// work of a decode by the pixels of its bitmaps.
template <int Bytes>
void paint_runs(const ByteView &file, size_t pos, BITMAP *bmp, int width, int height, int shift,
                uint8_t length_mask, const uint32_t *colors) {
    int x = 0, y = 0;
    uint64_t empty_runs_left = uint64_t(width) * uint64_t(height);
    while (x < width && pos < file.size) {
        const uint8_t run = file.data[pos++];
        const uint32_t value = colors[run >> shift];
        unsigned length = run & length_mask;
        if (length == 0) {
            if (pos >= file.size) break;
            length = file.data[pos++];
            if (length == 0) {
                if (empty_runs_left == 0) break;
                --empty_runs_left;
                continue;
            }
        }
        while (length > 0 && x < width) {
            const unsigned span = std::min<unsigned>(length, unsigned(height - y));
            for (unsigned k = 0; k < span; ++k) store<Bytes>(bmp, x, y + int(k), value);
            y += int(span);
            length -= span;
            if (y == height) {
                y = 0;
                ++x;
            }
        }
    }
}

void paint_image(const ByteView &file, size_t pos, BITMAP *bmp, int width, int height, int color_count,
                 const uint32_t *colors) {
    const int shift = color_count == 32 ? 3 : 4;
    const uint8_t length_mask = color_count == 32 ? 0x07 : 0x0F;
    switch (bitmap_color_depth(bmp)) {
        case 8: paint_runs<1>(file, pos, bmp, width, height, shift, length_mask, colors); break;
        case 15:
        case 16: paint_runs<2>(file, pos, bmp, width, height, shift, length_mask, colors); break;
        case 24: paint_runs<3>(file, pos, bmp, width, height, shift, length_mask, colors); break;
        default: paint_runs<4>(file, pos, bmp, width, height, shift, length_mask, colors); break;
    }
}

bool decode(BlockLocation block, bool indexed) {
    static CostumePlan plan;  // 100 KiB: kept off the stack
    const ByteView file = lec_view();
    if (block == kNoBlock || !plan_costume(file, block, plan)) {
        fatal_error(kMsgBadCostume);
        return false;
    }

    costume.mode = plan.mode;
    costume.color_count = plan.color_count;
    std::memcpy(costume.color_map, plan.color_map, plan.color_count);
    std::memcpy(costume.table_offsets, plan.table_offsets, sizeof plan.table_offsets);

    // Each colour-map entry's pixel value, computed once per costume.
    uint32_t colors[32];
    for (int c = 0; c < 32; ++c) {
        if (indexed) {
            colors[c] = uint32_t(c);
        } else {
            const PaletteEntry &e = room_palette.entries[plan.color_map[c < plan.color_count ? c : 0]];
            colors[c] = uint32_t(makecol(e.r, e.g, e.b));
        }
    }

    for (int t = 0; t < kTableCount; ++t) {
        CostumeTable &table = costume.tables[t];
        if (t < kTableCount - 1) table.image_count = plan.image_count[t];
        for (int i = 0; i < plan.image_count[t]; ++i) {
            const SlotPlan &p = plan.slots[t][i];
            ImageSlot &slot = table.slots[i];
            table.image_offsets[i] = p.offset;
            slot.valid = p.valid;
            if (!p.valid) continue;
            slot.width = p.width;
            slot.height = p.height;
            slot.x = p.x;
            slot.y = p.y;
            slot.bitmap = indexed ? create_bitmap_ex(8, p.width, p.height) : create_bitmap(p.width, p.height);
            if (!slot.bitmap) {
                slot.valid = false;
                fatal_error(kMsgNoMemory);
                return false;
            }
            if (indexed) {
                clear_to_color(slot.bitmap, kUnpaintedIndex);
            } else {
                clear_bitmap(slot.bitmap);
            }
            paint_image(file, block + p.offset + kImageRecordSize, slot.bitmap, p.width, p.height,
                        plan.color_count, colors);
        }
    }
    return true;
}

}  // namespace

bool decode_costume(BlockLocation costume_block) { return decode(costume_block, false); }
bool decode_costume_indexed(BlockLocation costume_block) { return decode(costume_block, true); }

void release_costume_bitmaps() {
    for (CostumeTable &table : costume.tables) {
        for (ImageSlot &slot : table.slots) {
            if (slot.bitmap) destroy_bitmap(slot.bitmap);
            slot.bitmap = nullptr;
        }
    }
}
