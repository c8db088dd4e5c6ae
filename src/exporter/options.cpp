#include "exporter/options.h"

#include <getopt.h>

namespace {

// A decimal number of at most nine digits (costume numbers and colour
// indices are far below that), nothing else: no sign, no spaces.
bool parse_number(const std::string &text, size_t begin, size_t end, int &out) {
    if (begin >= end || end - begin > 9) return false;
    int value = 0;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
}

constexpr int kOptJson = 1000;
constexpr int kOptForce = 1001;

const option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"costume", required_argument, nullptr, 'c'},
    {"format", required_argument, nullptr, 'f'},
    {"transparent", required_argument, nullptr, 't'},
    {"sheet", no_argument, nullptr, 's'},
    {"list", no_argument, nullptr, 'l'},
    {"json", no_argument, nullptr, kOptJson},
    {"force", no_argument, nullptr, kOptForce},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

const char *usage_text() {
    return "Usage: vestrel-export [OPTIONS] FILE.lec\n"
           "Writes the costume images of a LEC file as PNG or PCX files; needs no display.\n"
           "\n"
           "  -o, --output DIR         write into DIR, created when missing (default: .)\n"
           "  -c, --costume LIST       only these costumes, as in 0,3,10-12 (the viewer's numbers)\n"
           "  -f, --format png|pcx     image format (default: png)\n"
           "  -t, --transparent INDEX  PNG only: colour-map index INDEX (0 to 31) is transparent\n"
           "  -s, --sheet              also one sprite sheet per costume, c<N>_sheet.png\n"
           "  -l, --list               write nothing; print the costume index\n"
           "      --json               with --list: print the index as one JSON document\n"
           "      --force              replace files that exist already\n"
           "  -q, --quiet              no progress and no summary line\n"
           "  -h, --help               print this help and exit\n"
           "  -V, --version            print the version and exit\n"
           "\n"
           "Images are named c<costume>_t<table>_i<slot>.png (or .pcx); index.json beside them\n"
           "lists each image's size and offsets. Exit status: 0 on success, 1 when anything\n"
           "failed, 2 for a usage error.\n";
}

bool parse_costume_list(const std::string &text, std::vector<std::pair<int, int>> &ranges) {
    std::vector<std::pair<int, int>> out;
    size_t begin = 0;
    while (true) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos) end = text.size();
        const size_t dash = text.find('-', begin);
        int low, high;
        if (dash != std::string::npos && dash < end) {
            if (!parse_number(text, begin, dash, low) || !parse_number(text, dash + 1, end, high)) return false;
            if (high < low) return false;
        } else {
            if (!parse_number(text, begin, end, low)) return false;
            high = low;
        }
        out.emplace_back(low, high);
        if (end == text.size()) break;
        begin = end + 1;
    }
    ranges = std::move(out);
    return true;
}

ParseResult parse_options(int argc, char **argv, ExportOptions &options, std::string &error) {
    opterr = 0;  // the messages are ours
    optind = 1;
    bool help = false, version = false;
    int c;
    while ((c = getopt_long(argc, argv, ":o:c:f:t:slqhV", kLongOptions, nullptr)) != -1) {
        const std::string arg = optarg ? optarg : "";
        switch (c) {
            case 'o':
                if (arg.empty()) {
                    error = "the output directory must not be empty";
                    return ParseResult::UsageError;
                }
                options.output_dir = arg;
                break;
            case 'c':
                if (!parse_costume_list(arg, options.costumes)) {
                    error = "invalid costume list '" + arg + "' (numbers and ranges, as in 0,3,10-12)";
                    return ParseResult::UsageError;
                }
                break;
            case 'f':
                if (arg == "png") {
                    options.format = ImageFormat::Png;
                } else if (arg == "pcx") {
                    options.format = ImageFormat::Pcx;
                } else {
                    error = "invalid format '" + arg + "' (png or pcx)";
                    return ParseResult::UsageError;
                }
                break;
            case 't': {
                int index;
                if (!parse_number(arg, 0, arg.size(), index) || index > 31) {
                    error = "invalid transparent index '" + arg + "' (a colour-map index, 0 to 31)";
                    return ParseResult::UsageError;
                }
                options.transparent = index;
                break;
            }
            case 's': options.sheet = true; break;
            case 'l': options.list = true; break;
            case kOptJson: options.json = true; break;
            case kOptForce: options.force = true; break;
            case 'q': options.quiet = true; break;
            case 'h': help = true; break;
            case 'V': version = true; break;
            case ':':
                error = std::string("option '") + argv[optind - 1] + "' needs an argument";
                return ParseResult::UsageError;
            default:
                // optopt names a short option; a long one is the argument itself.
                error = optopt ? std::string("unknown option '-") + char(optopt) + "'"
                               : std::string("unknown option '") + argv[optind - 1] + "'";
                return ParseResult::UsageError;
        }
    }
    if (help) return ParseResult::Help;
    if (version) return ParseResult::Version;
    if (optind == argc) {
        error = "no LEC file given";
        return ParseResult::UsageError;
    }
    if (argc - optind > 1) {
        error = std::string("one LEC file at a time; '") + argv[optind + 1] + "' is one too many";
        return ParseResult::UsageError;
    }
    options.file = argv[optind];
    if (options.json && !options.list) {
        error = "--json goes with --list";
        return ParseResult::UsageError;
    }
    if (options.transparent >= 0 && options.format == ImageFormat::Pcx) {
        error = "--transparent applies to PNG only; PCX has no transparency";
        return ParseResult::UsageError;
    }
    return ParseResult::Run;
}
