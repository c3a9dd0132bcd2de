#include "device_session.h"

#include "device/ports.h"
#include "res/resource.h"

namespace qt70 {

namespace {
constexpr const char* kPortNotFree =
    "The port is not free. \nPlease close all other applications using this COM port and retry.";
constexpr const char* kPortNotFreeCaption = "Error : COM Port not available to open";
}  // namespace

CDeviceSession::CDeviceSession(CDeviceLink& link, CSettings& settings, IOperator& ui,
                               std::string portsDir)
    : m_link(link), m_settings(settings), m_ui(ui), m_portsDir(std::move(portsDir)) {
  m_openPort = [this](const std::string& name) { return OpenPort(name, m_portsDir); };
}

void CDeviceSession::EnumCOMPorts(std::vector<std::string>& list) { ListPorts(m_portsDir, list); }

void CDeviceSession::RefreshPortList() {
  try {
    EnumCOMPorts(m_ports);
  } catch (const PortEnumError& e) {
    m_ui.MessageBox(e.what(), "Error", MB_ICONERROR);
  }
  if (onPortListChanged) onPortListChanged();
  m_ui.SetCurSel(IDC_COMBO_COM_NUMBER, -1);
}

void CDeviceSession::OnCbnSelchangeComboComNumber() {
  // The port name is exchanged first, so a later field's transfer failure
  // does not stop the opening.
  m_ui.UpdateData(true);
  const std::string name = m_settings.m_strComPort;

  // A port is closed and opened again even when the same entry is chosen.
  if (m_link.IsOpen()) m_link.Close();

  OpenResult opened = m_openPort(name);
  if (opened.status != OpenStatus::Ok || !opened.transport) {
    m_ui.MessageBox(kPortNotFree, kPortNotFreeCaption, MB_ICONERROR);
    m_ui.SetCurSel(IDC_COMBO_COM_NUMBER, -1);
    return;
  }
  m_link.Open(std::move(opened.transport));

  m_settings.ResetSettings();
  m_settings.m_bUseDefaultManufacturer = 1;
  m_settings.m_bUseDefaultProduct = 1;
  m_settings.m_bUseDefaultSerial = 1;
  m_ui.UpdateData(false);
  m_ui.ShowDlgItem(IDC_STATIC_STATUS, false);

  // A quiet probe: a driver without OTP access rejects the read.
  m_link.SetReadFailed(0);
  m_link.ReadOTPReg(0x011);
  if (m_link.ReadFailed() == 1) {
    m_link.Close();
    m_settings.m_strComPort.clear();
    m_ui.SetControlState(ControlState::Locked);
    m_ui.MessageBox("OTP is not supported for this device/driver. Please check.", "Error",
                    MB_ICONERROR);
    m_ui.SetCurSel(IDC_COMBO_COM_NUMBER, -1);
    return;
  }

  m_ui.SetControlState(ControlState::Editing);

  int programmed = IsOTPProgrammed();
  if (programmed == kOtpCheckFailed) {
    // The lock bit could not be read: the chip is neither shown as blank nor
    // as programmed, and nothing is left usable on a port that is closed.
    OnReadbackFailed();
    m_ui.SetControlState(ControlState::Locked);
    return;
  }
  if (programmed == 1) {
    m_ui.MessageBox("OTP is already programmed on this chip.", "OTP programmed.",
                    MB_ICONINFORMATION);
    m_ui.SetDlgItemText(IDC_BUTTON_PROGRAM, "Programmed");
    if (ReadAllTandoOTPRegisters()) m_ui.SetControlState(ControlState::Programmed);
    else m_ui.SetControlState(ControlState::Locked);
    return;
  }
  m_ui.SetDlgItemText(IDC_BUTTON_PROGRAM, "Program");
}

void CDeviceSession::RegisterCOMDeviceNotification() {
  std::string error;
  bool started = m_monitor.Start(
      m_portsDir,
      [this](unsigned event, unsigned type, const std::string& name) {
        OnMyDeviceChange(event, type, name);
      },
      &error);
  if (!started)
    m_ui.MessageBox("Can't register device notification: " + error, m_appCaption,
                    MB_ICONEXCLAMATION);
}

long CDeviceSession::OnMyDeviceChange(unsigned event, unsigned deviceType,
                                      const std::string& portName) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return 0;
  if (deviceType != DBT_DEVTYP_PORT) return 0;
  if (portName == m_settings.m_strComPort) {
    m_link.Close();
    m_settings.m_strComPort.clear();
    m_settings.ResetSettings();
    m_ui.UpdateData(false);
    m_ui.ShowDlgItem(IDC_STATIC_STATUS, false);
    m_ui.SetControlState(ControlState::Locked);
  }
  RefreshPortList();
  return 0;
}

}  // namespace qt70
