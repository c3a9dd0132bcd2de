// Validation through the Program button: every check of the settings as
// the operator meets it (the box, the text the field shows afterwards, the
// focus on the field), with nothing written and nothing burnt.
#include <sys/stat.h>

#include "app_rig.h"

namespace qt70::test {
namespace {

constexpr const char* kImproper = "Warning! Improper value to Write";
constexpr const char* kIncomplete = "Warning! Incomplete information";
const MessageBoxRecord kConfirm{"This is only one time programmable.  Do you wish to proceed?",
                                "Confirm...", 0x24};

enum class Break {
  Type,     // type the text into the control
  NoEntry,  // leave the list without a chosen entry
  Load,     // load a file that holds the text (past the edit's typing limit)
};

struct Row {
  int check;
  int control;
  Break how;
  const char* text;  // typed or loaded
  const char* message;
  const char* caption;  // nullptr: the transfer's own box, captioned with the application's name
  const char* shown;    // the field's text afterwards (the reset text, or as it was)
  std::string CSettings::*member = nullptr;  // where a loaded text goes
};

constexpr const char* kTooLong4 = "Enter no more than 4 characters.";
constexpr const char* kTooLong6 = "Enter no more than 6 characters.";

// The checks in their order. The upper bounds of the identifiers and of
// the seven register fields cannot be typed: their edits take 6 and 4
// characters, so "0xFFFF" and "0xFF" are the largest texts. Such a text can
// still come from a loaded file; the transfer's limit then stops the
// Program command before it asks, so those value checks never see it. The
// same goes for a baud rate past 12000000, which can be typed.
const Row kRows[] = {
    {1, IDC_EDIT_VENDOR_ID, Break::Type, "0X2F4A", "Please input a valid Vendor ID in 0x0000 format.",
     kImproper, "0x0000"},
    {2, IDC_EDIT_VENDOR_ID, Break::Type, "0x0",
     "Invalid Vendor ID!\n\nPlease input a valid Vendor ID within the range of 0xFFFF", kImproper,
     "0x0000"},
    {2, IDC_EDIT_VENDOR_ID, Break::Load, "0x10000", kTooLong6, nullptr, "0x10000",
     &CSettings::m_strVendorId},
    {3, IDC_EDIT_DEVICE_ID, Break::Type, " 0x553", "Please input a valid Device ID in 0x000 format",
     kImproper, "0x0000"},
    {4, IDC_EDIT_DEVICE_ID, Break::Type, "0x",
     "Invalid Device ID!\n\nPlease input a valid Device ID within the range of 0xFFFF!", kImproper,
     "0x0000"},
    {4, IDC_EDIT_DEVICE_ID, Break::Load, "0x10000", kTooLong6, nullptr, "0x10000",
     &CSettings::m_strDeviceId},
    {5, IDC_EDIT_MAX_POWER, Break::Type, "", "Please input a value between 0x00 - 0xFF for Max Power",
     kImproper, "0x00"},
    {6, IDC_EDIT_MAX_POWER, Break::Type, "0x100",
     "Please input a value between 0x0 - 0xFF for Max Power!", kImproper, "0x00"},
    {7, IDC_EDIT_PIN_PULLDOWN, Break::Type, "10",
     "Please input a value between 0x00 - 0xFF for Pin Pulldown", kImproper, "0x00"},
    {8, IDC_EDIT_PIN_PULLDOWN, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strPinPulldown},
    {9, IDC_EDIT_PIN_PULLUP, Break::Type, "0X20",
     "Please input a value between 0x00 - 0xFF for Pin Pullup", kImproper, "0x00"},
    {10, IDC_EDIT_PIN_PULLUP, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strPinPullup},
    {11, IDC_EDIT_FLOW_CONTROL, Break::Type, "x01",
     "Please input a value between 0x00 - 0xFF for Flow Control", kImproper, "0x00"},
    {12, IDC_EDIT_FLOW_CONTROL, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strFlowControl},
    {13, IDC_EDIT_GPIO_DIRECTION, Break::Type, "",
     "Please input a value between 0x00 - 0xFF for GPIO Direction", kImproper, "0x00"},
    {14, IDC_EDIT_GPIO_DIRECTION, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strGpioDirection},
    {15, IDC_EDIT_GPIO_INT_MASK, Break::Type, "1",
     "Please input a value between 0x00 - 0xFF for GPIO Int Mask", kImproper, "0x00"},
    {16, IDC_EDIT_GPIO_INT_MASK, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strGpioIntMask},
    {17, IDC_EDIT_GPIO_MODE, Break::Type, "0y0f",
     "Please input a value between 0x00 - 0xFF for GPIO Mode", kImproper, "0x00"},
    {18, IDC_EDIT_GPIO_MODE, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strGpioMode},
    {19, IDC_EDIT_GPIO_SET, Break::Type, " 0x2",
     "Please input a value between 0x00 - 0xFF for GPIO Set", kImproper, "0x00"},
    {20, IDC_EDIT_GPIO_SET, Break::Load, "0x100", kTooLong4, nullptr, "0x100",
     &CSettings::m_strGpioSet},
    {21, IDC_EDIT_BAUD_RATE, Break::Type, "0", "Improper Baud Rate in Line Coding!", kImproper, "0"},
    {21, IDC_EDIT_BAUD_RATE, Break::Type, "12000001", "Enter an integer between 0 and 12000000.",
     nullptr, "12000001"},
    {22, IDC_COMBO_CHAR_FORMAT, Break::NoEntry, nullptr,
     "Improper Character Format in Line Coding!", kImproper, ""},
    {23, IDC_COMBO_PARITY, Break::NoEntry, nullptr, "Improper Parity in Line Coding!", kImproper,
     ""},
    {24, IDC_COMBO_DATA_BITS, Break::NoEntry, nullptr, "Improper Data Bits in Line Coding!",
     kImproper, ""},
    {25, IDC_EDIT_MANUFACTURER, Break::Type, "",
     "Manufacturer String: Enter a string or choose Use Kelm Default.", kIncomplete, ""},
    {26, IDC_EDIT_PRODUCT, Break::Type, "",
     "Product String: Enter a string or choose Use Kelm Default.", kIncomplete, ""},
    {27, IDC_EDIT_SERIAL_NUMBER, Break::Type, "",
     "Serial Number String: Enter a string or choose Use Kelm Default.", kIncomplete, ""},
};

class Validation : public DialogRig {
 protected:
  // A dialog on a blank chip with every setting valid except `row`.
  void Prepare(const Row& row) {
    dlg.reset();
    chip = &AddChip("COM5");
    Start();
    ChoosePort("COM5");
    FillValidSettings(row.how == Break::NoEntry ? row.control : 0);
    if (row.how == Break::Type) Type(row.control, row.text);
    if (row.how == Break::Load) {
      // A file with the long text, loaded with the Load XMl File button.
      ASSERT_TRUE(dlg->UpdateData(true));
      CSettings s = dlg->m_settings;
      s.*row.member = row.text;
      const std::string file = scratch.Path() + "/long.xml";
      std::string error;
      ASSERT_TRUE(CConfigFiles::WriteConfigFile(s, file, &error)) << error;
      fileDialogs.results = {file};
      Click(IDC_BUTTON_LOAD_XMLFILE);
      ASSERT_EQ(Text(row.control), row.text);
    }
    boxes.boxes.clear();
    chip->ResetCounters();
  }
  bool ConfigFileWritten() const {
    struct stat st;
    return ::stat((workDir + "/" + kXmlFileName).c_str(), &st) == 0;
  }
  EmulatedChip* chip = nullptr;
};

TEST_F(Validation, EveryCheckThroughTheProgramButton) {
  int next = 1;
  for (const Row& row : kRows) {
    SCOPED_TRACE("check " + std::to_string(row.check) + " with \"" +
                 (row.text ? row.text : "no entry") + "\"");
    // The table keeps the checks' order and leaves none out.
    EXPECT_TRUE(row.check == next || row.check == next - 1);
    if (row.check == next) ++next;
    Prepare(row);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Enabled(IDC_BUTTON_PROGRAM));
    Click(IDC_BUTTON_PROGRAM);
    if (row.caption) {
      EXPECT_EQ(boxes.boxes,
                (std::vector<MessageBoxRecord>{kConfirm, Box(row.message, row.caption, 0x30)}));
    } else {
      // Stopped at the transfer, before the confirmation.
      EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{Box(row.message, AppName(), 0x30)}));
    }
    if (row.how == Break::NoEntry) {
      EXPECT_EQ(Selection(row.control), -1);
    } else {
      EXPECT_EQ(Text(row.control), row.shown);
    }
    EXPECT_EQ(Focus(), row.control);
    // Nothing written, nothing burnt, still editing.
    EXPECT_EQ(chip->TotalRequests(), 0u);
    EXPECT_FALSE(ConfigFileWritten());
    EXPECT_EQ(Image(*chip), Image(EmulatedChip()));
    ExpectState(State::Editing);
    EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
  }
  EXPECT_EQ(next, 28);
}

TEST_F(Validation, OnlyTheFirstFailingFieldIsReportedAndReset) {
  Row first = kRows[0];
  Prepare(first);
  Type(IDC_EDIT_GPIO_SET, "0X02");
  Type(IDC_EDIT_BAUD_RATE, "0");
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{kConfirm, Box(first.message, kImproper, 0x30)}));
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x0000");
  EXPECT_EQ(Text(IDC_EDIT_GPIO_SET), "0X02");
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "0");
  // The next attempt reports the next field.
  Type(IDC_EDIT_VENDOR_ID, "0x2f4a");
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text, "Please input a value between 0x00 - 0xFF for GPIO Set");
  EXPECT_EQ(Text(IDC_EDIT_GPIO_SET), "0x00");
  EXPECT_EQ(Focus(), IDC_EDIT_GPIO_SET);
  EXPECT_EQ(chip->TotalRequests(), 0u);
}

}  // namespace
}  // namespace qt70::test
