// Small stand-ins for unit tests of the engine: an OTP image behind the
// register access operations, and a configuration reader that fills the
// records through a callback instead of a file.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/config_reader.h"
#include "engine/register_access.h"

namespace qt70::test {

// 512 OTP bytes read through ReadOTPReg; register requests are recorded.
class FakeRegs : public IRegisterAccess {
 public:
  FakeRegs();
  uint16_t ReadReg(uint16_t wReg) override;
  void WriteReg(uint16_t wReg, uint16_t wData) override;
  uint8_t ReadOTPReg(uint16_t wReg) override;
  void WriteOTPReg(uint16_t wReg, uint16_t wData) override;
  bool IsOpen() const override { return open; }
  int ReadFailed() const override { return read_failed; }
  void SetReadFailed(int value) override { read_failed = value; }

  // Sets the image to a blank chip: low half 0x00, high half 0xFF.
  void Blank();

  uint8_t otp[512];
  bool open = true;
  int read_failed = 0;
  std::vector<uint16_t> failing_otp_reads;  // addresses whose OTP read is rejected
  std::vector<uint16_t> otp_reads;          // addresses read, in order
};

class FakeReader : public IConfigReader {
 public:
  int parseDoc(const char* docname) override;
  const char* XmlFile() const override { return path; }
  bool ExitRequested() const override { return exit_requested; }

  std::function<int(const char*)> fill;  // does the reader's work; parseDoc returns its result
  const char* path = "QT70L5530_OTP.xml";
  bool exit_requested = false;
  int calls = 0;
};

}  // namespace qt70::test
