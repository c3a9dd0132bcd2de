// Dialogs built from templates 102 and 100: the controls with their ids,
// kinds, captions and places, the conversion from dialog units, the tab
// order, and the pictures.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <set>

#include "platform_test.h"

namespace qt70::test {
namespace {

// What kind of control a widget is, as the templates name them.
std::string KindOf(const QWidget* w) {
  if (auto* combo = qobject_cast<const CComboBox*>(w))
    return combo->isEditable() ? "combo" : combo->IsSorted() ? "sorted list" : "list";
  if (qobject_cast<const CEdit*>(w)) return "edit";
  if (auto* check = qobject_cast<const QCheckBox*>(w))
    return check->layoutDirection() == Qt::RightToLeft ? "check left" : "check";
  if (auto* push = qobject_cast<const QPushButton*>(w)) return push->isDefault() ? "default push" : "push";
  if (qobject_cast<const QGroupBox*>(w)) return "group";
  if (auto* label = qobject_cast<const QLabel*>(w)) return label->pixmap().isNull() ? "text" : "picture";
  return "?";
}

std::string CaptionOf(const QWidget* w) {
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text().toStdString();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title().toStdString();
  if (auto* l = qobject_cast<const QLabel*>(w)) return l->text().toStdString();
  return "";
}

struct Expected {
  int id;
  const char* kind;
  const char* caption;
  int x, y, cx, cy;
};

// The main window, control by control, in template order.
const Expected kMain[] = {
    {1000, "sorted list", "", 245, 19, 56, 77},
    {1001, "edit", "", 97, 80, 40, 14},
    {1002, "edit", "", 97, 101, 40, 14},
    {1003, "edit", "", 97, 129, 40, 14},
    {1007, "check", "Self-Powered", 31, 158, 59, 10},
    {1008, "check", "Remote Wake-up", 125, 158, 71, 10},
    {1004, "edit", "", 105, 209, 84, 14},
    {1005, "edit", "", 105, 228, 84, 14},
    {1006, "edit", "", 105, 247, 84, 14},
    {1022, "edit", "", 278, 78, 48, 14},
    {1023, "combo", "", 404, 77, 48, 50},
    {1024, "combo", "", 278, 101, 48, 65},
    {1025, "combo", "", 404, 101, 48, 44},
    {1026, "check left", "Low Power Polarity - Actiive High", 301, 135, 121, 14},
    {1031, "combo", "", 279, 152, 48, 53},
    {1030, "check left", "VBUS_SENSE Enable", 341, 156, 81, 10},
    {1016, "edit", "", 382, 175, 40, 14},
    {1017, "edit", "", 382, 193, 40, 14},
    {1013, "edit", "", 382, 210, 40, 14},
    {1014, "edit", "", 382, 228, 40, 14},
    {1015, "edit", "", 382, 246, 40, 14},
    {1012, "edit", "", 382, 263, 40, 14},
    {1019, "edit", "", 382, 281, 40, 14},
    {1033, "push", "Load Defaults", 39, 302, 50, 14},
    {1021, "push", "Load XMl File", 114, 302, 50, 14},
    {1009, "push", "Program", 211, 303, 50, 14},
    {1010, "push", "Refresh", 301, 303, 50, 14},
    {2, "push", "Exit", 401, 345, 50, 14},
    {-1, "text", "Select the COM number from the list of COM numbers to OTP", 126, 17, 106, 20},
    {1027, "group", "USB VID/DID, Power, Attributes:", 27, 64, 189, 114},
    {-1, "text", "Vendor ID", 31, 84, 33, 8},
    {-1, "text", "Device ID", 31, 104, 32, 8},
    {-1, "text", "USB Max Power", 31, 132, 51, 8},
    {-1, "text", "Manufacturer String", 34, 212, 65, 8},
    {-1, "text", "Product String", 34, 231, 46, 8},
    {-1, "text", "Serial Number String", 34, 250, 66, 8},
    {-1, "text", "GPIO_MODE", 335, 263, 41, 8},
    {-1, "text", "FLOW_CONTROL", 320, 210, 56, 8},
    {-1, "text", "GPIO_DIRECTION", 317, 228, 59, 8},
    {-1, "text", "GPIO_INT_MASK", 321, 246, 55, 8},
    {-1, "text", "PIN_PULLDOWN_EN", 310, 175, 66, 8},
    {-1, "text", "PIN_PULLUP_EN", 323, 194, 53, 8},
    {-1, "text", "GPIO_SET", 342, 281, 34, 8},
    {1029, "group", "Line Coding", 231, 64, 230, 59},
    {-1, "text", "Baud Rate", 238, 80, 34, 8},
    {-1, "text", "Char Format", 354, 80, 41, 8},
    {-1, "text", "Parity", 252, 102, 20, 8},
    {-1, "text", "Data Bits", 365, 102, 30, 8},
    {-1, "group", "", 15, 53, 454, 267},
    {1028, "group", "String Descriptors", 25, 196, 250, 73},
    {-1, "text", "Core Clock", 237, 156, 35, 8},
    {1032, "picture", "", 146, 325, 159, 55},
    {1034, "text", "OTP ERROR: Some bits were not programmed correctly.", 368, 300, 95, 17},
    {1035, "check", "Use Kelm Defaults", 197, 211, 73, 10},
    {1036, "check", "Use Kelm Defaults", 197, 230, 73, 10},
    {1037, "check", "Use Kelm Defaults", 197, 249, 73, 10},
};

class TemplateTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
};

TEST(DialogUnits, ConvertWithRoundingFromBaseUnits) {
  const CDialog::BaseUnits units{6, 13};
  // x*6/4 and y*13/8, each edge rounded to the nearest pixel.
  EXPECT_EQ(CDialog::MapDialogRect(QRect(0, 0, 488, 390), units), QRect(0, 0, 732, 634));
  EXPECT_EQ(CDialog::MapDialogRect(QRect(1, 1, 3, 3), units), QRect(2, 2, 4, 5));
  EXPECT_EQ(CDialog::MapDialogRect(QRect(146, 325, 159, 55), units), QRect(219, 528, 239, 90));
  EXPECT_EQ(CDialog::MapDialogRect(QRect(10, 8, 4, 8), CDialog::BaseUnits{7, 16}),
            QRect(18, 16, 7, 16));
}

TEST_F(TemplateTest, BaseUnitsComeFromTheDialogFont) {
  QFont small(QApplication::font().family(), 8);
  QFont large(QApplication::font().family(), 16);
  const auto a = CDialog::BaseUnitsOf(small);
  const auto b = CDialog::BaseUnitsOf(large);
  EXPECT_GT(a.x, 0);
  EXPECT_EQ(a.y, QFontMetrics(small).height());
  EXPECT_GT(b.x, a.x);
  EXPECT_GT(b.y, a.y);
}

TEST_F(TemplateTest, MainDialogHasTheFiftySixControlsInTemplateOrder) {
  MainTemplateDialog dlg;
  dlg.Create();
  EXPECT_EQ(dlg.windowTitle().toStdString(), "Kelm's QT70L5530 One Time Programming Application");
  EXPECT_EQ(dlg.size(), dlg.MapDialogRect(QRect(0, 0, 488, 390)).size());
  ASSERT_EQ(dlg.Controls().size(), std::size(kMain));
  for (size_t i = 0; i < std::size(kMain); ++i) {
    const auto& want = kMain[i];
    const auto& got = dlg.Controls()[i];
    SCOPED_TRACE("control #" + std::to_string(i + 1));
    EXPECT_EQ(got.item->id, want.id);
    EXPECT_EQ(KindOf(got.widget), want.kind);
    EXPECT_EQ(CaptionOf(got.widget), want.caption);
    EXPECT_EQ(QRect(got.item->x, got.item->y, got.item->cx, got.item->cy),
              QRect(want.x, want.y, want.cx, want.cy));
    if (want.id != -1) {
      EXPECT_EQ(dlg.GetDlgItem(want.id), got.widget);
    }
    // Edits, check boxes, buttons, group boxes and texts stand where the
    // template puts them; combo boxes keep x, y and width (their height is
    // the closed box's), pictures their top left corner.
    const QRect px = dlg.MapDialogRect(QRect(want.x, want.y, want.cx, want.cy));
    if (std::string(want.kind).find("combo") != std::string::npos ||
        std::string(want.kind).find("list") != std::string::npos) {
      EXPECT_EQ(got.widget->pos(), px.topLeft());
      EXPECT_EQ(got.widget->width(), px.width());
      EXPECT_LE(got.widget->height(), px.height());
    } else if (std::string(want.kind) == "picture") {
      EXPECT_EQ(got.widget->pos(), px.topLeft());
    } else {
      EXPECT_EQ(got.widget->geometry(), px);
    }
  }
  EXPECT_EQ(dlg.GetDlgItem(IDC_STATIC), nullptr);
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  EXPECT_THROW(dlg.GetEdit(IDC_BUTTON_PROGRAM), std::logic_error);
}

TEST_F(TemplateTest, TabOrderIsTemplateOrderOfTheTabStops) {
  MainTemplateDialog dlg;
  dlg.Create();
  std::vector<int> expected;
  for (const auto& c : kMain) {
    const std::string kind = c.kind;
    if (kind != "text" && kind != "group" && kind != "picture") expected.push_back(c.id);
  }
  ASSERT_EQ(expected.size(), 31u);
  // Statics, group boxes and the bitmap never take the focus.
  for (const auto& c : dlg.Controls())
    if (!(c.item->style & res::WS_TABSTOP)) {
      EXPECT_EQ(c.widget->focusPolicy(), Qt::NoFocus);
    }

  std::vector<int> chain;
  QWidget* first = dlg.GetDlgItem(IDC_COMBO_COM_NUMBER);
  QWidget* w = first;
  do {
    const int id = dlg.GetDlgCtrlID(w);
    if (id != 0 && (w->focusPolicy() & Qt::TabFocus) && (chain.empty() || chain.back() != id))
      chain.push_back(id);
    w = w->nextInFocusChain();
  } while (w != first && chain.size() < 100);
  EXPECT_EQ(chain, expected);
}

TEST_F(TemplateTest, FirstTabStopHasTheFocusAfterStart) {
  MainTemplateDialog dlg;
  dlg.Create();
  EXPECT_EQ(dlg.GetFocusId(), IDC_COMBO_COM_NUMBER);
}

TEST_F(TemplateTest, ControlsBehaveAsTheirStylesSay) {
  MainTemplateDialog dlg;
  dlg.Create();
  // Edits have a frame and start writable; the group boxes let the mouse through.
  EXPECT_TRUE(dlg.GetEdit(IDC_EDIT_VENDOR_ID)->hasFrame());
  EXPECT_FALSE(dlg.GetEdit(IDC_EDIT_VENDOR_ID)->isReadOnly());
  EXPECT_TRUE(dlg.GetDlgItem(IDC_STATIC_USB_GROUP)->testAttribute(Qt::WA_TransparentForMouseEvents));
  // Read-only edits stay enabled and selectable.
  dlg.SetDlgItemText(IDC_EDIT_MANUFACTURER, "Kelm");
  dlg.SetReadOnly(IDC_EDIT_MANUFACTURER, true);
  CEdit* edit = dlg.GetEdit(IDC_EDIT_MANUFACTURER);
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_TRUE(edit->isEnabled());
  edit->selectAll();
  EXPECT_EQ(edit->selectedText(), "Kelm");
  // Automatic check boxes toggle themselves before the command arrives.
  QCheckBox* check = dlg.GetCheckBox(IDC_CHECK_MFG_STRING_USE_DEFAULT);
  int seen = -1;
  QObject::connect(check, &QCheckBox::clicked, [&] { seen = dlg.IsDlgButtonChecked(IDC_CHECK_MFG_STRING_USE_DEFAULT); });
  check->click();
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(dlg.log.back(), "command 1035/0");
  // The status line is a plain text that can be hidden and shown.
  dlg.ShowDlgItem(IDC_STATIC_STATUS, false);
  EXPECT_TRUE(dlg.GetDlgItem(IDC_STATIC_STATUS)->isHidden());
  dlg.SetDlgItemText(IDC_STATIC_STATUS, "OTP programmed successfully.");
  EXPECT_EQ(dlg.GetDlgItemText(IDC_STATIC_STATUS), "OTP programmed successfully.");
  dlg.SetDlgItemText(IDC_BUTTON_PROGRAM, "Programmed");
  EXPECT_EQ(dlg.GetButton(IDC_BUTTON_PROGRAM)->text(), "Programmed");
}

TEST_F(TemplateTest, StaticTextPrefixProcessing) {
  MainTemplateDialog dlg;
  dlg.Create();
  // A plain static makes '&' an accelerator mark ("&&" shows one '&').
  dlg.SetDlgItemText(IDC_STATIC_STATUS, "A&&B &C");
  EXPECT_EQ(dlg.GetStatic(IDC_STATIC_STATUS)->text(), "A&B C");
  EXPECT_EQ(dlg.GetDlgItemText(IDC_STATIC_STATUS), "A&&B &C");
  // Rich text is never interpreted.
  dlg.SetDlgItemText(IDC_STATIC_STATUS, "<b>bold</b>");
  EXPECT_EQ(dlg.GetStatic(IDC_STATIC_STATUS)->textFormat(), Qt::PlainText);
}

TEST_F(TemplateTest, AboutBox) {
  CDialog about(IDD_ABOUTBOX);
  about.Create();
  EXPECT_EQ(about.windowTitle().toStdString(), "About QT70L5530 OTP");
  EXPECT_EQ(about.size(), about.MapDialogRect(QRect(0, 0, 272, 99)).size());
  ASSERT_EQ(about.Controls().size(), 4u);
  EXPECT_EQ(KindOf(about.Controls()[0].widget), "picture");
  EXPECT_EQ(about.Controls()[0].widget->size(), QSize(32, 32));
  EXPECT_EQ(CaptionOf(about.Controls()[1].widget), "Kelm QT70L5530 OTP Tool, Version 1.1.0.3");
  EXPECT_TRUE(about.Controls()[1].item->style & res::SS_NOPREFIX);
  EXPECT_EQ(KindOf(about.Controls()[3].widget), "default push");
  EXPECT_EQ(about.Controls()[3].item->id, IDOK);
  EXPECT_EQ(about.GetDefID(), IDOK);
  EXPECT_EQ(about.GetFocusId(), IDOK);
}

TEST_F(TemplateTest, PicturesAndStrings) {
  const QPixmap bitmap = LoadBitmap(IDB_BITMAP1);
  EXPECT_EQ(bitmap.size(), QSize(239, 90));
  EXPECT_TRUE(bitmap.toImage().depth() >= 24);
  const QIcon icon = LoadIcon(IDR_MAINFRAME);
  const auto sizes = icon.availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));
  EXPECT_TRUE(LoadBitmap(999).isNull());
  EXPECT_TRUE(LoadIcon(999).isNull());
  EXPECT_EQ(LoadString(IDS_ABOUTBOX), "&About QT70L5530OTP...");
  EXPECT_EQ(LoadString(999), "");

  MainTemplateDialog dlg;
  dlg.Create();
  EXPECT_EQ(dlg.GetDlgItem(IDC_STATIC_BITMAP)->size(), QSize(239, 90));
}

TEST_F(TemplateTest, UnknownTemplateIsAResourceError) {
  EXPECT_THROW(CDialog(4711), ResourceError);
}

}  // namespace
}  // namespace qt70::test
