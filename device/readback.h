// Decoding a programmed chip's OTP content into the dialog's settings: the
// fixed fields at their OTP addresses and the register address/value pairs
// that override them. The reads themselves are CDeviceSession's
// (IsOTPProgrammed, ReadAllTandoOTPRegisters, read_otp_addr_vals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/settings.h"

namespace qt70 {

// One register address/value pair as stored in the OTP: 12 bits each. An
// entry with address 0 is empty.
struct OtpPair {
  uint16_t address = 0;
  uint16_t value = 0;
  bool operator==(const OtpPair&) const = default;
};

constexpr size_t kOtpPairSlots = 128;  // slots read back, OTP 0x042 to 0x1C1
constexpr uint16_t kOtpPairBase = 0x042;

// The OTP bytes of pair slot i: b0 = 0x042 + 3i, then b1 and b2.
constexpr uint16_t PairSlotAddress(size_t slot) {
  return static_cast<uint16_t>(kOtpPairBase + 3 * slot);
}
// address = b0 | (b1 & 0x0F) << 8, value = b2 << 4 | b1 >> 4.
OtpPair DecodePairSlot(uint8_t b0, uint8_t b1, uint8_t b2);

// Char format 0 gives index 0 ("1"), 2 gives 1 ("2"), anything else -1.
int CharFormatIndex(unsigned stored);
// Data bits 7, 8, 9 give the indexes 0, 1, 2: v mod 7 above 6, else v.
int DataBitsIndex(unsigned stored);
// The core clock code (bits 0 and 1 of OTP_CONFIG3): 0 gives 3 ("48 MHz")
// down to 3 giving 0 ("6 MHz").
int CoreClockIndex(uint8_t config3);
// Fills the four line-coding settings from the stored items.
void DecodeLineCoding(CSettings& s, uint32_t baud, unsigned charFormat, unsigned parity,
                      unsigned dataBits);

// Text of a zero-filled buffer up to its first zero byte ("%s").
std::string BufferText(const uint8_t* bytes, size_t size);
std::string Hex04(unsigned value);  // "0x%04x"
std::string Hex02(unsigned value);  // "0x%02x"

// Walks the pair entries from entry 0 and decodes each by its register into
// the settings, until an entry with address 0 or past the last entry; the
// entries a multi-entry field takes are passed over. Entries past `count`
// count as empty. Sets the seven GPIO and pin settings to "0x00" first.
void DecodePairs(CSettings& s, const OtpPair* pairs, size_t count);

}  // namespace qt70
