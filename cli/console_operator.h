// The operator on a terminal: message boxes print to stderr as
// "CAPTION: TEXT", the status line as "Status: TEXT"; a Yes/No question is
// answered by --yes, or asked on the terminal.
#pragma once

#include "engine/operator.h"

namespace qt70::cli {

class ConsoleOperator : public IOperator {
 public:
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void SetDlgItemText(int id, std::string_view text) override;
  void ShowDlgItem(int id, bool show) override;
  void EnableDlgItem(int id, bool enable) override;

  // Answers every Yes/No question with Yes.
  bool assume_yes = false;
  // Number of boxes shown with the error icon.
  int error_boxes = 0;
};

// Asks a Yes/No question on the terminal; false without a terminal.
bool AskYesNo(std::string_view question);

}  // namespace qt70::cli
