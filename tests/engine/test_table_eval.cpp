// The field table, the decoding of the chip's OTP image and the trace printers.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/otp_engine.h"
#include "support/fakes.h"
#include "support/recording_operator.h"
#include "support/trace_capture.h"

namespace qt70 {
namespace {

using test::FakeReader;
using test::FakeRegs;
using test::RecordingOperator;
using test::TraceCapture;

struct EngineFixture : ::testing::Test {
  FakeRegs regs;
  RecordingOperator ui;
  FakeReader reader;
  COtpEngine engine{regs, ui, reader};
  unsigned char image[kOtpSize];

  void SetUp() override {
    engine.reset_run_state();
    Blank();
  }
  void Blank() {
    for (unsigned i = 0; i < kOtpSize; ++i) image[i] = (i & 0x100) ? 0xFF : 0x00;
  }
  void StorePair(unsigned slot, unsigned address, unsigned value) {
    unsigned pos = kPairAreaStart + 3 * slot;
    image[pos] = address & 0xFF;
    image[pos + 1] = static_cast<unsigned char>(((value & 0x0F) << 4) | ((address >> 8) & 0x0F));
    image[pos + 2] = (value >> 4) & 0xFF;
  }
  const mlc_tag& Tag(const char* name) {
    const mlc_tag* tag = engine.find_tag(name);
    EXPECT_NE(tag, nullptr) << name;
    return *tag;
  }
};

TEST_F(EngineFixture, TableHoldsTheEighteenFieldsInOrder) {
  struct Row {
    const char* name;
    uint32_t address, override, type, group;
    const void* record;
  };
  const Row rows[] = {
      {"OTP_CONFIG0", 0x000, 0, 0, 0, &engine.m_recConfig0},
      {"OTP_CONFIG3", 0x003, 0, 0, 0, &engine.m_recConfig3},
      {"USB_VENDOR_ID", 0x00C, 0x227, 1, 1, &engine.m_recUsbVendorId},
      {"USB_PRODUCT_ID", 0x00E, 0x229, 1, 1, &engine.m_recUsbProductId},
      {"USB_ATTRIBUTES", 0x010, 0x22B, 0, 1, &engine.m_recUsbAttributes},
      {"USB_MAXPOWER", 0x011, 0x22C, 0, 1, &engine.m_recUsbMaxPower},
      {"ADDRESS_VALUE", 0, 0, 4, 0, &engine.m_recAddressValue},
      {"MANUFACTURER_STRING", 0x012, 0x22D, 2, 2, &engine.m_recManufacturerString},
      {"PRODUCT_STRING", 0x022, 0x23D, 2, 2, &engine.m_recProductString},
      {"SERIAL_NUMBER_STRING", 0x032, 0x24D, 2, 2, &engine.m_recSerialNumberString},
      {"LINE_CODING", 0x005, 0x220, 3, 3, &engine.m_recLineCoding},
      {"GPIO_DIRECTION", 0, 0xC0D, 5, 0, &engine.m_recGpioDirection},
      {"GPIO_INT_MASK", 0, 0xC11, 5, 0, &engine.m_recGpioIntMask},
      {"GPIO_MODE", 0, 0xC0C, 5, 0, &engine.m_recGpioMode},
      {"GPIO_SET", 0, 0xC0E, 5, 0, &engine.m_recGpioSet},
      {"PIN_PULLDOWN_EN", 0, 0xC15, 5, 0, &engine.m_recPinPulldownEn},
      {"PIN_PULLUP_EN", 0, 0xC14, 5, 0, &engine.m_recPinPullupEn},
      {"FLOW_CONTROL", 0, 0xC06, 5, 0, &engine.m_recFlowControl},
  };
  static_assert(sizeof rows / sizeof rows[0] == kTagCount);
  for (unsigned i = 0; i < kTagCount; ++i) {
    const mlc_tag& tag = engine.m_tags[i];
    SCOPED_TRACE(rows[i].name);
    EXPECT_STREQ(tag.name, rows[i].name);
    EXPECT_EQ(tag.address, rows[i].address);
    EXPECT_EQ(tag.override, rows[i].override);
    EXPECT_EQ(tag.type, rows[i].type);
    EXPECT_EQ(tag.group, rows[i].group);
    EXPECT_EQ(tag.record, rows[i].record);
    // Every field with a primary copy and an override has the register
    // block's layout: override = address + 0x21B.
    if (tag.override != 0 && tag.type != TYPE_GEN) {
      EXPECT_EQ(tag.override, tag.address + 0x21B);
    }
  }
}

TEST_F(EngineFixture, InitializeTagsClearsEveryRecordButNotTheChipPairs) {
  engine.m_recUsbVendorId = {3, 0x1111, 0x2222, 1};
  std::strcpy(engine.m_recProductString.xml, "ABC");
  engine.m_recProductString.req = 4;
  engine.m_recLineCoding.req = 7;
  engine.m_recLineCoding.xml[6] = 8;
  engine.m_recAddressValue.count = 2;
  engine.m_recAddressValue.address[1] = 0x123;
  engine.m_recFlowControl = {1, 0, 0x12, 0};
  engine.m_devAddressValues.count = 5;

  engine.initialize_tags();

  EXPECT_EQ(engine.m_recUsbVendorId.req, 0u);
  EXPECT_EQ(engine.m_recUsbVendorId.xml, 0);
  EXPECT_EQ(engine.m_recUsbVendorId.err, 0);
  EXPECT_EQ(engine.m_recProductString.req, 0u);
  EXPECT_STREQ(engine.m_recProductString.xml, "");
  EXPECT_EQ(engine.m_recLineCoding.req, 0u);
  EXPECT_EQ(engine.m_recLineCoding.xml[6], 0);
  EXPECT_EQ(engine.m_recAddressValue.count, 0u);
  EXPECT_EQ(engine.m_recAddressValue.address[1], 0);
  EXPECT_EQ(engine.m_recFlowControl.req, 0u);
  EXPECT_EQ(engine.m_recFlowControl.xml, 0);
  EXPECT_EQ(engine.m_devAddressValues.count, 5u);
}

TEST_F(EngineFixture, ReadAllOtpReadsEveryAddressInOrderAndMarksFailures) {
  regs.otp[0x010] = 0x80;
  regs.failing_otp_reads = {0x003, 0x1FF};
  engine.read_all_otp(image);
  ASSERT_EQ(regs.otp_reads.size(), kOtpSize);
  for (unsigned i = 0; i < kOtpSize; ++i) ASSERT_EQ(regs.otp_reads[i], i);
  EXPECT_EQ(image[0x010], 0x80);
  EXPECT_EQ(image[0x003], 0xFF);
  EXPECT_EQ(regs.read_failed, 1);
  // A rejected OTP read is quiet: the caller decides what to say.
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(EngineFixture, BlankChipDecodesToNothing) {
  engine.eval_all_otp(image);
  EXPECT_EQ(engine.m_recConfig0.dev, 0);
  EXPECT_EQ(engine.m_recUsbVendorId.dev, 0);
  EXPECT_EQ(engine.m_recManufacturerString.dev[0], 0);
  EXPECT_EQ(engine.m_devAddressValues.count, 0u);
  EXPECT_EQ(engine.m_nNextPairAddress, 0x042);
  EXPECT_EQ(engine.m_bDevUsbValid + engine.m_bDevStringsValid + engine.m_bDevLineValid, 0);
  EXPECT_EQ(engine.m_bDevLocked, 0);
}

TEST_F(EngineFixture, FieldsDecodeFromTheirPrimaryCopies) {
  image[0x000] = 0xFF;  // only bit 1 belongs to OTP_CONFIG0
  image[0x003] = 0x4F;  // bits 0-3 are OTP_CONFIG3, bit 6 the lock
  image[0x004] = 0x05;
  const uint8_t line[7] = {0x80, 0x25, 0, 0, 0, 0, 8};
  std::memcpy(image + 0x005, line, 7);
  image[0x00C] = 0x34;
  image[0x00D] = 0x12;
  image[0x00E] = 0xCD;
  image[0x00F] = 0xAB;
  image[0x010] = 0xA0;
  image[0x011] = 0x32;
  std::memcpy(image + 0x012, "0123456789ABCDEF", 16);  // 16 bytes, no NUL
  std::memcpy(image + 0x022, "AB", 3);

  engine.eval_all_otp(image);

  EXPECT_EQ(engine.m_recConfig0.dev, 0x02);
  EXPECT_EQ(engine.m_recConfig3.dev, 0x0F);
  EXPECT_EQ(engine.m_bDevLocked, 1);
  EXPECT_EQ(engine.m_bDevUsbValid, 1);
  EXPECT_EQ(engine.m_bDevStringsValid, 0);
  EXPECT_EQ(engine.m_bDevLineValid, 1);
  EXPECT_EQ(0, std::memcmp(engine.m_recLineCoding.dev, line, 7));
  EXPECT_EQ(engine.m_recUsbVendorId.dev, 0x1234);
  EXPECT_EQ(engine.m_recUsbProductId.dev, 0xABCD);
  EXPECT_EQ(engine.m_recUsbAttributes.dev, 0xA0);
  EXPECT_EQ(engine.m_recUsbMaxPower.dev, 0x32);
  EXPECT_EQ(0, std::memcmp(engine.m_recManufacturerString.dev, "0123456789ABCDEF", 16));
  EXPECT_STREQ(engine.m_recProductString.dev, "AB");
  // Register fields are never read from the chip.
  EXPECT_EQ(engine.m_recGpioMode.dev, 0);
}

TEST_F(EngineFixture, GetFromOtpSizesAndBounds) {
  mlc_8 rec8{};
  mlc_av av{};
  EXPECT_EQ(engine.get_from_otp(image, 0x011, TYPE_MLC8, &rec8), 1);
  EXPECT_EQ(engine.get_from_otp(image, 0, TYPE_AV, &av), 0);
  EXPECT_EQ(engine.get_from_otp(image, 0x011, 6, &rec8), -1);
  mlc_string str{};
  EXPECT_EQ(engine.get_from_otp(image, 0x1F0, TYPE_STRING, &str), -1);  // would reach 0x200
  EXPECT_EQ(engine.get_from_otp(image, 0x1FF, TYPE_MLC8, &rec8), -1);
}

TEST_F(EngineFixture, PairsDecodeUpToTheirEnd) {
  struct Case {
    const char* what;
    std::vector<std::pair<unsigned, unsigned>> pairs;  // stored pairs
    std::vector<unsigned> raw_end;                      // three bytes after them, if any
    unsigned expected_count;
  };
  const Case cases[] = {
      {"two pairs then blank", {{0x123, 0xABC}, {0xC0C, 0x00F}}, {}, 2},
      {"end at address 0xFFF", {{0x227, 0x34}}, {0xFF, 0xFF, 0xFF}, 1},
      {"end at address 0x000 with a value", {{0x227, 0x34}}, {0x00, 0x50, 0x00}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Blank();
    for (unsigned i = 0; i < c.pairs.size(); ++i) StorePair(i, c.pairs[i].first, c.pairs[i].second);
    unsigned pos = kPairAreaStart + 3 * c.pairs.size();
    for (unsigned i = 0; i < c.raw_end.size(); ++i) image[pos + i] = c.raw_end[i];
    engine.eval_all_otp(image);
    ASSERT_EQ(engine.m_devAddressValues.count, c.expected_count);
    for (unsigned i = 0; i < c.expected_count; ++i) {
      EXPECT_EQ(engine.m_devAddressValues.address[i], c.pairs[i].first);
      EXPECT_EQ(engine.m_devAddressValues.value[i], c.pairs[i].second);
    }
    EXPECT_EQ(engine.m_nNextPairAddress, static_cast<int>(0x042 + 3 * c.expected_count));
  }
}

TEST_F(EngineFixture, PairEncodingMatchesTheMemoryMap) {
  StorePair(0, 0x123, 0xABC);
  EXPECT_EQ(image[0x042], 0x23);
  EXPECT_EQ(image[0x043], 0xC1);
  EXPECT_EQ(image[0x044], 0xAB);
  engine.eval_all_otp(image);
  EXPECT_EQ(engine.m_devAddressValues.address[0], 0x123);
  EXPECT_EQ(engine.m_devAddressValues.value[0], 0xABC);
}

TEST_F(EngineFixture, AFullPairAreaStopsAfter148Pairs) {
  for (unsigned i = 0; i < kMaxPairs; ++i) StorePair(i, 0xC00 + i, i);
  engine.eval_all_otp(image);
  EXPECT_EQ(engine.m_devAddressValues.count, kMaxPairs);
  EXPECT_EQ(engine.m_nNextPairAddress, 0x1FE);
  EXPECT_EQ(engine.m_devAddressValues.address[147], 0xC00 + 147);
}

TEST_F(EngineFixture, OverrideRanges) {
  struct Case {
    unsigned pair_register;
    const char* field;
    int expected;
  };
  const Case cases[] = {
      {0x228, "USB_VENDOR_ID", 1},        {0x228, "USB_PRODUCT_ID", 0},
      {0x227, "USB_VENDOR_ID", 1},        {0x229, "USB_VENDOR_ID", 0},
      {0x23C, "MANUFACTURER_STRING", 1},  {0x23D, "MANUFACTURER_STRING", 0},
      {0x226, "LINE_CODING", 1},          {0x227, "LINE_CODING", 0},
      {0x22B, "USB_ATTRIBUTES", 1},       {0x22C, "USB_ATTRIBUTES", 0},
      {0x000 + 0x003, "OTP_CONFIG3", 0},  {0x220, "OTP_CONFIG0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " with a pair for " + std::to_string(c.pair_register));
    Blank();
    StorePair(0, c.pair_register, 0x001);
    engine.eval_all_otp(image);
    EXPECT_EQ(engine.is_overridden(&Tag(c.field)), c.expected);
  }
}

TEST_F(EngineFixture, OverrideLooksAtEveryStoredPair) {
  StorePair(0, 0xC0C, 0x00F);
  StorePair(1, 0x22C, 0x064);
  engine.eval_all_otp(image);
  TraceCapture trace(5);  // override lines are printed above level 4
  EXPECT_EQ(engine.is_overridden(&Tag("USB_MAXPOWER")), 1);
  EXPECT_EQ(engine.is_overridden(&Tag("USB_ATTRIBUTES")), 0);
  EXPECT_EQ(trace.Text(),
            "USB_MAXPOWER Override found.  Index = 1.  556 (556 - 557).\n"
            "USB_ATTRIBUTES Override Not Found.\n");
}

TEST_F(EngineFixture, PrintAllOtpFormat) {
  for (unsigned i = 0; i < kOtpSize; ++i) image[i] = static_cast<unsigned char>(i);
  TraceCapture trace;
  engine.print_all_otp(image);
  const std::string text = trace.Text();
  EXPECT_EQ(text.substr(0, 49), "00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F\n");
  size_t lines = 0;
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 32u);
  EXPECT_EQ(text.size(), 32u * 49u);
  EXPECT_EQ(text.substr(31 * 49), "F0 F1 F2 F3 F4 F5 F6 F7  F8 F9 FA FB FC FD FE FF\n");
}

TEST_F(EngineFixture, PrintTagFormats) {
  engine.m_recUsbAttributes = {1, 0x80, 0xA0, 0};
  engine.m_recUsbVendorId = {1, 0, 0x1234, 0};
  engine.m_recProductString.req = 3;
  std::memcpy(engine.m_recProductString.dev, "0123456789ABCDEF", 16);  // no NUL
  std::strcpy(engine.m_recProductString.xml, "AB");
  TraceCapture trace;
  for (const mlc_tag& tag : engine.m_tags) engine.print_tag(&tag);
  const std::string text = trace.Text();
  EXPECT_NE(text.find("8-bit USB_ATTRIBUTES at address 0x010 with override at 0x22B\n"
                      "    req = 1; dev = 128; xml = 160; err = 0\n"),
            std::string::npos);
  EXPECT_NE(text.find("16-bit USB_VENDOR_ID at address 0x00C with override at 0x227\n"
                      "    req = 1; dev = 0; xml = 4660; err = 0\n"),
            std::string::npos);
  EXPECT_NE(text.find("string PRODUCT_STRING at address 0x022 with override at 0x23D\n"
                      "    req = 3; dev = 0123456789ABCDEF; xml = AB; err = \n"),
            std::string::npos);
  // Line coding, pairs and register fields print nothing.
  EXPECT_EQ(text.find("LINE_CODING"), std::string::npos);
  EXPECT_EQ(text.find("GPIO"), std::string::npos);
}

TEST_F(EngineFixture, EvaluationTraceAtLevelFour) {
  image[0x000] = 0x03;
  image[0x003] = 0x47;
  image[0x004] = 0x02;
  StorePair(0, 0xC0C, 0x00F);
  TraceCapture trace(4);
  engine.eval_all_otp(image);
  const std::string text = trace.Text();
  EXPECT_EQ(text.rfind("evaluating OTP_CONFIG0 000\n    config0 masked from 0x03 to 0x02\n"
                       "evaluating OTP_CONFIG3 003\n    config3 masked from 0x47 to 0x07\n"
                       "evaluating USB_VENDOR_ID 00c\n    copying from 00c\n    copying from 00d\n",
                       0),
            0u);
  EXPECT_NE(text.find("skipping ADDRESS_VALUE\n"), std::string::npos);
  EXPECT_NE(text.find("skipping FLOW_CONTROL\n"), std::string::npos);
  EXPECT_NE(text.find("found otp a/v pair 0xC0C 0x00F\n1 otp a/v pairs\n"
                      "otp valid flags usb=0 strings=1 line=0\n"),
            std::string::npos);
}

TEST_F(EngineFixture, TraceIsSilentAtLevelZero) {
  TraceCapture trace(0);
  StorePair(0, 0x228, 1);
  engine.eval_all_otp(image);
  engine.is_overridden(&Tag("USB_VENDOR_ID"));
  EXPECT_EQ(trace.Text(), "");
}

}  // namespace
}  // namespace qt70
