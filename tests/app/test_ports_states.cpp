// The dialog as the operator meets it: the started state, choosing a blank,
// a programmed, a busy and an OTP-less port, the three control states
// control by control, Load Defaults and the Use Kelm Defaults boxes.
#include "app_rig.h"

namespace qt70::test {
namespace {

using PortsAndStates = DialogRig;

TEST_F(PortsAndStates, StartedDialogIsLockedWithThePortsListedAndNothingSelected) {
  AddChip("COM5");
  AddChip("COM10");
  Start();
  EXPECT_EQ(dlg->windowTitle().toStdString(), "Kelm's QT70L5530 One Time Programming Application");
  EXPECT_TRUE(boxes.boxes.empty());
  // Sorted as the list box sorts: COM10 before COM5.
  EXPECT_TRUE(Listed("COM5"));
  EXPECT_TRUE(Listed("COM10"));
  const std::vector<std::string> ports = Ports();
  const auto at10 = std::find(ports.begin(), ports.end(), "COM10");
  const auto at5 = std::find(ports.begin(), ports.end(), "COM5");
  EXPECT_LT(at10, at5);
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);

  ExpectState(State::Locked);
  EXPECT_FALSE(StatusVisible());
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "0");
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "");
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(Focus(), IDC_COMBO_COM_NUMBER);
  // The lists show no selection although their members hold 0; a transfer
  // now yields -1 for all four.
  EXPECT_EQ(dlg->m_settings.m_nParity, 0);
  ASSERT_TRUE(dlg->UpdateData(true));
  EXPECT_EQ(dlg->m_settings.m_nCharFormat, -1);
  EXPECT_EQ(dlg->m_settings.m_nParity, -1);
  EXPECT_EQ(dlg->m_settings.m_nDataBits, -1);
  EXPECT_EQ(dlg->m_settings.m_nCoreClock, -1);
  // The About item ends the system menu, after a separator.
  const auto& items = dlg->GetSystemMenu(false)->Items();
  ASSERT_GE(items.size(), 2u);
  EXPECT_EQ(items[items.size() - 2].flags, static_cast<unsigned>(MF_SEPARATOR));
  EXPECT_EQ(items.back().id, static_cast<unsigned>(IDM_ABOUTBOX));
  EXPECT_EQ(items.back().text, "&About QT70L5530OTP...");
}

TEST_F(PortsAndStates, BlankChipOpensForEditingWithEverySettingEmpty) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "COM5");
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), dlg->GetComboBox(IDC_COMBO_COM_NUMBER)->findText("COM5"));
  ExpectState(State::Editing);
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
  EXPECT_FALSE(StatusVisible());
  for (int id : {IDC_EDIT_VENDOR_ID, IDC_EDIT_DEVICE_ID, IDC_EDIT_MAX_POWER, IDC_EDIT_MANUFACTURER,
                 IDC_EDIT_PRODUCT, IDC_EDIT_SERIAL_NUMBER, IDC_EDIT_GPIO_MODE, IDC_EDIT_GPIO_SET,
                 IDC_EDIT_PIN_PULLUP})
    EXPECT_EQ(Text(id), "") << id;
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "0");
  for (int id : {IDC_COMBO_CHAR_FORMAT, IDC_COMBO_PARITY, IDC_COMBO_DATA_BITS, IDC_COMBO_CORE_CLOCK})
    EXPECT_EQ(Selection(id), -1) << id;
  for (int id : {IDC_CHECK_MFG_STRING_USE_DEFAULT, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
                 IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT})
    EXPECT_TRUE(Checked(id)) << id;
  for (int id : {IDC_CHECK_SELF_POWERED, IDC_CHECK_REMOTE_WAKEUP, IDC_CHECK_LOW_POWER,
                 IDC_CHECK_VBUS_SENSE})
    EXPECT_FALSE(Checked(id)) << id;
  // Choosing reads the chip only; nothing is written.
  EXPECT_GT(chip.RequestCount(IOCTL_QTUSB_READ_OTP), 0u);
  EXPECT_EQ(OtpWrites(chip), 0u);
  EXPECT_EQ(Image(chip), Image(EmulatedChip()));
}

TEST_F(PortsAndStates, ProgrammedChipIsReadBackAndFrozen) {
  AddProgrammedChip("COM7");
  Start();
  ChoosePort("COM7");
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{
                             Box("OTP is already programmed on this chip.", "OTP programmed.", 0x40)}));
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Programmed");
  ExpectState(State::Programmed);
  // The settings of examples/QT70L5530_OTP.xml, as the chip holds them.
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x2f4a");
  EXPECT_EQ(Text(IDC_EDIT_DEVICE_ID), "0x5530");
  EXPECT_EQ(Text(IDC_EDIT_MAX_POWER), "0x32");
  EXPECT_EQ(Text(IDC_EDIT_MANUFACTURER), "Kelm");
  EXPECT_EQ(Text(IDC_EDIT_PRODUCT), "QT70L5530 UART");
  EXPECT_EQ(Text(IDC_EDIT_SERIAL_NUMBER), "KL0000001");
  EXPECT_EQ(Text(IDC_EDIT_GPIO_MODE), "0x0f");
  EXPECT_EQ(Text(IDC_EDIT_PIN_PULLUP), "0x20");
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "115200");
  EXPECT_TRUE(Checked(IDC_CHECK_REMOTE_WAKEUP));
  EXPECT_FALSE(Checked(IDC_CHECK_SELF_POWERED));
  EXPECT_TRUE(Checked(IDC_CHECK_LOW_POWER));
  EXPECT_TRUE(Checked(IDC_CHECK_VBUS_SENSE));
  // The programmed state keeps the lists' selections.
  EXPECT_EQ(Selection(IDC_COMBO_DATA_BITS), 1);
  EXPECT_EQ(Selection(IDC_COMBO_PARITY), 0);
  EXPECT_EQ(Selection(IDC_COMBO_CHAR_FORMAT), 0);
  EXPECT_EQ(Selection(IDC_COMBO_CORE_CLOCK), 3);
  // Strings that the chip holds are shown with their Use Kelm Defaults
  // boxes clear.
  EXPECT_FALSE(Checked(IDC_CHECK_MFG_STRING_USE_DEFAULT));
}

TEST_F(PortsAndStates, BusyPortIsReportedAndLeavesTheStateAsItWas) {
  AddChip("COM5");
  AddBusyPort("COM6");
  Start();
  ChoosePort("COM5");
  Type(IDC_EDIT_VENDOR_ID, "0x1234");
  boxes.boxes.clear();
  ChoosePort("COM6");
  EXPECT_EQ(boxes.boxes,
            (std::vector<MessageBoxRecord>{Box(
                "The port is not free. \nPlease close all other applications using this COM port "
                "and retry.",
                "Error : COM Port not available to open", 0x10)}));
  // The port that was open is closed by now; the controls keep their state
  // and the settings their values; the choice is cleared.
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
  EXPECT_EQ(dlg->m_settings.m_strComPort, "COM6");
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x1234");
  ExpectState(State::Editing);
}

TEST_F(PortsAndStates, AFailingTransferDoesNotStopThePortChoice) {
  AddChip("COM5");
  EmulatedChip& other = AddChip("COM6");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  Type(IDC_EDIT_BAUD_RATE, "abc");
  boxes.boxes.clear();
  ChoosePort("COM6");
  // The port name is taken first; the framework tells of the baud rate and
  // the chosen port opens all the same, with every setting reset.
  EXPECT_EQ(boxes.boxes,
            (std::vector<MessageBoxRecord>{Box("Enter a positive integer.", AppName(), 0x30)}));
  EXPECT_TRUE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "COM6");
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "0");
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "");
  ExpectState(State::Editing);
  EXPECT_GT(other.RequestCount(IOCTL_QTUSB_READ_OTP), 0u);
}

TEST_F(PortsAndStates, PortWithoutOtpAccessIsClosedAndLocked) {
  AddChip("COM5");
  AddChip("COM8", {"no-otp"});
  Start();
  ChoosePort("COM5");
  boxes.boxes.clear();
  ChoosePort("COM8");
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{Box(
                             "OTP is not supported for this device/driver. Please check.", "Error",
                             0x10)}));
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "");
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
  ExpectState(State::Locked);
  // The blank chip is still there to be chosen again.
  ChoosePort("COM5");
  ExpectState(State::Editing);
}

TEST_F(PortsAndStates, ControlStatesFollowTheOperatorsRoad) {
  AddChip("COM5");
  AddProgrammedChip("COM7");
  AddChip("COM8", {"no-otp"});
  Start();
  ExpectState(State::Locked);
  ChoosePort("COM5");
  ExpectState(State::Editing);
  // A string's Use Kelm Defaults box decides its edit in the editing state.
  Click(IDC_CHECK_PRODUCT_STRING_USE_DEFAULT);
  EXPECT_EQ(dlg->m_settings.m_bUseDefaultProduct, 0);
  ExpectState(State::Editing);
  Choose(IDC_COMBO_PARITY, "Odd");
  ChoosePort("COM7");
  ExpectState(State::Programmed);
  const int coreClock = Selection(IDC_COMBO_CORE_CLOCK);
  // In the programmed state the Use Kelm Defaults boxes still switch their
  // edits; Refresh makes the string edits read-only again.
  ASSERT_FALSE(Checked(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT));
  Click(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT);
  EXPECT_TRUE(ReadOnly(IDC_EDIT_SERIAL_NUMBER));
  Click(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT);
  EXPECT_FALSE(ReadOnly(IDC_EDIT_SERIAL_NUMBER));
  EXPECT_FALSE(Enabled(IDC_BUTTON_PROGRAM));
  Click(IDC_BUTTON_REFRESH);
  ExpectState(State::Programmed);
  EXPECT_EQ(Selection(IDC_COMBO_CORE_CLOCK), coreClock);
  ChoosePort("COM8");
  ExpectState(State::Locked);
  ChoosePort("COM5");
  ExpectState(State::Editing);
}

TEST_F(PortsAndStates, LoadDefaultsReplacesTheSettingsAndKeepsThePort) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  Click(IDC_CHECK_SELF_POWERED);
  Type(IDC_EDIT_BAUD_RATE, "abc");  // replaced without a transfer
  Click(IDC_BUTTON_LOAD_DEFAULTS);
  EXPECT_TRUE(boxes.boxes.empty());
  const std::pair<int, const char*> texts[] = {
      {IDC_EDIT_VENDOR_ID, "0x0000"}, {IDC_EDIT_DEVICE_ID, "0x0000"},
      {IDC_EDIT_MAX_POWER, "0x32"},   {IDC_EDIT_MANUFACTURER, ""},
      {IDC_EDIT_PRODUCT, ""},         {IDC_EDIT_SERIAL_NUMBER, ""},
      {IDC_EDIT_GPIO_MODE, "0x00"},   {IDC_EDIT_FLOW_CONTROL, "0x00"},
      {IDC_EDIT_GPIO_DIRECTION, "0x00"}, {IDC_EDIT_GPIO_INT_MASK, "0x00"},
      {IDC_EDIT_PIN_PULLDOWN, "0x00"}, {IDC_EDIT_PIN_PULLUP, "0x00"},
      {IDC_EDIT_GPIO_SET, "0x00"},    {IDC_EDIT_BAUD_RATE, "9600"}};
  for (auto [id, text] : texts) EXPECT_EQ(Text(id), text) << id;
  for (int id : {IDC_EDIT_MANUFACTURER, IDC_EDIT_PRODUCT, IDC_EDIT_SERIAL_NUMBER})
    EXPECT_TRUE(ReadOnly(id)) << id;
  for (int id : {IDC_CHECK_MFG_STRING_USE_DEFAULT, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
                 IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, IDC_CHECK_REMOTE_WAKEUP})
    EXPECT_TRUE(Checked(id)) << id;
  for (int id : {IDC_CHECK_SELF_POWERED, IDC_CHECK_LOW_POWER, IDC_CHECK_VBUS_SENSE})
    EXPECT_FALSE(Checked(id)) << id;
  EXPECT_EQ(dlg->GetComboBox(IDC_COMBO_CORE_CLOCK)->currentText().toStdString(), "48 MHz");
  EXPECT_EQ(dlg->GetComboBox(IDC_COMBO_DATA_BITS)->currentText().toStdString(), "8");
  EXPECT_EQ(dlg->GetComboBox(IDC_COMBO_PARITY)->currentText().toStdString(), "None");
  EXPECT_EQ(dlg->GetComboBox(IDC_COMBO_CHAR_FORMAT)->currentText().toStdString(), "1");
  EXPECT_EQ(dlg->GetComboBox(IDC_COMBO_COM_NUMBER)->currentText().toStdString(), "COM5");
  ExpectState(State::Editing);
  EXPECT_TRUE(dlg->m_link.IsOpen());

  // Program right after Load Defaults is refused at the Vendor ID.
  EmulatedChip& chip = *chips["COM5"];
  chip.ResetCounters();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1], Box("Invalid Vendor ID!\n\nPlease input a valid Vendor ID within the "
                                "range of 0xFFFF",
                                "Warning! Improper value to Write", 0x30));
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x0000");
  EXPECT_EQ(chip.TotalRequests(), 0u);
}

TEST_F(PortsAndStates, UseKelmDefaultsBoxesSwitchTheirEditsAndKeepTheText) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  const std::tuple<int, int, int CSettings::*> rows[] = {
      {IDC_CHECK_MFG_STRING_USE_DEFAULT, IDC_EDIT_MANUFACTURER, &CSettings::m_bUseDefaultManufacturer},
      {IDC_CHECK_PRODUCT_STRING_USE_DEFAULT, IDC_EDIT_PRODUCT, &CSettings::m_bUseDefaultProduct},
      {IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, IDC_EDIT_SERIAL_NUMBER,
       &CSettings::m_bUseDefaultSerial}};
  for (auto [check, edit, flag] : rows) {
    SCOPED_TRACE(check);
    ASSERT_TRUE(Checked(check));
    EXPECT_TRUE(ReadOnly(edit));
    Type(edit, "ignored");  // a read-only edit takes no typing
    EXPECT_EQ(Text(edit), "");
    Click(check);
    EXPECT_FALSE(Checked(check));
    EXPECT_EQ(dlg->m_settings.*flag, 0);
    EXPECT_FALSE(ReadOnly(edit));
    Type(edit, "Kelm 15 letters");
    Type(edit, "Kelm 15 letters, more");  // the edit takes 15 characters
    EXPECT_EQ(Text(edit), "Kelm 15 letters");
    Click(check);
    EXPECT_TRUE(Checked(check));
    EXPECT_EQ(dlg->m_settings.*flag, 1);
    EXPECT_TRUE(ReadOnly(edit));
    EXPECT_EQ(Text(edit), "Kelm 15 letters");  // the text stays
    Click(check);
    EXPECT_FALSE(ReadOnly(edit));
    EXPECT_EQ(Text(edit), "Kelm 15 letters");
  }
  EXPECT_TRUE(boxes.boxes.empty());
  // The typing limits of the other edits: 6 for the identifiers, 4 for the
  // register fields, none for the maximum power and the baud rate.
  Type(IDC_EDIT_VENDOR_ID, "0x12345");
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x1234");
  Type(IDC_EDIT_GPIO_SET, "0x123");
  EXPECT_EQ(Text(IDC_EDIT_GPIO_SET), "0x12");
  Type(IDC_EDIT_MAX_POWER, "0x0000032");
  EXPECT_EQ(Text(IDC_EDIT_MAX_POWER), "0x0000032");
}

}  // namespace
}  // namespace qt70::test
