// Shared set-up of the benchmarks.
#pragma once

#include <cstdint>

#include "lec_builder.h"

// Starts Allegro without a display (memory bitmaps only) at 32 bits per
// pixel, once; a fatal message ends the run, since a benchmark over a
// failed load would measure nothing.
void bench_start();

// Loads the (masked) file bytes as the program would after reading them.
void bench_load_bytes(const lecb::Bytes &masked_file);

// A costume of many images with run lengths like those of drawn sprites:
// 15 tables of 8 images of 24 to 40 x 40 to 72 pixels, 16 colours, in a
// block of under 64 KiB.
lecb::CostumeSpec many_image_costume();
