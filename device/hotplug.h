// Following serial ports as they come and go, without a thread: the ports
// folder through inotify (a served emulated chip appears there as a socket),
// and the system's tty devices through a udev monitor where the system runs
// one. The owner watches Fds() (a QSocketNotifier each, or poll) and calls
// Dispatch(), which reads what is pending and reports each arrival and
// removal with its port name.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace qt70 {

// Device-change events and device types, with the values the dialog's
// notifications carry.
enum : unsigned {
  DBT_DEVICEARRIVAL = 0x8000,
  DBT_DEVICEQUERYREMOVE = 0x8001,
  DBT_DEVICEREMOVECOMPLETE = 0x8004,
  DBT_DEVNODES_CHANGED = 0x0007,
};
enum : unsigned {
  DBT_DEVTYP_PORT = 3,
  DBT_DEVTYP_DEVICEINTERFACE = 5,
};

class CPortMonitor {
 public:
  using Callback =
      std::function<void(unsigned event, unsigned deviceType, const std::string& portName)>;

  CPortMonitor() = default;
  ~CPortMonitor();
  CPortMonitor(const CPortMonitor&) = delete;
  CPortMonitor& operator=(const CPortMonitor&) = delete;

  // Starts watching the ports folder (created when missing) and, where it
  // can, the tty devices. Returns false with the system's text when the
  // folder cannot be watched; the tty monitor is optional and never fails.
  bool Start(const std::string& portsDir, Callback callback, std::string* error);
  void Stop();
  bool Running() const { return m_inotify >= 0; }

  // The descriptors that become readable when events are pending.
  std::vector<int> Fds() const;
  // Reads every pending event without blocking and reports each; returns
  // the number reported.
  int Dispatch();
  // Waits at most timeoutMs for an event, then dispatches what is pending.
  int Poll(int timeoutMs);

 private:
  void Report(unsigned event, const std::string& name);
  bool Watch(std::string* error);
  void DispatchInotify(int& reported);
  void DispatchUdev(int& reported);

  std::string m_dir;
  Callback m_callback;
  int m_inotify = -1;
  int m_watch = -1;
  std::set<std::string> m_emulated;  // sockets known in the folder
  std::set<std::string> m_real;      // real ports known
  void* m_udev = nullptr;            // struct udev*
  void* m_udevMonitor = nullptr;     // struct udev_monitor*
  bool m_dispatching = false;
};

}  // namespace qt70
