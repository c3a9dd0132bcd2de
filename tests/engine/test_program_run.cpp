// The programming run end to end: the emulated chip behind the device link,
// the real configuration reader, what the operator sees, what is burnt.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "prog_helpers.h"
#include "res/resource.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::ExampleFile;
using test::MessageBoxCall;
using test::OnlyPlannedBits;
using test::RunBench;
using test::TempDir;
using test::TraceCapture;
using Result = COtpEngine::RunResult;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Config(const std::string& fields) {
  return "<?xml version=\"1.0\"?>\n<Data><Config Version=\"1.0\">" + fields + "</Config></Data>\n";
}

size_t CountText(const std::vector<std::string>& texts, const std::string& text) {
  size_t n = 0;
  for (const auto& t : texts) n += t == text;
  return n;
}

struct ProgramRunTest : ::testing::Test {
  RunBench b;
  TempDir dir;
  TraceCapture trace{0};
  std::array<uint8_t, 1024> blank = b.Image();
};

TEST_F(ProgramRunTest, ExampleFileIsWhatTheWriterSaves) {
  const std::string path = dir.Path() + "/written.xml";
  std::string error;
  ASSERT_TRUE(CConfigFiles::WriteConfigFile(test::ExampleSettings(), path, &error)) << error;
  EXPECT_EQ(ReadFile(path), ReadFile(ExampleFile()))
      << "examples/QT70L5530_OTP.xml no longer matches the writer's output";
}

TEST_F(ProgramRunTest, BlankChipWithAFullFileIsProgrammedAndLocked) {
  EXPECT_EQ(b.Program(ExampleFile()), Result::Success);
  EXPECT_EQ(b.ui.boxes, (std::vector<MessageBoxCall>{{"OTP successful..", "Success", MB_OK}}));
  EXPECT_EQ(b.ui.status_text, "OTP STATUS: Successfully programmed.");
  EXPECT_TRUE(b.ui.status_visible);
  EXPECT_EQ(b.ui.program_caption, "Programmed");
  const std::vector<std::string> tail(b.ui.events.end() - 7, b.ui.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"box Success: OTP successful..",
                                            "text 1034: OTP STATUS: Successfully programmed.",
                                            "show 1034", "text 1009: Programmed", "disable 1021",
                                            "disable 1033", "disable 1009"}));

  // 8 single values, 5 + 15 + 10 string bytes, 7 line-coding bytes, 7 pairs,
  // the valid flags and the lock.
  ASSERT_EQ(b.engine.m_nWriteCount, 8u + 30u + 7u + 21u + 2u);
  const uint32_t n = b.engine.m_nWriteCount;
  EXPECT_EQ(b.engine.m_writeAddress[n - 2], 0x004u);
  EXPECT_EQ(b.engine.m_writeValue[n - 2], 0x07);
  EXPECT_EQ(b.engine.m_writeAddress[n - 1], 0x003u);
  EXPECT_EQ(b.engine.m_writeValue[n - 1], 0x40);
  EXPECT_STREQ(b.engine.m_writeComment[n - 1], "Lock Device");

  // Both banks hold the plan; decoding the chip gives back the file.
  EXPECT_TRUE(OnlyPlannedBits(blank, *b.chip, test::ListOf(b.engine)));
  for (const auto& w : test::ListOf(b.engine)) {
    if (w.address == 0x003) continue;  // configuration byte 3 and the lock share a byte
    EXPECT_EQ(b.chip->Otp(w.address), w.value) << w.address;
    EXPECT_EQ(b.chip->Otp(w.address | 0x200), w.value) << w.address;
  }
  EXPECT_EQ(b.chip->Otp(0x003), 0x48);
  unsigned char image[512];
  for (unsigned a = 0; a < 512; ++a) image[a] = b.chip->Otp(a);
  b.engine.eval_all_otp(image);
  EXPECT_EQ(b.engine.m_recUsbVendorId.dev, 0x2F4A);
  EXPECT_STREQ(b.engine.m_recProductString.dev, "QT70L5530 UART");
  EXPECT_EQ(b.engine.m_bDevLocked, 1);
  EXPECT_EQ(b.engine.m_devAddressValues.count, 7u);
  EXPECT_EQ(b.engine.m_devAddressValues.address[0], 0xC0D);
  EXPECT_EQ(b.engine.m_devAddressValues.value[6], 0x01);
  // The controller is left reading.
  EXPECT_EQ(b.chip->Reg(0x0D43), 9);
  EXPECT_EQ(b.chip->Reg(0x0D4D), 0);
  EXPECT_EQ(trace.Text().rfind("Processing OTP List.  68 entries.\n", 0), 0u);
  EXPECT_EQ(b.chip->TotalRequests(), b.regs.requests);
}

TEST_F(ProgramRunTest, FileThatMatchesTheChipBurnsOnlyTheLock) {
  b.chip->SetOtp(0x000, 0x02);
  b.chip->SetOtp(0x003, 0x08);
  b.chip->SetOtp(0x004, 0x07);
  b.chip->SetOtp(0x00C, 0x4A);
  b.chip->SetOtp(0x00D, 0x2F);
  b.chip->SetOtp(0x010, 0xA0);
  b.chip->SetOtp(0x011, 0x32);
  const std::string file = dir.Write(
      "match.xml", Config("<OTP_CONFIG0>0x02</OTP_CONFIG0><OTP_CONFIG3>0x08</OTP_CONFIG3>"
                          "<USB_VENDOR_ID>0x2F4A</USB_VENDOR_ID><USB_PRODUCT_ID>0</USB_PRODUCT_ID>"
                          "<USB_ATTRIBUTES>0xa0</USB_ATTRIBUTES><USB_MAXPOWER>0x32</USB_MAXPOWER>"
                          "<GPIO_MODE>0x00</GPIO_MODE><FLOW_CONTROL>0</FLOW_CONTROL>"
                          "<ADDRESS_VALUE/>"));
  EXPECT_EQ(b.Program(file), Result::Success);
  ASSERT_EQ(b.engine.m_nWriteCount, 1u);
  EXPECT_EQ(b.engine.m_writeAddress[0], 0x003u);
  EXPECT_EQ(b.engine.m_writeValue[0], 0x40);
  EXPECT_EQ(b.chip->Otp(0x003), 0x48);
  EXPECT_EQ(b.ui.BoxTexts(), std::vector<std::string>{"OTP successful.."});
}

TEST_F(ProgramRunTest, LockedChipIsLeftAlone) {
  b.chip->SetOtp(0x003, 0x40);
  b.chip->SetOtp(0x203, 0x40);
  const auto before = b.Image();
  b.chip->ResetCounters();
  EXPECT_EQ(b.Program(ExampleFile()), Result::Locked);
  EXPECT_EQ(b.ui.boxes, (std::vector<MessageBoxCall>{
                            {"ERROR: Device is locked.  Stopping Now.", "Error", MB_ICONERROR}}));
  EXPECT_EQ(b.ui.status_text, "Device is locked.  OTP Stopped.");
  EXPECT_TRUE(b.ui.status_visible);
  EXPECT_EQ(b.ui.program_caption, "Program");  // the buttons are not changed
  EXPECT_EQ(b.Image(), before);
  EXPECT_EQ(b.chip->RequestCount(IOCTL_QTUSB_WRITE_OTP), 0u);
  EXPECT_EQ(b.regs.log.back(), "W 0D43 0009");
}

TEST_F(ProgramRunTest, UnreadableFileShowsOnlyTheReadersMessage) {
  EXPECT_EQ(b.Program(dir.Path() + "/missing.xml"), Result::Rejected);
  EXPECT_EQ(b.ui.BoxTexts(), std::vector<std::string>{
                                 "xml file not parsed successfully. Check the input .xml file name."});
  EXPECT_FALSE(b.ui.status_visible);
  EXPECT_EQ(b.ui.status_text, "");
  EXPECT_EQ(b.Image(), blank);
  EXPECT_EQ(b.chip->Reg(0x0D43), 9);  // back to reading after the image read
}

TEST_F(ProgramRunTest, ConflictLeavesTheFieldAndTheRunSucceeds) {
  b.chip->SetOtp(0x003, 0x02);
  b.chip->SetOtp(0x203, 0x02);
  const std::string file =
      dir.Write("conflict.xml", Config("<OTP_CONFIG3>0x01</OTP_CONFIG3><GPIO_SET>0x02</GPIO_SET>"));
  EXPECT_EQ(b.Program(file), Result::Success);
  EXPECT_EQ(b.ui.BoxTexts(), std::vector<std::string>{"OTP successful.."});
  EXPECT_NE(trace.Text().find("Conflict in the OTP_CONFIG3 field. Device = 0x02.   XML = 0x01.\n"),
            std::string::npos);
  EXPECT_EQ(b.chip->Otp(0x003), 0x42);  // only the lock bit was added
  EXPECT_EQ(b.chip->Otp(0x042), 0x0E);  // the GPIO_SET pair was still burnt
}

TEST_F(ProgramRunTest, MissingGroupFieldsAreReportedAndTheRunProgramsAnyway) {
  const std::string file = dir.Write("partial.xml", Config("<USB_VENDOR_ID>0x1234</USB_VENDOR_ID>"));
  EXPECT_EQ(b.Program(file), Result::Success);
  const std::string text = trace.Text();
  for (const char* name : {"USB_PRODUCT_ID", "USB_ATTRIBUTES", "USB_MAXPOWER"})
    EXPECT_NE(text.find(std::string("ERROR - Missing ") + name +
                        " field from XML file.  USB Valid Flag is set.\n"),
              std::string::npos)
        << name;
  EXPECT_EQ(b.chip->Otp(0x004), 0x01);
}

TEST_F(ProgramRunTest, TwoRunsOnTwoChipsCarryNothingOver) {
  EXPECT_EQ(b.Program(ExampleFile()), Result::Success);
  b.NewChip();
  b.ui.Clear();
  const std::string second = dir.Write(
      "second.xml",
      Config("<MANUFACTURER_STRING><Byte Index=\"0\">0x41</Byte><Byte Index=\"1\">0x42</Byte>"
             "</MANUFACTURER_STRING><ADDRESS_VALUE><Value Address=\"0x123\">0x456</Value>"
             "<Value Address=\"0x124\">0x001</Value></ADDRESS_VALUE>"));
  EXPECT_EQ(b.Program(second), Result::Success);
  EXPECT_EQ(b.engine.m_recManufacturerString.req, 3u);
  EXPECT_STREQ(b.engine.m_recManufacturerString.xml, "AB");
  EXPECT_EQ(b.engine.m_recProductString.req, 0u);
  EXPECT_EQ(b.engine.m_recAddressValue.count, 2u);
  EXPECT_EQ(b.engine.m_recUsbVendorId.req, 0u);
  EXPECT_EQ(b.engine.m_bXmlUsbValid, 0);
  EXPECT_EQ(b.engine.m_bXmlLineValid, 0);
  // The string with its NUL, two pairs, the strings flag and the lock.
  EXPECT_EQ(b.engine.m_nWriteCount, 3u + 6u + 2u);
  EXPECT_EQ(b.chip->Otp(0x004), 0x02);
  EXPECT_EQ(b.chip->Otp(0x042), 0x23);
}

TEST_F(ProgramRunTest, FailedBitsAreReportedWithTheBytesThatFailed) {
  ASSERT_TRUE(b.Fault("stuck=0x011.1"));
  ASSERT_TRUE(b.Fault("stuck2=0x011.1"));
  EXPECT_EQ(b.Program(ExampleFile()), Result::BitsFailed);
  EXPECT_EQ(b.ui.boxes, (std::vector<MessageBoxCall>{
                            {"ERROR: Some bits were not programmed correctly.\n"
                             "Unable to program \n011 = 32 m1 = 02 m2 = 02 \n",
                             "Error", MB_ICONERROR}}));
  EXPECT_EQ(b.ui.status_text, "OTP ERROR: Some bits were not programmed correctly.");
  EXPECT_EQ(b.ui.program_caption, "Programmed");
  EXPECT_EQ(b.chip->Otp(0x003) & 0x40, 0x40);  // the list went on to the lock
}

// --- Mended faults ------------------------------------------------------------

TEST_F(ProgramRunTest, ListThatOverflowsThePairAreaBurnsNothing) {
  // 146 stored pairs leave two slots; the example file needs seven pairs.
  for (unsigned i = 0; i < 146; ++i) {
    const unsigned pos = 0x042 + 3 * i, reg = 0x300 + i;
    for (unsigned bank : {0u, 0x200u}) {
      b.chip->SetOtp(pos | bank, reg & 0xFF);
      b.chip->SetOtp((pos + 1) | bank, static_cast<uint8_t>(reg >> 8));
      b.chip->SetOtp((pos + 2) | bank, 0x00);
    }
  }
  const auto before = b.Image();
  b.chip->ResetCounters();
  EXPECT_EQ(b.Program(ExampleFile()), Result::NoFit);
  const std::string detail = "5 address/value pairs too many (7 needed, 2 free)";
  EXPECT_EQ(b.ui.boxes,
            (std::vector<MessageBoxCall>{
                {"ERROR: The configuration does not fit the chip's remaining OTP: " + detail +
                     ".  Nothing was programmed.",
                 "Error", MB_ICONERROR}}));
  EXPECT_EQ(b.ui.status_text,
            "OTP ERROR: The configuration does not fit the chip's remaining OTP: " + detail + ".");
  EXPECT_EQ(b.ui.program_caption, "Program");
  EXPECT_EQ(b.Image(), before);
  EXPECT_EQ(b.chip->RequestCount(IOCTL_QTUSB_WRITE_OTP), 0u);
  EXPECT_EQ(b.chip->Reg(0x0D43), 9);  // still reading
  EXPECT_EQ(b.chip->Reg(0x0D4D), 0);
}

TEST_F(ProgramRunTest, LockedChipIsReportedAsLockedEvenWhenTheListDoesNotFit) {
  for (unsigned i = 0; i < 148; ++i) {
    b.chip->SetOtp(0x042 + 3 * i, 0x01);
    b.chip->SetOtp(0x043 + 3 * i, 0x03);
  }
  b.chip->SetOtp(0x003, 0x40);
  EXPECT_EQ(b.Program(ExampleFile()), Result::Locked);
  EXPECT_EQ(b.ui.BoxTexts(), std::vector<std::string>{"ERROR: Device is locked.  Stopping Now."});
}

TEST_F(ProgramRunTest, FailedImageReadStopsBeforeAnythingIsDecided) {
  ASSERT_TRUE(b.Fault("no-otp"));
  b.chip->ResetCounters();
  EXPECT_EQ(b.Program(ExampleFile()), Result::DeviceError);
  EXPECT_EQ(b.ui.boxes,
            (std::vector<MessageBoxCall>{{"ERROR: The chip's OTP could not be read.  Stopping Now.",
                                          "Error", MB_ICONERROR}}));
  EXPECT_EQ(b.ui.status_text, "OTP ERROR: The chip's OTP could not be read.  OTP Stopped.");
  EXPECT_EQ(b.engine.m_recUsbVendorId.req, 0u);  // the file was not read
  EXPECT_EQ(b.engine.m_nWriteCount, 0u);
  EXPECT_EQ(b.chip->RequestCount(IOCTL_QTUSB_WRITE_OTP), 0u);
  EXPECT_EQ(b.Image(), blank);
}

TEST_F(ProgramRunTest, ReadFailedFlagOfAnEarlierReadDoesNotStopTheRun) {
  b.link.m_bReadFailed = 1;
  EXPECT_EQ(b.Program(ExampleFile()), Result::Success);
}

TEST_F(ProgramRunTest, NoPortShowsTheMessageOnceAndStops) {
  b.link.Close();
  EXPECT_EQ(b.Program(ExampleFile()), Result::DeviceError);
  EXPECT_EQ(b.ui.BoxTexts(),
            std::vector<std::string>{"The COM Port is not opened for r/w registers!"});
  EXPECT_TRUE(b.regs.log.empty());
}

TEST_F(ProgramRunTest, PortClosedDuringProgrammingEndsTheRunWithAnError) {
  // Close the port between two requests in the middle of the list, as the
  // removal handler would inside a message box's loop.
  const size_t close_at = 1000;
  b.regs.after_request = [&](size_t n) {
    if (n == close_at) b.link.Close();
  };
  EXPECT_EQ(b.Program(ExampleFile()), Result::DeviceError);
  const auto texts = b.ui.BoxTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "The COM Port is not opened for r/w registers!");
  EXPECT_EQ(texts[1].rfind("ERROR: The COM Port was closed during the run.  Stopping Now.\n"
                           "Programming stopped at entry ",
                           0),
            0u)
      << texts[1];
  EXPECT_EQ(b.ui.boxes[1].caption, "Error");
  EXPECT_EQ(b.ui.status_text, "OTP ERROR: The COM Port was closed during the run.  OTP Stopped.");
  EXPECT_EQ(b.ui.program_caption, "Program");
  EXPECT_EQ(b.regs.requests, close_at);  // nothing was sent after the close
  EXPECT_EQ(b.chip->Otp(0x003) & 0x40, 0);
}

TEST_F(ProgramRunTest, UnpluggedChipEndsTheRunWithAFewMessagesAndNoSuccess) {
  ASSERT_TRUE(b.Fault("unplug-after=1200"));
  EXPECT_EQ(b.Program(ExampleFile()), Result::DeviceError);
  const auto texts = b.ui.BoxTexts();
  EXPECT_LE(texts.size(), 6u);
  EXPECT_EQ(CountText(texts, "OTP successful.."), 0u);
  EXPECT_EQ(texts.back().rfind("ERROR: The chip does not answer register requests.  Stopping Now.", 0),
            0u)
      << texts.back();
  EXPECT_EQ(b.ui.status_text,
            "OTP ERROR: The chip does not answer register requests.  OTP Stopped.");
}

TEST_F(ProgramRunTest, HangingControllerEndsTheRunAndIsSentBackToReading) {
  b.engine.m_nWaitPollLimit = 500;
  ASSERT_TRUE(b.Fault("hang-after=1000"));
  EXPECT_EQ(b.Program(ExampleFile()), Result::DeviceError);
  EXPECT_EQ(b.ui.boxes.size(), 1u);
  EXPECT_EQ(b.ui.boxes[0].caption, "Error");
  EXPECT_EQ(b.ui.boxes[0].text.rfind(
                "ERROR: The chip's OTP controller is not answering.  Stopping Now.\n"
                "Programming stopped at entry ",
                0),
            0u)
      << b.ui.boxes[0].text;
  EXPECT_NE(b.ui.boxes[0].text.find("the device is not locked."), std::string::npos);
  EXPECT_EQ(b.ui.status_text, "OTP ERROR: The chip's OTP controller is not answering.  OTP Stopped.");
  // The last request is the command that ends OTP access.
  EXPECT_EQ(b.regs.log.back(), "W 0D43 0009");
  EXPECT_EQ(b.chip->Otp(0x003) & 0x40, 0);
}

}  // namespace
}  // namespace qt70
