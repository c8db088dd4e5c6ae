// Table and image navigation within the loaded costume. Nothing wraps
// around; an operation that finds nothing to move to changes nothing.
//
// Up and Down pass over tables that have an image count but no valid slot,
// so that image_index always names a valid slot when the screen is drawn.
#include "costume/costume.h"
#include "viewer/viewer.h"

int first_valid_slot(int table) {
    const CostumeTable &t = costume.tables[table];
    int i = 0;
    while (i < t.image_count && !t.slots[i].valid) ++i;
    return i;
}

namespace {

// Moves to the nearest table from `from` in direction step (+1 or -1) that
// holds a valid slot, at its first valid slot.
bool move_table(int step) {
    for (int t = selection.table_index + step; t >= 0 && t < kTableCount; t += step) {
        if (costume.tables[t].image_count == 0) continue;
        const int slot = first_valid_slot(t);
        if (slot == costume.tables[t].image_count) continue;
        selection.table_index = t;
        selection.image_index = slot;
        return true;
    }
    return false;
}

bool move_image(int step) {
    const CostumeTable &t = costume.tables[selection.table_index];
    for (int i = selection.image_index + step; i >= 0 && i < t.image_count; i += step) {
        if (t.slots[i].valid) {
            selection.image_index = i;
            return true;
        }
    }
    return false;
}

}  // namespace

bool table_up() { return move_table(+1); }
bool table_down() { return move_table(-1); }
bool image_left() { return move_image(-1); }
bool image_right() { return move_image(+1); }
