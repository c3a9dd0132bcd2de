#include "platform/dlginit.h"

#include <cstdio>

#include "res/dialog_template.h"

namespace qt70 {
namespace {

uint16_t Read16(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

uint32_t Read32(std::span<const uint8_t> d, size_t at) {
  return static_cast<uint32_t>(d[at]) | static_cast<uint32_t>(d[at + 1]) << 8 |
         static_cast<uint32_t>(d[at + 2]) << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}

DlgInitParse Fail(size_t record, size_t offset, const std::string& what) {
  char where[64];
  std::snprintf(where, sizeof where, "dialog-init data, record %zu at byte %zu: ", record, offset);
  DlgInitParse result;
  result.error = where + what;
  return result;
}

}  // namespace

DlgInitParse ParseDlgInit(std::span<const uint8_t> data) {
  DlgInitParse result;
  size_t at = 0;
  for (size_t n = 1;; ++n) {
    const size_t left = data.size() - at;
    if (left < 2) return Fail(n, at, "the data end without the terminating zero control id");
    const uint16_t id = Read16(data, at);
    if (id == 0) break;
    if (left < 8)
      return Fail(n, at, "the record header needs 8 bytes, " + std::to_string(left) + " are left");
    const uint16_t message = Read16(data, at + 2);
    const uint32_t length = Read32(data, at + 4);
    const std::string control = "control " + std::to_string(id);
    if (message != res::kDlgInitAddString) {
      char text[96];
      std::snprintf(text, sizeof text, "%s has message 0x%04X; only 0x0403 (add an entry) is known",
                    control.c_str(), message);
      return Fail(n, at, text);
    }
    if (length == 0)
      return Fail(n, at, control + ": text length 0 (the length counts the terminating zero)");
    if (length > left - 8)
      return Fail(n, at, control + ": text of " + std::to_string(length) +
                             " bytes runs past the end of the data (" + std::to_string(left - 8) +
                             " bytes left)");
    const auto text = data.subspan(at + 8, length);
    if (text.back() != 0) return Fail(n, at, control + ": text is not zero-terminated");
    std::string value(reinterpret_cast<const char*>(text.data()), length - 1);
    if (const size_t zero = value.find('\0'); zero != std::string::npos) value.resize(zero);
    result.records.push_back({id, message, std::move(value)});
    at += 8 + length;
  }
  result.ok = true;
  return result;
}

}  // namespace qt70
