// Keeps an edit to the characters that 8-bit settings text can hold:
// U+0001 to U+00FF (ISO-8859-1 without the zero). Typing or pasting any
// other character is refused as a whole, so nothing the operator enters is
// changed silently on its way into a setting.
#pragma once

#include <QValidator>

namespace qt70 {

class Latin1Validator : public QValidator {
 public:
  explicit Latin1Validator(QObject* parent = nullptr) : QValidator(parent) {}
  State validate(QString& input, int& pos) const override;
  // True when every character of text can be held.
  static bool IsLatin1(const QString& text);
};

}  // namespace qt70
