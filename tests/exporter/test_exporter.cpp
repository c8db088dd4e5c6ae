// vestrel-export as a user runs it: the program on a built LEC file, its
// status, its messages and the files it leaves, with the images read back
// by ImageMagick and the JSON by Python, held against the core's decoder.
#include <allegro.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "costume/costume.h"
#include "costume/palette.h"
#include "resfile/lecfile.h"
#include "test_support.h"
#include "viewer/viewer.h"

extern char **environ;

namespace fs = std::filesystem;
using lecb::Bytes;
using lecb::Image;
using lecb::Slot;

namespace {

// --- The file under test. ---
//
//   room 0, CLUT A:   costume 0  MI2, 16 colours: table 0 = [img, none, img],
//                                table 2 = [img], known offsets
//                     costume 1  malformed: one image of 65535 x 65535
//   room 1, none:     costume 2  DOTT, 32 colours, painted with A (the
//                                palette in force after costume 1)
//   room 2, PALS B:   costume 3  a table whose only slot holds no image

lecb::Palette palette_a() { return lecb::ramp_palette(); }

lecb::Palette palette_b() {
    lecb::Palette p;
    for (int i = 0; i < 256; ++i) p[size_t(i)] = lecb::Rgb{uint8_t(255 - i), uint8_t(i / 2), uint8_t(i * 3)};
    return p;
}

// An image whose pixels run through the colour indices 0..colors-1.
Image image(uint16_t w, uint16_t h, int16_t x, int16_t y, int colors, int seed) {
    return lecb::image_of(w, h, x, y, [=](int i, int j) { return uint8_t((seed + 3 * i + 5 * j) % colors); });
}

lecb::CostumeSpec costume0() {
    lecb::CostumeSpec c;
    c.colors = 16;
    for (int i = 0; i < 16; ++i) c.color_map[size_t(i)] = uint8_t(20 + 7 * i);
    c.images = {image(3, 2, -2, -3, 16, 0), image(2, 4, 1, -1, 16, 5), image(1, 1, -4, 2, 16, 1)};
    c.tables = {{Slot::of(0), Slot::none(), Slot::of(1)}, {}, {Slot::of(2)}};
    return c;
}

lecb::CostumeSpec costume1_malformed() {
    lecb::CostumeSpec c;
    Image huge;
    huge.width = huge.height = 65535;  // 4 Gi pixels: refused before any bitmap
    huge.runs = Bytes{0x01};
    c.images = {huge};
    c.tables = {{Slot::of(0)}};
    return c;
}

lecb::CostumeSpec costume2() {
    lecb::CostumeSpec c;
    c.dott = true;
    c.colors = 32;
    for (int i = 0; i < 32; ++i) c.color_map[size_t(i)] = uint8_t(100 + i);
    c.images = {image(5, 3, -2, -3, 32, 2), image(4, 4, 0, 0, 32, 9)};
    c.tables = {{Slot::of(0), Slot::of(1)}};
    return c;
}

lecb::CostumeSpec costume3_empty() {
    lecb::CostumeSpec c;
    c.tables = {{Slot::none()}};
    return c;
}

Bytes test_file() {
    lecb::Room r0{{lecb::clut(palette_a())}, {lecb::costume(costume0()), lecb::costume(costume1_malformed())}};
    lecb::Room r1{{}, {lecb::costume(costume2())}};
    lecb::Room r2{{lecb::pals(palette_b())}, {lecb::costume(costume3_empty())}};
    return lecb::lec_file({r0, r1, r2});
}

// --- Running the program. ---

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string read_file(const fs::path &p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs program with args in cwd, standard output and error captured.
Outcome run_program(const std::string &program, const std::vector<std::string> &args, const fs::path &cwd) {
    const fs::path out = cwd / ".run-out", err = cwd / ".run-err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    Outcome r;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
        int wstatus;
        waitpid(pid, &wstatus, 0);
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = read_file(out);
    r.err = read_file(err);
    fs::remove(out);
    fs::remove(err);
    return r;
}

// A fresh directory holding test.lec.
class ExporterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vestrel-export-test.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        lec = dir / "test.lec";
        ASSERT_TRUE(lecb::write_file(lec, test_file()));
    }
    void TearDown() override { fs::remove_all(dir); }

    Outcome exporter(const std::vector<std::string> &args) { return run_program(EXPORTER_BIN, args, dir); }

    // Every file under the directory but test.lec, as paths relative to it.
    std::set<std::string> written() const {
        std::set<std::string> files;
        for (const auto &e : fs::recursive_directory_iterator(dir)) {
            if (!e.is_directory() && e.path() != lec) files.insert(fs::relative(e.path(), dir).string());
        }
        return files;
    }

    fs::path dir, lec;
};

// --- Reading back. ---

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba &o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgba> pixels;  // row by row
    Rgba at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// The image as ImageMagick reads it.
Picture read_picture(const fs::path &file) {
    Picture p;
    const fs::path tmp = file.parent_path();
    const Outcome size = run_program(IM_IDENTIFY, {"-format", "%w %h", file.string()}, tmp);
    std::istringstream(size.out) >> p.width >> p.height;
    const Outcome raw = run_program(IM_CONVERT, {file.string(), "-depth", "8", "rgba:-"}, tmp);
    for (size_t i = 0; i + 3 < raw.out.size(); i += 4) {
        const auto *b = reinterpret_cast<const unsigned char *>(raw.out.data() + i);
        p.pixels.push_back(Rgba{b[0], b[1], b[2], b[3]});
    }
    return p;
}

// The PNG palette as ImageMagick reports it, entry 0 first, as "r,g,b".
std::vector<std::string> read_colormap(const fs::path &file) {
    const Outcome r = run_program(IM_IDENTIFY, {"-verbose", file.string()}, file.parent_path());
    std::vector<std::string> entries;
    std::istringstream lines(r.out);
    std::string line;
    bool in_map = false;
    while (std::getline(lines, line)) {
        if (line.find("Colormap:") != std::string::npos) {
            in_map = true;
            continue;
        }
        int n, red, green, blue;
        if (in_map && std::sscanf(line.c_str(), " %d: (%d,%d,%d", &n, &red, &green, &blue) == 4) {
            entries.push_back(std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue));
        } else if (in_map) {
            break;
        }
    }
    return entries;
}

// The core's own decode of costume n at 32 bits per pixel, the palette in
// force being the one that paging from costume 0 gives.
void decode_as_viewer(int n) {
    use_depth(32);
    ASSERT_TRUE(load_bytes(test_file()));
    for (int i = 0; i <= n; ++i) ASSERT_TRUE(load_room_palette(lec_index.entries[size_t(i)].palette_block));
    ASSERT_TRUE(decode_costume(lec_index.entries[size_t(n)].costume_block));
}

Rgba bitmap_pixel(BITMAP *bmp, int x, int y) {
    const int c = getpixel(bmp, x, y);
    return Rgba{getr32(c), getg32(c), getb32(c), 255};
}

std::string python_json(const std::string &script, const fs::path &json_file) {
    const Outcome r = run_program(PYTHON3, {"-c", script, json_file.string()}, json_file.parent_path());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// --- The options, as a table of runs. ---

struct RunCase {
    const char *name;
    std::vector<std::string> args;  // "LEC" stands for the file under test
    int status;
    std::set<std::string> files;    // everything the run leaves
    std::vector<std::string> err;   // texts standard error must hold
    std::string out;                // a text standard output must hold
    bool err_empty = false;
};

const std::set<std::string> kCostume0 = {"c0_t0_i0.png", "c0_t0_i2.png", "c0_t2_i0.png"};
const char *kMalformed = "vestrel-export: costume 1: This is not a valid costume file\n";

TEST_F(ExporterTest, OptionsTable) {
    const std::vector<RunCase> cases = {
        {"every costume into the current directory; the malformed one is skipped",
         {"LEC"}, 1,
         {"c0_t0_i0.png", "c0_t0_i2.png", "c0_t2_i0.png", "c2_t0_i0.png", "c2_t0_i1.png", "index.json"},
         {kMalformed, "5 images of 3 costumes written to .\n"}, ""},
        {"a list of numbers and ranges, into a new directory",
         {"-o", "out/sub", "-c", "0,2-3", "LEC"}, 0,
         {"out/sub/c0_t0_i0.png", "out/sub/c0_t0_i2.png", "out/sub/c0_t2_i0.png", "out/sub/c2_t0_i0.png",
          "out/sub/c2_t0_i1.png", "out/sub/index.json"},
         {"5 images of 3 costumes written to out/sub\n"}, ""},
        {"PCX", {"--format", "pcx", "--output", "out", "--costume", "2", "LEC"}, 0,
         {"out/c2_t0_i0.pcx", "out/c2_t0_i1.pcx", "out/index.json"}, {"2 images of 1 costume written to out\n"}, ""},
        {"sheets", {"-s", "-o", "out", "-c", "0", "LEC"}, 0,
         {"out/c0_t0_i0.png", "out/c0_t0_i2.png", "out/c0_t2_i0.png", "out/c0_sheet.png", "out/index.json"},
         {"3 images and 1 sheet of 1 costume written to out\n"}, ""},
        {"quiet", {"-q", "-o", "out", "-c", "0", "LEC"}, 0,
         {"out/c0_t0_i0.png", "out/c0_t0_i2.png", "out/c0_t2_i0.png", "out/index.json"}, {}, "", true},
        {"quiet still reports failures", {"-q", "-c", "1", "LEC"}, 1, {"index.json"}, {kMalformed}, ""},
        {"a costume without images is exported with none", {"-c", "3", "LEC"}, 0, {"index.json"},
         {"0 images of 1 costume written to .\n"}, ""},
        {"list", {"-l", "LEC"}, 1, {}, {kMalformed},
         "total: 4 costumes, 3 tables with images, 5 valid images, 1 not decoded\n"},
        {"list of some", {"--list", "-c", "0,3", "LEC"}, 0, {}, {},
         "      0     0  CLUT     MI2          16       2       3\n"
         "      3     2  APAL     MI2          16       0       0\n"
         "total: 2 costumes, 2 tables with images, 3 valid images\n"},
        {"help", {"--help"}, 0, {}, {}, "Usage: vestrel-export [OPTIONS] FILE.lec\n", true},
        {"version", {"-V"}, 0, {}, {}, std::string("vestrel-export ") + VESTREL_VERSION + "\n", true},
        {"no file", {"-o", "out"}, 2, {}, {"vestrel-export: no LEC file given\n", "--help"}, ""},
        {"two files", {"LEC", "LEC"}, 2, {}, {"one LEC file at a time"}, ""},
        {"unknown option", {"--colour", "LEC"}, 2, {}, {"unknown option '--colour'"}, ""},
        {"missing argument", {"LEC", "-o"}, 2, {}, {"option '-o' needs an argument"}, ""},
        {"bad format", {"-f", "gif", "LEC"}, 2, {}, {"invalid format 'gif'"}, ""},
        {"range backwards", {"-c", "3-1", "LEC"}, 2, {}, {"invalid costume list '3-1'"}, ""},
        {"list with an empty item", {"-c", "0,,2", "LEC"}, 2, {}, {"invalid costume list"}, ""},
        {"costume not in the file", {"-c", "2-9", "LEC"}, 2, {},
         {"vestrel-export: costume 4 is not in the file (its costumes are 0 to 3)\n"}, ""},
        {"transparency for PCX", {"-f", "pcx", "-t", "0", "LEC"}, 2, {}, {"PNG only"}, ""},
        {"transparent index out of range", {"-t", "32", "LEC"}, 2, {}, {"invalid transparent index '32'"}, ""},
        {"json without list", {"--json", "LEC"}, 2, {}, {"--json goes with --list"}, ""},
        {"missing file", {"nothing.lec"}, 1, {}, {"vestrel-export: Cannot open LEC file\n"}, ""},
        {"not a LEC file", {"notlec.lec"}, 1, {"notlec.lec"}, {"vestrel-export: This is not a valid LEC file\n"}, ""},
        {"output directory is a file", {"-o", "notlec.lec/out", "-c", "0", "LEC"}, 1, {"notlec.lec"},
         {"cannot create directory notlec.lec/out"}, ""},
    };
    for (const RunCase &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        ASSERT_TRUE(lecb::write_file(lec, test_file()));
        ASSERT_TRUE(lecb::write_file(dir / "notlec.lec", Bytes{'h', 'e', 'l', 'l', 'o'}));
        std::vector<std::string> args;
        for (const std::string &a : c.args) args.push_back(a == "LEC" ? lec.string() : a);
        const Outcome r = exporter(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        std::set<std::string> files = written();
        if (!c.files.count("notlec.lec")) files.erase("notlec.lec");
        EXPECT_EQ(files, c.files);
        for (const std::string &text : c.err) {
            EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        }
        if (c.err_empty) {
            EXPECT_EQ(r.err, "");
        }
        if (c.out.empty()) {
            EXPECT_EQ(r.out, "");
        } else {
            EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        }
    }
}

// --- Pixels and palettes. ---

// Every PNG pixel has the colour the viewer paints at 32 bits per pixel,
// opaque; the palette is the colour map through the room palette, in
// colour-map order. Costume 2's room has no palette: it is painted with
// the one in force after costume 1, also when only costume 2 is asked for.
TEST_F(ExporterTest, PngPixelsAndPaletteAreTheViewers) {
    for (int n : {0, 2}) {
        SCOPED_TRACE(n);
        const Outcome r = exporter({"-q", "-o", "out", "-c", std::to_string(n), lec.string()});
        ASSERT_EQ(r.status, 0) << r.err;
        decode_as_viewer(n);
        std::vector<std::string> expected_map;
        for (int c = 0; c < costume.color_count; ++c) {
            const lecb::Rgb rgb = palette_a()[costume.color_map[c]];
            expected_map.push_back(std::to_string(rgb.r) + "," + std::to_string(rgb.g) + "," + std::to_string(rgb.b));
        }
        int checked = 0;
        for (int t = 0; t < kTableCount; ++t) {
            for (int i = 0; i < costume.tables[t].image_count; ++i) {
                const ImageSlot &slot = costume.tables[t].slots[i];
                if (!slot.valid) continue;
                const fs::path png = dir / "out" / ("c" + std::to_string(n) + "_t" + std::to_string(t) + "_i" +
                                                    std::to_string(i) + ".png");
                const Picture p = read_picture(png);
                ASSERT_EQ(p.width, slot.width);
                ASSERT_EQ(p.height, slot.height);
                ASSERT_EQ(p.pixels.size(), size_t(slot.width) * slot.height);
                for (int y = 0; y < p.height; ++y)
                    for (int x = 0; x < p.width; ++x)
                        ASSERT_EQ(p.at(x, y), bitmap_pixel(slot.bitmap, x, y)) << png << " " << x << "," << y;
                EXPECT_EQ(read_colormap(png), expected_map) << png;
                ++checked;
            }
        }
        EXPECT_EQ(checked, 3 - n / 2);  // costume 0 has 3 images, costume 2 has 2
        release_all();
        fs::remove_all(dir / "out");
    }
}

// -t: exactly the pixels of that colour-map index are transparent, the
// others keep their colour, opaque.
TEST_F(ExporterTest, TransparentIndex) {
    const Outcome r = exporter({"-q", "-o", "out", "-c", "0", "-t", "10", lec.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const lecb::CostumeSpec spec = costume0();
    const lecb::Image &img = spec.images[1];  // slot 2 of table 0
    const Picture p = read_picture(dir / "out" / "c0_t0_i2.png");
    ASSERT_EQ(p.pixels.size(), img.pixels.size());
    int clear = 0;
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const uint8_t index = img.pixels[size_t(y) * img.width + size_t(x)];
            const lecb::Rgb rgb = palette_a()[spec.color_map[index]];
            const Rgba got = p.at(x, y);
            if (index == 10) {
                EXPECT_EQ(got.a, 0) << x << "," << y;
                ++clear;
            } else {
                EXPECT_EQ(got, (Rgba{rgb.r, rgb.g, rgb.b, 255})) << x << "," << y;
            }
        }
    }
    EXPECT_GT(clear, 0);  // the fixture holds index 10
}

// PCX files are byte for byte what the viewer's writer makes of the
// bitmaps it decodes at 32 bits per pixel.
TEST_F(ExporterTest, PcxIsTheViewersFile) {
    const Outcome r = exporter({"-q", "-o", "out", "-c", "2", "-f", "pcx", lec.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    decode_as_viewer(2);
    for (int i = 0; i < 2; ++i) {
        const std::string name = "c2_t0_i" + std::to_string(i) + ".pcx";
        const fs::path mine = dir / ("viewer_" + name);
        ASSERT_TRUE(write_pcx_whole(mine.c_str(), costume.tables[0].slots[i].bitmap));
        EXPECT_EQ(read_file(dir / "out" / name), read_file(mine)) << name;
    }
    release_all();
}

// The sheet of costume 0: images 3x2 at (-2,-3) and 2x4 at (1,-1) in
// table 0, 1x1 at (-4,2) in table 2. Cells are 7 x 6 (x from -4 to 3, y
// from -3 to 3), the reference point at (4, 3) in each, two columns and
// two rows: the sheet is 14 x 12 and the images' top left corners lie at
// (4 - 2, 3 - 3) = (2, 0), (7 + 4 + 1, 3 - 1) = (12, 2) and
// (4 - 4, 6 + 3 + 2) = (0, 11).
TEST_F(ExporterTest, SheetCellsLineUpOnTheReferencePoint) {
    const Outcome r = exporter({"-q", "-s", "-o", "out", "-c", "0", lec.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture sheet = read_picture(dir / "out" / "c0_sheet.png");
    ASSERT_EQ(sheet.width, 14);
    ASSERT_EQ(sheet.height, 12);
    decode_as_viewer(0);
    struct Placed {
        int table, slot, left, top;
    };
    const Placed placed[] = {{0, 0, 2, 0}, {0, 2, 12, 2}, {2, 0, 0, 11}};
    std::vector<bool> covered(size_t(sheet.width * sheet.height), false);
    for (const Placed &p : placed) {
        const ImageSlot &slot = costume.tables[p.table].slots[p.slot];
        for (int y = 0; y < slot.height; ++y) {
            for (int x = 0; x < slot.width; ++x) {
                EXPECT_EQ(sheet.at(p.left + x, p.top + y), bitmap_pixel(slot.bitmap, x, y))
                    << "table " << p.table << " slot " << p.slot << " at " << x << "," << y;
                covered[size_t((p.top + y) * sheet.width + p.left + x)] = true;
            }
        }
    }
    for (int y = 0; y < sheet.height; ++y) {
        for (int x = 0; x < sheet.width; ++x) {
            if (!covered[size_t(y * sheet.width + x)]) {
                EXPECT_EQ(sheet.at(x, y).a, 0) << x << "," << y;
            }
        }
    }
    release_all();

    // index.json tells where the cells and the reference point are.
    const std::string got = python_json(
        "import json, sys\n"
        "s = json.load(open(sys.argv[1]))['costumes'][0]['sheet']\n"
        "print(s['file'], s['rows'], s['columns'], s['cell_width'], s['cell_height'], s['origin_x'], s['origin_y'], "
        "s['tables'])\n",
        dir / "out" / "index.json");
    EXPECT_EQ(got, "c0_sheet.png 2 2 7 6 4 3 [0, 2]\n");
}

// Offsets far apart would make cells of 65536 x 65536 pixels: the sheet
// is refused with a message instead of allocating gigabytes, and the
// images themselves are still written.
TEST_F(ExporterTest, SheetTooLargeIsReportedNotAllocated) {
    lecb::CostumeSpec c;
    c.images = {image(1, 1, -32768, -32768, 16, 0), image(1, 1, 32767, 32767, 16, 1)};
    c.tables = {{Slot::of(0), Slot::of(1)}};
    ASSERT_TRUE(lecb::write_file(lec, lecb::lec_file({lecb::Room{{lecb::clut(palette_a())}, {lecb::costume(c)}}})));
    const Outcome r = exporter({"-s", "-o", "out", lec.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "vestrel-export: costume 0: the sheet would be 131072 x 65536 pixels, too large; not written\n"
              "2 images and 0 sheets of 1 costume written to out\n");
    EXPECT_EQ(written(), (std::set<std::string>{"out/c0_t0_i0.png", "out/c0_t0_i1.png", "out/index.json"}));
}

// --- Files in the way. ---

// Without --force nothing is written and the first file in the way, in
// writing order, is named; with it, everything is written over.
TEST_F(ExporterTest, ExistingFilesNeedForce) {
    fs::create_directories(dir / "out");
    ASSERT_TRUE(lecb::write_file(dir / "out" / "index.json", Bytes{'o', 'l', 'd'}));
    ASSERT_TRUE(lecb::write_file(dir / "out" / "c0_t2_i0.png", Bytes{'o', 'l', 'd'}));
    const std::set<std::string> before = written();

    Outcome r = exporter({"-o", "out", "-c", "0", lec.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "vestrel-export: out/c0_t2_i0.png exists; nothing written (--force replaces it)\n");
    EXPECT_EQ(written(), before);
    EXPECT_EQ(read_file(dir / "out" / "c0_t2_i0.png"), "old");

    r = exporter({"-q", "--force", "-o", "out", "-c", "0", lec.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(written(), (std::set<std::string>{"out/c0_t0_i0.png", "out/c0_t0_i2.png", "out/c0_t2_i0.png",
                                                "out/index.json"}));
    EXPECT_EQ(read_picture(dir / "out" / "c0_t2_i0.png").width, 1);
    EXPECT_NE(read_file(dir / "out" / "index.json"), "old");
}

// --- JSON. ---

TEST_F(ExporterTest, ListJsonParsesBack) {
    const Outcome r = exporter({"--list", "--json", lec.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kMalformed);
    ASSERT_TRUE(lecb::write_file(dir / "list.json", Bytes(r.out.begin(), r.out.end())));
    const std::string got = python_json(
        "import json, sys\n"
        "d = json.load(open(sys.argv[1]))\n"
        "for c in d['costumes']:\n"
        "    print(c['number'], c['room'], c['palette'], c.get('layout'), c.get('colors'),\n"
        "          c.get('tables_with_images'), c.get('valid_images'), c.get('error'))\n"
        "t = d['total']\n"
        "print(t['costumes'], t['tables_with_images'], t['valid_images'], t['failed'])\n",
        dir / "list.json");
    EXPECT_EQ(got,
              "0 0 CLUT MI2 16 2 3 None\n"
              "1 0 CLUT None None None None This is not a valid costume file\n"
              "2 1 none DOTT 32 1 2 None\n"
              "3 2 APAL MI2 16 0 0 None\n"
              "4 3 5 1\n");
}

// index.json: each exported costume with its colour map as RGB, and each
// image with its table, slot, size, offsets and file, which exists.
TEST_F(ExporterTest, IndexJsonDescribesTheExport) {
    const Outcome r = exporter({"-q", "-o", "out", lec.string()});
    EXPECT_EQ(r.status, 1);
    const std::string got = python_json(
        "import json, os, sys\n"
        "d = json.load(open(sys.argv[1]))\n"
        "print(d['format'], d['transparent'], [c['number'] for c in d['costumes']])\n"
        "for c in d['costumes']:\n"
        "    print(c['number'], c['room'], c['palette'], c['layout'], c['colors'], len(c['color_map']),\n"
        "          c['color_map'][1], c['palette_indices'][1])\n"
        "    for i in c['images']:\n"
        "        print(' ', i['table'], i['slot'], i['width'], i['height'], i['x'], i['y'], i['file'],\n"
        "              os.path.exists(os.path.join(os.path.dirname(sys.argv[1]), i['file'])))\n",
        dir / "out" / "index.json");
    // Colour-map entry 1 of costume 0 is palette index 27, of costume 2
    // index 101; palette A's entry i is (i, 255 - i, 7i mod 256).
    EXPECT_EQ(got,
              "png None [0, 2, 3]\n"
              "0 0 CLUT MI2 16 16 [27, 228, 189] 27\n"
              "  0 0 3 2 -2 -3 c0_t0_i0.png True\n"
              "  0 2 2 4 1 -1 c0_t0_i2.png True\n"
              "  2 0 1 1 -4 2 c0_t2_i0.png True\n"
              "2 1 none DOTT 32 32 [101, 154, 195] 101\n"
              "  0 0 5 3 -2 -3 c2_t0_i0.png True\n"
              "  0 1 4 4 0 0 c2_t0_i1.png True\n"
              "3 2 APAL MI2 16 16 [255, 0, 0] 0\n");
}

}  // namespace

// Run data cut by the end of the file leaves the rest of the image as the
// viewer shows it: black, not the colour of colour-map entry 0.
TEST_F(ExporterTest, PixelsNoRunReachedStayBlack) {
    lecb::CostumeSpec c;
    for (int i = 0; i < 16; ++i) c.color_map[size_t(i)] = uint8_t(20 + 7 * i);
    Image cut;
    cut.width = cut.height = 2;
    cut.runs = Bytes{0x32};  // two pixels of index 3 (column 0), then the file ends
    c.images = {cut};
    c.tables = {{Slot::of(0)}};
    lecb::Room room{{lecb::clut(palette_a())}, {lecb::costume(c)}};
    ASSERT_TRUE(lecb::write_file(lec, lecb::lec_file({room})));

    const Outcome r = exporter({"-q", "-o", "out", lec.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Picture p = read_picture(dir / "out" / "c0_t0_i0.png");
    ASSERT_EQ(p.pixels.size(), 4u);
    const lecb::Rgb three = palette_a()[c.color_map[3]];
    const Rgba painted{three.r, three.g, three.b, 255}, black{0, 0, 0, 255};
    EXPECT_EQ(p.at(0, 0), painted);
    EXPECT_EQ(p.at(0, 1), painted);
    EXPECT_EQ(p.at(1, 0), black);
    EXPECT_EQ(p.at(1, 1), black);
}
