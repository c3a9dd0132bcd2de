// Opening a port by name: a served emulated chip in the ports folder, or a
// serial device under /dev.
#pragma once

#include <memory>
#include <string>

#include "driver.h"

namespace qt70 {

enum class OpenStatus { Ok, Busy, Missing, BadName };

struct OpenResult {
  std::unique_ptr<ITransport> transport;  // set when status is Ok
  OpenStatus status = OpenStatus::Missing;
  std::string error;  // what went wrong, naming the port; empty when Ok
};

// Opens port NAME: the emulated port NAME in the ports folder when that
// socket exists, else /dev/NAME. An empty `portsDir` means PortsDir("").
// A name that is not a plain file name gives BadName and touches nothing.
OpenResult OpenPort(const std::string& name, const std::string& portsDir);

}  // namespace qt70
