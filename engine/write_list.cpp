// Building the write list: the OTP byte writes that take the decoded chip to
// the configuration the file asks for, with only the bit changes OTP allows.
// A field whose primary copy can take the value is written in place; one
// that cannot, or that a stored pair already overrides, goes to new
// address/value pairs at its register address; a configuration byte with
// neither way out is a conflict and is left alone.

#include <cstdio>

#include "otp_engine.h"
#include "trace.h"

namespace qt70 {

namespace {

constexpr const char* kValidFlagsComment = "Valid Flags";
constexpr const char* kLockComment = "Lock Device";

// Pairs that still fit the pair area when the next one starts at `next`.
uint32_t pair_slots_from(int32_t next) {
  if (next < static_cast<int32_t>(kPairAreaStart) || next > static_cast<int32_t>(kLastPairStart))
    return 0;
  return (kLastPairStart - static_cast<uint32_t>(next)) / 3 + 1;
}

}  // namespace

uint8_t COtpEngine::value_not_compatible(uint32_t address, uint8_t oldval, uint8_t newval) {
  // Low region: bits can only be set, so a set bit the request lacks is lost.
  // High region: bits can only be cleared, so a cleared bit the request wants is lost.
  if (address & 0x100) return static_cast<uint8_t>(~oldval & newval);
  return static_cast<uint8_t>(oldval & ~newval);
}

uint32_t COtpEngine::string_not_compatible(uint32_t address, const uint8_t* oldval,
                                           const uint8_t* newval, uint32_t length) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < length; ++i)
    sum += value_not_compatible(address + i, oldval[i], newval[i]);
  return sum;
}

void COtpEngine::append_write(uint32_t address, uint8_t value, const char* comment) {
  if (m_nWriteCount >= kListCapacity) {
    ++m_nWriteOverflow;
    return;
  }
  m_writeAddress[m_nWriteCount] = address;
  m_writeValue[m_nWriteCount] = value;
  m_writeComment[m_nWriteCount] = comment;
  ++m_nWriteCount;
}

void COtpEngine::add_write_list_mlc16(uint32_t address, uint16_t value, const char* comment) {
  append_write(address, static_cast<uint8_t>(value & 0xFF), comment);
  append_write(address + 1, static_cast<uint8_t>(value >> 8), comment);
}

void COtpEngine::add_write_list_av(uint32_t address, uint32_t value, const char* comment) {
  // A pair that would start past the last slot is only counted: it would
  // reach past the pair area into the unused bytes and the second bank.
  if (pair_slots_from(m_nNextPairAddress) == 0) {
    ++m_nPairOverflow;
  } else {
    const uint32_t a = address & 0xFFF, v = value & 0xFFF;
    const auto pos = static_cast<uint32_t>(m_nNextPairAddress);
    append_write(pos, static_cast<uint8_t>(a & 0xFF), comment);
    append_write(pos + 1, static_cast<uint8_t>((v & 0x0F) << 4 | a >> 8), comment);
    append_write(pos + 2, static_cast<uint8_t>(v >> 4), comment);
    ++m_nPairsQueued;
  }
  m_nNextPairAddress += 3;
}

void COtpEngine::add_write_list_string(uint32_t address, const uint8_t* string, uint32_t length,
                                       const char* comment) {
  for (uint32_t i = 0; i < length; ++i) append_write(address + i, string[i], comment);
}

void COtpEngine::add_write_list_override(uint32_t address, const uint8_t* string, uint32_t length,
                                         const char* comment) {
  for (uint32_t i = 0; i < length; ++i) {
    if (m_nOverrideCount >= kListCapacity) {
      ++m_nOverrideOverflow;
      continue;
    }
    m_overrideAddress[m_nOverrideCount] = address + i;
    m_overrideValue[m_nOverrideCount] = string[i];
    m_overrideComment[m_nOverrideCount] = comment;
    ++m_nOverrideCount;
  }
}

void COtpEngine::try_write_list_mlc8(mlc_tag* tag) {
  auto* rec = static_cast<mlc_8*>(tag->record);
  if (rec->req == 0) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  if (rec->dev == rec->xml) {
    QT70_TRACE(0, "Skipping %s.  XML matches the device.  Value = %d.\n", tag->name, rec->dev);
    return;
  }
  if (value_not_compatible(tag->address, rec->dev, rec->xml) == 0 && !is_overridden(tag)) {
    QT70_TRACE(0, "Queueing %s.  Device = 0x%2.2X.  XML = 0x%2.2X.\n", tag->name, rec->dev,
               rec->xml);
    append_write(tag->address, rec->xml, tag->name);
  } else if (tag->override != 0) {
    QT70_TRACE(0, "Overriding the %s field with 0x%2.2X.\n", tag->name, rec->xml);
    add_write_list_override(tag->override, &rec->xml, 1, tag->name);
  } else {
    trace("Conflict in the %s field. Device = 0x%2.2X.   XML = 0x%2.2X.\n", tag->name, rec->dev,
          rec->xml);
    rec->err = 1;
  }
}

void COtpEngine::try_write_list_mlc16(mlc_tag* tag) {
  auto* rec = static_cast<mlc_16*>(tag->record);
  if (rec->req == 0) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  if (rec->dev == rec->xml) {
    QT70_TRACE(0, "Skipping %s.  XML matches the device.  Value = %d.\n", tag->name, rec->dev);
    return;
  }
  const auto dev_lo = static_cast<uint8_t>(rec->dev & 0xFF), dev_hi = static_cast<uint8_t>(rec->dev >> 8);
  const auto xml_lo = static_cast<uint8_t>(rec->xml & 0xFF), xml_hi = static_cast<uint8_t>(rec->xml >> 8);
  const uint32_t incompatible = value_not_compatible(tag->address + 1, dev_hi, xml_hi) +
                                value_not_compatible(tag->address, dev_lo, xml_lo);
  if (incompatible == 0 && !is_overridden(tag)) {
    QT70_TRACE(0, "Queueing %s.  Device = 0x%2.2X.  XML = 0x%4.4X.\n", tag->name, rec->dev,
               rec->xml);
    add_write_list_mlc16(tag->address, rec->xml, tag->name);
  } else if (tag->override != 0) {
    QT70_TRACE(0, "Overriding the %s field with 0x%4.4X.\n", tag->name, rec->xml);
    const uint8_t bytes[2] = {xml_lo, xml_hi};
    add_write_list_override(tag->override, bytes, 2, tag->name);
  } else {
    trace("Conflict in the %s field. Device = 0x%4.4X.   XML = 0x%4.4X.\n", tag->name, rec->dev,
          rec->xml);
    rec->err = 1;
  }
}

void COtpEngine::try_write_list_gen(mlc_tag* tag) {
  auto* rec = static_cast<mlc_gen*>(tag->record);
  if (rec->req == 0) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  // dev is never read from the chip and stays 0, so a requested 0 is never written.
  if (rec->dev == rec->xml) {
    QT70_TRACE(0, "Skipping %s.  XML matches the device.  Value = %d.\n", tag->name, rec->dev);
    return;
  }
  // A new pair always lands on blank bytes: no compatibility test.
  QT70_TRACE(0, "Queueing %s.  Device = 0x%2.2X.  XML = 0x%2.2X.\n", tag->name, rec->dev,
             rec->xml);
  add_write_list_av(tag->override, rec->xml, tag->name);
}

void COtpEngine::try_write_list_line(mlc_tag* tag) {
  auto* rec = static_cast<mlc_line*>(tag->record);
  if (!m_bXmlLineValid) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  // The reader keeps req within the field; never read past the record if not.
  const uint32_t length = rec->req < sizeof rec->xml ? rec->req : sizeof rec->xml;
  if (string_not_compatible(tag->address, rec->dev, rec->xml, length) == 0 && !is_overridden(tag)) {
    QT70_TRACE(0, "Queueing the %s field.\n", tag->name);
    add_write_list_string(tag->address, rec->xml, length, tag->name);
  } else {
    QT70_TRACE(0, "Overriding the %s field.\n", tag->name);
    add_write_list_override(tag->override, rec->xml, length, tag->name);
  }
}

void COtpEngine::try_write_list_string(mlc_tag* tag) {
  auto* rec = static_cast<mlc_string*>(tag->record);
  if (!m_bXmlStringsValid) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  // req counts the terminating NUL; a string the file does not give has 0.
  const uint32_t length = rec->req < sizeof rec->xml ? rec->req : sizeof rec->xml;
  const auto* dev = reinterpret_cast<const uint8_t*>(rec->dev);
  const auto* xml = reinterpret_cast<const uint8_t*>(rec->xml);
  if (string_not_compatible(tag->address, dev, xml, length) == 0 && !is_overridden(tag)) {
    QT70_TRACE(0, "Queueing %.16s in the %s strings field.\n", rec->xml, tag->name);
    add_write_list_string(tag->address, xml, length, tag->name);
  } else {
    QT70_TRACE(0, "Overriding the %s strings field with %.16s.\n", tag->name, rec->xml);
    add_write_list_override(tag->override, xml, length, tag->name);
  }
}

void COtpEngine::try_write_list_av(mlc_tag* tag) {
  auto* rec = static_cast<mlc_av*>(tag->record);
  if (rec->count == 0) {
    QT70_TRACE(0, "Skipping %s.  Not requested in XML file.\n", tag->name);
    return;
  }
  // Pairs already on the chip are not compared: every requested pair is appended.
  const uint32_t count = rec->count < kMaxPairs ? rec->count : kMaxPairs;
  for (uint32_t i = 0; i < count; ++i) {
    QT70_TRACE(0, "Queueing %s.  Address = 0x%3.3X.  Value = 0x%3.3X.\n", tag->name,
               rec->address[i], rec->value[i]);
    add_write_list_av(rec->address[i], rec->value[i], tag->name);
  }
}

void COtpEngine::try_write_overrides() {
  // One pair per overridden byte, in the order the bytes were added.
  for (uint32_t i = 0; i < m_nOverrideCount; ++i)
    add_write_list_av(m_overrideAddress[i], m_overrideValue[i], m_overrideComment[i]);
}

void COtpEngine::try_write_flags() {
  const int flags = (m_bXmlUsbValid ? 1 : 0) | (m_bXmlStringsValid ? 2 : 0) |
                    (m_bXmlLineValid ? 4 : 0);
  const bool needed = (m_bXmlUsbValid && !m_bDevUsbValid) ||
                      (m_bXmlStringsValid && !m_bDevStringsValid) ||
                      (m_bXmlLineValid && !m_bDevLineValid);
  if (needed) {
    // Only the groups the file asks for; flags already set stay set anyway.
    QT70_TRACE(0, "Queueing Valid Flags 0x%2.2X.\n", flags);
    append_write(kOtpValidFlags, static_cast<uint8_t>(flags), kValidFlagsComment);
  } else {
    QT70_TRACE(0, "Skipping Flags field.  XML matches the device.  Value = 0x%2.2X.\n", flags);
  }
}

void COtpEngine::create_otp_write_list(const unsigned char* buffer, int lock) {
  (void)buffer;  // the decisions use the decoded records and flags
  for (mlc_tag& tag : m_tags) {
    switch (tag.type) {
      case TYPE_MLC8: try_write_list_mlc8(&tag); break;
      case TYPE_MLC16: try_write_list_mlc16(&tag); break;
      case TYPE_STRING: try_write_list_string(&tag); break;
      case TYPE_LINE: try_write_list_line(&tag); break;
      case TYPE_AV: try_write_list_av(&tag); break;
      case TYPE_GEN: try_write_list_gen(&tag); break;
      default: break;
    }
  }
  try_write_overrides();
  try_write_flags();
  if (lock) {
    QT70_TRACE(0, "Writing the Lock Bit.\n");
    append_write(kOtpConfig3, kLockBit, kLockComment);
  }
}

int COtpEngine::check_flags(int force) {
  int missing = 0;
  for (const mlc_tag& tag : m_tags) {
    // Every record but the pairs starts with its req member.
    const uint32_t req = tag.type == TYPE_AV ? 0 : *static_cast<const uint32_t*>(tag.record);
    const char* text = nullptr;
    switch (tag.group) {
      case GROUP_USB:
        if (!m_bDevUsbValid && m_bXmlUsbValid && req == 0) text = "USB Valid Flag is set.";
        break;
      case GROUP_STRINGS:
        if (!m_bDevStringsValid && m_bXmlStringsValid && req == 0) text = "Strings Flag is set.";
        break;
      case GROUP_LINE:
        if (!m_bDevLineValid && m_bXmlLineValid && req == 0) text = "Line Coding Flag is set.";
        break;
      default: break;
    }
    if (!text) continue;
    if (force) {
      QT70_TRACE(0, "Ignoring missing %s field due to force flag.  %s\n", tag.name, text);
    } else {
      trace("ERROR - Missing %s field from XML file.  %s\n", tag.name, text);
      ++missing;
    }
  }
  return missing;
}

void COtpEngine::print_otp_write_list() {
  trace("OTP Write List.  %d entries.\n", m_nWriteCount);
  for (uint32_t i = 0; i < m_nWriteCount; ++i)
    trace("Will write 0x%2.2X at 0x%3.3X.  %s\n", m_writeValue[i], m_writeAddress[i],
          m_writeComment[i]);
}

bool COtpEngine::list_fits() const {
  return m_nWriteOverflow == 0 && m_nOverrideOverflow == 0 && m_nPairOverflow == 0;
}

void COtpEngine::describe_shortfall(char* text, unsigned size) const {
  if (size == 0) return;
  text[0] = '\0';
  unsigned used = 0;
  auto add = [&](const char* format, unsigned a, unsigned b, unsigned c) {
    if (used >= size) return;
    const int n = std::snprintf(text + used, size - used, format, used ? "; " : "", a, b, c);
    if (n > 0) used += static_cast<unsigned>(n);
  };
  if (m_nPairOverflow) {
    const unsigned needed = m_nPairsQueued + m_nPairOverflow;
    const unsigned free_pairs = m_devAddressValues.count < kMaxPairs
                                    ? kMaxPairs - m_devAddressValues.count
                                    : 0;
    add("%s%u address/value pairs too many (%u needed, %u free)", m_nPairOverflow, needed,
        free_pairs);
  }
  if (m_nWriteOverflow)
    add("%s%u write-list entries too many (%u needed, %u possible)", m_nWriteOverflow,
        m_nWriteCount + m_nWriteOverflow, kListCapacity);
  if (m_nOverrideOverflow)
    add("%s%u override entries too many (%u needed, %u possible)", m_nOverrideOverflow,
        m_nOverrideCount + m_nOverrideOverflow, kListCapacity);
}

}  // namespace qt70
