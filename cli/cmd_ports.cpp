// qt70otp ports: the ports present, one name a line, in the order of the
// dialog's port list.

#include <iostream>
#include <vector>

#include "cli.h"
#include "console_operator.h"
#include "device/device_session.h"
#include "device/ports.h"
#include "device/ports_dir.h"

namespace qt70::cli {

int cmd_ports(const Options& options) {
  if (!options.positional.empty()) return Usage("ports takes no file argument");
  if (!options.image.empty() || !options.port.empty() || !options.faults.empty() ||
      !options.xml_out.empty())
    return Usage("ports takes only --ports-dir");
  ConsoleOperator ui;
  CDeviceLink link{ui};
  CSettings settings;
  CDeviceSession session(link, settings, ui, PortsDir(options.ports_dir));
  std::vector<std::string> list;
  int status = kExitOk;
  try {
    session.EnumCOMPorts(list);
  } catch (const PortEnumError& e) {
    // The names found before the failure are still worth showing.
    ui.MessageBox(e.what(), "Error", MB_ICONERROR);
    status = kExitDevice;
  }
  for (const std::string& name : list) std::cout << name << '\n';
  return status;
}

}  // namespace qt70::cli
