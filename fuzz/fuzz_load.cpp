// Fuzz target: load and index a LEC file from memory.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "resfile/lecfile.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (fuzz_load(data, size)) {
        // Every entry must name a COST block inside the buffer.
        const ByteView file = lec_view();
        for (int32_t i = 0; i < lec_index.count; ++i) {
            if (!file.tag_is(lec_index.entries[i].costume_block, "COST")) __builtin_trap();
        }
    }
    release_lec_file();
    return 0;
}
