// The emulated chip: OTP bit rules in both regions and banks, the
// controller commands, busy counts, counters and every fault.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "chip_helpers.h"
#include "emulator/emulated_chip.h"

namespace qt70 {
namespace {

using namespace qt70::test;

class ChipTest : public ::testing::Test {
 protected:
  void Fault(const std::string& spec) {
    std::string error;
    ASSERT_TRUE(chip.AddFault(spec, &error)) << spec << ": " << error;
  }
  EmulatedChip chip;
  EmulatedTransport port{chip};
};

TEST_F(ChipTest, BlankChipHasBothRegionsBlankInBothBanks) {
  for (unsigned a = 0; a < 0x400; ++a)
    ASSERT_EQ(chip.Otp(a), (a & 0x100) ? 0xFF : 0x00) << std::hex << a;
  EXPECT_EQ(ReadOtp(port, 0x011), 0x00);
  EXPECT_EQ(ReadOtp(port, 0x1FF), 0xFF);
}

struct WriteCase {
  uint16_t address;
  uint8_t old;
  uint8_t data;
  uint8_t expected;
};

TEST_F(ChipTest, OtpWriteOnlyMovesBitsAwayFromBlankInBothBanks) {
  const WriteCase cases[] = {
      {0x000, 0x00, 0x5A, 0x5A},  // blank low byte
      {0x010, 0x01, 0x10, 0x11},  // low region: old OR data
      {0x0FF, 0xF0, 0x0F, 0xFF},
      {0x020, 0xFF, 0x00, 0xFF},  // a set low bit never clears
      {0x150, 0xFF, 0x3C, 0x3C},  // high region: old AND data
      {0x100, 0x0F, 0xF0, 0x00},
      {0x1FF, 0x00, 0xFF, 0x00},  // a cleared high bit never sets
  };
  for (const auto& c : cases) {
    chip.SetOtp(c.address, c.old);
    chip.SetOtp(c.address | 0x200, c.old);
    ASSERT_TRUE(WriteOtp(port, c.address, c.data));
    EXPECT_EQ(chip.Otp(c.address), c.expected) << std::hex << c.address;
    EXPECT_EQ(chip.Otp(c.address | 0x200), c.expected) << std::hex << c.address;
    EXPECT_EQ(ReadOtp(port, c.address), c.expected);
  }
}

TEST_F(ChipTest, OtpRequestsAddressBankOneOnly) {
  chip.SetOtp(0x005, 0x11);
  chip.SetOtp(0x205, 0x22);
  EXPECT_EQ(ReadOtp(port, 0x005), 0x11);
  for (uint16_t bad : {0x200, 0x205, 0x3FF, 0xFFFF}) {
    EXPECT_FALSE(ReadOtp(port, bad)) << std::hex << bad;
    EXPECT_FALSE(WriteOtp(port, bad, 0xFF)) << std::hex << bad;
  }
  EXPECT_EQ(chip.Otp(0x005), 0x11);
  EXPECT_EQ(chip.Otp(0x205), 0x22);
  EXPECT_EQ(chip.Otp(0x3FF), 0xFF);
}

TEST_F(ChipTest, OtpWriteTakesTheLowByteOfTheData) {
  ASSERT_TRUE(WriteOtp(port, 0x030, 0x00));
  uint8_t out[2];
  ASSERT_TRUE(port.DeviceIoControl(IOCTL_QTUSB_WRITE_OTP, {0x030, 0xAB01}, out));
  EXPECT_EQ(chip.Otp(0x030), 0x01);
}

TEST_F(ChipTest, UnknownRequestCodeIsRejected) {
  uint8_t out[2];
  EXPECT_FALSE(port.DeviceIoControl(ctl_code(0x812), {0, 0}, out));
  EXPECT_FALSE(port.DeviceIoControl(0, {0, 0}, out));
}

TEST_F(ChipTest, ControllerReadReachesEitherBankAndHoldsTheFetchedByte) {
  chip.SetOtp(0x005, 0x11);
  chip.SetOtp(0x205, 0x22);
  chip.SetOtp(0x3FE, 0x33);
  EXPECT_EQ(ControllerRead(port, 0x005), 0x11);
  EXPECT_EQ(ControllerRead(port, 0x205), 0x22);
  EXPECT_EQ(ControllerRead(port, 0x3FE), 0x33);
  // Other commands and a new address leave the fetched byte alone.
  ASSERT_TRUE(WriteReg(port, kRegOtpAddress, 0x005));
  ASSERT_TRUE(WriteReg(port, kRegOtpCommand, 5));
  EXPECT_EQ(ReadReg(port, kRegOtpData), 0x0033);
}

TEST_F(ChipTest, BitProgramSelectsByOneLowAndByZeroHigh) {
  // Low region: a 1 selects the bit, which is set.
  ASSERT_TRUE(ControllerProgram(port, 0x010, 0x04));
  EXPECT_EQ(chip.Otp(0x010), 0x04);
  EXPECT_EQ(chip.Otp(0x210), 0x00);  // one bank per command
  ASSERT_TRUE(ControllerProgram(port, 0x210, 0x80));
  EXPECT_EQ(chip.Otp(0x210), 0x80);
  EXPECT_EQ(chip.Otp(0x010), 0x04);

  // High region: the mask is inverted, a 0 selects the bit, which is cleared.
  ASSERT_TRUE(ControllerProgram(port, 0x150, 0xBF));
  EXPECT_EQ(chip.Otp(0x150), 0xBF);
  ASSERT_TRUE(ControllerProgram(port, 0x350, 0xFE));
  EXPECT_EQ(chip.Otp(0x350), 0xFE);
  EXPECT_EQ(chip.Otp(0x150), 0xBF);
  // 0xFF selects nothing in the high region, 0x00 nothing in the low one.
  ASSERT_TRUE(ControllerProgram(port, 0x150, 0xFF));
  ASSERT_TRUE(ControllerProgram(port, 0x010, 0x00));
  EXPECT_EQ(chip.Otp(0x150), 0xBF);
  EXPECT_EQ(chip.Otp(0x010), 0x04);
}

TEST_F(ChipTest, SettingCommandsAndPlainRegistersChangeNoOtp) {
  for (uint16_t command : {5, 6, 7, 8, 9, 10}) ASSERT_TRUE(WriteReg(port, kRegOtpCommand, command));
  ASSERT_TRUE(WriteReg(port, 0x0D4E, 100));
  ASSERT_TRUE(WriteReg(port, 0x0D46, 0x40));
  ASSERT_TRUE(WriteReg(port, 0x1234, 0xBEEF));
  EXPECT_EQ(ReadReg(port, 0x0D4E), 100);
  EXPECT_EQ(ReadReg(port, 0x0D46), 0x40);
  EXPECT_EQ(ReadReg(port, 0x1234), 0xBEEF);
  EXPECT_EQ(ReadReg(port, 0x0D43), 10);
  for (unsigned a = 0; a < 0x400; ++a) ASSERT_EQ(chip.Otp(a), (a & 0x100) ? 0xFF : 0x00);
}

TEST_F(ChipTest, StatusIsBusyForTheConfiguredReadsAfterEachCommand) {
  ASSERT_TRUE(WriteReg(port, kRegOtpCommand, 5));
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);  // default: never busy

  Fault("busy=3");
  ASSERT_TRUE(WriteReg(port, kRegOtpCommand, 5));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadReg(port, kRegOtpStatus), 1) << i;
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);
  // A write to another register is no command; a new command restarts the count.
  ASSERT_TRUE(WriteReg(port, kRegOtpOperand, 1));
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);
  ASSERT_TRUE(WriteReg(port, kRegOtpCommand, 1));
  ASSERT_TRUE(WriteReg(port, kRegOtpCommand, 9));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadReg(port, kRegOtpStatus), 1) << i;
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);
}

TEST_F(ChipTest, CountsEveryRequestPerCodeIncludingRejectedOnes) {
  Fault("no-otp");
  ReadOtp(port, 0);
  ReadOtp(port, 1);
  WriteOtp(port, 0, 1);
  ReadReg(port, 0x0D44);
  WriteReg(port, 0x0D43, 1);
  WriteReg(port, 0x0D43, 1);
  WriteReg(port, 0x0D43, 1);
  uint8_t out[2];
  port.DeviceIoControl(0x1234, {0, 0}, out);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_READ_OTP), 2u);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_WRITE_OTP), 1u);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_READ_REG), 1u);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_WRITE_REG), 3u);
  EXPECT_EQ(chip.TotalRequests(), 8u);
  chip.ResetCounters();
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_WRITE_REG), 0u);
  ReadReg(port, 0x0D44);
  EXPECT_EQ(chip.TotalRequests(), 1u);
  EXPECT_EQ(chip.RequestCount(IOCTL_QTUSB_READ_REG), 1u);
}

// --- Faults ------------------------------------------------------------------

TEST_F(ChipTest, StuckBitNeverTakesInBankOne) {
  Fault("stuck=0x010.2");
  Fault("stuck=0x150.0");
  ASSERT_TRUE(WriteOtp(port, 0x010, 0xFF));
  ASSERT_TRUE(WriteOtp(port, 0x150, 0x00));
  EXPECT_EQ(chip.Otp(0x010), 0xFB);
  EXPECT_EQ(chip.Otp(0x210), 0xFF);
  EXPECT_EQ(chip.Otp(0x150), 0x01);
  EXPECT_EQ(chip.Otp(0x350), 0x00);
  for (int pass = 0; pass < 20; ++pass) {
    ASSERT_TRUE(ControllerProgram(port, 0x010, 0x04));
    ASSERT_TRUE(ControllerProgram(port, 0x150, 0xFE));
  }
  EXPECT_EQ(chip.Otp(0x010), 0xFB);
  EXPECT_EQ(chip.Otp(0x150), 0x01);
}

TEST_F(ChipTest, Stuck2NamesTheAddressWithinBankTwo) {
  Fault("stuck2=0x010.2");
  ASSERT_TRUE(WriteOtp(port, 0x010, 0xFF));
  EXPECT_EQ(chip.Otp(0x010), 0xFF);
  EXPECT_EQ(chip.Otp(0x210), 0xFB);
  ASSERT_TRUE(ControllerProgram(port, 0x210, 0x04));
  EXPECT_EQ(chip.Otp(0x210), 0xFB);
  EXPECT_EQ(ControllerRead(port, 0x210), 0xFB);
  EXPECT_EQ(ReadOtp(port, 0x010), 0xFF);
}

TEST_F(ChipTest, WeakBitTakesOnTheNthBitProgramOfEachBank) {
  Fault("weak=0x020.1.3");
  Fault("weak=0x180.7.1");
  ASSERT_TRUE(WriteOtp(port, 0x020, 0xFF));
  ASSERT_TRUE(WriteOtp(port, 0x180, 0x00));
  EXPECT_EQ(chip.Otp(0x020), 0xFD);
  EXPECT_EQ(chip.Otp(0x220), 0xFD);
  EXPECT_EQ(chip.Otp(0x180), 0x80);
  EXPECT_EQ(chip.Otp(0x380), 0x80);

  // Commands on other bits do not count.
  ASSERT_TRUE(ControllerProgram(port, 0x020, 0x01));
  for (int i = 1; i <= 2; ++i) {
    ASSERT_TRUE(ControllerProgram(port, 0x020, 0x02));
    EXPECT_EQ(chip.Otp(0x020), 0xFD) << i;
  }
  // Bank 2 keeps its own count: two commands there do not make it take.
  ASSERT_TRUE(ControllerProgram(port, 0x220, 0x02));
  ASSERT_TRUE(ControllerProgram(port, 0x220, 0x02));
  EXPECT_EQ(chip.Otp(0x220), 0xFD);
  ASSERT_TRUE(ControllerProgram(port, 0x020, 0x02));
  EXPECT_EQ(chip.Otp(0x020), 0xFF);
  EXPECT_EQ(chip.Otp(0x220), 0xFD);
  ASSERT_TRUE(ControllerProgram(port, 0x220, 0x02));
  EXPECT_EQ(chip.Otp(0x220), 0xFF);

  // High region, N = 1: the first command (mask inverted) takes.
  ASSERT_TRUE(ControllerProgram(port, 0x180, 0x7F));
  EXPECT_EQ(chip.Otp(0x180), 0x00);
  EXPECT_EQ(chip.Otp(0x380), 0x80);
}

TEST_F(ChipTest, NoOtpRejectsOnlyOtpRequests) {
  Fault("no-otp");
  EXPECT_FALSE(ReadOtp(port, 0x011));
  EXPECT_FALSE(WriteOtp(port, 0x011, 0x01));
  EXPECT_EQ(chip.Otp(0x011), 0x00);
  EXPECT_TRUE(WriteReg(port, 0x0D4E, 10));
  EXPECT_EQ(ReadReg(port, 0x0D4E), 10);
}

TEST_F(ChipTest, RejectRegRejectsOnlyRegisterRequests) {
  Fault("reject-reg");
  EXPECT_FALSE(WriteReg(port, kRegOtpAddress, 0x010));
  EXPECT_FALSE(ReadReg(port, kRegOtpStatus));
  EXPECT_FALSE(ControllerProgram(port, 0x010, 0x01));
  EXPECT_EQ(chip.Otp(0x010), 0x00);
  EXPECT_EQ(chip.Reg(kRegOtpAddress), 0);
  EXPECT_TRUE(WriteOtp(port, 0x010, 0x01));
  EXPECT_EQ(ReadOtp(port, 0x010), 0x01);
}

TEST_F(ChipTest, UnplugAfterFailsEveryLaterRequest) {
  Fault("unplug-after=3");
  EXPECT_TRUE(ReadOtp(port, 0));
  EXPECT_TRUE(WriteReg(port, 0x0D4E, 1));
  EXPECT_TRUE(ReadReg(port, 0x0D4E));
  EXPECT_FALSE(WriteOtp(port, 0x010, 0xFF));
  EXPECT_FALSE(ReadOtp(port, 0));
  EXPECT_FALSE(ReadReg(port, 0x0D4E));
  EXPECT_EQ(chip.Otp(0x010), 0x00);
  chip.ResetCounters();  // counters are for reports; the device stays gone
  EXPECT_FALSE(ReadOtp(port, 0));

  EmulatedChip gone;
  EmulatedTransport gonePort(gone);
  std::string error;
  ASSERT_TRUE(gone.AddFault("unplug-after=0", &error));
  EXPECT_FALSE(ReadOtp(gonePort, 0));
  EXPECT_FALSE(ReadReg(gonePort, 0x0D44));
}

TEST_F(ChipTest, HangAfterKeepsTheStatusBusyFromTheNthRequestOn) {
  Fault("hang-after=5");
  EXPECT_TRUE(WriteReg(port, kRegOtpCommand, 5));      // 1
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);           // 2
  EXPECT_TRUE(WriteReg(port, kRegOtpCommand, 6));      // 3
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 0);           // 4
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ReadReg(port, kRegOtpStatus), 1) << i;
  chip.ResetCounters();
  EXPECT_EQ(ReadReg(port, kRegOtpStatus), 1);
  // Everything else still answers.
  EXPECT_EQ(ReadOtp(port, 0x1FF), 0xFF);
}

TEST_F(ChipTest, LatencyDelaysEveryRequest) {
  Fault("latency=2000");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) ReadOtp(port, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(10));
}

TEST(FaultSpec, AcceptsEveryFormInCNotation) {
  for (const char* spec : {"stuck=0x1FF.7", "stuck=511.0", "stuck=0777.0", "stuck=0.0",
                           "stuck2=0X1fe.3", "weak=0x0.0.1", "weak=0x12.7.0x10", "no-otp",
                           "reject-reg", "unplug-after=0", "unplug-after=100", "busy=0", "busy=7",
                           "hang-after=0", "hang-after=1000", "latency=0", "latency=1000000"}) {
    EmulatedChip chip;
    std::string error;
    EXPECT_TRUE(chip.AddFault(spec, &error)) << spec << ": " << error;
  }
  // Octal 0777 is 511: the last address of the bank.
  EmulatedChip chip;
  EmulatedTransport port(chip);
  std::string error;
  ASSERT_TRUE(chip.AddFault("stuck=0777.0", &error));
  ASSERT_TRUE(WriteOtp(port, 0x1FF, 0x00));
  EXPECT_EQ(chip.Otp(0x1FF), 0x01);
}

TEST(FaultSpec, RefusesUnknownAndMalformedSpecsNamingThem) {
  for (const char* spec :
       {"", "foo", "stuck", "stuck=", "stuck=0x200.1", "stuck=512.1", "stuck=0x10.8",
        "stuck=0x10", "stuck=0x10.1.2", "stuck=x.1", "stuck=0x.1", "stuck=09.1", "stuck=-1.1",
        "stuck=0x10.1 ", " stuck=0x10.1", "STUCK=1.1", "stuck2=0x200.0", "weak=0x10.1",
        "weak=0x10.1.0", "weak=0x10.1.x", "no-otp=1", "reject-reg=", "unplug-after",
        "unplug-after=", "unplug-after=-1", "busy", "busy=1x", "busy=99999999999999999999",
        "hang-after=abc", "latency=1000001", "latency=2s"}) {
    EmulatedChip chip;
    EmulatedTransport port(chip);
    std::string error;
    EXPECT_FALSE(chip.AddFault(spec, &error)) << "'" << spec << "'";
    EXPECT_NE(error.find("'" + std::string(spec) + "'"), std::string::npos)
        << "'" << spec << "': " << error;
    // Nothing of a refused spec is in force.
    ASSERT_TRUE(WriteOtp(port, 0x010, 0xFF));
    EXPECT_EQ(chip.Otp(0x010), 0xFF) << spec;
  }
}

}  // namespace
}  // namespace qt70
