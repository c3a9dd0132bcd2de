// The main dialog: the single owner of the tool's state. It holds the
// settings, the OTP engine, the configuration files and the device link by
// value, binds the settings to the controls of template 102, and is the
// operator interface through which those components show boxes, the status
// line and the control states.
#pragma once

#include <QIcon>
#include <memory>
#include <string>
#include <vector>

#include "config/config_files.h"
#include "config/settings.h"
#include "device/device_link.h"
#include "device/device_session.h"
#include "engine/operator.h"
#include "engine/otp_engine.h"
#include "platform/dialog.h"

class QSocketNotifier;

namespace qt70 {

class CTandoOTPDlg : public CDialog, public IOperator {
  Q_OBJECT

 public:
  // portsDir: the folder of emulated ports; empty for the usual one.
  explicit CTandoOTPDlg(QWidget* pParent = nullptr, const std::string& portsDir = {});
  ~CTandoOTPDlg() override;

  // --- framework overrides --------------------------------------------------
  bool OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  bool OnCommand(int id, unsigned code) override;
  void OnSysCommand(unsigned nID, long lParam) override;
  long OnDeviceChange(unsigned event, const DeviceBroadcast* data) override;
  QIcon OnQueryDragIcon() const { return m_hIcon; }

  // --- control states -------------------------------------------------------
  void EnableControls();
  void DisableControls();
  void DisableControls1();

  // --- command handlers -----------------------------------------------------
  void OnCbnSelchangeComboComNumber();
  void OnBnClickedButtonProgram();
  void OnBnClickedButtonRefresh();
  void OnBnClickedButtonLoadXmlfile();
  void OnBnClickedButtonLoadDefaults();
  void OnBnClickedCheckMfgStringUseDefault();
  void OnBnClickedCheckProductStringUseDefault();
  void OnBnClickedCheckSerialnumStringUseDefault();

  // --- the operator interface, on the controls -------------------------------
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void SetDlgItemText(int id, std::string_view text) override;
  void ShowDlgItem(int id, bool show) override;
  void EnableDlgItem(int id, bool enable) override;
  bool UpdateData(bool saveAndValidate) override;
  void SetControlState(ControlState state) override;
  void SetReadOnly(int id, bool readOnly) override;
  void SetFocus(int id) override;
  void SetCurSel(int id, int index) override;

  // The exit status the application ends with: 1 after a configuration file
  // of an unsupported version, else 0.
  int ExitStatus() const { return m_exitStatus; }

  // --- state, held by value ------------------------------------------------
  CSettings m_settings;
  CDeviceLink m_link{*this};
  COtpEngine m_engine{m_link, *this, m_files};
  CConfigFiles m_files{m_engine, *this};
  CDeviceSession m_device;
  QIcon m_hIcon;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void FillPortList();
  void WatchPortMonitor();
  void ToggleUseDefault(int& flag, int editId);

  std::vector<std::unique_ptr<QSocketNotifier>> m_notifiers;
  int m_exitStatus = 0;
};

}  // namespace qt70
