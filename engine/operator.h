// The narrow interface through which every component reaches the operator:
// message boxes, the status line, the buttons and the other dialog controls.
// The dialog implements it on its widgets, the command line on the terminal,
// and the tests with a recorder, so what the operator would see can be checked.
#pragma once

#include <string>
#include <string_view>

namespace qt70 {

// Message box styles and answers, with the values the operator's platform uses.
enum : unsigned {
  MB_OK = 0x00,
  MB_YESNO = 0x04,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};
enum : int { IDOK_ANSWER = 1, IDCANCEL_ANSWER = 2, IDYES = 6, IDNO = 7 };

// The three control states of the main dialog.
enum class ControlState { Locked, Editing, Programmed };

class IOperator {
 public:
  virtual ~IOperator() = default;

  // Modal message box; returns the button pressed (IDOK_ANSWER, IDYES, IDNO).
  virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
  // Sets the text of a control (the status line, the Program button caption).
  virtual void SetDlgItemText(int id, std::string_view text) = 0;
  // Shows or hides a control (the status line).
  virtual void ShowDlgItem(int id, bool show) = 0;
  // Enables or disables a control (the buttons).
  virtual void EnableDlgItem(int id, bool enable) = 0;

  // Dialog data exchange: true takes the controls into the settings (and
  // returns false when a transfer limit fails), false shows the settings.
  // Without a window there are no controls and the transfer always succeeds.
  virtual bool UpdateData(bool saveAndValidate) { (void)saveAndValidate; return true; }
  // Puts the controls into one of the three control states.
  virtual void SetControlState(ControlState state) { (void)state; }
  // Makes a string edit read-only or writable.
  virtual void SetReadOnly(int id, bool readOnly) { (void)id; (void)readOnly; }
  // Moves the keyboard focus to a control.
  virtual void SetFocus(int id) { (void)id; }
  // Sets the selection of a list control; -1 clears it.
  virtual void SetCurSel(int id, int index) { (void)id; (void)index; }
};

}  // namespace qt70
