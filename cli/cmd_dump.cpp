// qt70otp dump: prints the chip's 512-byte OTP image, 16 bytes a line.

#include <iostream>

#include "target.h"

namespace qt70::cli {

int cmd_dump(const Options& options) {
  if (!options.positional.empty()) return Usage("dump takes no file argument");
  Session session;
  if (int status = OpenTarget(options, session); status != kExitOk) return status;
  if (!session.link.IsOpen()) return kExitDevice;
  unsigned char image[kOtpSize];
  if (!ReadImage(session, image)) {
    session.ui.MessageBox("The chip's OTP could not be read.", "Error", MB_ICONERROR);
    return kExitDevice;
  }
  session.engine.print_all_otp(image);
  return kExitOk;
}

}  // namespace qt70::cli
