// Files written whole or not at all.
//
// A file is written under a temporary name beside its final name
// (".NAME.XXXXXX" in the same directory, so that the rename never crosses
// a file system) and renamed over the final name only when every step of
// writing it succeeded. A failure part-way, or a disk that fills up, never
// leaves a cut file under a real name and never spoils a file that was
// there before; an existing file is replaced only by a whole one.
#pragma once

#include <string>

// Creates the temporary file for path, with the permissions a plain create
// would give (0666 less the umask), and returns its descriptor, or -1 with
// errno set. temp receives its name.
int create_temp_beside(const std::string &path, std::string &temp);

// Ends a temporary file whose descriptor is already closed: when written
// is true, renames it over path and returns whether that worked; in every
// other case removes it and returns false.
bool finish_temp(bool written, const std::string &temp, const std::string &path);
