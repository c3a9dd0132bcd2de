// The OTP memory map, the field table entry and the field records.
#pragma once

#include <cstdint>

namespace qt70 {

constexpr unsigned kOtpSize = 512;          // OTP bytes 0x000-0x1FF
constexpr unsigned kOtpBankOffset = 0x200;  // bit 9 selects the second bank
constexpr unsigned kMaxPairs = 148;         // address/value pairs in the pair area
constexpr unsigned kPairAreaStart = 0x042;
constexpr unsigned kLastPairStart = 0x1FB;  // a pair must end at 0x1FD
constexpr unsigned kListCapacity = 512;     // write-list and override-list entries
constexpr unsigned kTagCount = 18;
constexpr unsigned kTagNameSize = 25;

constexpr unsigned kOtpConfig0 = 0x000;
constexpr unsigned kOtpConfig3 = 0x003;
constexpr unsigned kOtpValidFlags = 0x004;
constexpr uint8_t kLockBit = 0x40;

// Type codes of the field table.
enum : uint32_t {
  TYPE_MLC8 = 0,
  TYPE_MLC16 = 1,
  TYPE_STRING = 2,
  TYPE_LINE = 3,
  TYPE_AV = 4,
  TYPE_GEN = 5,
};

// Flag groups of the field table (valid-flag bit = group - 1).
enum : uint32_t { GROUP_NONE = 0, GROUP_USB = 1, GROUP_STRINGS = 2, GROUP_LINE = 3 };

struct mlc_8 {
  uint32_t req;
  uint8_t dev;
  uint8_t xml;
  uint8_t err;
};

struct mlc_gen {
  uint32_t req;
  uint8_t dev;
  uint8_t xml;
  uint8_t err;
};

struct mlc_16 {
  uint32_t req;
  uint16_t dev;
  uint16_t xml;
  uint16_t err;
};

struct mlc_string {
  uint32_t req;
  char dev[16];
  char xml[16];
  char err[16];
};

struct mlc_line {
  uint32_t req;
  uint8_t dev[7];
  uint8_t xml[7];
  uint8_t err[7];
};

struct mlc_av {
  uint32_t count;
  uint16_t address[kMaxPairs];
  uint16_t value[kMaxPairs];
};

struct mlc_tag {
  char name[kTagNameSize];
  uint32_t address;
  uint32_t override;
  uint32_t type;
  uint32_t group;
  void* record;
};

// Field size in bytes by type code; 0 for an unknown code.
constexpr int field_size(uint32_t type) {
  switch (type) {
    case TYPE_MLC8: return 1;
    case TYPE_MLC16: return 2;
    case TYPE_STRING: return 16;
    case TYPE_LINE: return 7;
    case TYPE_AV: return 0;
    case TYPE_GEN: return 1;
    default: return 0;
  }
}

}  // namespace qt70
