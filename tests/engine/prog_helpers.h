// Helpers of the programming tests: an engine on an emulated chip, and a
// register access that records every request the engine makes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/config_files.h"
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
    const uint16_t value = m_inner.ReadReg(wReg);
    After();
    return value;
  }
  void WriteReg(uint16_t wReg, uint16_t wData) override {
    Log("W %04X %04X", wReg, wData);
    m_inner.WriteReg(wReg, wData);
    After();
  }
  uint8_t ReadOTPReg(uint16_t wReg) override {
    Log("OR %03X", wReg);
    const uint8_t value = m_inner.ReadOTPReg(wReg);
    After();
    return value;
  }
  void WriteOTPReg(uint16_t wReg, uint16_t wData) override {
    Log("OW %03X %02X", wReg, wData);
    m_inner.WriteOTPReg(wReg, wData);
    After();
  }
  bool IsOpen() const override { return m_inner.IsOpen(); }
  int ReadFailed() const override { return m_inner.ReadFailed(); }
  void SetReadFailed(int value) override { m_inner.SetReadFailed(value); }

  bool recording = true;
  std::vector<std::string> log;
  // Requests made so far, and a hook run after each with that number (to
  // close the port between two requests, as a device removal would).
  size_t requests = 0;
  std::function<void(size_t)> after_request;

 private:
  void After() {
    ++requests;
    if (after_request) after_request(requests);
  }
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

// The settings behind examples/QT70L5530_OTP.xml: every field of the
// dialog, three strings and all seven register fields non-zero.
inline CSettings ExampleSettings() {
  CSettings s;
  s.m_strVendorId = "0x2F4A";
  s.m_strDeviceId = "0x5530";
  s.m_strMaxPower = "0x32";
  s.m_strManufacturer = "Kelm";
  s.m_strProduct = "QT70L5530 UART";
  s.m_strSerialNumber = "KL0000001";
  s.m_bSelfPowered = 0;
  s.m_bRemoteWakeup = 1;
  s.m_strGpioMode = "0x0F";
  s.m_strFlowControl = "0x01";
  s.m_strGpioDirection = "0x03";
  s.m_strGpioIntMask = "0x01";
  s.m_strPinPulldown = "0x10";
  s.m_strPinPullup = "0x20";
  s.m_strGpioSet = "0x02";
  s.m_nBaudRate = 115200;
  s.m_nCharFormat = 0;
  s.m_nParity = 0;
  s.m_nDataBits = 1;
  s.m_bLowPowerActiveHigh = 1;
  s.m_bVbusSense = 1;
  s.m_nCoreClock = 3;
  return s;
}

inline std::string ExampleFile() { return std::string(QT70_SOURCE_DIR) + "/examples/QT70L5530_OTP.xml"; }

// A folder of its own under /tmp for the files of one test, removed after.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/qt70prog.XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    m_path = made ? made : "/tmp";
  }
  ~TempDir() {
    const std::string command = "rm -rf '" + m_path + "'";
    if (m_path != "/tmp") (void)std::system(command.c_str());
  }
  const std::string& Path() const { return m_path; }
  std::string Write(const std::string& name, const std::string& text) const {
    const std::string path = m_path + "/" + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return path;
  }

 private:
  std::string m_path;
};

// A whole programming run as the command line wires it: the emulated chip
// behind the device link, the real configuration reader, every request
// recorded.
struct RunBench {
  std::unique_ptr<EmulatedChip> chip = std::make_unique<EmulatedChip>();
  RecordingOperator ui;
  CDeviceLink link{ui};
  RecordingRegs regs{link};
  COtpEngine engine{regs, ui, files};
  CConfigFiles files{engine, ui};

  RunBench() {
    link.Open(std::make_unique<EmulatedTransport>(*chip));
    engine.reset_run_state();
  }
  // Puts a new blank chip behind the port.
  void NewChip() {
    chip = std::make_unique<EmulatedChip>();
    link.Open(std::make_unique<EmulatedTransport>(*chip));
  }
  bool Fault(const std::string& spec) {
    std::string error;
    return chip->AddFault(spec, &error);
  }
  std::array<uint8_t, 1024> Image() const {
    std::array<uint8_t, 1024> image{};
    for (unsigned a = 0; a < 1024; ++a) image[a] = chip->Otp(a);
    return image;
  }
  COtpEngine::RunResult Program(const std::string& file) {
    files.m_strXmlFile = file;
    engine.program_file();
    return engine.m_runResult;
  }
};

struct PlannedWrite {
  uint32_t address;
  uint8_t value;
};

inline std::vector<PlannedWrite> ListOf(const COtpEngine& engine) {
  std::vector<PlannedWrite> list;
  for (uint32_t i = 0; i < engine.m_nWriteCount; ++i)
    list.push_back({engine.m_writeAddress[i], engine.m_writeValue[i]});
  return list;
}

// Every bit that differs between `before` and the chip, in either bank, must
// be one that the plan burns: a bit set in the low region that a planned
// value holds, a bit cleared in the high region that a planned value lacks.
inline ::testing::AssertionResult OnlyPlannedBits(const std::array<uint8_t, 1024>& before,
                                                  const EmulatedChip& chip,
                                                  const std::vector<PlannedWrite>& plan) {
  uint8_t may_set[512] = {}, may_clear[512] = {};
  for (const PlannedWrite& w : plan) {
    may_set[w.address & 0x1FF] |= w.value;
    may_clear[w.address & 0x1FF] |= static_cast<uint8_t>(~w.value);
  }
  for (unsigned a = 0; a < 1024; ++a) {
    const unsigned b = a & 0x1FF;
    const uint8_t was = before[a], now = chip.Otp(a);
    const bool high = b & 0x100;
    const uint8_t set = static_cast<uint8_t>(now & ~was), cleared = static_cast<uint8_t>(was & ~now);
    const bool ok = high ? (set == 0 && (cleared & ~may_clear[b]) == 0)
                         : (cleared == 0 && (set & ~may_set[b]) == 0);
    if (!ok) {
      char text[96];
      std::snprintf(text, sizeof text, "OTP byte 0x%03X went from 0x%02X to 0x%02X", a, was, now);
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace qt70::test
