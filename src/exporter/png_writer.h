// Indexed PNG images, written whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngColor {
    uint8_t r, g, b;
};

struct IndexedImage {
    uint32_t width = 0, height = 0;
    std::vector<const uint8_t *> rows;  // height rows of width indices
    std::vector<PngColor> palette;      // 1 to 256 entries
    // Alpha of the first entries of the palette (a tRNS chunk); the rest
    // are opaque. Empty for an opaque image.
    std::vector<uint8_t> alpha;
};

// Writes image as an 8-bit palette PNG at path. False with error set.
bool write_indexed_png(const std::string &path, const IndexedImage &image, std::string &error);
