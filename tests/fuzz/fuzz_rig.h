// What the fuzz targets share: an engine wired to the configuration files
// with a silent operator and no chip, and an in-memory file that the
// reader and the loader open by path.
#pragma once

#include <libxml/parser.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config_files.h"
#include "engine/otp_engine.h"

namespace qt70::fuzz {

class SilentOperator : public IOperator {
 public:
  int MessageBox(std::string_view, std::string_view, unsigned style) override {
    ++boxes;
    return (style & 0x0F) == MB_YESNO ? IDYES : IDOK_ANSWER;
  }
  void SetDlgItemText(int, std::string_view) override {}
  void ShowDlgItem(int, bool) override {}
  void EnableDlgItem(int, bool) override {}
  int boxes = 0;
};

class NoChip : public IRegisterAccess {
 public:
  uint16_t ReadReg(uint16_t) override { return 0x00FF; }
  void WriteReg(uint16_t, uint16_t) override {}
  uint8_t ReadOTPReg(uint16_t) override { return 0xFF; }
  void WriteOTPReg(uint16_t, uint16_t) override {}
  bool IsOpen() const override { return false; }
  int ReadFailed() const override { return 0; }
  void SetReadFailed(int) override {}
};

struct Rig {
  NoChip regs;
  SilentOperator ui;
  COtpEngine engine{regs, ui, files};
  CConfigFiles files{engine, ui};
};

// A file in memory, reachable by a path through /proc/self/fd.
class MemFile {
 public:
  MemFile() {
    fd_ = memfd_create("qt70-fuzz", MFD_CLOEXEC);
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  const std::string& Set(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0 ||
        (size && pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)))
      std::abort();
    return path_;
  }

 private:
  int fd_ = -1;
  std::string path_;
};

inline void IgnoreXmlError(void*, const char*, ...) {}

// libxml2 would print every parse error of every input.
inline void QuietXml() {
  xmlInitParser();
  xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
}

// Stops the run with a crash report when an invariant does not hold.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

}  // namespace qt70::fuzz
