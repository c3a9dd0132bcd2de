#include "recording_operator.h"

#include "res/resource.h"

namespace qt70::test {

int RecordingOperator::MessageBox(std::string_view text, std::string_view caption,
                                  unsigned style) {
  boxes.push_back({std::string(text), std::string(caption), style});
  events.push_back("box " + std::string(caption) + ": " + std::string(text));
  if (during_box && !during_box->empty()) {
    auto action = std::move(during_box->front());
    during_box->erase(during_box->begin());
    action();
  }
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (style & 0x0F) == MB_YESNO ? IDYES : IDOK_ANSWER;
}

void RecordingOperator::SetDlgItemText(int id, std::string_view text) {
  if (id == IDC_STATIC_STATUS) status_text = text;
  if (id == IDC_BUTTON_PROGRAM) program_caption = text;
  events.push_back("text " + std::to_string(id) + ": " + std::string(text));
}

void RecordingOperator::ShowDlgItem(int id, bool show) {
  if (id == IDC_STATIC_STATUS) status_visible = show;
  events.push_back((show ? "show " : "hide ") + std::to_string(id));
}

void RecordingOperator::EnableDlgItem(int id, bool enable) {
  events.push_back((enable ? "enable " : "disable ") + std::to_string(id));
}

bool RecordingOperator::UpdateData(bool saveAndValidate) {
  events.push_back(saveAndValidate ? "UpdateData(TRUE)" : "UpdateData(FALSE)");
  return true;
}

void RecordingOperator::SetControlState(ControlState s) {
  state = s;
  events.push_back(s == ControlState::Locked    ? "state locked"
                   : s == ControlState::Editing ? "state editing"
                                                : "state programmed");
}

void RecordingOperator::SetReadOnly(int id, bool readOnly) {
  events.push_back((readOnly ? "readonly " : "writable ") + std::to_string(id));
}

void RecordingOperator::SetFocus(int id) {
  focus = id;
  events.push_back("focus " + std::to_string(id));
}

void RecordingOperator::SetCurSel(int id, int index) {
  events.push_back("cursel " + std::to_string(id) + " " + std::to_string(index));
}

std::vector<std::string> RecordingOperator::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& b : boxes) texts.push_back(b.text);
  return texts;
}

void RecordingOperator::Clear() {
  boxes.clear();
  events.clear();
}

}  // namespace qt70::test
