// Helpers shared by the unit tests: the library without a display, a
// recorder for fatal messages and alerts, and loading built files.
#pragma once

#include <string>
#include <vector>

#include "lec_builder.h"

// Starts Allegro once with no system driver (memory bitmaps only) and sets
// the colour depth for bitmaps made from now on.
void use_depth(int depth);

// While alive, fatal messages are recorded instead of shown, and alerts of
// the export are recorded instead of opened.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Every fatal message since construction, in order.
    const std::vector<std::string> &fatals() const;
    // Every alert since construction as "line1|line2|line3" ("" for none).
    const std::vector<std::string> &alerts() const;
};

// Copies the (masked) file into a fresh buffer and loads it as
// load_lec_file would after reading it. Returns load_lec_buffer's result.
bool load_bytes(const lecb::Bytes &masked_file);

// A colour map and room palette for screen and export tests: colour-map
// entry c names palette entry 8c + 3 of the ramp palette, except that the
// entry named by kMagentaColor is the library's mask colour (255, 0, 255).
constexpr int kMagentaColor = 5;
inline uint8_t map_entry(int c) { return uint8_t(8 * c + 3); }
lecb::Palette test_palette();

// Releases the costume's bitmaps and the file buffer.
void release_all();
