// Table and image navigation within a loaded costume.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "costume/costume.h"
#include "test_support.h"
#include "viewer/viewer.h"

namespace {

using lecb::Slot;

// Tables of the costume navigated:
//   0  empty
//   1  six slots, 0, 2 and 5 valid
//   2  empty
//   3  three slots, 1 and 2 valid
//   4  two slots, none valid (an image count, nothing to show)
//   5  one slot, valid
//   6..15 empty
lecb::Bytes navigation_file() {
    lecb::CostumeSpec c;
    c.images = {lecb::Image{1, 1, 0, 0, 0, 0, {1}, std::nullopt}, lecb::Image{2, 1, 0, 0, 0, 0, {2, 3}, std::nullopt}};
    c.tables = {
        {},
        {Slot::of(0), Slot::none(), Slot::of(1), Slot::none(), Slot::none(), Slot::of(0)},
        {},
        {Slot::none(), Slot::of(1), Slot::of(0)},
        {Slot::none(), Slot::none()},
        {Slot::of(1)},
    };
    return lecb::lec_file({lecb::Room{{lecb::clut(lecb::ramp_palette())}, {lecb::costume(c)}}});
}

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_depth(32);
        viewer_reset();
        ASSERT_TRUE(load_bytes(navigation_file()));
        ASSERT_TRUE(viewer_load_costume());
        ASSERT_EQ(selection.table_index, 1);
        ASSERT_EQ(selection.image_index, 0);
        for (int t : {1, 3, 4, 5}) ASSERT_NE(costume.tables[t].image_count, 0) << "table " << t;
    }
    void TearDown() override {
        release_all();
        viewer_reset();
    }
    Recorder rec;
};

TEST_F(NavigationTest, FirstValidSlotIsLowestValidOrImageCount) {
    const struct {
        int table, expected;
    } cases[] = {{0, 0}, {1, 0}, {3, 1}, {4, 2}, {5, 0}, {15, 0}};
    for (const auto &c : cases) EXPECT_EQ(first_valid_slot(c.table), c.expected) << "table " << c.table;
}

enum class Op { Up, Down, Left, Right };

struct MoveCase {
    const char *name;
    int table, image;  // before
    Op op;
    bool changed;
    int to_table, to_image;  // after
};

void PrintTo(const MoveCase &c, std::ostream *os) { *os << c.name; }

class MoveTest : public NavigationTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveTest, MovesToExpectedSlot) {
    const MoveCase &c = GetParam();
    selection.table_index = c.table;
    selection.image_index = c.image;
    selection.previous_costume = 0;
    bool changed = false;
    switch (c.op) {
        case Op::Up: changed = table_up(); break;
        case Op::Down: changed = table_down(); break;
        case Op::Left: changed = image_left(); break;
        case Op::Right: changed = image_right(); break;
    }
    EXPECT_EQ(changed, c.changed);
    EXPECT_EQ(selection.table_index, c.to_table);
    EXPECT_EQ(selection.image_index, c.to_image);
    EXPECT_EQ(selection.costume_index, 0);
    EXPECT_EQ(selection.previous_costume, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoveTest,
    ::testing::Values(
        // Right and Left over the valid slots 0, 2, 5 of table 1, no wrap.
        MoveCase{"RightFrom0To2", 1, 0, Op::Right, true, 1, 2},
        MoveCase{"RightFrom2To5", 1, 2, Op::Right, true, 1, 5},
        MoveCase{"RightOnLastValid", 1, 5, Op::Right, false, 1, 5},
        MoveCase{"LeftFrom5To2", 1, 5, Op::Left, true, 1, 2},
        MoveCase{"LeftFrom2To0", 1, 2, Op::Left, true, 1, 0},
        MoveCase{"LeftOnFirstValid", 1, 0, Op::Left, false, 1, 0},
        MoveCase{"LeftOnlyInvalidBelow", 3, 1, Op::Left, false, 3, 1},
        MoveCase{"RightAtImageCount", 3, 2, Op::Right, false, 3, 2},
        // Up and Down skip empty tables and land on the first valid slot.
        MoveCase{"UpOverEmptyTable", 1, 5, Op::Up, true, 3, 1},
        MoveCase{"DownOverEmptyTable", 3, 2, Op::Down, true, 1, 0},
        MoveCase{"DownNothingBelow", 1, 2, Op::Down, false, 1, 2},
        // Table 4 has an image count but no valid slot: passed over.
        MoveCase{"UpOverTableWithoutValidSlot", 3, 1, Op::Up, true, 5, 0},
        MoveCase{"DownOverTableWithoutValidSlot", 5, 0, Op::Down, true, 3, 1},
        MoveCase{"UpNothingAbove", 5, 0, Op::Up, false, 5, 0}),
    [](const ::testing::TestParamInfo<MoveCase> &info) { return std::string(info.param.name); });

// Only slots below a table's image count are read: a valid flag left above
// it (as an earlier costume may leave one) is not a place to move to.
TEST_F(NavigationTest, RightIgnoresSlotsAtOrAboveImageCount) {
    costume.tables[1].slots[6].valid = true;
    selection.table_index = 1;
    selection.image_index = 5;
    EXPECT_FALSE(image_right());
    EXPECT_EQ(selection.image_index, 5);
    costume.tables[1].slots[6].valid = false;
}

// The one table with a valid slot is the only place Up and Down can go:
// from there both change nothing.
TEST(NavigationAlone, SingleTableGoesNowhere) {
    use_depth(32);
    Recorder rec;
    viewer_reset();
    lecb::CostumeSpec c;
    c.images = {lecb::Image{1, 1, 0, 0, 0, 0, {1}, std::nullopt}};
    c.tables = {{Slot::none(), Slot::none()}, {}, {Slot::of(0)}, {Slot::none()}};
    // Table 0 has no valid slot, so the costume cannot be shown; the
    // navigation itself is driven on the decoded tables.
    ASSERT_TRUE(load_bytes(lecb::lec_file({lecb::Room{{lecb::clut(lecb::ramp_palette())}, {lecb::costume(c)}}})));
    ASSERT_TRUE(decode_costume(lec_index.entries[0].costume_block));
    selection.table_index = 2;
    selection.image_index = 0;
    EXPECT_FALSE(table_up());
    EXPECT_FALSE(table_down());
    EXPECT_EQ(selection.table_index, 2);
    EXPECT_EQ(selection.image_index, 0);
    release_all();
    viewer_reset();
}

}  // namespace
