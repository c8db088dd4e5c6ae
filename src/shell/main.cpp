// Vestrel: a viewer for the costumes of LEC files.
//
// Start-up: the library, the window title, the argument check, the
// keyboard, a 640 x 480 window in the first colour depth that works (the
// desktop's, then 15, 16, 24, 32), then the file and the viewer. Status 0
// after Escape, 1 after any failure.
#include <allegro.h>

#include <cstdio>

#include "resfile/lecfile.h"
#include "shell/fatal.h"
#include "viewer/viewer.h"

namespace {

constexpr const char *kUsage = "Syntax is vestrel <lecfile>\n";
constexpr const char *kNoDisplay =
    "You need a DirectX compatible video card capable of true/high color\nin order to run this util\n";

bool open_display() {
    const int depths[] = {desktop_color_depth(), 15, 16, 24, 32};
    for (int depth : depths) {
        set_color_depth(depth);
        if (set_gfx_mode(GFX_AUTODETECT_WINDOWED, kWindowWidth, kWindowHeight, 0, 0) >= 0) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char **argv) {
    // Without a display the library cannot start, and any further call
    // into it would crash: say what is wrong on standard error instead.
    if (allegro_init() != 0) {
        std::fputs(argc != 2 ? kUsage : kNoDisplay, stderr);
        return 1;
    }
    set_window_title("Vestrel v1.5");
    if (argc != 2) {
        allegro_message("%s", kUsage);
        allegro_exit();
        return 1;
    }
    install_keyboard();
    if (!open_display()) {
        fatal_error(kNoDisplay);
        return 1;
    }
    set_display_switch_mode(SWITCH_PAUSE);
    clear_bitmap(screen);
    // Text is drawn without a background: every text call passes -1.
    if (!load_lec_file(argv[1])) return 1;
    if (!run_viewer()) return 1;
    allegro_exit();
    return 0;
}
END_OF_MAIN()
