#include "viewer/whole_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

int create_temp_beside(const std::string &path, std::string &temp) {
    const size_t slash = path.rfind('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    temp = path.substr(0, base) + "." + path.substr(base) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return -1;
    // mkstemp makes the file owner-only; give it what a plain create gives.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) {
        close(fd);
        unlink(temp.c_str());
        return -1;
    }
    return fd;
}

bool finish_temp(bool written, const std::string &temp, const std::string &path) {
    if (written && std::rename(temp.c_str(), path.c_str()) == 0) return true;
    unlink(temp.c_str());
    return false;
}
