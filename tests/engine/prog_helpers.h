// Helpers of the programming tests: an engine on an emulated chip, and a
// register access that records every request the engine makes.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"
#include "support/fakes.h"
#include "support/recording_operator.h"

namespace qt70::test {

// Passes every request on to `inner` and records it as a short line:
// "W 0D43 000A", "R 0D44", "OW 020 5A", "OR 011".
class RecordingRegs : public IRegisterAccess {
 public:
  explicit RecordingRegs(IRegisterAccess& inner) : m_inner(inner) {}

  uint16_t ReadReg(uint16_t wReg) override {
    Log("R %04X", wReg);
    return m_inner.ReadReg(wReg);
  }
  void WriteReg(uint16_t wReg, uint16_t wData) override {
    Log("W %04X %04X", wReg, wData);
    m_inner.WriteReg(wReg, wData);
  }
  uint8_t ReadOTPReg(uint16_t wReg) override {
    Log("OR %03X", wReg);
    return m_inner.ReadOTPReg(wReg);
  }
  void WriteOTPReg(uint16_t wReg, uint16_t wData) override {
    Log("OW %03X %02X", wReg, wData);
    m_inner.WriteOTPReg(wReg, wData);
  }
  bool IsOpen() const override { return m_inner.IsOpen(); }
  int ReadFailed() const override { return m_inner.ReadFailed(); }
  void SetReadFailed(int value) override { m_inner.SetReadFailed(value); }

  bool recording = true;
  std::vector<std::string> log;

 private:
  template <typename... Args>
  void Log(const char* format, Args... args) {
    if (!recording) return;
    char line[32];
    std::snprintf(line, sizeof line, format, static_cast<unsigned>(args)...);
    log.emplace_back(line);
  }
  IRegisterAccess& m_inner;
};

// An engine wired to an emulated chip through the device link, as the
// command line wires it, with every request recorded.
struct EmulatedBench {
  EmulatedChip chip;
  RecordingOperator ui;
  CDeviceLink link{ui};
  RecordingRegs regs{link};
  FakeReader reader;
  COtpEngine engine{regs, ui, reader};

  EmulatedBench() {
    link.Open(std::make_unique<EmulatedTransport>(chip));
    engine.reset_run_state();
  }
  bool Fault(const std::string& spec) {
    std::string error;
    return chip.AddFault(spec, &error);
  }
  // Number of recorded writes of `value` to register `reg`.
  size_t CountWrites(uint16_t reg, uint16_t value) const {
    char line[32];
    std::snprintf(line, sizeof line, "W %04X %04X", reg, value);
    size_t n = 0;
    for (const auto& l : regs.log) n += l == line;
    return n;
  }
};

}  // namespace qt70::test
