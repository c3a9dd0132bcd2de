// Ports as the operator meets them, on real qt70chip server processes: the
// listing, choosing a port (blank, programmed, busy, without OTP access, a
// real terminal that rejects the requests), and ports that come and go.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "chip_server.h"
#include "device/device_session.h"
#include "device/ports.h"
#include "device/serial_transport.h"
#include "res/resource.h"
#include "support/recording_operator.h"

namespace qt70 {
namespace {

namespace fs = std::filesystem;

// Writes a 512-byte image: blank (low half 0x00, high half 0xFF) with the
// given bytes set.
void WriteImage(const fs::path& path, std::initializer_list<std::pair<uint16_t, uint8_t>> set) {
  std::vector<uint8_t> image(512, 0x00);
  std::fill(image.begin() + 0x100, image.end(), 0xFF);
  for (auto [a, v] : set) image[a] = v;
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
}

// Polls the session's monitor until `done` holds or 10 s have passed.
bool PumpUntil(CDeviceSession& session, const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    session.Monitor().Poll(100);
  }
  return true;
}

bool Has(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

class Ports : public ::testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    root = fs::temp_directory_path() /
           ("qt70-ports-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace);
    dir = (root / "ports").string();
  }
  void TearDown() override {
    for (auto& s : servers) s->Stop();
    fs::remove_all(root);
  }

  test::ChipServer& Serve(const std::string& port, const fs::path& image,
                          const std::vector<std::string>& faults = {}) {
    servers.push_back(std::make_unique<test::ChipServer>());
    EXPECT_TRUE(servers.back()->Start(dir, port, image.string(), faults))
        << servers.back()->output;
    return *servers.back();
  }
  fs::path Blank(const std::string& name) {
    fs::path p = root / (name + ".bin");
    WriteImage(p, {});
    return p;
  }

  // The emulated ports of a listing (the real ones of this machine vary).
  std::vector<std::string> Emulated(const std::vector<std::string>& list) {
    std::vector<std::string> real;
    ListRealPorts(real);
    std::vector<std::string> out;
    for (const auto& n : list)
      if (!Has(real, n)) out.push_back(n);
    return out;
  }

  fs::path root;
  std::string dir;
  std::vector<std::unique_ptr<test::ChipServer>> servers;
  test::RecordingOperator ui;
  CDeviceLink link{ui};
  CSettings settings;
};

// A fixture whose session uses the test's folder.
class PortsSession : public Ports {
 protected:
  void SetUp() override {
    Ports::SetUp();
    s = std::make_unique<CDeviceSession>(link, settings, ui, dir);
  }
  void Choose(const std::string& name) {
    settings.m_strComPort = name;
    s->OnCbnSelchangeComboComNumber();
  }
  std::unique_ptr<CDeviceSession> s;
};

TEST_F(PortsSession, ListsEveryServedPortSortedAsTheDialogSorts) {
  Serve("COM2", Blank("a"));
  Serve("COM10", Blank("b"));
  Serve("com3", Blank("c"));
  std::ofstream(fs::path(dir) / "notes.txt") << "not a port";
  fs::create_directory(fs::path(dir) / "COM4");

  std::vector<std::string> list = {"stale"};
  s->EnumCOMPorts(list);
  EXPECT_EQ(Emulated(list), (std::vector<std::string>{"COM10", "COM2", "com3"}));
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end(), PortNameLess));
  EXPECT_FALSE(Has(list, "stale"));

  EXPECT_TRUE(PortNameLess("COM10", "COM2"));
  EXPECT_TRUE(PortNameLess("com1", "COM2"));
  EXPECT_TRUE(PortNameLess("COM", "com1"));
}

TEST_F(PortsSession, ListingFailureIsRaisedAfterTheOtherSourceAndShownByTheRefresh) {
  // The ports folder is a plain file: the emulated ports cannot be listed.
  fs::remove_all(dir);
  std::ofstream(dir) << "x";
  std::vector<std::string> list;
  try {
    s->EnumCOMPorts(list);
    ADD_FAILURE() << "no error raised";
  } catch (const PortEnumError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot start the port enumeration (ports folder " + dir +
                                         "). (err=Not a directory)");
  }
  std::vector<std::string> real;
  ListRealPorts(real);
  EXPECT_EQ(list, real);  // the list keeps what was found

  int changes = 0;
  s->onPortListChanged = [&] { ++changes; };
  s->RefreshPortList();
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].style, MB_ICONERROR);
  EXPECT_EQ(s->m_ports, real);
}

TEST_F(PortsSession, MissingFolderHoldsNoPorts) {
  fs::remove_all(dir);
  std::vector<std::string> list;
  EXPECT_NO_THROW(s->EnumCOMPorts(list));
  EXPECT_TRUE(Emulated(list).empty());
}

TEST_F(PortsSession, ChoosingABlankChip) {
  Serve("COM5", Blank("blank"));
  settings.m_strVendorId = "0x1234";
  Choose("COM5");
  EXPECT_TRUE(link.IsOpen());
  EXPECT_TRUE(ui.boxes.empty());
  CSettings want;
  want.ResetSettings();
  want.m_strComPort = "COM5";
  want.m_bUseDefaultManufacturer = want.m_bUseDefaultProduct = want.m_bUseDefaultSerial = 1;
  EXPECT_EQ(settings, want);
  EXPECT_EQ(ui.state, ControlState::Editing);
  EXPECT_EQ(ui.program_caption, "Program");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"UpdateData(TRUE)", "UpdateData(FALSE)",
                                                 "hide 1034", "state editing", "text 1009: Program"}));
}

TEST_F(PortsSession, ChoosingAProgrammedChipReadsItBack) {
  fs::path image = root / "programmed.bin";
  WriteImage(image, {{0x003, 0x48}, {0x004, 0x01}, {0x00C, 0x34}, {0x00D, 0x12}, {0x00E, 0x01},
                     {0x011, 0x32}});
  Serve("COM6", image);
  Choose("COM6");
  EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{"OTP is already programmed on this chip."});
  EXPECT_EQ(ui.boxes[0].caption, "OTP programmed.");
  EXPECT_EQ(ui.boxes[0].style, MB_ICONINFORMATION);
  EXPECT_EQ(ui.program_caption, "Programmed");
  EXPECT_EQ(ui.state, ControlState::Programmed);
  EXPECT_EQ(settings.m_strVendorId, "0x1234");
  EXPECT_EQ(settings.m_strDeviceId, "0x0001");
  EXPECT_EQ(settings.m_strMaxPower, "0x32");
  EXPECT_EQ(settings.m_bVbusSense, 1);
  EXPECT_EQ(settings.m_nCoreClock, 3);
  EXPECT_EQ(settings.m_bUseDefaultManufacturer, 1);  // strings not valid: the flags stay 1
}

TEST_F(PortsSession, SecondOpenOfAServedPortIsBusy) {
  Serve("COM5", Blank("one"));
  Serve("COM6", Blank("two"));
  Choose("COM5");
  ASSERT_TRUE(link.IsOpen());

  // Another tool instance holds COM5 now; this one had COM6 open before.
  test::RecordingOperator ui2;
  CDeviceLink link2{ui2};
  CSettings settings2;
  CDeviceSession other(link2, settings2, ui2, dir);
  settings2.m_strComPort = "COM6";
  other.OnCbnSelchangeComboComNumber();
  ASSERT_TRUE(link2.IsOpen());
  ui2.Clear();
  CSettings before = settings2;
  before.m_strComPort = "COM5";
  settings2.m_strComPort = "COM5";
  other.OnCbnSelchangeComboComNumber();
  EXPECT_FALSE(link2.IsOpen());  // COM6 was closed first
  ASSERT_EQ(ui2.boxes.size(), 1u);
  EXPECT_EQ(ui2.boxes[0].text,
            "The port is not free. \nPlease close all other applications using this COM port "
            "and retry.");
  EXPECT_EQ(ui2.boxes[0].caption, "Error : COM Port not available to open");
  EXPECT_EQ(ui2.boxes[0].style, MB_ICONERROR);
  EXPECT_EQ(ui2.events.back(), "cursel 1000 -1");
  EXPECT_EQ(settings2, before);  // settings and the port name keep their values
  EXPECT_EQ(ui2.state, ControlState::Editing);  // and so do the controls
  EXPECT_TRUE(link.IsOpen());
}

TEST_F(PortsSession, NamesThatAreNotPlainAndPortsThatAreMissingAreNotOpened) {
  for (const char* name : {"../ports/COM5", "..", "", "COM9"}) {
    SCOPED_TRACE(name);
    ui.Clear();
    Choose(name);
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(ui.BoxTexts(),
              std::vector<std::string>{"The port is not free. \nPlease close all other "
                                       "applications using this COM port and retry."});
  }
}

TEST_F(PortsSession, ChipWithoutOtpAccess) {
  Serve("COM7", Blank("no-otp"), {"no-otp"});
  Choose("COM7");
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(settings.m_strComPort, "");
  EXPECT_EQ(ui.state, ControlState::Locked);
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{"OTP is not supported for this device/driver. Please check."});
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.events.back(), "cursel 1000 -1");
}

TEST_F(PortsSession, RealTerminalRejectsTheDriverRequests) {
  int master = -1, slave = -1;
  char name[256] = {};
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  close(slave);
  std::string path = name;
  s->SetPortOpener([&](const std::string&) { return OpenSerialDevice(path); });
  Choose("ttyPTY");
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{"OTP is not supported for this device/driver. Please check."});
  EXPECT_EQ(ui.state, ControlState::Locked);
  close(master);
}

TEST_F(PortsSession, ArrivalAndRemovalAreReportedWithTheirNames) {
  CPortMonitor monitor;
  std::vector<std::string> seen;
  std::string error;
  ASSERT_TRUE(monitor.Start(
      dir,
      [&](unsigned event, unsigned type, const std::string& name) {
        EXPECT_EQ(type, DBT_DEVTYP_PORT);
        seen.push_back((event == DBT_DEVICEARRIVAL ? "+" : event == DBT_DEVICEREMOVECOMPLETE
                                                             ? "-"
                                                             : "?") + name);
      },
      &error))
      << error;
  EXPECT_FALSE(monitor.Fds().empty());
  EXPECT_EQ(monitor.Dispatch(), 0);  // nothing pending, and no blocking

  auto pump = [&](size_t count) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) monitor.Poll(100);
    return seen.size() >= count;
  };
  auto& a = Serve("COM21", Blank("a"));
  ASSERT_TRUE(pump(1));
  Serve("COM22", Blank("b"));
  ASSERT_TRUE(pump(2));
  a.Stop();
  ASSERT_TRUE(pump(3));
  std::ofstream(fs::path(dir) / "plain-file") << "x";  // not a port: no event
  fs::remove(fs::path(dir) / "plain-file");
  monitor.Poll(200);
  EXPECT_EQ(seen, (std::vector<std::string>{"+COM21", "+COM22", "-COM21"}));
}

TEST_F(PortsSession, OtherPortsOnlyRebuildTheListAndTheChosenOneDropsTheChip) {
  s->RegisterCOMDeviceNotification();
  EXPECT_TRUE(ui.boxes.empty());
  auto& chosen = Serve("COM5", Blank("chosen"));
  ASSERT_TRUE(PumpUntil(*s, [&] { return Has(s->m_ports, "COM5"); }));
  Choose("COM5");
  ASSERT_TRUE(link.IsOpen());
  settings.m_strVendorId = "0x1234";
  settings.m_bUseDefaultSerial = 0;
  ui.Clear();

  int changes = 0;
  s->onPortListChanged = [&] { ++changes; };
  auto& other = Serve("COM8", Blank("other"));
  ASSERT_TRUE(PumpUntil(*s, [&] { return Has(s->m_ports, "COM8"); }));
  other.Stop();
  ASSERT_TRUE(PumpUntil(*s, [&] { return !Has(s->m_ports, "COM8"); }));
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(settings.m_strVendorId, "0x1234");

  chosen.Stop();
  ASSERT_TRUE(PumpUntil(*s, [&] { return !Has(s->m_ports, "COM5"); }));
  EXPECT_FALSE(link.IsOpen());
  CSettings want;
  want.ResetSettings();
  want.m_bUseDefaultManufacturer = want.m_bUseDefaultProduct = 1;  // the flags keep their values
  EXPECT_EQ(settings, want);
  EXPECT_EQ(ui.state, ControlState::Locked);
  EXPECT_FALSE(ui.status_visible);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(PortsSession, ArrivalOfTheRememberedNameResetsToo) {
  // A failed open leaves the name in m_strComPort; its arrival resets.
  Choose("COM9");
  ASSERT_FALSE(link.IsOpen());
  settings.m_strVendorId = "0x1";
  s->OnMyDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, "COM9");
  EXPECT_EQ(settings.m_strComPort, "");
  EXPECT_EQ(settings.m_strVendorId, "");
  EXPECT_EQ(ui.state, ControlState::Locked);
}

TEST_F(PortsSession, OtherEventsAndDeviceTypesChangeNothing) {
  Serve("COM5", Blank("x"));
  Choose("COM5");
  ASSERT_TRUE(link.IsOpen());
  settings.m_strVendorId = "0x1234";
  int changes = 0;
  s->onPortListChanged = [&] { ++changes; };
  ui.Clear();
  const std::pair<unsigned, unsigned> ignored[] = {
      {DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_PORT},
      {DBT_DEVNODES_CHANGED, DBT_DEVTYP_PORT},
      {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE},
      {DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE},
  };
  for (auto [event, type] : ignored) EXPECT_EQ(s->OnMyDeviceChange(event, type, "COM5"), 0);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(settings.m_strVendorId, "0x1234");
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(ui.events.empty());
  // The name is compared exactly.
  EXPECT_EQ(s->OnMyDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, "com5"), 0);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(changes, 1);
}

TEST_F(PortsSession, RegistrationFailureIsShownAndTheToolGoesOn) {
  fs::remove_all(dir);
  std::ofstream(dir) << "x";  // the ports folder cannot be made
  CDeviceSession failing(link, settings, ui, dir + "/ports");
  failing.RegisterCOMDeviceNotification();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text.rfind("Can't register device notification: ", 0), 0u)
      << ui.boxes[0].text;
  EXPECT_GT(ui.boxes[0].text.size(), std::string("Can't register device notification: ").size());
  EXPECT_EQ(ui.boxes[0].style, MB_ICONEXCLAMATION);
  EXPECT_FALSE(failing.Monitor().Running());
  EXPECT_EQ(failing.Monitor().Poll(0), 0);
  // Port events that reach the session are still handled.
  settings.m_strComPort = "COM1";
  failing.OnMyDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, "COM1");
  EXPECT_EQ(settings.m_strComPort, "");
}

}  // namespace
}  // namespace qt70
