// An operator for tests: records every message box, status line change,
// button change and control-state change in order, and answers message
// boxes from a script (IDOK_ANSWER, or the next scripted answer).
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/operator.h"

namespace qt70::test {

struct MessageBoxCall {
  std::string text;
  std::string caption;
  unsigned style;
  bool operator==(const MessageBoxCall&) const = default;
};

class RecordingOperator : public IOperator {
 public:
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void SetDlgItemText(int id, std::string_view text) override;
  void ShowDlgItem(int id, bool show) override;
  void EnableDlgItem(int id, bool enable) override;
  bool UpdateData(bool saveAndValidate) override;
  void SetControlState(ControlState state) override;
  void SetReadOnly(int id, bool readOnly) override;
  void SetFocus(int id) override;
  void SetCurSel(int id, int index) override;

  // Answers for the next message boxes, in order; IDOK_ANSWER (or IDYES for
  // a Yes/No box) once the script is used up.
  std::deque<int> answers;
  // Called while a message box is open, as a nested message loop would run
  // other handlers (a device removal, say).
  std::vector<std::function<void()>>* during_box = nullptr;

  std::vector<MessageBoxCall> boxes;
  std::vector<std::string> events;  // every call, as a readable line
  std::string status_text;
  bool status_visible = false;
  std::string program_caption = "Program";
  ControlState state = ControlState::Locked;
  int focus = 0;

  // Texts of the boxes shown so far, for compact assertions.
  std::vector<std::string> BoxTexts() const;
  void Clear();
};

}  // namespace qt70::test
