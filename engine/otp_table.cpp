// The OTP field table and the reset of the engine's run state.

#include <cstring>

#include "otp_engine.h"

namespace qt70 {

unsigned char device_otp[kOtpSize];

COtpEngine::COtpEngine(IRegisterAccess& regs, IOperator& ui, IConfigReader& reader)
    : m_regs(regs), m_ui(ui), m_reader(reader) {}

namespace {

struct TagSpec {
  const char* name;
  uint32_t address;
  uint32_t override;
  uint32_t type;
  uint32_t group;
};

// The 18 fields in processing order: evaluation, list building, the
// valid-flag check and the reader's name lookup all walk them in this order.
constexpr TagSpec kTagSpecs[kTagCount] = {
    {"OTP_CONFIG0", 0x000, 0x000, TYPE_MLC8, GROUP_NONE},
    {"OTP_CONFIG3", 0x003, 0x000, TYPE_MLC8, GROUP_NONE},
    {"USB_VENDOR_ID", 0x00C, 0x227, TYPE_MLC16, GROUP_USB},
    {"USB_PRODUCT_ID", 0x00E, 0x229, TYPE_MLC16, GROUP_USB},
    {"USB_ATTRIBUTES", 0x010, 0x22B, TYPE_MLC8, GROUP_USB},
    {"USB_MAXPOWER", 0x011, 0x22C, TYPE_MLC8, GROUP_USB},
    {"ADDRESS_VALUE", 0x000, 0x000, TYPE_AV, GROUP_NONE},
    {"MANUFACTURER_STRING", 0x012, 0x22D, TYPE_STRING, GROUP_STRINGS},
    {"PRODUCT_STRING", 0x022, 0x23D, TYPE_STRING, GROUP_STRINGS},
    {"SERIAL_NUMBER_STRING", 0x032, 0x24D, TYPE_STRING, GROUP_STRINGS},
    {"LINE_CODING", 0x005, 0x220, TYPE_LINE, GROUP_LINE},
    {"GPIO_DIRECTION", 0x000, 0xC0D, TYPE_GEN, GROUP_NONE},
    {"GPIO_INT_MASK", 0x000, 0xC11, TYPE_GEN, GROUP_NONE},
    {"GPIO_MODE", 0x000, 0xC0C, TYPE_GEN, GROUP_NONE},
    {"GPIO_SET", 0x000, 0xC0E, TYPE_GEN, GROUP_NONE},
    {"PIN_PULLDOWN_EN", 0x000, 0xC15, TYPE_GEN, GROUP_NONE},
    {"PIN_PULLUP_EN", 0x000, 0xC14, TYPE_GEN, GROUP_NONE},
    {"FLOW_CONTROL", 0x000, 0xC06, TYPE_GEN, GROUP_NONE},
};

}  // namespace

void COtpEngine::initialize_tags() {
  void* const records[kTagCount] = {
      &m_recConfig0,           &m_recConfig3,        &m_recUsbVendorId,
      &m_recUsbProductId,      &m_recUsbAttributes,  &m_recUsbMaxPower,
      &m_recAddressValue,      &m_recManufacturerString, &m_recProductString,
      &m_recSerialNumberString, &m_recLineCoding,    &m_recGpioDirection,
      &m_recGpioIntMask,       &m_recGpioMode,       &m_recGpioSet,
      &m_recPinPulldownEn,     &m_recPinPullupEn,    &m_recFlowControl,
  };
  for (unsigned i = 0; i < kTagCount; ++i) {
    mlc_tag& tag = m_tags[i];
    const TagSpec& spec = kTagSpecs[i];
    std::memset(tag.name, 0, sizeof tag.name);
    std::strncpy(tag.name, spec.name, sizeof tag.name - 1);
    tag.address = spec.address;
    tag.override = spec.override;
    tag.type = spec.type;
    tag.group = spec.group;
    tag.record = records[i];
    // Clearing a record sets req, dev, xml and err (or count and the pairs)
    // to zero; the string members become empty strings.
    switch (spec.type) {
      case TYPE_MLC8: *static_cast<mlc_8*>(tag.record) = {}; break;
      case TYPE_MLC16: *static_cast<mlc_16*>(tag.record) = {}; break;
      case TYPE_STRING: *static_cast<mlc_string*>(tag.record) = {}; break;
      case TYPE_LINE: *static_cast<mlc_line*>(tag.record) = {}; break;
      case TYPE_AV: *static_cast<mlc_av*>(tag.record) = {}; break;
      case TYPE_GEN: *static_cast<mlc_gen*>(tag.record) = {}; break;
    }
  }
}

void COtpEngine::reset_run_state() {
  m_nNextPairAddress = 0x42;
  m_bDevUsbValid = 0;
  m_bDevStringsValid = 0;
  m_bDevLineValid = 0;
  m_bXmlUsbValid = 0;
  m_bXmlStringsValid = 0;
  m_bXmlLineValid = 0;
  m_bDevLocked = 0;
  initialize_tags();
}

const mlc_tag* COtpEngine::find_tag(const char* name) const {
  for (const mlc_tag& tag : m_tags)
    if (std::strcmp(tag.name, name) == 0) return &tag;
  return nullptr;
}

}  // namespace qt70
