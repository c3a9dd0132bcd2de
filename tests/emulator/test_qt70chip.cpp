// qt70chip as a real process on a temporary ports folder, driven through
// the socket transport. Every wait is bounded; every server is stopped and
// every folder removed, also when a test fails.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "chip_helpers.h"
#include "device/port_open.h"
#include "device/protocol.h"
#include "device/socket_transport.h"

extern char** environ;

namespace qt70 {
namespace {

namespace fs = std::filesystem;
using namespace qt70::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kBinary = std::string(QT70_BIN_DIR) + "/qt70chip";

// Reads what is there on fd until a newline (when `line`), the end, or the deadline.
std::string ReadFor(int fd, int timeoutMs, bool line) {
  std::string text;
  const auto deadline = Clock::now() + milliseconds(timeoutMs);
  while (true) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    char c[256];
    ssize_t n = read(fd, c, line ? 1 : sizeof c);
    if (n <= 0) break;
    text.append(c, static_cast<size_t>(n));
    if (line && c[0] == '\n') break;
  }
  return text;
}

// One qt70chip process with its stdout and stderr on pipes.
class Server {
 public:
  explicit Server(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all{kBinary};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, kBinary.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_out = out[0];
    m_err = err[0];
  }
  ~Server() {
    if (m_pid > 0) {
      kill(m_pid, SIGCONT);
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) close(m_out);
    if (m_err >= 0) close(m_err);
  }

  // The first line on stdout, within the time limit.
  std::string FirstLine(int timeoutMs = 5000) { return ReadFor(m_out, timeoutMs, true); }
  // The exit status (128 + signal when killed), or -1 when it did not end in time.
  int Wait(int timeoutMs = 5000) {
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    while (m_pid > 0) {
      int status = 0;
      pid_t r = waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (Clock::now() > deadline) return -1;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return m_status;
  }
  int Stop(int signal, int timeoutMs = 5000) {
    if (m_pid > 0) kill(m_pid, signal);
    return Wait(timeoutMs);
  }
  void Signal(int signal) {
    if (m_pid > 0) kill(m_pid, signal);
  }
  std::string Stderr() { return ReadFor(m_err, 2000, false); }
  bool Started() const { return m_pid > 0; }

 private:
  pid_t m_pid = -1;
  int m_out = -1, m_err = -1;
  int m_status = -1;
};

class ChipProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBinary)) << kBinary;
    char pattern[] = "/tmp/qt70-chip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    ports = dir + "/ports";
    image = dir + "/chip.bin";
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  std::vector<std::string> Args(const std::string& port, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--port", port, "--image", image, "--ports-dir", ports};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  // Starts a server and waits for its "serving" line.
  std::unique_ptr<Server> Serve(const std::string& port, std::vector<std::string> more = {}) {
    auto server = std::make_unique<Server>(Args(port, std::move(more)));
    const std::string line = server->FirstLine();
    EXPECT_EQ(line, "qt70chip: serving " + port + " at " + ports + "/" + port + "\n")
        << server->Stderr();
    return server;
  }
  // Opens the port, retrying for a moment while the server frees it.
  OpenResult OpenWhenFree(const std::string& port) {
    const auto deadline = Clock::now() + milliseconds(3000);
    OpenResult result = OpenPort(port, ports);
    while (result.status == OpenStatus::Busy && Clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(10));
      result = OpenPort(port, ports);
    }
    return result;
  }
  std::vector<uint8_t> ImageBytes() const {
    std::ifstream in(image, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir, ports, image;
};

class ChipProcessSignalTest : public ChipProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(ChipProcessSignalTest, ServesTheChipAndCleansUpOnSignal) {
  auto server = Serve("chip1", {"--create"});
  OpenResult opened = OpenPort("chip1", ports);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  ITransport& port = *opened.transport;
  ASSERT_TRUE(WriteOtp(port, 0x010, 0x5A));
  EXPECT_EQ(ReadOtp(port, 0x010), 0x5A);
  EXPECT_EQ(ControllerRead(port, 0x210), 0x5A);
  ASSERT_TRUE(ControllerProgram(port, 0x150, 0xBF));
  EXPECT_EQ(ReadOtp(port, 0x150), 0xBF);
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);

  EXPECT_EQ(server->Stop(GetParam()), 0) << server->Stderr();
  EXPECT_FALSE(fs::exists(ports + "/chip1"));
  auto bytes = ImageBytes();
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(bytes[0x010], 0x5A);
  EXPECT_EQ(bytes[0x210], 0x5A);
  EXPECT_EQ(bytes[0x150], 0xBF);
  EXPECT_EQ(bytes[0x350], 0xFF);
  EXPECT_EQ(bytes[0x011], 0x00);
  EXPECT_FALSE(ReadOtp(port, 0x010));  // the server is gone
}

INSTANTIATE_TEST_SUITE_P(Signals, ChipProcessSignalTest, ::testing::Values(SIGTERM, SIGINT));

TEST_F(ChipProcessTest, SecondOpenIsBusyAndADisconnectFreesThePort) {
  auto server = Serve("chip1", {"--create"});
  OpenResult first = OpenPort("chip1", ports);
  ASSERT_EQ(first.status, OpenStatus::Ok) << first.error;

  const auto start = Clock::now();
  OpenResult second = OpenPort("chip1", ports);
  EXPECT_EQ(second.status, OpenStatus::Busy) << second.error;
  EXPECT_FALSE(second.transport);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_TRUE(WriteOtp(*first.transport, 0x020, 0x01));  // the first is not disturbed

  first.transport.reset();
  OpenResult third = OpenWhenFree("chip1");
  ASSERT_EQ(third.status, OpenStatus::Ok) << third.error;
  EXPECT_EQ(ReadOtp(*third.transport, 0x020), 0x01);
  EXPECT_EQ(server->Stop(SIGTERM), 0);
}

TEST_F(ChipProcessTest, FaultsApplyToTheServedChip) {
  auto server = Serve("other", {"--create", "--fault", "no-otp", "--fault", "busy=2"});
  OpenResult opened = OpenPort("other", ports);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  EXPECT_FALSE(ReadOtp(*opened.transport, 0x011));
  EXPECT_FALSE(WriteOtp(*opened.transport, 0x011, 0x01));
  ASSERT_TRUE(WriteReg(*opened.transport, kRegOtpCommand, 5));
  EXPECT_EQ(ReadReg(*opened.transport, kRegOtpStatus), 1);
  EXPECT_EQ(ReadReg(*opened.transport, kRegOtpStatus), 1);
  EXPECT_EQ(ReadReg(*opened.transport, kRegOtpStatus), 0);
  EXPECT_EQ(server->Stop(SIGTERM), 0);
  EXPECT_EQ(ImageBytes()[0x011], 0x00);
}

TEST_F(ChipProcessTest, BadUsageAndImageProblemsExitWithTheirStatus) {
  std::ofstream(dir + "/short.bin") << "too short";
  fs::create_directory(dir + "/folder.bin");
  const std::string missing = dir + "/missing.bin";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  } cases[] = {
      {{}, 2, "--port"},
      {{"--port", "x"}, 2, "--image"},
      {{"--image", image, "--ports-dir", ports}, 2, "--port"},
      {{"--port", "a/b", "--image", image}, 2, "a/b"},
      {{"--port", "..", "--image", image}, 2, "'..'"},
      {{"--port", "x", "--port", "y", "--image", image}, 2, "twice"},
      {{"--port", "x", "--image", image, "--bogus"}, 2, "--bogus"},
      {{"--port", "x", "--image", image, "stray"}, 2, "stray"},
      {{"--port", "x", "--image"}, 2, "--image"},
      {{"--port", "x", "--image", image, "--create=yes"}, 2, "--create"},
      {{"--port", "x", "--image", image, "--create", "--fault", "stuck=0x200.0"}, 2, "stuck=0x200.0"},
      {{"--port", "x", "--image", image, "--create", "--fault", "melt"}, 2, "melt"},
      {{"--port", "x", "--image", missing, "--ports-dir", ports}, 2, missing},
      {{"--port", "x", "--image", dir + "/short.bin", "--ports-dir", ports}, 2, "short.bin"},
      {{"--port", "x", "--image", dir + "/folder.bin", "--ports-dir", ports}, 4, "folder.bin"},
  };
  for (const auto& c : cases) {
    Server server(c.args);
    ASSERT_TRUE(server.Started());
    EXPECT_EQ(server.Wait(), c.status) << testing::PrintToString(c.args);
    const std::string err = server.Stderr();
    EXPECT_NE(err.find(c.says), std::string::npos) << testing::PrintToString(c.args) << ": " << err;
  }
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(fs::exists(image));
  EXPECT_FALSE(fs::exists(ports + "/x"));

  Server help({"--help"});
  EXPECT_NE(help.FirstLine().find("usage: qt70chip"), std::string::npos);
  EXPECT_EQ(help.Wait(), 0);
}

TEST_F(ChipProcessTest, LiveServerIsRefusedAndKeepsServing) {
  auto first = Serve("chip1", {"--create"});
  Server second(Args("chip1"));
  EXPECT_EQ(second.Wait(), 4);
  EXPECT_NE(second.Stderr().find("already served"), std::string::npos);
  ASSERT_TRUE(fs::exists(ports + "/chip1"));

  OpenResult opened = OpenWhenFree("chip1");
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  EXPECT_TRUE(WriteOtp(*opened.transport, 0x004, 0x01));
  EXPECT_EQ(first->Stop(SIGTERM), 0);
}

TEST_F(ChipProcessTest, AFileInThePortsPlaceIsNotReplaced) {
  ASSERT_TRUE(fs::create_directories(ports));
  fs::permissions(ports, fs::perms::owner_all, fs::perm_options::replace);
  std::ofstream(ports + "/chip1") << "mine";
  Server server(Args("chip1", {"--create"}));
  EXPECT_EQ(server.Wait(), 4);
  EXPECT_NE(server.Stderr().find("not a socket"), std::string::npos);
  std::ifstream in(ports + "/chip1");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
}

TEST_F(ChipProcessTest, KilledServerLosesNothingAndItsStaleSocketIsReplaced) {
  auto server = Serve("chip1", {"--create"});
  OpenResult opened = OpenPort("chip1", ports);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  ITransport& port = *opened.transport;
  const char text[] = "Emulated Chip";
  for (uint16_t i = 0; i < sizeof text; ++i)
    ASSERT_TRUE(WriteOtp(port, static_cast<uint16_t>(0x012 + i), static_cast<uint8_t>(text[i])));
  ASSERT_TRUE(WriteOtp(port, 0x1C0, 0x0F));
  ASSERT_TRUE(ControllerProgram(port, 0x3C0, 0xFD));  // bank 2 only

  EXPECT_EQ(server->Stop(SIGKILL), 128 + SIGKILL);
  const auto start = Clock::now();
  EXPECT_FALSE(ReadOtp(port, 0x012));
  EXPECT_FALSE(WriteOtp(port, 0x013, 0xFF));
  EXPECT_LT(Clock::now() - start, milliseconds(2000));

  auto bytes = ImageBytes();
  ASSERT_EQ(bytes.size(), 1024u);
  for (size_t i = 0; i < sizeof text; ++i) {
    EXPECT_EQ(bytes[0x012 + i], static_cast<uint8_t>(text[i])) << i;
    EXPECT_EQ(bytes[0x212 + i], static_cast<uint8_t>(text[i])) << i;
  }
  EXPECT_EQ(bytes[0x1C0], 0x0F);
  EXPECT_EQ(bytes[0x3C0], 0x0D);

  // The dead server's socket is still there; nobody answers on it.
  ASSERT_TRUE(fs::is_socket(ports + "/chip1"));
  OpenResult dead = OpenPort("chip1", ports);
  EXPECT_EQ(dead.status, OpenStatus::Missing) << dead.error;

  auto next = Serve("chip1");
  OpenResult again = OpenPort("chip1", ports);
  ASSERT_EQ(again.status, OpenStatus::Ok) << again.error;
  EXPECT_EQ(ReadOtp(*again.transport, 0x012), 'E');
  EXPECT_EQ(ControllerRead(*again.transport, 0x3C0), 0x0D);
  EXPECT_EQ(next->Stop(SIGTERM), 0);
}

TEST_F(ChipProcessTest, StoppedServerDoesNotHangTheClient) {
  auto server = Serve("chip1", {"--create"});
  OpenResult opened = ConnectSocketPort(ports + "/chip1", 300);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  ASSERT_TRUE(ReadOtp(*opened.transport, 0x000));
  server->Signal(SIGSTOP);
  const auto start = Clock::now();
  EXPECT_FALSE(ReadOtp(*opened.transport, 0x000));
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  EXPECT_FALSE(ReadOtp(*opened.transport, 0x000));  // the link stays broken
  server->Signal(SIGCONT);
  EXPECT_EQ(server->Stop(SIGTERM), 0);
}

TEST_F(ChipProcessTest, GarbageFromAClientDropsItAndFreesThePort) {
  auto server = Serve("chip1", {"--create"});
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = ports + "/chip1";
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  uint8_t hello[protocol::kHelloSize];
  ASSERT_TRUE(protocol::ReceiveAll(fd, hello, sizeof hello, 2000));
  EXPECT_EQ(protocol::DecodeHello(hello), protocol::HelloStatus::Accepted);
  const uint8_t garbage[protocol::kRequestSize] = {'Z', 1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(protocol::SendAll(fd, garbage, sizeof garbage, 2000));
  uint8_t answer[protocol::kAnswerSize];
  EXPECT_FALSE(protocol::ReceiveAll(fd, answer, sizeof answer, 2000));
  EXPECT_EQ(errno, 0);  // closed by the server, not timed out
  close(fd);

  OpenResult opened = OpenWhenFree("chip1");
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  EXPECT_TRUE(ReadOtp(*opened.transport, 0x000));
  EXPECT_EQ(server->Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace qt70
