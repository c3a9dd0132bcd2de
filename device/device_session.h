// The chip the operator works on: the port list, choosing and opening a
// port, reading a programmed chip's settings back, and following ports
// that come and go. It works on the settings and reaches the operator only
// through IOperator, so the dialog, the command line and the tests drive it
// alike; the dialog adds nothing but the widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "device/device_link.h"
#include "device/hotplug.h"
#include "device/port_open.h"
#include "device/readback.h"
#include "engine/operator.h"

namespace qt70 {

// Answer of IsOTPProgrammed when the lock bit could not be read (a rejected
// read, or no port open): the chip is then neither programmed nor blank.
constexpr int kOtpCheckFailed = -1;

class CDeviceSession {
 public:
  // Opens a port by name; the default is OpenPort on the ports folder.
  using PortOpener = std::function<OpenResult(const std::string& name)>;

  CDeviceSession(CDeviceLink& link, CSettings& settings, IOperator& ui, std::string portsDir);
  CDeviceSession(const CDeviceSession&) = delete;
  CDeviceSession& operator=(const CDeviceSession&) = delete;

  const std::string& PortsFolder() const { return m_portsDir; }
  void SetPortOpener(PortOpener opener) { m_openPort = std::move(opener); }
  CDeviceLink& Link() { return m_link; }

  // --- the port list ---

  // Empties the list and fills it with every port present, sorted as the
  // dialog's list sorts. On a failure the list keeps what was found and a
  // PortEnumError carrying the text is raised, after clean-up.
  void EnumCOMPorts(std::vector<std::string>& list);
  // Rebuilds m_ports. A listing error is shown in a box (caption "Error")
  // and the list stays as far as it was filled. Then tells the dialog
  // (onPortListChanged), whose list shows no selection afterwards.
  void RefreshPortList();
  std::vector<std::string> m_ports;
  std::function<void()> onPortListChanged;

  // --- choosing a port ---

  // The port list's selection change: opens the port named by m_strComPort
  // (after UpdateData(TRUE)), probes OTP access, enters the editing state
  // and, on a programmed chip, reads its settings back.
  void OnCbnSelchangeComboComNumber();

  // --- readback ---

  // 1 when the chip's lock bit is set, 0 when it is clear, kOtpCheckFailed
  // when it could not be read (the callers then take OnReadbackFailed).
  int IsOTPProgrammed();
  // Reads the chip's settings into the settings and shows them. Returns
  // false (after the failure path) when the chip gave no OTP access or the
  // port was not open or went away during the readback.
  bool ReadAllTandoOTPRegisters();
  // Reads the pair slots into m_otpPairs and decodes them into the settings.
  void read_otp_addr_vals();
  OtpPair m_otpPairs[kOtpPairSlots] = {};

  // The readback's failure path: the port closed, the settings reset and
  // shown, "This device does not support OTP or the device is disconnected.
  // Please check.", the port list's selection cleared. The box is left out
  // when no port was open, since the not-opened message has said so then.
  void OnReadbackFailed();

  // --- arrival and removal ---

  // Starts following the ports folder (and the system's tty devices where
  // it can); a failure is shown as "Can't register device notification: "
  // and the system's text, and the tool goes on without it.
  void RegisterCOMDeviceNotification();
  // A port arrived (DBT_DEVICEARRIVAL) or went (DBT_DEVICEREMOVECOMPLETE).
  // When it is the chosen port the dialog drops the chip; the list is
  // rebuilt either way. Returns 0.
  long OnMyDeviceChange(unsigned event, unsigned deviceType, const std::string& portName);
  // The file descriptors to watch and the event pump (Poll/Dispatch).
  CPortMonitor& Monitor() { return m_monitor; }

  // Caption of the application-level box of the registration failure.
  std::string m_appCaption = "qt70otp";

 private:
  // Reads one OTP byte while the port stays open. Once the port is found
  // closed, the not-opened message is shown once, the readback is marked
  // lost and every further read gives 0xFF without a request.
  uint8_t ReadByte(uint16_t address);
  void SetUpController();
  void CloseController();

  CDeviceLink& m_link;
  CSettings& m_settings;
  IOperator& m_ui;
  std::string m_portsDir;
  PortOpener m_openPort;
  CPortMonitor m_monitor;
  bool m_lost = false;  // the port was found closed during the current readback
};

}  // namespace qt70
