// The application object: runs the main dialog modally and ends the process
// when it closes.
#pragma once

#include <string>

namespace qt70 {

class CTandoOTPApp {
 public:
  struct Options {
    std::string portsDir;    // --ports-dir DIR
    std::string screenshot;  // --screenshot FILE.png: render the started dialog and exit
  };

  // Runs the dialog; returns the process exit status.
  int InitInstance(const Options& options);
};

}  // namespace qt70
