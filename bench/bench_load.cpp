// (b) Loading, unmasking and indexing a 256 MiB file of 4096 costumes,
// against reading the same file into memory with fread.
// (c) Unmasking alone, against memcpy of a buffer of the same size.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "resfile/lecfile.h"

namespace {

constexpr size_t kRooms = 128;
constexpr size_t kCostumesPerRoom = 32;
constexpr size_t kCostumeBlockSize = 64 * 1024;

std::string temp_path;

void remove_temp_file() {
    if (!temp_path.empty()) std::remove(temp_path.c_str());
}

// Writes the file room by room, so that it never has to be whole in memory
// before it is read: LECF { LOFF, 128 x LFLF { ROOM { CLUT }, 32 x COST } },
// each COST block a costume of many images padded to 64 KiB.
const std::string &big_file() {
    if (!temp_path.empty()) return temp_path;
    lecb::Bytes cost = lecb::costume(many_image_costume());
    if (cost.size() > kCostumeBlockSize) std::abort();
    cost.resize(kCostumeBlockSize, 0);
    lecb::put_be32(cost, 4, uint32_t(cost.size()));
    std::vector<lecb::Bytes> lflf_parts{lecb::block("ROOM", {lecb::clut(lecb::ramp_palette())})};
    for (size_t i = 0; i < kCostumesPerRoom; ++i) lflf_parts.push_back(cost);
    const lecb::Bytes room = lecb::mask(lecb::block("LFLF", lflf_parts));

    lecb::Bytes loff_body(1 + 5 * kRooms, 0);
    loff_body[0] = uint8_t(kRooms);
    const lecb::Bytes loff = lecb::block("LOFF", loff_body);
    lecb::Bytes head = lecb::block("LECF", loff);
    lecb::put_be32(head, 4, uint32_t(head.size() + kRooms * room.size()));
    head = lecb::mask(head);

    char name[] = "/tmp/vestrel-bench-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    temp_path = name;
    std::atexit(remove_temp_file);
    FILE *f = std::fopen(name, "wb");
    bool ok = f && std::fwrite(head.data(), 1, head.size(), f) == head.size();
    for (size_t r = 0; ok && r < kRooms; ++r) ok = std::fwrite(room.data(), 1, room.size(), f) == room.size();
    if (!f || std::fclose(f) != 0 || !ok) std::abort();
    return temp_path;
}

long file_bytes(const std::string &path) {
    FILE *f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long n = std::ftell(f);
    std::fclose(f);
    return n;
}

}  // namespace

static void BM_Fread256MiB(benchmark::State &state) {
    const std::string &path = big_file();
    const size_t size = size_t(file_bytes(path));
    for (auto _ : state) {
        auto *data = static_cast<uint8_t *>(std::malloc(size));
        FILE *f = std::fopen(path.c_str(), "rb");
        const size_t got = std::fread(data, 1, size, f);
        std::fclose(f);
        if (got != size) state.SkipWithError("short read");
        benchmark::DoNotOptimize(data);
        std::free(data);
    }
    state.SetBytesProcessed(int64_t(size) * state.iterations());
}
BENCHMARK(BM_Fread256MiB)->Unit(benchmark::kMillisecond);

static void BM_LoadAndIndex256MiB(benchmark::State &state) {
    bench_start();
    const std::string &path = big_file();
    const size_t size = size_t(file_bytes(path));
    for (auto _ : state) {
        if (!load_lec_file(path.c_str())) state.SkipWithError("load failed");
        if (lec_index.count != int32_t(kRooms * kCostumesPerRoom)) state.SkipWithError("wrong costume count");
        release_lec_file();
    }
    state.SetBytesProcessed(int64_t(size) * state.iterations());
    state.counters["costumes"] = double(kRooms * kCostumesPerRoom);
}
BENCHMARK(BM_LoadAndIndex256MiB)->Unit(benchmark::kMillisecond);

namespace {
constexpr size_t kUnmaskBytes = size_t{64} << 20;
}

static void BM_Memcpy(benchmark::State &state) {
    std::vector<uint8_t> src(kUnmaskBytes, 0x5A), dst(kUnmaskBytes, 0);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kUnmaskBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(kUnmaskBytes) * state.iterations());
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

static void BM_Unmask(benchmark::State &state) {
    std::vector<uint8_t> buffer(kUnmaskBytes, 0x5A);
    for (auto _ : state) {
        unmask_buffer(buffer.data(), kUnmaskBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(kUnmaskBytes) * state.iterations());
}
BENCHMARK(BM_Unmask)->Unit(benchmark::kMillisecond);
