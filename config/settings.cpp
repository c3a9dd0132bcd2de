#include "settings.h"

namespace qt70 {

void CSettings::ResetSettings() {
  m_strVendorId.clear();
  m_strDeviceId.clear();
  m_strMaxPower.clear();
  m_strManufacturer.clear();
  m_strProduct.clear();
  m_strSerialNumber.clear();
  m_strGpioMode.clear();
  m_strFlowControl.clear();
  m_strGpioDirection.clear();
  m_strGpioIntMask.clear();
  m_strPinPulldown.clear();
  m_strPinPullup.clear();
  m_strGpioSet.clear();
  m_bSelfPowered = 0;
  m_bRemoteWakeup = 0;
  m_bLowPowerActiveHigh = 0;
  m_bVbusSense = 0;
  m_nBaudRate = 0;
  m_nCharFormat = -1;
  m_nParity = -1;
  m_nDataBits = -1;
  m_nCoreClock = -1;
}

}  // namespace qt70
