// Validation of the settings before they are written to a configuration
// file or burnt into a chip: a fixed sequence of checks, the first failing
// one warns the operator, may put a safe text back into the field, moves
// the focus to its control and rejects the settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/settings.h"
#include "engine/operator.h"

namespace qt70 {

// The hexadecimal text fields: not empty and starting with exactly "0x".
bool HexPrefixOk(const std::string& text);
// The number after the "0x" prefix: hexadecimal digits up to the first other
// character, none giving 0, a number past 32 bits giving 0xFFFFFFFF.
uint32_t HexValue(const std::string& text);

// One failed check: its place in the sequence (1 to 27), the words shown,
// the control that gets the focus, and the text the field is reset to
// (none for the fields that are left as they are).
struct ValidationFailure {
  int check = 0;
  std::string message;
  std::string caption;
  int control = 0;
  std::optional<std::string> reset;
};

// The first check that the settings fail, or none when every check passes.
// Looks only; changes nothing.
std::optional<ValidationFailure> FirstImproperSetting(const CSettings& settings);

// Runs the checks on the settings. Returns 1 when every check passes (and
// changes nothing); at the first failing check shows its message box
// (MB_ICONEXCLAMATION), puts the reset text into a hexadecimal field and
// shows the settings again (UpdateData(FALSE)), moves the focus to the
// field's control and returns 0.
int isproper(CSettings& settings, IOperator& ui);

}  // namespace qt70
