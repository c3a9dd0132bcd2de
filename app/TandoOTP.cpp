#include "TandoOTP.h"

#include <iostream>

#include "OTPDlg.h"

namespace qt70 {

int CTandoOTPApp::InitInstance(const Options& options) {
  CTandoOTPDlg dlg(nullptr, options.portsDir);
  if (!options.screenshot.empty()) dlg.SetStartupScreenshot(options.screenshot);
  dlg.DoModal();
  if (!options.screenshot.empty()) {
    std::string error;
    if (!dlg.StartupScreenshotSaved(&error)) {
      std::cerr << "qt70otp-gui: screenshot not saved: " << error << '\n';
      return 4;
    }
  }
  return dlg.ExitStatus();
}

}  // namespace qt70
