// Captures the engine's diagnostic trace for the lifetime of the object,
// at a chosen trace level.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/trace.h"

namespace qt70::test {

class TraceCapture {
 public:
  explicit TraceCapture(int level = 0) : saved_level_(verbose), saved_out_(trace_out) {
    verbose = level;
    stream_ = open_memstream(&buffer_, &size_);
    trace_out = stream_;
  }
  ~TraceCapture() {
    trace_out = saved_out_;
    verbose = saved_level_;
    std::fclose(stream_);
    std::free(buffer_);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Everything traced so far.
  std::string Text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  int saved_level_;
  std::FILE* saved_out_;
  std::FILE* stream_ = nullptr;
  char* buffer_ = nullptr;
  size_t size_ = 0;
};

}  // namespace qt70::test
