// The exporter's output files: a stdio stream over a file written whole or
// not at all (viewer/whole_file.h), and the paths around them.
#pragma once

#include <cstdio>
#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;
    ~OutputFile();  // removes the temporary file unless committed

    // Creates the temporary file for path. False with error set.
    bool open(const std::string &path, std::string &error);
    FILE *stream() const { return stream_; }
    // Flushes, closes and renames over the final name. False with error
    // set (and the temporary file removed) when any of it failed.
    bool commit(std::string &error);

private:
    std::string path_, temp_;
    FILE *stream_ = nullptr;
};

// The whole of data as the file path.
bool write_text_file(const std::string &path, const std::string &data, std::string &error);

// dir/name, or name alone when dir is ".".
std::string join_path(const std::string &dir, const std::string &name);

// Creates dir and any missing parents. False with error set, also when dir
// exists but is not a directory.
bool make_directories(const std::string &dir, std::string &error);

// True when something (a file, a directory, a link) has that name.
bool path_exists(const std::string &path);
