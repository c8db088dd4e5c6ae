#include "lec_builder.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace lecb {

void put_be32(Bytes &b, size_t pos, uint32_t v) {
    b.at(pos + 3);
    b[pos] = uint8_t(v >> 24);
    b[pos + 1] = uint8_t(v >> 16);
    b[pos + 2] = uint8_t(v >> 8);
    b[pos + 3] = uint8_t(v);
}

void put_le16(Bytes &b, size_t pos, uint16_t v) {
    b.at(pos + 1);
    b[pos] = uint8_t(v);
    b[pos + 1] = uint8_t(v >> 8);
}

void put_tag(Bytes &b, size_t pos, const char *tag) {
    b.at(pos + 3);
    std::memcpy(b.data() + pos, tag, 4);
}

void append(Bytes &to, const Bytes &from) { to.insert(to.end(), from.begin(), from.end()); }

Bytes concat(const std::vector<Bytes> &parts) {
    Bytes out;
    for (const Bytes &p : parts) append(out, p);
    return out;
}

size_t find_tag(const Bytes &b, const char *tag, int nth) {
    for (size_t i = 0; i + 4 <= b.size(); ++i) {
        if (std::memcmp(b.data() + i, tag, 4) == 0 && nth-- == 0) return i;
    }
    return npos;
}

Bytes block(const char *tag, const Bytes &body) {
    Bytes out(8);
    put_tag(out, 0, tag);
    put_be32(out, 4, uint32_t(8 + body.size()));
    append(out, body);
    return out;
}

Bytes block(const char *tag, const std::vector<Bytes> &children) { return block(tag, concat(children)); }

Bytes palette_bytes(const Palette &p) {
    Bytes out;
    out.reserve(768);
    for (const Rgb &c : p) {
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
    return out;
}

Bytes clut(const Palette &p) { return block("CLUT", palette_bytes(p)); }
Bytes apal(const Palette &p) { return block("APAL", palette_bytes(p)); }

Bytes pals(const Palette &p) {
    const Bytes offs = block("OFFS", Bytes{4, 0, 0, 0});
    return block("PALS", {block("WRAP", {offs, apal(p)})});
}

Image image_of(uint16_t w, uint16_t h, int16_t x, int16_t y, const std::function<uint8_t(int, int)> &colour) {
    Image img;
    img.width = w;
    img.height = h;
    img.x = x;
    img.y = y;
    img.pixels.reserve(size_t(w) * h);
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) img.pixels.push_back(colour(col, row));
    }
    return img;
}

Bytes encode_runs(const Image &img, int colors) {
    const int shift = colors == 32 ? 3 : 4;
    const unsigned inline_max = colors == 32 ? 7 : 15;
    Bytes out;
    auto emit = [&](uint8_t c, unsigned length) {
        while (length > 0) {
            const unsigned n = length > 255 ? 255 : length;
            if (n <= inline_max) {
                out.push_back(uint8_t((c << shift) | n));
            } else {
                out.push_back(uint8_t(c << shift));
                out.push_back(uint8_t(n));
            }
            length -= n;
        }
    };
    const size_t total = size_t(img.width) * img.height;
    if (img.pixels.size() != total) throw std::invalid_argument("image pixels do not match its size");
    size_t n = 0;
    while (n < total) {
        auto at = [&](size_t k) { return img.pixels[(k % img.height) * img.width + k / img.height]; };
        const uint8_t c = at(n);
        size_t end = n + 1;
        while (end < total && at(end) == c) ++end;
        emit(c, unsigned(end - n));
        n = end;
    }
    return out;
}

CostumeLayout costume_layout(const CostumeSpec &spec) {
    if (spec.tables.size() > 15) throw std::invalid_argument("at most 15 tables hold images");
    CostumeLayout layout;
    layout.data_start = spec.dott ? 14 : 8;
    layout.table_offsets_at = layout.data_start + 2 + size_t(spec.colors) + 2;
    size_t pos = layout.table_offsets_at + 32;
    for (size_t t = 0; t < 16; ++t) {
        layout.table_lists[t] = pos;
        if (t < spec.tables.size()) pos += 2 * spec.tables[t].size();
    }
    for (const Image &img : spec.images) {
        layout.image_records.push_back(pos);
        pos += 12 + (img.runs ? img.runs->size() : encode_runs(img, spec.colors).size());
    }
    return layout;
}

Bytes costume(const CostumeSpec &spec) {
    const CostumeLayout layout = costume_layout(spec);
    const uint16_t base = spec.dott ? 8 : 2;
    Bytes b(layout.table_offsets_at + 32);
    put_tag(b, 0, "COST");
    // DOTT: four skipped bytes at 8, then the "CO" marker at 12 and 13.
    if (spec.dott) {
        b[12] = 'C';
        b[13] = 'O';
    }
    b[layout.data_start + 1] = uint8_t((spec.colors == 32 ? 1 : 0) | (spec.format_extra & 0xFE));
    std::memcpy(b.data() + layout.data_start + 2, spec.color_map.data(), size_t(spec.colors));
    for (size_t t = 0; t < 16; ++t) {
        put_le16(b, layout.table_offsets_at + 2 * t, uint16_t(layout.table_lists[t] - base));
    }
    for (const auto &table : spec.tables) {
        for (const Slot &s : table) {
            uint16_t stored = 0;
            if (s.stored) {
                stored = *s.stored;
            } else if (s.image >= 0) {
                stored = uint16_t(layout.image_records.at(size_t(s.image)) - base);
            }
            b.push_back(uint8_t(stored));
            b.push_back(uint8_t(stored >> 8));
        }
    }
    for (const Image &img : spec.images) {
        Bytes rec(12);
        put_le16(rec, 0, img.width);
        put_le16(rec, 2, img.height);
        put_le16(rec, 4, uint16_t(img.x));
        put_le16(rec, 6, uint16_t(img.y));
        put_le16(rec, 8, img.move_x);
        put_le16(rec, 10, img.move_y);
        append(b, rec);
        append(b, img.runs ? *img.runs : encode_runs(img, spec.colors));
    }
    put_be32(b, 4, uint32_t(b.size()));
    return b;
}

Bytes lec_unmasked(const std::vector<Room> &rooms) {
    if (rooms.size() > 255) throw std::invalid_argument("at most 255 rooms");
    Bytes loff_body{uint8_t(rooms.size())};
    for (size_t i = 0; i < rooms.size(); ++i) {
        // Room number and the LFLF's offset; the reader steps over them.
        const Bytes entry{uint8_t(i + 1), 0, 0, 0, 0};
        append(loff_body, entry);
    }
    std::vector<Bytes> parts{block("LOFF", loff_body)};
    for (const Room &room : rooms) {
        std::vector<Bytes> lflf{block("ROOM", room.room_blocks)};
        for (const Bytes &b : room.lflf_blocks) lflf.push_back(b);
        parts.push_back(block("LFLF", lflf));
    }
    return block("LECF", parts);
}

Bytes mask(Bytes b) {
    for (uint8_t &x : b) x ^= 0xA7;
    return b;
}

Bytes lec_file(const std::vector<Room> &rooms) { return mask(lec_unmasked(rooms)); }

bool write_file(const std::string &path, const Bytes &b) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

Palette ramp_palette() {
    Palette p;
    for (int i = 0; i < 256; ++i) p[size_t(i)] = Rgb{uint8_t(i), uint8_t(255 - i), uint8_t((i * 7) & 255)};
    return p;
}

}  // namespace lecb
