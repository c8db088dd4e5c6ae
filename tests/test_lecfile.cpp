// The LEC file loader and the costume index, on files built in memory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "resfile/lecfile.h"
#include "test_support.h"

using namespace lecb;

namespace {

const char *const kNotLec = "This is not a valid LEC file\n";
const char *const kBadLoff = "The file has an invalid LOFF block\n";
const char *const kBadLflf = "The file has an invalid LFLF block\n";
const char *const kBadRoom = "The file has an invalid ROOM block\n";
const char *const kCannotOpen = "Cannot open LEC file\n";

const std::set<std::string> kLoaderMessages{kNotLec, kBadLoff, kBadLflf, kBadRoom, kCannotOpen,
                                            "Not enough memory\n"};

// The loader reads nothing of a costume but its header, so a costume here
// is a small COST block with a body that spells no tag.
Bytes cost() { return block("COST", Bytes{1, 2, 3, 4}); }
Bytes other(const char *tag) { return block(tag, Bytes{9, 8, 7}); }

// A PALS block whose S does not lead to its APAL (S = 0 names the OFFS
// block at offset 16), though the APAL is still inside it.
Bytes pals_without_apal() {
    Bytes p = pals(ramp_palette());
    put_be32(p, 20, 0);
    return p;
}

Bytes insert_at(Bytes b, size_t pos, const Bytes &what) {
    b.insert(b.begin() + std::ptrdiff_t(pos), what.begin(), what.end());
    return b;
}

struct Outcome {
    bool ok = false;
    std::vector<std::string> fatals;
};

// Loads the masked file from a buffer of exactly its size, so that a read
// past its end is a heap overread that the sanitizers and valgrind see.
Outcome load_exact(const Bytes &masked) {
    Recorder rec;
    auto *data = static_cast<uint8_t *>(std::malloc(masked.size()));
    if (!masked.empty()) std::memcpy(data, masked.data(), masked.size());
    Outcome out;
    out.ok = load_lec_buffer(data, masked.size());
    out.fatals = rec.fatals();
    return out;
}

// Where an expected entry's blocks are: the nth occurrence of a tag in the
// unmasked file (a null palette tag is none).
struct Expected {
    int cost_nth;
    const char *palette_tag;
    int palette_nth;
};

struct LoadCase {
    const char *name;
    std::function<Bytes()> unmasked;  // the file before masking
    const char *message;              // nullptr: loads
    int count = 0;
    std::vector<Expected> entries = {};  // checked when not empty
    bool masked = true;                  // false: handed over as it stands
};

Room clut_room(std::vector<Bytes> lflf) { return Room{{clut(ramp_palette())}, std::move(lflf)}; }

std::vector<LoadCase> load_cases() {
    const Palette pal = ramp_palette();
    return {
        // Files that load.
        {"NoRooms", [] { return lec_unmasked({}); }, nullptr, 0},
        {"ClutRoom", [] { return lec_unmasked({clut_room({cost(), cost()})}); }, nullptr, 2,
         {{0, "CLUT", 0}, {1, "CLUT", 0}}},
        {"PalsRoom", [=] { return lec_unmasked({Room{{pals(pal)}, {cost()}}}); }, nullptr, 1, {{0, "APAL", 0}}},
        {"RoomWithoutPaletteThenPaletteFoundAgain",
         [=] {
             return lec_unmasked(
                 {clut_room({cost()}), Room{{other("RMHD")}, {cost()}}, Room{{pals(pal)}, {cost()}}});
         },
         nullptr, 3, {{0, "CLUT", 0}, {1, nullptr, 0}, {2, "APAL", 0}}},
        {"ClutBeforePals", [=] { return lec_unmasked({Room{{clut(pal), pals(pal)}, {cost()}}}); }, nullptr, 1,
         {{0, "CLUT", 0}}},
        {"PalsBeforeClut", [=] { return lec_unmasked({Room{{pals(pal), clut(pal)}, {cost()}}}); }, nullptr, 1,
         {{0, "APAL", 0}}},
        {"PalsWithoutApalPassedOverForClut",
         [=] { return lec_unmasked({Room{{pals_without_apal(), clut(pal)}, {cost()}}}); }, nullptr, 1,
         {{0, "CLUT", 0}}},
        {"PalsWithoutApalPassedOverForNextPals",
         [=] { return lec_unmasked({Room{{pals_without_apal(), pals(pal)}, {cost()}}}); }, nullptr, 1,
         {{0, "APAL", 1}}},
        {"PalsWithoutApalAloneGivesNone",
         [] { return lec_unmasked({Room{{other("RMHD"), pals_without_apal()}, {cost()}}}); }, nullptr, 1,
         {{0, nullptr, 0}}},
        {"PalsWhoseApalWouldLiePastTheEnd",
         [=] {
             Bytes p = pals(pal);
             put_be32(p, 20, 0xFFFFFFF0u);
             return lec_unmasked({Room{{p}, {cost()}}});
         },
         nullptr, 1, {{0, nullptr, 0}}},
        // The last block of the file: a PALS too short to hold S.
        {"PalsTooShortForSAtTheEnd", [] { return lec_unmasked({Room{{other("RMHD"), block("PALS", Bytes{})}, {}}}); },
         nullptr, 0},
        {"PaletteBlocksOutsideRoomIgnored",
         [=] { return lec_unmasked({Room{{other("RMHD")}, {clut(pal), pals(pal), apal(pal), cost()}}}); }, nullptr, 1,
         {{0, nullptr, 0}}},
        {"CostInsideRoomNotIndexed", [=] { return lec_unmasked({Room{{cost(), clut(pal)}, {cost()}}}); }, nullptr, 1,
         {{1, "CLUT", 0}}},
        {"CostumesNumberedAcrossRooms",
         [=] {
             return lec_unmasked({clut_room({cost(), other("SCRP"), cost()}),
                                  Room{{pals(pal)}, {cost(), other("SOUN"), cost(), cost()}}});
         },
         nullptr, 5, {{0, "CLUT", 0}, {1, "CLUT", 0}, {2, "APAL", 0}, {3, "APAL", 0}, {4, "APAL", 0}}},
        {"LecfAndLoffSizesIgnored",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()})});
             put_be32(f, 4, 3);
             put_be32(f, 12, 0xFFFFFFFFu);
             return f;
         },
         nullptr, 1, {{0, "CLUT", 0}}},
        // A COST block whose size runs past its LFLF (inside the file) ends
        // that room's scan; the next room is still at L + LFLF size.
        {"SizeOvershootingItsBlockWalkedAsGiven",
         [=] {
             Bytes f = lec_unmasked({clut_room({cost()}), Room{{pals(pal)}, {cost()}}});
             put_be32(f, find_tag(f, "COST") + 4, 40);
             return f;
         },
         nullptr, 2, {{0, "CLUT", 0}, {1, "APAL", 0}}},
        {"MoreThan1024CostumesAllKept",
         [] {
             return lec_unmasked({clut_room(std::vector<Bytes>(700, cost())),
                                  Room{{}, std::vector<Bytes>(400, cost())}});
         },
         nullptr, 1100},

        // The outer blocks, in the order of the checks.
        {"EmptyFile", [] { return Bytes{}; }, kNotLec},
        {"UnmaskedFile", [] { return lec_unmasked({clut_room({cost()})}); }, kNotLec, 0, {}, false},
        {"ThreeBytes", [] { return Bytes{'L', 'E', 'C'}; }, kNotLec},
        {"WrongLecfTag",
         [] {
             Bytes f = lec_unmasked({});
             put_tag(f, 0, "LECX");
             return f;
         },
         kNotLec},
        {"LecfHeaderOnly", [] { return block("LECF", Bytes{}); }, kBadLoff},
        {"NoRoomCount", [] { return block("LECF", {block("LOFF", Bytes{})}); }, kBadLoff},
        {"WrongLoffTag",
         [] {
             Bytes f = lec_unmasked({});
             put_tag(f, 8, "LOFX");
             return f;
         },
         kBadLoff},
        {"RoomEntriesPastTheEnd", [] { return block("LECF", {block("LOFF", Bytes{2, 1, 0, 0, 0, 0, 2, 0})}); },
         kBadLoff},

        // Rooms.
        {"RoomWithoutLflf", [] { return block("LECF", {block("LOFF", Bytes{1, 1, 0, 0, 0, 0})}); }, kBadLflf},
        {"BlockBetweenLflfBlocks",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()}), clut_room({cost()})});
             return insert_at(f, find_tag(f, "LFLF", 1), other("SCRP"));
         },
         kBadLflf},
        {"LflfSizeBelow8",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()})});
             put_be32(f, find_tag(f, "LFLF") + 4, 7);
             return f;
         },
         kBadLflf},
        {"LflfHeaderCut",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()})});
             f.resize(find_tag(f, "LFLF") + 6);
             return f;
         },
         kBadLflf},
        {"LflfFirstBlockNotRoom",
         [] {
             Bytes f = lec_unmasked({clut_room({block("ROOM", Bytes{}), cost()})});
             put_tag(f, find_tag(f, "ROOM"), "RMHD");
             return f;
         },
         kBadRoom},
        {"RoomSizeBelow8",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()})});
             put_be32(f, find_tag(f, "ROOM") + 4, 0);
             return f;
         },
         kBadRoom},
        {"BlockInsideRoomWithSize0",
         [=] {
             Bytes f = lec_unmasked({Room{{other("RMHD"), clut(pal)}, {cost()}}});
             put_be32(f, find_tag(f, "RMHD") + 4, 0);
             return f;
         },
         kBadRoom},
        {"RoomRunningPastTheEnd",
         [] {
             Bytes f = lec_unmasked({Room{{other("RMHD")}, {}}});
             put_be32(f, find_tag(f, "ROOM") + 4, 200);
             put_be32(f, find_tag(f, "LFLF") + 4, 208);
             return f;
         },
         kBadRoom},
        {"BlockAfterRoomWithSize0",
         [] {
             Bytes f = lec_unmasked({clut_room({other("SCRP"), cost()})});
             put_be32(f, find_tag(f, "SCRP") + 4, 0);
             return f;
         },
         kBadLflf},
        {"LflfRunningPastTheEnd",
         [] {
             Bytes f = lec_unmasked({clut_room({cost()})});
             put_be32(f, find_tag(f, "LFLF") + 4, uint32_t(f.size()));
             return f;
         },
         kBadLflf},
    };
}

void PrintTo(const LoadCase &c, std::ostream *os) { *os << c.name; }

class LoadTable : public ::testing::TestWithParam<LoadCase> {
protected:
    void SetUp() override { use_depth(32); }
    void TearDown() override { release_all(); }
};

TEST_P(LoadTable, LoadsOrReportsItsMessage) {
    const LoadCase &c = GetParam();
    const Bytes unmasked = c.unmasked();
    const Outcome out = load_exact(c.masked ? mask(unmasked) : unmasked);

    if (c.message) {
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.fatals, std::vector<std::string>{c.message});
        EXPECT_EQ(lec_buffer, nullptr) << "the buffer is released after a failure";
        return;
    }
    ASSERT_TRUE(out.ok) << (out.fatals.empty() ? "" : out.fatals[0]);
    EXPECT_TRUE(out.fatals.empty());
    ASSERT_EQ(lec_buffer_size, unmasked.size());
    EXPECT_EQ(0, std::memcmp(lec_buffer, unmasked.data(), unmasked.size())) << "unmasked in place";
    ASSERT_EQ(lec_index.count, c.count);
    ASSERT_GE(lec_index.entries.size(), size_t(c.count));

    // Every entry names a COST block, in file order; the rest are none.
    for (int i = 0; i < c.count; ++i) {
        const CostumeEntry &e = lec_index.entries[size_t(i)];
        EXPECT_TRUE(lec_view().tag_is(e.costume_block, "COST")) << "entry " << i;
        if (i > 0) {
            EXPECT_GT(e.costume_block, lec_index.entries[size_t(i) - 1].costume_block);
        }
    }
    for (size_t i = size_t(c.count); i < lec_index.entries.size(); ++i) {
        EXPECT_EQ(lec_index.entries[i].costume_block, kNoBlock);
        EXPECT_EQ(lec_index.entries[i].palette_block, kNoBlock);
    }
    for (size_t i = 0; i < c.entries.size(); ++i) {
        const Expected &x = c.entries[i];
        EXPECT_EQ(lec_index.entries[i].costume_block, find_tag(unmasked, "COST", x.cost_nth)) << "entry " << i;
        const size_t palette = x.palette_tag ? find_tag(unmasked, x.palette_tag, x.palette_nth) : kNoBlock;
        EXPECT_EQ(lec_index.entries[i].palette_block, palette) << "entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, LoadTable, ::testing::ValuesIn(load_cases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- From disk. ---

class LoadFromDisk : public ::testing::Test {
protected:
    void SetUp() override {
        use_depth(32);
        char tmpl[] = "/tmp/vestrel-lecfile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        release_all();
        for (const std::string &p : made) std::remove(p.c_str());
        rmdir((dir + "/subdir").c_str());
        rmdir(dir.c_str());
    }
    std::string write(const char *name, const Bytes &b) {
        const std::string path = dir + "/" + name;
        FILE *f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f) {
            // fwrite is given no null pointer, even for no bytes.
            if (!b.empty()) {
                EXPECT_EQ(std::fwrite(b.data(), 1, b.size(), f), b.size());
            }
            EXPECT_EQ(std::fclose(f), 0);
        }
        made.push_back(path);
        return path;
    }
    std::string dir;
    std::vector<std::string> made;
};

TEST_F(LoadFromDisk, ReadsUnmasksAndIndexesAFile) {
    const Bytes unmasked = lec_unmasked({clut_room({cost(), cost()})});
    const std::string path = write("good.lec", mask(unmasked));
    Recorder rec;
    ASSERT_TRUE(load_lec_file(path.c_str()));
    EXPECT_TRUE(rec.fatals().empty());
    ASSERT_EQ(lec_buffer_size, unmasked.size());
    EXPECT_EQ(0, std::memcmp(lec_buffer, unmasked.data(), unmasked.size()));
    EXPECT_EQ(lec_index.count, 2);
}

TEST_F(LoadFromDisk, FailuresReportTheirMessage) {
    ASSERT_EQ(mkdir((dir + "/subdir").c_str(), 0700), 0);
    const struct {
        std::string path;
        const char *message;
    } cases[] = {
        {dir + "/missing.lec", kCannotOpen},
        {dir + "/subdir", kCannotOpen},  // opens, but reads short
        {write("empty.lec", Bytes{}), kNotLec},
        {write("bad.lec", mask(Bytes{'L', 'E', 'C', 'F', 0, 0, 0, 8})), kBadLoff},
    };
    for (const auto &c : cases) {
        Recorder rec;
        EXPECT_FALSE(load_lec_file(c.path.c_str())) << c.path;
        EXPECT_EQ(rec.fatals(), std::vector<std::string>{c.message}) << c.path;
        EXPECT_EQ(lec_buffer, nullptr) << c.path;
    }
}

// --- Damaged files never lead the loader outside the buffer. ---

// Three rooms (CLUT, PALS/APAL, none) with costumes and other blocks.
Bytes rich_file() {
    const Palette pal = ramp_palette();
    return lec_unmasked({
        Room{{other("RMHD"), clut(pal)}, {cost(), other("SCRP"), cost()}},
        Room{{pals(pal)}, {cost()}},
        Room{{other("RMHD")}, {other("SOUN"), cost(), cost()}},
    });
}

// A load ends either in true with nothing reported, or in false with
// exactly one loader message and the buffer released; the entries of a
// good load lie inside the buffer.
void expect_sound_outcome(const Outcome &out, const std::string &what) {
    if (out.ok) {
        EXPECT_TRUE(out.fatals.empty()) << what;
        for (int i = 0; i < lec_index.count; ++i) {
            EXPECT_TRUE(lec_view().tag_is(lec_index.entries[size_t(i)].costume_block, "COST")) << what;
        }
    } else {
        ASSERT_EQ(out.fatals.size(), 1u) << what;
        EXPECT_TRUE(kLoaderMessages.count(out.fatals[0])) << what << ": " << out.fatals[0];
        EXPECT_EQ(lec_buffer, nullptr) << what;
    }
}

TEST(LoadDamaged, FileCutAtEveryLength) {
    use_depth(32);
    const Bytes masked = mask(rich_file());
    for (size_t len = 0; len < masked.size(); ++len) {
        const Outcome out = load_exact(Bytes(masked.begin(), masked.begin() + std::ptrdiff_t(len)));
        expect_sound_outcome(out, "cut at " + std::to_string(len));
        // The outer checks fail first, in their order.
        if (len < 4) {
            EXPECT_EQ(out.fatals, std::vector<std::string>{kNotLec}) << len;
        } else if (len < 17) {
            EXPECT_EQ(out.fatals, std::vector<std::string>{kBadLoff}) << len;
        }
        release_lec_file();
    }
    const Outcome whole = load_exact(masked);
    EXPECT_TRUE(whole.ok);
    EXPECT_EQ(lec_index.count, 5);
    release_lec_file();
}

TEST(LoadDamaged, FlippedHeaderBytes) {
    use_depth(32);
    const Bytes unmasked = rich_file();
    // The 8 header bytes of every block, and the room count.
    std::vector<size_t> positions{16};
    for (const char *tag : {"LECF", "LOFF", "LFLF", "ROOM", "RMHD", "CLUT", "PALS", "WRAP", "OFFS", "APAL", "COST",
                            "SCRP", "SOUN"}) {
        for (int n = 0;; ++n) {
            const size_t at = find_tag(unmasked, tag, n);
            if (at == npos) break;
            for (size_t k = 0; k < 8; ++k) positions.push_back(at + k);
        }
    }
    ASSERT_GT(positions.size(), 150u);
    using Change = uint8_t (*)(uint8_t);
    const Change changes[] = {[](uint8_t b) { return uint8_t(b ^ 0xFF); }, [](uint8_t b) { return uint8_t(b ^ 0x80); },
                              [](uint8_t b) { return uint8_t(b ^ 0x01); }, [](uint8_t) { return uint8_t(0); }};
    int loaded = 0, refused = 0;
    for (size_t pos : positions) {
        for (Change change : changes) {
            Bytes f = unmasked;
            f[pos] = change(f[pos]);
            const Outcome out = load_exact(mask(f));
            expect_sound_outcome(out, "byte " + std::to_string(pos));
            (out.ok ? loaded : refused) += 1;
            release_lec_file();
        }
    }
    // Both ends were reached: the walk met the damage, and some of it
    // (a size that still steps forward, a tag nobody asks for) is harmless.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
