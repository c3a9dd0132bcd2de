// The device link: the open port and the register access operations over
// the driver requests. Every chip access of the tool goes through here.
#pragma once

#include <cstdint>
#include <memory>

#include "driver.h"
#include "engine/operator.h"
#include "engine/register_access.h"

namespace qt70 {

class CDeviceLink : public IRegisterAccess {
 public:
  explicit CDeviceLink(IOperator& ui) : m_ui(ui) {}
  CDeviceLink(const CDeviceLink&) = delete;
  CDeviceLink& operator=(const CDeviceLink&) = delete;

  // Takes an opened port; any port open before is closed first.
  void Open(std::unique_ptr<ITransport> transport);
  // Closes the port; no port is open afterwards.
  void Close();
  ITransport* Transport() const { return m_hDevice.get(); }

  uint16_t ReadReg(uint16_t wReg) override;
  void WriteReg(uint16_t wReg, uint16_t wData) override;
  uint8_t ReadOTPReg(uint16_t wReg) override;
  void WriteOTPReg(uint16_t wReg, uint16_t wData) override;

  bool IsOpen() const override { return m_hDevice != nullptr; }
  int ReadFailed() const override { return m_bReadFailed; }
  void SetReadFailed(int value) override { m_bReadFailed = value; }

  // The open port, or none.
  std::unique_ptr<ITransport> m_hDevice;
  // Set by a rejected OTP read; cleared only by callers.
  int m_bReadFailed = 0;

 protected:
  IOperator& m_ui;
};

}  // namespace qt70
