// The dialog's commands on emulated chips: Program (answered Yes and No, a
// configuration file that cannot be saved, a failed transfer), Refresh,
// Load XMl File (a saved file, a bad file, cancel), Enter and Escape, and
// the About box from the system menu.
#include <QMenu>
#include <QMessageBox>
#include <filesystem>

#include "app/AboutDlg.h"
#include "platform/resources.h"
#include "app_rig.h"

namespace qt70::test {
namespace {

const MessageBoxRecord kConfirm{"This is only one time programmable.  Do you wish to proceed?",
                                "Confirm...", 0x24};

// Every edit of the settings, for comparing what the dialog shows.
constexpr int kEdits[] = {IDC_EDIT_VENDOR_ID,     IDC_EDIT_DEVICE_ID,      IDC_EDIT_MAX_POWER,
                          IDC_EDIT_MANUFACTURER,  IDC_EDIT_PRODUCT,        IDC_EDIT_SERIAL_NUMBER,
                          IDC_EDIT_GPIO_MODE,     IDC_EDIT_FLOW_CONTROL,   IDC_EDIT_GPIO_DIRECTION,
                          IDC_EDIT_GPIO_INT_MASK, IDC_EDIT_PIN_PULLDOWN,   IDC_EDIT_PIN_PULLUP,
                          IDC_EDIT_GPIO_SET,      IDC_EDIT_BAUD_RATE};
constexpr int kChecks[] = {IDC_CHECK_SELF_POWERED, IDC_CHECK_REMOTE_WAKEUP, IDC_CHECK_LOW_POWER,
                           IDC_CHECK_VBUS_SENSE, IDC_CHECK_MFG_STRING_USE_DEFAULT,
                           IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
                           IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT};
constexpr int kLists[] = {IDC_COMBO_CHAR_FORMAT, IDC_COMBO_PARITY, IDC_COMBO_DATA_BITS,
                          IDC_COMBO_CORE_CLOCK};

class Commands : public DialogRig {
 protected:
  // What the settings controls show, as one comparable text.
  std::string Screen() const {
    std::string out;
    for (int id : kEdits) out += std::to_string(id) + "=" + Text(id) + "\n";
    for (int id : kChecks) out += std::to_string(id) + (Checked(id) ? "=on\n" : "=off\n");
    for (int id : kLists) out += std::to_string(id) + "#" + std::to_string(Selection(id)) + "\n";
    return out;
  }
  bool ConfigFileWritten() const {
    return std::filesystem::is_regular_file(workDir + "/" + kXmlFileName);
  }
  // Settings that differ from the defaults wherever they can.
  void FillOtherSettings() {
    FillValidSettings();
    Type(IDC_EDIT_MAX_POWER, "0x0064");
    Click(IDC_CHECK_SELF_POWERED);
    Click(IDC_CHECK_VBUS_SENSE);  // off again
    // The product string left to the chip's default: emptied, box checked
    // (a text in the edit would still be written).
    Type(IDC_EDIT_PRODUCT, "");
    Click(IDC_CHECK_PRODUCT_STRING_USE_DEFAULT);
    Type(IDC_EDIT_BAUD_RATE, "57600");
    Choose(IDC_COMBO_CHAR_FORMAT, "2");
    Choose(IDC_COMBO_PARITY, "Even");
    Choose(IDC_COMBO_DATA_BITS, "7");
    Choose(IDC_COMBO_CORE_CLOCK, "12 MHz");
  }
  // Runs the dialog modally; `action` runs once its loop runs. A dialog
  // still open after timeoutMs is ended with -1.
  int RunModal(std::function<void()> action, int timeoutMs = 10000) {
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, dlg.get(), [this] {
      if (QWidget* w = QApplication::activeModalWidget(); w && w != dlg.get()) w->close();
      dlg->EndDialog(-1);
    });
    guard.start(timeoutMs);
    QTimer::singleShot(0, dlg.get(), std::move(action));
    return dlg->DoModal();
  }
};

TEST_F(Commands, ProgramAnsweredYesBurnsTheChipAndShowsWhatItHolds) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  const std::string typed = Screen();
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  EXPECT_EQ(boxes.boxes,
            (std::vector<MessageBoxRecord>{kConfirm, Box("OTP successful..", "Success", 0x00)}));
  EXPECT_TRUE(StatusVisible());
  EXPECT_EQ(Text(IDC_STATIC_STATUS), "OTP STATUS: Successfully programmed.");
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Programmed");
  ExpectState(State::Programmed);
  // The chip read back into the fields: what was typed.
  EXPECT_EQ(Screen(), typed);
  // The file was saved in the working directory and the chip is locked.
  EXPECT_TRUE(ConfigFileWritten());
  EXPECT_EQ(dlg->m_files.m_strXmlFile, kXmlFileName);
  EXPECT_GT(OtpWrites(chip), 0u);
  EXPECT_EQ(dlg->m_device.IsOTPProgrammed(), 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is gone
  // Chosen again, the chip is shown as programmed, with the same settings.
  boxes.boxes.clear();
  ChoosePort("COM5");
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{
                             Box("OTP is already programmed on this chip.", "OTP programmed.", 0x40)}));
  EXPECT_EQ(Screen(), typed);
  EXPECT_FALSE(StatusVisible());
}

TEST_F(Commands, ProgramAnsweredNoWritesNothingAndBurnsNothing) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  Type(IDC_EDIT_VENDOR_ID, "0x0403");
  chip.ResetCounters();
  boxes.boxes.clear();
  boxes.answers = {IDNO};
  Click(IDC_BUTTON_PROGRAM);
  EXPECT_EQ(boxes.boxes, std::vector<MessageBoxRecord>{kConfirm});
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_EQ(Image(chip), Image(EmulatedChip()));
  EXPECT_FALSE(ConfigFileWritten());
  ExpectState(State::Editing);
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
  EXPECT_FALSE(StatusVisible());
  // The controls were taken into the settings all the same.
  EXPECT_EQ(dlg->m_settings.m_strVendorId, "0x0403");
}

TEST_F(Commands, ProgramStopsWhenTheConfigurationFileCannotBeSaved) {
  EmulatedChip& chip = AddChip("COM5");
  // A folder where the file should go: no rename can replace it, not even
  // for root.
  ASSERT_TRUE(std::filesystem::create_directory(workDir + "/" + kXmlFileName));
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  chip.ResetCounters();
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0], kConfirm);
  const MessageBoxRecord& error = boxes.boxes[1];
  EXPECT_EQ(error.caption, "Error");
  EXPECT_EQ(error.style, 0x10u);
  EXPECT_EQ(error.text.rfind("The configuration file QT70L5530_OTP.xml could not be saved: ", 0), 0u)
      << error.text;
  EXPECT_TRUE(error.text.ends_with("\nThe chip was not programmed.")) << error.text;
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_EQ(Image(chip), Image(EmulatedChip()));
  EXPECT_TRUE(std::filesystem::is_directory(workDir + "/" + kXmlFileName));
  EXPECT_TRUE(dlg->m_files.m_strXmlFile.empty());
  ExpectState(State::Editing);
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Commands, ProgramStopsAfterAFailedTransfer) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  Type(IDC_EDIT_BAUD_RATE, "abc");
  chip.ResetCounters();
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  // The framework's own message, and no confirmation: nothing stale is
  // validated or programmed.
  EXPECT_EQ(boxes.boxes,
            (std::vector<MessageBoxRecord>{Box("Enter a positive integer.", AppName(), 0x30)}));
  EXPECT_EQ(Focus(), IDC_EDIT_BAUD_RATE);
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "abc");
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_FALSE(ConfigFileWritten());
  ExpectState(State::Editing);
}

TEST_F(Commands, ProgramWithBitsThatDoNotTakeEndsProgrammedWithTheChipReadBack) {
  // Bit 1 of the Vendor ID's low byte takes in neither bank.
  EmulatedChip& chip = AddChip("COM5", {"stuck=0x00C.1", "stuck2=0x00C.1"});
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].caption, "Error");
  EXPECT_EQ(boxes.boxes[1].style, 0x10u);
  EXPECT_EQ(boxes.boxes[1].text.rfind("ERROR: Some bits were not programmed correctly.\n", 0), 0u)
      << boxes.boxes[1].text;
  EXPECT_TRUE(StatusVisible());
  EXPECT_EQ(Text(IDC_STATIC_STATUS), "OTP ERROR: Some bits were not programmed correctly.");
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Programmed");
  ExpectState(State::Programmed);
  // The fields show what the chip holds: the Vendor ID without that bit.
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x2f48");
  EXPECT_EQ(Text(IDC_EDIT_DEVICE_ID), "0x5530");
  EXPECT_EQ(chip.Otp(0x00C), 0x48);
}

TEST_F(Commands, RefreshOnAChipThatStoppedAnsweringLocksTheDialog) {
  for (bool programmed : {false, true}) {
    SCOPED_TRACE(programmed ? "programmed chip" : "blank chip");
    dlg.reset();
    EmulatedChip& chip = programmed ? AddProgrammedChip("COM5") : AddChip("COM5");
    Start();
    ChoosePort("COM5");
    // From now on every request is rejected, as after a pulled cable whose
    // removal has not been reported.
    std::string error;
    ASSERT_TRUE(chip.AddFault("unplug-after=" + std::to_string(chip.TotalRequests()), &error));
    boxes.boxes.clear();
    Click(IDC_BUTTON_REFRESH);
    // The rejected register requests of the lock-bit check are told as
    // they fail, then the readback's failure.
    ASSERT_FALSE(boxes.boxes.empty());
    EXPECT_EQ(boxes.boxes.back(), Box("This device does not support OTP or the device is "
                                      "disconnected. Please check.",
                                      "Error", 0x10));
    for (size_t i = 0; i + 1 < boxes.boxes.size(); ++i)
      EXPECT_EQ(boxes.boxes[i], Box("Error in Writing to USB_UART Reg!", "Error", 0x10)) << i;
    EXPECT_FALSE(dlg->m_link.IsOpen());
    EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "");
    EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
    // Nothing is left usable on a port that is closed.
    ExpectState(State::Locked);
  }
}

TEST_F(Commands, ProgramWhoseChipStopsAnsweringBeforeTheReadbackEndsLocked) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  // The cable is pulled while the success box is open, and no removal is
  // reported: the readback after the run finds no chip.
  boxes.whileOpen = [&](const MessageBoxRecord& box) {
    std::string error;
    if (box.text == "OTP successful..") {
      EXPECT_TRUE(chip.AddFault("unplug-after=" + std::to_string(chip.TotalRequests()), &error));
    }
  };
  boxes.boxes.clear();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_GE(boxes.boxes.size(), 3u);
  EXPECT_EQ(boxes.boxes[1].text, "OTP successful..");
  EXPECT_EQ(boxes.boxes.back().text,
            "This device does not support OTP or the device is disconnected. Please check.");
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "");
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Programmed");
  ExpectState(State::Locked);
}

TEST_F(Commands, RefreshOnABlankChipSaysSoAndChangesNothing) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  const std::string before = Screen();
  boxes.boxes.clear();
  Click(IDC_BUTTON_REFRESH);
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{
                             Box("The OTP is not programmed and is blank.", "OTP Blank.", 0x30)}));
  EXPECT_EQ(Screen(), before);
  ExpectState(State::Editing);
  EXPECT_EQ(Image(*chips["COM5"]), Image(EmulatedChip()));
}

TEST_F(Commands, RefreshOnAProgrammedChipReadsItBack) {
  EmulatedChip& chip = AddProgrammedChip("COM7");
  Start();
  ChoosePort("COM7");
  const std::string shown = Screen();
  // A Use Kelm Defaults click still switches its edit; Refresh shows the
  // chip again and freezes every string edit.
  Click(IDC_CHECK_MFG_STRING_USE_DEFAULT);
  ASSERT_NE(Screen(), shown);
  chip.ResetCounters();
  boxes.boxes.clear();
  Click(IDC_BUTTON_REFRESH);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_GT(chip.RequestCount(IOCTL_QTUSB_READ_OTP), 0u);
  EXPECT_EQ(OtpWrites(chip), 0u);
  EXPECT_EQ(Screen(), shown);
  ExpectState(State::Programmed);
  for (int id : {IDC_EDIT_MANUFACTURER, IDC_EDIT_PRODUCT, IDC_EDIT_SERIAL_NUMBER})
    EXPECT_TRUE(ReadOnly(id)) << id;
}

TEST_F(Commands, LoadingTheFileThatProgramSavedRestoresTheSettings) {
  AddChip("COM5");
  EmulatedChip& second = AddChip("COM6");
  Start();
  ChoosePort("COM5");
  FillOtherSettings();
  const std::string typed = Screen();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_TRUE(ConfigFileWritten());

  // A second blank chip, then the saved file.
  ChoosePort("COM6");
  ASSERT_NE(Screen(), typed);
  const std::string saved = workDir + "/" + kXmlFileName;
  boxes.boxes.clear();
  fileDialogs.results = {saved};
  Click(IDC_BUTTON_LOAD_XMLFILE);
  EXPECT_TRUE(boxes.boxes.empty());
  ASSERT_EQ(fileDialogs.requests.size(), 1u);
  const FileOpenRequest& request = fileDialogs.requests[0];
  EXPECT_EQ(request.title, "Open QT70L5530IL16 Config .xml File XML File");
  EXPECT_EQ(request.filterDescription, "XML Files (*.xml)");
  EXPECT_EQ(request.filterPattern, "*.xml");
  EXPECT_EQ(request.initialDir, std::filesystem::path(GetModuleFileName()).parent_path().string());
  // The settings come back as typed; the product string that was left to
  // the chip's default is empty, its box checked and its edit read-only.
  EXPECT_EQ(Screen(), typed);
  EXPECT_TRUE(Checked(IDC_CHECK_PRODUCT_STRING_USE_DEFAULT));
  EXPECT_TRUE(ReadOnly(IDC_EDIT_PRODUCT));
  EXPECT_FALSE(ReadOnly(IDC_EDIT_MANUFACTURER));
  ExpectState(State::Editing);
  // Loading touches neither the chip nor the file the run reads.
  EXPECT_EQ(Image(second), Image(EmulatedChip()));
  EXPECT_EQ(dlg->m_files.m_strXmlFile, kXmlFileName);
}

TEST_F(Commands, LoadingABadFileIsReportedAndChangesNoSetting) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillOtherSettings();
  const std::string before = Screen();
  const CSettings members = dlg->m_settings;
  const std::string bad = scratch.Path() + "/bad.xml";
  WriteFile(bad, "<Data><Config Version=\"1.0\"><GPIO_MODE>0x0f</GPIO_MODE><PRODUCT_STRING>");
  const std::string missing = scratch.Path() + "/missing.xml";
  for (const std::string& path : {bad, missing}) {
    SCOPED_TRACE(path);
    boxes.boxes.clear();
    fileDialogs.results = {path};
    Click(IDC_BUTTON_LOAD_XMLFILE);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "Error");
    EXPECT_EQ(boxes.boxes[0].style, 0x10u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Cannot load the configuration file " + path + ": ", 0), 0u)
        << boxes.boxes[0].text;
    EXPECT_EQ(Screen(), before);
    EXPECT_EQ(dlg->m_settings.m_strManufacturer, members.m_strManufacturer);
    ExpectState(State::Editing);
  }
  // Cancelling the file dialog changes nothing and shows nothing; an empty
  // path is told, and the controls then show the members.
  boxes.boxes.clear();
  fileDialogs.results = {std::nullopt, std::string()};
  Click(IDC_BUTTON_LOAD_XMLFILE);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(Screen(), before);
  ASSERT_TRUE(dlg->UpdateData(true));
  Click(IDC_BUTTON_LOAD_XMLFILE);
  EXPECT_EQ(boxes.boxes, (std::vector<MessageBoxRecord>{
                             Box("You must first specify an XML file to read", "", 0x00)}));
  EXPECT_EQ(Screen(), before);
  EXPECT_EQ(Image(*chips["COM5"]), Image(EmulatedChip()));
}

TEST_F(Commands, EnterEndsTheDialogAfterASuccessfulTransferAndEscapeWithout) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  chip.ResetCounters();
  // Enter with a transfer that fails: the framework's message, the dialog
  // stays open; Escape then ends it without a transfer.
  bool openAfterEnter = false;
  int result = RunModal([&] {
    Type(IDC_EDIT_BAUD_RATE, "abc");
    Type(IDC_EDIT_VENDOR_ID, "0x9999");
    QTest::keyClick(dlg->GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_Return);
    openAfterEnter = dlg->isVisible();
    QTest::keyClick(dlg->GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_Escape);
  });
  EXPECT_TRUE(openAfterEnter);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(boxes.Texts().back(), "Enter a positive integer.");
  EXPECT_EQ(dlg->m_settings.m_strVendorId, "0x9999");  // taken before the baud rate failed
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_FALSE(ConfigFileWritten());
}

TEST_F(Commands, EnterInAnEditEndsTheDialogWithItsSettings) {
  EmulatedChip& chip = AddChip("COM5");
  Start();
  ChoosePort("COM5");
  FillValidSettings();
  chip.ResetCounters();
  boxes.boxes.clear();
  const int result = RunModal([&] {
    Type(IDC_EDIT_DEVICE_ID, "0x7777");
    QTest::keyClick(dlg->GetEdit(IDC_EDIT_DEVICE_ID), Qt::Key_Return);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(dlg->m_settings.m_strDeviceId, "0x7777");
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(chip.TotalRequests(), 0u);
  EXPECT_FALSE(ConfigFileWritten());
}

TEST_F(Commands, EscapeAndExitEndTheDialogWithoutATransfer) {
  AddChip("COM5");
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "Escape" : "Exit");
    dlg.reset();
    Start();
    ChoosePort("COM5");
    const int result = RunModal([&] {
      Type(IDC_EDIT_VENDOR_ID, "0x9999");
      if (way == 0) QTest::keyClick(dlg->GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_Escape);
      else Click(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg->m_settings.m_strVendorId, "");
    EXPECT_EQ(Image(*chips["COM5"]), Image(EmulatedChip()));
  }
}

// The About box that is open now, checked and closed by `close`.
void CheckAndCloseAbout(bool* seen, const std::function<void(CDialog&)>& close) {
  auto* about = qobject_cast<CDialog*>(QApplication::activeModalWidget());
  ASSERT_NE(about, nullptr);
  ASSERT_NE(qobject_cast<CAboutDlg*>(about), nullptr);
  EXPECT_EQ(about->TemplateId(), IDD_ABOUTBOX);
  EXPECT_EQ(about->windowTitle().toStdString(), "About QT70L5530 OTP");
  bool versionShown = false;
  for (const auto& c : about->Controls())
    if (auto* label = qobject_cast<QLabel*>(c.widget))
      versionShown |= label->text() == "Kelm QT70L5530 OTP Tool, Version 1.1.0.3";
  EXPECT_TRUE(versionShown);
  *seen = true;
  close(*about);
}

TEST_F(Commands, AboutBoxOpensFromF1AndFromTheSystemMenu) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  const std::string before = Screen();
  // A failsafe: whatever stays open is closed, so the test cannot hang.
  QTimer failsafe;
  QObject::connect(&failsafe, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activePopupWidget()) w->close();
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  failsafe.start(5000);

  // F1 in an edit, closed with its OK button.
  bool seen = false;
  QTimer::singleShot(0, [&] {
    CheckAndCloseAbout(&seen, [](CDialog& about) {
      QTest::mouseClick(about.GetButton(IDOK), Qt::LeftButton);
    });
  });
  QTest::keyClick(dlg->GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_F1);
  EXPECT_TRUE(seen);

  // The context menu's About item, closed with Escape.
  seen = false;
  bool menuSeen = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    const auto actions = menu->actions();
    ASSERT_FALSE(actions.isEmpty());
    QAction* about = actions.back();
    EXPECT_EQ(about->text(), "&About QT70L5530OTP...");
    menuSeen = true;
    QTimer::singleShot(0, [&] {
      CheckAndCloseAbout(&seen, [](CDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    });
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(about).center());
  });
  const QPoint at(20, 20);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, dlg->mapToGlobal(at));
  QApplication::sendEvent(dlg.get(), &event);
  EXPECT_TRUE(menuSeen);
  EXPECT_TRUE(seen);

  // The main dialog goes on as it was.
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(Screen(), before);
  ExpectState(State::Editing);
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
}  // namespace qt70::test
