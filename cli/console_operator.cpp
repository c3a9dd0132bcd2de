#include "console_operator.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "res/resource.h"

namespace qt70::cli {

int ConsoleOperator::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  if ((style & 0xF0) == MB_ICONERROR) ++error_boxes;
  if ((style & 0x0F) == MB_YESNO) {
    if (assume_yes) {
      std::cerr << caption << ": " << text << " yes\n";
      return IDYES;
    }
    std::cerr << caption << ": ";
    return AskYesNo(text) ? IDYES : IDNO;
  }
  std::cerr << caption << ": " << text << '\n';
  return IDOK_ANSWER;
}

void ConsoleOperator::SetDlgItemText(int id, std::string_view text) {
  if (id == IDC_STATIC_STATUS) std::cerr << "Status: " << text << '\n';
}

void ConsoleOperator::ShowDlgItem(int, bool) {}
void ConsoleOperator::EnableDlgItem(int, bool) {}

bool AskYesNo(std::string_view question) {
  std::cerr << question << " [y/N] " << std::flush;
  if (!isatty(STDIN_FILENO)) {
    std::cerr << "\nno terminal to answer on; use --yes\n";
    return false;
  }
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

}  // namespace qt70::cli
