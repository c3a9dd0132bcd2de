#include "target.h"

#include <iostream>

#include "device/port_open.h"
#include "device/ports_dir.h"
#include "engine/trace.h"

namespace qt70::cli {

int OpenTarget(const Options& options, Session& session) {
  verbose = options.verbose;
  if (options.image.empty() == options.port.empty())
    return Usage("give exactly one of --image FILE and --port NAME");

  if (!options.port.empty()) {
    if (!options.faults.empty()) return Usage("--fault applies to --image only");
    OpenResult opened = OpenPort(options.port, PortsDir(options.ports_dir));
    switch (opened.status) {
      case OpenStatus::Ok:
        session.link.Open(std::move(opened.transport));
        return kExitOk;
      case OpenStatus::BadName:
        return Usage("port name '" + options.port + "' is not a plain name");
      case OpenStatus::Busy:
        session.ui.MessageBox(
            "The port is not free. \nPlease close all other applications using this COM port and "
            "retry.",
            "Error : COM Port not available to open", MB_ICONERROR);
        return kExitDevice;
      case OpenStatus::Missing:
      default:
        std::cerr << "qt70otp: no port " << options.port << ": " << opened.error << '\n';
        return kExitDevice;
    }
  }

  auto chip = std::make_unique<EmulatedChip>();
  std::string error;
  for (const std::string& spec : options.faults)
    if (!chip->AddFault(spec, &error)) return Usage(error);
  switch (chip->LoadImage(options.image, &error)) {
    case ImageStatus::Ok: break;
    case ImageStatus::Unreadable:
      std::cerr << "qt70otp: " << error << '\n';
      return kExitDevice;
    default:
      std::cerr << "qt70otp: " << error << '\n';
      return kExitUsage;
  }
  chip->SetAutoSave(true);
  session.link.Open(std::make_unique<EmulatedTransport>(*chip));
  session.chip = std::move(chip);
  return kExitOk;
}

bool ReadImage(Session& session, unsigned char* image) {
  CDeviceLink& link = session.link;
  // The controller set-up used around every plain OTP read, and its closing write.
  link.WriteReg(0x0D43, 0x000A);
  link.WriteReg(0x0D41, 0x0010);
  link.WriteReg(0x0D46, 0x0000);
  link.WriteReg(0x0D43, 0x0005);
  link.SetReadFailed(0);
  session.engine.read_all_otp(image);
  link.WriteReg(0x0D43, 0x0009);
  return link.ReadFailed() == 0;
}

}  // namespace qt70::cli
