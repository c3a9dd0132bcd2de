// Conversions between the 8-bit text of the settings (ISO-8859-1, one byte
// per character) and Qt's strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace qt70 {

// 8-bit settings text to a QString: every byte is one character.
QString FromAnsi(std::string_view text);
// A QString to 8-bit settings text. Characters beyond U+00FF cannot be held
// and become '?'; the edits refuse them (Latin1Validator), so they only come
// from code that put them there itself.
std::string ToAnsi(const QString& text);
// Text for the operator's eyes (message boxes): UTF-8 when the bytes are
// valid UTF-8 (file paths on this system), otherwise ISO-8859-1. ASCII reads
// the same either way.
QString FromMessageText(std::string_view text);

}  // namespace qt70
