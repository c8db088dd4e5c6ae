// Writes the seed corpus of the fuzz targets: small LEC files of every kind
// the loader and the decoder know, unmasked (the targets mask their input
// before loading it, see fuzz_support.h).
//
//   write_fuzz_seeds <directory>
#include <cstdio>
#include <string>
#include <vector>

#include "lec_builder.h"

using namespace lecb;

namespace {

// A w x h image whose pixels cycle through the colours in stripes, so that
// runs of several lengths (inline and with a length byte) occur.
Image striped(uint16_t w, uint16_t h, int colors, int16_t x, int16_t y) {
    return image_of(w, h, x, y, [=](int col, int row) {
        const size_t i = size_t(row) * w + size_t(col);
        return uint8_t((i / 7 + i / 23) % unsigned(colors));
    });
}

CostumeSpec base_costume(bool dott, int colors) {
    CostumeSpec c;
    c.dott = dott;
    c.colors = colors;
    for (int i = 0; i < 32; ++i) c.color_map[size_t(i)] = uint8_t(i * 5 + 3);
    c.images = {striped(4, 3, colors, 0, 0), striped(9, 17, colors, -4, -16), striped(1, 40, colors, 2, -3)};
    c.tables = {{Slot::of(0), Slot::of(1)}, {}, {Slot::none(), Slot::of(2), Slot::of(0)}};
    return c;
}

Bytes other(const char *tag, size_t n) { return block(tag, Bytes(n, 0x11)); }


}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const Palette pal = ramp_palette();
    std::vector<std::pair<std::string, Bytes>> seeds;
    auto add = [&](const std::string &name, const std::vector<Room> &rooms) {
        seeds.emplace_back(name, lec_unmasked(rooms));
    };

    add("no_rooms", {});
    add("room_without_costume", {Room{{clut(pal)}, {}}});

    // Each layout at each colour count, under each kind of palette.
    for (bool dott : {false, true}) {
        for (int colors : {16, 32}) {
            const std::string name = std::string(dott ? "dott" : "mi2") + "_" + std::to_string(colors);
            const Bytes cost = costume(base_costume(dott, colors));
            add(name + "_clut", {Room{{clut(pal)}, {cost}}});
            add(name + "_pals", {Room{{pals(pal)}, {cost}}});
            add(name + "_no_palette", {Room{{other("RMHD", 6)}, {cost}}});
        }
    }

    // Slots without images, zero sizes, raw top offsets, the format byte's
    // other bits, an overrunning last run and empty runs.
    {
        CostumeSpec c = base_costume(false, 16);
        c.format_extra = 0x80;
        Image zero_w = striped(1, 1, 16, 0, 0);
        zero_w.width = 0;
        zero_w.pixels.clear();
        zero_w.runs = Bytes{0x11};
        Image zero_h = zero_w;
        zero_h.width = 5;
        zero_h.height = 0;
        Image overrun = striped(2, 2, 16, 0, 0);
        overrun.runs = Bytes{0x13, 0x25, 0x30, 0x00, 0x41};
        c.images.push_back(zero_w);
        c.images.push_back(zero_h);
        c.images.push_back(overrun);
        c.tables.push_back({Slot::of(3), Slot::of(4), Slot::raw(0xFFFF), Slot::raw(0xFFFE), Slot::of(5)});
        add("mi2_odd_slots", {Room{{clut(pal)}, {costume(c)}}});
        CostumeSpec d = c;
        d.dott = true;
        d.colors = 32;
        d.format_extra = 0x80;
        d.tables.back().push_back(Slot::raw(0xFFF9));
        add("dott_odd_slots", {Room{{pals(pal)}, {costume(d)}}});
    }

    // An MI2 colour map whose entries 2 and 3 spell "CO": read as DOTT.
    {
        CostumeSpec c = base_costume(false, 16);
        c.color_map[2] = 'C';
        c.color_map[3] = 'O';
        add("mi2_map_spells_co", {Room{{clut(pal)}, {costume(c)}}});
    }

    // Many tables, each with one image; a costume of only empty slots.
    {
        CostumeSpec c = base_costume(true, 16);
        c.tables.clear();
        for (int t = 0; t < 15; ++t) c.tables.push_back({Slot::of(t % 3)});
        CostumeSpec empty = base_costume(false, 32);
        empty.tables = {{Slot::none(), Slot::none()}};
        add("fifteen_tables_and_empty", {Room{{clut(pal)}, {costume(c), costume(empty)}}});
    }

    // Several rooms: palettes found anew per room (CLUT, PALS first, none),
    // blocks of other kinds between costumes, a COST inside ROOM (not a
    // costume) and a PALS without its APAL before a CLUT.
    {
        const Bytes mi2 = costume(base_costume(false, 16));
        const Bytes dott = costume(base_costume(true, 32));
        Bytes broken_pals = pals(pal);
        put_tag(broken_pals, find_tag(broken_pals, "APAL"), "XPAL");
        add("three_rooms",
            {Room{{other("RMHD", 6), clut(pal), pals(pal)}, {mi2, other("SCRP", 10), dott}},
             Room{{pals(pal), clut(pal), mi2}, {other("SOUN", 3), dott}},
             Room{{broken_pals, clut(pal)}, {mi2}},
             Room{{}, {dott, mi2}}});
    }

    int failed = 0;
    for (const auto &[name, bytes] : seeds) {
        if (!write_file(dir + "/" + name + ".lec", bytes)) {
            std::fprintf(stderr, "cannot write %s/%s.lec\n", dir.c_str(), name.c_str());
            ++failed;
        }
    }
    std::printf("%zu seeds written to %s\n", seeds.size() - size_t(failed), dir.c_str());
    return failed ? 1 : 0;
}
