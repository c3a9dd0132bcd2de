// Helpers of the dialog framework tests: one application object for the
// whole test program, a dialog on the main template with an exchange in the
// main dialog's order, and a way to run a dialog modally while a script acts.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"

namespace qt70::test {

// The application object, created once; never destroyed, so that no widget
// outlives it at exit.
inline QApplication& App() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    auto* a = new QApplication(argc, argv);
    QCoreApplication::setApplicationName("qt70otp-gui");
    return a;
  }();
  return *app;
}

// A base for fixtures whose members are widgets: the application object
// must exist before them.
struct WithApp {
  WithApp() { App(); }
};

// Template 102 with members exchanged in the main dialog's order and limits;
// records the commands, system commands and device notifications it gets.
class MainTemplateDialog : public CDialog {
 public:
  MainTemplateDialog() : CDialog(IDD_TANDOOTP_DIALOG) {}

  std::string m_strComPort, m_strVendorId, m_strDeviceId, m_strMaxPower, m_strManufacturer,
      m_strProduct, m_strSerialNumber, m_strGpioMode, m_strFlowControl, m_strGpioDirection,
      m_strGpioIntMask, m_strPinPulldown, m_strPinPullup, m_strGpioSet;
  int m_bSelfPowered = 0, m_bRemoteWakeup = 0, m_bLowPowerActiveHigh = 0, m_bVbusSense = 0;
  uint32_t m_nBaudRate = 0;
  int m_nCharFormat = 0, m_nParity = 0, m_nDataBits = 0, m_nCoreClock = 0;
  int m_bUseDefaultManufacturer = 0, m_bUseDefaultProduct = 0, m_bUseDefaultSerial = 0;

  std::vector<std::string> log;  // "command 1009/0", "syscommand 16", "device 32768 3 COM7"
  std::function<void()> onDevice;

  void DoDataExchange(CDataExchange* pDX) override {
    DDX_CBString(pDX, IDC_COMBO_COM_NUMBER, m_strComPort);
    DDX_Text(pDX, IDC_EDIT_VENDOR_ID, m_strVendorId);
    DDV_MaxChars(pDX, m_strVendorId, 6);
    DDX_Text(pDX, IDC_EDIT_DEVICE_ID, m_strDeviceId);
    DDV_MaxChars(pDX, m_strDeviceId, 6);
    DDX_Text(pDX, IDC_EDIT_MAX_POWER, m_strMaxPower);
    DDX_Text(pDX, IDC_EDIT_MANUFACTURER, m_strManufacturer);
    DDV_MaxChars(pDX, m_strManufacturer, 15);
    DDX_Text(pDX, IDC_EDIT_PRODUCT, m_strProduct);
    DDV_MaxChars(pDX, m_strProduct, 15);
    DDX_Text(pDX, IDC_EDIT_SERIAL_NUMBER, m_strSerialNumber);
    DDV_MaxChars(pDX, m_strSerialNumber, 15);
    DDX_Check(pDX, IDC_CHECK_SELF_POWERED, m_bSelfPowered);
    DDX_Check(pDX, IDC_CHECK_REMOTE_WAKEUP, m_bRemoteWakeup);
    DDX_Text(pDX, IDC_EDIT_GPIO_MODE, m_strGpioMode);
    DDV_MaxChars(pDX, m_strGpioMode, 4);
    DDX_Text(pDX, IDC_EDIT_FLOW_CONTROL, m_strFlowControl);
    DDV_MaxChars(pDX, m_strFlowControl, 4);
    DDX_Text(pDX, IDC_EDIT_GPIO_DIRECTION, m_strGpioDirection);
    DDV_MaxChars(pDX, m_strGpioDirection, 4);
    DDX_Text(pDX, IDC_EDIT_GPIO_INT_MASK, m_strGpioIntMask);
    DDV_MaxChars(pDX, m_strGpioIntMask, 4);
    DDX_Text(pDX, IDC_EDIT_PIN_PULLDOWN, m_strPinPulldown);
    DDV_MaxChars(pDX, m_strPinPulldown, 4);
    DDX_Text(pDX, IDC_EDIT_PIN_PULLUP, m_strPinPullup);
    DDV_MaxChars(pDX, m_strPinPullup, 4);
    DDX_Text(pDX, IDC_EDIT_GPIO_SET, m_strGpioSet);
    DDV_MaxChars(pDX, m_strGpioSet, 4);
    DDX_Text(pDX, IDC_EDIT_BAUD_RATE, m_nBaudRate);
    DDV_MinMaxUInt(pDX, m_nBaudRate, 0, 12000000);
    DDX_CBIndex(pDX, IDC_COMBO_CHAR_FORMAT, m_nCharFormat);
    DDV_MinMaxInt(pDX, m_nCharFormat, -1, 1);
    DDX_CBIndex(pDX, IDC_COMBO_PARITY, m_nParity);
    DDV_MinMaxInt(pDX, m_nParity, -1, 4);
    DDX_CBIndex(pDX, IDC_COMBO_DATA_BITS, m_nDataBits);
    DDV_MinMaxInt(pDX, m_nDataBits, -1, 2);
    DDX_Check(pDX, IDC_CHECK_LOW_POWER, m_bLowPowerActiveHigh);
    DDX_Check(pDX, IDC_CHECK_VBUS_SENSE, m_bVbusSense);
    DDX_CBIndex(pDX, IDC_COMBO_CORE_CLOCK, m_nCoreClock);
    DDX_Check(pDX, IDC_CHECK_MFG_STRING_USE_DEFAULT, m_bUseDefaultManufacturer);
    DDX_Check(pDX, IDC_CHECK_PRODUCT_STRING_USE_DEFAULT, m_bUseDefaultProduct);
    DDX_Check(pDX, IDC_CHECK_SERIALNUM_STRING_USE_DEFAULT, m_bUseDefaultSerial);
  }

  bool OnCommand(int id, unsigned code) override {
    log.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
    return CDialog::OnCommand(id, code);
  }
  void OnSysCommand(unsigned nID, long lParam) override {
    log.push_back("syscommand " + std::to_string(nID));
    CDialog::OnSysCommand(nID, lParam);
  }
  long OnDeviceChange(unsigned event, const DeviceBroadcast* data) override {
    log.push_back("device " + std::to_string(event) + " " + std::to_string(data->deviceType) + " " +
                  data->name);
    if (onDevice) onDevice();
    return 0;
  }
};

// Runs the dialog modally; action runs once the loop is running. A dialog
// still open after timeoutMs is ended with -1, so a test never hangs.
inline int RunModal(CDialog& dialog, std::function<void()> action, int timeoutMs = 5000) {
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] {
    if (QWidget* box = QApplication::activeModalWidget(); box && box != &dialog) box->close();
    dialog.EndDialog(-1);
  });
  guard.start(timeoutMs);
  QTimer::singleShot(0, &dialog, std::move(action));
  return dialog.DoModal();
}

}  // namespace qt70::test
