#include "socket_transport.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol.h"

namespace qt70 {

SocketTransport::SocketTransport(int fd, int timeoutMs) : m_fd(fd), m_timeoutMs(timeoutMs) {}

SocketTransport::~SocketTransport() { Break(); }

void SocketTransport::Break() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
}

bool SocketTransport::DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in,
                                      uint8_t* out) {
  if (m_fd < 0) return false;
  const auto request = protocol::EncodeRequest({code, in});
  uint8_t frame[protocol::kAnswerSize];
  if (!protocol::SendAll(m_fd, request.data(), request.size(), m_timeoutMs) ||
      !protocol::ReceiveAll(m_fd, frame, sizeof frame, m_timeoutMs)) {
    Break();
    return false;
  }
  auto answer = protocol::DecodeAnswer(frame);
  if (!answer || (answer->completed && answer->length != output_size(code))) {
    Break();  // out of step with the server: nothing after this can be trusted
    return false;
  }
  if (!answer->completed) return false;
  for (size_t i = 0; i < answer->length; ++i) out[i] = answer->output[i];
  return true;
}

OpenResult ConnectSocketPort(const std::string& path, int timeoutMs) {
  OpenResult result;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    result.status = OpenStatus::BadName;
    result.error = "socket path " + path + " is too long";
    return result;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    result.error = std::string("cannot create a socket: ") + std::strerror(errno);
    return result;
  }
  int r;
  do r = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  while (r != 0 && errno == EINTR);
  if (r != 0) {
    const int err = errno;
    close(fd);
    if (err == EAGAIN) {
      // The server's queue of waiting connections is full.
      result.status = OpenStatus::Busy;
      result.error = "port " + path + " is busy";
    } else if (err == ECONNREFUSED) {
      result.error = "no emulated chip is served at " + path;
    } else {
      if (err == EACCES) result.status = OpenStatus::Busy;
      result.error = "cannot connect to " + path + ": " + std::strerror(err);
    }
    return result;
  }

  uint8_t frame[protocol::kHelloSize];
  if (!protocol::ReceiveAll(fd, frame, sizeof frame, timeoutMs)) {
    const int err = errno;
    close(fd);
    result.error = err == ETIMEDOUT ? "the emulated chip at " + path + " does not answer"
                                    : "the emulated chip at " + path + " closed the connection";
    return result;
  }
  auto hello = protocol::DecodeHello(frame);
  if (!hello) {
    close(fd);
    result.error = path + " does not speak the emulated-chip protocol";
    return result;
  }
  if (*hello == protocol::HelloStatus::Busy) {
    close(fd);
    result.status = OpenStatus::Busy;
    result.error = "port " + path + " is in use by another client";
    return result;
  }
  result.transport = std::make_unique<SocketTransport>(fd, timeoutMs);
  result.status = OpenStatus::Ok;
  return result;
}

}  // namespace qt70
