// Export of decoded images as PCX files in the current directory.
//
// A slot is written as "c%d_t%d_i%d.pcx": costume number (its place in the
// index), table, slot. The library's PCX writer gets the slot's bitmap as
// it stands; at 15 to 32 bits per pixel that is a 24-bit, three-plane PCX.
//
// No good file is lost: each file is written under a temporary name in the
// same directory and renamed over the final name only once every step of
// writing it succeeded; otherwise the temporary file is removed and an
// existing file of the final name stays as it was. Every key gives one
// alert after the last file, and it tells the truth about failures.
#include <allegro.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "costume/costume.h"
#include "viewer/viewer.h"
#include "viewer/whole_file.h"

namespace {

void library_alert(const char *line1, const char *line2, const char *line3) {
    alert(line1, line2, line3, "OK", nullptr, 0, 0);
}

AlertSink current_alert = library_alert;

// The library's own file writer drops the failure of the last buffer's
// write when it closes the file, so a file that fails only there (a small
// one on a full disk) would pass as written, empty or cut short, and be
// renamed over a good one. The PCX writer is given this sink instead: it
// writes to a descriptor of ours, remembers the first failure and stops
// writing after it.
struct FdSink {
    int fd;
    bool failed;
    size_t used;
    unsigned char buf[8192];
};

bool sink_flush(FdSink &s) {
    size_t done = 0;
    while (!s.failed && done < s.used) {
        const ssize_t n = write(s.fd, s.buf + done, s.used - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) s.failed = true;
        else done += size_t(n);
    }
    s.used = 0;
    return !s.failed;
}

int sink_putc(int c, void *user) {
    FdSink &s = *static_cast<FdSink *>(user);
    if (s.failed) return EOF;
    s.buf[s.used++] = static_cast<unsigned char>(c);
    if (s.used == sizeof s.buf && !sink_flush(s)) return EOF;
    return c & 0xFF;
}

long sink_fwrite(const void *p, long n, void *user) {
    const auto *bytes = static_cast<const unsigned char *>(p);
    for (long i = 0; i < n; ++i) {
        if (sink_putc(bytes[i], user) == EOF) return i;
    }
    return n;
}

int sink_fclose(void *user) { return sink_flush(*static_cast<FdSink *>(user)) ? 0 : EOF; }
int sink_getc(void *) { return EOF; }
int sink_ungetc(int, void *) { return EOF; }
long sink_fread(void *, long, void *) { return 0; }
int sink_fseek(void *, int) { return -1; }
int sink_feof(void *) { return 0; }
int sink_ferror(void *user) { return static_cast<FdSink *>(user)->failed; }

PACKFILE_VTABLE fd_sink_vtable = {sink_fclose, sink_getc,  sink_ungetc, sink_fread, sink_putc,
                                  sink_fwrite, sink_fseek, sink_feof,   sink_ferror};

}  // namespace

// Writes bmp to path whole or not at all (see whole_file.h).
bool write_pcx_whole(const char *path, BITMAP *bmp) {
    std::string temp;
    const int fd = create_temp_beside(path, temp);
    if (fd < 0) return false;
    FdSink sink{fd, false, 0, {}};
    PACKFILE *f = pack_fopen_vtable(&fd_sink_vtable, &sink);
    bool ok = f != nullptr;
    if (f) {
        ok = save_pcx_pf(f, bmp, nullptr) == 0;
        ok = pack_ferror(f) == 0 && ok;
        ok = pack_fclose(f) == 0 && ok;  // writes the last buffer
    }
    ok = close(fd) == 0 && ok;
    return finish_temp(ok, temp, path);
}

void set_alert_sink(AlertSink sink) { current_alert = sink ? sink : library_alert; }

namespace {
using SlotName = char[1024];
void slot_file_name(int table, int slot, SlotName &name) {
    std::snprintf(name, sizeof name, "c%d_t%d_i%d.pcx", selection.costume_index, table, slot);
}
}  // namespace

bool save_slot(int table, int slot) {
    SlotName name;
    slot_file_name(table, slot, name);
    return write_pcx_whole(name, costume.tables[table].slots[slot].bitmap);
}

void save_image() {
    // image_index names a valid slot whenever an image is shown.
    if (save_slot(selection.table_index, selection.image_index)) {
        current_alert(nullptr, "Image saved", nullptr);
        return;
    }
    SlotName name;
    slot_file_name(selection.table_index, selection.image_index, name);
    current_alert(nullptr, "Image not saved", name);
}

namespace {

// Saves the valid slots of one table; counts the attempts and failures.
void save_table_slots(int table, int &tried, int &failed) {
    const CostumeTable &t = costume.tables[table];
    for (int i = 0; i < t.image_count; ++i) {
        if (!t.slots[i].valid) continue;
        ++tried;
        if (!save_slot(table, i)) ++failed;
    }
}

void confirm_walk(const char *saved, const char *not_saved, int tried, int failed) {
    if (failed == 0) {
        current_alert(nullptr, saved, nullptr);
        return;
    }
    char line[64];
    std::snprintf(line, sizeof line, "%d of %d images not saved", failed, tried);
    current_alert(nullptr, not_saved, line);
}

}  // namespace

void save_table() {
    int tried = 0, failed = 0;
    save_table_slots(selection.table_index, tried, failed);
    confirm_walk("Table saved", "Table not saved", tried, failed);
}

void save_costume() {
    int tried = 0, failed = 0;
    // Table 15 never holds an image.
    for (int t = 0; t < kTableCount - 1; ++t) save_table_slots(t, tried, failed);
    confirm_walk("Costume saved", "Costume not saved", tried, failed);
}
