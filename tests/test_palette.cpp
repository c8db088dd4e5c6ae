// The room palette: CLUT and APAL blocks read into room_palette.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "costume/palette.h"
#include "test_support.h"

using namespace lecb;

namespace {

const char *const kBadPalette = "The file has an invalid palette block\n";

// Distinct components in every entry and every channel, 252 among them.
Palette test_palette() {
    Palette p;
    for (int i = 0; i < 256; ++i) p[size_t(i)] = Rgb{uint8_t(i), uint8_t(i * 3 + 1), uint8_t(255 - i)};
    p[17] = Rgb{252, 252, 252};
    return p;
}

// A palette the loads below must not leave behind.
void fill_room_palette(uint8_t seed) {
    for (int i = 0; i < 256; ++i) {
        room_palette.entries[i] = PaletteEntry{uint8_t(seed + i), uint8_t(seed ^ i), uint8_t(seed * i)};
    }
}

void expect_palette(const Palette &want) {
    for (int i = 0; i < 256; ++i) {
        const PaletteEntry &e = room_palette.entries[i];
        const Rgb &w = want[size_t(i)];
        ASSERT_TRUE(e.r == w.r && e.g == w.g && e.b == w.b)
            << "entry " << i << ": " << int(e.r) << "," << int(e.g) << "," << int(e.b);
    }
}

RoomPalette snapshot() { return room_palette; }
bool same(const RoomPalette &a, const RoomPalette &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Loads an unmasked file (masking it first) from a buffer of exactly its
// size.
void load_unmasked(const Bytes &unmasked) {
    Bytes masked = mask(unmasked);
    auto *data = static_cast<uint8_t *>(std::malloc(masked.size()));
    std::memcpy(data, masked.data(), masked.size());
    ASSERT_TRUE(load_lec_buffer(data, masked.size()));
}

class PaletteTest : public ::testing::Test {
protected:
    void SetUp() override { use_depth(32); }
    void TearDown() override { release_all(); }
};

TEST_F(PaletteTest, NoneKeepsThePaletteInForce) {
    Recorder rec;
    load_unmasked(lec_unmasked({Room{{}, {block("COST", Bytes{})}}}));
    ASSERT_EQ(lec_index.entries[0].palette_block, kNoBlock);
    for (uint8_t seed : {0, 91}) {  // the all-black palette of start-up, and any other
        if (seed == 0) {
            room_palette = RoomPalette{};
        } else {
            fill_room_palette(seed);
        }
        const RoomPalette before = snapshot();
        EXPECT_TRUE(load_room_palette(lec_index.entries[0].palette_block));
        EXPECT_TRUE(same(before, room_palette));
    }
    EXPECT_TRUE(rec.fatals().empty());
}

TEST_F(PaletteTest, ClutAndApalReadAlikeWithBytesAsTheyStand) {
    Recorder rec;
    const Palette pal = test_palette();
    load_unmasked(lec_unmasked({Room{{clut(pal)}, {block("COST", Bytes{})}},
                                Room{{pals(pal)}, {block("COST", Bytes{})}}}));
    ASSERT_EQ(lec_index.count, 2);
    for (int i = 0; i < 2; ++i) {
        fill_room_palette(uint8_t(40 + i));
        ASSERT_TRUE(load_room_palette(lec_index.entries[size_t(i)].palette_block));
        expect_palette(pal);  // entry 17 is 252, 252, 252: nothing scaled
    }
    EXPECT_TRUE(rec.fatals().empty());
}

TEST_F(PaletteTest, SizeFieldIgnored) {
    Recorder rec;
    const Palette pal = test_palette();
    for (uint32_t size : {8u, 100u, 777u, 0x7FFFFFFFu}) {
        Bytes c = clut(pal);
        put_be32(c, 4, size);
        // The CLUT is the first block of the ROOM: the palette search takes
        // it before stepping by its size.
        const Bytes file = lec_unmasked({Room{{c}, {}}});
        load_unmasked(file);
        fill_room_palette(3);
        EXPECT_TRUE(load_room_palette(find_tag(file, "CLUT"))) << size;
        expect_palette(pal);
    }
    EXPECT_TRUE(rec.fatals().empty());
}

TEST_F(PaletteTest, OtherTagsRefusedWithThePaletteUnchanged) {
    const Palette pal = test_palette();
    for (const char *tag : {"PALS", "clut", "apal", "CLUt"}) {
        Recorder one;
        // A CLUT block renamed, lying where the loader would not take it.
        Bytes c = clut(pal);
        put_tag(c, 0, tag);
        const Bytes file = lec_unmasked({Room{{}, {c}}});
        load_unmasked(file);
        fill_room_palette(77);
        const RoomPalette before = snapshot();
        EXPECT_FALSE(load_room_palette(find_tag(file, tag))) << tag;
        EXPECT_EQ(one.fatals(), std::vector<std::string>{kBadPalette}) << tag;
        EXPECT_TRUE(same(before, room_palette)) << tag;
    }
}

// A palette block needs its 776 bytes inside the buffer; one cut by the end
// of the file is refused as a whole rather than read in part.
TEST_F(PaletteTest, BlockCutByTheEndOfTheBufferRefused) {
    const Palette pal = test_palette();
    // The CLUT is the file's last block: its room holds nothing after it.
    const Bytes whole = lec_unmasked({Room{{clut(pal)}, {}}});
    const size_t at = find_tag(whole, "CLUT");
    ASSERT_EQ(whole.size(), at + kPaletteBlockSize);
    for (size_t keep : {size_t{8}, size_t{9}, size_t{400}, kPaletteBlockSize - 1, kPaletteBlockSize}) {
        Recorder one;
        Bytes file(whole.begin(), whole.begin() + std::ptrdiff_t(at + keep));
        // Sizes that stay inside the file, so the loader walks it.
        put_be32(file, at + 4, uint32_t(keep));
        put_be32(file, find_tag(file, "ROOM") + 4, uint32_t(file.size() - find_tag(file, "ROOM")));
        put_be32(file, find_tag(file, "LFLF") + 4, uint32_t(file.size() - find_tag(file, "LFLF")));
        load_unmasked(file);
        fill_room_palette(5);
        const RoomPalette before = snapshot();
        const bool ok = load_room_palette(at);
        if (keep == kPaletteBlockSize) {
            EXPECT_TRUE(ok);
            EXPECT_TRUE(one.fatals().empty());
            expect_palette(pal);
        } else {
            EXPECT_FALSE(ok) << keep;
            EXPECT_EQ(one.fatals(), std::vector<std::string>{kBadPalette}) << keep;
            EXPECT_TRUE(same(before, room_palette)) << keep;
        }
    }
}

}  // namespace
