// (d) compose_screen with its stretch onto a 640 x 480 memory bitmap,
// against the stretch alone.
#include <benchmark/benchmark.h>

#include <allegro.h>

#include "bench_support.h"
#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"
#include "viewer/viewer.h"

namespace {

struct Screens {
    BITMAP *back = nullptr;
    BITMAP *window = nullptr;
    Screens() : back(create_bitmap(kBackWidth, kBackHeight)), window(create_bitmap(kWindowWidth, kWindowHeight)) {}
    ~Screens() {
        destroy_bitmap(back);
        destroy_bitmap(window);
    }
};

}  // namespace

static void BM_StretchOnly(benchmark::State &state) {
    bench_start();
    Screens s;
    clear_to_color(s.back, makecol(10, 20, 30));
    for (auto _ : state) {
        stretch_blit(s.back, s.window, 0, 0, kBackWidth, kBackHeight, 0, 0, kWindowWidth, kWindowHeight);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StretchOnly);

// The screen for the first image of a costume of many images, 32 colours
// of swatches and every line of text.
static void BM_ComposeScreen(benchmark::State &state) {
    bench_start();
    lecb::CostumeSpec spec = many_image_costume();
    spec.colors = 32;
    bench_load_bytes(lecb::lec_file({lecb::Room{{lecb::clut(lecb::ramp_palette())}, {lecb::costume(spec)}}}));
    load_room_palette(lec_index.entries[0].palette_block);
    decode_costume(lec_index.entries[0].costume_block);
    Screens s;
    Selection sel;
    for (auto _ : state) {
        compose_screen(s.back, sel, s.window);
        benchmark::ClobberMemory();
    }
    release_costume_bitmaps();
    release_lec_file();
}
BENCHMARK(BM_ComposeScreen);
