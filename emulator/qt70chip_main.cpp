// qt70chip: serves an emulated chip as a port, a Unix stream socket in the
// ports folder, until SIGINT, SIGTERM or SIGHUP.
//
//   qt70chip --port NAME --image FILE [--fault SPEC]... [--ports-dir DIR] [--create]
//
// One client at a time; a second one gets a "busy" hello and is closed at
// once. The image file is saved after every request that changed the OTP,
// so killing the server loses nothing that was burnt.
//
// Exit statuses: 0 after a signal, 2 bad usage, missing image or wrong
// image size, 4 unreadable image, port already served, socket or folder
// problems.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "device/ports_dir.h"
#include "device/protocol.h"
#include "emulator/emulated_chip.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitDevice = 4;
constexpr int kSendTimeoutMs = 1000;

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: qt70chip --port NAME --image FILE [--fault SPEC]... [--ports-dir DIR] [--create]\n"
    "  --port NAME       serve the chip as port NAME (a socket in the ports folder)\n"
    "  --image FILE      OTP image file, 512 or 1024 bytes; saved after every burn\n"
    "  --fault SPEC      stuck=ADDR.BIT, stuck2=ADDR.BIT, weak=ADDR.BIT.N, no-otp,\n"
    "                    reject-reg, unplug-after=N, busy=N, hang-after=N, latency=US\n"
    "  --ports-dir DIR   ports folder (default $QT70OTP_PORTS, $XDG_RUNTIME_DIR/qt70otp/ports,\n"
    "                    /tmp/qt70otp-UID/ports)\n"
    "  --create          create FILE as a blank 1024-byte image when it does not exist\n";

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "qt70chip: %s\n", message.c_str());
  return status;
}

int Usage(const std::string& problem) {
  std::fprintf(stderr, "qt70chip: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

struct Options {
  std::string port;
  std::string image;
  std::string portsDir;
  std::vector<std::string> faults;
  bool create = false;
  bool help = false;
};

// Returns an empty string, or the usage problem.
std::string ParseArgs(int argc, char** argv, Options* options) {
  bool havePort = false, haveImage = false, haveDir = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      if (size_t eq = arg.find('='); eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        inlineValue = true;
      }
    }
    auto takeValue = [&](bool* seen, std::string* target) -> std::string {
      if (seen && *seen) return arg + " is given twice";
      if (!inlineValue) {
        if (i + 1 >= argc) return arg + " needs a value";
        value = argv[++i];
      }
      if (seen) *seen = true;
      *target = value;
      return "";
    };
    std::string problem;
    if (arg == "--port") {
      problem = takeValue(&havePort, &options->port);
    } else if (arg == "--image") {
      problem = takeValue(&haveImage, &options->image);
    } else if (arg == "--ports-dir") {
      problem = takeValue(&haveDir, &options->portsDir);
    } else if (arg == "--fault") {
      std::string spec;
      problem = takeValue(nullptr, &spec);
      options->faults.push_back(spec);
    } else if (arg == "--create" || arg == "--help" || arg == "-h") {
      if (inlineValue) return arg + " takes no value";
      (arg == "--create" ? options->create : options->help) = true;
    } else if (arg.rfind("-", 0) == 0) {
      return "unknown option " + arg;
    } else {
      return "unexpected argument '" + arg + "'";
    }
    if (!problem.empty()) return problem;
  }
  if (options->help) return "";
  if (!havePort) return "--port NAME is required";
  if (!haveImage) return "--image FILE is required";
  if (options->image.empty()) return "--image needs a file name";
  if (!qt70::IsPlainPortName(options->port))
    return "'" + options->port + "' is not a port name (a plain file name)";
  if (haveDir && options->portsDir.empty()) return "--ports-dir needs a folder";
  return "";
}

// Holds an exclusive lock on the ports folder while a server checks and
// replaces a stale socket and binds its own, so that two servers starting
// at once cannot both take a stale socket for theirs.
class FolderLock {
 public:
  explicit FolderLock(const std::string& dir) {
    m_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0) return;
    for (int tries = 0; tries < 500; ++tries) {  // at most about 5 s
      if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_locked = true;
        return;
      }
      if (errno != EWOULDBLOCK && errno != EINTR) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~FolderLock() {
    if (m_fd >= 0) close(m_fd);
  }
  bool Locked() const { return m_locked; }

 private:
  int m_fd = -1;
  bool m_locked = false;
};

bool ConnectProbe(const sockaddr_un& address, int* err) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  int r;
  do r = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  while (r != 0 && errno == EINTR);
  *err = r == 0 ? 0 : errno;
  close(fd);
  return r == 0 || *err == EAGAIN;  // EAGAIN: a live server with a full queue
}

// Binds and listens on `path`, replacing the stale socket of a dead server.
// Returns the socket, or -1 after printing why.
int Listen(const std::string& path, const std::string& port) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Fail(-1, std::string("cannot create a socket: ") + std::strerror(errno));
  for (int attempt = 0;; ++attempt) {
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    const int err = errno;
    if (err != EADDRINUSE || attempt > 0) {
      close(fd);
      return Fail(-1, "cannot bind " + path + ": " + std::strerror(err));
    }
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
      close(fd);
      return Fail(-1, path + " exists and is not a socket; not replacing it");
    }
    int probeErr = 0;
    if (ConnectProbe(address, &probeErr)) {
      close(fd);
      return Fail(-1, "port " + port + " is already served at " + path);
    }
    if (probeErr != ECONNREFUSED && probeErr != ENOENT) {
      close(fd);
      return Fail(-1, "cannot check the socket at " + path + ": " + std::strerror(probeErr));
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      close(fd);
      return Fail(-1, "cannot remove the stale socket " + path + ": " + std::strerror(errno));
    }
  }
  if (listen(fd, 8) != 0) {
    const int err = errno;
    close(fd);
    unlink(path.c_str());
    return Fail(-1, "cannot listen on " + path + ": " + std::strerror(err));
  }
  return fd;
}

std::string DirName(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The one client of the port: bytes received so far and the requests they
// make, answered in order.
class Server {
 public:
  Server(qt70::EmulatedChip& chip, int listenFd) : m_chip(chip), m_listen(listenFd) {}
  ~Server() { DropClient(); }

  // Serves until a stop signal. Returns the exit status.
  int Run(const sigset_t& waitMask) {
    while (!g_stop) {
      pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_client, POLLIN, 0}};
      int n = ppoll(fds, m_client >= 0 ? 2 : 1, nullptr, &waitMask);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(kExitDevice, std::string("poll failed: ") + std::strerror(errno));
      }
      if (fds[0].revents & POLLIN) Accept();
      if (m_client >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) Receive();
    }
    return 0;
  }

 private:
  void Accept() {
    int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of resources: wait a little rather than spin on the queue.
        std::fprintf(stderr, "qt70chip: cannot accept a client: %s\n", std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      return;  // EAGAIN, ECONNABORTED, EINTR: nothing to do
    }
    const bool busy = m_client >= 0;
    const auto hello = qt70::protocol::EncodeHello(busy ? qt70::protocol::HelloStatus::Busy
                                                        : qt70::protocol::HelloStatus::Accepted);
    const bool sent = qt70::protocol::SendAll(fd, hello.data(), hello.size(), kSendTimeoutMs);
    if (busy || !sent) {
      close(fd);
      return;
    }
    m_client = fd;
    m_pending.clear();
  }

  void Receive() {
    uint8_t buffer[4096];
    while (true) {
      ssize_t n = recv(m_client, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        m_pending.insert(m_pending.end(), buffer, buffer + n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      // The client has gone (end of stream or error), but answer what it
      // sent before, then free the port.
      Serve();
      DropClient();
      return;
    }
    Serve();
  }

  // Answers every complete request frame received.
  void Serve() {
    size_t used = 0;
    while (m_client >= 0 && m_pending.size() - used >= qt70::protocol::kRequestSize) {
      auto request = qt70::protocol::DecodeRequest(m_pending.data() + used);
      used += qt70::protocol::kRequestSize;
      if (!request) {
        std::fprintf(stderr, "qt70chip: malformed request from the client; closing it\n");
        DropClient();
        return;
      }
      qt70::protocol::Answer answer;
      const uint64_t failuresBefore = m_chip.SaveFailures();
      answer.completed = m_chip.Request(request->code, request->record, answer.output);
      if (m_chip.SaveFailures() != failuresBefore)
        std::fprintf(stderr, "qt70chip: cannot save the image: %s\n", m_chip.LastSaveError().c_str());
      answer.length = answer.completed ? static_cast<uint8_t>(qt70::output_size(request->code)) : 0;
      const auto frame = qt70::protocol::EncodeAnswer(answer);
      if (!qt70::protocol::SendAll(m_client, frame.data(), frame.size(), kSendTimeoutMs)) {
        DropClient();
        return;
      }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(used));
  }

  void DropClient() {
    if (m_client >= 0) close(m_client);
    m_client = -1;
    m_pending.clear();
  }

  qt70::EmulatedChip& m_chip;
  int m_listen;
  int m_client = -1;
  std::vector<uint8_t> m_pending;
};

}  // namespace

int main(int argc, char** argv) {
  // Stop signals stay blocked except while the server waits in ppoll, so a
  // signal never cuts a request or a save in half, and one that comes
  // during start-up is taken at the first wait.
  sigset_t stopSignals, waitMask;
  sigemptyset(&stopSignals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stopSignals, s);
  sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGHUP);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Options options;
  if (std::string problem = ParseArgs(argc, argv, &options); !problem.empty()) return Usage(problem);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  qt70::EmulatedChip chip;
  for (const auto& spec : options.faults) {
    std::string error;
    if (!chip.AddFault(spec, &error)) return Fail(kExitUsage, error);
  }

  std::string error;
  qt70::ImageStatus status = chip.LoadImage(options.image, &error);
  if (status == qt70::ImageStatus::Missing && options.create) {
    std::string createError;
    qt70::ImageStatus created =
        qt70::EmulatedChip::WriteBlankImage(options.image, qt70::kChipOtpSize, &createError, false);
    // Another process may have created it in between; loading tells.
    if (created != qt70::ImageStatus::Ok && createError.find("exists already") == std::string::npos)
      return Fail(kExitDevice, "cannot create image: " + createError);
    status = chip.LoadImage(options.image, &error);
  }
  switch (status) {
    case qt70::ImageStatus::Ok: break;
    case qt70::ImageStatus::Missing: return Fail(kExitUsage, error + " (--create makes a blank one)");
    case qt70::ImageStatus::WrongSize: return Fail(kExitUsage, error);
    case qt70::ImageStatus::Unreadable:
    case qt70::ImageStatus::WriteFailed: return Fail(kExitDevice, error);
  }
  const std::string imageDir = DirName(chip.ImagePath());
  if (access(imageDir.c_str(), W_OK) != 0)
    return Fail(kExitDevice, "cannot save the image: folder " + imageDir + " is not writable");
  chip.SetAutoSave(true);

  const std::string dir = qt70::PortsDir(options.portsDir);
  if (!qt70::EnsurePortsDir(dir, &error)) return Fail(kExitDevice, error);
  const std::string path = qt70::PortSocketPath(dir, options.port, &error);
  if (path.empty()) return Fail(kExitUsage, error);

  int listenFd;
  struct stat bound {};
  {
    FolderLock lock(dir);
    if (!lock.Locked()) return Fail(kExitDevice, "cannot lock the ports folder " + dir);
    listenFd = Listen(path, options.port);
    if (listenFd < 0) return kExitDevice;
    stat(path.c_str(), &bound);
  }

  std::printf("qt70chip: serving %s at %s\n", options.port.c_str(), path.c_str());
  std::fflush(stdout);

  int exitStatus;
  {
    Server server(chip, listenFd);
    exitStatus = server.Run(waitMask);
  }
  close(listenFd);
  // Remove the socket only while it is still ours.
  struct stat now {};
  if (stat(path.c_str(), &now) == 0 && now.st_ino == bound.st_ino && now.st_dev == bound.st_dev)
    unlink(path.c_str());
  return exitStatus;
}
