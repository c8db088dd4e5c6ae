#include "test_support.h"

#include <allegro.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "costume/costume.h"
#include "resfile/lecfile.h"
#include "shell/fatal.h"
#include "viewer/viewer.h"

namespace {
std::vector<std::string> fatal_log;
std::vector<std::string> alert_log;

void record_fatal(const char *message) { fatal_log.emplace_back(message); }
void record_alert(const char *a, const char *b, const char *c) {
    alert_log.push_back(std::string(a ? a : "") + "|" + (b ? b : "") + "|" + (c ? c : ""));
}
}  // namespace

void use_depth(int depth) {
    static bool started = false;
    if (!started) {
        if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) throw std::runtime_error("allegro did not start");
        started = true;
    }
    set_color_depth(depth);
}

Recorder::Recorder() {
    fatal_log.clear();
    alert_log.clear();
    clear_fatal_error();
    set_fatal_sink(record_fatal);
    set_alert_sink(record_alert);
}

Recorder::~Recorder() {
    set_fatal_sink(nullptr);
    set_alert_sink(nullptr);
}

const std::vector<std::string> &Recorder::fatals() const { return fatal_log; }
const std::vector<std::string> &Recorder::alerts() const { return alert_log; }

bool load_bytes(const lecb::Bytes &masked_file) {
    auto *data = static_cast<uint8_t *>(std::malloc(masked_file.empty() ? 1 : masked_file.size()));
    if (!masked_file.empty()) std::memcpy(data, masked_file.data(), masked_file.size());
    return load_lec_buffer(data, masked_file.size());
}

lecb::Palette test_palette() {
    lecb::Palette p = lecb::ramp_palette();
    p[map_entry(kMagentaColor)] = lecb::Rgb{255, 0, 255};
    return p;
}

void release_all() {
    release_costume_bitmaps();
    release_lec_file();
}
