// The framed protocol between an emulated-chip server (qt70chip) and its
// client (SocketTransport), over a Unix stream socket.
//
// Every frame has a fixed length and starts with a kind byte; multi-byte
// numbers are little-endian.
//
//   Hello, server -> client, sent once right after the connection is made:
//     offset 0  1 byte  'H' (0x48)
//     offset 1  1 byte  protocol version, kProtocolVersion
//     offset 2  1 byte  0 = accepted: this client owns the port now,
//                       1 = busy: another client holds the port; the server
//                       closes the connection after this frame
//     offset 3  1 byte  0
//
//   Request, client -> server, one driver request:
//     offset 0  1 byte  'Q' (0x51)
//     offset 1  4 bytes request code (IOCTL_QTUSB_...)
//     offset 5  4 bytes the request record as QTUSB_CUSTOM_RW_GENERIC::encode
//                       gives it (wReg, wData)
//
//   Answer, server -> client, one per request, in order:
//     offset 0  1 byte  'A' (0x41)
//     offset 1  1 byte  0 = completed, 1 = rejected
//     offset 2  1 byte  number of output bytes, 0 to 2 (0 when rejected)
//     offset 3  2 bytes output bytes, unused ones 0
//
// A peer that receives a frame with a wrong kind, version or length closes
// the connection; the client then rejects every further request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "driver.h"

namespace qt70::protocol {

constexpr uint8_t kProtocolVersion = 1;
constexpr uint8_t kKindHello = 'H';
constexpr uint8_t kKindRequest = 'Q';
constexpr uint8_t kKindAnswer = 'A';

constexpr size_t kHelloSize = 4;
constexpr size_t kRequestSize = 9;
constexpr size_t kAnswerSize = 5;

enum class HelloStatus : uint8_t { Accepted = 0, Busy = 1 };

struct Request {
  uint32_t code = 0;
  QTUSB_CUSTOM_RW_GENERIC record{};
};

struct Answer {
  bool completed = false;
  uint8_t length = 0;        // output bytes, 0-2
  uint8_t output[2] = {0, 0};
};

std::array<uint8_t, kHelloSize> EncodeHello(HelloStatus status);
// The status, or nothing when the frame is not a hello of this version.
std::optional<HelloStatus> DecodeHello(const uint8_t* frame);

std::array<uint8_t, kRequestSize> EncodeRequest(const Request& request);
std::optional<Request> DecodeRequest(const uint8_t* frame);

std::array<uint8_t, kAnswerSize> EncodeAnswer(const Answer& answer);
std::optional<Answer> DecodeAnswer(const uint8_t* frame);

// Blocking helpers for a socket in non-blocking mode: each waits with poll
// for at most timeoutMs milliseconds in all (a negative value waits without
// limit), retries on EINTR, and never raises SIGPIPE. They return false on
// a timeout, an error or the end of the stream (errno tells which; 0 at the
// end of the stream, ETIMEDOUT on a timeout).
bool SendAll(int fd, const uint8_t* data, size_t size, int timeoutMs);
bool ReceiveAll(int fd, uint8_t* data, size_t size, int timeoutMs);

}  // namespace qt70::protocol
