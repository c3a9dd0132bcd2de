// The client side of a served emulated chip: one connection to the port's
// Unix socket, one request frame and one answer frame per driver request
// (frames in protocol.h).
#pragma once

#include <string>

#include "driver.h"
#include "port_open.h"

namespace qt70 {

// How long a request waits for its answer before the link counts as broken.
// A healthy server answers at once (its slowest fault adds at most 1 s).
constexpr int kSocketReplyTimeoutMs = 5000;

class SocketTransport : public ITransport {
 public:
  // Takes a connected socket whose hello said "accepted".
  SocketTransport(int fd, int timeoutMs);
  ~SocketTransport() override;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  // Rejected when the connection is broken (server gone, garbled answer,
  // no answer in time); once broken, every later request is rejected too.
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override;

  bool Broken() const { return m_fd < 0; }

 private:
  void Break();

  int m_fd;
  int m_timeoutMs;
};

// Connects to the socket at `path` and waits for the server's hello.
// Ok: connected. Busy: the server serves another client. Missing: nothing
// listens there (no socket, or the stale socket of a dead server), or the
// server does not answer within `timeoutMs`.
OpenResult ConnectSocketPort(const std::string& path, int timeoutMs = kSocketReplyTimeoutMs);

}  // namespace qt70
