// A real serial device as a port: the driver requests go to the device's
// driver as ioctl(fd, code, record). A driver that knows them completes
// them; an ordinary serial driver rejects them (ENOTTY and the like), which
// the tool reads as a port without OTP access.
#pragma once

#include <string>

#include "driver.h"
#include "port_open.h"

namespace qt70 {

class SerialTransport : public ITransport {
 public:
  explicit SerialTransport(int fd) : m_fd(fd) {}
  ~SerialTransport() override;
  SerialTransport(const SerialTransport&) = delete;
  SerialTransport& operator=(const SerialTransport&) = delete;

  // The ioctl argument is an 8-byte buffer that holds the 4-byte record on
  // the way in and the output bytes (from offset 0) on the way out, as a
  // buffered driver request does.
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override;

 private:
  int m_fd;
};

// Opens the terminal device at `path` exclusively: O_RDWR | O_NOCTTY |
// O_NONBLOCK | O_CLOEXEC, then TIOCEXCL and a non-blocking flock. Busy
// when another process holds it (or we may not open it), Missing when
// there is no such device or it is not a terminal: requests are never sent
// to devices of other kinds.
OpenResult OpenSerialDevice(const std::string& path);

}  // namespace qt70
