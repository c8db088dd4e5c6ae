// LEC file loading and the costume index.
//
// A LEC file is a tree of blocks. Each block opens with an 8-byte header:
//
//   +0  4  tag, four ASCII characters
//   +4  4  size of the whole block, header included, unsigned big-endian
//
// and the next block at the same level starts at start + size. On disk
// every byte is XORed with 0xA7. After unmasking, the file reads:
//
//   0      "LECF" and its size (the size is not used)
//   8      "LOFF" and its size (not used either)
//   16     room count N, one byte
//   17     N room entries of 5 bytes, stepped over
//   17+5N  N "LFLF" blocks, one per room, back to back
//
// An LFLF block holds a "ROOM" block first, then the room's other blocks;
// every "COST" block directly inside LFLF (after ROOM) is a costume. The
// room's palette is the first block directly inside ROOM that is either a
// "CLUT" block or a "PALS" block with an "APAL" block at its offset 16 + S,
// S being the big-endian value at its offset 20 (PALS holds a WRAP block
// whose first child is an offset table of size S, the APAL follows it).
//
// Nothing in the file is trusted to stay inside the buffer: every header is
// checked to lie wholly inside the file and to have a size of at least 8
// (a smaller one would stand still or walk backwards), and a bad one is
// reported with the message of the level where it is met.
#include "resfile/lecfile.h"

#include <allegro.h>
#include <sys/mman.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shell/fatal.h"

uint8_t *lec_buffer = nullptr;
size_t lec_buffer_size = 0;
CostumeIndex lec_index;

namespace {

constexpr size_t kInitialIndexCapacity = 1024;
constexpr size_t kRoomCountOffset = 16;
constexpr size_t kFirstRoomEntry = 17;
constexpr size_t kRoomEntrySize = 5;
// PALS: +16 header of the block that precedes APAL, +20 its size S.
constexpr size_t kPalsInnerOffset = 16;
constexpr size_t kPalsInnerSizeOffset = 20;

constexpr const char *kMsgCannotOpen = "Cannot open LEC file\n";
constexpr const char *kMsgNoMemory = "Not enough memory\n";
constexpr const char *kMsgNotLec = "This is not a valid LEC file\n";
constexpr const char *kMsgBadLoff = "The file has an invalid LOFF block\n";
constexpr const char *kMsgBadLflf = "The file has an invalid LFLF block\n";
constexpr const char *kMsgBadRoom = "The file has an invalid ROOM block\n";

// Reads the header at pos when it lies wholly inside the file and its size
// can step forward (at least its own 8 bytes).
bool read_header(const ByteView &file, size_t pos, BlockHeader &out) {
    if (!file.has(pos, kBlockHeaderSize)) return false;
    std::memcpy(out.tag, file.data + pos, 4);
    out.size = file.be32_at(pos + 4);
    return out.size >= kBlockHeaderSize;
}

bool tag_equals(const BlockHeader &h, const char tag[4]) { return std::memcmp(h.tag, tag, 4) == 0; }

// The palette block of the ROOM block at room, whose size is room_size.
// kNoBlock when the room has none. False on a malformed block inside ROOM.
bool find_room_palette(const ByteView &file, size_t room, uint32_t room_size,
                       BlockLocation &palette) {
    palette = kNoBlock;
    size_t candidate = room + kBlockHeaderSize;
    while (candidate - room < room_size) {
        BlockHeader h;
        if (!read_header(file, candidate, h)) return false;
        if (tag_equals(h, "CLUT")) {
            palette = candidate;
            return true;
        }
        if (tag_equals(h, "PALS")) {
            // A PALS block too short for S, or whose APAL tag would lie
            // past the file's end, is a PALS block without its APAL block.
            uint32_t inner_size;
            if (file.be32(candidate + kPalsInnerSizeOffset, inner_size)) {
                size_t apal = candidate + kPalsInnerOffset + inner_size;
                if (file.tag_is(apal, "APAL")) {
                    palette = apal;
                    return true;
                }
            }
        }
        candidate += h.size;
    }
    return true;
}

// Asks the kernel to back the pages of a large buffer all at once, before
// the file is read into it. Faulting them in one by one during the read and
// again at the first touch of the unmask made loading half as slow again as
// the read alone; in bulk it costs a few per cent. Only a hint: the whole
// pages inside the allocation are given, and a kernel that does not know
// the request (before Linux 5.14) is simply not asked again.
void populate_pages(uint8_t *data, size_t size) {
#ifdef __linux__
    constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE
    constexpr size_t kWorthIt = size_t{1} << 20;
    static bool unsupported = false;
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    if (unsupported || size < kWorthIt) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(page - 1);
    if (begin < end && madvise(reinterpret_cast<void *>(begin), end - begin, kPopulateWrite) != 0 &&
        errno == EINVAL) {
        unsupported = true;
    }
#else
    (void)data;
    (void)size;
#endif
}
}  // namespace

void unmask_buffer(uint8_t *data, size_t size) {
    // Eight bytes at a time; memcpy keeps the loads and stores legal at any
    // alignment and compiles to plain moves.
    constexpr uint64_t mask8 = 0xA7A7A7A7A7A7A7A7ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, data + i, 8);
        word ^= mask8;
        std::memcpy(data + i, &word, 8);
    }
    for (; i < size; ++i) data[i] ^= kLecMask;
}

void release_lec_file() {
    std::free(lec_buffer);
    lec_buffer = nullptr;
    lec_buffer_size = 0;
    lec_index.entries.assign(kInitialIndexCapacity, CostumeEntry{});
    lec_index.count = 0;
}

namespace {

// Walks the rooms of the unmasked file and calls on_costume(costume,
// palette) for every COST block directly inside an LFLF after its ROOM, in
// file order. Returns the message of the first malformed block, or nullptr.
// The checks run in this order and the first that fails is the one named.
template <typename OnCostume>
const char *walk_rooms(const ByteView &file, OnCostume on_costume) {
    if (!file.tag_is(0, "LECF")) return kMsgNotLec;
    if (!file.tag_is(8, "LOFF") || !file.has(kRoomCountOffset, 1)) return kMsgBadLoff;
    const unsigned room_count = file.u8_at(kRoomCountOffset);
    // The first LFLF follows the last room entry directly; the LOFF size
    // is not consulted. Room entries that run past the end are LOFF's fault.
    size_t lflf = kFirstRoomEntry + kRoomEntrySize * room_count;
    if (lflf > file.size) return kMsgBadLoff;

    for (unsigned room = 0; room < room_count; ++room) {
        BlockHeader lflf_header;
        if (!read_header(file, lflf, lflf_header) || !tag_equals(lflf_header, "LFLF")) return kMsgBadLflf;
        const size_t room_block = lflf + kBlockHeaderSize;
        BlockHeader room_header;
        if (!read_header(file, room_block, room_header) || !tag_equals(room_header, "ROOM")) return kMsgBadRoom;
        BlockLocation palette;
        if (!find_room_palette(file, room_block, room_header.size, palette)) return kMsgBadRoom;
        // Costume scan: the blocks directly inside LFLF after ROOM.
        size_t candidate = room_block + room_header.size;
        while (candidate - lflf < lflf_header.size) {
            BlockHeader h;
            if (!read_header(file, candidate, h)) return kMsgBadLflf;
            if (tag_equals(h, "COST")) on_costume(candidate, palette);
            candidate += h.size;
        }
        lflf += lflf_header.size;
    }
    return nullptr;
}

}  // namespace

bool index_lec_buffer() {
    lec_index.entries.assign(kInitialIndexCapacity, CostumeEntry{});
    lec_index.count = 0;
    const ByteView file = lec_view();

    // Count first, then fill an index of exactly that size: a file packed
    // with tiny COST blocks needs 16 bytes of index per 8 bytes of file,
    // and growing the index as it fills would need three times that.
    size_t costumes = 0;
    if (const char *message = walk_rooms(file, [&](BlockLocation, BlockLocation) { ++costumes; })) {
        fatal_error(message);
        return false;
    }
    if (costumes > size_t(INT32_MAX)) {
        fatal_error(kMsgNoMemory);
        return false;
    }
    if (costumes > kInitialIndexCapacity) lec_index.entries.assign(costumes, CostumeEntry{});
    // The file has been walked whole without a fault: this walk cannot fail.
    walk_rooms(file, [](BlockLocation costume_block, BlockLocation palette_block) {
        lec_index.entries[size_t(lec_index.count++)] = CostumeEntry{costume_block, palette_block};
    });
    return true;
}

bool load_lec_buffer(uint8_t *data, size_t size) {
    release_lec_file();
    lec_buffer = data;
    lec_buffer_size = size;
    unmask_buffer(lec_buffer, lec_buffer_size);
    if (!index_lec_buffer()) {
        release_lec_file();
        return false;
    }
    return true;
}

bool load_lec_file(const char *path) {
    release_lec_file();
    // The C library reads the file: the library's packfile reader copies
    // byte by byte through a 4 KiB buffer, which made loading a large file
    // a third slower than reading it.
    FILE *f = std::fopen(path, "rb");
    if (!f) {
        fatal_error(kMsgCannotOpen);
        return false;
    }
    const uint64_t size64 = file_size_ex(path);
    // An empty file cannot be a LEC file; malloc(0) might give none and the
    // file would be reported as a lack of memory.
    if (size64 == 0) {
        std::fclose(f);
        fatal_error(kMsgNotLec);
        return false;
    }
    if (size64 > SIZE_MAX) {
        std::fclose(f);
        fatal_error(kMsgNoMemory);
        return false;
    }
    const size_t size = static_cast<size_t>(size64);
    auto *data = static_cast<uint8_t *>(std::malloc(size));
    if (!data) {
        std::fclose(f);
        fatal_error(kMsgNoMemory);
        return false;
    }
    populate_pages(data, size);
    size_t got = 0;
    while (got < size) {
        const size_t n = std::fread(data + got, 1, size - got, f);
        if (n == 0) break;
        got += n;
    }
    std::fclose(f);
    // A short read (a directory, a file cut while being read) is a file that
    // could not be read.
    if (got != size) {
        std::free(data);
        fatal_error(kMsgCannotOpen);
        return false;
    }
    return load_lec_buffer(data, size);
}
