// The driver requests: four vendor-specific I/O control requests on an open
// port, each carrying the 4-byte request record. Anything that stands in the
// maker's driver's place (the emulated chip, a socket to a served emulated
// chip, a real serial device) implements ITransport.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace qt70 {

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr uint32_t ctl_code(uint32_t function) { return (0x22u << 16) | (function << 2); }

constexpr uint32_t IOCTL_QTUSB_READ_OTP = ctl_code(0x813);   // 0x0022204C, 1 byte out
constexpr uint32_t IOCTL_QTUSB_WRITE_OTP = ctl_code(0x814);  // 0x00222050, no output
constexpr uint32_t IOCTL_QTUSB_READ_REG = ctl_code(0x815);   // 0x00222054, 2 bytes out
constexpr uint32_t IOCTL_QTUSB_WRITE_REG = ctl_code(0x816);  // 0x00222058, no output
static_assert(IOCTL_QTUSB_READ_OTP == 0x0022204C && IOCTL_QTUSB_WRITE_REG == 0x00222058);

// The request record: register number or OTP address, and the data to write.
struct QTUSB_CUSTOM_RW_GENERIC {
  uint16_t wReg;
  uint16_t wData;

  // The record as sent: 4 bytes, little-endian.
  std::array<uint8_t, 4> encode() const {
    return {static_cast<uint8_t>(wReg & 0xFF), static_cast<uint8_t>(wReg >> 8),
            static_cast<uint8_t>(wData & 0xFF), static_cast<uint8_t>(wData >> 8)};
  }
  static QTUSB_CUSTOM_RW_GENERIC decode(const uint8_t* bytes) {
    return {static_cast<uint16_t>(bytes[0] | bytes[1] << 8),
            static_cast<uint16_t>(bytes[2] | bytes[3] << 8)};
  }
};

// Number of output bytes a request completes with.
constexpr size_t output_size(uint32_t code) {
  return code == IOCTL_QTUSB_READ_OTP ? 1 : code == IOCTL_QTUSB_READ_REG ? 2 : 0;
}

// One open port. A request either completes with its output bytes or is rejected.
class ITransport {
 public:
  virtual ~ITransport() = default;

  // Sends one request and blocks until it completes. On completion fills
  // out[0 .. output_size(code)) and returns true; returns false when the
  // request is rejected (another driver, a device gone, a broken link).
  virtual bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in,
                               uint8_t* out) = 0;
};

}  // namespace qt70
