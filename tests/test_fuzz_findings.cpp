// Hostile files: what fuzzing and the review of the decoder's bounds found,
// one table row per finding, and the decoder's pixel cap.
#include <allegro.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator keeps its own count (its header is not always
// installed with the compiler).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"
#include "test_support.h"

namespace {

// Bytes the process holds on its heap now (the sanitizer's allocator keeps
// its own count; glibc's arenas and mmapped chunks otherwise).
size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

// One costume whose tables 0..14 hold `slots` slots in all, every one
// naming the same image record of width x height with the given run data.
lecb::Bytes costume_of_slots(int slots, uint16_t width, uint16_t height, const lecb::Bytes &runs) {
    lecb::CostumeSpec c;
    lecb::Image img;
    img.width = width;
    img.height = height;
    img.runs = runs;
    c.images = {img};
    for (int left = slots; left > 0; left -= kSlotsPerTable) {
        c.tables.emplace_back(size_t(std::min(left, kSlotsPerTable)), lecb::Slot::of(0));
    }
    return lecb::costume(c);
}

lecb::Bytes one_costume_file(const lecb::Bytes &cost) {
    return lecb::lec_file({lecb::Room{{lecb::clut(lecb::ramp_palette())}, {cost}}});
}

// What the viewer does when paged through the whole file: every costume's
// palette and decode, bitmaps released between costumes. Returns the fatal
// messages met, in order.
std::vector<std::string> page_through(const lecb::Bytes &file, bool &loaded) {
    Recorder rec;
    loaded = load_bytes(file);
    if (loaded) {
        for (int32_t i = 0; i < lec_index.count; ++i) {
            release_costume_bitmaps();
            if (load_room_palette(lec_index.entries[i].palette_block)) {
                decode_costume(lec_index.entries[i].costume_block);
            }
        }
    }
    release_all();
    return rec.fatals();
}

struct Finding {
    const char *name;
    lecb::Bytes file;
    bool loads;
    std::vector<std::string> fatals;
    double max_seconds;  // the whole page-through, with a wide margin
};

std::vector<Finding> findings() {
    // Every slot of a costume pointing at one 1 x 1 record followed by 4 MiB
    // of empty runs (0x00 0x00: colour 0, length byte 0). Each slot read the
    // whole stretch: 3840 x 4 MiB steps, about 12 s of one decode.
    lecb::Bytes empty_runs = costume_of_slots(15 * kSlotsPerTable, 1, 1, {});
    empty_runs.resize(empty_runs.size() + (size_t{4} << 20), 0);
    lecb::put_be32(empty_runs, 4, uint32_t(empty_runs.size()));
    return {
        {"empty_runs_under_every_slot", one_costume_file(empty_runs), true, {}, 2.0},
    };
}

class FuzzFinding : public ::testing::TestWithParam<size_t> {};

TEST_P(FuzzFinding, HandledWithinItsBounds) {
    use_depth(32);
    const Finding f = findings()[GetParam()];
    SCOPED_TRACE(f.name);
    bool loaded = false;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> fatals = page_through(f.file, loaded);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(loaded, f.loads);
    EXPECT_EQ(fatals, f.fatals);
    EXPECT_LT(seconds, f.max_seconds);
}

INSTANTIATE_TEST_SUITE_P(Rows, FuzzFinding, ::testing::Range(size_t{0}, findings().size()),
                         [](const auto &info) { return std::string(findings()[info.param].name); });

// Empty runs are taken up to the image's pixel count; the run after one more
// ends the image. A 1 x 1 image: one empty run, then 0x35 (colour 3).
TEST(EmptyRuns, AnImageTakesAsManyAsItHasPixels) {
    use_depth(32);
    struct Case {
        lecb::Bytes runs;
        bool painted;
    };
    const Case cases[] = {
        {{0x35}, true},
        {{0x30, 0x00, 0x35}, true},
        {{0x30, 0x00, 0x00, 0x00, 0x35}, false},
    };
    for (const Case &c : cases) {
        Recorder rec;
        ASSERT_TRUE(load_bytes(one_costume_file(costume_of_slots(1, 1, 1, c.runs))));
        ASSERT_TRUE(load_room_palette(lec_index.entries[0].palette_block));
        ASSERT_TRUE(decode_costume(lec_index.entries[0].costume_block));
        const PaletteEntry &e = room_palette.entries[costume.color_map[3]];
        const int colour3 = makecol(e.r, e.g, e.b);
        ASSERT_NE(colour3, 0);
        EXPECT_EQ(getpixel(costume.tables[0].slots[0].bitmap, 0, 0), c.painted ? colour3 : 0)
            << c.runs.size() << " bytes of runs";
        release_all();
    }
}

// A costume asking for more pixels than the cap is refused before any
// bitmap is made: no slot holds one and the heap did not grow by them.
TEST(PixelCap, RefusedWithoutAllocating) {
    use_depth(32);
    struct Case {
        int slots;
        uint16_t width, height;
        bool refused;
    };
    const Case cases[] = {
        {15 * kSlotsPerTable, 65535, 65535, true},
        // 3840 x 128 x 137 is 67,338,240 pixels, just over the 64 Mi cap.
        {15 * kSlotsPerTable, 128, 137, true},
        // The same images in one table: 4.5 Mi pixels, made and counted.
        {kSlotsPerTable, 128, 137, false},
        // 3840 x 1 x 17476 pixels fit under the cap, but the bitmaps' row
        // pointers would need twice as much again.
        {15 * kSlotsPerTable, 1, 17476, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.slots) + " slots of " + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        // Pixels plus a row pointer (two 32-bit pixels' worth) per row.
        ASSERT_EQ(uint64_t(c.slots) * (uint64_t(c.width) * c.height + 2 * c.height) > kCostumePixelCap, c.refused);
        Recorder rec;
        ASSERT_TRUE(load_bytes(one_costume_file(costume_of_slots(c.slots, c.width, c.height, {}))));
        const size_t before = heap_in_use();
        const bool decoded = decode_costume(lec_index.entries[0].costume_block);
        const size_t grown = heap_in_use() - std::min(heap_in_use(), before);
        int bitmaps = 0;
        for (const CostumeTable &table : costume.tables) {
            for (const ImageSlot &slot : table.slots) bitmaps += slot.bitmap != nullptr;
        }
        const size_t image_bytes = size_t(c.slots) * c.width * c.height * 4;
        if (c.refused) {
            EXPECT_FALSE(decoded);
            EXPECT_EQ(rec.fatals(), std::vector<std::string>{"This is not a valid costume file\n"});
            EXPECT_EQ(bitmaps, 0);
            EXPECT_LT(grown, size_t{1} << 20);
        } else {
            EXPECT_TRUE(decoded);
            EXPECT_TRUE(rec.fatals().empty());
            EXPECT_EQ(bitmaps, c.slots);
            EXPECT_GE(grown, image_bytes);
        }
        release_all();
    }
}

}  // namespace
