// Dialog templates 100 (About box) and 102 (main dialog).
#include "res/dialog_template.h"

#include <array>

#include "res/resource.h"

namespace qt70::res {
namespace {

constexpr ControlClass kButton = ControlClass::Button;
constexpr ControlClass kEdit = ControlClass::Edit;
constexpr ControlClass kStatic = ControlClass::Static;
constexpr ControlClass kCombo = ControlClass::ComboBox;

// Styles shared by the controls of the main dialog.
constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;
constexpr uint32_t kEditStyle = kChild | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr uint32_t kPortList = kChild | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kComboStyle = kChild | CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kCheck = kChild | BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr uint32_t kCheckLeft = kCheck | BS_LEFTTEXT;
constexpr uint32_t kPush = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr uint32_t kGroup = kChild | BS_GROUPBOX;
constexpr uint32_t kText = kChild | SS_LEFT;

constexpr std::array<DialogItemTemplate, 56> kMainItems{{
    {IDC_COMBO_COM_NUMBER, kCombo, "", kPortList, 245, 19, 56, 77, 0},
    {IDC_EDIT_VENDOR_ID, kEdit, "", kEditStyle, 97, 80, 40, 14, 0},
    {IDC_EDIT_DEVICE_ID, kEdit, "", kEditStyle, 97, 101, 40, 14, 0},
    {IDC_EDIT_MAX_POWER, kEdit, "", kEditStyle, 97, 129, 40, 14, 0},
    {IDC_CHECK_SELF_POWERED, kButton, "Self-Powered", kCheck, 31, 158, 59, 10, 0},
    {IDC_CHECK_REMOTE_WAKEUP, kButton, "Remote Wake-up", kCheck, 125, 158, 71, 10, 0},
    {IDC_EDIT_MANUFACTURER, kEdit, "", kEditStyle, 105, 209, 84, 14, 0},
    {IDC_EDIT_PRODUCT, kEdit, "", kEditStyle, 105, 228, 84, 14, 0},
    {IDC_EDIT_SERIAL_NUMBER, kEdit, "", kEditStyle, 105, 247, 84, 14, 0},
    {IDC_EDIT_BAUD_RATE, kEdit, "", kEditStyle, 278, 78, 48, 14, 0},
    {IDC_COMBO_CHAR_FORMAT, kCombo, "", kComboStyle, 404, 77, 48, 50, 0},
    {IDC_COMBO_PARITY, kCombo, "", kComboStyle, 278, 101, 48, 65, 0},
    {IDC_COMBO_DATA_BITS, kCombo, "", kComboStyle, 404, 101, 48, 44, 0},
    {IDC_CHECK_LOW_POWER, kButton, "Low Power Polarity - Actiive High", kCheckLeft, 301, 135, 121, 14, 0},
    {IDC_COMBO_CORE_CLOCK, kCombo, "", kComboStyle, 279, 152, 48, 53, 0},
    {IDC_CHECK_VBUS_SENSE, kButton, "VBUS_SENSE Enable", kCheckLeft, 341, 156, 81, 10, 0},
    {IDC_EDIT_PIN_PULLDOWN, kEdit, "", kEditStyle, 382, 175, 40, 14, 0},
    {IDC_EDIT_PIN_PULLUP, kEdit, "", kEditStyle, 382, 193, 40, 14, 0},
    {IDC_EDIT_FLOW_CONTROL, kEdit, "", kEditStyle, 382, 210, 40, 14, 0},
    {IDC_EDIT_GPIO_DIRECTION, kEdit, "", kEditStyle, 382, 228, 40, 14, 0},
    {IDC_EDIT_GPIO_INT_MASK, kEdit, "", kEditStyle, 382, 246, 40, 14, 0},
    {IDC_EDIT_GPIO_MODE, kEdit, "", kEditStyle, 382, 263, 40, 14, 0},
    {IDC_EDIT_GPIO_SET, kEdit, "", kEditStyle, 382, 281, 40, 14, 0},
    {IDC_BUTTON_LOAD_DEFAULTS, kButton, "Load Defaults", kPush, 39, 302, 50, 14, 0},
    {IDC_BUTTON_LOAD_XMLFILE, kButton, "Load XMl File", kPush, 114, 302, 50, 14, 0},
    {IDC_BUTTON_PROGRAM, kButton, "Program", kPush, 211, 303, 50, 14, 0},
    {IDC_BUTTON_REFRESH, kButton, "Refresh", kPush, 301, 303, 50, 14, 0},
    {IDCANCEL, kButton, "Exit", kPush, 401, 345, 50, 14, 0},
    {IDC_STATIC, kStatic, "Select the COM number from the list of COM numbers to OTP", kText, 126, 17, 106, 20, 0},
    {IDC_STATIC_USB_GROUP, kButton, "USB VID/DID, Power, Attributes:", kGroup, 27, 64, 189, 114, 0},
    {IDC_STATIC, kStatic, "Vendor ID", kText, 31, 84, 33, 8, 0},
    {IDC_STATIC, kStatic, "Device ID", kText, 31, 104, 32, 8, 0},
    {IDC_STATIC, kStatic, "USB Max Power", kText, 31, 132, 51, 8, 0},
    {IDC_STATIC, kStatic, "Manufacturer String", kText, 34, 212, 65, 8, 0},
    {IDC_STATIC, kStatic, "Product String", kText, 34, 231, 46, 8, 0},
    {IDC_STATIC, kStatic, "Serial Number String", kText, 34, 250, 66, 8, 0},
    {IDC_STATIC, kStatic, "GPIO_MODE", kText, 335, 263, 41, 8, 0},
    {IDC_STATIC, kStatic, "FLOW_CONTROL", kText, 320, 210, 56, 8, 0},
    {IDC_STATIC, kStatic, "GPIO_DIRECTION", kText, 317, 228, 59, 8, 0},
    {IDC_STATIC, kStatic, "GPIO_INT_MASK", kText, 321, 246, 55, 8, 0},
    {IDC_STATIC, kStatic, "PIN_PULLDOWN_EN", kText, 310, 175, 66, 8, 0},
    {IDC_STATIC, kStatic, "PIN_PULLUP_EN", kText, 323, 194, 53, 8, 0},
    {IDC_STATIC, kStatic, "GPIO_SET", kText, 342, 281, 34, 8, 0},
    {IDC_STATIC_LINE_GROUP, kButton, "Line Coding", kGroup, 231, 64, 230, 59, 0},
    {IDC_STATIC, kStatic, "Baud Rate", kText, 238, 80, 34, 8, 0},
    {IDC_STATIC, kStatic, "Char Format", kText, 354, 80, 41, 8, 0},
    {IDC_STATIC, kStatic, "Parity", kText, 252, 102, 20, 8, 0},
    {IDC_STATIC, kStatic, "Data Bits", kText, 365, 102, 30, 8, 0},
    {IDC_STATIC, kButton, "", kGroup, 15, 53, 454, 267, 0},
    {IDC_STATIC_STRING_GROUP, kButton, "String Descriptors", kGroup, 25, 196, 250, 73, 0},
    {IDC_STATIC, kStatic, "Core Clock", kText, 237, 156, 35, 8, 0},
    {IDC_STATIC_BITMAP, kStatic, "", kChild | SS_BITMAP, 146, 325, 159, 55, IDB_BITMAP1},
    {IDC_STATIC_STATUS, kStatic, "OTP ERROR: Some bits were not programmed correctly.", kText, 368, 300, 95, 17, 0},
    {IDC_CHECK_MFG_STRING_USE_DEFAULT, kButton, "Use Kelm Defaults", kCheck, 197, 211, 73, 10, 0},
    {IDC_CHECK_PRODUCT_STRING_USE_DEFAULT, kButton, "Use Kelm Defaults", kCheck, 197, 230, 73, 10, 0},
    {IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, kButton, "Use Kelm Defaults", kCheck, 197, 249, 73, 10, 0},
}};

constexpr std::array<DialogItemTemplate, 4> kAboutItems{{
    {IDC_STATIC, kStatic, "", kChild | SS_ICON, 25, 26, 20, 20, IDR_MAINFRAME},
    {IDC_STATIC, kStatic, "Kelm QT70L5530 OTP Tool, Version 1.1.0.3", kChild | SS_LEFT | SS_NOPREFIX, 56, 22, 150, 8, 0},
    {IDC_STATIC, kStatic, "Copyright (C) Kelm", kChild | SS_LEFT, 56, 43, 114, 8, 0},
    {IDOK, kButton, "OK", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 215, 78, 50, 14, 0},
}};

constexpr uint32_t kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS;

constexpr DialogTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "About QT70L5530 OTP", kDialogStyle, 0, 272, 99, "MS Shell Dlg", 8, kAboutItems},
    {IDD_TANDOOTP_DIALOG, "Kelm's QT70L5530 One Time Programming Application",
     kDialogStyle | WS_VISIBLE, WS_EX_APPWINDOW, 488, 390, "MS Shell Dlg", 8, kMainItems},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const auto& t : kTemplates)
    if (t.id == id) return &t;
  return nullptr;
}

}  // namespace qt70::res
