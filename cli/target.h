// Opening the chip a verb works on: --image FILE (an emulated chip in this
// process, on an image file) or --port NAME (a listed port).
#pragma once

#include <memory>
#include <string>

#include "cli.h"
#include "config/config_files.h"
#include "config/settings.h"
#include "console_operator.h"
#include "device/device_link.h"
#include "emulator/emulated_chip.h"
#include "engine/otp_engine.h"

namespace qt70::cli {

// Everything one verb works with, wired as the dialog wires it.
struct Session {
  ConsoleOperator ui;
  CSettings settings;
  CDeviceLink link{ui};
  COtpEngine engine{link, ui, files};
  CConfigFiles files{engine, ui};
  // The chip behind --image; saved back to its file as requests change it.
  std::unique_ptr<EmulatedChip> chip;
};

// Opens the chip named by the options into session.link. Returns kExitOk,
// or an exit status after printing what is wrong on stderr.
int OpenTarget(const Options& options, Session& session);

// Reads the whole OTP image with the controller set up for reading, as the
// readback does. Returns false when an OTP read failed.
bool ReadImage(Session& session, unsigned char* image);

}  // namespace qt70::cli
