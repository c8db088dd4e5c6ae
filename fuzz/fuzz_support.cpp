#include "fuzz_support.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resfile/lecfile.h"
#include "shell/fatal.h"

namespace {
// A malformed file is an expected outcome: the message is dropped and the
// caller returns false, as the program would before ending.
void ignore_fatal(const char *) {}
}  // namespace

void fuzz_start() {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "allegro did not start\n");
        std::abort();
    }
    set_color_depth(32);
    set_fatal_sink(ignore_fatal);
}

bool fuzz_load(const uint8_t *data, size_t size) {
    auto *copy = static_cast<uint8_t *>(std::malloc(size));
    if (!copy && size != 0) std::abort();
    for (size_t i = 0; i < size; ++i) copy[i] = data[i] ^ kLecMask;
    clear_fatal_error();
    return load_lec_buffer(copy, size);
}
