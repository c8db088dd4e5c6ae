// The costume decoder, on small costumes built in memory.
#include <gtest/gtest.h>

#include <allegro.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <utility>

#include "costume/costume.h"
#include "costume/palette.h"
#include "test_support.h"

using lecb::block;
using lecb::Bytes;
using lecb::clut;
using lecb::costume_layout;
using lecb::CostumeSpec;
using lecb::find_tag;
using lecb::Image;
using lecb::lec_unmasked;
using lecb::mask;
using lecb::Palette;
using lecb::put_be32;
using lecb::put_le16;
using lecb::ramp_palette;
using lecb::Rgb;
using lecb::Room;
using lecb::Slot;

namespace {

const char *const kBadCostume = "This is not a valid costume file\n";

// Colour-map entry c names palette entry 8c + 4 of the ramp palette, whose
// red is then 8c + 4: every colour index has its own colour at every depth.
std::array<uint8_t, 32> spread_map() {
    std::array<uint8_t, 32> m{};
    for (int c = 0; c < 32; ++c) m[size_t(c)] = uint8_t(8 * c + 4);
    return m;
}

// One room with a CLUT; the costume is the file's last block.
Bytes file_with(const Bytes &cost, const Palette &pal = ramp_palette()) {
    return lec_unmasked({Room{{clut(pal)}, {cost}}});
}

// Loads the file (masked first) from a buffer of exactly its size, so that
// a read past its end is a heap overread, and loads the palette of its
// first costume.
void load_file(const Bytes &unmasked) {
    const Bytes masked = mask(unmasked);
    auto *data = static_cast<uint8_t *>(std::malloc(masked.size()));
    std::memcpy(data, masked.data(), masked.size());
    ASSERT_TRUE(load_lec_buffer(data, masked.size()));
    ASSERT_GE(lec_index.count, 1);
    ASSERT_TRUE(load_room_palette(lec_index.entries[0].palette_block));
}

BlockLocation first_costume() { return lec_index.entries[0].costume_block; }

// Loads the file and decodes its costume, which must succeed silently.
void decode_file(const Bytes &unmasked) {
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(load_file(unmasked));
    ASSERT_TRUE(decode_costume(first_costume()));
    ASSERT_TRUE(rec.fatals().empty()) << rec.fatals()[0];
}

// Keeps the first `keep` bytes of the costume, the file's last block, and
// makes the COST and LFLF sizes end with the file so that the loader still
// indexes it: the costume then reaches the end of the buffer.
Bytes cut_costume(Bytes file, size_t keep) {
    const size_t cost = find_tag(file, "COST");
    file.resize(cost + keep);
    put_be32(file, cost + 4, uint32_t(keep));
    const size_t lflf = find_tag(file, "LFLF");
    put_be32(file, lflf + 4, uint32_t(file.size() - lflf));
    return file;
}

// Sets stored table offset t of a built costume.
void set_table_offset(Bytes &cost, const CostumeSpec &spec, int t, uint16_t stored) {
    put_le16(cost, costume_layout(spec).table_offsets_at + 2 * size_t(t), stored);
}

Bytes pad(Bytes cost, size_t n) {
    cost.resize(cost.size() + n, 0);
    put_be32(cost, 4, uint32_t(cost.size()));
    return cost;
}

uint16_t stored_of(const CostumeSpec &spec, size_t block_relative) {
    return uint16_t(block_relative - (spec.dott ? 8 : 2));
}

std::vector<uint8_t> costume_snapshot() {
    std::vector<uint8_t> v(sizeof(Costume));
    std::memcpy(v.data(), &costume, sizeof(Costume));
    return v;
}

int colour_of_index(int c) {
    const PaletteEntry &e = room_palette.entries[costume.color_map[c]];
    return makecol(e.r, e.g, e.b);
}

// Column-order runs of the expected image: (count, colour index), -1 for
// pixels left at the cleared value 0.
using Expect = std::vector<std::pair<int, int>>;

void expect_image(const ImageSlot &slot, int width, int height, const Expect &runs) {
    ASSERT_TRUE(slot.valid);
    ASSERT_NE(slot.bitmap, nullptr);
    ASSERT_EQ(slot.width, width);
    ASSERT_EQ(slot.height, height);
    ASSERT_EQ(slot.bitmap->w, width);
    ASSERT_EQ(slot.bitmap->h, height);
    int n = 0;
    for (auto [count, c] : runs) {
        for (int k = 0; k < count; ++k, ++n) {
            const int x = n / height, y = n % height;
            ASSERT_LT(x, width) << "expectation longer than the image";
            const int want = c < 0 ? 0 : colour_of_index(c);
            ASSERT_EQ(getpixel(slot.bitmap, x, y), want) << "pixel (" << x << "," << y << ")";
        }
    }
    ASSERT_EQ(n, width * height) << "expectation shorter than the image";
}

class CostumeTest : public ::testing::Test {
protected:
    void SetUp() override { use_depth(32); }
    void TearDown() override { release_all(); }
};

// --- Layout and header. ---

TEST_F(CostumeTest, FormatByteAndLayout) {
    const struct {
        bool dott;
        int colors;
        uint8_t extra;  // the format byte is colors bit | extra
    } cases[] = {
        {false, 16, 0x00}, {false, 32, 0x00}, {false, 16, 0x80}, {false, 32, 0x80},
        {true, 16, 0x00},  {true, 32, 0x00},  {true, 16, 0x80},  {true, 32, 0x80},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.dott ? "DOTT" : "MI2") + " format " + std::to_string((c.colors == 32) | c.extra));
        CostumeSpec spec;
        spec.dott = c.dott;
        spec.colors = c.colors;
        spec.format_extra = c.extra;
        spec.color_map = spread_map();
        std::reverse(spec.color_map.begin(), spec.color_map.begin() + c.colors);
        // 0x13 is 3 pixels of index 1 with 16 colours, of index 2 with 32.
        spec.images = {Image{1, 3, 0, 0, 0, 0, {}, Bytes{0x13}}};
        spec.tables = {{Slot::of(0)}};
        ASSERT_NO_FATAL_FAILURE(decode_file(file_with(lecb::costume(spec))));
        EXPECT_EQ(costume.mode, c.dott ? CostumeMode::DOTT : CostumeMode::MI2);
        EXPECT_EQ(costume.color_count, c.colors);
        EXPECT_EQ(0, std::memcmp(costume.color_map, spec.color_map.data(), size_t(c.colors)));
        expect_image(costume.tables[0].slots[0], 1, 3, {{3, c.colors == 32 ? 2 : 1}});
        release_all();
    }
}

// An MI2 costume whose colour-map entries 2 and 3 are 'C' and 'O' puts "CO"
// at bytes 12 and 13 and is read as DOTT: format byte at 15, map from 16.
TEST_F(CostumeTest, Mi2ColourMapSpellingCoReadAsDott) {
    for (uint8_t third : {uint8_t('O'), uint8_t('P')}) {
        const bool reads_as_dott = third == 'O';
        CostumeSpec spec;  // MI2, 16 colours, no images
        spec.color_map = spread_map();
        spec.color_map[2] = 'C';
        spec.color_map[3] = third;
        spec.color_map[5] = 0x80;  // byte 15: 16 colours when read as DOTT
        // Room for the DOTT reading's table offsets, which lie 6 bytes on.
        const Bytes cost = pad(lecb::costume(spec), 16);
        ASSERT_NO_FATAL_FAILURE(decode_file(file_with(cost)));
        EXPECT_EQ(costume.mode, reads_as_dott ? CostumeMode::DOTT : CostumeMode::MI2);
        EXPECT_EQ(costume.color_count, 16);
        EXPECT_EQ(0, std::memcmp(costume.color_map, cost.data() + (reads_as_dott ? 16 : 10), 16));
        for (int t = 0; t < kTableCount; ++t) EXPECT_EQ(costume.tables[t].image_count, 0);
        release_all();
    }
}

// --- Tables and image lists. ---

TEST_F(CostumeTest, ImageCountsFromConsecutiveTableOffsets) {
    const struct {
        bool dott;
        uint16_t first, next, rest;  // stored offsets of table 0, table 1, tables 2..15
        int count;
    } cases[] = {
        {false, 100, 110, 110, 5},
        {true, 100, 110, 110, 5},
        {false, 100, 107, 107, 3},
        {false, 100, 100, 100, 0},
        {false, 110, 100, 100, 0},
        {false, 100, 700, 700, 256},  // 300 entries: cut to the 256 slots
        // 0xFFFE + 2 is 0 modulo 65536: a list at the block's start.
        {false, 0xFFFE, 8, 0, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("tables " + std::to_string(c.first) + ", " + std::to_string(c.next));
        CostumeSpec spec;
        spec.dott = c.dott;
        const uint16_t base = c.dott ? 8 : 2;
        // Zeros after the header: every list entry read there is no image.
        Bytes cost = pad(lecb::costume(spec), 1000);
        set_table_offset(cost, spec, 0, c.first);
        set_table_offset(cost, spec, 1, c.next);
        for (int t = 2; t < 16; ++t) set_table_offset(cost, spec, t, c.rest);
        ASSERT_NO_FATAL_FAILURE(decode_file(file_with(cost)));
        EXPECT_EQ(costume.table_offsets[0], uint16_t(c.first + base));
        EXPECT_EQ(costume.table_offsets[2], uint16_t(c.rest + base)) << "a stored 0 stays 0 plus the base";
        EXPECT_EQ(costume.tables[0].image_count, c.count);
        for (int i = 0; i < c.count; ++i) EXPECT_FALSE(costume.tables[0].slots[i].valid) << i;
        for (int t = 1; t < kTableCount; ++t) EXPECT_EQ(costume.tables[t].image_count, 0) << t;
        release_all();
    }
}

TEST_F(CostumeTest, Table15NeverHoldsImages) {
    CostumeSpec spec;
    spec.color_map = spread_map();
    spec.images = {Image{1, 1, 0, 0, 0, 0, {5}, std::nullopt}};
    spec.tables = {{Slot::of(0), Slot::of(0)}};
    Bytes cost = lecb::costume(spec);
    // Tables 14 and 15 both lead to table 0's list of two good images.
    const uint16_t list0 = stored_of(spec, costume_layout(spec).table_lists[0]);
    set_table_offset(cost, spec, 14, list0);
    set_table_offset(cost, spec, 15, list0);
    ASSERT_NO_FATAL_FAILURE(decode_file(file_with(cost)));
    EXPECT_EQ(costume.tables[0].image_count, 2);
    EXPECT_EQ(costume.tables[14].image_count, 0);
    EXPECT_EQ(costume.tables[15].image_count, 0);
    for (const ImageSlot &s : costume.tables[15].slots) EXPECT_EQ(s.bitmap, nullptr);
}

TEST_F(CostumeTest, StoredImageOffsetsMeaningNoImage) {
    const struct {
        bool dott;
        uint16_t stored;
        uint16_t offset;  // block-relative result, 0 = no image
    } cases[] = {
        {false, 0, 0},      {false, 0xFFFE, 0}, {false, 0xFFFF, 0}, {false, 0xFFFD, 0xFFFF},
        {true, 0, 0},       {true, 0xFFF8, 0},  {true, 0xFFFF, 0},  {true, 0xFFF7, 0xFFFF},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.dott ? "DOTT" : "MI2") + " stored " + std::to_string(c.stored));
        CostumeSpec spec;
        spec.dott = c.dott;
        spec.color_map = spread_map();
        spec.images = {Image{1, 2, 0, 0, 0, 0, {3, 4}, std::nullopt}};
        spec.tables = {{Slot::raw(c.stored), Slot::of(0)}};
        ASSERT_NO_FATAL_FAILURE(decode_file(file_with(lecb::costume(spec))));
        ASSERT_EQ(costume.tables[0].image_count, 2);
        EXPECT_EQ(costume.tables[0].image_offsets[0], c.offset);
        EXPECT_FALSE(costume.tables[0].slots[0].valid);  // 0xFFFF: the record is outside the buffer
        EXPECT_EQ(costume.tables[0].slots[0].bitmap, nullptr);
        expect_image(costume.tables[0].slots[1], 1, 2, {{1, 3}, {1, 4}});
        release_all();
    }
}

TEST_F(CostumeTest, ZeroWidthOrHeightIsNotValid) {
    CostumeSpec spec;
    spec.color_map = spread_map();
    spec.images = {Image{0, 3, 0, 0, 0, 0, {}, Bytes{0x13}}, Image{2, 0, 0, 0, 0, 0, {}, Bytes{0x13}},
                   Image{0, 0, 0, 0, 0, 0, {}, std::nullopt}, Image{1, 1, 7, -9, 0, 0, {6}, std::nullopt}};
    spec.tables = {{Slot::of(0), Slot::of(1), Slot::of(2), Slot::of(3)}};
    ASSERT_NO_FATAL_FAILURE(decode_file(file_with(lecb::costume(spec))));
    const CostumeTable &table = costume.tables[0];
    ASSERT_EQ(table.image_count, 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(table.image_offsets[i], 0) << i;
        EXPECT_FALSE(table.slots[i].valid) << i;
        EXPECT_EQ(table.slots[i].bitmap, nullptr) << i;
    }
    expect_image(table.slots[3], 1, 1, {{1, 6}});
    EXPECT_EQ(table.slots[3].x, 7);
    EXPECT_EQ(table.slots[3].y, -9);
}

// --- Run-length data, at a 16-bit and a 32-bit depth. ---

struct RunCase {
    const char *name;
    int colors;
    uint16_t width, height;
    Bytes runs;
    Expect expect;  // column order
};

const RunCase kRunCases[] = {
    {"Nibbles16", 16, 1, 6, {0x35, 0x41}, {{5, 3}, {1, 4}}},
    {"LengthByte16", 16, 1, 21, {0x30, 0x14, 0x41}, {{20, 3}, {1, 4}}},
    {"ZeroLengthPaintsNothing16", 16, 1, 2, {0x30, 0x00, 0x52}, {{2, 5}}},
    {"TopIndex16", 16, 1, 2, {0xF2}, {{2, 15}}},
    {"Bits32", 32, 1, 6, {0x1D, 0x21}, {{5, 3}, {1, 4}}},
    {"LengthByte32", 32, 1, 41, {0x18, 0x28, 0x21}, {{40, 3}, {1, 4}}},
    {"ZeroLengthPaintsNothing32", 32, 1, 2, {0x18, 0x00, 0x2A}, {{2, 5}}},
    {"TopIndex32", 32, 1, 2, {0xFA}, {{2, 31}}},
    // (0,0) (0,1) (0,2) (1,0) (1,1) (1,2) as (column, row).
    {"ColumnOrder", 16, 2, 3, {0x11, 0x21, 0x31, 0x41, 0x51, 0x61}, {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}}},
    {"RunCrossesColumns", 16, 3, 2, {0x15, 0x21}, {{5, 1}, {1, 2}}},
    // 3 then 5 in a 2 x 2 image: the second run paints (1,1) and drops 4;
    // the bytes after it belong to nobody.
    {"LastRunOverruns", 16, 2, 2, {0x13, 0x25, 0x77, 0x77}, {{3, 1}, {1, 2}}},
    {"LongRunsAcrossColumns", 16, 3, 100, {0x70, 0xFF, 0x70, 0x2D}, {{300, 7}}},
    {"ColourIndex0Painted", 32, 2, 2, {0x04}, {{4, 0}}},
};

void PrintTo(const RunCase &c, std::ostream *os) { *os << c.name; }

class RunData : public ::testing::TestWithParam<std::tuple<int, RunCase>> {
protected:
    void SetUp() override { use_depth(std::get<0>(GetParam())); }
    void TearDown() override { release_all(); }
};

TEST_P(RunData, PaintsTheDefinedPixels) {
    const RunCase &c = std::get<1>(GetParam());
    CostumeSpec spec;
    spec.colors = c.colors;
    spec.dott = c.colors == 32;
    spec.color_map = spread_map();
    // The case's image, then a 1 x 1 image of index 9 read from its own
    // offset, wherever the case's data stopped.
    const Bytes follower = c.colors == 32 ? Bytes{0x49} : Bytes{0x91};
    spec.images = {Image{c.width, c.height, -3, 4, 0, 0, {}, c.runs}, Image{1, 1, 0, 0, 0, 0, {}, follower}};
    spec.tables = {{Slot::of(0), Slot::of(1)}};
    ASSERT_NO_FATAL_FAILURE(decode_file(file_with(lecb::costume(spec))));
    ASSERT_EQ(costume.color_count, c.colors);
    // The colours told apart at this depth, black (the cleared value) apart.
    for (int a = 0; a < c.colors; ++a) {
        ASSERT_NE(colour_of_index(a), 0);
        for (int b = 0; b < a; ++b) ASSERT_NE(colour_of_index(a), colour_of_index(b));
    }
    expect_image(costume.tables[0].slots[0], c.width, c.height, c.expect);
    EXPECT_EQ(costume.tables[0].slots[0].x, -3);
    EXPECT_EQ(costume.tables[0].slots[0].y, 4);
    expect_image(costume.tables[0].slots[1], 1, 1, {{1, 9}});
}

INSTANTIATE_TEST_SUITE_P(Depths, RunData, ::testing::Combine(::testing::Values(16, 32), ::testing::ValuesIn(kRunCases)),
                         [](const auto &info) {
                             return std::string(std::get<1>(info.param).name) + "_" +
                                    std::to_string(std::get<0>(info.param));
                         });

// Index 0 is painted like any other, even in the library's mask colour;
// only drawing with draw_sprite leaves such pixels out.
TEST_F(CostumeTest, ColourIndex0InTheMaskColourIsStillPainted) {
    for (int depth : {16, 32}) {
        use_depth(depth);
        Palette pal = ramp_palette();
        pal[200] = Rgb{255, 0, 255};
        CostumeSpec spec;
        spec.color_map = spread_map();
        spec.color_map[0] = 200;
        spec.images = {Image{1, 3, 0, 0, 0, 0, {0, 1, 0}, std::nullopt}};
        spec.tables = {{Slot::of(0)}};
        ASSERT_NO_FATAL_FAILURE(decode_file(file_with(lecb::costume(spec), pal)));
        BITMAP *bmp = costume.tables[0].slots[0].bitmap;
        ASSERT_NE(bmp, nullptr);
        EXPECT_EQ(getpixel(bmp, 0, 0), bitmap_mask_color(bmp)) << depth;
        EXPECT_NE(getpixel(bmp, 0, 1), bitmap_mask_color(bmp)) << depth;
        EXPECT_EQ(getpixel(bmp, 0, 2), bitmap_mask_color(bmp)) << depth;
        release_all();
    }
}

// --- Data that reaches the end of the buffer. ---

// The header up to the 16 table offsets must lie inside the buffer.
TEST_F(CostumeTest, HeaderCutByTheEndOfTheBuffer) {
    const struct {
        bool dott;
        int colors;
        size_t keep;
        bool ok;
    } cases[] = {
        {false, 16, 9, false},  {false, 16, 59, false}, {false, 16, 60, true},
        {false, 32, 75, false}, {false, 32, 76, true},  {true, 16, 13, false},
        {true, 16, 65, false},  {true, 16, 66, true},   {true, 32, 81, false},
        {true, 32, 82, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.dott ? "DOTT" : "MI2") + "/" + std::to_string(c.colors) + " cut at " +
                     std::to_string(c.keep));
        CostumeSpec spec;  // no images: nothing is read after the header
        spec.dott = c.dott;
        spec.colors = c.colors;
        spec.color_map = spread_map();
        const Bytes whole = file_with(lecb::costume(spec));
        ASSERT_EQ(whole.size(), find_tag(whole, "COST") + costume_layout(spec).table_offsets_at + 32);
        Recorder rec;
        ASSERT_NO_FATAL_FAILURE(load_file(cut_costume(whole, c.keep)));
        const auto before = costume_snapshot();
        EXPECT_EQ(decode_costume(first_costume()), c.ok);
        if (c.ok) {
            EXPECT_TRUE(rec.fatals().empty());
            EXPECT_EQ(costume.color_count, c.colors);
        } else {
            EXPECT_EQ(rec.fatals(), std::vector<std::string>{kBadCostume});
            EXPECT_TRUE(costume_snapshot() == before) << "a refused costume changes nothing";
        }
        release_all();
    }
}

TEST_F(CostumeTest, ListEntryOutsideTheBufferIsNotValid) {
    CostumeSpec spec;
    spec.color_map = spread_map();
    spec.images = {Image{1, 2, 0, 0, 0, 0, {2, 3}, std::nullopt}};
    spec.tables = {{Slot::of(0)}};
    // A second list for table 0 at the block's end: image 0, then an entry
    // of which only one byte is in the file.
    Bytes cost = lecb::costume(spec);
    const size_t list = cost.size();
    const uint16_t image0 = stored_of(spec, costume_layout(spec).image_records[0]);
    cost.push_back(uint8_t(image0));
    cost.push_back(uint8_t(image0 >> 8));
    cost.push_back(0x00);
    set_table_offset(cost, spec, 0, stored_of(spec, list));
    set_table_offset(cost, spec, 1, stored_of(spec, list + 4));  // 2 entries
    ASSERT_NO_FATAL_FAILURE(decode_file(cut_costume(file_with(cost), cost.size())));
    const CostumeTable &table = costume.tables[0];
    ASSERT_EQ(table.image_count, 2);
    expect_image(table.slots[0], 1, 2, {{1, 2}, {1, 3}});
    EXPECT_FALSE(table.slots[1].valid);
    EXPECT_EQ(table.slots[1].bitmap, nullptr);
}

TEST_F(CostumeTest, RecordOutsideTheBufferIsNotValid) {
    CostumeSpec spec;
    spec.color_map = spread_map();
    spec.images = {Image{1, 2, 0, 0, 0, 0, {2, 3}, std::nullopt}};
    spec.tables = {{Slot::of(0), Slot::raw(0), Slot::raw(0)}};
    // 11 bytes after the block's end (a record needs 12), and a record
    // wholly beyond them; raw entries do not move anything.
    const size_t end = lecb::costume(spec).size();
    spec.tables = {{Slot::of(0), Slot::raw(stored_of(spec, end)), Slot::raw(stored_of(spec, end + 40))}};
    Bytes cost = lecb::costume(spec);
    ASSERT_EQ(cost.size(), end);
    cost.resize(end + 11, 0x11);  // width 0x1111 and so on, if it were read
    ASSERT_NO_FATAL_FAILURE(decode_file(cut_costume(file_with(cost), cost.size())));
    const CostumeTable &table = costume.tables[0];
    ASSERT_EQ(table.image_count, 3);
    expect_image(table.slots[0], 1, 2, {{1, 2}, {1, 3}});
    for (int i : {1, 2}) {
        EXPECT_FALSE(table.slots[i].valid) << i;
        EXPECT_EQ(table.slots[i].bitmap, nullptr) << i;
    }
}

// Run data cut by the end of the buffer ends the image there: what was
// painted stays, the rest keeps the cleared value, the slot is valid.
TEST_F(CostumeTest, RunDataCutByTheEndOfTheBuffer) {
    const struct {
        Bytes runs;
        size_t keep;  // bytes of run data in the file
        Expect expect;
    } cases[] = {
        {{0x12, 0x22}, 0, {{4, -1}}},
        {{0x12, 0x22}, 1, {{2, 1}, {2, -1}}},
        {{0x12, 0x30, 0x02}, 2, {{2, 1}, {2, -1}}},  // a length byte missing
        {{0x12, 0x22}, 2, {{2, 1}, {2, 2}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("keep " + std::to_string(c.keep));
        CostumeSpec spec;
        spec.color_map = spread_map();
        spec.images = {Image{1, 4, 0, 0, 0, 0, {}, c.runs}};
        spec.tables = {{Slot::of(0)}};
        const size_t keep = costume_layout(spec).image_records[0] + 12 + c.keep;
        ASSERT_NO_FATAL_FAILURE(decode_file(cut_costume(file_with(lecb::costume(spec)), keep)));
        expect_image(costume.tables[0].slots[0], 1, 4, c.expect);
        release_all();
    }
}

// --- Costumes refused as a whole. ---

struct Refusal {
    const char *name;
    CostumeSpec spec;
};

CostumeSpec big_images(std::vector<std::pair<uint16_t, uint16_t>> sizes, int copies_per_table, int tables) {
    CostumeSpec spec;
    for (auto [w, h] : sizes) spec.images.push_back(Image{w, h, 0, 0, 0, 0, {}, Bytes{0x01}});
    for (int t = 0; t < tables; ++t) {
        std::vector<Slot> list;
        for (int k = 0; k < copies_per_table; ++k) {
            for (size_t i = 0; i < sizes.size(); ++i) list.push_back(Slot::of(int(i)));
        }
        spec.tables.push_back(list);
    }
    return spec;
}

TEST_F(CostumeTest, RefusedCostumeChangesNothingAndMakesNoBitmap) {
    const Refusal cases[] = {
        {"OneHugeImage", big_images({{65535, 65535}}, 1, 1)},
        {"JustOver64MiPixels", big_images({{8192, 4096}, {8192, 4096}, {1, 1}}, 1, 1)},
        {"ManyModestImages", big_images({{256, 256}}, 256, 15)},
    };
    // A good costume decoded first, its bitmaps released as the viewer does
    // before the next load.
    CostumeSpec good;
    good.dott = true;
    good.colors = 32;
    good.color_map = spread_map();
    good.images = {Image{2, 2, 1, 1, 0, 0, {1, 2, 3, 4}, std::nullopt}};
    good.tables = {{Slot::of(0)}, {}, {Slot::none(), Slot::of(0)}};

    for (const Refusal &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(decode_file(lec_unmasked({Room{{clut(ramp_palette())}, {lecb::costume(good), lecb::costume(c.spec)}}})));
        release_costume_bitmaps();
        const auto before = costume_snapshot();
        Recorder rec;
        EXPECT_FALSE(decode_costume(lec_index.entries[1].costume_block));
        EXPECT_EQ(rec.fatals(), std::vector<std::string>{kBadCostume});
        EXPECT_TRUE(costume_snapshot() == before);
        release_all();
    }

    // A block that is not a costume at all.
    const Bytes file = lec_unmasked({Room{{clut(ramp_palette())}, {lecb::costume(good), block("COSX", lecb::costume(good))}}});
    ASSERT_NO_FATAL_FAILURE(decode_file(file));
    release_costume_bitmaps();
    const auto before = costume_snapshot();
    Recorder rec;
    EXPECT_FALSE(decode_costume(find_tag(file, "COSX")));
    EXPECT_EQ(rec.fatals(), std::vector<std::string>{kBadCostume});
    EXPECT_TRUE(costume_snapshot() == before);
}

// --- The decoder against the per-pixel definition. ---

// Reads the costume the way the format is defined, one putpixel and one
// makecol per pixel, so that the decoder's direct row writes and its
// colours computed once per costume can be held against it.
struct ReferenceSlot {
    bool valid = false;
    int width = 0, height = 0, x = 0, y = 0;
    BITMAP *bitmap = nullptr;
};

struct Reference {
    int image_count[16] = {};
    std::vector<ReferenceSlot> slots[16];
    ~Reference() {
        for (auto &table : slots) {
            for (auto &s : table) {
                if (s.bitmap) destroy_bitmap(s.bitmap);
            }
        }
    }
};

void reference_decode(const Bytes &b, size_t block, Reference &ref) {
    auto u8 = [&](size_t at) { return b.at(block + at); };
    auto u16 = [&](size_t at) { return unsigned(b.at(block + at) | (b.at(block + at + 1) << 8)); };
    const bool dott = u8(12) == 'C' && u8(13) == 'O';
    const size_t start = dott ? 14 : 8;
    const unsigned base = dott ? 8 : 2;
    const int colors = (u8(start + 1) & 1) ? 32 : 16;
    uint8_t map[32];
    for (int c = 0; c < colors; ++c) map[c] = u8(start + 2 + size_t(c));
    unsigned offsets[16];
    for (int t = 0; t < 16; ++t) offsets[t] = (u16(start + 4 + size_t(colors) + 2 * size_t(t)) + base) % 65536;
    for (int t = 0; t < 15; ++t) {
        ref.image_count[t] = offsets[t] < offsets[t + 1] ? int(offsets[t + 1] - offsets[t]) / 2 : 0;
        for (int i = 0; i < ref.image_count[t]; ++i) {
            ReferenceSlot s;
            unsigned at = (u16(offsets[t] + 2 * size_t(i)) + base) % 65536;
            if (at > base) {
                s.width = int(u16(at));
                s.height = int(u16(at + 2));
                s.x = int16_t(u16(at + 4));
                s.y = int16_t(u16(at + 6));
                s.valid = s.width != 0 && s.height != 0;
            }
            if (s.valid) {
                s.bitmap = create_bitmap(s.width, s.height);
                clear_bitmap(s.bitmap);
                size_t pos = at + 12;
                for (long n = 0; n < long(s.width) * s.height;) {
                    const uint8_t run = u8(pos++);
                    const int c = colors == 32 ? run >> 3 : run >> 4;
                    int length = colors == 32 ? run & 7 : run & 15;
                    if (length == 0) length = u8(pos++);
                    const PaletteEntry &e = room_palette.entries[map[c]];
                    for (int k = 0; k < length; ++k, ++n) {
                        putpixel(s.bitmap, int(n / s.height), int(n % s.height), makecol(e.r, e.g, e.b));
                    }
                }
            }
            ref.slots[t].push_back(s);
        }
    }
}

// Pixels of n colours in column order, in runs of lengths short, medium
// and longer than a length byte holds.
Image random_image(std::mt19937 &rng, uint16_t w, uint16_t h, int colors, int16_t x, int16_t y) {
    Image img{w, h, x, y, 0, 0, std::vector<uint8_t>(size_t(w) * h), std::nullopt};
    const int lengths[][2] = {{1, 3}, {4, 40}, {200, 700}};
    size_t n = 0;
    while (n < img.pixels.size()) {
        const auto &range = lengths[rng() % 3];
        const size_t length = size_t(range[0]) + rng() % size_t(range[1] - range[0] + 1);
        const uint8_t c = uint8_t(rng() % unsigned(colors));
        for (size_t k = 0; k < length && n < img.pixels.size(); ++k, ++n) img.pixels[(n % h) * w + n / h] = c;
    }
    return img;
}

CostumeSpec random_costume(bool dott, int colors, unsigned seed) {
    std::mt19937 rng(seed);
    CostumeSpec spec;
    spec.dott = dott;
    spec.colors = colors;
    for (auto &m : spec.color_map) m = uint8_t(rng());
    spec.color_map[1] = 250;  // the mask colour, below
    const std::pair<uint16_t, uint16_t> sizes[] = {{7, 13}, {1, 1}, {33, 5}, {3, 200}, {64, 41}, {300, 2}, {17, 17}};
    for (auto [w, h] : sizes) {
        spec.images.push_back(random_image(rng, w, h, colors, int16_t(int(rng() % 100) - 50), int16_t(-int(rng() % 90))));
    }
    // A 2 x 2 image whose last run overruns it by 4, and an empty one.
    spec.images.push_back(Image{2, 2, 0, 0, 0, 0, {}, colors == 32 ? Bytes{0x0B, 0x17, 0xFF} : Bytes{0x13, 0x25, 0xFF}});
    spec.images.push_back(Image{0, 5, 0, 0, 0, 0, {}, std::nullopt});
    spec.tables = {{Slot::of(0), Slot::of(1), Slot::none(), Slot::of(2)},
                   {},
                   {Slot::of(3)},
                   {Slot::of(4), Slot::of(5), Slot::of(7), Slot::of(8)},
                   {Slot::of(6), Slot::of(0)}};
    return spec;
}

class AgainstDefinition : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { use_depth(GetParam()); }
    void TearDown() override { release_all(); }
};

TEST_P(AgainstDefinition, EveryPixelOfEveryImage) {
    Palette pal = ramp_palette();
    pal[250] = Rgb{255, 0, 255};
    const struct {
        bool dott;
        int colors;
    } kinds[] = {{false, 16}, {false, 32}, {true, 16}, {true, 32}};
    unsigned seed = 1;
    for (const auto &k : kinds) {
        SCOPED_TRACE(std::string(k.dott ? "DOTT" : "MI2") + "/" + std::to_string(k.colors));
        const Bytes file = file_with(lecb::costume(random_costume(k.dott, k.colors, seed++)), pal);
        ASSERT_NO_FATAL_FAILURE(decode_file(file));
        ASSERT_EQ(bitmap_color_depth(costume.tables[0].slots[0].bitmap), GetParam());
        Reference ref;
        reference_decode(file, find_tag(file, "COST"), ref);
        long compared = 0;
        for (int t = 0; t < kTableCount; ++t) {
            ASSERT_EQ(costume.tables[t].image_count, ref.image_count[t]) << "table " << t;
            for (int i = 0; i < ref.image_count[t]; ++i) {
                const ImageSlot &got = costume.tables[t].slots[i];
                const ReferenceSlot &want = ref.slots[t][size_t(i)];
                ASSERT_EQ(got.valid, want.valid) << t << "/" << i;
                if (!want.valid) continue;
                ASSERT_EQ(got.width, want.width);
                ASSERT_EQ(got.height, want.height);
                EXPECT_EQ(got.x, want.x);
                EXPECT_EQ(got.y, want.y);
                for (int x = 0; x < want.width; ++x) {
                    for (int y = 0; y < want.height; ++y, ++compared) {
                        ASSERT_EQ(getpixel(got.bitmap, x, y), getpixel(want.bitmap, x, y))
                            << "table " << t << " image " << i << " pixel (" << x << "," << y << ")";
                    }
                }
            }
        }
        EXPECT_EQ(compared, 4465) << "every pixel of the nine valid slots";
        release_all();
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, AgainstDefinition, ::testing::Values(15, 16, 24, 32),
                         [](const auto &info) { return std::to_string(info.param) + "bpp"; });

// A costume cut at every length is refused (header incomplete) or decodes
// silently, and never reads past the buffer.
TEST_F(CostumeTest, CostumeCutAtEveryLength) {
    const CostumeSpec spec = random_costume(true, 32, 99);
    const Bytes whole = file_with(lecb::costume(spec));
    const size_t block_size = whole.size() - find_tag(whole, "COST");
    const size_t header = costume_layout(spec).table_offsets_at + 32;
    for (size_t keep = 8; keep <= block_size; ++keep) {
        Recorder rec;
        ASSERT_NO_FATAL_FAILURE(load_file(cut_costume(whole, keep)));
        const bool ok = decode_costume(first_costume());
        EXPECT_EQ(ok, keep >= header) << keep;
        EXPECT_EQ(rec.fatals(), ok ? std::vector<std::string>{} : std::vector<std::string>{kBadCostume}) << keep;
        release_all();
    }
}

}  // namespace
