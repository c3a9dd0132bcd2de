#include "readback.h"

#include <cstdio>
#include <cstring>

#include "device/device_session.h"
#include "res/resource.h"

namespace qt70 {

namespace {

constexpr uint8_t Low8(uint16_t value) { return static_cast<uint8_t>(value & 0xFF); }

// The override registers that the pairs may carry.
constexpr uint16_t kRegLineCoding = 0x220;
constexpr uint16_t kRegVendorId = 0x227;
constexpr uint16_t kRegProductId = 0x229;
constexpr uint16_t kRegAttributes = 0x22B;
constexpr uint16_t kRegMaxPower = 0x22C;
constexpr uint16_t kRegManufacturer = 0x22D;
constexpr uint16_t kRegProduct = 0x23D;
constexpr uint16_t kRegSerialNumber = 0x24D;

constexpr size_t kStringChars = 16;

}  // namespace

OtpPair DecodePairSlot(uint8_t b0, uint8_t b1, uint8_t b2) {
  return {static_cast<uint16_t>(b0 | (b1 & 0x0F) << 8), static_cast<uint16_t>(b2 << 4 | b1 >> 4)};
}

int CharFormatIndex(unsigned stored) { return stored == 0 ? 0 : stored == 2 ? 1 : -1; }

int DataBitsIndex(unsigned stored) { return static_cast<int>(stored > 6 ? stored % 7 : stored); }

int CoreClockIndex(uint8_t config3) { return 3 - (config3 & 0x03); }

void DecodeLineCoding(CSettings& s, uint32_t baud, unsigned charFormat, unsigned parity,
                      unsigned dataBits) {
  s.m_nBaudRate = baud;
  s.m_nCharFormat = CharFormatIndex(charFormat);
  s.m_nParity = static_cast<int>(parity);
  s.m_nDataBits = DataBitsIndex(dataBits);
}

std::string BufferText(const uint8_t* bytes, size_t size) {
  size_t n = 0;
  while (n < size && bytes[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

std::string Hex04(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

std::string Hex02(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02x", value);
  return text;
}

void DecodePairs(CSettings& s, const OtpPair* pairs, size_t count) {
  for (std::string* gpio : {&s.m_strGpioMode, &s.m_strFlowControl, &s.m_strGpioDirection,
                            &s.m_strGpioIntMask, &s.m_strPinPulldown, &s.m_strPinPullup,
                            &s.m_strGpioSet})
    *gpio = "0x00";

  // Entries past the table are empty.
  auto at = [&](size_t i) { return i < count ? pairs[i] : OtpPair{}; };

  size_t i = 0;
  while (i < count && pairs[i].address != 0) {
    const OtpPair entry = pairs[i];
    switch (entry.address) {
      case kRegLineCoding: {
        // Multi-byte fields are stored as consecutive registers in order;
        // the entries after the first are taken by position.
        uint32_t baud = Low8(at(i).value) | Low8(at(i + 1).value) << 8 |
                        Low8(at(i + 2).value) << 16 | static_cast<uint32_t>(Low8(at(i + 3).value)) << 24;
        DecodeLineCoding(s, baud, at(i + 4).value, at(i + 5).value, at(i + 6).value);
        i += 7;
        break;
      }
      case kRegVendorId:
      case kRegProductId: {
        std::string text = Hex04(Low8(at(i).value) | Low8(at(i + 1).value) << 8);
        (entry.address == kRegVendorId ? s.m_strVendorId : s.m_strDeviceId) = text;
        i += 2;
        break;
      }
      case kRegAttributes:
        s.m_bSelfPowered = (Low8(entry.value) >> 6) & 1;
        s.m_bRemoteWakeup = (Low8(entry.value) >> 5) & 1;
        i += 1;
        break;
      case kRegMaxPower:
        s.m_strMaxPower = Hex02(Low8(entry.value));
        i += 1;
        break;
      case kRegManufacturer:
      case kRegProduct:
      case kRegSerialNumber: {
        // The first entry gives the first character; each following value
        // the next, until a value of 0 (the whole 12 bits) or 16 characters.
        // The entry that stopped the string is passed over too.
        uint8_t buffer[kStringChars + 1] = {};
        size_t n = 0;
        buffer[n++] = Low8(entry.value);
        size_t j = i + 1;
        while (n < kStringChars && at(j).value != 0) buffer[n++] = Low8(at(j++).value);
        j += 1;  // the zero entry, or the entry after the 16th character
        std::string text = BufferText(buffer, sizeof buffer);
        (entry.address == kRegManufacturer ? s.m_strManufacturer
         : entry.address == kRegProduct    ? s.m_strProduct
                                           : s.m_strSerialNumber) = text;
        i = j;
        break;
      }
      case 0xC06: s.m_strFlowControl = Hex02(entry.value); i += 1; break;
      case 0xC0C: s.m_strGpioMode = Hex02(entry.value); i += 1; break;
      case 0xC0D: s.m_strGpioDirection = Hex02(entry.value); i += 1; break;
      case 0xC0E: s.m_strGpioSet = Hex02(entry.value); i += 1; break;
      case 0xC11: s.m_strGpioIntMask = Hex02(entry.value); i += 1; break;
      case 0xC14: s.m_strPinPullup = Hex02(entry.value); i += 1; break;
      case 0xC15: s.m_strPinPulldown = Hex02(entry.value); i += 1; break;
      default: i += 1; break;
    }
  }
}

// --- the reads, on the session's port ---

uint8_t CDeviceSession::ReadByte(uint16_t address) {
  if (m_lost) return 0xFF;
  if (!m_link.IsOpen()) {
    // Shows "The COM Port is not opened for r/w registers!" once; the rest
    // of the readback sends nothing.
    m_link.ReadOTPReg(address);
    m_lost = true;
    return 0xFF;
  }
  return m_link.ReadOTPReg(address);
}

void CDeviceSession::SetUpController() {
  m_link.WriteReg(0x0D43, 0x000A);
  m_link.WriteReg(0x0D41, 0x0010);
  m_link.WriteReg(0x0D46, 0x0000);
  m_link.WriteReg(0x0D43, 0x0005);
}

void CDeviceSession::CloseController() { m_link.WriteReg(0x0D43, 0x0009); }

int CDeviceSession::IsOTPProgrammed() {
  m_lost = false;
  SetUpController();
  m_link.SetReadFailed(0);
  uint8_t config3 = ReadByte(0x003);
  bool failed = m_lost || m_link.ReadFailed() != 0;
  CloseController();
  m_lost = false;
  if (failed) return kOtpCheckFailed;
  return (config3 >> 6) & 1;
}

void CDeviceSession::OnReadbackFailed() {
  bool wasOpen = m_link.IsOpen();
  m_link.Close();
  m_settings.ResetSettings();
  m_ui.UpdateData(false);
  if (wasOpen)
    m_ui.MessageBox("This device does not support OTP or the device is disconnected. Please check.",
                    "Error", MB_ICONERROR);
  m_ui.SetCurSel(IDC_COMBO_COM_NUMBER, -1);
}

bool CDeviceSession::ReadAllTandoOTPRegisters() {
  m_lost = false;
  m_link.SetReadFailed(0);
  m_settings.ResetSettings();

  ReadByte(0x011);
  if (m_lost || m_link.ReadFailed() == 1) {
    m_lost = false;
    OnReadbackFailed();
    return false;
  }

  SetUpController();
  CSettings& s = m_settings;

  // The port may close under the readback (a removal handled while a box
  // of a failed request is open); then nothing more is decoded.
  auto lost = [&] {
    if (!m_lost) return false;
    m_lost = false;
    OnReadbackFailed();
    return true;
  };

  if (ReadByte(0x004) & 0x01) {
    uint8_t vidLo = ReadByte(0x00C), vidHi = ReadByte(0x00D);
    uint8_t pidLo = ReadByte(0x00E), pidHi = ReadByte(0x00F);
    uint8_t maxPower = ReadByte(0x011), attributes = ReadByte(0x010);
    if (lost()) return false;
    s.m_strVendorId = Hex04(vidLo | vidHi << 8);
    s.m_strDeviceId = Hex04(pidLo | pidHi << 8);
    s.m_strMaxPower = Hex02(maxPower);
    s.m_bSelfPowered = (attributes >> 6) & 1;
    s.m_bRemoteWakeup = (attributes >> 5) & 1;
  }
  if (lost()) return false;

  if (ReadByte(0x004) & 0x02) {
    uint8_t strings[3][kStringChars + 1] = {};
    for (size_t k = 0; k < 3 * kStringChars; ++k)
      strings[k / kStringChars][k % kStringChars] = ReadByte(static_cast<uint16_t>(0x012 + k));
    if (lost()) return false;
    s.m_strManufacturer = BufferText(strings[0], sizeof strings[0]);
    s.m_strProduct = BufferText(strings[1], sizeof strings[1]);
    s.m_strSerialNumber = BufferText(strings[2], sizeof strings[2]);
    s.m_bUseDefaultManufacturer = s.m_strManufacturer.empty() ? 1 : 0;
    s.m_bUseDefaultProduct = s.m_strProduct.empty() ? 1 : 0;
    s.m_bUseDefaultSerial = s.m_strSerialNumber.empty() ? 1 : 0;
  }
  if (lost()) return false;

  if (ReadByte(0x004) & 0x04) {
    uint8_t line[7];
    for (size_t k = 0; k < 7; ++k) line[k] = ReadByte(static_cast<uint16_t>(0x005 + k));
    if (lost()) return false;
    uint32_t baud = line[0] | line[1] << 8 | line[2] << 16 | static_cast<uint32_t>(line[3]) << 24;
    DecodeLineCoding(s, baud, line[4], line[5], line[6]);
  }
  if (lost()) return false;

  uint8_t config0 = ReadByte(0x000);
  if (lost()) return false;
  s.m_bLowPowerActiveHigh = (config0 >> 1) & 1;

  uint8_t config3 = ReadByte(0x003);
  if (lost()) return false;
  if (config3 & 0x40) {
    s.m_bVbusSense = (config3 >> 3) & 1;
    s.m_nCoreClock = CoreClockIndex(config3);
  }

  read_otp_addr_vals();
  if (lost()) return false;

  CloseController();
  m_ui.UpdateData(false);
  return true;
}

void CDeviceSession::read_otp_addr_vals() {
  for (OtpPair& pair : m_otpPairs) pair = {};
  for (size_t slot = 0; slot < kOtpPairSlots; ++slot) {
    uint16_t base = PairSlotAddress(slot);
    uint8_t b0 = ReadByte(base), b1 = ReadByte(base + 1), b2 = ReadByte(base + 2);
    if (m_lost) return;
    if ((b0 == 0x00 && b1 == 0x00 && b2 == 0x00) || (b0 == 0xFF && b1 == 0xFF && b2 == 0xFF))
      break;
    m_otpPairs[slot] = DecodePairSlot(b0, b1, b2);
  }
  DecodePairs(m_settings, m_otpPairs, kOtpPairSlots);
}

}  // namespace qt70
