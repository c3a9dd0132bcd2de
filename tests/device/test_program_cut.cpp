// A programming run over a served port whose server is killed in the middle
// (the plug pulled): the run reports the failure, and the chip's image file
// holds exactly what was burnt before the cut.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "chip_server.h"
#include "config/config_files.h"
#include "device/device_link.h"
#include "device/port_open.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"
#include "res/resource.h"
#include "support/recording_operator.h"

namespace qt70 {
namespace {

namespace fs = std::filesystem;

struct Sent {
  uint32_t code;
  QTUSB_CUSTOM_RW_GENERIC in;
};

// Passes requests to the served port and writes down the ones that
// completed; kills the server right after the cutAfter-th OTP write.
class CuttingTransport : public ITransport {
 public:
  CuttingTransport(std::unique_ptr<ITransport> inner, test::ChipServer& server, int cutAfter,
                   std::vector<Sent>& done)
      : m_inner(std::move(inner)), m_server(server), m_left(cutAfter), m_done(done) {}
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override {
    bool ok = m_inner->DeviceIoControl(code, in, out);
    if (ok) m_done.push_back({code, in});
    if (ok && code == IOCTL_QTUSB_WRITE_OTP && --m_left == 0) m_server.Kill();
    return ok;
  }

 private:
  std::unique_ptr<ITransport> m_inner;
  test::ChipServer& m_server;
  int m_left;
  std::vector<Sent>& m_done;
};

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Tool {
  test::RecordingOperator ui;
  CDeviceLink link{ui};
  COtpEngine engine{link, ui, files};
  CConfigFiles files{engine, ui};
};

TEST(ProgramCut, KilledServerEndsTheRunAndTheImageHoldsWhatWasBurnt) {
  fs::path root = fs::temp_directory_path() / ("qt70-cut-" + std::to_string(::getpid()));
  fs::create_directories(root);
  fs::permissions(root, fs::perms::owner_all, fs::perm_options::replace);
  std::string dir = (root / "ports").string();
  fs::path image = root / "chip.bin", before = root / "before.bin";
  {
    std::vector<uint8_t> blank(512, 0x00);
    std::fill(blank.begin() + 0x100, blank.end(), 0xFF);
    std::ofstream(image, std::ios::binary)
        .write(reinterpret_cast<const char*>(blank.data()), 512);
  }
  fs::copy_file(image, before);

  CSettings s;
  s.m_strVendorId = "0x1234";
  s.m_strDeviceId = "0x5678";
  s.m_strMaxPower = "0x32";
  s.m_strManufacturer = "Maker";
  s.m_strProduct = "Bridge";
  s.m_strSerialNumber = "0001";
  for (auto m : {&CSettings::m_strGpioMode, &CSettings::m_strFlowControl,
                 &CSettings::m_strGpioDirection, &CSettings::m_strGpioIntMask,
                 &CSettings::m_strPinPulldown, &CSettings::m_strPinPullup,
                 &CSettings::m_strGpioSet})
    s.*m = "0x00";
  s.m_nBaudRate = 9600;
  s.m_nDataBits = 1;
  fs::path xml = root / "config.xml";
  std::string error;
  ASSERT_TRUE(CConfigFiles::WriteConfigFile(s, xml.string(), &error)) << error;

  test::ChipServer server;
  ASSERT_TRUE(server.Start(dir, "COM5", image.string())) << server.output;
  OpenResult opened = OpenPort("COM5", dir);
  ASSERT_EQ(opened.status, OpenStatus::Ok) << opened.error;

  std::vector<Sent> done;
  auto tool = std::make_unique<Tool>();
  tool->link.Open(std::make_unique<CuttingTransport>(std::move(opened.transport), server, 3, done));
  tool->files.m_strXmlFile = xml.string();
  tool->engine.program_file();

  EXPECT_FALSE(server.Running());
  EXPECT_EQ(tool->engine.m_runResult, COtpEngine::RunResult::DeviceError);
  ASSERT_FALSE(tool->ui.boxes.empty());
  const auto& last = tool->ui.boxes.back();
  EXPECT_EQ(last.caption, "Error");
  EXPECT_EQ(last.style, MB_ICONERROR);
  EXPECT_EQ(last.text.rfind("ERROR: ", 0), 0u) << last.text;
  EXPECT_EQ(tool->ui.status_text.rfind("OTP ERROR: ", 0), 0u) << tool->ui.status_text;
  for (const auto& box : tool->ui.boxes) EXPECT_NE(box.text, "OTP successful..");

  // The same completed requests on a chip of the same start: the file holds
  // every byte burnt before the cut and nothing more.
  EmulatedChip replica;
  ASSERT_EQ(replica.LoadImage(before.string(), &error), ImageStatus::Ok) << error;
  for (const Sent& r : done) {
    uint8_t out[2] = {};
    ASSERT_TRUE(replica.Request(r.code, r.in, out));
  }
  std::vector<uint8_t> file = ReadFile(image);
  ASSERT_EQ(file.size(), 512u);
  std::vector<uint8_t> want(512);
  for (unsigned a = 0; a < 512; ++a) want[a] = replica.Otp(a);
  EXPECT_EQ(file, want);
  EXPECT_NE(file, ReadFile(before));        // something was burnt
  EXPECT_EQ(file[0x003] & 0x40, 0);         // the cut came before the lock bit

  tool.reset();
  fs::remove_all(root);
}

}  // namespace
}  // namespace qt70
