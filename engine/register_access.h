// What the engine needs from the device link: the four register access
// operations over the driver requests, and whether a port is open.
#pragma once

#include <cstdint>

namespace qt70 {

class IRegisterAccess {
 public:
  virtual ~IRegisterAccess() = default;

  // Reads a 16-bit chip register; 0x00FF after a failure (with a message).
  virtual uint16_t ReadReg(uint16_t wReg) = 0;
  // Writes a 16-bit chip register; silent without a port.
  virtual void WriteReg(uint16_t wReg, uint16_t wData) = 0;
  // Reads one OTP byte; 0xFF after a failure. A rejected request sets the
  // read-failed flag quietly; a closed port shows the not-opened message.
  virtual uint8_t ReadOTPReg(uint16_t wReg) = 0;
  // Programs one OTP byte (the byte in the low 8 bits of wData).
  virtual void WriteOTPReg(uint16_t wReg, uint16_t wData) = 0;

  // True while a port is open.
  virtual bool IsOpen() const = 0;
  // The read-failed flag: set by a rejected OTP read, cleared only by callers.
  virtual int ReadFailed() const = 0;
  virtual void SetReadFailed(int value) = 0;
};

}  // namespace qt70
