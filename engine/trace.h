// The diagnostic trace: formatted lines on standard output. Most lines are
// printed only when the trace level `verbose` is above the line's level.
#pragma once

#include <cstdio>

namespace qt70 {

// Trace level; 0 unless the command line raises it.
extern int verbose;
// Where trace lines go; standard output unless a test redirects it.
extern std::FILE* trace_out;

// Prints one trace line unconditionally.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qt70

// Prints a trace line when `verbose` is above `level`.
#define QT70_TRACE(level, ...)              \
  do {                                      \
    if (::qt70::verbose > (level)) ::qt70::trace(__VA_ARGS__); \
  } while (0)
