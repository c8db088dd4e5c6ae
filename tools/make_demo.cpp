// Writes the demo LEC file (placeholder content, replaced by the drawn demo).
#include <cstdio>

#include "lec_builder.h"

using namespace lecb;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.lec\n");
        return 2;
    }
    CostumeSpec c;
    c.colors = 16;
    for (int i = 0; i < 16; ++i) c.color_map[size_t(i)] = uint8_t(i * 16);
    Image img;
    img.width = 16;
    img.height = 24;
    img.x = -8;
    img.y = -24;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16; ++x) img.pixels.push_back(uint8_t((x + y) % 16));
    c.images = {img};
    c.tables = {{Slot::of(0)}};
    Room room;
    room.room_blocks = {clut(ramp_palette())};
    room.lflf_blocks = {costume(c)};
    return write_file(argv[1], lec_file({room})) ? 0 : 1;
}
