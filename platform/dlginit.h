// The dialog-init resource: records that add entries to combo boxes when a
// dialog is created. Each record: control id (16-bit), message (16-bit,
// 0x0403 adds an entry), length of the text in bytes counting its
// terminating zero (32-bit), the text; a 16-bit 0 ends the sequence; all
// little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qt70 {

struct DlgInitRecord {
  int id;
  unsigned message;
  std::string text;  // 8-bit, without the terminating zero
  bool operator==(const DlgInitRecord&) const = default;
};

struct DlgInitParse {
  bool ok = false;
  std::vector<DlgInitRecord> records;  // every record when ok, none otherwise
  std::string error;                   // what is wrong and where, when not ok
};

// Parses the whole sequence. A record that is cut short, carries another
// message, has a text length of 0 or a text without its terminating zero,
// or a sequence without its end marker, stops the parse with an error and
// gives no records: nothing is read past the data.
DlgInitParse ParseDlgInit(std::span<const uint8_t> data);

}  // namespace qt70
