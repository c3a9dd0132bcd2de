// Generated settings through the writer, then back through the loader (the
// dialog's view) and through the reader (the engine's view).

#include <random>

#include "config_rig.h"

namespace qt70 {
namespace {

using test::ConfigRig;
using test::ScratchDir;

struct Generator {
  std::mt19937 rng;
  explicit Generator(unsigned seed) : rng(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

  // What validation lets through: "0x", then mostly hexadecimal digits, now
  // and then any character an XML text can carry.
  std::string HexText() {
    static const char digits[] = "0123456789abcdefABCDEF";
    std::string s = "0x";
    int n = Int(0, 5);
    for (int i = 0; i < n; ++i) {
      if (Int(0, 5) == 0) {
        static const char extra[] = {'\t', '\n', '\r', ' ', '<', '&', '>', '"'};
        s += Int(0, 1) ? extra[Int(0, 7)] : static_cast<char>(Int(0x20, 0xFF));
      } else {
        s += digits[Int(0, 21)];
      }
    }
    return s;
  }

  // Up to 15 characters of any byte value but 0.
  std::string Text() {
    std::string s;
    int n = Int(0, 3) == 0 ? 0 : Int(1, 15);
    for (int i = 0; i < n; ++i) s += static_cast<char>(Int(1, 255));
    return s;
  }

  CSettings Settings() {
    CSettings s;
    s.m_strComPort = "COM" + std::to_string(Int(1, 9));
    s.m_strVendorId = HexText();
    s.m_strDeviceId = HexText();
    s.m_strMaxPower = HexText();
    s.m_strManufacturer = Text();
    s.m_strProduct = Text();
    s.m_strSerialNumber = Text();
    s.m_bSelfPowered = Int(0, 1);
    s.m_bRemoteWakeup = Int(0, 1);
    s.m_strGpioMode = HexText();
    s.m_strFlowControl = HexText();
    s.m_strGpioDirection = HexText();
    s.m_strGpioIntMask = HexText();
    s.m_strPinPulldown = HexText();
    s.m_strPinPullup = HexText();
    s.m_strGpioSet = HexText();
    s.m_nBaudRate = static_cast<uint32_t>(rng());
    s.m_nCharFormat = Int(0, 1);
    s.m_nParity = Int(0, 4);
    s.m_nDataBits = Int(0, 2);
    s.m_bLowPowerActiveHigh = Int(0, 1);
    s.m_bVbusSense = Int(0, 1);
    s.m_nCoreClock = Int(-1, 5);
    s.m_bUseDefaultManufacturer = Int(0, 1);
    s.m_bUseDefaultProduct = Int(0, 1);
    s.m_bUseDefaultSerial = Int(0, 1);
    return s;
  }
};

struct RoundTrip : ::testing::Test {
  ScratchDir dir;
  ConfigRig rig;
  std::string path = dir.File("rt.xml");
};

TEST_F(RoundTrip, WriterThenLoaderGivesTheSettingsBack) {
  Generator gen(20240611);
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    const CSettings original = gen.Settings();
    std::string error;
    ASSERT_TRUE(CConfigFiles::WriteConfigFile(original, path, &error)) << error;

    CSettings loaded;  // the dialog's settings before the load
    loaded.ResetSettings();
    loaded.m_strComPort = "COM7";
    ASSERT_TRUE(rig.files.LoadXmlFile(path, loaded));

    CSettings want = original;
    want.m_strComPort = "COM7";  // not in the file
    // The two exceptions: the flags follow the file, and a core clock
    // outside the list comes back as 48 MHz.
    want.m_bUseDefaultManufacturer = original.m_strManufacturer.empty();
    want.m_bUseDefaultProduct = original.m_strProduct.empty();
    want.m_bUseDefaultSerial = original.m_strSerialNumber.empty();
    if (want.m_nCoreClock < 0 || want.m_nCoreClock > 3) want.m_nCoreClock = 3;
    ASSERT_EQ(loaded, want);
    ASSERT_TRUE(rig.ui.boxes.empty());
  }
}

unsigned Number(const std::string& text) {
  return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 0));
}

TEST_F(RoundTrip, WriterThenReaderGivesTheRequestedRecords) {
  Generator gen(7);
  COtpEngine& e = rig.engine;
  for (int i = 0; i < 300; ++i) {
    SCOPED_TRACE(i);
    const CSettings s = gen.Settings();
    std::string error;
    ASSERT_TRUE(CConfigFiles::WriteConfigFile(s, path, &error)) << error;
    e.reset_run_state();
    ASSERT_EQ(rig.files.parseDoc(path.c_str()), 1);
    ASSERT_TRUE(rig.ui.boxes.empty());

    auto single = [](const auto& rec, unsigned value, unsigned mask) {
      EXPECT_EQ(rec.req, 1u);
      EXPECT_EQ(rec.xml, value & mask);
    };
    single(e.m_recGpioMode, Number(s.m_strGpioMode), 0xFF);
    single(e.m_recFlowControl, Number(s.m_strFlowControl), 0xFF);
    single(e.m_recUsbMaxPower, Number(s.m_strMaxPower), 0xFF);
    single(e.m_recGpioDirection, Number(s.m_strGpioDirection), 0xFF);
    single(e.m_recGpioIntMask, Number(s.m_strGpioIntMask), 0xFF);
    single(e.m_recPinPulldownEn, Number(s.m_strPinPulldown), 0xFF);
    single(e.m_recPinPullupEn, Number(s.m_strPinPullup), 0xFF);
    single(e.m_recGpioSet, Number(s.m_strGpioSet), 0xFF);
    single(e.m_recUsbVendorId, Number(s.m_strVendorId), 0xFFFF);
    single(e.m_recUsbProductId, Number(s.m_strDeviceId), 0xFFFF);
    const unsigned clock[] = {3, 2, 1, 0};
    unsigned code = s.m_nCoreClock >= 0 && s.m_nCoreClock <= 3 ? clock[s.m_nCoreClock] : 0;
    single(e.m_recConfig0, s.m_bLowPowerActiveHigh ? 0x02 : 0, 0xFF);
    single(e.m_recConfig3, (s.m_bVbusSense ? 0x08 : 0) | code, 0xFF);
    single(e.m_recUsbAttributes,
           0x80 | (s.m_bSelfPowered ? 0x40 : 0) | (s.m_bRemoteWakeup ? 0x20 : 0), 0xFF);

    auto text = [](const mlc_string& rec, const std::string& t) {
      if (t.empty()) {
        EXPECT_EQ(rec.req, 0u);
      } else {
        EXPECT_EQ(rec.req, t.size() + 1);
        EXPECT_EQ(std::string(rec.xml, t.size() + 1), t + '\0');
      }
    };
    text(e.m_recManufacturerString, s.m_strManufacturer);
    text(e.m_recProductString, s.m_strProduct);
    text(e.m_recSerialNumberString, s.m_strSerialNumber);

    const uint8_t line[7] = {static_cast<uint8_t>(s.m_nBaudRate),
                             static_cast<uint8_t>(s.m_nBaudRate >> 8),
                             static_cast<uint8_t>(s.m_nBaudRate >> 16),
                             static_cast<uint8_t>(s.m_nBaudRate >> 24),
                             static_cast<uint8_t>(s.m_nCharFormat == 1 ? 2 : 0),
                             static_cast<uint8_t>(s.m_nParity),
                             static_cast<uint8_t>(s.m_nDataBits + 7)};
    EXPECT_EQ(e.m_recLineCoding.req, 7u);
    EXPECT_EQ(std::memcmp(e.m_recLineCoding.xml, line, 7), 0);
    EXPECT_EQ(e.m_recAddressValue.count, 0u);

    EXPECT_EQ(e.m_bXmlUsbValid, 1);  // USB_ATTRIBUTES is at least 0x80
    bool anyString =
        !s.m_strManufacturer.empty() || !s.m_strProduct.empty() || !s.m_strSerialNumber.empty();
    EXPECT_EQ(e.m_bXmlStringsValid, anyString ? 1 : 0);
    EXPECT_EQ(e.m_bXmlLineValid, 1);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace qt70
