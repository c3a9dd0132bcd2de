// The register access operations over the driver requests: the records they
// send, their results, their messages and the no-port cases.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/device_link.h"
#include "support/recording_operator.h"

namespace qt70 {
namespace {

using test::MessageBoxCall;
using test::RecordingOperator;

struct Sent {
  uint32_t code;
  std::array<uint8_t, 4> record;
};

// A port that records every request and completes or rejects it as told.
class ScriptedTransport : public ITransport {
 public:
  explicit ScriptedTransport(std::vector<Sent>& log) : log_(log) {}
  bool DeviceIoControl(uint32_t code, const QTUSB_CUSTOM_RW_GENERIC& in, uint8_t* out) override {
    log_.push_back({code, in.encode()});
    if (reject) return false;
    for (size_t i = 0; i < output_size(code); ++i) out[i] = output[i];
    return true;
  }
  bool reject = false;
  uint8_t output[2] = {0x34, 0x12};

 private:
  std::vector<Sent>& log_;
};

struct LinkFixture : ::testing::Test {
  RecordingOperator ui;
  CDeviceLink link{ui};
  std::vector<Sent> sent;
  ScriptedTransport* port = nullptr;

  void OpenPort() {
    auto transport = std::make_unique<ScriptedTransport>(sent);
    port = transport.get();
    link.Open(std::move(transport));
  }
};

const MessageBoxCall kNotOpened{"The COM Port is not opened for r/w registers!", "Error", 0x10};

TEST(DriverRequests, CodesAndRecordLayout) {
  EXPECT_EQ(IOCTL_QTUSB_READ_OTP, 0x0022204Cu);
  EXPECT_EQ(IOCTL_QTUSB_WRITE_OTP, 0x00222050u);
  EXPECT_EQ(IOCTL_QTUSB_READ_REG, 0x00222054u);
  EXPECT_EQ(IOCTL_QTUSB_WRITE_REG, 0x00222058u);
  QTUSB_CUSTOM_RW_GENERIC record{0x0D43, 0xBEEF};
  EXPECT_EQ(record.encode(), (std::array<uint8_t, 4>{0x43, 0x0D, 0xEF, 0xBE}));
  const uint8_t bytes[4] = {0x11, 0x02, 0x5A, 0x00};
  auto decoded = QTUSB_CUSTOM_RW_GENERIC::decode(bytes);
  EXPECT_EQ(decoded.wReg, 0x0211);
  EXPECT_EQ(decoded.wData, 0x005A);
}

TEST_F(LinkFixture, WithNoPortReadsSayNotOpenedAndWritesSayNothing) {
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.ReadReg(0x0D44), 0x00FF);
  EXPECT_EQ(link.ReadOTPReg(0x011), 0xFF);
  link.WriteReg(0x0D43, 1);
  link.WriteOTPReg(0x010, 0x80);
  EXPECT_EQ(ui.boxes, (std::vector<MessageBoxCall>{kNotOpened, kNotOpened}));
  // A closed port is not a rejected read: the flag stays as it was.
  EXPECT_EQ(link.m_bReadFailed, 0);
}

TEST_F(LinkFixture, SuccessfulRequestsCarryTheRecordAndReturnTheOutput) {
  OpenPort();
  EXPECT_EQ(link.ReadReg(0x0D45), 0x1234);
  EXPECT_EQ(link.ReadOTPReg(0x011), 0x34);
  link.WriteReg(0x0D4E, 100);
  link.WriteOTPReg(0x150, 0xAB3C);  // only the low byte goes to the driver
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].code, IOCTL_QTUSB_READ_REG);
  EXPECT_EQ(sent[0].record, (std::array<uint8_t, 4>{0x45, 0x0D, 0, 0}));
  EXPECT_EQ(sent[1].code, IOCTL_QTUSB_READ_OTP);
  EXPECT_EQ(sent[1].record, (std::array<uint8_t, 4>{0x11, 0x00, 0, 0}));
  EXPECT_EQ(sent[2].code, IOCTL_QTUSB_WRITE_REG);
  EXPECT_EQ(sent[2].record, (std::array<uint8_t, 4>{0x4E, 0x0D, 100, 0}));
  EXPECT_EQ(sent[3].code, IOCTL_QTUSB_WRITE_OTP);
  EXPECT_EQ(sent[3].record, (std::array<uint8_t, 4>{0x50, 0x01, 0x3C, 0x00}));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(LinkFixture, RejectedRequestsGiveTheirFailureValuesAndMessages) {
  OpenPort();
  port->reject = true;
  EXPECT_EQ(link.ReadReg(0x0D44), 0x00FF);  // reads as busy
  link.WriteReg(0x0D43, 1);
  link.WriteOTPReg(0x010, 0x80);
  EXPECT_EQ(link.m_bReadFailed, 0);
  EXPECT_EQ(link.ReadOTPReg(0x003), 0xFF);
  EXPECT_EQ(link.m_bReadFailed, 1);
  EXPECT_EQ(ui.boxes, (std::vector<MessageBoxCall>{
                          {"Error in Reading from USB_UART Reg!", "Error", 0x10},
                          {"Error in Writing to USB_UART Reg!", "Error", 0x10},
                          {"Error in Writing to TANDO_OTP Reg!", "Error", 0x10},
                      }));
  // A failure never closes the port.
  EXPECT_TRUE(link.IsOpen());
}

TEST_F(LinkFixture, AByteHolding0xFFIsNotAFailure) {
  OpenPort();
  port->output[0] = 0xFF;
  EXPECT_EQ(link.ReadOTPReg(0x1FF), 0xFF);
  EXPECT_EQ(link.m_bReadFailed, 0);
}

TEST_F(LinkFixture, ClosingTheLinkLeavesNoPort) {
  OpenPort();
  link.Close();
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(link.ReadReg(0x0D44), 0x00FF);
  EXPECT_EQ(ui.boxes, (std::vector<MessageBoxCall>{kNotOpened}));
  EXPECT_TRUE(sent.empty());
}

}  // namespace
}  // namespace qt70
