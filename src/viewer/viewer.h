// The viewer: the keyboard-driven loop over costumes, tables and images.
#pragma once

#include <cstdint>

struct BITMAP;

struct Selection {
    int32_t costume_index = 0;     // entry of lec_index shown
    int32_t previous_costume = 0;  // costume_index at the last Page Up/Down
    int32_t table_index = 0;       // a table with images
    int32_t image_index = 0;       // a valid slot of that table
};

extern Selection selection;

// The loop's two flags: a costume must be decoded, the screen composed.
struct ViewerFlags {
    bool need_load = true;
    bool need_redraw = false;
};

extern ViewerFlags viewer_flags;

// Runs until Escape (true, everything released) or a fatal error (false,
// already reported).
bool run_viewer();

// --- The pieces of the loop, driven by run_viewer and by tests. ---

// Resets the selection and flags as on entry and marks every slot's bitmap
// as none.
void viewer_reset();

// The costume load: decodes costume_index, skipping costumes without
// images in the direction of the last move, and selects the first table
// with images and its first valid slot. False after a reported failure.
bool viewer_load_costume();

// What a key did to the loop.
enum class KeyAction { Nothing, Load, Redraw, Exported, Exit };

// Acts on one scancode (KEY_* of the library): Page Up/Down, arrows, the
// export keys and Escape. Sets the flags; releasing on Escape is left to
// the caller.
KeyAction viewer_handle_key(int scancode);

// Releases what the viewer holds: slot bitmaps and the file buffer.
void viewer_release();

// --- Navigation within the loaded costume. ---

// Lowest valid slot below the table's image_count, or image_count itself.
int first_valid_slot(int table);
// Each returns true when it changed the selection.
bool table_up();
bool table_down();
bool image_left();
bool image_right();

// --- Screen. ---

// The 320 x 200 back buffer is drawn for the selection, then stretched over
// the whole of window (the library's screen in the program).
void compose_screen(BITMAP *back_buffer, const Selection &sel, BITMAP *window);
// The drawing onto the back buffer alone.
void draw_back_buffer(BITMAP *back_buffer, const Selection &sel);

constexpr int kBackWidth = 320;
constexpr int kBackHeight = 200;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

// --- Export. ---

// Writes the slot's bitmap as "c%d_t%d_i%d.pcx" in the current directory,
// whole or not at all: a failure leaves any existing file of that name as
// it was. True when the file was written.
bool save_slot(int table, int slot);
// The writing under save_slot, for any path (a directory part included):
// bmp as a PCX file, whole or not at all. True when the file was written.
bool write_pcx_whole(const char *path, BITMAP *bmp);
void save_image();
void save_table();
void save_costume();

// Shows the export's confirmation: three lines (null for none) and one
// "OK" button. The program's own shows the library's alert; tests record.
using AlertSink = void (*)(const char *line1, const char *line2, const char *line3);
void set_alert_sink(AlertSink sink);  // nullptr restores the library's alert
