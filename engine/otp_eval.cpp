// Reading the chip's OTP image and decoding it into the field records.

#include <cstring>

#include "otp_engine.h"
#include "trace.h"

namespace qt70 {

void COtpEngine::read_all_otp(unsigned char* buffer) {
  // One read per address, in ascending order, whatever fails: a failed read
  // yields 0xFF and leaves m_bReadFailed set for the caller to look at.
  for (unsigned address = 0; address < kOtpSize; ++address)
    buffer[address] = m_regs.ReadOTPReg(static_cast<uint16_t>(address));
}

int COtpEngine::get_from_otp(const unsigned char* buffer, uint32_t address, uint32_t type,
                             void* dest) {
  if (type > TYPE_GEN) return -1;
  const int size = field_size(type);
  if (address + size >= kOtpSize) return -1;
  if (type == TYPE_AV) return 0;  // pairs have no primary copy

  if (size == 1) {
    // mlc_8 and mlc_gen share one layout.
    auto* rec = static_cast<mlc_8*>(dest);
    if (address == kOtpConfig0) {
      rec->dev = buffer[0] & 0x02;
      QT70_TRACE(3, "    config0 masked from 0x%2.2X to 0x%2.2X\n", buffer[0], rec->dev);
    } else if (address == kOtpConfig3) {
      // The lock bit (0x40) never shows in the field's value.
      rec->dev = buffer[3] & 0x0F;
      QT70_TRACE(3, "    config3 masked from 0x%2.2X to 0x%2.2X\n", buffer[3], rec->dev);
    } else {
      QT70_TRACE(3, "    copying from %03x\n", address);
      rec->dev = buffer[address];
    }
    return size;
  }

  for (int i = 0; i < size; ++i) QT70_TRACE(3, "    copying from %03x\n", address + i);
  switch (type) {
    case TYPE_MLC16: {
      auto* rec = static_cast<mlc_16*>(dest);
      rec->dev = static_cast<uint16_t>(buffer[address] | buffer[address + 1] << 8);
      break;
    }
    case TYPE_STRING:
      std::memcpy(static_cast<mlc_string*>(dest)->dev, buffer + address, 16);
      break;
    case TYPE_LINE:
      std::memcpy(static_cast<mlc_line*>(dest)->dev, buffer + address, 7);
      break;
  }
  return size;
}

int COtpEngine::read_otp_av(const unsigned char* buffer, mlc_av* av) {
  unsigned count = 0;
  unsigned pos = kPairAreaStart;
  while (count < kMaxPairs) {
    const unsigned b0 = buffer[pos], b1 = buffer[pos + 1], b2 = buffer[pos + 2];
    const unsigned address = (b1 & 0x0F) * 256 + b0;
    const unsigned value = b2 * 16 + (b1 >> 4);
    // 0x000 and 0xFFF are the blank patterns of the two regions: the end of the list.
    if (address == 0x000 || address == 0xFFF) break;
    QT70_TRACE(3, "found otp a/v pair 0x%3.3X 0x%3.3X\n", address, value);
    av->address[count] = static_cast<uint16_t>(address);
    av->value[count] = static_cast<uint16_t>(value);
    ++count;
    pos += 3;
  }
  av->count = count;
  QT70_TRACE(3, "%d otp a/v pairs\n", count);
  return static_cast<int>(count);
}

void COtpEngine::eval_all_otp(const unsigned char* buffer) {
  for (mlc_tag& tag : m_tags) {
    if (tag.type == TYPE_AV || tag.type == TYPE_GEN) {
      QT70_TRACE(3, "skipping %s\n", tag.name);
      continue;
    }
    QT70_TRACE(3, "evaluating %s %03x\n", tag.name, tag.address);
    get_from_otp(buffer, tag.address, tag.type, tag.record);
  }
  const int pairs = read_otp_av(buffer, &m_devAddressValues);
  m_nNextPairAddress = (pairs + 22) * 3;
  m_bDevUsbValid = buffer[kOtpValidFlags] & 0x01;
  m_bDevStringsValid = (buffer[kOtpValidFlags] >> 1) & 0x01;
  m_bDevLineValid = (buffer[kOtpValidFlags] >> 2) & 0x01;
  QT70_TRACE(3, "otp valid flags usb=%d strings=%d line=%d\n", m_bDevUsbValid, m_bDevStringsValid,
             m_bDevLineValid);
  m_bDevLocked = (buffer[kOtpConfig3] & kLockBit) ? 1 : 0;
}

int COtpEngine::is_overridden(const mlc_tag* tag) {
  if (tag->override == 0) return 0;
  const unsigned start = tag->override;
  const unsigned end = start + field_size(tag->type);
  for (unsigned i = 0; i < m_devAddressValues.count; ++i) {
    const unsigned address = m_devAddressValues.address[i];
    if (address >= start && address < end) {
      QT70_TRACE(4, "%s Override found.  Index = %d.  %d (%d - %d).\n", tag->name, i, address,
                 start, end);
      return 1;
    }
  }
  QT70_TRACE(4, "%s Override Not Found.\n", tag->name);
  return 0;
}

void COtpEngine::print_all_otp(const unsigned char* buffer) {
  for (unsigned i = 0; i < kOtpSize; ++i) {
    if (i != 0) {
      if (i % 16 == 0)
        trace("\n");
      else if (i % 8 == 0)
        trace("  ");
      else
        trace(" ");
    }
    trace("%2.2X", buffer[i]);
  }
  trace("\n");
}

void COtpEngine::print_tag(const mlc_tag* tag) {
  switch (tag->type) {
    case TYPE_MLC8: {
      const auto* rec = static_cast<const mlc_8*>(tag->record);
      trace("8-bit %s at address 0x%3.3X with override at 0x%3.3X\n", tag->name, tag->address,
            tag->override);
      trace("    req = %d; dev = %d; xml = %d; err = %d\n", rec->req, rec->dev, rec->xml, rec->err);
      break;
    }
    case TYPE_MLC16: print_mlc_16(tag); break;
    case TYPE_STRING: print_mlc_string(tag); break;
    default: break;  // line coding, pairs and register fields print nothing
  }
}

void COtpEngine::print_mlc_16(const mlc_tag* tag) {
  const auto* rec = static_cast<const mlc_16*>(tag->record);
  trace("16-bit %s at address 0x%3.3X with override at 0x%3.3X\n", tag->name, tag->address,
        tag->override);
  trace("    req = %d; dev = %d; xml = %d; err = %d\n", rec->req, rec->dev, rec->xml, rec->err);
}

void COtpEngine::print_mlc_string(const mlc_tag* tag) {
  const auto* rec = static_cast<const mlc_string*>(tag->record);
  trace("string %s at address 0x%3.3X with override at 0x%3.3X\n", tag->name, tag->address,
        tag->override);
  // The chip's 16 bytes need not hold a NUL: never print past them.
  trace("    req = %d; dev = %.16s; xml = %.16s; err = %.16s\n", rec->req, rec->dev, rec->xml,
        rec->err);
}

}  // namespace qt70
