// Bounds-checked reads of the file buffer.
//
// Every read of the LEC file goes through a ByteView: it knows where the
// buffer ends, answers whether a range lies inside it, and never reads past
// it. Positions are size_t offsets from the start of the buffer, so they
// cannot wrap on files of 4 GiB and more; a range check never forms a
// position beyond the end (pos + n is not computed before pos is known to
// be inside).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct ByteView {
    const uint8_t *data = nullptr;
    size_t size = 0;

    // True when the n bytes from pos lie wholly inside the buffer.
    bool has(size_t pos, size_t n) const { return pos <= size && n <= size - pos; }

    // The unchecked readers below are for positions already checked with
    // has(); the checked ones return false and leave out unchanged.
    uint8_t u8_at(size_t pos) const { return data[pos]; }
    uint16_t le16_at(size_t pos) const {
        return static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
    }
    uint32_t be32_at(size_t pos) const {
        return (uint32_t{data[pos]} << 24) | (uint32_t{data[pos + 1]} << 16) |
               (uint32_t{data[pos + 2]} << 8) | uint32_t{data[pos + 3]};
    }

    bool u8(size_t pos, uint8_t &out) const {
        if (!has(pos, 1)) return false;
        out = u8_at(pos);
        return true;
    }
    bool le16(size_t pos, uint16_t &out) const {
        if (!has(pos, 2)) return false;
        out = le16_at(pos);
        return true;
    }
    bool be32(size_t pos, uint32_t &out) const {
        if (!has(pos, 4)) return false;
        out = be32_at(pos);
        return true;
    }
    // A tag matches when its four bytes equal the four characters, case
    // sensitive; a tag that does not lie inside the buffer matches nothing.
    bool tag_is(size_t pos, const char tag[4]) const {
        return has(pos, 4) && std::memcmp(data + pos, tag, 4) == 0;
    }
};
