// The dialog's settings: every value the operator can edit for the chip's
// OTP configuration. Text settings are 8-bit text, one byte per character
// (ISO-8859-1), so every byte 0x01-0xFF stands for exactly one character.
#pragma once

#include <cstdint>
#include <string>

namespace qt70 {

struct CSettings {
  std::string m_strComPort;
  std::string m_strVendorId;
  std::string m_strDeviceId;
  std::string m_strMaxPower;
  std::string m_strManufacturer;
  std::string m_strProduct;
  std::string m_strSerialNumber;
  int m_bSelfPowered = 0;
  int m_bRemoteWakeup = 0;
  std::string m_strGpioMode;
  std::string m_strFlowControl;
  std::string m_strGpioDirection;
  std::string m_strGpioIntMask;
  std::string m_strPinPulldown;
  std::string m_strPinPullup;
  std::string m_strGpioSet;
  uint32_t m_nBaudRate = 0;
  int m_nCharFormat = 0;
  int m_nParity = 0;
  int m_nDataBits = 0;
  int m_bLowPowerActiveHigh = 0;
  int m_bVbusSense = 0;
  int m_nCoreClock = 0;
  int m_bUseDefaultManufacturer = 0;
  int m_bUseDefaultProduct = 0;
  int m_bUseDefaultSerial = 0;

  // The values that mean that no chip is shown. The port name and the three
  // Use Kelm Defaults flags are not part of it.
  void ResetSettings();

  bool operator==(const CSettings&) const = default;
};

}  // namespace qt70
