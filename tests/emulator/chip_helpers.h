// Driver requests on an emulated chip, spelled out for the tests.
#pragma once

#include <cstdint>
#include <optional>

#include "device/driver.h"
#include "emulator/emulated_chip.h"

namespace qt70::test {

inline bool WriteOtp(ITransport& t, uint16_t address, uint8_t data) {
  uint8_t out[2] = {};
  return t.DeviceIoControl(IOCTL_QTUSB_WRITE_OTP, {address, data}, out);
}
inline std::optional<uint8_t> ReadOtp(ITransport& t, uint16_t address) {
  uint8_t out[2] = {0xEE, 0xEE};
  if (!t.DeviceIoControl(IOCTL_QTUSB_READ_OTP, {address, 0}, out)) return std::nullopt;
  return out[0];
}
inline bool WriteReg(ITransport& t, uint16_t reg, uint16_t value) {
  uint8_t out[2] = {};
  return t.DeviceIoControl(IOCTL_QTUSB_WRITE_REG, {reg, value}, out);
}
inline std::optional<uint16_t> ReadReg(ITransport& t, uint16_t reg) {
  uint8_t out[2] = {0xEE, 0xEE};
  if (!t.DeviceIoControl(IOCTL_QTUSB_READ_REG, {reg, 0}, out)) return std::nullopt;
  return static_cast<uint16_t>(out[0] | out[1] << 8);
}

// Controller byte read: 0x0D42 := address; 0x0D43 := 1; data from 0x0D45.
inline std::optional<uint8_t> ControllerRead(ITransport& t, uint16_t address) {
  if (!WriteReg(t, kRegOtpAddress, address) || !WriteReg(t, kRegOtpCommand, 1)) return std::nullopt;
  auto data = ReadReg(t, kRegOtpData);
  if (!data) return std::nullopt;
  return static_cast<uint8_t>(*data & 0xFF);
}

// Controller bit program: 0x0D42 := address; 0x0D41 := mask; 0x0D43 := 4.
inline bool ControllerProgram(ITransport& t, uint16_t address, uint8_t mask) {
  return WriteReg(t, kRegOtpAddress, address) && WriteReg(t, kRegOtpOperand, mask) &&
         WriteReg(t, kRegOtpCommand, 4);
}

}  // namespace qt70::test
