// qt70otp read: tells whether the chip is programmed, reads its settings
// back as the dialog does when the port is chosen, prints every setting as
// "label: value", and with --xml saves them as a configuration file that
// programs other chips the same way.

#include <cstdio>
#include <iostream>
#include <string>

#include "config/config_files.h"
#include "config/validation.h"
#include "device/device_session.h"
#include "device/ports_dir.h"
#include "target.h"

namespace qt70::cli {

namespace {

// Settings text is 8-bit (ISO-8859-1); the terminal gets UTF-8, with control
// characters spelled \xNN so a chip's bytes cannot steer the terminal.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", c);
      out += esc;
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A list setting as the entry it selects.
std::string Entry(int index, std::initializer_list<const char*> entries) {
  if (index == -1) return "(none)";
  if (index >= 0 && static_cast<size_t>(index) < entries.size())
    return entries.begin()[index];
  return "(invalid " + std::to_string(index) + ")";
}

void PrintSettings(const CSettings& s) {
  auto line = [](const char* label, const std::string& value) {
    std::cout << label << ": " << value << '\n';
  };
  auto flag = [&](const char* label, int value) { line(label, std::to_string(value)); };
  if (!s.m_strComPort.empty()) line("COM Port", Printable(s.m_strComPort));
  line("Vendor ID", Printable(s.m_strVendorId));
  line("Device ID", Printable(s.m_strDeviceId));
  line("USB Max Power", Printable(s.m_strMaxPower));
  flag("Self-Powered", s.m_bSelfPowered);
  flag("Remote Wake-up", s.m_bRemoteWakeup);
  line("Manufacturer String", Printable(s.m_strManufacturer));
  flag("Manufacturer String Use Kelm Defaults", s.m_bUseDefaultManufacturer);
  line("Product String", Printable(s.m_strProduct));
  flag("Product String Use Kelm Defaults", s.m_bUseDefaultProduct);
  line("Serial Number String", Printable(s.m_strSerialNumber));
  flag("Serial Number String Use Kelm Defaults", s.m_bUseDefaultSerial);
  line("Baud Rate", std::to_string(s.m_nBaudRate));
  line("Char Format", Entry(s.m_nCharFormat, {"1", "2"}));
  line("Parity", Entry(s.m_nParity, {"None", "Even", "Odd", "Space", "Mark"}));
  line("Data Bits", Entry(s.m_nDataBits, {"7", "8", "9"}));
  flag("Low Power Polarity - Active High", s.m_bLowPowerActiveHigh);
  line("Core Clock", Entry(s.m_nCoreClock, {"6 MHz", "12 MHz", "24 MHz", "48 MHz"}));
  flag("VBUS_SENSE Enable", s.m_bVbusSense);
  line("PIN_PULLDOWN_EN", Printable(s.m_strPinPulldown));
  line("PIN_PULLUP_EN", Printable(s.m_strPinPullup));
  line("FLOW_CONTROL", Printable(s.m_strFlowControl));
  line("GPIO_DIRECTION", Printable(s.m_strGpioDirection));
  line("GPIO_INT_MASK", Printable(s.m_strGpioIntMask));
  line("GPIO_MODE", Printable(s.m_strGpioMode));
  line("GPIO_SET", Printable(s.m_strGpioSet));
}

}  // namespace

int cmd_read(const Options& options) {
  if (!options.positional.empty()) return Usage("read takes no file argument");
  Session session;
  if (int status = OpenTarget(options, session); status != kExitOk) return status;
  if (!session.link.IsOpen()) return kExitDevice;

  CSettings& settings = session.settings;
  CDeviceSession device(session.link, settings, session.ui, PortsDir(options.ports_dir));

  // The settings as choosing the port leaves them.
  settings.m_strComPort = options.port;
  settings.ResetSettings();
  settings.m_bUseDefaultManufacturer = 1;
  settings.m_bUseDefaultProduct = 1;
  settings.m_bUseDefaultSerial = 1;

  // The quiet probe of OTP access that choosing the port makes.
  session.link.SetReadFailed(0);
  session.link.ReadOTPReg(0x011);
  if (session.link.ReadFailed()) {
    session.ui.MessageBox("OTP is not supported for this device/driver. Please check.", "Error",
                          MB_ICONERROR);
    return kExitDevice;
  }

  int programmed = device.IsOTPProgrammed();
  if (programmed == kOtpCheckFailed) {
    device.OnReadbackFailed();
    return kExitDevice;
  }
  std::cout << "Programmed: " << (programmed ? "yes" : "no") << '\n';

  if (!device.ReadAllTandoOTPRegisters()) return kExitDevice;
  // A read that failed after the probe gave 0xFF for its byte; such
  // settings are not the chip's and must not be cloned.
  bool readFailed = session.link.ReadFailed() != 0;
  PrintSettings(settings);
  if (readFailed) {
    std::cerr << "qt70otp: some OTP reads failed; the settings shown are not reliable\n";
    return kExitDevice;
  }

  if (!options.xml_out.empty()) {
    if (!isproper(settings, session.ui)) return kExitRejected;
    std::string error;
    if (!CConfigFiles::WriteConfigFile(settings, options.xml_out, &error)) {
      std::cerr << "qt70otp: cannot write " << options.xml_out << ": " << error << '\n';
      return kExitUsage;
    }
    std::cerr << "qt70otp: settings saved to " << options.xml_out << '\n';
  }
  return kExitOk;
}

}  // namespace qt70::cli
