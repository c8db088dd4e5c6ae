#include <gtest/gtest.h>

#include "costume/costume.h"
#include "resfile/lecfile.h"
#include "test_support.h"

// A built file with one room and one costume loads, indexes and decodes.
TEST(Smoke, BuiltFileLoadsAndDecodes) {
    use_depth(32);
    Recorder rec;
    lecb::CostumeSpec c;
    lecb::Image img{2, 3, -1, -2, 0, 0, {1, 2, 3, 4, 5, 6}, std::nullopt};
    c.images = {img};
    c.tables = {{lecb::Slot::of(0)}};
    lecb::Room room{{lecb::clut(lecb::ramp_palette())}, {lecb::costume(c)}};
    ASSERT_TRUE(load_bytes(lecb::lec_file({room})));
    ASSERT_EQ(lec_index.count, 1);
    ASSERT_TRUE(decode_costume(lec_index.entries[0].costume_block));
    EXPECT_EQ(costume.tables[0].image_count, 1);
    EXPECT_TRUE(costume.tables[0].slots[0].valid);
    EXPECT_TRUE(rec.fatals().empty());
    release_all();
}
