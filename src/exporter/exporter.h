// vestrel-export: the costumes of a loaded LEC file as image files, or as
// a listing. Works on the loaded file (lec_buffer, lec_index) through the
// viewer's own palette loader and decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "costume/costume.h"
#include "costume/palette.h"
#include "exporter/options.h"
#include "exporter/png_writer.h"

// One valid image of a costume and where it goes.
struct ImageEntry {
    int table = 0, slot = 0;
    uint16_t width = 0, height = 0;
    int16_t x = 0, y = 0;
    int row = 0, column = 0;  // its cell on the costume's sheet
    std::string file;         // file name, set when written
};

// A costume's sprite sheet: one row per table with a valid image, one
// cell per valid image, all cells of one size. The reference point lies
// at (origin_x, origin_y) in every cell and each image is placed at its
// offsets from it, so that frames line up as on the viewer's crosshair.
// The cell is the smallest box that holds every image when so placed; the
// reference point may lie outside it (origin_x or origin_y below 0 or past
// the cell) when every image lies to one side of it.
struct SheetLayout {
    int rows = 0, columns = 0;
    int64_t cell_width = 0, cell_height = 0;
    int64_t origin_x = 0, origin_y = 0;
    std::vector<int> tables;  // the table of each row
    uint64_t pixels() const {
        return uint64_t(columns) * uint64_t(cell_width) * uint64_t(rows) * uint64_t(cell_height);
    }
};

// What the first pass learns of one costume.
struct CostumeSurvey {
    int number = 0;
    int room = -1;                 // LFLF position
    const char *palette_kind = ""; // "CLUT", "APAL" or "none"
    bool selected = false;
    bool decoded = false;          // selected and decoded without a failure
    std::string error;             // the failure's message, without line feed
    CostumeMode mode = CostumeMode::MI2;
    int colors = 0;
    uint8_t color_map[32] = {};
    PngColor rgb[32] = {};         // color_map through the room palette
    RoomPalette palette{};         // the palette in force for this costume
    int tables_with_images = 0;    // tables with at least one valid image
    std::vector<ImageEntry> images;
    SheetLayout sheet;
};

// Messages on standard error: "vestrel-export: [costume N: ]message".
void report(int costume, const std::string &message);
// Makes fatal_error print through report (for the costume being worked
// on, see set_report_costume) instead of showing a message box.
void install_report_sink();
// The costume that fatal messages are about: a number, -1 for none, or
// kSilentReports while work on unselected costumes goes on.
constexpr int kSilentReports = -2;
void set_report_costume(int costume);

// Walks every costume of the index in order, loading each room palette
// (so that a room without one keeps the palette in force, as paging from
// the first costume gives) and decoding the selected ones.
std::vector<CostumeSurvey> survey_costumes(const std::vector<bool> &selected);

// --list and --list --json to standard output. Returns the exit status.
int print_listing(const std::vector<CostumeSurvey> &costumes, const ExportOptions &options);

// The export itself. Returns the exit status.
int export_costumes(std::vector<CostumeSurvey> &costumes, const ExportOptions &options);
