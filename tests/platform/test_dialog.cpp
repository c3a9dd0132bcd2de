// The dialog at run time: message boxes (scripted and shown), the keys that
// end it, the sorted port list, device notifications (also inside a modal
// box), the system menu stand-in, the screenshot, the wait cursor and the
// file dialog.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "platform_test.h"

namespace qt70::test {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
};

std::vector<std::string> Entries(const CComboBox* combo) {
  std::vector<std::string> out;
  for (int i = 0; i < combo->count(); ++i) out.push_back(combo->itemText(i).toStdString());
  return out;
}

// The message box that is open now, if any.
QMessageBox* OpenBox() { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }

TEST_F(DialogTest, ScriptedBoxesAreRecordedAndAnswered) {
  ScriptedMessageBoxes boxes;
  boxes.answers = {IDNO};
  EXPECT_EQ(ShowMessageBox(nullptr, "This is only one time programmable.  Do you wish to proceed?",
                           "Confirm...", MB_YESNO | MB_ICONQUESTION),
            IDNO);
  EXPECT_EQ(ShowMessageBox(nullptr, "Again?", "Confirm...", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(AfxMessageBox("Can't register device notification: x", MB_ICONEXCLAMATION), IDOK);
  const std::vector<MessageBoxRecord> want{
      {"This is only one time programmable.  Do you wish to proceed?", "Confirm...", 0x24},
      {"Again?", "Confirm...", 0x24},
      {"Can't register device notification: x", "qt70otp-gui", 0x30}};
  EXPECT_EQ(boxes.boxes, want);
  {
    // Scripts nest; the inner one is taken off at its end.
    ScriptedMessageBoxes inner;
    ShowMessageBox(nullptr, "inner", "", MB_OK);
    EXPECT_EQ(inner.boxes.size(), 1u);
  }
  ShowMessageBox(nullptr, "outer", "", MB_OK);
  EXPECT_EQ(boxes.boxes.size(), 4u);
  EXPECT_EQ(boxes.boxes.back().caption, "");
}

TEST_F(DialogTest, ShownBoxesReturnThePressedButton) {
  struct Case {
    unsigned style;
    QMessageBox::StandardButton press;
    int answer;
  };
  const Case cases[] = {{MB_OK | MB_ICONERROR, QMessageBox::Ok, IDOK},
                        {MB_YESNO | MB_ICONQUESTION, QMessageBox::Yes, IDYES},
                        {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, IDNO},
                        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL}};
  for (const auto& c : cases) {
    std::string seenText, seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
      QMessageBox* box = OpenBox();
      ASSERT_NE(box, nullptr);
      seenText = box->text().toStdString();
      seenTitle = box->windowTitle().toStdString();
      seenIcon = box->icon();
      box->button(c.press)->click();
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "The port is not free. \nPlease retry.", "Error : COM Port", c.style),
              c.answer);
    EXPECT_EQ(seenText, "The port is not free. \nPlease retry.");
    EXPECT_EQ(seenTitle, "Error : COM Port");
    if (c.style & MB_ICONERROR) {
      EXPECT_EQ(seenIcon, QMessageBox::Critical);
    }
  }
}

TEST_F(DialogTest, EnterEndsWithIdokAfterASuccessfulTransfer) {
  MainTemplateDialog dlg;
  const int result = RunModal(dlg, [&] {
    dlg.GetEdit(IDC_EDIT_VENDOR_ID)->setText("0x0403");
    dlg.SetFocus(IDC_EDIT_VENDOR_ID);
    QTest::keyClick(dlg.GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_Return);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dlg.m_strVendorId, "0x0403");
  EXPECT_FALSE(dlg.isVisible());
}

TEST_F(DialogTest, EnterFromAnyControlButAPushButtonSendsIdok) {
  for (int id : {IDC_COMBO_COM_NUMBER, IDC_COMBO_PARITY, IDC_CHECK_SELF_POWERED, IDC_EDIT_BAUD_RATE}) {
    SCOPED_TRACE(id);
    MainTemplateDialog dlg;
    const int result = RunModal(dlg, [&] {
      dlg.SetFocus(id);
      QWidget* target = dlg.focusWidget();  // the edit inside an editable list
      ASSERT_NE(target, nullptr);
      EXPECT_EQ(dlg.GetDlgCtrlID(target), id);
      QTest::keyClick(target, Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dlg.log, std::vector<std::string>{"command 1/0"});
  }
}

TEST_F(DialogTest, EnterWithAFailingTransferKeepsTheDialogOpen) {
  MainTemplateDialog dlg;
  ScriptedMessageBoxes boxes;
  bool openAfterEnter = false;
  const int result = RunModal(dlg, [&] {
    dlg.GetEdit(IDC_EDIT_BAUD_RATE)->setText("");
    QTest::keyClick(dlg.GetEdit(IDC_EDIT_MANUFACTURER), Qt::Key_Enter, Qt::KeypadModifier);
    openAfterEnter = dlg.isVisible();
    QTest::keyClick(&dlg, Qt::Key_Escape);
  });
  EXPECT_TRUE(openAfterEnter);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Enter a positive integer."});
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, EnterOnAPushButtonClicksIt) {
  MainTemplateDialog dlg;
  bool open = false;
  const int result = RunModal(dlg, [&] {
    dlg.SetFocus(IDC_BUTTON_LOAD_DEFAULTS);
    QTest::keyClick(dlg.GetButton(IDC_BUTTON_LOAD_DEFAULTS), Qt::Key_Return);
    open = dlg.isVisible();
    dlg.GetButton(IDCANCEL)->click();  // Exit
  });
  EXPECT_TRUE(open);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"command 1033/0", "command 2/0"}));
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DialogTest, EscapeAndTheCloseBoxCancelWithoutATransfer) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    MainTemplateDialog dlg;
    const int result = RunModal(dlg, [&] {
      dlg.GetEdit(IDC_EDIT_VENDOR_ID)->setText("0x0403");
      if (way == 0) QTest::keyClick(dlg.GetEdit(IDC_EDIT_VENDOR_ID), Qt::Key_Escape);
      if (way == 1) dlg.close();
      if (way == 2) dlg.SendSysCommand(SC_CLOSE);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dlg.m_strVendorId, "");
    const std::vector<std::string> escape{"command 2/0"};
    const std::vector<std::string> closeBox{"syscommand 61536", "command 2/0"};
    EXPECT_EQ(dlg.log, way == 0 ? escape : closeBox);
  }
}

TEST_F(DialogTest, AboutBoxEndsWithOkOnEnter) {
  CDialog about(IDD_ABOUTBOX);
  EXPECT_EQ(RunModal(about, [&] { QTest::keyClick(&about, Qt::Key_Return); }), IDOK);
  CDialog again(IDD_ABOUTBOX);
  EXPECT_EQ(RunModal(again, [&] { QTest::keyClick(&again, Qt::Key_Escape); }), IDCANCEL);
}

TEST_F(DialogTest, EndDialogDuringInitReturnsAtOnce) {
  class Quick : public CDialog {
   public:
    Quick() : CDialog(IDD_ABOUTBOX) {}
    bool OnInitDialog() override {
      CDialog::OnInitDialog();
      EndDialog(7);
      return true;
    }
  };
  Quick q;
  EXPECT_EQ(q.DoModal(), 7);
}

TEST_F(DialogTest, PortListSortsLikeTheSortedListBox) {
  MainTemplateDialog dlg;
  dlg.Create();
  CComboBox* ports = dlg.GetComboBox(IDC_COMBO_COM_NUMBER);
  EXPECT_EQ(ports->AddString("COM2"), 0);
  EXPECT_EQ(ports->AddString("COM10"), 0);
  EXPECT_EQ(ports->AddString("com3"), 2);
  EXPECT_EQ(ports->AddString("COM1"), 0);
  EXPECT_EQ(ports->AddString("qt70chip-a"), 4);
  EXPECT_EQ(ports->AddString("Com1"), 1);  // equal names keep their arrival order
  EXPECT_EQ(Entries(ports), (std::vector<std::string>{"COM1", "Com1", "COM10", "COM2", "com3", "qt70chip-a"}));
  // Adding never selects; deleting the selected entry clears the selection.
  EXPECT_EQ(ports->GetCurSel(), -1);
  ports->SetCurSel(3);
  EXPECT_EQ(ports->DeleteString(3), 5);
  EXPECT_EQ(ports->GetCurSel(), -1);
  EXPECT_EQ(ports->DeleteString(9), -1);
  for (int i = ports->GetCount() - 1; i >= 0; --i) ports->DeleteString(i);
  EXPECT_EQ(ports->GetCount(), 0);
  ports->AddString("COM4");
  EXPECT_EQ(ports->GetCurSel(), -1);
  EXPECT_EQ(ports->SetCurSel(5), -1);
  // Only the operator's choice is a selection change.
  ports->SetCurSel(0);
  EXPECT_TRUE(dlg.log.empty());
  emit ports->activated(0);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"command 1000/1"});
  // The other lists are not sorted.
  EXPECT_FALSE(dlg.GetComboBox(IDC_COMBO_PARITY)->IsSorted());
}

TEST_F(DialogTest, NotificationsFromAnotherThreadArriveOnTheWindowThread) {
  MainTemplateDialog dlg;
  dlg.Create();
  const auto windowThread = std::this_thread::get_id();
  std::thread::id handledOn;
  dlg.onDevice = [&] { handledOn = std::this_thread::get_id(); };
  DeviceChangeSink post = dlg.DeviceChangePoster();
  std::thread monitor([&] { post(0x8004, 3, "COM7"); });
  monitor.join();
  EXPECT_TRUE(dlg.log.empty());  // queued, not run on the monitor thread
  QCoreApplication::processEvents();
  EXPECT_EQ(dlg.log, std::vector<std::string>{"device 32772 3 COM7"});
  EXPECT_EQ(handledOn, windowThread);
}

TEST_F(DialogTest, NotificationsArriveWhileAModalBoxIsOpen) {
  MainTemplateDialog dlg;
  dlg.Create();
  DeviceChangeSink post = dlg.DeviceChangePoster();
  bool boxWasOpen = false;
  dlg.onDevice = [&] {
    boxWasOpen = OpenBox() != nullptr;
    if (QMessageBox* box = OpenBox()) box->button(QMessageBox::Ok)->click();
  };
  // The box opens; a monitor thread then reports the removal of the port.
  QTimer::singleShot(0, [&] { std::thread([post] { post(0x8004, 3, "COM5"); }).join(); });
  QTimer failsafe;
  QObject::connect(&failsafe, &QTimer::timeout, [] { if (QMessageBox* b = OpenBox()) b->close(); });
  failsafe.start(5000);
  const int answer = dlg.MessageBox("Reading the chip failed.", "Error", MB_ICONERROR);
  EXPECT_EQ(answer, IDOK);
  EXPECT_TRUE(boxWasOpen);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"device 32772 3 COM5"});
}

TEST_F(DialogTest, ScriptedBoxesCanRunTheNestedLoop) {
  MainTemplateDialog dlg;
  dlg.Create();
  ScriptedMessageBoxes boxes;
  boxes.runEvents = true;
  dlg.DeviceChangePoster()(0x8000, 3, "COM9");
  EXPECT_TRUE(dlg.log.empty());
  dlg.MessageBox("box", "Error", MB_ICONERROR);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"device 32768 3 COM9"});
}

TEST_F(DialogTest, NotificationsForAGoneDialogAreDropped) {
  DeviceChangeSink post;
  {
    MainTemplateDialog dlg;
    dlg.Create();
    post = dlg.DeviceChangePoster();
    post(0x8000, 3, "COM1");
  }
  QCoreApplication::processEvents();  // no crash: the dialog is gone
  post(0x8000, 3, "COM2");
  QCoreApplication::processEvents();
  SUCCEED();
}

TEST_F(DialogTest, SystemMenuItemsReachOnSysCommand) {
  MainTemplateDialog dlg;
  dlg.Create();
  // Without the About item F1 does nothing.
  QTest::keyClick(&dlg, Qt::Key_F1);
  EXPECT_TRUE(dlg.log.empty());
  CSystemMenu* menu = dlg.GetSystemMenu(false);
  ASSERT_NE(menu, nullptr);
  menu->AppendMenu(MF_SEPARATOR);
  menu->AppendMenu(MF_STRING, IDM_ABOUTBOX, LoadString(IDS_ABOUTBOX));
  std::unique_ptr<QMenu> shown(dlg.CreateSystemMenu(nullptr));
  const auto actions = shown->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(actions[0]->data().toUInt(), SC_CLOSE);
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->text(), "&About QT70L5530OTP...");
  EXPECT_EQ(actions[2]->data().toUInt(), 16u);
  QTest::keyClick(&dlg, Qt::Key_F1);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"syscommand 16"});
  EXPECT_EQ(dlg.GetSystemMenu(true), nullptr);
  EXPECT_FALSE(dlg.GetSystemMenu(false)->HasItem(IDM_ABOUTBOX));
}

TEST_F(DialogTest, ContextMenuOffersTheSystemMenu) {
  MainTemplateDialog dlg;
  dlg.Create();
  dlg.GetSystemMenu(false)->AppendMenu(MF_SEPARATOR);
  dlg.GetSystemMenu(false)->AppendMenu(MF_STRING, IDM_ABOUTBOX, LoadString(IDS_ABOUTBOX));
  dlg.show();
  QTimer::singleShot(0, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
      if (a->text() == "&About QT70L5530OTP...") menu->setActiveAction(a);
    QTest::keyClick(menu, Qt::Key_Return);
  });
  QTimer failsafe;
  QObject::connect(&failsafe, &QTimer::timeout, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
  failsafe.start(5000);
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), dlg.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&dlg, &event);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"syscommand 16"});
  dlg.hide();
}

TEST_F(DialogTest, TheFileDialogShowsTitleFilterAndFolder) {
  QTemporaryDir dir;
  QFile file(dir.path() + "/settings.xml");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  std::string title, filters, folder;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle().toStdString();
    filters = dialog->nameFilters().join("|").toStdString();
    folder = dialog->directory().absolutePath().toStdString();
    dialog->selectFile(dir.path() + "/settings.xml");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  QTimer failsafe;
  QObject::connect(&failsafe, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  failsafe.start(5000);
  CFileDialog open;
  open.m_request = {"Open QT70L5530IL16 Config .xml File XML File", "XML Files (*.xml)", "*.xml",
                    dir.path().toStdString()};
  EXPECT_EQ(open.DoModal(), IDOK);
  EXPECT_EQ(title, "Open QT70L5530IL16 Config .xml File XML File");
  EXPECT_EQ(filters, "XML Files (*.xml)");
  EXPECT_EQ(folder, QDir(dir.path()).absolutePath().toStdString());
  EXPECT_EQ(open.GetPathName(), (dir.path() + "/settings.xml").toStdString());
}

TEST_F(DialogTest, StartupScreenshot) {
  QTemporaryDir dir;
  const std::string path = (dir.path() + "/main.png").toStdString();
  MainTemplateDialog dlg;
  dlg.SetStartupScreenshot(path);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  std::string error;
  EXPECT_TRUE(dlg.StartupScreenshotSaved(&error)) << error;
  const QImage image(QString::fromStdString(path));
  EXPECT_EQ(image.size(), dlg.size() * dlg.devicePixelRatio());
  // A folder that does not exist is reported.
  EXPECT_FALSE(dlg.SaveScreenshot(dir.path().toStdString() + "/no/such/dir.png", &error));
  EXPECT_NE(error.find("no/such/dir.png"), std::string::npos);
}

TEST_F(DialogTest, WaitCursorNests) {
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  {
    CWaitCursor outer;
    BeginWaitCursor();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(WaitCursorDepth(), 2);
    EndWaitCursor();
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EndWaitCursor();  // one too many does nothing
  EXPECT_EQ(WaitCursorDepth(), 0);
}

TEST_F(DialogTest, FileDialogScript) {
  ScriptedFileDialogs files;
  files.results = {std::string("/tmp/a.xml"), std::nullopt};
  CFileDialog open;
  open.m_request = {"Open QT70L5530IL16 Config .xml File XML File", "XML Files (*.xml)", "*.xml", "/opt/qt70"};
  EXPECT_EQ(open.DoModal(), IDOK);
  EXPECT_EQ(open.GetPathName(), "/tmp/a.xml");
  EXPECT_EQ(open.DoModal(), IDCANCEL);
  EXPECT_EQ(open.GetPathName(), "");
  ASSERT_EQ(files.requests.size(), 2u);
  EXPECT_EQ(files.requests[0], open.m_request);
  EXPECT_FALSE(GetModuleFileName().empty());
}

}  // namespace
}  // namespace qt70::test
