// The ports folder, the frame protocol, serial devices (a pty stands in
// for one) and opening a port by name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "chip_helpers.h"
#include "device/port_open.h"
#include "device/ports_dir.h"
#include "device/protocol.h"
#include "device/serial_transport.h"

namespace qt70 {
namespace {

namespace fs = std::filesystem;
using namespace qt70::test;

// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name)) m_old = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_old) setenv(m_name, m_old->c_str(), 1);
    else unsetenv(m_name);
  }

 private:
  const char* m_name;
  std::optional<std::string> m_old;
};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/qt70-ports-XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string path;
};

TEST(PortsDir, OptionThenEnvironmentThenRuntimeFolderThenTmp) {
  ScopedEnv ports("QT70OTP_PORTS", nullptr);
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ(PortsDir(""), "/tmp/qt70otp-" + std::to_string(getuid()) + "/ports");
  {
    ScopedEnv set("XDG_RUNTIME_DIR", "/run/user/7");
    EXPECT_EQ(PortsDir(""), "/run/user/7/qt70otp/ports");
    ScopedEnv empty("QT70OTP_PORTS", "");
    EXPECT_EQ(PortsDir(""), "/run/user/7/qt70otp/ports");
    ScopedEnv env("QT70OTP_PORTS", "/srv/ports");
    EXPECT_EQ(PortsDir(""), "/srv/ports");
    EXPECT_EQ(PortsDir("/opt/p"), "/opt/p");
  }
  ScopedEnv emptyRuntime("XDG_RUNTIME_DIR", "");
  EXPECT_EQ(PortsDir(""), "/tmp/qt70otp-" + std::to_string(getuid()) + "/ports");
}

TEST(PortsDir, PlainPortNames) {
  for (const char* name : {"COM5", "chip1", "ttyUSB0", ".hidden", "a b", "..."})
    EXPECT_TRUE(IsPlainPortName(name)) << name;
  for (std::string_view name : {std::string_view(""), std::string_view("."), std::string_view(".."),
                                std::string_view("a/b"), std::string_view("/dev/ttyS0"),
                                std::string_view("../x"), std::string_view("x/"),
                                std::string_view("a\0b", 3)})
    EXPECT_FALSE(IsPlainPortName(name)) << name;
}

TEST(PortsDir, SocketPathsRefuseOddNamesAndOverlongPaths) {
  std::string error;
  EXPECT_EQ(PortSocketPath("/tmp/p", "COM5", &error), "/tmp/p/COM5");
  EXPECT_EQ(PortSocketPath("/tmp/p/", "COM5", &error), "/tmp/p/COM5");
  EXPECT_EQ(PortSocketPath("/tmp/p", "../COM5", &error), "");
  EXPECT_NE(error.find("../COM5"), std::string::npos);
  EXPECT_EQ(PortSocketPath("/tmp/" + std::string(120, 'd'), "COM5", &error), "");
  EXPECT_NE(error.find("longer"), std::string::npos) << error;
}

TEST(PortsDir, EnsureCreatesPrivateFoldersAndRefusesSharedOnes) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path.empty());
  std::string error;
  const std::string nested = tmp.path + "/a/b/ports";
  ASSERT_TRUE(EnsurePortsDir(nested, &error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(nested.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(EnsurePortsDir(nested, &error)) << error;  // again: already there

  const std::string shared = tmp.path + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  EXPECT_FALSE(EnsurePortsDir(shared, &error));
  EXPECT_NE(error.find("writable"), std::string::npos) << error;
  EXPECT_FALSE(EnsurePortsDir(shared + "/ports", &error));  // its parent may be swapped

  const std::string file = tmp.path + "/file";
  std::ofstream(file) << "x";
  EXPECT_FALSE(EnsurePortsDir(file, &error));
  EXPECT_FALSE(EnsurePortsDir("", &error));
}

TEST(Protocol, FramesRoundTripAndGarbageIsRefused) {
  for (auto status : {protocol::HelloStatus::Accepted, protocol::HelloStatus::Busy})
    EXPECT_EQ(protocol::DecodeHello(protocol::EncodeHello(status).data()), status);

  protocol::Request request{IOCTL_QTUSB_WRITE_REG, {0x0D43, 0xBEEF}};
  auto frame = protocol::EncodeRequest(request);
  EXPECT_EQ(frame[0], 'Q');
  EXPECT_EQ(frame[1], 0x58);  // code, little-endian
  EXPECT_EQ(frame[4], 0x00);
  EXPECT_EQ(frame[5], 0x43);  // record as encode() gives it
  EXPECT_EQ(frame[8], 0xBE);
  auto back = protocol::DecodeRequest(frame.data());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->code, request.code);
  EXPECT_EQ(back->record.wReg, 0x0D43);
  EXPECT_EQ(back->record.wData, 0xBEEF);

  protocol::Answer answer;
  answer.completed = true;
  answer.length = 2;
  answer.output[0] = 0x34;
  answer.output[1] = 0x12;
  auto decoded = protocol::DecodeAnswer(protocol::EncodeAnswer(answer).data());
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->completed);
  EXPECT_EQ(decoded->length, 2);
  EXPECT_EQ(decoded->output[1], 0x12);

  const uint8_t bad[][5] = {{'X', 0, 0, 0, 0}, {'A', 2, 0, 0, 0}, {'A', 0, 3, 0, 0}, {'A', 1, 1, 0, 0}};
  for (const auto& f : bad) EXPECT_FALSE(protocol::DecodeAnswer(f));
  const uint8_t badHello[][4] = {{'H', 2, 0, 0}, {'H', 1, 2, 0}, {'Q', 1, 0, 0}, {'H', 1, 0, 1}};
  for (const auto& f : badHello) EXPECT_FALSE(protocol::DecodeHello(f));
  const uint8_t badRequest[9] = {'A'};
  EXPECT_FALSE(protocol::DecodeRequest(badRequest));
}

// A pseudo-terminal: its slave is an ordinary serial device without the
// driver requests.
class Pty {
 public:
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
      if (const char* name = ptsname(master)) slave = name;
    }
  }
  ~Pty() {
    if (master >= 0) close(master);
  }
  int master = -1;
  std::string slave;
};

TEST(SerialTransport, PtyRejectsEveryDriverRequest) {
  Pty pty;
  if (pty.slave.empty()) GTEST_SKIP() << "no pseudo-terminals here";
  OpenResult opened = OpenSerialDevice(pty.slave);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;
  ITransport& port = *opened.transport;
  EXPECT_FALSE(ReadOtp(port, 0x011));
  EXPECT_FALSE(WriteOtp(port, 0x011, 0x01));
  EXPECT_FALSE(ReadReg(port, 0x0D44));
  EXPECT_FALSE(WriteReg(port, 0x0D43, 1));
}

TEST(SerialTransport, SecondOpenIsBusyUntilTheFirstCloses) {
  Pty pty;
  if (pty.slave.empty()) GTEST_SKIP() << "no pseudo-terminals here";
  OpenResult first = OpenSerialDevice(pty.slave);
  ASSERT_EQ(first.status, OpenStatus::Ok) << first.error;
  OpenResult second = OpenSerialDevice(pty.slave);
  EXPECT_EQ(second.status, OpenStatus::Busy);
  EXPECT_FALSE(second.transport);
  EXPECT_NE(second.error.find(pty.slave), std::string::npos) << second.error;
  first.transport.reset();
  OpenResult third = OpenSerialDevice(pty.slave);
  EXPECT_EQ(third.status, OpenStatus::Ok) << third.error;
}

TEST(SerialTransport, MissingDevicesAndNonTerminalsAreNotPorts) {
  TempDir tmp;
  const std::string file = tmp.path + "/plain";
  std::ofstream(file) << "x";
  for (const std::string& path : {std::string("/dev/qt70-no-such-port"), std::string("/dev/null"), file}) {
    OpenResult opened = OpenSerialDevice(path);
    EXPECT_EQ(opened.status, OpenStatus::Missing) << path;
    EXPECT_FALSE(opened.transport);
    EXPECT_NE(opened.error.find(path), std::string::npos) << opened.error;
  }
}

TEST(OpenPort, RefusesNamesThatAreNotPlainWithoutTouchingAnything) {
  TempDir tmp;
  for (const char* name : {"", ".", "..", "../ports/x", "pts/0", "/dev/ptmx"}) {
    OpenResult opened = OpenPort(name, tmp.path);
    EXPECT_EQ(opened.status, OpenStatus::BadName) << name;
    EXPECT_FALSE(opened.transport);
  }
}

TEST(OpenPort, FallsBackToTheSerialDeviceOfThatName) {
  TempDir tmp;
  OpenResult missing = OpenPort("qt70-no-such-port", tmp.path);
  EXPECT_EQ(missing.status, OpenStatus::Missing);
  EXPECT_NE(missing.error.find("qt70-no-such-port"), std::string::npos) << missing.error;

  // A non-socket entry of that name in the ports folder is no emulated port.
  std::ofstream(tmp.path + "/ptmx") << "x";
  if (access("/dev/ptmx", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/ptmx";
  OpenResult ptmx = OpenPort("ptmx", tmp.path);  // a terminal without the requests
  ASSERT_EQ(ptmx.status, OpenStatus::Ok) << ptmx.error;
  EXPECT_FALSE(ReadOtp(*ptmx.transport, 0x011));
}

}  // namespace
}  // namespace qt70
