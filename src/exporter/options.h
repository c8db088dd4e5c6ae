// The command line of vestrel-export.
#pragma once

#include <string>
#include <utility>
#include <vector>

enum class ImageFormat { Png, Pcx };

struct ExportOptions {
    std::string file;                // the LEC file
    std::string output_dir = ".";    // -o
    // -c: inclusive ranges of costume numbers; empty means every costume.
    std::vector<std::pair<int, int>> costumes;
    ImageFormat format = ImageFormat::Png;  // -f
    int transparent = -1;            // -t: colour-map index, -1 for none
    bool sheet = false;              // -s
    bool list = false;               // -l
    bool json = false;               // --json (with --list)
    bool force = false;              // --force
    bool quiet = false;              // -q
};

enum class ParseResult { Run, Help, Version, UsageError };

// Reads argv into options. On UsageError, error says what is wrong (one
// line, no program name, no line feed).
ParseResult parse_options(int argc, char **argv, ExportOptions &options, std::string &error);

// Parses a costume list such as "0,3,10-12" into inclusive ranges. False
// on anything else (empty items, signs, spaces, a range whose end is below
// its start).
bool parse_costume_list(const std::string &text, std::vector<std::pair<int, int>> &ranges);

// The text of --help.
const char *usage_text();
