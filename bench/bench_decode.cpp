// (a) Decoding a costume of many images into 32-bit bitmaps, against the
// same run-length data decoded into a plain byte array.
#include <benchmark/benchmark.h>

#include <allegro.h>

#include <cstdlib>
#include <vector>

#include "bench_support.h"
#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"

namespace {

// A small deterministic generator, so every run measures the same images.
struct Lcg {
    uint32_t s = 12345;
    uint32_t next(uint32_t n) {
        s = s * 1103515245u + 12345u;
        return (s >> 16) % n;
    }
};

struct Decoded {
    uint16_t width, height;
    lecb::Bytes runs;
};

std::vector<Decoded> encoded_images(const lecb::CostumeSpec &spec) {
    std::vector<Decoded> out;
    for (const lecb::Image &img : spec.images) out.push_back({img.width, img.height, lecb::encode_runs(img, 16)});
    return out;
}

uint64_t pixels_of(const lecb::CostumeSpec &spec) {
    uint64_t n = 0;
    for (const auto &table : spec.tables) {
        for (const lecb::Slot &s : table) n += uint64_t(spec.images[size_t(s.image)].width) * spec.images[size_t(s.image)].height;
    }
    return n;
}

// The baseline: the plainest decoder of the same runs, 16 colours, column
// order, into a reused byte array with one byte per pixel.
void decode_to_bytes(const Decoded &img, uint8_t *out) {
    const int w = img.width, h = img.height;
    int x = 0, y = 0;
    size_t pos = 0;
    while (x < w && pos < img.runs.size()) {
        const uint8_t run = img.runs[pos++];
        const uint8_t c = run >> 4;
        unsigned length = run & 0x0F;
        if (length == 0) length = img.runs[pos++];
        while (length-- > 0 && x < w) {
            out[size_t(y) * size_t(w) + size_t(x)] = c;
            if (++y == h) {
                y = 0;
                ++x;
            }
        }
    }
}

}  // namespace

lecb::CostumeSpec many_image_costume() {
    Lcg rng;
    lecb::CostumeSpec c;
    for (int i = 0; i < 32; ++i) c.color_map[size_t(i)] = uint8_t(16 + i * 7);
    for (int t = 0; t < 15; ++t) {
        std::vector<lecb::Slot> table;
        for (int i = 0; i < 8; ++i) {
            lecb::Image img;
            img.width = uint16_t(24 + rng.next(17));
            img.height = uint16_t(40 + rng.next(33));
            img.x = int16_t(-img.width / 2);
            img.y = int16_t(-img.height);
            img.pixels.assign(size_t(img.width) * img.height, 0);
            // Column by column: a margin of colour 0, then strokes of 1 to 12
            // pixels of one colour, then colour 0 again.
            for (int x = 0; x < img.width; ++x) {
                int y = int(rng.next(10));
                const int end = img.height - int(rng.next(10));
                while (y < end) {
                    const int len = 1 + int(rng.next(12));
                    const uint8_t colour = uint8_t(1 + rng.next(15));
                    for (int k = 0; k < len && y < end; ++k, ++y) img.pixels[size_t(y) * img.width + size_t(x)] = colour;
                }
            }
            table.push_back(lecb::Slot::of(int(c.images.size())));
            c.images.push_back(std::move(img));
        }
        c.tables.push_back(std::move(table));
    }
    // Offsets inside a costume are 16-bit: the whole block must stay below
    // 64 KiB, as the games' costumes do.
    if (lecb::costume(c).size() >= 65536) std::abort();
    return c;
}

static void BM_DecodeBaseline_ByteArray(benchmark::State &state) {
    const lecb::CostumeSpec spec = many_image_costume();
    const std::vector<Decoded> images = encoded_images(spec);
    std::vector<uint8_t> out(40 * 72);
    for (auto _ : state) {
        for (const Decoded &img : images) decode_to_bytes(img, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels/s"] = benchmark::Counter(double(pixels_of(spec)) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeBaseline_ByteArray);

// decode_costume as the viewer calls it: every image into a new 32-bit
// bitmap, which the viewer releases before the next costume.
static void BM_DecodeCostume32(benchmark::State &state) {
    bench_start();
    const lecb::CostumeSpec spec = many_image_costume();
    bench_load_bytes(lecb::lec_file({lecb::Room{{lecb::clut(lecb::ramp_palette())}, {lecb::costume(spec)}}}));
    load_room_palette(lec_index.entries[0].palette_block);
    for (auto _ : state) {
        if (!decode_costume(lec_index.entries[0].costume_block)) state.SkipWithError("decode failed");
        release_costume_bitmaps();
    }
    state.counters["pixels/s"] = benchmark::Counter(double(pixels_of(spec)) * double(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    release_lec_file();
}
BENCHMARK(BM_DecodeCostume32);
