// Builds LEC files in memory: blocks, rooms with their palettes, costumes
// in both layouts with run-length encoded images, and the mask. Used by the
// tests, the fuzz seeds, the benchmarks and the demo file writer.
//
// Everything returns plain bytes, so that a malformed case is one more line
// on the result: cut it (resize), overwrite a tag (put_tag) or a size
// (put_be32), find a block with find_tag.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lecb {

using Bytes = std::vector<uint8_t>;

// --- Byte helpers. ---
void put_be32(Bytes &b, size_t pos, uint32_t v);
void put_le16(Bytes &b, size_t pos, uint16_t v);
void put_tag(Bytes &b, size_t pos, const char *tag);
void append(Bytes &to, const Bytes &from);
Bytes concat(const std::vector<Bytes> &parts);
// Position of the nth (from 0) occurrence of the 4-byte tag, or npos.
size_t find_tag(const Bytes &b, const char *tag, int nth = 0);
constexpr size_t npos = static_cast<size_t>(-1);

// --- Blocks. ---
// tag + big-endian size (8 + body) + body.
Bytes block(const char *tag, const Bytes &body);
Bytes block(const char *tag, const std::vector<Bytes> &children);

// --- Palettes. ---
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};
using Palette = std::array<Rgb, 256>;
Bytes palette_bytes(const Palette &p);  // 768 bytes, entry 0 first
Bytes clut(const Palette &p);
Bytes apal(const Palette &p);
// PALS holding WRAP holding an OFFS table and the APAL, as the games store
// it: the APAL lies at PALS offset 16 + (size of OFFS).
Bytes pals(const Palette &p);

// --- Costumes. ---
struct Image {
    uint16_t width = 0, height = 0;
    int16_t x = 0, y = 0;
    uint16_t move_x = 0, move_y = 0;
    // width * height colour-map indices, row by row (pixels[y * width + x]).
    std::vector<uint8_t> pixels;
    // Run data to store instead of encoding pixels (for malformed cases).
    std::optional<Bytes> runs;
};

// One entry of a table's image list.
struct Slot {
    int image = -1;       // index into CostumeSpec::images; -1 stores 0 (no image)
    std::optional<uint16_t> stored;  // a raw stored offset instead
    static Slot of(int i) { return Slot{i, std::nullopt}; }
    static Slot none() { return Slot{-1, std::nullopt}; }
    static Slot raw(uint16_t v) { return Slot{-1, v}; }
};

struct CostumeSpec {
    bool dott = false;
    int colors = 16;               // 16 or 32
    uint8_t format_extra = 0;      // bits of the format byte besides bit 0
    std::array<uint8_t, 32> color_map{};  // the first `colors` are written
    std::vector<std::vector<Slot>> tables;  // tables 0..14 at most
    std::vector<Image> images;
};

// A w x h image at offsets (x, y) whose pixel in column col and row row
// has colour-map index colour(col, row).
Image image_of(uint16_t w, uint16_t h, int16_t x, int16_t y, const std::function<uint8_t(int col, int row)> &colour);

// Run-length data of an image in column order, at 16 or 32 colours.
Bytes encode_runs(const Image &img, int colors);
// A whole COST block.
Bytes costume(const CostumeSpec &spec);
// Where table lists and image records start in costume(spec)'s bytes.
struct CostumeLayout {
    size_t data_start = 0;
    size_t table_offsets_at = 0;  // the 16 stored table offsets
    std::array<size_t, 16> table_lists{};  // block-relative
    std::vector<size_t> image_records;     // block-relative, per image
};
CostumeLayout costume_layout(const CostumeSpec &spec);

// --- Files. ---
struct Room {
    std::vector<Bytes> room_blocks;  // inside ROOM: palettes, other blocks
    std::vector<Bytes> lflf_blocks;  // inside LFLF after ROOM: COST and others
};
// The unmasked file: LECF { LOFF { N, N x 5 bytes }, LFLF ... }.
Bytes lec_unmasked(const std::vector<Room> &rooms);
// XOR every byte with 0xA7 (its own inverse).
Bytes mask(Bytes b);
Bytes lec_file(const std::vector<Room> &rooms);

bool write_file(const std::string &path, const Bytes &b);

// A palette of distinct colours (entry i = (i, 255 - i, (i * 7) & 255)).
Palette ramp_palette();

}  // namespace lecb
