// Reading a programmed chip's settings back: the fixed fields under each
// valid flag, the lock byte, the address/value pairs of every register the
// readback knows, the string rule, the pair-list bounds, the controller
// set-up around the reads, and the failure paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "device/device_session.h"
#include "emulator/emulated_chip.h"
#include "support/recording_operator.h"
#include "res/resource.h"

namespace qt70 {
namespace {

struct Sent {
  uint32_t code;
  uint16_t reg;
  uint16_t data;
  bool operator==(const Sent&) const = default;
};

// Passes every request to the chip and writes it down; can reject one
// register write to open an error box in the middle of a sequence.
class LoggingTransport : public ITransport {
 public:
  LoggingTransport(EmulatedChip& chip, std::vector<Sent>& log) : m_chip(chip), m_log(log) {}
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override {
    m_log.push_back({code, in.wReg, in.wData});
    if (rejectWrite && code == IOCTL_QTUSB_WRITE_REG && in.wReg == rejectWrite->reg &&
        in.wData == rejectWrite->data)
      return false;
    return m_chip.Request(code, in, out);
  }
  std::optional<Sent> rejectWrite;

 private:
  EmulatedChip& m_chip;
  std::vector<Sent>& m_log;
};

class Readback : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("qt70-readback-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto t = std::make_unique<LoggingTransport>(chip, log);
    transport = t.get();
    link.Open(std::move(t));
    settings.m_strComPort = "COM5";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  void Pair(size_t slot, uint16_t address, uint16_t value) {
    uint16_t at = PairSlotAddress(slot);
    chip.SetOtp(at, address & 0xFF);
    chip.SetOtp(at + 1, static_cast<uint8_t>(((address >> 8) & 0x0F) | (value & 0x0F) << 4));
    chip.SetOtp(at + 2, static_cast<uint8_t>(value >> 4));
  }
  void Pairs(std::initializer_list<std::pair<uint16_t, uint16_t>> pairs) {
    size_t slot = 0;
    for (auto [a, v] : pairs) Pair(slot++, a, v);
  }
  void Bytes(uint16_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) chip.SetOtp(at++, b);
  }
  std::vector<Sent> Reads() const {
    std::vector<Sent> reads;
    for (const Sent& s : log)
      if (s.code == IOCTL_QTUSB_READ_OTP) reads.push_back(s);
    return reads;
  }

  std::filesystem::path dir;
  EmulatedChip chip;
  std::vector<Sent> log;
  LoggingTransport* transport = nullptr;
  test::RecordingOperator ui;
  CDeviceLink link{ui};
  CSettings settings;
  CDeviceSession session{link, settings, ui, "/nonexistent-qt70-ports"};
};

TEST_F(Readback, BlankFlagsShowEmptyFieldsAndTheLockByteDecidesVbusAndClock) {
  struct Case {
    uint8_t config0, config3;
    int lowPower, vbus, clock;
  };
  const Case cases[] = {
      {0x02, 0x00, 1, 0, -1},  // lock clear: VBUS and clock keep their reset values
      {0x00, 0x08, 0, 0, -1},
      {0x00, 0x40, 0, 0, 3},   // code 0: 48 MHz
      {0x00, 0x49, 0, 1, 2},   // code 1: 24 MHz
      {0xFD, 0x42, 0, 0, 1},   // code 2: 12 MHz
      {0x02, 0x4B, 1, 1, 0},   // code 3: 6 MHz
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "config3 " << int(c.config3));
    chip.SetOtp(0x000, c.config0);
    chip.SetOtp(0x003, c.config3);
    settings.m_strVendorId = "stale";
    settings.m_bUseDefaultProduct = 0;
    ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
    CSettings expected;
    expected.ResetSettings();
    expected.m_strComPort = "COM5";
    expected.m_bUseDefaultProduct = 0;  // the flags keep their values with bit 1 clear
    for (auto m : {&CSettings::m_strGpioMode, &CSettings::m_strFlowControl,
                   &CSettings::m_strGpioDirection, &CSettings::m_strGpioIntMask,
                   &CSettings::m_strPinPulldown, &CSettings::m_strPinPullup,
                   &CSettings::m_strGpioSet})
      expected.*m = "0x00";
    expected.m_bLowPowerActiveHigh = c.lowPower;
    expected.m_bVbusSense = c.vbus;
    expected.m_nCoreClock = c.clock;
    EXPECT_EQ(settings, expected);
  }
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.events.back(), "UpdateData(FALSE)");
}

TEST_F(Readback, FixedFieldsUnderEachValidFlag) {
  Bytes(0x005, {0x80, 0x25, 0x00, 0x00, 0x02, 0x02, 0x08});            // 9600, "2", Odd, 8
  Bytes(0x00C, {0x34, 0x12, 0x78, 0x56, 0x60, 0x32});                  // VID, PID, attr, power
  Bytes(0x012, {'K', 'e', 'l', 'm'});                                  // manufacturer
  Bytes(0x032, {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'});

  struct Case {
    uint8_t flags;
    CSettings want;
  };
  CSettings none;
  none.ResetSettings();
  CSettings usb = none;
  usb.m_strVendorId = "0x1234";
  usb.m_strDeviceId = "0x5678";
  usb.m_strMaxPower = "0x32";
  usb.m_bSelfPowered = 1;
  usb.m_bRemoteWakeup = 1;
  CSettings strings = none;
  strings.m_strManufacturer = "Kelm";
  strings.m_strSerialNumber = "0123456789ABCDEF";  // all 16 bytes, no terminator in the OTP
  strings.m_bUseDefaultManufacturer = 0;
  strings.m_bUseDefaultProduct = 1;  // came out empty
  strings.m_bUseDefaultSerial = 0;
  CSettings line = none;
  line.m_nBaudRate = 9600;
  line.m_nCharFormat = 1;
  line.m_nParity = 2;
  line.m_nDataBits = 1;

  for (auto [flags, want] : {Case{0x01, usb}, Case{0x02, strings}, Case{0x04, line}}) {
    SCOPED_TRACE(int(flags));
    chip.SetOtp(0x004, flags);
    settings.m_bUseDefaultManufacturer = settings.m_bUseDefaultProduct =
        settings.m_bUseDefaultSerial = flags == 0x02 ? 7 : 0;
    ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
    want.m_strComPort = "COM5";
    for (auto m : {&CSettings::m_strGpioMode, &CSettings::m_strFlowControl,
                   &CSettings::m_strGpioDirection, &CSettings::m_strGpioIntMask,
                   &CSettings::m_strPinPulldown, &CSettings::m_strPinPullup,
                   &CSettings::m_strGpioSet})
      want.*m = "0x00";
    EXPECT_EQ(settings, want);
  }
}

TEST_F(Readback, LineCodingItemsDecode) {
  EXPECT_EQ(CharFormatIndex(0), 0);
  EXPECT_EQ(CharFormatIndex(1), -1);
  EXPECT_EQ(CharFormatIndex(2), 1);
  EXPECT_EQ(CharFormatIndex(3), -1);
  EXPECT_EQ(DataBitsIndex(7), 0);
  EXPECT_EQ(DataBitsIndex(8), 1);
  EXPECT_EQ(DataBitsIndex(9), 2);
  EXPECT_EQ(DataBitsIndex(2), 2);
  EXPECT_EQ(DataBitsIndex(14), 0);
  CSettings s;
  DecodeLineCoding(s, 115200, 0, 5, 9);
  EXPECT_EQ(s.m_nBaudRate, 115200u);
  EXPECT_EQ(s.m_nParity, 5);  // past the list: no valid selection
  EXPECT_EQ(s.m_nDataBits, 2);
}

TEST_F(Readback, ReadsAreFramedByTheControllerSetUpAndClosingWrite) {
  chip.SetOtp(0x004, 0x07);
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  const std::vector<Sent> setUp = {{IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x000A},
                                   {IOCTL_QTUSB_WRITE_REG, 0x0D41, 0x0010},
                                   {IOCTL_QTUSB_WRITE_REG, 0x0D46, 0x0000},
                                   {IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x0005}};
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(log[0], (Sent{IOCTL_QTUSB_READ_OTP, 0x011, 0}));  // the probe comes first
  EXPECT_EQ(std::vector<Sent>(log.begin() + 1, log.begin() + 5), setUp);
  EXPECT_EQ(log.back(), (Sent{IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x0009}));
  // Every flag read, in the order of the fields, and the first (blank) slot.
  std::vector<uint16_t> order;
  for (const Sent& s : Reads()) order.push_back(s.reg);
  std::vector<uint16_t> want = {0x011, 0x004, 0x00C, 0x00D, 0x00E, 0x00F, 0x011, 0x010, 0x004};
  for (uint16_t a = 0x012; a <= 0x041; ++a) want.push_back(a);
  want.push_back(0x004);
  for (uint16_t a = 0x005; a <= 0x00B; ++a) want.push_back(a);
  for (uint16_t a : {0x000, 0x003, 0x042, 0x043, 0x044}) want.push_back(a);
  EXPECT_EQ(order, want);

  log.clear();
  chip.SetOtp(0x003, 0x40);
  EXPECT_EQ(session.IsOTPProgrammed(), 1);
  std::vector<Sent> check = setUp;
  check.push_back({IOCTL_QTUSB_READ_OTP, 0x003, 0});
  check.push_back({IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x0009});
  EXPECT_EQ(log, check);
  chip.SetOtp(0x003, 0xBF);
  EXPECT_EQ(session.IsOTPProgrammed(), 0);
}

TEST_F(Readback, PairsForEveryRegisterOfTheTable) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> pairs;
    std::function<void(CSettings&)> want;
  };
  const Case cases[] = {
      {"line coding", {{0x220, 0x80}, {0x221, 0x25}, {0x222, 0}, {0x223, 0}, {0x224, 2},
                       {0x225, 4}, {0x226, 9}},
       [](CSettings& s) {
         s.m_nBaudRate = 9600;
         s.m_nCharFormat = 1;
         s.m_nParity = 4;
         s.m_nDataBits = 2;
       }},
      {"line coding bytes take the low 8 bits",
       {{0x220, 0x180}, {0x221, 0x125}, {0x222, 0x100}, {0x223, 0x1FF}, {0x224, 0x100},
        {0x225, 0}, {0x226, 7}},
       [](CSettings& s) {
         s.m_nBaudRate = 0xFF002580u;
         s.m_nCharFormat = -1;  // the whole value counts for the items
         s.m_nParity = 0;
         s.m_nDataBits = 0;
       }},
      {"vendor id", {{0x227, 0x1AB}, {0x228, 0xCD}},
       [](CSettings& s) { s.m_strVendorId = "0xcdab"; }},
      {"product id", {{0x229, 0x01}, {0x22A, 0x00}},
       [](CSettings& s) { s.m_strDeviceId = "0x0001"; }},
      {"attributes", {{0x22B, 0x140}},
       [](CSettings& s) {
         s.m_bSelfPowered = 1;
         s.m_bRemoteWakeup = 0;
       }},
      {"max power", {{0x22C, 0x1FA}}, [](CSettings& s) { s.m_strMaxPower = "0xfa"; }},
      {"manufacturer", {{0x22D, 'A'}, {0x22E, 'B'}, {0x22F, 0}, {0xC0C, 0x12}},
       [](CSettings& s) {
         s.m_strManufacturer = "AB";
         s.m_strGpioMode = "0x12";  // the pair after the zero one is decoded normally
       }},
      {"product", {{0x23D, 'P'}, {0x23E, 0}}, [](CSettings& s) { s.m_strProduct = "P"; }},
      {"serial number", {{0x24D, '9'}, {0x24E, 0}},
       [](CSettings& s) { s.m_strSerialNumber = "9"; }},
      {"flow control", {{0xC06, 0x1F3}}, [](CSettings& s) { s.m_strFlowControl = "0x1f3"; }},
      {"gpio mode", {{0xC0C, 0x05}}, [](CSettings& s) { s.m_strGpioMode = "0x05"; }},
      {"gpio direction", {{0xC0D, 0x1F3}},
       [](CSettings& s) { s.m_strGpioDirection = "0x1f3"; }},
      {"gpio set", {{0xC0E, 0xAB}}, [](CSettings& s) { s.m_strGpioSet = "0xab"; }},
      {"gpio int mask", {{0xC11, 0x01}}, [](CSettings& s) { s.m_strGpioIntMask = "0x01"; }},
      {"pin pull-up", {{0xC14, 0x02}}, [](CSettings& s) { s.m_strPinPullup = "0x02"; }},
      {"pin pull-down", {{0xC15, 0x03}}, [](CSettings& s) { s.m_strPinPulldown = "0x03"; }},
      {"unknown registers are passed over", {{0x300, 0x11}, {0xC14, 0x04}},
       [](CSettings& s) { s.m_strPinPullup = "0x04"; }},
      {"later pairs overwrite earlier ones and the fixed fields",
       {{0x227, 0x11}, {0x228, 0x22}, {0x227, 0x33}, {0x228, 0x44}},
       [](CSettings& s) { s.m_strVendorId = "0x4433"; }},
      {"multi-entry fields take the next entries by position",
       {{0x227, 0x34}, {0x999, 0x12}, {0xC0C, 0x07}},
       [](CSettings& s) {
         s.m_strVendorId = "0x1234";
         s.m_strGpioMode = "0x07";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (size_t slot = 0; slot < 10; ++slot) Pair(slot, 0, 0);
    size_t slot = 0;
    for (auto [a, v] : c.pairs) Pair(slot++, a, v);
    chip.SetOtp(0x004, 0x01);  // fixed USB fields, which the pairs override
    Bytes(0x00C, {0x01, 0x00, 0x02, 0x00, 0x00, 0x10});
    ASSERT_TRUE(session.ReadAllTandoOTPRegisters());

    CSettings want;
    want.ResetSettings();
    want.m_strComPort = "COM5";
    want.m_strVendorId = "0x0001";
    want.m_strDeviceId = "0x0002";
    want.m_strMaxPower = "0x10";
    for (auto m : {&CSettings::m_strGpioMode, &CSettings::m_strFlowControl,
                   &CSettings::m_strGpioDirection, &CSettings::m_strGpioIntMask,
                   &CSettings::m_strPinPulldown, &CSettings::m_strPinPullup,
                   &CSettings::m_strGpioSet})
      want.*m = "0x00";
    c.want(want);
    EXPECT_EQ(settings, want);
    for (size_t i = 0; i < c.pairs.size(); ++i)
      EXPECT_EQ(session.m_otpPairs[i], (OtpPair{c.pairs[i].first, c.pairs[i].second}));
    EXPECT_EQ(session.m_otpPairs[c.pairs.size()], OtpPair{});
  }
}

TEST_F(Readback, StringRuleStopsAtZeroOrAfterSixteenCharacters) {
  std::vector<std::pair<uint16_t, uint16_t>> pairs = {{0x22D, 'a'}};
  for (char c = 'b'; c <= 'p'; ++c) pairs.push_back({0x22E, static_cast<uint16_t>(c)});
  pairs.push_back({0xC0C, 0x55});  // the 17th entry ends the string unread
  pairs.push_back({0xC0D, 0x66});
  pairs.push_back({0x23D, 'x'});
  pairs.push_back({0x23E, 0x100});  // not 0 as a 12-bit value: a character (NUL) taken
  pairs.push_back({0x23F, 'y'});    // after the NUL: taken, but the text ends before it
  pairs.push_back({0x240, 0});
  pairs.push_back({0xC0E, 0x77});
  size_t slot = 0;
  for (auto [a, v] : pairs) Pair(slot++, a, v);
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(settings.m_strManufacturer, "abcdefghijklmnop");
  EXPECT_EQ(settings.m_strGpioMode, "0x00");
  EXPECT_EQ(settings.m_strGpioDirection, "0x66");
  EXPECT_EQ(settings.m_strProduct, "x");
  EXPECT_EQ(settings.m_strGpioSet, "0x77");
}

TEST_F(Readback, StringRunningIntoTheEndOfThePairList) {
  Pairs({{0x24D, 'Z'}, {0x24E, 'Y'}});  // the blank slot after it stops the string
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(settings.m_strSerialNumber, "ZY");
  // A string in the last slot of the table reads empty entries past the end.
  CSettings s;
  OtpPair table[kOtpPairSlots] = {};
  for (size_t i = 0; i < kOtpPairSlots; ++i) table[i] = {0x300, 1};
  table[kOtpPairSlots - 1] = {0x22D, 'Q'};
  DecodePairs(s, table, kOtpPairSlots);
  EXPECT_EQ(s.m_strManufacturer, "Q");
}

TEST_F(Readback, PairListEndsAtSlot127AndAtABlankOrErasedSlot) {
  for (size_t slot = 0; slot < kOtpPairSlots; ++slot) Pair(slot, 0xC0C, slot);
  Pair(kOtpPairSlots, 0xC0D, 0x99);  // slot 128: never read
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(settings.m_strGpioMode, "0x7f");
  EXPECT_EQ(settings.m_strGpioDirection, "0x00");
  EXPECT_EQ(session.m_otpPairs[127], (OtpPair{0xC0C, 127}));
  uint16_t highest = 0;
  for (const Sent& s : Reads()) highest = std::max(highest, s.reg);
  EXPECT_EQ(highest, 0x1C1);

  // A blank first slot: the fixed fields stand and no pair slot after it is read.
  log.clear();
  Pair(0, 0, 0);
  chip.SetOtp(0x004, 0x01);
  Bytes(0x00C, {0xCD, 0xAB});
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(settings.m_strVendorId, "0xabcd");
  EXPECT_EQ(settings.m_strGpioMode, "0x00");
  EXPECT_EQ(session.m_otpPairs[1], OtpPair{});  // cleared, though slot 1 holds a pair
  EXPECT_EQ(Reads().back().reg, 0x044);

  // An erased slot (all 0xFF) ends the list too.
  Pair(0, 0xC0C, 0x01);
  Bytes(PairSlotAddress(1), {0xFF, 0xFF, 0xFF});
  ASSERT_TRUE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(settings.m_strGpioMode, "0x01");
  EXPECT_EQ(session.m_otpPairs[1], OtpPair{});
}

TEST_F(Readback, NoOtpAccessTakesTheFailurePathOnce) {
  std::string error;
  ASSERT_TRUE(chip.AddFault("no-otp", &error)) << error;
  settings.m_strVendorId = "0x1234";
  settings.m_bUseDefaultSerial = 1;
  EXPECT_EQ(session.IsOTPProgrammed(), kOtpCheckFailed);  // not "programmed" from 0xFF
  EXPECT_TRUE(ui.boxes.empty());

  EXPECT_FALSE(session.ReadAllTandoOTPRegisters());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{
                "This device does not support OTP or the device is disconnected. Please check."});
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].style, MB_ICONERROR);
  CSettings want;
  want.ResetSettings();
  want.m_strComPort = "COM5";  // the port name and the control state stay
  want.m_bUseDefaultSerial = 1;
  EXPECT_EQ(settings, want);
  EXPECT_EQ(ui.events, (std::vector<std::string>{
                           "UpdateData(FALSE)",
                           "box Error: This device does not support OTP or the device is "
                           "disconnected. Please check.",
                           "cursel 1000 -1"}));
}

TEST_F(Readback, WithNoPortOpenEachReadSaysSoOnceAndStops) {
  link.Close();
  EXPECT_EQ(session.IsOTPProgrammed(), kOtpCheckFailed);
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{"The COM Port is not opened for r/w registers!"});
  ui.Clear();
  EXPECT_FALSE(session.ReadAllTandoOTPRegisters());
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{"The COM Port is not opened for r/w registers!"});
  ui.Clear();
  session.OnReadbackFailed();  // what a caller does after the failed check: no second box
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(Readback, PortPulledOutInTheMiddleStopsTheReadback) {
  // The set-up write 0x0D43 = 5 fails; while its box is open the removal of
  // this very port is handled, which closes it.
  transport->rejectWrite = Sent{IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x0005};
  std::vector<std::function<void()>> nested = {[&] {
    session.OnMyDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, "COM5");
  }};
  ui.during_box = &nested;
  chip.SetOtp(0x004, 0x07);
  EXPECT_FALSE(session.ReadAllTandoOTPRegisters());
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(ui.BoxTexts(), (std::vector<std::string>{
                               "Error in Writing to USB_UART Reg!",
                               "The COM Port is not opened for r/w registers!"}));
  EXPECT_EQ(settings.m_strComPort, "");
  EXPECT_EQ(settings.m_strVendorId, "");
  EXPECT_EQ(ui.state, ControlState::Locked);
  // Nothing was read after the port went.
  EXPECT_EQ(log.back(), (Sent{IOCTL_QTUSB_WRITE_REG, 0x0D43, 0x0005}));
}

}  // namespace
}  // namespace qt70
