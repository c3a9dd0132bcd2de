#include "device_link.h"

namespace qt70 {

namespace {
constexpr const char* kNotOpened = "The COM Port is not opened for r/w registers!";
}

void CDeviceLink::Open(std::unique_ptr<ITransport> transport) {
  m_hDevice = std::move(transport);
}

void CDeviceLink::Close() { m_hDevice.reset(); }

uint16_t CDeviceLink::ReadReg(uint16_t wReg) {
  if (!m_hDevice) {
    m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    return 0x00FF;
  }
  uint8_t out[2] = {};
  if (!m_hDevice->DeviceIoControl(IOCTL_QTUSB_READ_REG, {wReg, 0}, out)) {
    m_ui.MessageBox("Error in Reading from USB_UART Reg!", "Error", MB_ICONERROR);
    return 0x00FF;
  }
  return static_cast<uint16_t>(out[0] | out[1] << 8);
}

void CDeviceLink::WriteReg(uint16_t wReg, uint16_t wData) {
  if (!m_hDevice) return;
  uint8_t out[1];
  if (!m_hDevice->DeviceIoControl(IOCTL_QTUSB_WRITE_REG, {wReg, wData}, out))
    m_ui.MessageBox("Error in Writing to USB_UART Reg!", "Error", MB_ICONERROR);
}

uint8_t CDeviceLink::ReadOTPReg(uint16_t wReg) {
  if (!m_hDevice) {
    m_ui.MessageBox(kNotOpened, "Error", MB_ICONERROR);
    return 0xFF;
  }
  uint8_t out[1] = {};
  if (!m_hDevice->DeviceIoControl(IOCTL_QTUSB_READ_OTP, {wReg, 0}, out)) {
    m_bReadFailed = 1;
    return 0xFF;
  }
  return out[0];
}

void CDeviceLink::WriteOTPReg(uint16_t wReg, uint16_t wData) {
  if (!m_hDevice) return;
  uint8_t out[1];
  if (!m_hDevice->DeviceIoControl(IOCTL_QTUSB_WRITE_OTP,
                                  {wReg, static_cast<uint16_t>(wData & 0xFF)}, out))
    m_ui.MessageBox("Error in Writing to TANDO_OTP Reg!", "Error", MB_ICONERROR);
}

}  // namespace qt70
