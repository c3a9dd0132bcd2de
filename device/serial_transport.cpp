#include "serial_transport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qt70 {

SerialTransport::~SerialTransport() {
  if (m_fd >= 0) {
    ioctl(m_fd, TIOCNXCL);
    close(m_fd);
  }
}

bool SerialTransport::DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in,
                                      uint8_t* out) {
  uint8_t buffer[8] = {};
  const auto record = in.encode();
  std::memcpy(buffer, record.data(), record.size());
  int r;
  do r = ioctl(m_fd, static_cast<unsigned long>(code), buffer);
  while (r < 0 && errno == EINTR);
  if (r < 0) return false;
  std::memcpy(out, buffer, output_size(code));
  return true;
}

OpenResult OpenSerialDevice(const std::string& path) {
  OpenResult result;
  int fd;
  do fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int err = errno;
    result.status = (err == ENOENT || err == ENOTDIR || err == ENXIO || err == ENODEV || err == EIO)
                        ? OpenStatus::Missing
                        : OpenStatus::Busy;  // EBUSY (held exclusively), EACCES, ...
    result.error = "cannot open " + path + ": " + std::strerror(err);
    return result;
  }
  if (!isatty(fd)) {
    close(fd);
    result.status = OpenStatus::Missing;
    result.error = path + " is not a serial device";
    return result;
  }
  // TIOCEXCL keeps others from opening the terminal; the flock stops other
  // instances of this tool even where TIOCEXCL does not hold (root).
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    result.status = OpenStatus::Busy;
    result.error = err == EWOULDBLOCK ? path + " is in use by another program"
                                      : "cannot lock " + path + ": " + std::strerror(err);
    return result;
  }
  if (ioctl(fd, TIOCEXCL) != 0) {
    const int err = errno;
    close(fd);
    result.status = OpenStatus::Busy;
    result.error = "cannot open " + path + " exclusively: " + std::strerror(err);
    return result;
  }
  result.transport = std::make_unique<SerialTransport>(fd);
  result.status = OpenStatus::Ok;
  return result;
}

}  // namespace qt70
