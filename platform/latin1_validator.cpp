#include "platform/latin1_validator.h"

namespace qt70 {

bool Latin1Validator::IsLatin1(const QString& text) {
  for (QChar c : text)
    if (c.unicode() == 0 || c.unicode() > 0xFF) return false;
  return true;
}

QValidator::State Latin1Validator::validate(QString& input, int& pos) const {
  (void)pos;
  return IsLatin1(input) ? Acceptable : Invalid;
}

}  // namespace qt70
