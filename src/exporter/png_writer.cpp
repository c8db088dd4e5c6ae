#include "exporter/png_writer.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "exporter/output_file.h"

namespace {

struct ErrorText {
    char text[256];
};

void on_error(png_structp png, png_const_charp message) {
    auto *error = static_cast<ErrorText *>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof error->text, "%s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: nothing with a destructor lives in
// this function, so that the jump skips no clean-up.
bool encode(FILE *out, const IndexedImage &image, const png_byte *const *rows, ErrorText &error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, on_error, on_warning);
    if (!png) {
        std::snprintf(error.text, sizeof error.text, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        if (!info) std::snprintf(error.text, sizeof error.text, "out of memory");
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    // The default limits stop at a million pixels a side; a sprite sheet
    // is bounded by its pixel count instead.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_init_io(png, out);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color plte[256];
    const int colors = int(image.palette.size());
    for (int i = 0; i < colors; ++i) plte[i] = png_color{image.palette[i].r, image.palette[i].g, image.palette[i].b};
    png_set_PLTE(png, info, plte, colors);
    if (!image.alpha.empty()) png_set_tRNS(png, info, image.alpha.data(), int(image.alpha.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_indexed_png(const std::string &path, const IndexedImage &image, std::string &error) {
    if (image.palette.empty() || image.palette.size() > 256 || image.alpha.size() > image.palette.size() ||
        image.rows.size() != image.height || image.width == 0 || image.height == 0) {
        error = "not an image that PNG can hold";
        return false;
    }
    OutputFile file;
    if (!file.open(path, error)) return false;
    ErrorText png_error{};
    if (!encode(file.stream(), image, image.rows.data(), png_error)) {
        error = png_error.text;
        return false;
    }
    return file.commit(error);
}
