#include "exporter/exporter.h"

#include <allegro.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "exporter/json.h"
#include "exporter/output_file.h"
#include "resfile/lecfile.h"
#include "shell/fatal.h"
#include "viewer/viewer.h"

namespace {

int report_costume = -1;
bool progress_shown = false;

// Progress goes to a terminal only, on one line rewritten in place; it is
// wiped before any other message.
void clear_progress() {
    if (!progress_shown) return;
    std::fputs("\r\033[K", stderr);
    progress_shown = false;
}

void show_progress(int n, int total) {
    std::fprintf(stderr, "\rcostume %d of %d", n, total);
    std::fflush(stderr);
    progress_shown = true;
}

void report_sink(const char *message) {
    if (report_costume == kSilentReports) return;
    std::string text = message;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    report(report_costume, text);
}

std::string without_line_feed(const char *message) {
    std::string text = message ? message : "";
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The start of every room's LFLF block, in file order. The loader has
// walked the same chain, so every header read here lies inside the file.
std::vector<size_t> room_starts() {
    const ByteView file = lec_view();
    std::vector<size_t> starts;
    uint8_t rooms;
    if (!file.u8(16, rooms)) return starts;
    size_t pos = 17 + 5 * size_t(rooms);
    for (unsigned r = 0; r < rooms; ++r) {
        uint32_t size;
        if (!file.be32(pos + 4, size) || size < 8) break;
        starts.push_back(pos);
        pos += size;
    }
    return starts;
}

int room_of(const std::vector<size_t> &starts, size_t block) {
    return int(std::upper_bound(starts.begin(), starts.end(), block) - starts.begin()) - 1;
}

const char *palette_kind(BlockLocation palette_block) {
    if (palette_block == kNoBlock) return "none";
    return lec_view().tag_is(palette_block, "CLUT") ? "CLUT" : "APAL";
}

const char *layout_name(CostumeMode mode) { return mode == CostumeMode::DOTT ? "DOTT" : "MI2"; }

// Records the valid images of the decoded costume and lays out its sheet.
void take_images(CostumeSurvey &s) {
    SheetLayout &sheet = s.sheet;
    int64_t min_x = INT64_MAX, min_y = INT64_MAX, max_x = INT64_MIN, max_y = INT64_MIN;
    for (int t = 0; t < kTableCount; ++t) {
        const CostumeTable &table = costume.tables[t];
        int column = 0;
        for (int i = 0; i < table.image_count; ++i) {
            const ImageSlot &slot = table.slots[i];
            if (!slot.valid) continue;
            ImageEntry e;
            e.table = t;
            e.slot = i;
            e.width = slot.width;
            e.height = slot.height;
            e.x = slot.x;
            e.y = slot.y;
            e.row = sheet.rows;
            e.column = column++;
            s.images.push_back(e);
            min_x = std::min<int64_t>(min_x, slot.x);
            min_y = std::min<int64_t>(min_y, slot.y);
            max_x = std::max<int64_t>(max_x, int64_t(slot.x) + slot.width);
            max_y = std::max<int64_t>(max_y, int64_t(slot.y) + slot.height);
        }
        if (column > 0) {
            sheet.tables.push_back(t);
            ++sheet.rows;
            sheet.columns = std::max(sheet.columns, column);
        }
    }
    s.tables_with_images = sheet.rows;
    if (s.images.empty()) return;
    sheet.cell_width = max_x - min_x;
    sheet.cell_height = max_y - min_y;
    sheet.origin_x = -min_x;
    sheet.origin_y = -min_y;
}

std::string plural(long n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// --- Writing. ---

std::string image_name(int costume_number, const ImageEntry &e, ImageFormat format) {
    char name[64];
    std::snprintf(name, sizeof name, "c%d_t%d_i%d.%s", costume_number, e.table, e.slot,
                  format == ImageFormat::Png ? "png" : "pcx");
    return name;
}

std::string sheet_name(int costume_number) { return "c" + std::to_string(costume_number) + "_sheet.png"; }

// Alpha entries for a tRNS chunk that makes index `clear` transparent.
std::vector<uint8_t> alpha_for(int clear) {
    if (clear < 0) return {};
    std::vector<uint8_t> alpha(size_t(clear) + 1, 255);
    alpha[size_t(clear)] = 0;
    return alpha;
}

// Pixels that no run reached are black in the viewer; they carry
// kUnpaintedIndex in the indexed bitmaps, which only a damaged costume
// has. Only then does the palette grow to reach that index, in black.
void cover_unpainted(IndexedImage &image) {
    for (const uint8_t *row : image.rows) {
        if (std::memchr(row, kUnpaintedIndex, image.width)) {
            image.palette.resize(size_t(kUnpaintedIndex) + 1, PngColor{0, 0, 0});
            return;
        }
    }
}

// A slot's 8-bit bitmap of colour-map indices as a PNG with the costume's
// colours. The transparent index only counts when the costume has it.
bool write_slot_png(const std::string &path, const CostumeSurvey &s, BITMAP *bmp, int transparent,
                    std::string &error) {
    IndexedImage image;
    image.width = uint32_t(bmp->w);
    image.height = uint32_t(bmp->h);
    for (int y = 0; y < bmp->h; ++y) image.rows.push_back(bmp->line[y]);
    image.palette.assign(s.rgb, s.rgb + s.colors);
    if (transparent < s.colors) image.alpha = alpha_for(transparent);
    cover_unpainted(image);
    return write_indexed_png(path, image, error);
}

// The sheet as one PNG: the costume's colours, then one more entry for
// the background between and around the images, always transparent and
// bright magenta (the library's mask colour) for tools that ignore alpha.
bool write_sheet_png(const std::string &path, const CostumeSurvey &s, int transparent, std::string &error) {
    const SheetLayout &sheet = s.sheet;
    const size_t width = size_t(sheet.columns) * size_t(sheet.cell_width);
    const size_t height = size_t(sheet.rows) * size_t(sheet.cell_height);
    const uint8_t background = uint8_t(s.colors);
    std::vector<uint8_t> pixels(width * height, background);
    for (const ImageEntry &e : s.images) {
        const BITMAP *bmp = costume.tables[e.table].slots[e.slot].bitmap;
        if (!bmp || bmp->w != e.width || bmp->h != e.height) {
            error = "the costume decoded differently the second time";
            return false;
        }
        const size_t left = size_t(e.column) * size_t(sheet.cell_width) + size_t(sheet.origin_x + e.x);
        const size_t top = size_t(e.row) * size_t(sheet.cell_height) + size_t(sheet.origin_y + e.y);
        for (int y = 0; y < bmp->h; ++y) std::memcpy(&pixels[(top + size_t(y)) * width + left], bmp->line[y], size_t(bmp->w));
    }
    IndexedImage image;
    image.width = uint32_t(width);
    image.height = uint32_t(height);
    for (size_t y = 0; y < height; ++y) image.rows.push_back(&pixels[y * width]);
    image.palette.assign(s.rgb, s.rgb + s.colors);
    image.palette.push_back(PngColor{255, 0, 255});
    image.alpha.assign(size_t(s.colors) + 1, 255);
    image.alpha[background] = 0;
    if (transparent >= 0 && transparent < s.colors) image.alpha[size_t(transparent)] = 0;
    cover_unpainted(image);
    return write_indexed_png(path, image, error);
}

bool sheet_wanted(const CostumeSurvey &s, const ExportOptions &options) {
    return options.sheet && !s.images.empty() && s.sheet.pixels() <= kCostumePixelCap;
}

// Every file the run would write, in the order it writes them.
std::vector<std::string> planned_files(const std::vector<CostumeSurvey> &costumes, const ExportOptions &options) {
    std::vector<std::string> files;
    for (const CostumeSurvey &s : costumes) {
        if (!s.decoded) continue;
        for (const ImageEntry &e : s.images) files.push_back(join_path(options.output_dir, image_name(s.number, e, options.format)));
        if (sheet_wanted(s, options)) files.push_back(join_path(options.output_dir, sheet_name(s.number)));
    }
    files.push_back(join_path(options.output_dir, "index.json"));
    return files;
}

struct CostumeResult {
    bool exported = false;
    bool sheet_written = false;
};

// Writes one costume's images and sheet. False when anything failed (each
// failure reported); the images that were written have their file set.
bool export_one(CostumeSurvey &s, const ExportOptions &options, CostumeResult &result) {
    bool ok = true;
    const bool png = options.format == ImageFormat::Png;
    const bool sheet = sheet_wanted(s, options);
    if (options.sheet && !s.images.empty() && !sheet) {
        report(s.number, "the sheet would be " + std::to_string(s.sheet.columns * s.sheet.cell_width) + " x " +
                             std::to_string(s.sheet.rows * s.sheet.cell_height) + " pixels, too large; not written");
        ok = false;
    }
    room_palette = s.palette;
    std::string error;
    if (png || sheet) {
        if (!decode_costume_indexed(lec_index.entries[size_t(s.number)].costume_block)) {
            release_costume_bitmaps();
            return false;
        }
        if (png) {
            for (ImageEntry &e : s.images) {
                const std::string name = image_name(s.number, e, options.format);
                const std::string path = join_path(options.output_dir, name);
                if (write_slot_png(path, s, costume.tables[e.table].slots[e.slot].bitmap, options.transparent, error)) {
                    e.file = name;
                } else {
                    report(s.number, "cannot write " + path + ": " + error);
                    ok = false;
                }
            }
        }
        if (sheet) {
            const std::string path = join_path(options.output_dir, sheet_name(s.number));
            if (write_sheet_png(path, s, options.transparent, error)) {
                result.sheet_written = true;
            } else {
                report(s.number, "cannot write " + path + ": " + error);
                ok = false;
            }
        }
        release_costume_bitmaps();
    }
    if (!png) {
        // Colours at 32 bits per pixel, exactly as the viewer's F10 writes them.
        if (!decode_costume(lec_index.entries[size_t(s.number)].costume_block)) {
            release_costume_bitmaps();
            return false;
        }
        for (ImageEntry &e : s.images) {
            const std::string name = image_name(s.number, e, options.format);
            const std::string path = join_path(options.output_dir, name);
            if (write_pcx_whole(path.c_str(), costume.tables[e.table].slots[e.slot].bitmap)) {
                e.file = name;
            } else {
                report(s.number, "cannot write " + path);
                ok = false;
            }
        }
        release_costume_bitmaps();
    }
    result.exported = true;
    return ok;
}

void append_color_map(std::string &out, const CostumeSurvey &s) {
    out += "      \"color_map\": [";
    for (int c = 0; c < s.colors; ++c) {
        out += (c ? ", [" : "[") + std::to_string(s.rgb[c].r) + ", " + std::to_string(s.rgb[c].g) + ", " +
               std::to_string(s.rgb[c].b) + "]";
    }
    out += "],\n      \"palette_indices\": [";
    for (int c = 0; c < s.colors; ++c) out += (c ? ", " : "") + std::to_string(s.color_map[c]);
    out += "],\n";
}

std::string index_json(const std::vector<CostumeSurvey> &costumes, const std::vector<CostumeResult> &results,
                       const ExportOptions &options) {
    std::string out = "{\n  \"source\": " + json_quote(options.file) + ",\n";
    out += std::string("  \"format\": \"") + (options.format == ImageFormat::Png ? "png" : "pcx") + "\",\n";
    out += "  \"transparent\": " + (options.transparent < 0 ? std::string("null") : std::to_string(options.transparent)) + ",\n";
    out += "  \"costumes\": [";
    bool first = true;
    for (size_t k = 0; k < costumes.size(); ++k) {
        const CostumeSurvey &s = costumes[k];
        if (!results[k].exported) continue;
        out += first ? "\n    {\n" : ",\n    {\n";
        first = false;
        out += "      \"number\": " + std::to_string(s.number) + ",\n";
        out += "      \"room\": " + std::to_string(s.room) + ",\n";
        out += std::string("      \"palette\": \"") + s.palette_kind + "\",\n";
        out += std::string("      \"layout\": \"") + layout_name(s.mode) + "\",\n";
        out += "      \"colors\": " + std::to_string(s.colors) + ",\n";
        append_color_map(out, s);
        if (results[k].sheet_written) {
            const SheetLayout &sh = s.sheet;
            out += "      \"sheet\": {\"file\": " + json_quote(sheet_name(s.number)) +
                   ", \"rows\": " + std::to_string(sh.rows) + ", \"columns\": " + std::to_string(sh.columns) +
                   ", \"cell_width\": " + std::to_string(sh.cell_width) +
                   ", \"cell_height\": " + std::to_string(sh.cell_height) +
                   ", \"origin_x\": " + std::to_string(sh.origin_x) + ", \"origin_y\": " + std::to_string(sh.origin_y) +
                   ", \"tables\": [";
            for (size_t r = 0; r < sh.tables.size(); ++r) out += (r ? ", " : "") + std::to_string(sh.tables[r]);
            out += "]},\n";
        }
        out += "      \"images\": [";
        bool first_image = true;
        for (const ImageEntry &e : s.images) {
            if (e.file.empty()) continue;
            out += first_image ? "\n" : ",\n";
            first_image = false;
            out += "        {\"table\": " + std::to_string(e.table) + ", \"slot\": " + std::to_string(e.slot) +
                   ", \"width\": " + std::to_string(e.width) + ", \"height\": " + std::to_string(e.height) +
                   ", \"x\": " + std::to_string(e.x) + ", \"y\": " + std::to_string(e.y) +
                   ", \"file\": " + json_quote(e.file);
            if (results[k].sheet_written)
                out += ", \"cell\": {\"row\": " + std::to_string(e.row) + ", \"column\": " + std::to_string(e.column) + "}";
            out += "}";
        }
        out += first_image ? "]\n    }" : "\n      ]\n    }";
    }
    out += first ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

}  // namespace

void report(int costume_number, const std::string &message) {
    clear_progress();
    if (costume_number >= 0) {
        std::fprintf(stderr, "vestrel-export: costume %d: %s\n", costume_number, message.c_str());
    } else {
        std::fprintf(stderr, "vestrel-export: %s\n", message.c_str());
    }
}

void install_report_sink() { set_fatal_sink(report_sink); }
void set_report_costume(int costume_number) { report_costume = costume_number; }

std::vector<CostumeSurvey> survey_costumes(const std::vector<bool> &selected) {
    const std::vector<size_t> starts = room_starts();
    std::vector<CostumeSurvey> costumes(size_t(lec_index.count));
    for (int i = 0; i < lec_index.count; ++i) {
        const CostumeEntry &entry = lec_index.entries[size_t(i)];
        CostumeSurvey &s = costumes[size_t(i)];
        s.number = i;
        s.room = room_of(starts, entry.costume_block);
        s.palette_kind = palette_kind(entry.palette_block);
        s.selected = selected[size_t(i)];
        // Every palette is loaded, also for costumes not exported, so that
        // the palette in force is the one paging from the first costume
        // gives. A bad one of a costume not asked for is not its failure.
        set_report_costume(s.selected ? i : kSilentReports);
        clear_fatal_error();
        if (!load_room_palette(entry.palette_block)) {
            s.error = without_line_feed(last_fatal_error());
            continue;
        }
        if (!s.selected) continue;
        if (!decode_costume_indexed(entry.costume_block)) {
            s.error = without_line_feed(last_fatal_error());
            release_costume_bitmaps();
            continue;
        }
        s.decoded = true;
        s.mode = costume.mode;
        s.colors = costume.color_count;
        s.palette = room_palette;
        for (int c = 0; c < s.colors; ++c) {
            s.color_map[c] = costume.color_map[c];
            const PaletteEntry &p = room_palette.entries[costume.color_map[c]];
            s.rgb[c] = PngColor{p.r, p.g, p.b};
        }
        take_images(s);
        release_costume_bitmaps();
    }
    set_report_costume(-1);
    return costumes;
}

int print_listing(const std::vector<CostumeSurvey> &costumes, const ExportOptions &options) {
    long listed = 0, tables = 0, images = 0, failed = 0;
    for (const CostumeSurvey &s : costumes) {
        if (!s.selected) continue;
        ++listed;
        if (!s.decoded) ++failed;
        tables += s.tables_with_images;
        images += long(s.images.size());
    }
    if (options.json) {
        std::string out = "{\n  \"file\": " + json_quote(options.file) + ",\n  \"costumes\": [";
        bool first = true;
        for (const CostumeSurvey &s : costumes) {
            if (!s.selected) continue;
            out += first ? "\n    " : ",\n    ";
            first = false;
            out += "{\"number\": " + std::to_string(s.number) + ", \"room\": " + std::to_string(s.room) +
                   ", \"palette\": \"" + s.palette_kind + "\"";
            if (s.decoded) {
                out += std::string(", \"layout\": \"") + layout_name(s.mode) + "\", \"colors\": " + std::to_string(s.colors) +
                       ", \"tables_with_images\": " + std::to_string(s.tables_with_images) +
                       ", \"valid_images\": " + std::to_string(s.images.size());
            } else {
                out += ", \"error\": " + json_quote(s.error);
            }
            out += "}";
        }
        out += first ? "],\n" : "\n  ],\n";
        out += "  \"total\": {\"costumes\": " + std::to_string(listed) + ", \"tables_with_images\": " +
               std::to_string(tables) + ", \"valid_images\": " + std::to_string(images) +
               ", \"failed\": " + std::to_string(failed) + "}\n}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        std::printf("costume  room  palette  layout  colours  tables  images\n");
        for (const CostumeSurvey &s : costumes) {
            if (!s.selected) continue;
            if (s.decoded) {
                std::printf("%7d  %4d  %-7s  %-6s  %7d  %6d  %6zu\n", s.number, s.room, s.palette_kind,
                            layout_name(s.mode), s.colors, s.tables_with_images, s.images.size());
            } else {
                std::printf("%7d  %4d  %-7s  not decoded: %s\n", s.number, s.room, s.palette_kind, s.error.c_str());
            }
        }
        std::printf("total: %s, %s with images, %s", plural(listed, "costume", "costumes").c_str(),
                    plural(tables, "table", "tables").c_str(), plural(images, "valid image", "valid images").c_str());
        if (failed) std::printf(", %ld not decoded", failed);
        std::printf("\n");
    }
    return std::fflush(stdout) == 0 && failed == 0 ? 0 : 1;
}

int export_costumes(std::vector<CostumeSurvey> &costumes, const ExportOptions &options) {
    bool ok = true;
    long wanted = 0;
    for (const CostumeSurvey &s : costumes) {
        if (!s.selected) continue;
        ++wanted;
        if (!s.decoded) ok = false;  // reported by the survey
    }

    // Nothing is written when anything is in the way.
    if (!options.force) {
        for (const std::string &path : planned_files(costumes, options)) {
            if (path_exists(path)) {
                report(-1, path + " exists; nothing written (--force replaces it)");
                return 1;
            }
        }
    }
    std::string error;
    if (!make_directories(options.output_dir, error)) {
        report(-1, "cannot create directory " + options.output_dir + ": " + error);
        return 1;
    }

    const bool progress = !options.quiet && isatty(STDERR_FILENO);
    std::vector<CostumeResult> results(costumes.size());
    long done = 0, exported = 0, images = 0, sheets = 0;
    for (size_t k = 0; k < costumes.size(); ++k) {
        CostumeSurvey &s = costumes[k];
        if (!s.selected) continue;
        ++done;
        if (progress) show_progress(int(done), int(wanted));
        if (!s.decoded) continue;
        set_report_costume(s.number);
        if (!export_one(s, options, results[k])) ok = false;
        set_report_costume(-1);
        if (results[k].exported) ++exported;
        if (results[k].sheet_written) ++sheets;
        for (const ImageEntry &e : s.images) images += e.file.empty() ? 0 : 1;
    }
    clear_progress();

    const std::string index_path = join_path(options.output_dir, "index.json");
    if (!write_text_file(index_path, index_json(costumes, results, options), error)) {
        report(-1, "cannot write " + index_path + ": " + error);
        ok = false;
    }
    if (!options.quiet) {
        std::string line = plural(images, "image", "images");
        if (options.sheet) line += " and " + plural(sheets, "sheet", "sheets");
        line += " of " + plural(exported, "costume", "costumes") + " written to " + options.output_dir;
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    return ok ? 0 : 1;
}
