// The LEC file: loaded whole, unmasked, and indexed by its costumes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "resfile/byte_reader.h"

// A location in the file buffer: the offset of a block's first tag byte.
using BlockLocation = size_t;
constexpr BlockLocation kNoBlock = static_cast<size_t>(-1);

// The 8 bytes that open every block: a 4-character tag, then the length of
// the whole block (these 8 bytes included), unsigned 32-bit big-endian.
struct BlockHeader {
    char tag[4];
    uint32_t size;
};
constexpr size_t kBlockHeaderSize = 8;

struct CostumeEntry {
    BlockLocation costume_block = kNoBlock;  // its COST block
    BlockLocation palette_block = kNoBlock;  // CLUT or APAL of its room, or none
};

// The costumes of the file in file order. It starts with room for 1024
// entries and grows past that: a file with more costumes loses none.
struct CostumeIndex {
    std::vector<CostumeEntry> entries;
    int32_t count = 0;
};

// The whole file, unmasked, in one allocation. Read only after loading.
extern uint8_t *lec_buffer;
extern size_t lec_buffer_size;
extern CostumeIndex lec_index;

// The whole buffer as a bounds-checked view.
inline ByteView lec_view() { return ByteView{lec_buffer, lec_buffer_size}; }

// Every byte of the file is XORed with this on disk.
constexpr uint8_t kLecMask = 0xA7;

// Reads path whole, unmasks it and indexes it. False after a failure that
// has been reported through fatal_error (the buffer is released then).
bool load_lec_file(const char *path);

// The same from a buffer already in memory: takes ownership of data (from
// malloc), unmasks it in place and indexes it. Used by load_lec_file and by
// callers that do not read from disk.
bool load_lec_buffer(uint8_t *data, size_t size);

// XORs size bytes with the mask, in place.
void unmask_buffer(uint8_t *data, size_t size);

// Indexes the unmasked lec_buffer; false after a reported failure (the
// buffer is not released here).
bool index_lec_buffer();

// Frees the file buffer and empties the index.
void release_lec_file();
