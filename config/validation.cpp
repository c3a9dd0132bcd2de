#include "validation.h"

#include "res/resource.h"

namespace qt70 {

namespace {

constexpr const char* kImproper = "Warning! Improper value to Write";
constexpr const char* kIncomplete = "Warning! Incomplete information";

// A hexadecimal field: its member, control, reset text, upper bound (and a
// lower bound of 1 for the two identifiers), and the prefix and range words.
struct HexCheck {
  std::string CSettings::*member;
  int control;
  const char* reset;
  uint32_t min;
  uint32_t max;
  const char* prefixMessage;
  const char* rangeMessage;
};

// In the order the operator reads them; the seven GPIO and pin fields from
// the top of the screen down, not by control id.
const HexCheck kHexChecks[] = {
    {&CSettings::m_strVendorId, IDC_EDIT_VENDOR_ID, "0x0000", 1, 0xFFFF,
     "Please input a valid Vendor ID in 0x0000 format.",
     "Invalid Vendor ID!\n\nPlease input a valid Vendor ID within the range of 0xFFFF"},
    {&CSettings::m_strDeviceId, IDC_EDIT_DEVICE_ID, "0x0000", 1, 0xFFFF,
     "Please input a valid Device ID in 0x000 format",
     "Invalid Device ID!\n\nPlease input a valid Device ID within the range of 0xFFFF!"},
    {&CSettings::m_strMaxPower, IDC_EDIT_MAX_POWER, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for Max Power",
     "Please input a value between 0x0 - 0xFF for Max Power!"},
    {&CSettings::m_strPinPulldown, IDC_EDIT_PIN_PULLDOWN, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for Pin Pulldown",
     "Please input a value between 0x0 - 0xFF for Pin Pulldown!"},
    {&CSettings::m_strPinPullup, IDC_EDIT_PIN_PULLUP, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for Pin Pullup",
     "Please input a value between 0x0 - 0xFF for Pin Pullup!"},
    {&CSettings::m_strFlowControl, IDC_EDIT_FLOW_CONTROL, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for Flow Control",
     "Please input a value between 0x0 - 0xFF for Flow Control!"},
    {&CSettings::m_strGpioDirection, IDC_EDIT_GPIO_DIRECTION, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for GPIO Direction",
     "Please input a value between 0x0 - 0xFF for GPIO Direction!"},
    {&CSettings::m_strGpioIntMask, IDC_EDIT_GPIO_INT_MASK, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for GPIO Int Mask",
     "Please input a value between 0x0 - 0xFF for GPIO Int Mask!"},
    {&CSettings::m_strGpioMode, IDC_EDIT_GPIO_MODE, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for GPIO Mode",
     "Please input a value between 0x0 - 0xFF for GPIO Mode!"},
    {&CSettings::m_strGpioSet, IDC_EDIT_GPIO_SET, "0x00", 0, 0xFF,
     "Please input a value between 0x00 - 0xFF for GPIO Set",
     "Please input a value between 0x0 - 0xFF for GPIO Set!"},
};

ValidationFailure Fail(int check, const char* message, const char* caption, int control,
                       std::optional<std::string> reset = std::nullopt) {
  return {check, message, caption, control, std::move(reset)};
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool HexPrefixOk(const std::string& text) {
  return text.size() >= 2 && text[0] == '0' && text[1] == 'x';
}

uint32_t HexValue(const std::string& text) {
  uint64_t value = 0;
  for (size_t i = HexPrefixOk(text) ? 2 : 0; i < text.size(); ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0) break;
    value = value * 16 + static_cast<unsigned>(digit);
    if (value > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  }
  return static_cast<uint32_t>(value);
}

std::optional<ValidationFailure> FirstImproperSetting(const CSettings& s) {
  int check = 1;
  for (const HexCheck& h : kHexChecks) {
    const std::string& text = s.*h.member;
    if (!HexPrefixOk(text))
      return Fail(check, h.prefixMessage, kImproper, h.control, std::string(h.reset));
    uint32_t value = HexValue(text);
    if (value > h.max || value < h.min)
      return Fail(check + 1, h.rangeMessage, kImproper, h.control, std::string(h.reset));
    check += 2;
  }
  if (s.m_nBaudRate == 0 || s.m_nBaudRate > 12000000)
    return Fail(21, "Improper Baud Rate in Line Coding!", kImproper, IDC_EDIT_BAUD_RATE);
  if (s.m_nCharFormat < 0)
    return Fail(22, "Improper Character Format in Line Coding!", kImproper,
                IDC_COMBO_CHAR_FORMAT);
  if (s.m_nParity < 0)
    return Fail(23, "Improper Parity in Line Coding!", kImproper, IDC_COMBO_PARITY);
  if (s.m_nDataBits < 0)
    return Fail(24, "Improper Data Bits in Line Coding!", kImproper, IDC_COMBO_DATA_BITS);
  if (s.m_bUseDefaultManufacturer == 0 && s.m_strManufacturer.empty())
    return Fail(25, "Manufacturer String: Enter a string or choose Use Kelm Default.",
                kIncomplete, IDC_EDIT_MANUFACTURER);
  if (s.m_bUseDefaultProduct == 0 && s.m_strProduct.empty())
    return Fail(26, "Product String: Enter a string or choose Use Kelm Default.", kIncomplete,
                IDC_EDIT_PRODUCT);
  if (s.m_bUseDefaultSerial == 0 && s.m_strSerialNumber.empty())
    return Fail(27, "Serial Number String: Enter a string or choose Use Kelm Default.",
                kIncomplete, IDC_EDIT_SERIAL_NUMBER);
  return std::nullopt;
}

int isproper(CSettings& settings, IOperator& ui) {
  std::optional<ValidationFailure> failure = FirstImproperSetting(settings);
  if (!failure) return 1;
  ui.MessageBox(failure->message, failure->caption, MB_OK | MB_ICONEXCLAMATION);
  if (failure->reset) {
    // Checks 1 to 20 are the hexadecimal fields, two checks each, in table order.
    settings.*kHexChecks[(failure->check - 1) / 2].member = *failure->reset;
    ui.UpdateData(false);
  }
  ui.SetFocus(failure->control);
  return 0;
}

}  // namespace qt70
