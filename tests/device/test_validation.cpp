// The settings checks before programming: each of the 27 checks as a row,
// the prefix and value rules, and what a rejection leaves in the settings.
#include <gtest/gtest.h>

#include <functional>

#include "config/validation.h"
#include "support/recording_operator.h"
#include "res/resource.h"

namespace qt70 {
namespace {

CSettings Valid() {
  CSettings s;
  s.m_strVendorId = "0x1234";
  s.m_strDeviceId = "0x5678";
  s.m_strMaxPower = "0x32";
  s.m_strManufacturer = "Maker";
  s.m_strProduct = "Bridge";
  s.m_strSerialNumber = "0001";
  s.m_strGpioMode = "0x01";
  s.m_strFlowControl = "0x02";
  s.m_strGpioDirection = "0x03";
  s.m_strGpioIntMask = "0x04";
  s.m_strPinPulldown = "0x05";
  s.m_strPinPullup = "0x06";
  s.m_strGpioSet = "0x07";
  s.m_nBaudRate = 9600;
  s.m_nCharFormat = 0;
  s.m_nParity = 0;
  s.m_nDataBits = 1;
  s.m_nCoreClock = -1;
  return s;
}

struct Row {
  int check;
  std::function<void(CSettings&)> breakIt;
  const char* message;
  const char* caption;
  int focus;
  std::string CSettings::*member;  // the field, for its text afterwards
  const char* after;               // its text after the rejection; nullptr: unchanged
};

constexpr const char* kImp = "Warning! Improper value to Write";
constexpr const char* kInc = "Warning! Incomplete information";

const Row kRows[] = {
    {1, [](CSettings& s) { s.m_strVendorId = "1234"; },
     "Please input a valid Vendor ID in 0x0000 format.", kImp, 1001, &CSettings::m_strVendorId,
     "0x0000"},
    {2, [](CSettings& s) { s.m_strVendorId = "0x10000"; },
     "Invalid Vendor ID!\n\nPlease input a valid Vendor ID within the range of 0xFFFF", kImp, 1001,
     &CSettings::m_strVendorId, "0x0000"},
    {3, [](CSettings& s) { s.m_strDeviceId = "0X12"; },
     "Please input a valid Device ID in 0x000 format", kImp, 1002, &CSettings::m_strDeviceId,
     "0x0000"},
    {4, [](CSettings& s) { s.m_strDeviceId = "0x0"; },
     "Invalid Device ID!\n\nPlease input a valid Device ID within the range of 0xFFFF!", kImp,
     1002, &CSettings::m_strDeviceId, "0x0000"},
    {5, [](CSettings& s) { s.m_strMaxPower = " 0x12"; },
     "Please input a value between 0x00 - 0xFF for Max Power", kImp, 1003,
     &CSettings::m_strMaxPower, "0x00"},
    {6, [](CSettings& s) { s.m_strMaxPower = "0x100"; },
     "Please input a value between 0x0 - 0xFF for Max Power!", kImp, 1003,
     &CSettings::m_strMaxPower, "0x00"},
    {7, [](CSettings& s) { s.m_strPinPulldown = ""; },
     "Please input a value between 0x00 - 0xFF for Pin Pulldown", kImp, 1016,
     &CSettings::m_strPinPulldown, "0x00"},
    {8, [](CSettings& s) { s.m_strPinPulldown = "0x1ff"; },
     "Please input a value between 0x0 - 0xFF for Pin Pulldown!", kImp, 1016,
     &CSettings::m_strPinPulldown, "0x00"},
    {9, [](CSettings& s) { s.m_strPinPullup = "x0"; },
     "Please input a value between 0x00 - 0xFF for Pin Pullup", kImp, 1017,
     &CSettings::m_strPinPullup, "0x00"},
    {10, [](CSettings& s) { s.m_strPinPullup = "0xFFFFFFFFF"; },
     "Please input a value between 0x0 - 0xFF for Pin Pullup!", kImp, 1017,
     &CSettings::m_strPinPullup, "0x00"},
    {11, [](CSettings& s) { s.m_strFlowControl = "0"; },
     "Please input a value between 0x00 - 0xFF for Flow Control", kImp, 1013,
     &CSettings::m_strFlowControl, "0x00"},
    {12, [](CSettings& s) { s.m_strFlowControl = "0x100"; },
     "Please input a value between 0x0 - 0xFF for Flow Control!", kImp, 1013,
     &CSettings::m_strFlowControl, "0x00"},
    {13, [](CSettings& s) { s.m_strGpioDirection = "0X1"; },
     "Please input a value between 0x00 - 0xFF for GPIO Direction", kImp, 1014,
     &CSettings::m_strGpioDirection, "0x00"},
    {14, [](CSettings& s) { s.m_strGpioDirection = "0x1f3"; },
     "Please input a value between 0x0 - 0xFF for GPIO Direction!", kImp, 1014,
     &CSettings::m_strGpioDirection, "0x00"},
    {15, [](CSettings& s) { s.m_strGpioIntMask = "ff"; },
     "Please input a value between 0x00 - 0xFF for GPIO Int Mask", kImp, 1015,
     &CSettings::m_strGpioIntMask, "0x00"},
    {16, [](CSettings& s) { s.m_strGpioIntMask = "0x100"; },
     "Please input a value between 0x0 - 0xFF for GPIO Int Mask!", kImp, 1015,
     &CSettings::m_strGpioIntMask, "0x00"},
    {17, [](CSettings& s) { s.m_strGpioMode = ""; },
     "Please input a value between 0x00 - 0xFF for GPIO Mode", kImp, 1012,
     &CSettings::m_strGpioMode, "0x00"},
    {18, [](CSettings& s) { s.m_strGpioMode = "0x200"; },
     "Please input a value between 0x0 - 0xFF for GPIO Mode!", kImp, 1012,
     &CSettings::m_strGpioMode, "0x00"},
    {19, [](CSettings& s) { s.m_strGpioSet = "1"; },
     "Please input a value between 0x00 - 0xFF for GPIO Set", kImp, 1019,
     &CSettings::m_strGpioSet, "0x00"},
    {20, [](CSettings& s) { s.m_strGpioSet = "0x100"; },
     "Please input a value between 0x0 - 0xFF for GPIO Set!", kImp, 1019,
     &CSettings::m_strGpioSet, "0x00"},
    {21, [](CSettings& s) { s.m_nBaudRate = 0; }, "Improper Baud Rate in Line Coding!", kImp, 1022,
     nullptr, nullptr},
    {22, [](CSettings& s) { s.m_nCharFormat = -1; }, "Improper Character Format in Line Coding!",
     kImp, 1023, nullptr, nullptr},
    {23, [](CSettings& s) { s.m_nParity = -1; }, "Improper Parity in Line Coding!", kImp, 1024,
     nullptr, nullptr},
    {24, [](CSettings& s) { s.m_nDataBits = -1; }, "Improper Data Bits in Line Coding!", kImp, 1025,
     nullptr, nullptr},
    {25, [](CSettings& s) { s.m_strManufacturer = ""; },
     "Manufacturer String: Enter a string or choose Use Kelm Default.", kInc, 1004,
     &CSettings::m_strManufacturer, nullptr},
    {26, [](CSettings& s) { s.m_strProduct = ""; },
     "Product String: Enter a string or choose Use Kelm Default.", kInc, 1005,
     &CSettings::m_strProduct, nullptr},
    {27, [](CSettings& s) { s.m_strSerialNumber = ""; },
     "Serial Number String: Enter a string or choose Use Kelm Default.", kInc, 1006,
     &CSettings::m_strSerialNumber, nullptr},
};

TEST(Validation, EveryCheckRejectsWithItsWordsFocusAndReset) {
  for (const Row& row : kRows) {
    SCOPED_TRACE("check " + std::to_string(row.check));
    CSettings s = Valid();
    row.breakIt(s);
    CSettings before = s;
    test::RecordingOperator ui;

    auto failure = FirstImproperSetting(s);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->check, row.check);

    EXPECT_EQ(isproper(s, ui), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, row.message);
    EXPECT_EQ(ui.boxes[0].caption, row.caption);
    EXPECT_EQ(ui.boxes[0].style, MB_ICONEXCLAMATION);
    EXPECT_EQ(ui.focus, row.focus);

    CSettings expected = before;
    if (row.after) expected.*row.member = row.after;
    EXPECT_EQ(s, expected);  // only the failing field changes, and only to its reset text
    // A reset is shown (UpdateData(FALSE)) before the focus moves; nothing
    // is shown when the field is left as it was.
    std::vector<std::string> tail(ui.events.begin() + 1, ui.events.end());
    if (row.after)
      EXPECT_EQ(tail, (std::vector<std::string>{"UpdateData(FALSE)",
                                                "focus " + std::to_string(row.focus)}));
    else
      EXPECT_EQ(tail, (std::vector<std::string>{"focus " + std::to_string(row.focus)}));
  }
}

TEST(Validation, AcceptsValidSettingsAndChangesNothing) {
  CSettings s = Valid();
  test::RecordingOperator ui;
  EXPECT_EQ(isproper(s, ui), 1);
  EXPECT_EQ(s, Valid());
  EXPECT_TRUE(ui.events.empty());
}

TEST(Validation, OnlyTheFirstOfSeveralWrongFieldsIsReportedAndReset) {
  CSettings s = Valid();
  s.m_strGpioMode = "zz";   // check 17
  s.m_strPinPullup = "zz";  // check 9: on screen above GPIO_MODE
  s.m_nBaudRate = 0;
  test::RecordingOperator ui;
  EXPECT_EQ(isproper(s, ui), 0);
  EXPECT_EQ(ui.BoxTexts(),
            std::vector<std::string>{"Please input a value between 0x00 - 0xFF for Pin Pullup"});
  EXPECT_EQ(s.m_strPinPullup, "0x00");
  EXPECT_EQ(s.m_strGpioMode, "zz");
  EXPECT_EQ(s.m_nBaudRate, 0u);
}

TEST(Validation, PrefixAndValueRules) {
  EXPECT_TRUE(HexPrefixOk("0x"));
  EXPECT_FALSE(HexPrefixOk("0X12"));
  EXPECT_FALSE(HexPrefixOk(" 0x12"));
  EXPECT_FALSE(HexPrefixOk("0"));
  EXPECT_FALSE(HexPrefixOk(""));
  EXPECT_EQ(HexValue("0x"), 0u);
  EXPECT_EQ(HexValue("0x1G"), 1u);
  EXPECT_EQ(HexValue("0x0032"), 0x32u);
  EXPECT_EQ(HexValue("0xffffffff"), 0xFFFFFFFFu);
  EXPECT_EQ(HexValue("0x100000000"), 0xFFFFFFFFu);
  EXPECT_EQ(HexValue("0x00000000000000000012"), 0x12u);  // leading zeros do not overflow
  EXPECT_EQ(HexValue("0x 12"), 0u);
  EXPECT_EQ(HexValue("0x-1"), 0u);
}

TEST(Validation, EdgeCasesAcceptedWhereInRange) {
  struct Case {
    const char* name;
    std::function<void(CSettings&)> set;
  };
  const Case accepted[] = {
      {"bare 0x for max power and the seven GPIO fields",
       [](CSettings& s) {
         for (auto m : {&CSettings::m_strMaxPower, &CSettings::m_strGpioMode,
                        &CSettings::m_strFlowControl, &CSettings::m_strGpioDirection,
                        &CSettings::m_strGpioIntMask, &CSettings::m_strPinPulldown,
                        &CSettings::m_strPinPullup, &CSettings::m_strGpioSet})
           s.*m = "0x";
       }},
      {"0x1G reads as 1", [](CSettings& s) { s.m_strVendorId = "0x1G"; }},
      {"six-character max power", [](CSettings& s) { s.m_strMaxPower = "0x0032"; }},
      {"vendor 0xFFFF", [](CSettings& s) { s.m_strVendorId = "0xFFFF"; }},
      {"baud rate 1", [](CSettings& s) { s.m_nBaudRate = 1; }},
      {"baud rate 12000000", [](CSettings& s) { s.m_nBaudRate = 12000000; }},
      {"no core clock", [](CSettings& s) { s.m_nCoreClock = -1; }},
      {"a single space is a string", [](CSettings& s) { s.m_strSerialNumber = " "; }},
      {"empty strings under Use Kelm Defaults",
       [](CSettings& s) {
         s.m_strManufacturer = s.m_strProduct = s.m_strSerialNumber = "";
         s.m_bUseDefaultManufacturer = s.m_bUseDefaultProduct = s.m_bUseDefaultSerial = 1;
       }},
      {"parity index past the list is not checked", [](CSettings& s) { s.m_nParity = 7; }},
  };
  for (const Case& c : accepted) {
    SCOPED_TRACE(c.name);
    CSettings s = Valid();
    c.set(s);
    CSettings before = s;
    test::RecordingOperator ui;
    EXPECT_EQ(isproper(s, ui), 1);
    EXPECT_EQ(s, before);  // the text itself (0x1G) is not changed
  }

  // The identifiers are checked for range with the same bare prefix, and
  // Load Defaults' 0x0000 stays what it was.
  for (const char* id : {"0x", "0x0000"}) {
    CSettings s = Valid();
    s.m_strVendorId = id;
    test::RecordingOperator ui;
    EXPECT_EQ(isproper(s, ui), 0);
    EXPECT_EQ(ui.boxes.at(0).text,
              "Invalid Vendor ID!\n\nPlease input a valid Vendor ID within the range of 0xFFFF");
    EXPECT_EQ(s.m_strVendorId, "0x0000");
  }
  CSettings s = Valid();
  s.m_nBaudRate = 12000001;
  test::RecordingOperator ui;
  EXPECT_EQ(isproper(s, ui), 0);
  EXPECT_EQ(ui.focus, IDC_EDIT_BAUD_RATE);
}

}  // namespace
}  // namespace qt70
