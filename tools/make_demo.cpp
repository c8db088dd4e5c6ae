// Writes the demo LEC file: what a new user sees first.
//
// Three rooms, seven costumes, every image drawn here in code:
//
//   room 1, CLUT palette, an RMHD and a CYCL block to step over:
//     0  hero     MI2  16 colours: walk right, turn round, walk left,
//                                   walk towards the viewer
//     1  wizard   DOTT 32 colours: casting a spell, facing right and left
//     2  chest    MI2  16 colours: opening
//   room 2, PALS/APAL palette (the palette sits inside PALS, WRAP):
//     3  bat      DOTT 32 colours: flapping
//     4  (empty)  DOTT 16 colours: no image at all, skipped by Page Up/Down
//     5  campfire MI2  32 colours: flickering
//   room 3, no palette block (its costume keeps the palette of room 2,
//   the costume shown before it):
//     6  ghost    DOTT 16 colours: floating, with see-through eyes
//
// Colour index 0 of every costume is palette entry 0, bright magenta: the
// library's mask colour, so the background of every image is transparent
// on screen and the crosshair shows through the ghost's eyes.
//
// Offsets put the reference point (the crosshair) under the feet of the
// characters and objects: x is about -width/2, y about -height. The bat and
// the ghost hover above it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "lec_builder.h"

using namespace lecb;

namespace {

constexpr double kPi = 3.14159265358979323846;

// --- A tiny paint box over colour-map indices. ---

struct Point {
    double x, y;
};

struct Canvas {
    int w, h;
    std::vector<uint8_t> px;

    Canvas(int width, int height) : w(width), h(height), px(size_t(width * height), 0) {}

    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h; }
    uint8_t get(int x, int y) const { return inside(x, y) ? px[size_t(y * w + x)] : 0; }
    void set(int x, int y, uint8_t c) {
        if (inside(x, y)) px[size_t(y * w + x)] = c;
    }
    void rect(int x0, int y0, int x1, int y1, uint8_t c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) set(x, y, c);
    }
    // Pixels whose centre lies inside the ellipse.
    void ellipse(double cx, double cy, double rx, double ry, uint8_t c) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
                if (dx * dx + dy * dy <= 1.0) set(x, y, c);
            }
    }
    void disc(double cx, double cy, double r, uint8_t c) { ellipse(cx, cy, r, r, c); }
    // A line of the given thickness between pixel centres.
    void line(double x0, double y0, double x1, double y1, double thick, uint8_t c) {
        const double len = std::max(std::hypot(x1 - x0, y1 - y0), 1e-9);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double px_ = x, py_ = y;
                double t = ((px_ - x0) * (x1 - x0) + (py_ - y0) * (y1 - y0)) / (len * len);
                t = std::clamp(t, 0.0, 1.0);
                const double d = std::hypot(px_ - (x0 + t * (x1 - x0)), py_ - (y0 + t * (y1 - y0)));
                if (d <= thick / 2.0) set(x, y, c);
            }
    }
    // Filled polygon (even-odd rule on pixel centres).
    void polygon(const std::vector<Point> &pts, uint8_t c) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double px_ = x + 0.5, py_ = y + 0.5;
                bool in = false;
                for (size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                    const Point &a = pts[i], &b = pts[j];
                    if ((a.y > py_) != (b.y > py_) && px_ < (b.x - a.x) * (py_ - a.y) / (b.y - a.y) + a.x) in = !in;
                }
                if (in) set(x, y, c);
            }
    }
    // Gives every shape a dark rim: each background pixel next to a
    // painted one takes colour c.
    void outline(uint8_t c) {
        Canvas out = *this;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (get(x, y) != 0) continue;
                const bool near = (get(x - 1, y) != 0 && get(x - 1, y) != c) ||
                                  (get(x + 1, y) != 0 && get(x + 1, y) != c) ||
                                  (get(x, y - 1) != 0 && get(x, y - 1) != c) ||
                                  (get(x, y + 1) != 0 && get(x, y + 1) != c);
                if (near) out.set(x, y, c);
            }
        *this = out;
    }
    Canvas mirrored() const {
        Canvas m(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) m.set(w - 1 - x, y, get(x, y));
        return m;
    }
    // The image with its top left corner at (x, y) from the reference point.
    Image image(int x, int y) const {
        Image img;
        img.width = uint16_t(w);
        img.height = uint16_t(h);
        img.x = int16_t(x);
        img.y = int16_t(y);
        img.pixels = px;
        return img;
    }
    // Standing on the reference point, raised by lift pixels.
    Image standing(int lift = 0) const { return image(-w / 2, -h - lift); }
};

// --- Palettes: each costume takes a run of entries of its room's palette. ---

constexpr Rgb kMask{255, 0, 255};  // the library's mask colour

struct PaletteBuilder {
    Palette pal{};
    int next = 1;

    PaletteBuilder(Rgb from, Rgb to) {
        // Entries no costume uses: a quiet ramp, so that the palette as a
        // whole still looks like a room's.
        for (int i = 0; i < 256; ++i) {
            const double t = i / 255.0;
            pal[size_t(i)] = Rgb{uint8_t(from.r + (to.r - from.r) * t), uint8_t(from.g + (to.g - from.g) * t),
                                 uint8_t(from.b + (to.b - from.b) * t)};
        }
        pal[0] = kMask;
    }

    // Colour-map of a costume: index 0 is the mask colour (palette entry
    // 0), indices 1.. the given colours, placed in the palette in turn.
    std::array<uint8_t, 32> add(const std::vector<Rgb> &colours) {
        std::array<uint8_t, 32> map{};
        for (size_t i = 0; i < colours.size() && i + 1 < 32; ++i) {
            pal[size_t(next)] = colours[i];
            map[i + 1] = uint8_t(next++);
        }
        return map;
    }
};

CostumeSpec make_spec(bool dott, int colors, const std::array<uint8_t, 32> &map) {
    CostumeSpec c;
    c.dott = dott;
    c.colors = colors;
    c.color_map = map;
    return c;
}

// Adds the frames as one table.
void add_table(CostumeSpec &c, const std::vector<Image> &frames) {
    std::vector<Slot> table;
    for (const Image &img : frames) {
        table.push_back(Slot::of(int(c.images.size())));
        c.images.push_back(img);
    }
    c.tables.push_back(table);
}

// --- The hero: a young sailor in a blue shirt, 24 x 38. ---

namespace hero {
enum : uint8_t {
    Outline = 1, Skin, SkinShade, Hair, HairLight, Shirt, ShirtShade, Pants,
    PantsShade, Shoe, EyeWhite, Eye, Belt, Mouth, Cap
};
const std::vector<Rgb> colours = {
    {34, 24, 38},   {241, 194, 150}, {200, 146, 108}, {118, 64, 30},  {166, 100, 46},
    {58, 124, 204}, {36, 84, 152},   {74, 66, 92},    {50, 44, 66},   {98, 58, 36},
    {250, 250, 246}, {24, 24, 40},   {214, 170, 64},  {184, 84, 74},  {226, 64, 52},
};
constexpr int W = 24, H = 38, Ground = 36;

// Facing right, at phase p of the walk (0..2 pi); still when walking is
// false.
Canvas side(double p, bool walking) {
    Canvas c(W, H);
    const double s = walking ? std::sin(p) : 0.0;
    const int b = walking && std::fabs(s) > 0.7 ? 1 : 0;  // the body dips mid-stride
    const double cx = 11.5;
    auto leg = [&](double dx, uint8_t colour) {
        c.line(cx, 23 + b, cx + dx, Ground - 2, 3.0, colour);
        const int fx = int(std::lround(cx + dx));
        c.rect(fx - 1, Ground - 1, fx + 2, Ground, Shoe);
    };
    auto arm = [&](double dx, uint8_t colour, uint8_t hand) {
        c.line(cx, 14 + b, cx + dx, 21 + b, 2.6, colour);
        c.rect(int(std::lround(cx + dx)) - 1, 22 + b, int(std::lround(cx + dx)), 23 + b, hand);
    };
    leg(-5 * s, PantsShade);
    arm(4 * s, ShirtShade, SkinShade);
    c.rect(8, 13 + b, 14, 23 + b, Shirt);
    c.rect(8, 13 + b, 9, 23 + b, ShirtShade);
    c.rect(8, 22 + b, 14, 22 + b, Belt);
    leg(5 * s, Pants);
    // Head: skin, hair at the back and top, a red cap, one eye, a nose.
    c.rect(10, 11 + b, 12, 13 + b, SkinShade);
    c.disc(12, 7 + b, 5.2, Skin);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (c.get(x, y) == Skin && (x < 10 && y < 10 + b)) c.set(x, y, Hair);
    c.rect(7, 1 + b, 15, 3 + b, Cap);
    c.rect(15, 3 + b, 18, 3 + b, Cap);
    c.set(8, 4 + b, HairLight);
    c.set(11, 7 + b, SkinShade);  // ear
    c.set(14, 6 + b, EyeWhite);
    c.set(15, 6 + b, Eye);
    c.set(17, 8 + b, Skin);  // nose
    c.set(15, 10 + b, Mouth);
    arm(-4 * s, Shirt, Skin);
    c.outline(Outline);
    return c;
}

// Facing the viewer (front) or away from it; step moves one leg up.
Canvas front(bool back, int step) {
    Canvas c(W, H);
    const int l = step > 0 ? 1 : 0, r = step < 0 ? 1 : 0;
    // Legs, shoes.
    c.rect(8, 24, 10, Ground - 2 - l, back ? PantsShade : Pants);
    c.rect(13, 24, 15, Ground - 2 - r, back ? PantsShade : Pants);
    c.rect(7, Ground - 1 - l, 10, Ground - l, Shoe);
    c.rect(13, Ground - 1 - r, 16, Ground - r, Shoe);
    // Body and arms, swinging against the legs.
    c.rect(7, 13, 16, 23, Shirt);
    c.rect(7, 22, 16, 22, Belt);
    c.rect(5, 14, 6, 21 - r, ShirtShade);
    c.rect(17, 14, 18, 21 - l, ShirtShade);
    c.rect(5, 22 - r, 6, 23 - r, back ? SkinShade : Skin);
    c.rect(17, 22 - l, 18, 23 - l, back ? SkinShade : Skin);
    c.rect(10, 11, 13, 13, SkinShade);
    // Head.
    c.disc(12, 7, 5.4, back ? Hair : Skin);
    if (back) {
        c.set(10, 5, HairLight);
        c.set(13, 4, HairLight);
    } else {
        c.rect(7, 3, 16, 4, Hair);
        c.set(8, 5, Hair);
        c.set(15, 5, Hair);
        c.set(9, 7, EyeWhite);
        c.set(10, 7, Eye);
        c.set(13, 7, Eye);
        c.set(14, 7, EyeWhite);
        c.rect(11, 10, 12, 10, Mouth);
    }
    c.rect(7, 1, 16, 3, Cap);
    c.outline(Outline);
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(false, 16, pal.add(colours));
    std::vector<Image> walk_right, turn, walk_left, walk_front;
    for (int k = 0; k < 6; ++k) {
        const Canvas f = side(2 * kPi * k / 6, true);
        walk_right.push_back(f.standing());
        walk_left.push_back(f.mirrored().standing());
    }
    turn = {front(false, 0).standing(), side(0, false).standing(), front(true, 0).standing(),
            side(0, false).mirrored().standing()};
    for (int step : {0, 1, 0, -1}) walk_front.push_back(front(false, step).standing());
    add_table(c, walk_right);
    add_table(c, turn);
    add_table(c, walk_left);
    add_table(c, walk_front);
    return c;
}
}  // namespace hero

// --- The wizard: a robed figure with a pointed hat and a staff, 30 x 40. ---

namespace wizard {
enum : uint8_t {
    Outline = 1, Robe0, Robe1, Robe2, Robe3, Robe4, Star0, Star1, Skin, SkinShade, Beard0,
    Beard1, Beard2, Eye, Wood0, Wood1, Wood2, Gem0, Gem1, Gem2, Spark0, Spark1, Spark2,
    Spark3, Band, Boot, Nose, Glow0, Glow1, Mouth, Hat
};
const std::vector<Rgb> colours = {
    {30, 20, 44},    {58, 34, 102},  {78, 46, 138},   {100, 62, 170}, {126, 84, 196}, {150, 112, 216},
    {250, 214, 90},  {206, 156, 50}, {238, 196, 160}, {198, 150, 118}, {246, 246, 250}, {212, 212, 224},
    {170, 170, 188}, {20, 20, 40},   {110, 72, 40},   {140, 96, 56},  {84, 52, 28},   {80, 230, 240},
    {40, 170, 200},  {200, 255, 255}, {255, 255, 200}, {255, 170, 230}, {150, 240, 255}, {255, 230, 120},
    {230, 190, 70},  {60, 40, 40},    {226, 170, 140}, {120, 200, 255}, {220, 250, 255}, {160, 70, 70},
    {70, 40, 120},
};
constexpr int W = 30, H = 40;

Canvas cast(int frame) {
    Canvas c(W, H);
    const double cx = 13;
    // Robe: a trapezoid shaded from its lit right side to its dark left.
    for (int y = 15; y <= 37; ++y) {
        const double half = 4.5 + (y - 15) * 0.3;
        for (int x = int(cx - half); x <= int(cx + half); ++x) {
            const double t = (x - (cx - half)) / (2 * half);  // 0 left .. 1 right
            c.set(x, y, uint8_t(Robe0 + std::min(4, int(t * 5))));
        }
    }
    c.rect(int(cx - 10), 38, int(cx - 5), 38, Boot);
    c.rect(int(cx + 5), 38, int(cx + 10), 38, Boot);
    c.rect(int(cx - 6), 30, int(cx + 7), 30, Band);  // hem trim
    for (auto [x, y] : {std::pair{9, 22}, {16, 26}, {11, 33}, {18, 34}, {14, 19}}) {
        c.set(x, y, Star0);
        c.set(x + 1, y, Star1);
    }
    // Face and beard.
    c.disc(cx + 0.5, 13.5, 3.6, Skin);
    c.set(int(cx) - 1, 12, Eye);
    c.set(int(cx) + 2, 12, Eye);
    c.set(int(cx) + 1, 14, Nose);
    c.polygon({{cx - 3.5, 15}, {cx + 4.5, 15}, {cx + 0.8, 27}}, Beard1);
    c.polygon({{cx - 1.5, 15}, {cx + 2.5, 15}, {cx + 0.6, 24}}, Beard0);
    c.line(cx - 2.5, 16, cx + 0.4, 25, 1.0, Beard2);
    c.set(int(cx), 16, Mouth);
    // Hat: a cone leaning back, a brim and a gold band.
    c.polygon({{cx - 5, 10.5}, {cx + 6, 10.5}, {cx - 2, 0}}, Hat);
    c.polygon({{cx - 2.5, 10.5}, {cx + 6, 10.5}, {cx - 1.5, 1}}, Robe2);
    c.rect(int(cx - 7), 10, int(cx + 8), 11, Robe1);
    c.rect(int(cx - 4), 8, int(cx + 5), 8, Band);
    // The staff in the right hand, raised a little as the spell builds.
    const int lift = frame == 0 ? 0 : frame == 3 ? 1 : 2;
    c.line(24, 6 - lift, 24, 38 - lift, 2.0, Wood1);
    c.line(25, 6 - lift, 25, 38 - lift, 1.0, Wood2);
    c.rect(23, 22 - lift, 24, 23 - lift, Wood0);
    c.line(cx + 4, 18, 22.5, 22 - lift, 2.4, Robe4);  // sleeve
    c.rect(22, 21 - lift, 23, 23 - lift, Skin);
    // The gem and its glow.
    if (frame > 0) c.disc(24.5, 4.5 - lift, 2.5 + frame * 0.5, frame >= 2 ? Glow1 : Glow0);
    c.disc(24.5, 4.5 - lift, 2.0, Gem1);
    c.set(24, 4 - lift, Gem2);
    c.set(25, 5 - lift, Gem0);
    c.outline(Outline);
    // Sparkles drawn after the outline, so that they glitter free.
    static const int spots[4][4][2] = {
        {{0, 0}, {0, 0}, {0, 0}, {0, 0}},
        {{20, 3}, {28, 8}, {0, 0}, {0, 0}},
        {{19, 1}, {28, 2}, {21, 9}, {28, 11}},
        {{27, 0}, {18, 6}, {28, 13}, {20, 12}},
    };
    for (int i = 0; i < 4; ++i) {
        const int x = spots[frame][i][0], y = spots[frame][i][1];
        if (x == 0) continue;
        const uint8_t col = uint8_t(Spark0 + (i + frame) % 4);
        c.set(x, y, col);
        c.set(x - 1, y, col);
        c.set(x + 1, y, col);
        c.set(x, y - 1, col);
        c.set(x, y + 1, col);
    }
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(true, 32, pal.add(colours));
    std::vector<Image> right, left;
    for (int f = 0; f < 4; ++f) {
        const Canvas img = cast(f);
        right.push_back(img.image(-13, -img.h));
        left.push_back(img.mirrored().image(-(img.w - 1 - 13), -img.h));
    }
    add_table(c, right);
    add_table(c, left);
    return c;
}
}  // namespace wizard

// --- The chest: a wooden treasure chest that opens, 32 x 30. ---

namespace chest {
enum : uint8_t {
    Outline = 1, Wood0, Wood1, Wood2, Wood3, Metal1, Metal2, Dark0, Dark1,
    Gold0, Gold1, Gold2, Glow, Lock, Shine
};
const std::vector<Rgb> colours = {
    {40, 24, 20},    {92, 52, 28},   {128, 76, 40},  {162, 102, 54}, {190, 130, 74},
    {196, 196, 206}, {104, 104, 118}, {30, 18, 14},  {56, 34, 24},  {250, 206, 60},
    {226, 160, 30},  {255, 240, 150}, {255, 250, 210}, {70, 70, 80},  {255, 255, 255},
};
constexpr int W = 32, H = 30;

// open: 0 closed .. 3 wide open.
Canvas draw(int open) {
    Canvas c(W, H);
    // Box.
    c.rect(3, 17, 28, 28, Wood2);
    for (int y = 19; y <= 27; y += 3) c.rect(3, y, 28, y, Wood1);
    c.rect(3, 28, 28, 28, Wood0);
    c.rect(6, 17, 8, 28, Metal1);
    c.rect(23, 17, 25, 28, Metal1);
    c.rect(8, 17, 8, 28, Metal2);
    c.rect(25, 17, 25, 28, Metal2);
    if (open == 0) {
        // Closed lid: a rounded top over the box, with its lock.
        c.ellipse(16, 17, 13.6, 7.5, Wood3);
        c.rect(3, 15, 28, 17, Wood2);
        c.rect(6, 10, 8, 17, Metal1);
        c.rect(23, 10, 25, 17, Metal1);
        c.rect(14, 15, 17, 19, Lock);
        c.set(15, 17, Dark0);
    } else {
        // Lid swung back: its underside shows above the box, and the gold
        // inside glows more the wider it opens.
        const int top = 17 - 4 * open;
        c.rect(4, top, 27, 16, Wood0);
        c.rect(6, top, 8, 16, Metal2);
        c.rect(23, top, 25, 16, Metal2);
        c.rect(4, 15, 27, 17, Dark1);
        c.ellipse(16, 17.5, 11, 2.5 + open * 0.5, Gold1);
        c.ellipse(15, 17, 7, 1.5 + open * 0.4, Gold0);
        for (int x = 7; x <= 24; x += 4) c.set(x, 16 - (x / 4) % 2, Gold2);
        c.rect(14, 18, 17, 21, Lock);
    }
    c.outline(Outline);
    if (open >= 2) {
        // Rays of light from the gold.
        for (int i = 0; i < open * 2; ++i) {
            const int x = 8 + i * 16 / (open * 2) + 1;
            c.set(x, 16 - 4 * open - 2 + i % 2, Glow);
            c.set(x, 16 - 4 * open - 3 + i % 2, Shine);
        }
    }
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(false, 16, pal.add(colours));
    std::vector<Image> opening, closing;
    for (int k = 0; k < 4; ++k) opening.push_back(draw(k).standing());
    for (int k = 3; k >= 0; --k) closing.push_back(draw(k).standing());
    add_table(c, opening);
    add_table(c, closing);
    return c;
}
}  // namespace chest

// --- The bat: a flapping bat with red eyes, 34 x 22. ---

namespace bat {
enum : uint8_t { Outline = 1, Body0, Body1, Body2, Wing0, Wing1, Wing2, Wing3, Wing4, Eye, Fang, Ear };
const std::vector<Rgb> colours = {
    {16, 10, 24},    {62, 44, 76},   {84, 62, 100},  {106, 82, 124}, {52, 36, 68},  {72, 50, 92},
    {96, 70, 120},   {124, 96, 150}, {152, 124, 176}, {255, 60, 60},  {250, 250, 250}, {120, 80, 110},
    // The rest of the 32 colours: the night sky of the room.
    {12, 16, 40},    {18, 24, 56},   {24, 34, 74},   {32, 46, 92},   {40, 58, 110}, {50, 72, 128},
    {62, 88, 146},   {76, 104, 162}, {92, 122, 176}, {110, 140, 190}, {130, 160, 204}, {150, 180, 216},
    {172, 198, 228}, {196, 216, 238}, {220, 234, 246}, {240, 244, 250}, {250, 238, 180}, {244, 220, 120},
    {230, 196, 80},
};
constexpr int W = 34, H = 22;

// Wing beat: up is -1, level 0, down 1.
Canvas draw(double beat) {
    Canvas c(W, H);
    const double cx = 17, cy = 10;
    for (int side : {-1, 1}) {
        const double tip_x = cx + side * 16;
        const double ty = std::clamp(cy + 8 * beat, 1.0, 20.0);
        // Membrane with a scalloped trailing edge between three fingers.
        std::vector<Point> wing = {{cx, cy - 3}, {tip_x, ty}};
        for (int k = 3; k >= 1; --k) {
            const double t = k / 4.0;
            wing.push_back({cx + side * 16 * t + side * 1.5, ty + (cy + 3 - ty) * (1 - t) + 3.5});
            wing.push_back({cx + side * 16 * t, ty + (cy + 3 - ty) * (1 - t) + 1});
        }
        wing.push_back({cx, cy + 3});
        c.polygon(wing, Wing1);
        // Shading from the body outwards, and the finger bones.
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (c.get(x, y) == Wing1) {
                    const double d = std::fabs(x + 0.5 - cx) / 16.0;
                    c.set(x, y, uint8_t(Wing0 + std::min(3, int(d * 4))));
                }
        for (int k = 1; k <= 3; ++k) {
            const double t = k / 4.0;
            c.line(cx + side * 2, cy - 2, cx + side * 16 * t, ty + (cy + 3 - ty) * (1 - t) + 1, 1.0, Wing4);
        }
        c.line(cx + side * 2, cy - 3, tip_x, ty, 1.0, Wing4);
    }
    c.ellipse(cx, cy + 1, 3.6, 5.2, Body1);
    c.ellipse(cx + 0.8, cy + 2, 2.0, 3.2, Body2);
    c.disc(cx, cy - 3.5, 3.0, Body1);
    c.set(int(cx) - 2, int(cy) - 7, Ear);
    c.set(int(cx) + 1, int(cy) - 7, Ear);
    c.set(int(cx) - 2, int(cy) - 6, Body0);
    c.set(int(cx) + 1, int(cy) - 6, Body0);
    c.set(int(cx) - 1, int(cy) - 4, Eye);
    c.set(int(cx) + 1, int(cy) - 4, Eye);
    c.set(int(cx), int(cy) - 1, Fang);
    c.outline(Outline);
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(true, 32, pal.add(colours));
    std::vector<Image> flap;
    const double beats[] = {-1.0, -0.3, 0.6, 1.0, 0.2, -0.6};
    const int bob[] = {0, 1, 2, 3, 2, 1};
    for (int k = 0; k < 6; ++k) flap.push_back(draw(beats[k]).standing(16 + bob[k]));
    add_table(c, flap);
    return c;
}
}  // namespace bat

// --- The campfire: two logs and a flickering flame, 26 x 32. ---

namespace fire {
enum : uint8_t { Outline = 1, Log0, Log1, Log2, Ring, Stone0, Stone1 };
constexpr uint8_t Flame = 8;  // 12 colours of flame from deep red to white
constexpr uint8_t Smoke = 20;
const std::vector<Rgb> colours = {
    {30, 18, 16},    {84, 50, 30},   {120, 74, 42},  {158, 104, 60}, {226, 184, 140}, {110, 110, 120},
    {150, 150, 160},
    {110, 16, 10},   {150, 26, 12},  {190, 40, 14},  {220, 64, 18},  {240, 96, 22},  {250, 128, 30},
    {254, 160, 40},  {255, 190, 60}, {255, 214, 90}, {255, 232, 140}, {255, 244, 196}, {255, 252, 236},
    {90, 90, 100},   {120, 120, 130}, {150, 150, 160}, {180, 180, 190},
    {60, 40, 30},    {70, 56, 50},   {96, 84, 70},   {128, 112, 96}, {160, 140, 120}, {200, 180, 160},
    {240, 220, 200}, {255, 255, 255},
};
constexpr int W = 26, H = 32;

Canvas draw(int frame) {
    Canvas c(W, H);
    const double cx = 13;
    // The flame: its half-width at each height sways with the frame.
    for (int y = 0; y < 26; ++y) {
        const double v = (26 - y) / 26.0;  // 0 at the base, 1 at the top
        const double sway = 1.6 * std::sin(v * 5.0 + frame * 1.3) * v;
        const double half = 7.5 * std::sin(std::min(1.0, (1 - v) * 1.25) * kPi / 2) * (1 - v * 0.6);
        const double mid = cx + sway;
        for (int x = 0; x < W; ++x) {
            const double d = std::fabs(x + 0.5 - mid) / std::max(half, 0.5);
            if (d > 1.0) continue;
            // Hotter at the middle and near the base.
            const double heat = (1 - d) * 0.7 + (1 - v) * 0.55;
            c.set(x, y, uint8_t(Flame + std::clamp(int(heat * 11), 0, 11)));
        }
    }
    // Tongues of flame that break off at the top.
    const int tongue_x = 9 + (frame * 3) % 8, tongue_y = 3 + frame % 3;
    c.disc(tongue_x, tongue_y, 1.2, Flame + 4);
    c.set(int(cx) + (frame % 2 ? 3 : -3), 1 + frame % 2, Flame + 6);
    // Logs crossed at the bottom, on a ring of stones.
    c.line(4, 29, 21, 24, 3.4, Log1);
    c.line(5, 24, 22, 29, 3.4, Log2);
    c.line(5, 24, 22, 29, 1.0, Log0);
    c.disc(22, 29, 1.6, Ring);
    c.disc(4, 29, 1.6, Ring);
    for (int x = 1; x < W - 1; x += 4) c.ellipse(x + 1.5, 30.5, 2.0, 1.4, (x / 4) % 2 ? Stone0 : Stone1);
    c.outline(Outline);
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(false, 32, pal.add(colours));
    std::vector<Image> flicker;
    for (int f = 0; f < 5; ++f) flicker.push_back(draw(f).standing());
    add_table(c, flicker);
    return c;
}
}  // namespace fire

// --- The ghost: a floating sheet with see-through eyes, 24 x 28. ---

namespace ghost {
enum : uint8_t { Outline = 1, Sheet0, Sheet1, Sheet2, Sheet3, Cheek, Shadow };
const std::vector<Rgb> colours = {
    {40, 44, 90},   {170, 190, 230}, {200, 214, 244}, {226, 234, 252}, {246, 250, 255}, {255, 190, 210},
    {120, 130, 180}, {60, 70, 120},  {80, 92, 150},   {100, 114, 176}, {136, 150, 204}, {160, 174, 220},
    {186, 200, 236}, {210, 222, 246}, {236, 240, 252},
};
constexpr int W = 24, H = 28;

Canvas draw(int frame) {
    Canvas c(W, H);
    const double cx = 12, phase = frame * kPi / 2;
    c.disc(cx, 10, 9.0, Sheet2);
    for (int x = 3; x <= 20; ++x) {
        const int bottom = 23 + int(std::lround(2.2 * std::sin(x * 0.9 + phase)));
        c.rect(x, 10, x, bottom, Sheet2);
    }
    // Light from the upper right.
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (c.get(x, y) == Sheet2) {
                const double l = (x - cx) * 0.06 - (y - 10) * 0.05;
                c.set(x, y, uint8_t(l > 0.35 ? Sheet3 : l > -0.15 ? Sheet2 : l > -0.6 ? Sheet1 : Sheet0));
            }
    c.set(6, 14, Cheek);
    c.set(17, 14, Cheek);
    c.outline(Outline);
    // Eyes and mouth are holes cut after the outline: they take colour 0,
    // the mask colour, so whatever lies behind the ghost (the crosshair
    // runs through its mouth) shows through them.
    c.ellipse(8.5, 10.5, 2.0, 2.8, 0);
    c.ellipse(15.5, 10.5, 2.0, 2.8, 0);
    c.ellipse(12, 16.5, 2.2 + (frame % 2) * 0.4, 1.4 + (frame % 2) * 0.6, 0);
    return c;
}

CostumeSpec costume(PaletteBuilder &pal) {
    CostumeSpec c = make_spec(true, 16, pal.add(colours));
    std::vector<Image> right, left;
    const int bob[] = {6, 8, 9, 8};
    for (int f = 0; f < 4; ++f) {
        right.push_back(draw(f).standing(bob[f]));
        left.push_back(draw(f).mirrored().standing(bob[f]));
    }
    add_table(c, right);
    add_table(c, left);
    return c;
}
}  // namespace ghost

// --- Other blocks of a room, which the viewer steps over. ---

Bytes room_header(uint16_t width, uint16_t height) {
    Bytes body(6, 0);
    put_le16(body, 0, width);
    put_le16(body, 2, height);
    return block("RMHD", body);
}

Bytes filler(const char *tag, size_t size, uint8_t seed) {
    Bytes body(size);
    for (size_t i = 0; i < size; ++i) body[i] = uint8_t(seed + i * 31);
    return block(tag, body);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.lec\n");
        return 2;
    }
    // Room 1: a harbour town by day, its palette in a CLUT block.
    PaletteBuilder town({40, 60, 90}, {250, 230, 190});
    const Bytes hero = costume(hero::costume(town));
    const Bytes wizard = costume(wizard::costume(town));
    const Bytes chest = costume(chest::costume(town));
    Room room1;
    room1.room_blocks = {room_header(320, 144), filler("CYCL", 9, 3), clut(town.pal)};
    room1.lflf_blocks = {filler("SCRP", 40, 7), hero, wizard, filler("SOUN", 64, 11), chest};

    // Room 2: a forest at night, its palette as an APAL inside PALS.
    PaletteBuilder night({6, 10, 30}, {120, 150, 210});
    const Bytes bat = costume(bat::costume(night));
    CostumeSpec empty = make_spec(true, 16, night.add({{90, 90, 90}}));
    const Bytes fire = costume(fire::costume(night));
    const Bytes ghost = costume(ghost::costume(night));
    Room room2;
    room2.room_blocks = {room_header(480, 144), filler("TRNS", 2, 0), pals(night.pal)};
    room2.lflf_blocks = {bat, costume(empty), filler("SCRP", 24, 5), fire};

    // Room 3: no palette block; its ghost is shown with the palette of the
    // room before, where its colours were placed.
    Room room3;
    room3.room_blocks = {room_header(320, 144), filler("BOXD", 20, 9)};
    room3.lflf_blocks = {ghost, filler("SOUN", 16, 1)};

    if (!write_file(argv[1], lec_file({room1, room2, room3}))) {
        std::fprintf(stderr, "make_demo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
