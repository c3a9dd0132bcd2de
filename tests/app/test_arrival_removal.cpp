// Ports that come and go while the dialog is open, with chips served by
// real qt70chip processes in the dialog's ports folder: the arrival of
// another port, a port held by another program, and the removal of the
// chosen one. Events arrive through the ports folder's monitor; every wait
// is bounded.
#include "app_rig.h"
#include "device/chip_server.h"
#include "device/port_open.h"

namespace qt70::test {
namespace {

constexpr int kEventWaitMs = 5000;

class ArrivalRemoval : public DialogRig {
 protected:
  void TearDown() override {
    DialogRig::TearDown();
    first.Stop();
    second.Stop();
  }
  bool Serve(ChipServer& server, const std::string& port) {
    const bool ok = server.Start(portsDir, port, scratch.Path() + "/" + port + ".otp");
    EXPECT_TRUE(ok) << server.output;
    return ok;
  }
  ChipServer first, second;
};

TEST_F(ArrivalRemoval, AnotherPortOnlyRebuildsTheListAndTheChosenOnesRemovalResetsTheDialog) {
  ASSERT_TRUE(Serve(first, "COM3"));
  useRealPorts = true;
  Start();
  ASSERT_TRUE(Listed("COM3"));
  ASSERT_FALSE(Listed("COM4"));
  ChoosePort("COM3");
  ExpectState(State::Editing);
  // A programming run over the socket, so that the status line shows.
  FillValidSettings();
  Click(IDC_BUTTON_PROGRAM);
  ASSERT_EQ(boxes.Texts().back(), "OTP successful..");
  ASSERT_TRUE(StatusVisible());
  ExpectState(State::Programmed);
  boxes.boxes.clear();

  // Another chip arrives: the list is rebuilt, without a selection; the
  // chosen port stays open and the dialog as it was.
  ASSERT_TRUE(Serve(second, "COM4"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Listed("COM4"); }, kEventWaitMs));
  EXPECT_TRUE(Listed("COM3"));
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
  EXPECT_TRUE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "COM3");
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x2f4a");
  EXPECT_TRUE(StatusVisible());
  ExpectState(State::Programmed);

  // The chosen chip goes: the port is closed, every setting emptied, the
  // status line hidden, the controls locked, the list rebuilt without it.
  EXPECT_EQ(first.Stop(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Listed("COM3"); }, kEventWaitMs));
  EXPECT_TRUE(Listed("COM4"));
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "");
  for (int id : {IDC_EDIT_VENDOR_ID, IDC_EDIT_DEVICE_ID, IDC_EDIT_MANUFACTURER, IDC_EDIT_GPIO_SET})
    EXPECT_EQ(Text(id), "") << id;
  EXPECT_EQ(Text(IDC_EDIT_BAUD_RATE), "0");
  EXPECT_FALSE(Checked(IDC_CHECK_REMOTE_WAKEUP));
  EXPECT_FALSE(StatusVisible());
  ExpectState(State::Locked);
  EXPECT_TRUE(boxes.boxes.empty());

  // The chip that arrived can be chosen; while another program holds its
  // port, the choice is refused.
  {
    OpenResult held = OpenPort("COM4", portsDir);
    ASSERT_EQ(held.status, OpenStatus::Ok) << held.error;
    ChoosePort("COM4");
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"The port is not free. \nPlease close all other "
                                       "applications using this COM port and retry."});
    EXPECT_FALSE(dlg->m_link.IsOpen());
    ExpectState(State::Locked);
  }
  boxes.boxes.clear();
  // The other program lets go of the port asynchronously on the server's
  // side; try again until it is free, within a bound.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        boxes.boxes.clear();
        ChoosePort("COM4");
        return dlg->m_link.IsOpen();
      },
      kEventWaitMs));
  EXPECT_TRUE(boxes.boxes.empty());
  ExpectState(State::Editing);
  EXPECT_EQ(Text(IDC_BUTTON_PROGRAM), "Program");
}

}  // namespace
}  // namespace qt70::test

namespace qt70::test {
namespace {

using Notifications = DialogRig;

TEST_F(Notifications, OnlyArrivalAndRemovalOfAPortCount) {
  AddChip("COM5");
  Start();
  ChoosePort("COM5");
  Type(IDC_EDIT_VENDOR_ID, "0x1234");
  const struct {
    unsigned event, type;
  } ignored[] = {{DBT_DEVICEQUERYREMOVE, DBT_DEVTYP_PORT},
                 {DBT_DEVNODES_CHANGED, DBT_DEVTYP_PORT},
                 {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_DEVICEINTERFACE},
                 {DBT_DEVICEARRIVAL, DBT_DEVTYP_DEVICEINTERFACE}};
  for (auto [event, type] : ignored) {
    EXPECT_EQ(dlg->SendDeviceChange(event, type, "COM5"), 0);
    EXPECT_TRUE(dlg->m_link.IsOpen());
    EXPECT_NE(Selection(IDC_COMBO_COM_NUMBER), -1);
    EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "0x1234");
    ExpectState(State::Editing);
  }
  // An arrival under the chosen port's name drops the chip as a removal does.
  EXPECT_EQ(dlg->SendDeviceChange(DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, "COM5"), 0);
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(Text(IDC_EDIT_VENDOR_ID), "");
  ExpectState(State::Locked);
  EXPECT_TRUE(Listed("COM5"));
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Notifications, RemovalWhileABoxIsOpenLeavesTheDialogLocked) {
  AddProgrammedChip("COM7");
  Start();
  // The chip goes while the operator reads "already programmed"; the
  // readback that follows finds no port.
  boxes.whileOpen = [this](const MessageBoxRecord& box) {
    if (box.text == "OTP is already programmed on this chip.")
      dlg->SendDeviceChange(DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, "COM7");
  };
  ChoosePort("COM7");
  EXPECT_FALSE(dlg->m_link.IsOpen());
  EXPECT_EQ(dlg->m_settings.m_strComPort, "");
  for (int id : {IDC_EDIT_VENDOR_ID, IDC_EDIT_MANUFACTURER, IDC_EDIT_GPIO_SET})
    EXPECT_EQ(Text(id), "") << id;
  ExpectState(State::Locked);
  EXPECT_EQ(Selection(IDC_COMBO_COM_NUMBER), -1);
  // The readback says once that the port is gone.
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"OTP is already programmed on this chip.",
                                                     "The COM Port is not opened for r/w registers!"}));
}

}  // namespace
}  // namespace qt70::test
