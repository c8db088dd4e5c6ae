// Fuzz target: load a LEC file and decode every indexed costume with its
// room palette, in index order, as the viewer would when paged through.
// A costume that fails is reported and passed over, so that the costumes
// after it are reached too; the bitmaps are released between costumes.
#include <allegro.h>

#include <cstddef>
#include <cstdint>

#include "costume/costume.h"
#include "costume/palette.h"
#include "fuzz_support.h"
#include "resfile/lecfile.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (fuzz_load(data, size)) {
        for (int32_t i = 0; i < lec_index.count; ++i) {
            const CostumeEntry &entry = lec_index.entries[i];
            release_costume_bitmaps();
            if (!load_room_palette(entry.palette_block)) continue;
            if (!decode_costume(entry.costume_block)) continue;
            // Every valid slot below a table's count holds a bitmap of its size.
            for (const CostumeTable &table : costume.tables) {
                if (table.image_count < 0 || table.image_count > kSlotsPerTable) __builtin_trap();
                for (int s = 0; s < table.image_count; ++s) {
                    const ImageSlot &slot = table.slots[s];
                    if (!slot.valid) continue;
                    if (!slot.bitmap || slot.bitmap->w != slot.width || slot.bitmap->h != slot.height) {
                        __builtin_trap();
                    }
                }
            }
        }
    }
    release_costume_bitmaps();
    release_lec_file();
    return 0;
}
