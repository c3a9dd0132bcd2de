// Data exchange: the order of the transfer, each failure with its message,
// focus and the stop of the transfer, the -1 selection of the lists, the
// typing limits and the Latin-1 edits.
#include <QClipboard>
#include <QTest>

#include "platform_test.h"

namespace qt70::test {
namespace {

// Types text as the keyboard does, one key event per character (QTest's
// key helpers take ASCII only).
void TypeText(QWidget* w, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
  }
}

class DataExchangeTest : public ::testing::Test, private WithApp {
 protected:
  void SetUp() override { dlg.Create(); }
  void Type(int id, const char* text) { dlg.GetEdit(id)->setText(QString::fromLatin1(text)); }

  MainTemplateDialog dlg;
};

TEST_F(DataExchangeTest, ShowingTheMembers) {
  // As the dialog starts: the baud rate shows 0, each list its first entry.
  EXPECT_EQ(dlg.GetDlgItemText(IDC_EDIT_BAUD_RATE), "0");
  for (int id : {1023, 1024, 1025, 1031}) EXPECT_EQ(dlg.GetCurSel(id), 0) << id;
  dlg.m_strVendorId = "0x1234";
  dlg.m_strManufacturer = "M\xFCller";  // ISO-8859-1 u-umlaut
  dlg.m_nBaudRate = 9600;
  dlg.m_nParity = 4;
  dlg.m_nDataBits = -1;
  dlg.m_bRemoteWakeup = 1;
  dlg.UpdateData(false);
  EXPECT_EQ(dlg.GetEdit(IDC_EDIT_VENDOR_ID)->text(), "0x1234");
  EXPECT_EQ(dlg.GetEdit(IDC_EDIT_MANUFACTURER)->text(), QString::fromUtf8("Müller"));
  EXPECT_EQ(dlg.GetDlgItemText(IDC_EDIT_BAUD_RATE), "9600");
  EXPECT_EQ(dlg.GetComboBox(IDC_COMBO_PARITY)->currentText(), "Mark");
  EXPECT_EQ(dlg.GetCurSel(IDC_COMBO_DATA_BITS), -1);
  EXPECT_EQ(dlg.GetComboBox(IDC_COMBO_DATA_BITS)->currentText(), "");
  EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_CHECK_REMOTE_WAKEUP), 1);
  // An index the list cannot show leaves it without a selection.
  dlg.m_nDataBits = 5;
  dlg.UpdateData(false);
  EXPECT_EQ(dlg.GetCurSel(IDC_COMBO_DATA_BITS), -1);
}

TEST_F(DataExchangeTest, TakingTheControlsIn) {
  Type(IDC_EDIT_VENDOR_ID, "0x0403");
  Type(IDC_EDIT_MANUFACTURER, "Caf\xE9");
  Type(IDC_EDIT_GPIO_SET, "0x1");
  Type(IDC_EDIT_BAUD_RATE, " +115200\t");
  dlg.SetCurSel(IDC_COMBO_CORE_CLOCK, 3);
  dlg.CheckDlgButton(IDC_CHECK_VBUS_SENSE, 1);
  ScriptedMessageBoxes boxes;
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(dlg.m_strVendorId, "0x0403");
  EXPECT_EQ(dlg.m_strManufacturer, "Caf\xE9");
  EXPECT_EQ(dlg.m_strGpioSet, "0x1");
  EXPECT_EQ(dlg.m_nBaudRate, 115200u);
  EXPECT_EQ(dlg.m_nCoreClock, 3);
  EXPECT_EQ(dlg.m_bVbusSense, 1);
  EXPECT_EQ(dlg.m_strComPort, "");
}

TEST_F(DataExchangeTest, ListsWithoutSelectionGiveMinusOne) {
  for (int id : {1023, 1024, 1025, 1031}) dlg.SetCurSel(id, -1);
  // The members keep their values until the next transfer.
  EXPECT_EQ(dlg.m_nParity, 0);
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_nCharFormat, -1);
  EXPECT_EQ(dlg.m_nParity, -1);
  EXPECT_EQ(dlg.m_nDataBits, -1);
  EXPECT_EQ(dlg.m_nCoreClock, -1);
}

struct Failure {
  const char* name;
  int control;
  const char* text;
  const char* message;
};

TEST_F(DataExchangeTest, AFailedExchangeStopsTheTransfer) {
  const Failure failures[] = {
      {"vendor id too long", IDC_EDIT_VENDOR_ID, "0x12345", "Enter no more than 6 characters."},
      {"manufacturer too long", IDC_EDIT_MANUFACTURER, "0123456789abcdef", "Enter no more than 15 characters."},
      {"gpio mode too long", IDC_EDIT_GPIO_MODE, "0x123", "Enter no more than 4 characters."},
      {"baud rate empty", IDC_EDIT_BAUD_RATE, "", "Enter a positive integer."},
      {"baud rate letters", IDC_EDIT_BAUD_RATE, "fast", "Enter a positive integer."},
      {"baud rate negative", IDC_EDIT_BAUD_RATE, "-1", "Enter a positive integer."},
      {"baud rate with a tail", IDC_EDIT_BAUD_RATE, "96k", "Enter a positive integer."},
      {"baud rate beyond 32 bits", IDC_EDIT_BAUD_RATE, "4294967296", "Enter a positive integer."},
      {"baud rate too high", IDC_EDIT_BAUD_RATE, "12000001", "Enter an integer between 0 and 12000000."},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.name);
    MainTemplateDialog d;
    d.Create();
    d.SetFocus(IDC_COMBO_COM_NUMBER);
    // Every control after the failing one holds something new, every member
    // a marker that must survive.
    d.GetEdit(IDC_EDIT_DEVICE_ID)->setText("0x9999");
    d.GetEdit(IDC_EDIT_GPIO_SET)->setText("0x77");
    d.SetCurSel(IDC_COMBO_CHAR_FORMAT, 1);
    d.CheckDlgButton(IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, 1);
    d.m_strDeviceId = d.m_strGpioSet = "kept";
    d.m_nCharFormat = 42;
    d.m_bUseDefaultSerial = 42;
    // SetWindowText: text longer than the typing limit reaches the edit only
    // from code (a loaded file), never from the keyboard.
    d.GetEdit(f.control)->SetWindowText(QString::fromLatin1(f.text));

    ScriptedMessageBoxes boxes;
    EXPECT_FALSE(d.UpdateData(true));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0], (MessageBoxRecord{f.message, "qt70otp-gui", MB_ICONEXCLAMATION}));
    EXPECT_EQ(d.GetFocusId(), f.control);
    EXPECT_EQ(d.GetEdit(f.control)->selectedText(), QString::fromLatin1(f.text));
    EXPECT_EQ(d.m_nCharFormat, 42);
    EXPECT_EQ(d.m_bUseDefaultSerial, 42);
    if (f.control == IDC_EDIT_VENDOR_ID) {
      EXPECT_EQ(d.m_strDeviceId, "kept");
    }
    if (f.control != IDC_EDIT_BAUD_RATE) {
      EXPECT_EQ(d.m_nBaudRate, 0u);
    }
  }
}

TEST_F(DataExchangeTest, MembersBeforeTheFailureAreTaken) {
  Type(IDC_EDIT_VENDOR_ID, "0x0001");
  Type(IDC_EDIT_GPIO_SET, "0x02");
  Type(IDC_EDIT_BAUD_RATE, "12000001");
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_strVendorId, "0x0001");
  EXPECT_EQ(dlg.m_strGpioSet, "0x02");
  // The number itself was taken before its range was checked.
  EXPECT_EQ(dlg.m_nBaudRate, 12000001u);
  // 12000000 itself is in range.
  Type(IDC_EDIT_BAUD_RATE, "12000000");
  EXPECT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(UnsignedDecimal, TheNumberRule) {
  const std::pair<const char*, long long> cases[] = {
      {"0", 0},       {"9600", 9600},  {" 12\t", 12},         {"+7", 7},       {"007", 7},
      {"4294967295", 4294967295LL},    {"", -1},              {" ", -1},       {"+", -1},
      {"-0", -1},     {"1 2", -1},     {"0x10", -1},          {"4294967296", -1},
      {"99999999999999999999", -1},
  };
  for (const auto& [text, want] : cases) {
    uint32_t value = 12345;
    const bool ok = ParseUnsignedDecimal(text, &value);
    EXPECT_EQ(ok, want >= 0) << '"' << text << '"';
    EXPECT_EQ(value, ok ? static_cast<uint32_t>(want) : 12345u) << text;
  }
}

TEST_F(DataExchangeTest, TypingLimitsComeFromTheTextLimits) {
  struct Limit {
    int id;
    int chars;
  };
  const Limit limits[] = {{IDC_EDIT_VENDOR_ID, 6},     {IDC_EDIT_DEVICE_ID, 6},    {IDC_EDIT_MANUFACTURER, 15},
                          {IDC_EDIT_PRODUCT, 15},      {IDC_EDIT_SERIAL_NUMBER, 15}, {IDC_EDIT_GPIO_MODE, 4},
                          {IDC_EDIT_FLOW_CONTROL, 4},  {IDC_EDIT_GPIO_DIRECTION, 4}, {IDC_EDIT_GPIO_INT_MASK, 4},
                          {IDC_EDIT_PIN_PULLDOWN, 4},  {IDC_EDIT_PIN_PULLUP, 4},   {IDC_EDIT_GPIO_SET, 4},
                          {IDC_EDIT_MAX_POWER, 0},     {IDC_EDIT_BAUD_RATE, 0}};
  for (const auto& l : limits) {
    SCOPED_TRACE(l.id);
    CEdit* edit = dlg.GetEdit(l.id);
    EXPECT_EQ(edit->GetLimitText(), l.chars);
    edit->clear();
    edit->setFocus();
    QTest::keyClicks(edit, "12345678901234567890");
    EXPECT_EQ(edit->text().size(), l.chars ? l.chars : 20);
  }
}

TEST_F(DataExchangeTest, TextLongerThanTheLimitIsShownWholeAndReported) {
  // A file may bring 16 characters; the edit shows them all rather than
  // cutting one silently, refuses more, and the transfer reports it.
  dlg.m_strProduct = "0123456789ABCDEF";
  dlg.UpdateData(false);
  CEdit* edit = dlg.GetEdit(IDC_EDIT_PRODUCT);
  EXPECT_EQ(edit->text(), "0123456789ABCDEF");
  edit->setFocus();
  edit->end(false);
  QTest::keyClicks(edit, "G");
  EXPECT_EQ(edit->text(), "0123456789ABCDEF");
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(dlg.UpdateData(true));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Enter no more than 15 characters."});
  // Deleting two characters makes room for one: the limit is 15 again.
  edit->end(false);  // the failure selected the whole text
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, "XY");
  EXPECT_EQ(edit->text(), "0123456789ABCDX");
  EXPECT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_strProduct, "0123456789ABCDX");
}

TEST_F(DataExchangeTest, EditsTakeOnlyLatin1) {
  CEdit* edit = dlg.GetEdit(IDC_EDIT_MANUFACTURER);
  edit->setFocus();
  TypeText(edit, QString::fromUtf8("Grüße"));
  EXPECT_EQ(edit->text(), QString::fromUtf8("Grüße"));
  // Typing or pasting anything else is refused as a whole.
  TypeText(edit, QString::fromUtf8("€"));
  edit->insert(QString::fromUtf8("a€b"));
  EXPECT_EQ(edit->text(), QString::fromUtf8("Grüße"));
  QGuiApplication::clipboard()->setText(QString::fromUtf8("\xE2\x9C\x93ok"));
  edit->paste();
  EXPECT_EQ(edit->text(), QString::fromUtf8("Grüße"));
  QGuiApplication::clipboard()->setText(QString::fromUtf8("ÿ!"));
  edit->paste();
  EXPECT_EQ(edit->text(), QString::fromUtf8("Grüßeÿ!"));
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_strManufacturer, "Gr\xFC\xDF" "e\xFF!");

  int pos = 0;
  QString zero(QChar(0));
  EXPECT_EQ(Latin1Validator().validate(zero, pos), QValidator::Invalid);
  // The editable lists' edits are held to the same characters.
  QString euro = QString::fromUtf8("€");
  EXPECT_EQ(dlg.GetComboBox(IDC_COMBO_PARITY)->lineEdit()->validator()->validate(euro, pos),
            QValidator::Invalid);
}

TEST_F(DataExchangeTest, PortNameExchange) {
  CComboBox* ports = dlg.GetComboBox(IDC_COMBO_COM_NUMBER);
  for (const char* p : {"COM5", "COM1", "COM12"}) ports->AddString(p);
  // Nothing selected: the name is empty.
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_strComPort, "");
  dlg.m_strComPort = "com12";
  dlg.UpdateData(false);
  EXPECT_EQ(ports->currentText(), "COM12");
  dlg.m_strComPort = "COM1";  // exact beats the longer "COM12"
  dlg.UpdateData(false);
  EXPECT_EQ(ports->currentText(), "COM1");
  ASSERT_TRUE(dlg.UpdateData(true));
  EXPECT_EQ(dlg.m_strComPort, "COM1");
  // A name the list does not hold, or none, shows no selection.
  for (const char* name : {"COM9", ""}) {
    dlg.SetCurSel(IDC_COMBO_COM_NUMBER, 0);
    dlg.m_strComPort = name;
    dlg.UpdateData(false);
    EXPECT_EQ(ports->GetCurSel(), -1) << name;
  }
}

TEST_F(DataExchangeTest, ProgrammingErrorsAreLoud) {
  class Broken : public CDialog {
   public:
    Broken() : CDialog(IDD_TANDOOTP_DIALOG) {}
    int which = 0;
    std::string s;
    int n = 0;
    void DoDataExchange(CDataExchange* pDX) override {
      if (which == 1) DDX_Text(pDX, 4711, s);
      if (which == 2) DDX_Check(pDX, IDC_EDIT_VENDOR_ID, n);
      if (which == 3) DDX_Text(pDX, IDC_CHECK_LOW_POWER, s);
    }
  };
  Broken b;
  b.Create();
  for (int which : {1, 2, 3}) {
    b.which = which;
    EXPECT_THROW(b.UpdateData(true), std::logic_error) << which;
  }
}

}  // namespace
}  // namespace qt70::test
