// The string table.
#include "res/dialog_template.h"
#include "res/resource.h"

namespace qt70::res {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

constexpr StringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About QT70L5530OTP..."},
};

}  // namespace

const char* FindString(int id) {
  for (const auto& s : kStrings)
    if (s.id == id) return s.text;
  return nullptr;
}

}  // namespace qt70::res
