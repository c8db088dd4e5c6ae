// The one way a fatal condition is reported.
//
// The function that meets a fatal condition calls fatal_error(message) once
// and returns false; every caller above it returns false at once, up to main,
// which ends the process with status 1.
#pragma once

// Leaves the graphics mode, shows the message and shuts the library down
// (through the current sink, see below). The message holds no conversion.
void fatal_error(const char *message);

// Where fatal messages go. The program's own sink talks to Allegro; tests,
// fuzz targets and the command-line exporter install sinks of their own so
// that a malformed file can be reported without a display and without
// shutting a library down that they still use.
using FatalSink = void (*)(const char *message);
void set_fatal_sink(FatalSink sink);  // nullptr restores the Allegro sink
void allegro_fatal_sink(const char *message);

// The last message reported and the number of reports since the last
// clear_fatal_error(); lets a caller (or a test) see what was reported.
const char *last_fatal_error();
int fatal_error_count();
void clear_fatal_error();
