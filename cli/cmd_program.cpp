// qt70otp program CONFIG.xml: one programming run on CONFIG, as the dialog's
// Program button runs it (without the save: CONFIG is programmed as it is).

#include <iostream>

#include "cli.h"
#include "run_exit.h"
#include "target.h"

namespace qt70::cli {

int cmd_program(const Options& options) {
  if (options.positional.size() != 1) return Usage("program needs exactly one CONFIG.xml");
  Session session;
  session.ui.assume_yes = options.yes;
  if (const int status = OpenTarget(options, session); status != kExitOk) return status;

  // The same question the dialog asks; without a terminal only --yes answers it.
  if (session.ui.MessageBox("This is only one time programmable.  Do you wish to proceed?",
                            "Confirm...", MB_YESNO | MB_ICONQUESTION) != IDYES) {
    std::cerr << "qt70otp: not confirmed; nothing was programmed\n";
    return kExitUsage;
  }

  session.files.m_strXmlFile = options.positional[0];
  session.engine.program_file();
  return ExitForRun(session.engine, session.files);
}

}  // namespace qt70::cli
