#include "exporter/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "viewer/whole_file.h"

namespace {
std::string errno_text() { return std::strerror(errno); }
}  // namespace

OutputFile::~OutputFile() {
    if (stream_) std::fclose(stream_);
    if (!temp_.empty()) unlink(temp_.c_str());
}

bool OutputFile::open(const std::string &path, std::string &error) {
    const int fd = create_temp_beside(path, temp_);
    if (fd < 0) {
        error = errno_text();
        temp_.clear();
        return false;
    }
    path_ = path;
    if (!(stream_ = fdopen(fd, "wb"))) {
        error = errno_text();
        close(fd);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string &error) {
    bool ok = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    if (!ok) error = errno_text();
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (ok && !closed) {
        error = errno_text();
        ok = false;
    }
    const bool renamed = finish_temp(ok, temp_, path_);
    if (ok && !renamed) error = errno_text();
    temp_.clear();  // renamed or removed: nothing left to remove
    return renamed;
}

bool write_text_file(const std::string &path, const std::string &data, std::string &error) {
    OutputFile file;
    if (!file.open(path, error)) return false;
    if (std::fwrite(data.data(), 1, data.size(), file.stream()) != data.size()) {
        error = errno_text();
        return false;
    }
    return file.commit(error);
}

std::string join_path(const std::string &dir, const std::string &name) {
    if (dir == ".") return name;
    if (!dir.empty() && dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

bool make_directories(const std::string &dir, std::string &error) {
    // Each prefix that ends before a slash, then the whole.
    for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string prefix = dir.substr(0, pos);
        if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
            error = errno_text();
            return false;
        }
        if (pos == std::string::npos) break;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) {
        error = errno_text();
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

bool path_exists(const std::string &path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}
