// The viewer's costume load and key handling, driven without a display.
#include <allegro.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <optional>
#include <ostream>
#include <string>
#include <thread>

#include "costume/costume.h"
#include "resfile/lecfile.h"
#include "test_support.h"
#include "viewer/viewer.h"

namespace {

// A costume whose first table with images is table 1, and whose first
// valid slot there is slot 1; table 2 holds one more image. A load must
// land on (1, 1), whatever was selected before.
lecb::Bytes with_images() {
    lecb::CostumeSpec c;
    for (int i = 0; i < 16; ++i) c.color_map[size_t(i)] = uint8_t(i);
    c.images = {
        lecb::Image{2, 2, 0, 0, 0, 0, {1, 2, 3, 4}, std::nullopt},
        lecb::Image{3, 1, -1, -1, 0, 0, {5, 6, 7}, std::nullopt},
    };
    c.tables = {{}, {lecb::Slot::none(), lecb::Slot::of(0), lecb::Slot::of(1)}, {lecb::Slot::of(1)}};
    return lecb::costume(c);
}

// No table has an image count.
lecb::Bytes without_images() { return lecb::costume(lecb::CostumeSpec{}); }

// Table 0 has an image count but no valid slot; table 1 has a valid image.
lecb::Bytes bad_first_table() {
    lecb::CostumeSpec c;
    c.images = {lecb::Image{1, 1, 0, 0, 0, 0, {1}, std::nullopt}};
    c.tables = {{lecb::Slot::none(), lecb::Slot::none()}, {lecb::Slot::of(0)}};
    return lecb::costume(c);
}

// One room holding one costume per letter: 'I' with images, '-' without,
// 'X' with an invalid first table.
lecb::Bytes file_of(const std::string &layout) {
    lecb::Room room{{lecb::clut(lecb::ramp_palette())}, {}};
    for (char k : layout) {
        room.lflf_blocks.push_back(k == 'I' ? with_images() : k == 'X' ? bad_first_table() : without_images());
    }
    return lecb::lec_file({room});
}

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_depth(32);
        viewer_reset();
    }
    void TearDown() override {
        release_all();
        viewer_reset();
    }

    void load(const std::string &layout) { ASSERT_TRUE(load_bytes(file_of(layout))); }

    // Shows costume `at` as if it had been reached by a key.
    void show(int at) {
        selection.costume_index = at;
        selection.previous_costume = at;
        ASSERT_TRUE(viewer_load_costume());
        ASSERT_EQ(selection.costume_index, at);
        viewer_flags.need_redraw = false;
    }

    void expect_first_image_of(int costume_index, int previous) {
        EXPECT_EQ(selection.costume_index, costume_index);
        EXPECT_EQ(selection.previous_costume, previous);
        EXPECT_EQ(selection.table_index, 1);
        EXPECT_EQ(selection.image_index, 1);
        EXPECT_FALSE(viewer_flags.need_load);
        EXPECT_TRUE(viewer_flags.need_redraw);
    }

    // Starts a fresh record of fatal messages (the old one stops first).
    const Recorder &fresh_record() {
        rec.reset();
        return rec.emplace();
    }

    std::optional<Recorder> rec{std::in_place};
};

TEST_F(ViewerTest, StartUpOpensOnFirstCostumeWithImages) {
    ASSERT_NO_FATAL_FAILURE(load("--I-I"));
    ASSERT_TRUE(viewer_flags.need_load);
    ASSERT_TRUE(viewer_load_costume());
    expect_first_image_of(2, 0);
    EXPECT_TRUE(rec->fatals().empty());
}

// Page Up and Page Down, then the load: skipping costumes without images
// in the direction of the key, and falling back to the costume shown before
// when the run leaves the index. The selection was moved away from the
// first image before the key, so every landing shows the reset to it.
struct SkipCase {
    const char *name;
    const char *layout;
    int start;
    int key;
    int expected;
};
void PrintTo(const SkipCase &c, std::ostream *os) { *os << c.name; }

class SkipTest : public ViewerTest, public ::testing::WithParamInterface<SkipCase> {};

TEST_P(SkipTest, LoadLandsOnFirstImageOfExpectedCostume) {
    const SkipCase &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(load(c.layout));
    ASSERT_NO_FATAL_FAILURE(show(c.start));
    ASSERT_TRUE(image_right());
    ASSERT_TRUE(table_up());

    EXPECT_EQ(viewer_handle_key(c.key), KeyAction::Load);
    EXPECT_TRUE(viewer_flags.need_load);
    ASSERT_TRUE(viewer_load_costume());
    expect_first_image_of(c.expected, c.start);
    EXPECT_TRUE(rec->fatals().empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, SkipTest,
                         ::testing::Values(SkipCase{"Next", "III", 0, KEY_PGDN, 1},
                                           SkipCase{"Previous", "III", 2, KEY_PGUP, 1},
                                           SkipCase{"ForwardOverTwo", "I--I", 0, KEY_PGDN, 3},
                                           SkipCase{"BackwardOverTwo", "I--I", 3, KEY_PGUP, 0},
                                           SkipCase{"OffTheEnd", "-I--", 1, KEY_PGDN, 1},
                                           SkipCase{"OffTheStart", "--I-", 2, KEY_PGUP, 2},
                                           SkipCase{"LastIsEmpty", "I-", 0, KEY_PGDN, 0}),
                         [](const ::testing::TestParamInfo<SkipCase> &info) { return std::string(info.param.name); });

// Every key from a known state: what it returns, which flags it sets and
// what it does to the selection. Costume 1 of "III" is shown at table 1,
// slot 1 (slot 0 is not valid, table 0 is empty, table 2 holds an image).
struct KeyCase {
    const char *name;
    int start;
    int key;
    KeyAction action;
    bool need_load, need_redraw;
    int costume_index, table_index, image_index;
};

void PrintTo(const KeyCase &c, std::ostream *os) { *os << c.name; }

class KeyTest : public ViewerTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, SetsFlagsAndSelection) {
    const KeyCase &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(load("III"));
    ASSERT_NO_FATAL_FAILURE(show(c.start));
    EXPECT_EQ(viewer_handle_key(c.key), c.action);
    EXPECT_EQ(viewer_flags.need_load, c.need_load);
    EXPECT_EQ(viewer_flags.need_redraw, c.need_redraw);
    EXPECT_EQ(selection.costume_index, c.costume_index);
    EXPECT_EQ(selection.table_index, c.table_index);
    EXPECT_EQ(selection.image_index, c.image_index);
    EXPECT_TRUE(rec->alerts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(KeyCase{"PageDown", 1, KEY_PGDN, KeyAction::Load, true, false, 2, 1, 1},
                      KeyCase{"PageUp", 1, KEY_PGUP, KeyAction::Load, true, false, 0, 1, 1},
                      KeyCase{"PageDownOnLast", 2, KEY_PGDN, KeyAction::Nothing, false, false, 2, 1, 1},
                      KeyCase{"PageUpOnFirst", 0, KEY_PGUP, KeyAction::Nothing, false, false, 0, 1, 1},
                      KeyCase{"Up", 1, KEY_UP, KeyAction::Redraw, false, true, 1, 2, 0},
                      KeyCase{"DownNothingBelow", 1, KEY_DOWN, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"Right", 1, KEY_RIGHT, KeyAction::Redraw, false, true, 1, 1, 2},
                      KeyCase{"LeftNoValidSlot", 1, KEY_LEFT, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"Escape", 1, KEY_ESC, KeyAction::Exit, false, false, 1, 1, 1},
                      KeyCase{"Letter", 1, KEY_A, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"Space", 1, KEY_SPACE, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"Enter", 1, KEY_ENTER, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"Home", 1, KEY_HOME, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"F1", 1, KEY_F1, KeyAction::Nothing, false, false, 1, 1, 1},
                      KeyCase{"F9", 1, KEY_F9, KeyAction::Nothing, false, false, 1, 1, 1}),
    [](const ::testing::TestParamInfo<KeyCase> &info) { return std::string(info.param.name); });

// The first table with an image count decides: when none of its slots is
// valid the costume stops the program, though table 1 holds an image.
TEST_F(ViewerTest, InvalidFirstTableIsFatalAtStartAndAfterPageDown) {
    const char *const message = "This costume has not a valid image\n";
    ASSERT_NO_FATAL_FAILURE(load("X"));
    EXPECT_FALSE(viewer_load_costume());
    EXPECT_EQ(rec->fatals(), std::vector<std::string>{message});
    EXPECT_TRUE(viewer_flags.need_load);
    release_all();
    viewer_reset();

    const Recorder &again = fresh_record();
    ASSERT_NO_FATAL_FAILURE(load("IX"));
    ASSERT_TRUE(viewer_load_costume());
    ASSERT_EQ(viewer_handle_key(KEY_PGDN), KeyAction::Load);
    EXPECT_FALSE(viewer_load_costume());
    EXPECT_EQ(again.fatals(), std::vector<std::string>{message});
}

TEST_F(ViewerTest, FileWithoutCostumesIsFatal) {
    lecb::Room room{{lecb::clut(lecb::ramp_palette())}, {}};
    ASSERT_TRUE(load_bytes(lecb::lec_file({room})));
    ASSERT_EQ(lec_index.count, 0);
    EXPECT_FALSE(viewer_load_costume());
    EXPECT_EQ(rec->fatals(), std::vector<std::string>{"The file has no costumes\n"});
}

// Without any costume with images the skipping would run forward, fall
// back to costume 0 and start over for ever. The load runs on a thread of
// its own so that a hang fails the test instead of stalling the suite.
TEST_F(ViewerTest, FileWithoutAnyImagesIsFatalAndTerminates) {
    for (const char *layout : {"-", "---"}) {
        SCOPED_TRACE(layout);
        const Recorder &r = fresh_record();
        ASSERT_NO_FATAL_FAILURE(load(layout));
        viewer_reset();
        std::packaged_task<bool()> task(viewer_load_costume);
        std::future<bool> result = task.get_future();
        std::thread(std::move(task)).detach();
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "viewer_load_costume did not return for layout \"%s\"\n", layout);
            std::_Exit(1);
        }
        EXPECT_FALSE(result.get());
        EXPECT_EQ(r.fatals(), std::vector<std::string>{"The file has no costume with images\n"});
        release_all();
    }
}

}  // namespace
