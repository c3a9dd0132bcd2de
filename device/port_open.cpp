#include "port_open.h"

#include <sys/stat.h>

#include "ports_dir.h"
#include "serial_transport.h"
#include "socket_transport.h"

namespace qt70 {

OpenResult OpenPort(const std::string& name, const std::string& portsDir) {
  OpenResult result;
  if (!IsPlainPortName(name)) {
    result.status = OpenStatus::BadName;
    result.error = "'" + name + "' is not a port name";
    return result;
  }
  const std::string dir = portsDir.empty() ? PortsDir("") : portsDir;
  std::string error;
  const std::string socketPath = PortSocketPath(dir, name, &error);
  struct stat st {};
  if (!socketPath.empty() && lstat(socketPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
    result = ConnectSocketPort(socketPath);
    if (result.status != OpenStatus::Ok) result.error = "port " + name + ": " + result.error;
    return result;
  }
  result = OpenSerialDevice("/dev/" + name);
  if (result.status != OpenStatus::Ok) result.error = "port " + name + ": " + result.error;
  return result;
}

}  // namespace qt70
