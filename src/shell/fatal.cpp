#include "shell/fatal.h"

#include <allegro.h>

namespace {
FatalSink current_sink = allegro_fatal_sink;
const char *last_message = nullptr;
int report_count = 0;
}  // namespace

void allegro_fatal_sink(const char *message) {
    set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    // The message is passed as the format string: no message of the program
    // holds a conversion, so it is shown as it stands.
    allegro_message("%s", message);
    allegro_exit();
}

void fatal_error(const char *message) {
    last_message = message;
    ++report_count;
    current_sink(message);
}

void set_fatal_sink(FatalSink sink) { current_sink = sink ? sink : allegro_fatal_sink; }
const char *last_fatal_error() { return last_message; }
int fatal_error_count() { return report_count; }
void clear_fatal_error() {
    last_message = nullptr;
    report_count = 0;
}
