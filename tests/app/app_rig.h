// The rig of the dialog tests: the application object, a temporary folder
// per test (ports folder and working directory), in-process emulated chips
// behind named ports, the main dialog on them, and the operator's gestures
// on its real widgets (clicks, typing, choosing list entries), with message
// boxes and file dialogs answered by a script. Every wait is bounded.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/OTPDlg.h"
#include "config/config_files.h"
#include "device/device_link.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "res/resource.h"
#include "support/recording_operator.h"

namespace qt70::test {

// The application object, created once for the test program and never
// destroyed, so that no widget outlives it at exit.
inline QApplication& App() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    auto* a = new QApplication(argc, argv);
    QCoreApplication::setApplicationName("QT70L5530 OTP");
    return a;
  }();
  return *app;
}

struct WithApp {
  WithApp() { App(); }
};

// A folder of its own for one test, removed with everything in it (write
// bits put back first, so that a test that locked a folder still cleans up).
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/qt70app.XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    m_path = made ? made : "";
  }
  ~ScratchDir() {
    if (m_path.empty()) return;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(m_path, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Programs a chip from a configuration file the way the command line
// wires the engine, outside any dialog: the fixture of a programmed chip.
struct ChipProgrammer {
  RecordingOperator ui;
  CDeviceLink link{ui};
  COtpEngine engine{link, ui, files};
  CConfigFiles files{engine, ui};
};

inline bool ProgramChipFromFile(EmulatedChip& chip, const std::string& file) {
  auto p = std::make_unique<ChipProgrammer>();
  p->link.Open(std::make_unique<EmulatedTransport>(chip));
  p->engine.reset_run_state();
  p->files.m_strXmlFile = file;
  p->engine.program_file();
  return p->engine.m_runResult == COtpEngine::RunResult::Success;
}

inline std::string ExampleFile() { return std::string(QT70_SOURCE_DIR) + "/examples/QT70L5530_OTP.xml"; }

// The whole OTP content of a chip, both banks.
inline std::vector<uint8_t> Image(const EmulatedChip& chip) {
  std::vector<uint8_t> image(kChipOtpSize);
  for (unsigned a = 0; a < kChipOtpSize; ++a) image[a] = chip.Otp(a);
  return image;
}

inline uint64_t OtpWrites(const EmulatedChip& chip) {
  return chip.RequestCount(IOCTL_QTUSB_WRITE_OTP);
}

// The three control states, as the operator sees them.
enum class State { Locked, Editing, Programmed };

// The main dialog on a ports folder of its own, with in-process chips
// behind the port names, boxes and file dialogs answered by a script.
class DialogRig : public WithApp, public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch.Path().empty());
    portsDir = scratch.Path() + "/ports";
    workDir = scratch.Path() + "/work";
    ASSERT_EQ(::mkdir(portsDir.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(workDir.c_str(), 0700), 0);
    // The writer saves into the current directory.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    oldCwd = cwd;
    ASSERT_EQ(::chdir(workDir.c_str()), 0);
  }
  void TearDown() override {
    // Close whatever a failed test left open before the dialog goes.
    for (int i = 0; i < 5; ++i) {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal == dlg.get()) break;
      modal->close();
    }
    dlg.reset();
    QCoreApplication::processEvents();
    if (!oldCwd.empty()) (void)::chdir(oldCwd.c_str());
  }

  // A port entry in the ports folder (an unbound-to-server socket file), so
  // that the listing shows it; the chip behind it is in-process.
  void AddPortEntry(const std::string& name) {
    const std::string path = portsDir + "/" + name;
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
    ::close(fd);
  }
  EmulatedChip& AddChip(const std::string& name, const std::vector<std::string>& faults = {}) {
    auto chip = std::make_unique<EmulatedChip>();
    for (const std::string& f : faults) {
      std::string error;
      EXPECT_TRUE(chip->AddFault(f, &error)) << error;
    }
    EmulatedChip& ref = *chip;
    chips[name] = std::move(chip);
    AddPortEntry(name);
    return ref;
  }
  EmulatedChip& AddProgrammedChip(const std::string& name) {
    EmulatedChip& chip = AddChip(name);
    EXPECT_TRUE(ProgramChipFromFile(chip, ExampleFile()));
    chip.ResetCounters();
    return chip;
  }
  // A port that another application holds.
  void AddBusyPort(const std::string& name) {
    busy.push_back(name);
    AddPortEntry(name);
  }

  // Builds and starts the dialog (OnInitDialog, no modal loop), shown and
  // active so that focus and visibility are as the operator has them.
  CTandoOTPDlg& Start() {
    dlg = std::make_unique<CTandoOTPDlg>(nullptr, portsDir);
    if (!useRealPorts) dlg->m_device.SetPortOpener([this](const std::string& name) {
      OpenResult result;
      for (const std::string& b : busy) {
        if (b != name) continue;
        result.status = OpenStatus::Busy;
        result.error = name + " is busy";
        return result;
      }
      auto it = chips.find(name);
      if (it == chips.end()) {
        result.status = OpenStatus::Missing;
        result.error = name + " is missing";
        return result;
      }
      result.transport = std::make_unique<EmulatedTransport>(*it->second);
      result.status = OpenStatus::Ok;
      return result;
    });
    dlg->Create();
    dlg->show();
    dlg->activateWindow();
    (void)QTest::qWaitForWindowActive(dlg.get(), 2000);
    return *dlg;
  }

  // --- the operator's gestures ---------------------------------------------

  // Opens a list's drop-down and clicks the entry, as the operator chooses
  // (the selection change reaches the dialog as CBN_SELCHANGE).
  void ChooseIndex(int id, int index) {
    CComboBox* combo = dlg->GetComboBox(id);
    ASSERT_TRUE(combo->isEnabled()) << "list " << id << " is disabled";
    ASSERT_GE(index, 0);
    ASSERT_LT(index, combo->count());
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->isVisible(); }, 2000));
    const QRect r = view->visualRect(view->model()->index(index, combo->modelColumn()));
    QTest::mouseMove(view->viewport(), r.center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isVisible(); }, 2000))
        << "the drop-down of list " << id << " stayed open";
  }
  void Choose(int id, const std::string& entry) {
    CComboBox* combo = dlg->GetComboBox(id);
    const int index = combo->findText(QString::fromStdString(entry));
    ASSERT_GE(index, 0) << "no entry " << entry << " in list " << id;
    ChooseIndex(id, index);
  }
  void ChoosePort(const std::string& name) { Choose(IDC_COMBO_COM_NUMBER, name); }

  // A click on a push button or on a check box's mark.
  void Click(int id) {
    QWidget* w = dlg->GetDlgItem(id);
    ASSERT_NE(w, nullptr) << id;
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(box);
      const QRect mark = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box);
      QTest::mouseClick(box, Qt::LeftButton, {}, mark.center());
    } else {
      QTest::mouseClick(w, Qt::LeftButton);
    }
  }
  // Selects the edit's text and types over it (nothing typed: emptied).
  void Type(int id, const std::string& text) {
    CEdit* edit = dlg->GetEdit(id);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(text));
  }
  std::string Text(int id) const { return dlg->GetDlgItemText(id); }
  bool ReadOnly(int id) const { return dlg->GetEdit(id)->isReadOnly(); }
  bool Enabled(int id) const { return dlg->GetDlgItem(id)->isEnabled(); }
  bool Checked(int id) const { return dlg->GetCheckBox(id)->isChecked(); }
  int Selection(int id) const { return dlg->GetComboBox(id)->currentIndex(); }
  bool StatusVisible() const { return dlg->GetStatic(IDC_STATIC_STATUS)->isVisible(); }
  int Focus() const { return dlg->GetFocusId(); }

  // Types a complete, valid set of settings into a dialog in its editing
  // state (the strings' Use Kelm Defaults boxes unchecked first); the list
  // `skipList` is left without a chosen entry.
  void FillValidSettings(int skipList = 0) {
    Type(IDC_EDIT_VENDOR_ID, "0x2f4a");
    Type(IDC_EDIT_DEVICE_ID, "0x5530");
    Type(IDC_EDIT_MAX_POWER, "0x32");
    if (Checked(IDC_CHECK_MFG_STRING_USE_DEFAULT)) Click(IDC_CHECK_MFG_STRING_USE_DEFAULT);
    if (Checked(IDC_CHECK_PRODUCT_STRING_USE_DEFAULT)) Click(IDC_CHECK_PRODUCT_STRING_USE_DEFAULT);
    if (Checked(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT))
      Click(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT);
    Type(IDC_EDIT_MANUFACTURER, "Kelm");
    Type(IDC_EDIT_PRODUCT, "QT70L5530 UART");
    Type(IDC_EDIT_SERIAL_NUMBER, "KL0000001");
    if (!Checked(IDC_CHECK_REMOTE_WAKEUP)) Click(IDC_CHECK_REMOTE_WAKEUP);
    if (!Checked(IDC_CHECK_LOW_POWER)) Click(IDC_CHECK_LOW_POWER);
    if (!Checked(IDC_CHECK_VBUS_SENSE)) Click(IDC_CHECK_VBUS_SENSE);
    Type(IDC_EDIT_PIN_PULLDOWN, "0x10");
    Type(IDC_EDIT_PIN_PULLUP, "0x20");
    Type(IDC_EDIT_FLOW_CONTROL, "0x01");
    Type(IDC_EDIT_GPIO_DIRECTION, "0x03");
    Type(IDC_EDIT_GPIO_INT_MASK, "0x01");
    Type(IDC_EDIT_GPIO_MODE, "0x0f");
    Type(IDC_EDIT_GPIO_SET, "0x02");
    Type(IDC_EDIT_BAUD_RATE, "115200");
    const std::pair<int, const char*> entries[] = {{IDC_COMBO_CHAR_FORMAT, "1"},
                                                   {IDC_COMBO_PARITY, "None"},
                                                   {IDC_COMBO_DATA_BITS, "8"},
                                                   {IDC_COMBO_CORE_CLOCK, "48 MHz"}};
    for (auto [id, entry] : entries)
      if (id != skipList) Choose(id, entry);
  }

  // Checks the control state control by control.
  void ExpectState(State state) {
    const bool editing = state == State::Editing;
    for (int id : {IDC_EDIT_VENDOR_ID, IDC_EDIT_DEVICE_ID, IDC_EDIT_MAX_POWER, IDC_EDIT_GPIO_MODE,
                   IDC_EDIT_GPIO_DIRECTION, IDC_EDIT_GPIO_INT_MASK, IDC_EDIT_GPIO_SET,
                   IDC_EDIT_FLOW_CONTROL, IDC_EDIT_PIN_PULLDOWN, IDC_EDIT_PIN_PULLUP,
                   IDC_EDIT_BAUD_RATE}) {
      EXPECT_EQ(ReadOnly(id), !editing) << "edit " << id;
      EXPECT_TRUE(Enabled(id)) << "edit " << id << " stays enabled, only read-only";
    }
    const std::pair<int, int> strings[] = {
        {IDC_EDIT_MANUFACTURER, dlg->m_settings.m_bUseDefaultManufacturer},
        {IDC_EDIT_PRODUCT, dlg->m_settings.m_bUseDefaultProduct},
        {IDC_EDIT_SERIAL_NUMBER, dlg->m_settings.m_bUseDefaultSerial}};
    for (auto [id, flag] : strings)
      EXPECT_EQ(ReadOnly(id), editing ? flag == 1 : true) << "string edit " << id;
    for (int id : {IDC_CHECK_SELF_POWERED, IDC_CHECK_REMOTE_WAKEUP, IDC_CHECK_LOW_POWER,
                   IDC_CHECK_VBUS_SENSE, IDC_COMBO_CHAR_FORMAT, IDC_COMBO_PARITY,
                   IDC_COMBO_DATA_BITS, IDC_COMBO_CORE_CLOCK, IDC_BUTTON_LOAD_XMLFILE,
                   IDC_BUTTON_PROGRAM, IDC_BUTTON_LOAD_DEFAULTS})
      EXPECT_EQ(Enabled(id), editing) << "control " << id;
    // Every road into the programmed state passes the editing state, which
    // enabled these; the programmed state leaves them as they were.
    for (int id : {IDC_CHECK_MFG_STRING_USE_DEFAULT, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT,
                   IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, IDC_BUTTON_REFRESH})
      EXPECT_EQ(Enabled(id), state != State::Locked) << "control " << id;
    if (state == State::Locked) {
      for (int id : {IDC_COMBO_CHAR_FORMAT, IDC_COMBO_PARITY, IDC_COMBO_DATA_BITS,
                     IDC_COMBO_CORE_CLOCK}) {
        EXPECT_EQ(Selection(id), -1) << "list " << id;
      }
    }
    EXPECT_TRUE(Enabled(IDC_COMBO_COM_NUMBER));
    EXPECT_TRUE(Enabled(IDCANCEL));
  }

  std::vector<std::string> Ports() const {
    std::vector<std::string> out;
    const CComboBox* list = dlg->GetComboBox(IDC_COMBO_COM_NUMBER);
    for (int i = 0; i < list->count(); ++i) out.push_back(list->itemText(i).toStdString());
    return out;
  }
  bool Listed(const std::string& name) const {
    for (const std::string& p : Ports())
      if (p == name) return true;
    return false;
  }

  ScratchDir scratch;
  std::string portsDir, workDir, oldCwd;
  ScriptedMessageBoxes boxes;
  ScriptedFileDialogs fileDialogs;
  std::map<std::string, std::unique_ptr<EmulatedChip>> chips;
  std::vector<std::string> busy;
  // The dialog opens ports as the application does (served chips in the
  // ports folder), not the in-process chips.
  bool useRealPorts = false;
  std::unique_ptr<CTandoOTPDlg> dlg;
};

inline MessageBoxRecord Box(std::string text, std::string caption, unsigned style) {
  return MessageBoxRecord{std::move(text), std::move(caption), style};
}

}  // namespace qt70::test

// gtest prints the recorded boxes readably.
namespace qt70 {
inline void PrintTo(const MessageBoxRecord& b, std::ostream* os) {
  *os << "{\"" << b.text << "\", \"" << b.caption << "\", 0x" << std::hex << b.style << std::dec
      << "}";
}
}  // namespace qt70
