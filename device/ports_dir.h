// The ports folder: where served emulated chips appear, one Unix socket per
// port, named after the port.
#pragma once

#include <string>
#include <string_view>

namespace qt70 {

// The ports folder: `option` when it is not empty, else $QT70OTP_PORTS, else
// $XDG_RUNTIME_DIR/qt70otp/ports, else /tmp/qt70otp-<uid>/ports.
std::string PortsDir(const std::string& option);

// A port name that can stand as one file name: not empty, no '/', not "."
// or "..", no NUL. Any other name is refused and never made into a path.
bool IsPlainPortName(std::string_view name);

// The socket path of port `name` in folder `dir`. Empty when the name is
// not plain or the path does not fit a Unix socket address (with `error`).
std::string PortSocketPath(const std::string& dir, const std::string& name, std::string* error);

// Creates the ports folder and any missing parents with mode 0700. Since
// any socket in it is taken for a port, the folder must end up a directory
// owned by this user, not writable by group or others, in a parent that
// only this user or root may change (or a sticky one such as /tmp).
// Returns false with a message otherwise.
bool EnsurePortsDir(const std::string& dir, std::string* error);

}  // namespace qt70
