// Export of images as PCX files, in a fresh working directory per test.
//
// The files are read back with ImageMagick's convert, a reader that owes
// nothing to the library that wrote them. Failures are real ones: a tiny
// tmpfs that fills up, a read-only mount, a working directory removed under
// the process (tests run as root, whom permission bits do not stop).
#include <allegro.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "costume/costume.h"
#include "resfile/lecfile.h"
#include "test_support.h"
#include "viewer/viewer.h"

namespace {

namespace fs = std::filesystem;
using lecb::Slot;

constexpr int kShown = 3;  // costume shown: the second of room 2

lecb::Image pattern_image(uint16_t w, uint16_t h) {
    return lecb::image_of(w, h, 0, 0, [](int i, int j) { return uint8_t((3 * i + 5 * j + 1) % 16); });
}

// 96 x 96 in vertical stripes: a few hundred bytes of column runs in the
// costume, but some 28 KB as PCX, whose runs go along the rows; more than
// the 16 KB disk of the full-disk test.
lecb::Image big_image() {
    return lecb::image_of(96, 96, 0, 0, [](int i, int) { return uint8_t((7 * i + 2) % 16); });
}

// Tables: 0 holds six slots of which 0, 2 and 5 are valid; 1 one image; 2
// none; 3 two slots of which 1 is valid. With big_first, slot 0 of table 0
// is the big image.
lecb::CostumeSpec export_spec(bool big_first) {
    lecb::CostumeSpec c;
    for (int i = 0; i < 16; ++i) c.color_map[size_t(i)] = map_entry(i);
    c.images = {pattern_image(5, 4), pattern_image(3, 3), pattern_image(2, 6)};
    if (big_first) c.images.push_back(big_image());
    const int first = big_first ? 3 : 0;
    c.tables = {
        {Slot::of(first), Slot::none(), Slot::of(1), Slot::none(), Slot::none(), Slot::of(2)},
        {Slot::of(1)},
        {},
        {Slot::none(), Slot::of(0)},
    };
    return c;
}

// Two rooms of two costumes each; costume 3 is the second of room 2, so
// neither its room number nor its place in the room is 3.
lecb::Bytes export_file(const lecb::CostumeSpec &spec) {
    const lecb::Bytes cost = lecb::costume(spec);
    const lecb::Room room{{lecb::clut(test_palette())}, {cost, cost}};
    return lecb::lec_file({room, room});
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Output of a command, or nullopt when it did not exit with 0.
std::optional<std::string> run(const std::string &command) {
    FILE *p = popen(command.c_str(), "r");
    if (!p) return std::nullopt;
    std::string out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    if (pclose(p) != 0) return std::nullopt;
    return out;
}

// Every name in dir, dot files included, sorted.
std::vector<std::string> listing(const fs::path &dir) {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override { SetUpAt(32); }

    void SetUpAt(int depth) {
        use_depth(depth);
        viewer_reset();
        char templ[] = "/tmp/vestrel-export-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr) << std::strerror(errno);
        dir = templ;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        old_cwd = cwd;
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ASSERT_NO_FATAL_FAILURE(show(false));
    }

    void TearDown() override {
        if (!old_cwd.empty()) {
            EXPECT_EQ(chdir(old_cwd.c_str()), 0);
        }
        if (!mount_point.empty() && umount(mount_point.c_str()) != 0) umount2(mount_point.c_str(), MNT_DETACH);
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
        release_all();
        viewer_reset();
    }

    // Loads the file and shows costume kShown at table 0, slot 0.
    void show(bool big_first) {
        release_all();
        viewer_reset();
        spec = export_spec(big_first);
        ASSERT_TRUE(load_bytes(export_file(spec)));
        selection.costume_index = kShown;
        selection.previous_costume = kShown;
        ASSERT_TRUE(viewer_load_costume());
        ASSERT_EQ(selection.table_index, 0);
        ASSERT_EQ(selection.image_index, 0);
        viewer_flags.need_redraw = false;
    }

    // A tmpfs of the given options mounted on a fresh directory, which
    // becomes the working directory. False (the test skipped) when
    // mounting is not possible here.
    bool mount_tmpfs(const char *options) {
        const fs::path point = dir / "mnt";
        fs::create_directory(point);
        if (mount("tmpfs", point.c_str(), "tmpfs", 0, options) != 0) return false;
        mount_point = point;
        EXPECT_EQ(chdir(point.c_str()), 0);
        return true;
    }

    // The names of files renamed into the working directory by fn, in the
    // order in which they arrived.
    template <class Fn>
    std::vector<std::string> arrivals(Fn fn) {
        std::vector<std::string> names;
        const int fd = inotify_init1(IN_NONBLOCK);
        EXPECT_GE(fd, 0);
        if (fd < 0) return names;
        EXPECT_GE(inotify_add_watch(fd, ".", IN_MOVED_TO | IN_CREATE), 0);
        fn();
        alignas(inotify_event) char buf[65536];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) {
            for (char *p = buf; p < buf + n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(p);
                if ((e->mask & IN_MOVED_TO) && e->len > 0) names.emplace_back(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        }
        close(fd);
        return names;
    }

    const lecb::Image &image_of(int table, int slot) const {
        return spec.images[size_t(spec.tables[size_t(table)][size_t(slot)].image)];
    }

    Recorder rec;
    fs::path dir;
    std::string old_cwd;
    fs::path mount_point;
    lecb::CostumeSpec spec;
};

// The three keys through the viewer: which files, in which order, with
// which one alert; the selection and the flags as they were.
struct WalkCase {
    const char *name;
    int key;
    int table, image;
    std::vector<std::string> files;  // in the order written
    const char *alert;
};

void PrintTo(const WalkCase &c, std::ostream *os) { *os << c.name; }

class WalkTest : public ExportTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(WalkTest, WritesTheNamedFilesInWalkOrder) {
    const WalkCase &c = GetParam();
    selection.table_index = c.table;
    selection.image_index = c.image;
    KeyAction action = KeyAction::Nothing;
    const std::vector<std::string> order = arrivals([&] { action = viewer_handle_key(c.key); });
    EXPECT_EQ(action, KeyAction::Exported);
    EXPECT_EQ(order, c.files);
    EXPECT_EQ(listing("."), sorted(c.files));
    EXPECT_EQ(rec.alerts(), std::vector<std::string>{c.alert});
    EXPECT_EQ(selection.costume_index, kShown);
    EXPECT_EQ(selection.previous_costume, kShown);
    EXPECT_EQ(selection.table_index, c.table);
    EXPECT_EQ(selection.image_index, c.image);
    EXPECT_FALSE(viewer_flags.need_load);
    EXPECT_FALSE(viewer_flags.need_redraw);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, WalkTest,
    ::testing::Values(WalkCase{"F10", KEY_F10, 0, 2, {"c3_t0_i2.pcx"}, "|Image saved|"},
                      WalkCase{"F11", KEY_F11, 0, 2, {"c3_t0_i0.pcx", "c3_t0_i2.pcx", "c3_t0_i5.pcx"}, "|Table saved|"},
                      WalkCase{"F11OnTable3", KEY_F11, 3, 1, {"c3_t3_i1.pcx"}, "|Table saved|"},
                      WalkCase{"F12",
                               KEY_F12,
                               1,
                               0,
                               {"c3_t0_i0.pcx", "c3_t0_i2.pcx", "c3_t0_i5.pcx", "c3_t1_i0.pcx", "c3_t3_i1.pcx"},
                               "|Costume saved|"}),
    [](const ::testing::TestParamInfo<WalkCase> &info) { return std::string(info.param.name); });

// At 32 bits a file holds the palette's colours exactly; at 16 bits each
// component is the 5- or 6-bit value widened to 8 bits by repeating its
// top bits, as the library reads 16-bit pixels back. Index 0 is written,
// the mask colour as magenta.
uint8_t widen(uint8_t v, int bits) {
    const unsigned top = v >> (8 - bits);
    return uint8_t((top << (8 - bits)) | (top >> (2 * bits - 8)));
}

class PcxContentTest : public ExportTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { SetUpAt(GetParam()); }
};

TEST_P(PcxContentTest, FilesHoldTheSlotsPixels) {
    if (!run("convert -version >/dev/null 2>&1")) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const lecb::Palette palette = test_palette();
    save_table();
    ASSERT_EQ(rec.alerts(), std::vector<std::string>{"|Table saved|"});
    for (int slot : {0, 2, 5}) {
        const std::string name = "c3_t0_i" + std::to_string(slot) + ".pcx";
        SCOPED_TRACE(name);
        const lecb::Image &img = image_of(0, slot);

        // Version 5, run-length encoded, 8 bits per plane, three planes.
        const std::string head = read_file(name);
        ASSERT_GE(head.size(), 128u);
        EXPECT_EQ(uint8_t(head[0]), 0x0A);
        EXPECT_EQ(uint8_t(head[1]), 5);
        EXPECT_EQ(uint8_t(head[2]), 1);
        EXPECT_EQ(uint8_t(head[3]), 8);
        EXPECT_EQ(uint8_t(head[65]), 3);

        const auto size = run("convert " + name + " -format '%w %h' info:");
        ASSERT_TRUE(size.has_value());
        EXPECT_EQ(*size, std::to_string(img.width) + " " + std::to_string(img.height));
        const auto rgb = run("convert " + name + " -depth 8 rgb:-");
        ASSERT_TRUE(rgb.has_value());
        ASSERT_EQ(rgb->size(), size_t(img.width) * img.height * 3);
        for (size_t k = 0; k < img.pixels.size(); ++k) {
            lecb::Rgb want = palette[map_entry(img.pixels[k])];
            if (GetParam() == 16) want = lecb::Rgb{widen(want.r, 5), widen(want.g, 6), widen(want.b, 5)};
            const lecb::Rgb got{uint8_t((*rgb)[3 * k]), uint8_t((*rgb)[3 * k + 1]), uint8_t((*rgb)[3 * k + 2])};
            ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b)
                << "pixel " << k << " (index " << int(img.pixels[k]) << "): got " << int(got.r) << ","
                << int(got.g) << "," << int(got.b) << " want " << int(want.r) << "," << int(want.g) << ","
                << int(want.b);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, PcxContentTest, ::testing::Values(16, 32),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param) + "bpp";
                         });

// An existing file is replaced without asking, with a plain file's
// permissions; saving twice leaves one file.
TEST_F(ExportTest, SavingReplacesAnExistingFile) {
    write_text("c3_t0_i2.pcx", "an older file");
    selection.image_index = 2;
    save_image();
    save_image();
    EXPECT_EQ(rec.alerts(), (std::vector<std::string>{"|Image saved|", "|Image saved|"}));
    EXPECT_EQ(listing("."), std::vector<std::string>{"c3_t0_i2.pcx"});
    const std::string content = read_file("c3_t0_i2.pcx");
    ASSERT_GE(content.size(), 128u);
    EXPECT_EQ(uint8_t(content[0]), 0x0A);
    struct stat st {};
    ASSERT_EQ(stat("c3_t0_i2.pcx", &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

// A disk that fills up: the big image of slot 0 does not fit, the small
// ones do. The earlier file of the failed name stays, no temporary file is
// left, and the walk goes on after the failure.
TEST_F(ExportTest, FullDiskKeepsTheGoodFileAndCountsFailures) {
    ASSERT_NO_FATAL_FAILURE(show(true));
    if (!mount_tmpfs("size=16k")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    write_text("c3_t0_i0.pcx", "good");

    save_image();
    EXPECT_EQ(read_file("c3_t0_i0.pcx"), "good");
    EXPECT_EQ(listing("."), std::vector<std::string>{"c3_t0_i0.pcx"});

    save_table();
    EXPECT_EQ(read_file("c3_t0_i0.pcx"), "good");
    EXPECT_EQ(listing("."), (std::vector<std::string>{"c3_t0_i0.pcx", "c3_t0_i2.pcx", "c3_t0_i5.pcx"}));
    EXPECT_EQ(rec.alerts(), (std::vector<std::string>{"|Image not saved|c3_t0_i0.pcx",
                                                      "|Table not saved|1 of 3 images not saved"}));
}

// A disk with no room left at all: the small files fail only when their
// last bytes are written out as the file is closed. The earlier file of
// the name must not be replaced by a short one.
TEST_F(ExportTest, DiskFullAtCloseKeepsTheGoodFile) {
    if (!mount_tmpfs("size=4k")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    write_text("c3_t0_i2.pcx", "good");  // takes the one page
    selection.image_index = 2;
    save_image();
    save_table();
    EXPECT_EQ(read_file("c3_t0_i2.pcx"), "good");
    EXPECT_EQ(listing("."), std::vector<std::string>{"c3_t0_i2.pcx"});
    EXPECT_EQ(rec.alerts(), (std::vector<std::string>{"|Image not saved|c3_t0_i2.pcx",
                                                      "|Table not saved|3 of 3 images not saved"}));
}

// A read-only directory: nothing is written, the existing file stays, and
// every key says so in its one alert.
TEST_F(ExportTest, ReadOnlyDirectoryReportsEveryFailure) {
    if (!mount_tmpfs("size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    write_text("c3_t0_i2.pcx", "good");
    ASSERT_EQ(mount("tmpfs", mount_point.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=1m"), 0)
        << std::strerror(errno);
    selection.image_index = 2;
    EXPECT_EQ(viewer_handle_key(KEY_F10), KeyAction::Exported);
    EXPECT_EQ(viewer_handle_key(KEY_F11), KeyAction::Exported);
    EXPECT_EQ(viewer_handle_key(KEY_F12), KeyAction::Exported);
    EXPECT_EQ(rec.alerts(), (std::vector<std::string>{"|Image not saved|c3_t0_i2.pcx",
                                                      "|Table not saved|3 of 3 images not saved",
                                                      "|Costume not saved|5 of 5 images not saved"}));
    EXPECT_EQ(read_file("c3_t0_i2.pcx"), "good");
    EXPECT_EQ(listing("."), std::vector<std::string>{"c3_t0_i2.pcx"});
    EXPECT_EQ(selection.image_index, 2);
}

// The working directory removed under the process: every write fails.
TEST_F(ExportTest, RemovedWorkingDirectoryReportsEveryFailure) {
    const fs::path gone = dir / "gone";
    ASSERT_TRUE(fs::create_directory(gone));
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    save_image();
    save_costume();
    EXPECT_EQ(rec.alerts(), (std::vector<std::string>{"|Image not saved|c3_t0_i0.pcx",
                                                      "|Costume not saved|5 of 5 images not saved"}));
    EXPECT_EQ(listing(dir), std::vector<std::string>{});
}

}  // namespace
