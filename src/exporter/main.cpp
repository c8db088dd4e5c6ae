// vestrel-export: every costume of a LEC file as PNG or PCX files, with
// the offsets beside them in index.json, without a window or a display.
//
// It shares the viewer's loader, palette loader and decoder. Status 0 on
// success, 1 when anything failed (each failure reported on standard
// error), 2 for a usage error.
#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "exporter/exporter.h"
#include "exporter/options.h"
#include "resfile/lecfile.h"

#ifndef VESTREL_VERSION
#define VESTREL_VERSION "unknown"
#endif

namespace {

int usage_error(const std::string &error) {
    std::fprintf(stderr, "vestrel-export: %s\nTry 'vestrel-export --help' for more information.\n", error.c_str());
    return 2;
}

// Marks the costumes that -c names (all without it). False, reported as a
// usage error, when a number is not in the file.
bool select_costumes(const ExportOptions &options, std::vector<bool> &selected, std::string &error) {
    const int count = lec_index.count;
    selected.assign(size_t(count), options.costumes.empty());
    for (const auto &[low, high] : options.costumes) {
        if (high >= count) {
            const int bad = low >= count ? low : count;
            error = "costume " + std::to_string(bad) + " is not in the file (" +
                    (count == 0 ? std::string("it has no costumes")
                                : "its costumes are 0 to " + std::to_string(count - 1)) +
                    ")";
            return false;
        }
        for (int n = low; n <= high; ++n) selected[size_t(n)] = true;
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    ExportOptions options;
    std::string error;
    switch (parse_options(argc, argv, options, error)) {
        case ParseResult::Help: std::fputs(usage_text(), stdout); return std::fflush(stdout) == 0 ? 0 : 1;
        case ParseResult::Version:
            std::printf("vestrel-export %s\n", VESTREL_VERSION);
            return std::fflush(stdout) == 0 ? 0 : 1;
        case ParseResult::UsageError: return usage_error(error);
        case ParseResult::Run: break;
    }

    // No system driver: memory bitmaps, file functions and the PCX writer
    // are all this program needs of the library.
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        report(-1, "the graphics library did not start");
        return 1;
    }
    // PCX files are written from 32-bit bitmaps, as the viewer's F10 writes
    // them at that depth; PNG files come from 8-bit index bitmaps.
    set_color_depth(32);
    install_report_sink();

    if (!load_lec_file(options.file.c_str())) return 1;
    std::vector<bool> selected;
    if (!select_costumes(options, selected, error)) {
        release_lec_file();
        return usage_error(error);
    }
    std::vector<CostumeSurvey> costumes = survey_costumes(selected);
    const int status = options.list ? print_listing(costumes, options) : export_costumes(costumes, options);
    release_lec_file();
    return status;
}
