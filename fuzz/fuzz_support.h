// What both fuzz targets share: the library without a display, a fatal sink
// that records instead of exiting, and loading an input as a LEC file.
#pragma once

#include <cstddef>
#include <cstdint>

// Starts Allegro with no system driver, so that only memory bitmaps exist,
// at 32 bits per pixel, and routes fatal messages to a sink that returns.
void fuzz_start();

// Loads the input as the unmasked bytes of a LEC file. The inputs are kept
// unmasked so that the fuzzer's comparison feedback (the tags it sees in
// memcmp) lands in the input as the loader will read it; the copy is masked
// here and unmasked again by the loader. The copy is exactly size bytes
// long, so that a read one past the end is caught.
bool fuzz_load(const uint8_t *data, size_t size);
