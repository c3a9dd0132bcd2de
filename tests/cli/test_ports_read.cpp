// qt70otp ports and qt70otp read, run as the operator runs them: listing
// served ports, reading a chip back, and cloning its settings with --xml.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "config/config_files.h"
#include "device/device_session.h"
#include "device/ports.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"
#include "../device/chip_server.h"
#include "support/recording_operator.h"

namespace qt70 {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    static int n = 0;
    root = fs::temp_directory_path() /
           ("qt70-cli-" + std::to_string(::getpid()) + "-" + std::to_string(n++));
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace);
    dir = (root / "ports").string();
    ASSERT_TRUE(fs::exists(QT70_BIN_DIR "/qt70otp")) << "build qt70otp first";
  }
  void TearDown() override {
    for (auto& s : servers) s->Stop();
    fs::remove_all(root);
  }

  // Runs qt70otp with the arguments (bounded by timeout(1)).
  Result Qt70otp(const std::string& args) {
    fs::path out = root / "stdout", err = root / "stderr";
    std::string cmd = "timeout 60 " QT70_BIN_DIR "/qt70otp " + args + " >" + out.string() +
                      " 2>" + err.string() + " </dev/null";
    int rc = std::system(cmd.c_str());
    Result r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  fs::path Image(const std::string& name,
                 std::initializer_list<std::pair<uint16_t, uint8_t>> set) {
    std::vector<uint8_t> image(512, 0x00);
    std::fill(image.begin() + 0x100, image.end(), 0xFF);
    for (auto [a, v] : set) image[a] = v;
    fs::path p = root / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    return p;
  }

  // A programmed chip: every group valid, strings, line coding and pairs.
  fs::path Programmed(uint8_t vendorLow = 0x34, uint8_t vendorHigh = 0x12) {
    return Image("programmed.bin",
                 {{0x000, 0x02}, {0x003, 0x49}, {0x004, 0x07},
                  {0x005, 0x00}, {0x006, 0xC2}, {0x007, 0x01}, {0x008, 0x00},  // 115200
                  {0x009, 0x00}, {0x00A, 0x01}, {0x00B, 0x08},
                  {0x00C, vendorLow}, {0x00D, vendorHigh}, {0x00E, 0x78}, {0x00F, 0x56},
                  {0x010, 0x40}, {0x011, 0x32},
                  {0x012, 'K'}, {0x013, 'e'}, {0x014, 'l'}, {0x015, 'm'},
                  {0x022, 'B'}, {0x023, 'r'}, {0x024, 0xE9},  // an 8-bit character
                  // pairs: GPIO_DIRECTION 0x0F, PIN_PULLUP_EN 0x03
                  {0x042, 0x0D}, {0x043, 0xFC}, {0x044, 0x00},
                  {0x045, 0x14}, {0x046, 0x3C}, {0x047, 0x00}});
  }

  // What the dialog's readback gives for an image, in this process.
  CSettings ReadBack(const fs::path& image) {
    EmulatedChip chip;
    std::string error;
    EXPECT_EQ(chip.LoadImage(image.string(), &error), ImageStatus::Ok) << error;
    test::RecordingOperator ui;
    CDeviceLink link{ui};
    link.Open(std::make_unique<EmulatedTransport>(chip));
    CSettings s;
    s.ResetSettings();
    s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
    CDeviceSession session(link, s, ui, dir);
    EXPECT_TRUE(session.ReadAllTandoOTPRegisters());
    return s;
  }

  fs::path root;
  std::string dir;
  std::vector<std::unique_ptr<test::ChipServer>> servers;
};

TEST_F(Cli, PortsListsServedPortsInListOrder) {
  for (const char* name : {"COM2", "COM10", "Com1"}) {
    servers.push_back(std::make_unique<test::ChipServer>());
    ASSERT_TRUE(servers.back()->Start(dir, name, (root / (std::string(name) + ".bin")).string()))
        << servers.back()->output;
  }
  Result r = Qt70otp("ports --ports-dir " + dir);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> emulated;
  for (const std::string& line : Lines(r.out))
    if (fs::exists(fs::path(dir) / line)) emulated.push_back(line);
  EXPECT_EQ(emulated, (std::vector<std::string>{"Com1", "COM10", "COM2"}));
  std::vector<std::string> all = Lines(r.out);
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), PortNameLess));

  EXPECT_EQ(Qt70otp("ports extra").status, 2);
  std::ofstream(root / "file") << "x";
  Result bad = Qt70otp("ports --ports-dir " + (root / "file").string());
  EXPECT_EQ(bad.status, 4);
  EXPECT_NE(bad.err.find("Error: Cannot start the port enumeration"), std::string::npos) << bad.err;
}

TEST_F(Cli, ReadPrintsEverySettingOfAProgrammedChip) {
  Result r = Qt70otp("read --image " + Programmed().string());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> want = {
      "Programmed: yes",
      "Vendor ID: 0x1234",
      "Device ID: 0x5678",
      "USB Max Power: 0x32",
      "Self-Powered: 1",
      "Remote Wake-up: 0",
      "Manufacturer String: Kelm",
      "Manufacturer String Use Kelm Defaults: 0",
      "Product String: Br\xC3\xA9",
      "Product String Use Kelm Defaults: 0",
      "Serial Number String: ",
      "Serial Number String Use Kelm Defaults: 1",
      "Baud Rate: 115200",
      "Char Format: 1",
      "Parity: Even",
      "Data Bits: 8",
      "Low Power Polarity - Active High: 1",
      "Core Clock: 24 MHz",
      "VBUS_SENSE Enable: 1",
      "PIN_PULLDOWN_EN: 0x00",
      "PIN_PULLUP_EN: 0x03",
      "FLOW_CONTROL: 0x00",
      "GPIO_DIRECTION: 0x0f",
      "GPIO_INT_MASK: 0x00",
      "GPIO_MODE: 0x00",
      "GPIO_SET: 0x00",
  };
  EXPECT_EQ(Lines(r.out), want);
}

TEST_F(Cli, ReadOfABlankChipStillReadsBack) {
  Result r = Qt70otp("read --image " + Image("blank.bin", {}).string());
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Programmed: no");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Char Format: (none)"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Manufacturer String Use Kelm Defaults: 1"),
            lines.end());
  // A blank chip's settings do not pass validation: nothing is written.
  fs::path xml = root / "blank.xml";
  Result x = Qt70otp("read --image " + (root / "blank.bin").string() + " --xml " + xml.string());
  EXPECT_EQ(x.status, 1);
  EXPECT_NE(x.err.find("Warning! Improper value to Write: Please input a valid Vendor ID in "
                       "0x0000 format."),
            std::string::npos)
      << x.err;
  EXPECT_FALSE(fs::exists(xml));
}

TEST_F(Cli, XmlCloneReproducesTheChipsSettings) {
  fs::path image = Programmed();
  fs::path xml = root / "clone.xml";
  Result r = Qt70otp("read --image " + image.string() + " --xml " + xml.string());
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(fs::exists(xml));

  CSettings chip = ReadBack(image);
  // The loader of the dialog's Load XMl File, wired as the dialog wires it.
  struct Loader {
    test::RecordingOperator ui;
    CDeviceLink link{ui};
    COtpEngine engine{link, ui, files};
    CConfigFiles files{engine, ui};
  };
  auto loader = std::make_unique<Loader>();
  CSettings loaded;
  ASSERT_TRUE(loader->files.LoadXmlFile(xml.string(), loaded))
      << ::testing::PrintToString(loader->ui.BoxTexts());
  loaded.m_strComPort = chip.m_strComPort;
  EXPECT_EQ(loaded, chip);
}

TEST_F(Cli, ReadRejectsSettingsThatFailValidationAndWritesNothing) {
  fs::path xml = root / "bad.xml";
  std::ofstream(xml) << "old";
  // Vendor ID 0x0000 is not programmable.
  Result r = Qt70otp("read --image " + Programmed(0x00, 0x00).string() + " --xml " + xml.string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Warning! Improper value to Write: Invalid Vendor ID!"), std::string::npos)
      << r.err;
  EXPECT_EQ(Slurp(xml), "old");
}

TEST_F(Cli, ReadOverAServedPortAndItsFailures) {
  servers.push_back(std::make_unique<test::ChipServer>());
  ASSERT_TRUE(servers.back()->Start(dir, "COM5", Programmed().string())) << servers.back()->output;
  Result r = Qt70otp("read --port COM5 --ports-dir " + dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).at(0), "Programmed: yes");
  EXPECT_EQ(Lines(r.out).at(1), "COM Port: COM5");

  servers.push_back(std::make_unique<test::ChipServer>());
  ASSERT_TRUE(servers.back()->Start(dir, "COM6", (root / "x.bin").string(), {"no-otp"}));
  Result n = Qt70otp("read --port COM6 --ports-dir " + dir);
  EXPECT_EQ(n.status, 4);
  EXPECT_NE(n.err.find("Error: OTP is not supported for this device/driver. Please check."),
            std::string::npos)
      << n.err;
  EXPECT_TRUE(n.out.empty());

  EXPECT_EQ(Qt70otp("read --port COM9 --ports-dir " + dir).status, 4);
  EXPECT_EQ(Qt70otp("read --port ../COM5 --ports-dir " + dir).status, 2);
  EXPECT_EQ(Qt70otp("read").status, 2);
  EXPECT_EQ(Qt70otp("read --image " + (root / "missing.bin").string()).status, 2);
}

}  // namespace
}  // namespace qt70
