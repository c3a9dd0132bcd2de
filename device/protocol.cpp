#include "protocol.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace qt70::protocol {

namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, int timeoutMs, Clock::time_point deadline) {
  while (true) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
    }
    pollfd p{fd, events, 0};
    int r = poll(&p, 1, wait);
    if (r > 0) return true;  // ready, or an error/hang-up the next call reports
    if (r == 0) {
      errno = ETIMEDOUT;
      return false;
    }
    if (errno != EINTR) return false;
  }
}

}  // namespace

std::array<uint8_t, kHelloSize> EncodeHello(HelloStatus status) {
  return {kKindHello, kProtocolVersion, static_cast<uint8_t>(status), 0};
}

std::optional<HelloStatus> DecodeHello(const uint8_t* frame) {
  if (frame[0] != kKindHello || frame[1] != kProtocolVersion || frame[3] != 0) return std::nullopt;
  if (frame[2] == 0) return HelloStatus::Accepted;
  if (frame[2] == 1) return HelloStatus::Busy;
  return std::nullopt;
}

std::array<uint8_t, kRequestSize> EncodeRequest(const Request& request) {
  std::array<uint8_t, kRequestSize> frame{};
  frame[0] = kKindRequest;
  Put32(&frame[1], request.code);
  auto record = request.record.encode();
  for (size_t i = 0; i < 4; ++i) frame[5 + i] = record[i];
  return frame;
}

std::optional<Request> DecodeRequest(const uint8_t* frame) {
  if (frame[0] != kKindRequest) return std::nullopt;
  return Request{Get32(&frame[1]), QTUSB_CUSTOM_RW_GENERIC::decode(&frame[5])};
}

std::array<uint8_t, kAnswerSize> EncodeAnswer(const Answer& answer) {
  std::array<uint8_t, kAnswerSize> frame{};
  frame[0] = kKindAnswer;
  frame[1] = answer.completed ? 0 : 1;
  frame[2] = answer.completed ? answer.length : 0;
  for (size_t i = 0; i < frame[2]; ++i) frame[3 + i] = answer.output[i];
  return frame;
}

std::optional<Answer> DecodeAnswer(const uint8_t* frame) {
  if (frame[0] != kKindAnswer || frame[1] > 1 || frame[2] > 2) return std::nullopt;
  Answer answer;
  answer.completed = frame[1] == 0;
  if (!answer.completed && frame[2] != 0) return std::nullopt;
  answer.length = frame[2];
  for (size_t i = 0; i < answer.length; ++i) answer.output[i] = frame[3 + i];
  return answer;
}

bool SendAll(int fd, const uint8_t* data, size_t size, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  size_t done = 0;
  while (done < size) {
    ssize_t n = send(fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (!WaitReady(fd, POLLOUT, timeoutMs, deadline)) return false;
  }
  return true;
}

bool ReceiveAll(int fd, uint8_t* data, size_t size, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  size_t done = 0;
  while (done < size) {
    ssize_t n = recv(fd, data + done, size - done, MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n == 0) {
      errno = 0;
      return false;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (!WaitReady(fd, POLLIN, timeoutMs, deadline)) return false;
  }
  return true;
}

}  // namespace qt70::protocol
