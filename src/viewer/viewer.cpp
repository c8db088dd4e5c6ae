// The viewer loop and the costume selection.
//
// One turn per key: load the selected costume if needed, compose the
// screen if needed, empty the keyboard buffer, wait for a key, act on it.
// Page Up and Page Down pick another costume; a costume without any table
// with images is skipped in the direction of the last move, and a run off
// either end of the index falls back to the costume shown before the key.
#include "viewer/viewer.h"

#include <allegro.h>

#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"
#include "shell/fatal.h"

Selection selection;
ViewerFlags viewer_flags;

void viewer_reset() {
    selection = Selection{};
    viewer_flags = ViewerFlags{};
    for (CostumeTable &table : costume.tables) {
        for (ImageSlot &slot : table.slots) slot.bitmap = nullptr;
    }
}

namespace {

int first_table_with_images() {
    for (int t = 0; t < kTableCount; ++t) {
        if (costume.tables[t].image_count != 0) return t;
    }
    return -1;
}

}  // namespace

bool viewer_load_costume() {
    if (lec_index.count == 0) {
        fatal_error("The file has no costumes\n");
        return false;
    }
    bool fell_back = false;
    for (;;) {
        release_costume_bitmaps();
        const CostumeEntry &entry = lec_index.entries[selection.costume_index];
        if (!load_room_palette(entry.palette_block)) return false;
        if (!decode_costume(entry.costume_block)) return false;

        const int table = first_table_with_images();
        if (table < 0) {
            // Only reached when no costume of the file has a table with
            // images: the costume fallen back to was shown before, or is
            // the start where the forward run began.
            if (fell_back) {
                fatal_error("The file has no costume with images\n");
                return false;
            }
            if (selection.previous_costume > selection.costume_index) {
                --selection.costume_index;
            } else {
                ++selection.costume_index;
            }
            if (selection.costume_index < 0 || selection.costume_index >= lec_index.count) {
                selection.costume_index = selection.previous_costume;
                fell_back = true;
            }
            continue;
        }
        selection.table_index = table;
        selection.image_index = first_valid_slot(table);
        if (selection.image_index == costume.tables[table].image_count) {
            fatal_error("This costume has not a valid image\n");
            return false;
        }
        viewer_flags.need_load = false;
        viewer_flags.need_redraw = true;
        return true;
    }
}

namespace {

// A navigation key redraws the screen only when it moved the selection.
KeyAction after_navigation(bool changed) {
    if (!changed) return KeyAction::Nothing;
    viewer_flags.need_redraw = true;
    return KeyAction::Redraw;
}

}  // namespace

KeyAction viewer_handle_key(int scancode) {
    switch (scancode) {
        case KEY_ESC:
            return KeyAction::Exit;
        case KEY_PGDN:
            selection.previous_costume = selection.costume_index;
            if (selection.costume_index < lec_index.count - 1) {
                ++selection.costume_index;
                viewer_flags.need_load = true;
                return KeyAction::Load;
            }
            return KeyAction::Nothing;
        case KEY_PGUP:
            selection.previous_costume = selection.costume_index;
            if (selection.costume_index > 0) {
                --selection.costume_index;
                viewer_flags.need_load = true;
                return KeyAction::Load;
            }
            return KeyAction::Nothing;
        case KEY_UP:
            return after_navigation(table_up());
        case KEY_DOWN:
            return after_navigation(table_down());
        case KEY_LEFT:
            return after_navigation(image_left());
        case KEY_RIGHT:
            return after_navigation(image_right());
        case KEY_F10:
            save_image();
            return KeyAction::Exported;
        case KEY_F11:
            save_table();
            return KeyAction::Exported;
        case KEY_F12:
            save_costume();
            return KeyAction::Exported;
        default:
            return KeyAction::Nothing;
    }
}

void viewer_release() {
    release_costume_bitmaps();
    release_lec_file();
}

bool run_viewer() {
    BITMAP *back_buffer = create_bitmap(kBackWidth, kBackHeight);
    if (!back_buffer) {
        fatal_error("Not enough memory\n");
        return false;
    }
    viewer_reset();
    for (;;) {
        if (viewer_flags.need_load && !viewer_load_costume()) return false;
        if (viewer_flags.need_redraw) {
            compose_screen(back_buffer, selection, screen);
            viewer_flags.need_redraw = false;
        }
        // Keys pressed while decoding or drawing are dropped, so a key held
        // down never runs ahead of the display.
        clear_keybuf();
        const int scancode = readkey() >> 8;
        if (viewer_handle_key(scancode) == KeyAction::Exit) break;
    }
    viewer_release();
    destroy_bitmap(back_buffer);
    return true;
}
