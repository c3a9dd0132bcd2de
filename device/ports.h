// Listing the serial ports present: the real ones that the system's device
// manager knows (the tty devices that sit on a parent device, so the
// virtual consoles and pseudo-terminals are left out) and the emulated ones
// served as sockets in the ports folder.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace qt70 {

// Raised by the listing when it cannot start, cannot go on or cannot read
// one port entry; what() is the text for the operator. Raised only after
// everything acquired has been released.
class PortEnumError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The order of the dialog's sorted port list: case-insensitive, character
// by character, so COM10 stands before COM2.
bool PortNameLess(const std::string& a, const std::string& b);

// Adds a name at its place in the sorted list; a name already listed is not
// added twice.
void InsertPortName(std::vector<std::string>& list, const std::string& name);

// Empties the list and fills it with every port present, sorted. When a
// source fails the other is still listed; the first failure is then raised
// and the list keeps what was found. A ports folder that does not exist
// holds no ports and is no failure.
void ListPorts(const std::string& portsDir, std::vector<std::string>& list);

// The two sources on their own, each adding to the list at the sorted place.
void ListRealPorts(std::vector<std::string>& list);
void ListEmulatedPorts(const std::string& portsDir, std::vector<std::string>& list);

}  // namespace qt70
