#include "trace.h"

#include <cstdarg>

namespace qt70 {

int verbose = 0;
std::FILE* trace_out = stdout;

void trace(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(trace_out ? trace_out : stdout, format, args);
  va_end(args);
}

}  // namespace qt70
